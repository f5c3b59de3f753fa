#!/usr/bin/env bash
# A second start hands its file to the running instance and ends once the file is imported; a
# second start with a file of another type changes nothing; one without a file only shows the
# chooser (second_start.sh).
source "$(dirname "$0")/common.bash"
start_x
start_pictavo

mkdir -p "$WORK/files"
cal='<?xml version="1.0" encoding="ISO-8859-1"?>
<Category Name="Handed Over">
 <Webcam Name="Relay" Url="http://127.0.0.1:9/relay.jpg" Referer="" Refresh="30" Homepage="" Email=""/>
</Category>'
printf '%s\n' "$cal" >"$WORK/files/list.CAL"
printf '%s\n' "$cal" | sed 's/relay.jpg/other.jpg/' >"$WORK/files/list.cam.txt"

# Without a file: ends at once; the first instance keeps running.
timeout 10 "$BIN/pictavo" || fail "second start without a file failed"
kill -0 "$PICTAVO_PID" || fail "the first instance ended"

# With a file of another type: nothing happens.
(cd "$WORK/files" && timeout 10 "$BIN/pictavo" list.cam.txt) || fail "second start (.cam.txt)"

# With a .CAL file named relative to the second start's folder: imported before the start ends.
(cd "$WORK/files" && timeout 20 "$BIN/pictavo" list.CAL extra-argument-ignored) || fail "second start (.CAL)"
kill -0 "$PICTAVO_PID" || fail "the first instance ended"

# Another runtime folder is another session: a program started there runs on its own.
mkdir -p "$WORK/runtime2" && chmod 700 "$WORK/runtime2"
XDG_RUNTIME_DIR=$WORK/runtime2 XDG_CONFIG_HOME=$WORK/config2 "$BIN/pictavo" >>"$WORK/pictavo2.log" 2>&1 &
OTHER_PID=$!
PIDS+=($OTHER_PID)
wait_for 10 test -S "$WORK/runtime2/TfoCamMain" || fail "the instance of another session did not start"
sleep 0.5
kill -0 "$OTHER_PID" || fail "the instance of another session ended"
kill -0 "$PICTAVO_PID" || fail "the first instance ended"
kill -TERM "$OTHER_PID"

kill -TERM "$PICTAVO_PID"
wait_pictavo_end 5 || fail "did not end on SIGTERM"
[ "$PICTAVO_STATUS" -eq 0 ] || fail "exit status $PICTAVO_STATUS"
grep -q 'Url="http://127.0.0.1:9/relay.jpg"' "$OPTIONS" || fail "the handed-over file was not imported"
grep -q 'Name="Handed Over"' "$OPTIONS" || fail "category missing"
! grep -q 'other.jpg' "$OPTIONS" || fail "a .cam.txt file was imported"
echo PASS
