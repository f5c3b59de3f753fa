#!/usr/bin/env bash
# The chooser: started where there is no notification area, the program opens it; choosing the
# imported category "Demo" fills the list with thumbnails; closing it then ends the program. With a
# tray, a left click on the icon opens it.
source "$(dirname "$0")/common.bash"
start_x
start_democam
write_status_options
start_pictavo "$DEMO_CAL"
wait_for 10 chooser_window || fail "no chooser without a notification area"
chooser=$(chooser_window)
note "chooser window $chooser"
# The import is told in a message box (there is no tray for a balloon): read, then closed.
wait_for 10 xsearch --onlyvisible --name '^Pictavo$' || fail "the import was not told"
for box in $(xsearch --onlyvisible --name '^Pictavo$'); do close_window "$box"; done
wait_for 5 eval '! xsearch --onlyvisible --name "^Pictavo$"' || fail "the message box stayed"

# The list (right of the 121-pixel tree, below the menu bar that stands in for the tray menu) is
# empty until a category is chosen.
list_area="380x280+130+30"
empty=$(picture_spread "$chooser" "$list_area")
note "empty list spread $empty"
# The first node of the tree, below the menu bar, is the imported category.
xdotool mousemove --window "$chooser" 30 36 click 1
sleep 0.5
menu_is_open && fail "a menu opened instead of the category"
has_thumbnails() { awk "BEGIN { exit !($(picture_spread "$chooser" "$list_area") > 0.1) }"; }
wait_for 15 has_thumbnails || fail "no thumbnails after choosing a category"
sleep 2
screenshot chooser
note "list spread $(picture_spread "$chooser" "$list_area")"

close_window "$chooser"
wait_pictavo_end 5 || fail "closing the chooser without a tray did not end the program"
[ "$PICTAVO_STATUS" -eq 0 ] || fail "exit status $PICTAVO_STATUS"

# With a tray: no chooser at start; a left click on the icon opens it.
start_tray
start_pictavo
wait_for 10 tray_icon || fail "no tray icon"
sleep 0.5
chooser_window >/dev/null && fail "the chooser opened although there is a tray"
for attempt in 1 2 3; do
  click_tray_icon 1
  wait_for 4 chooser_window && break
done
chooser_window >/dev/null || fail "a left click on the tray icon did not open the chooser"
chooser=$(chooser_window)
close_window "$chooser"
wait_for 5 eval '! chooser_window' || fail "the chooser did not close"
sleep 0.5
kill -0 "$PICTAVO_PID" || fail "closing the chooser with a tray ended the program"
kill -TERM "$PICTAVO_PID"
wait_pictavo_end 5 || fail "did not end on SIGTERM"
echo PASS
