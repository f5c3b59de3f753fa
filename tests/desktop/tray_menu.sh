#!/usr/bin/env bash
# The tray icon: the program keeps running where there is no notification area yet and its icon
# appears once a tray starts; a right click opens the menu, which works from the keyboard (Exit).
source "$(dirname "$0")/common.bash"
start_x
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
