#!/usr/bin/env bash
# Starting the program again without a file while it runs, as a launcher click does: the running
# instance opens its chooser (with a tray, where none was open), and the second start ends. A first
# start with an empty catalogue opens the chooser with its ways to a first webcam; without a tray
# the chooser carries the tray menu as its menu bar, and Escape closes it.
source "$(dirname "$0")/common.bash"
start_x
start_tray

mkdir -p "$WORK/files"
printf '%s\n' '<?xml version="1.0" encoding="ISO-8859-1"?>' '<Category Name="Harbour">' \
  ' <Webcam Name="Quay" Url="http://127.0.0.1:9/quay.jpg" Referer="" Refresh="30" Homepage="" Email=""/>' \
  '</Category>' >"$WORK/files/harbour.cal"
start_pictavo "$WORK/files/harbour.cal"
wait_for 10 tray_icon || fail "no tray icon"
sleep 0.5
chooser_window >/dev/null && fail "the chooser opened at start although there is a tray and a catalogue"

timeout 10 "$BIN/pictavo" || fail "the second start failed"
wait_for 5 chooser_window || fail "a second start without a file did not open the chooser"
kill -0 "$PICTAVO_PID" || fail "the first instance ended"
# Again, with the chooser open: still one chooser.
timeout 10 "$BIN/pictavo" || fail "the third start failed"
sleep 0.5
[ "$(xsearch --onlyvisible --name '^Choose a Webcam$' | wc -l)" -eq 1 ] || fail "more than one chooser"
kill -TERM "$PICTAVO_PID"
wait_pictavo_end 5 || fail "did not end on SIGTERM"

# A first start with an empty catalogue and no tray: the chooser with its two buttons and a menu
# bar; Escape closes it, which without a tray ends the program.
kill "$TRAYER_PID"
rm -rf "$XDG_CONFIG_HOME/Pictavo"
start_pictavo
wait_for 10 chooser_window || fail "no chooser at a first start with an empty catalogue"
chooser=$(chooser_window)
sleep 1
screenshot chooser-empty
xdotool windowfocus --sync "$chooser"
sleep 0.3
xdotool key Escape
wait_pictavo_end 5 || fail "Escape did not close the chooser"
[ "$PICTAVO_STATUS" -eq 0 ] || fail "exit status $PICTAVO_STATUS"

# The menu bar's one menu (the tray menu) opens on a click at its left end.
start_pictavo
wait_for 10 chooser_window || fail "no chooser at the next start with an empty catalogue"
chooser=$(chooser_window)
sleep 1
xdotool mousemove --window "$chooser" 20 10 click 1
wait_for 4 menu_is_open || fail "the chooser's menu bar did not open a menu"
screenshot chooser-menu
kill -TERM "$PICTAVO_PID"
wait_pictavo_end 5 || fail "did not end on SIGTERM"
echo PASS
