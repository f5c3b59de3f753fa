#!/usr/bin/env bash
# The StatusNotifierItem tray alone, as under KDE Plasma or Ubuntu's GNOME: no XEmbed tray, a
# watcher and a notification service of the test's own on a session bus of its own. The icon
# registers; its exported menu holds the catalogue and Exit; Activate (a left click) opens the
# chooser; the first-launch notice reaches org.freedesktop.Notifications; Exit from the exported
# menu ends the program.
source "$(dirname "$0")/dbusmenu.bash"
source "$(dirname "$0")/common.bash"

start_watcher --notifications
start_x
start_democam
# A first launch (the notice is due) with the Clock of the demo server in a category.
write_status_options
sed -i "s|<Category Name=\"\"/>|<Category Name=\"\"><Categories><Category Name=\"Demo\"><Cams><Cam Name=\"Clock\" Url=\"${DEMO_URL}clock.jpg\"/></Cams></Category></Categories></Category>|" "$OPTIONS"
start_pictavo
item_line() { grep -v -e '^ready$' -e '^notify ' "$WORK/watcher.out" | head -n1 | grep .; }
wait_for 10 item_line || fail "no item registered on the bus"
read -r service path < <(item_line)
note "item $service $path"
sni_menu_path || fail "the item exports no menu"

children 0 >"$WORK/top.txt" || fail "the menu could not be read: $(cat "$WORK/layout.txt" 2>&1)"
cat "$WORK/top.txt"
demo=$(awk -F'\t' '$2 == "Demo" {print $1}' "$WORK/top.txt")
[ -n "$demo" ] || fail "the catalogue's category is not in the menu"
exit_id=$(awk -F'\t' '$2 == "_Exit" {print $1}' "$WORK/top.txt")
[ -n "$exit_id" ] || fail "no Exit in the menu"
children "$demo" | cut -f2 | grep -qx 'Clock' || fail "the category does not hold its webcam"

# The notice of a first launch goes to the notification service.
wait_for 10 grep -q '^notify ' "$WORK/watcher.out" || fail "no message reached the notification service"
note "$(grep '^notify ' "$WORK/watcher.out" | head -n1)"
grep '^notify ' "$WORK/watcher.out" | grep -q 'First Launch of Pictavo' || fail "not the first-launch notice"

# A tray is there: no chooser at start; a left click (Activate) opens it.
wait_for 3 state_line '^app platform=' || fail "no state dump"
! state_line '^chooser visible=1' || fail "the chooser opened although a tray is there"
gdbus call --session --dest "$service" --object-path "$path" \
  --method org.kde.StatusNotifierItem.Activate 10 10 >/dev/null || fail "Activate was refused"
wait_for 5 state_line '^chooser visible=1' || fail "Activate did not open the chooser: $(cat "$PICTAVO_STATE_DUMP")"

# Exit, chosen in the exported menu, ends the program.
gdbus call --session --dest "$service" --object-path "$menu" \
  --method com.canonical.dbusmenu.Event "$exit_id" clicked '<0>' 0 >/dev/null || fail "the click on Exit was refused"
wait_pictavo_end 5 || fail "Exit from the exported menu did not end the program"
[ "$PICTAVO_STATUS" -eq 0 ] || fail "exit status $PICTAVO_STATUS"
echo PASS
