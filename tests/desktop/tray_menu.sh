#!/usr/bin/env bash
# The tray icon: the program keeps running where there is no notification area yet and its icon
# appears once a tray starts; a right click opens the menu, which works from the keyboard (Exit).
# The catalogue holds more categories than the screen has lines: the menu still fits on it.
source "$(dirname "$0")/common.bash"
start_x
write_status_options
categories=$(for i in $(seq 500); do
  printf '<Category Name="Category %d"><Cams><Cam Name="W%d" Url="http://127.0.0.1:9/%d.jpg"/></Cams></Category>' "$i" "$i" "$i"
done)
sed -i "s|<Category Name=\"\"/>|<Category Name=\"\"><Categories>$categories</Categories></Category>|" "$OPTIONS"
grep -q 'Category 500' "$OPTIONS" || fail "could not write the catalogue"
start_pictavo
sleep 1
kill -0 "$PICTAVO_PID" || fail "ended without a notification area"

start_tray
wait_for 10 tray_icon || fail "the icon did not appear in the tray"
note "icon window $(tray_icon)"

open_tray_menu
note "menu window $(big_windows)"
sleep 0.3
screenshot tray-menu
for id in $(big_windows); do
  eval "$(xdotool getwindowgeometry --shell "$id")"
  [ "$X" -ge 0 ] && [ "$Y" -ge 0 ] && [ $((X + WIDTH)) -le 1024 ] && [ $((Y + HEIGHT)) -le 768 ] ||
    fail "the menu (${WIDTH}x${HEIGHT} at $X,$Y) runs off the 1024x768 screen"
done
xdotool key Escape
wait_for 5 eval '! menu_is_open' || fail "Escape did not close the menu"

# Up from no selection picks the last item, Exit; it saves and ends the program.
open_tray_menu
xdotool key Up
sleep 0.2
xdotool key Return
wait_pictavo_end 5 || fail "Exit from the menu did not end the program"
[ "$PICTAVO_STATUS" -eq 0 ] || fail "exit status $PICTAVO_STATUS"
grep -q '<FirstLaunch>0</FirstLaunch>' "$OPTIONS" || fail "Exit did not save"
echo PASS
