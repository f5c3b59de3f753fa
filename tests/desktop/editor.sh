#!/usr/bin/env bash
# The catalogue editor while webcams are shown: with a viewer on Clock and the mosaic open, the
# user opens "Edit List...", renames the imported category, drags a webcam before another and
# presses OK. The settings file holds the new catalogue, both windows go on refreshing, and the
# program stays alive until it is asked to end.
source "$(dirname "$0")/common.bash"
start_x
start_tray
start_democam
write_status_options
start_pictavo "$DEMO_CAL"
wait_for 10 tray_icon || fail "no tray icon"

# Tray menu: Close this menu, Last viewed, Demo, AVI Creator, Edit List, Mosaic.
menu_item() {
  open_tray_menu
  local i
  for i in $(seq "$1"); do xdotool key Down; done
  sleep 0.2
}

images() { state_line 'title="Clock"' | sed -E 's/.* images=([0-9]+).*/\1/'; }
has_images() { [ "$(images)" -ge "$1" ]; }
menu_item 3
xdotool key Right
sleep 0.3
xdotool key Return
wait_for 10 state_line 'title="Clock" visible=1' || fail "no Clock viewer"
wait_for 15 has_images 1 || fail "no image in the viewer"

mosaic_window() { xsearch --onlyvisible --name '^Mosaic$' | head -n1 | grep .; }
menu_item 6
xdotool key Return
wait_for 10 mosaic_window || fail "no mosaic"
mosaic=$(mosaic_window)

# The mosaic refreshes when two captures some seconds apart differ (Clock draws the time).
mosaic_changes() {
  import -window "$mosaic" "$WORK/mosaic-a.png"
  local end=$((SECONDS + 20)) diff
  while [ $SECONDS -lt $end ]; do
    sleep 1
    import -window "$mosaic" "$WORK/mosaic-b.png"
    diff=$(compare -metric AE "$WORK/mosaic-a.png" "$WORK/mosaic-b.png" null: 2>&1 || true)
    [ "${diff%% *}" != "0" ] && return 0
  done
  return 1
}
mosaic_changes || fail "the mosaic does not refresh before the edit"

editor_window() { xsearch --onlyvisible --name '^Edit Cams$' | head -n1 | grep .; }
menu_item 5
xdotool key Return
wait_for 10 editor_window || fail "Edit List did not open the editor"
editor=$(editor_window)
sleep 0.5

# Rows of the tree are 14 pixels apart from y=18: Demo, then (expanded) Clock, Still, ...
xdotool mousemove --window "$editor" 50 18 click 1
sleep 0.3
xdotool key Right
sleep 0.3
# The category's name field, right of its label.
xdotool mousemove --window "$editor" 390 85 click --repeat 3 1
sleep 0.2
xdotool key ctrl+a
xdotool type --delay 20 "Demo Cams"
sleep 0.3
# Still dragged onto Clock goes before it.
xdotool mousemove --window "$editor" 70 46 mousedown 1
for y in 44 41 38 35 33 32; do
  xdotool mousemove --window "$editor" 70 $y
  sleep 0.1
done
sleep 0.3
xdotool mouseup 1
sleep 0.5
screenshot editor-edited
images_before=$(images)
note "viewer images before OK: $images_before"
xdotool key alt+o
wait_for 5 eval '! editor_window' || fail "OK did not close the editor"

# The new catalogue is in the settings file: the renamed category, Still before Clock.
grep -q '<Category Name="Demo Cams">' "$OPTIONS" || fail "the renamed category was not saved: $(grep -a Category "$OPTIONS")"
first_cam=$(grep -o '<Cam [^>]*Name="[^"]*"' "$OPTIONS" | head -n1 | sed -E 's/.*Name="([^"]*)"/\1/')
[ "$first_cam" = "Still" ] || fail "the moved webcam is not first but $first_cam"

# Both windows go on: the viewer takes new images, the mosaic changes, the program runs.
wait_for 20 has_images $((images_before + 1)) || fail "the viewer stopped refreshing after OK"
mosaic_changes || fail "the mosaic stopped refreshing after OK"
kill -0 "$PICTAVO_PID" || fail "the program ended"
note "viewer images after OK: $(images)"

kill -TERM "$PICTAVO_PID"
wait_pictavo_end 5 || fail "did not end on SIGTERM"
[ "$PICTAVO_STATUS" -eq 0 ] || fail "exit status $PICTAVO_STATUS"
echo PASS
