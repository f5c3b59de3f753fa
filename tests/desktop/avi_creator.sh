#!/usr/bin/env bash
# The AVI creator from the tray menu: files chosen in the open dialog (Insert), Produce with the
# save dialog, the progress window in front while the frames are written, and the completion
# message; the video holds one frame per file.
source "$(dirname "$0")/common.bash"
start_x
start_tray
start_democam
write_status_options
start_pictavo
wait_for 10 tray_icon || fail "no tray icon"

# Twenty frames of the democam's Full HD picture, in the archive folder.
FRAMES=$WORK/frames
mkdir -p "$FRAMES"
python3 - "${DEMO_URL%/*}/hd.jpg" "$FRAMES" <<'PY' || fail "could not fetch a picture from democam"
import sys, urllib.request, shutil
data = urllib.request.urlopen(sys.argv[1], timeout=10).read()
for i in range(1, 21):
    with open("%s/a%02d.jpg" % (sys.argv[2], i), "wb") as f:
        f.write(data)
PY

creator() { xsearch --onlyvisible --name '^AVI Creator$' | head -n1 | grep .; }
dialog() { xsearch --onlyvisible --name "$1" | head -n1 | grep .; }

open_tray_menu
xdotool key a
wait_for 10 creator || fail "the AVI Creator did not open"
xdotool windowfocus --sync "$(creator)"
sleep 0.3
xdotool key Insert
wait_for 10 dialog '^Open' || fail "Insert did not open the file dialog"
sleep 0.3
xdotool type --delay 5 "$FRAMES/"
xdotool key Return
sleep 0.5
xdotool type --delay 5 "$(for i in $(seq -w 1 20); do printf '"a%s.jpg" ' "$i"; done)"
xdotool key Return
wait_for 10 eval '! dialog "^Open"' || fail "the open dialog did not take the files"
sleep 0.3
screenshot avi-creator

# Produce: the save dialog, then the progress window while the frames are written.
xdotool windowfocus --sync "$(creator)"
sleep 0.2
xdotool key alt+p
wait_for 10 dialog '^Save' || fail "Produce did not open the save dialog"
sleep 0.3
xdotool type --delay 5 "$WORK/movie"
xdotool key Return
wait_for 10 dialog '^Progress$' && screenshot avi-progress
wait_for 60 test -f "$WORK/movie.avi" || fail "no movie.avi"
wait_for 10 dialog '^AVI Creator$' || true
sleep 0.5
screenshot avi-done
ls "$WORK" | grep -q '\.part$' && fail "a .part file was left behind"

# 20 frames of 1920 x 1080 at 24 bits: the frame chunks alone take 20 x 6,220,800 bytes.
size=$(stat -c %s "$WORK/movie.avi")
[ "$size" -gt $((20 * 6220800)) ] && [ "$size" -lt $((21 * 6220800)) ] ||
  fail "movie.avi has $size bytes, not 20 Full HD frames"
echo PASS
