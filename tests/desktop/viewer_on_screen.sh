#!/usr/bin/env bash
# A webcam larger than the screen: its viewer opens at 100% reduced to the screen and lies wholly
# on it, status bar included; Exit records that place, and the next start reopens it there.
source "$(dirname "$0")/common.bash"
start_x
start_tray
start_democam
write_status_options
start_pictavo "$DEMO_CAL"
wait_for 10 tray_icon || fail "no tray icon"

# Close this menu, Last viewed, then the imported category "Demo"; its seventh webcam is Full HD.
open_tray_menu
xdotool key Down Down Down
sleep 0.2
xdotool key Right
sleep 0.3
xdotool key Down Down Down Down Down Down
sleep 0.2
xdotool key Return

images() { state_line 'title="Full HD"' | sed -E 's/.* images=([0-9]+).*/\1/'; }
has_images() { [ "$(images)" -ge 1 ]; }
wait_for 15 has_images || fail "no image arrived: $(cat "$PICTAVO_STATE_DUMP" 2>/dev/null)"
sleep 0.5
line=$(state_line 'title="Full HD"')
note "$line"
screenshot viewer-full-hd
on_screen() {
  local g x y w h
  g=$(echo "$1" | sed -E 's/.* geometry=([-0-9,]+).*/\1/')
  IFS=, read -r x y w h <<<"$g"
  [ "$x" -ge 0 ] && [ "$y" -ge 0 ] && [ $((x + w)) -le 1024 ] && [ $((y + h)) -le 768 ] &&
    [ "$w" -ge 600 ]
}
on_screen "$line" || fail "the viewer does not lie on the 1024x768 screen: $line"

kill -TERM "$PICTAVO_PID"
wait_pictavo_end 5 || fail "did not end on SIGTERM"
grep -q 'Name="Full HD"[^>]*UserLeft="[0-9]' "$OPTIONS" || fail "no place recorded: $(grep 'Full HD' "$OPTIONS")"

start_pictavo
wait_for 10 state_line 'title="Full HD" visible=1' || fail "the viewer was not reopened"
sleep 0.5
line=$(state_line 'title="Full HD"')
note "reopened: $line"
on_screen "$line" || fail "the reopened viewer does not lie on the screen: $line"
echo PASS
