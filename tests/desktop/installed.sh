#!/usr/bin/env bash
# The installed program: `cmake --install` puts every file in its place under the prefix, and the
# program started from the prefix by the installed desktop entry's command shows its tray icon,
# imports the .cal file handed to it, starts on the shipped default settings (found in the prefix's
# data folder, not beside the executable) and writes no desktop entry of its own.
source "$(dirname "$0")/common.bash"
PREFIX=$WORK/prefix
cmake --install "$BIN/.." --prefix "$PREFIX" >"$WORK/install.log" || fail "install: $(cat "$WORK/install.log")"

expected=(
  bin/pictavo bin/pictavo-avi bin/democam
  share/pictavo/Languages/French.xml share/pictavo/Languages/German.xml
  share/pictavo/manual/index.html share/pictavo/DefaultOptions.xml
  share/applications/org.pictavo.Pictavo.desktop share/metainfo/org.pictavo.Pictavo.metainfo.xml
  share/mime/packages/pictavo.xml share/icons/hicolor/scalable/apps/pictavo.svg
)
for size in 16 22 24 32 48 64 128 256; do
  expected+=("share/icons/hicolor/${size}x${size}/apps/pictavo.png")
  for kind in cam cal; do
    expected+=("share/icons/hicolor/${size}x${size}/mimetypes/application-x-pictavo-$kind.png")
  done
done
for file in "${expected[@]}"; do
  [ -s "$PREFIX/$file" ] || fail "not installed: $file"
done
for size in 16 48 256; do
  identify -format '%wx%h' "$PREFIX/share/icons/hicolor/${size}x${size}/apps/pictavo.png" |
    grep -qx "${size}x${size}" || fail "the ${size} px icon has another size"
done
[ ! -e "$PREFIX/bin/DefaultOptions.xml" ] && [ ! -e "$PREFIX/bin/Languages" ] ||
  fail "data files installed beside the programs"

# The desktop entry's command, %F replaced by the file, with the prefix's programs on the path.
exec_line=$(sed -n 's/^Exec=//p' "$PREFIX/share/applications/org.pictavo.Pictavo.desktop")
[[ $exec_line == *%F* ]] || fail "Exec takes no files: $exec_line"
start_x
start_tray
start_democam
read -r -a command <<<"${exec_line//%F/$DEMO_CAL}"
PATH=$PREFIX/bin:$PATH "${command[@]}" >>"$WORK/pictavo.log" 2>&1 &
PICTAVO_PID=$!
PIDS+=($PICTAVO_PID)
wait_for 10 tray_icon || fail "no tray icon: $(cat "$WORK/pictavo.log")"
screenshot installed-tray
[ "$(readlink -f "/proc/$PICTAVO_PID/exe")" = "$(readlink -f "$PREFIX/bin/pictavo")" ] ||
  fail "the installed program was not the one started"

kill -TERM "$PICTAVO_PID"
wait_pictavo_end 5 || fail "did not end on SIGTERM"
[ "$PICTAVO_STATUS" -eq 0 ] || fail "exit status $PICTAVO_STATUS"
grep -q "Url=\"$DEMO_URL" "$OPTIONS" || fail "the .cal file was not imported"
for on in Status PropResize SubDirectory ScrollMosaic; do
  grep -q "<$on>-1</$on>" "$OPTIONS" || fail "$on is not on: the default settings were not read"
done
grep -q '<ProxyPort>8000</ProxyPort>' "$OPTIONS" || fail "proxy port is not the default"
grep -q '<LaunchWindows>0</LaunchWindows>' "$OPTIONS" || fail "autostart is on"
[ ! -e "$XDG_DATA_HOME/applications/pictavo.desktop" ] || fail "a user desktop entry was written"
[ ! -e "$XDG_DATA_HOME/mime/packages/pictavo.xml" ] || fail "user file types were written"
cmp -s "$PREFIX/share/pictavo/DefaultOptions.xml" "$(dirname "$0")/../../resources/DefaultOptions.xml" ||
  fail "the default settings file was changed"
echo PASS
