# Reading a StatusNotifierItem's exported menu (com.canonical.dbusmenu), as a tray host does
# (sourced by desktop tests, not a test itself, before common.bash). The item is $service at $path.

# The test runs again on a session bus of its own, which common.bash then keeps.
if [ -z "${PICTAVO_OWN_BUS:-}" ]; then
  PICTAVO_OWN_BUS=1 exec dbus-run-session -- "$0" "$@"
fi

# The item's menu object path, into $menu.
sni_menu_path() {
  menu=$(gdbus call --session --dest "$service" --object-path "$path" \
    --method org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierItem Menu |
    grep -o "'/[^']*'" | tr -d "'")
  [ -n "$menu" ] && note "menu at $menu"
}

# The labels of the children of a menu item (id), in order, as "<id>\t<label>"; "-" for a
# separator.
children() {
  gdbus call --session --dest "$service" --object-path "$menu" \
    --method com.canonical.dbusmenu.AboutToShow "$1" >/dev/null
  gdbus call --session --dest "$service" --object-path "$menu" \
    --method com.canonical.dbusmenu.GetLayout "$1" 1 "['label', 'type']" >"$WORK/layout.txt"
  python3 - "$WORK/layout.txt" <<'PY'
import re, sys
text = open(sys.argv[1], encoding="utf-8").read()
# Each child: <(id, {properties}, @av [])>
for ident, props in re.findall(r"<\((\d+), \{([^}]*)\}, (?:@av )?\[", text):
    label = re.search(r"'label': <'((?:[^'\\]|\\.)*)'>", props)
    kind = re.search(r"'type': <'([^']*)'>", props)
    name = "-" if kind and kind.group(1) == "separator" else (label.group(1) if label else "")
    print(ident + "\t" + name)
PY
}

# The tests' own StatusNotifierWatcher on the session bus, ready (arguments go to it).
start_watcher() {
  [ -x "$BIN/sniwatcher" ] || fail "no sniwatcher in $BIN"
  "$BIN/sniwatcher" "$@" >"$WORK/watcher.out" 2>"$WORK/watcher.log" &
  PIDS+=($!)
  wait_for 10 grep -q ready "$WORK/watcher.out" || fail "the watcher did not start: $(cat "$WORK/watcher.log")"
}
