#!/usr/bin/env bash
# From the tray menu to a live webcam: the demo webcams imported from the command line appear in
# the menu; choosing Clock opens a viewer that shows its image and counts down to the next fetch.
source "$(dirname "$0")/common.bash"
start_x
start_tray
start_democam
write_status_options
start_pictavo "$DEMO_CAL"
wait_for 10 tray_icon || fail "no tray icon"

# Close this menu, Last viewed, then the imported category "Demo"; its first webcam is Clock.
open_tray_menu
xdotool key Down Down Down
sleep 0.2
xdotool key Right
sleep 0.3
screenshot tray-menu-demo
xdotool key Return

images() { state_line 'title="Clock"' | sed -E 's/.* images=([0-9]+).*/\1/'; }
has_images() { [ "$(images)" -ge "$1" ]; }
countdown() { state_line 'title="Clock"' | sed -E 's/.* countdown="([^"]*)".*/\1/'; }
wait_for 10 state_line 'title="Clock" visible=1' || fail "no Clock viewer: $(cat "$PICTAVO_STATE_DUMP" 2>/dev/null)"
wait_for 10 has_images 1 || fail "no image arrived"
note "$(state_line 'title="Clock"')"

# The size panel tells the scale and the size of the window as it stands, once the image came.
size_matches() {
  local line geometry size
  line=$(state_line 'title="Clock"') || return 1
  geometry=$(echo "$line" | sed -E 's/.* geometry=[-0-9]+,[-0-9]+,([0-9]+),([0-9]+) .*/\1*\2/')
  size=$(echo "$line" | sed -E 's/.* size="([^"]*)".*/\1/')
  echo "$size" | grep -Eq "^[1-9][0-9]*% \(${geometry//\*/\\*}\)$"
}
wait_for 5 size_matches || fail "the size panel does not tell what is shown: $(state_line 'title="Clock"')"
note "size panel: $(state_line 'title="Clock"' | sed -E 's/.* size="([^"]*)".*/\1/')"

# The countdown moves: at least three different texts within the refresh interval and a bit.
seen=""
end=$((SECONDS + 12))
while [ $SECONDS -lt $end ]; do
  text=$(countdown || true)
  case "|$seen|" in *"|$text|"*) ;; *) seen="$seen|$text" ;; esac
  [ "$(echo "$seen" | tr '|' '\n' | grep -c .)" -ge 3 ] && break
  sleep 0.1
done
note "countdown texts seen: $seen"
[ "$(echo "$seen" | tr '|' '\n' | grep -c 'second')" -ge 2 ] || fail "the countdown did not count down"
wait_for 15 has_images 2 || fail "no second image after the countdown"

# The viewer shows a picture, not a plain background.
viewer=$(xsearch --onlyvisible --name '^Clock$' | head -n1)
[ -n "$viewer" ] || fail "no viewer window named Clock"
import -window "$viewer" "$WORK/viewer.png"
spread=$(convert "$WORK/viewer.png" -colorspace Gray -format '%[fx:standard_deviation]' info:)
note "viewer picture grey spread $spread"
awk "BEGIN { exit !($spread > 0.05) }" || fail "the viewer shows no picture"
screenshot viewer-clock

kill -TERM "$PICTAVO_PID"
wait_pictavo_end 5 || fail "did not end on SIGTERM"
[ "$PICTAVO_STATUS" -eq 0 ] || fail "exit status $PICTAVO_STATUS"
grep -q "<Cam Url=\"${DEMO_URL}clock.jpg\"/>" "$OPTIONS" || fail "the open viewer was not saved"
echo PASS
