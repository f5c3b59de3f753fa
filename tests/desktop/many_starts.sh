#!/usr/bin/env bash
# Many starts at the same moment, each with its own .cal file: exactly one instance stays, and
# every file is imported by it once.
source "$(dirname "$0")/common.bash"
start_x

STARTS=12
mkdir -p "$WORK/files"
for i in $(seq $STARTS); do
  printf '%s\n' '<?xml version="1.0" encoding="ISO-8859-1"?>' \
    "<Category Name=\"Start $i\">" \
    " <Webcam Name=\"W$i\" Url=\"http://127.0.0.1:9/start$i.jpg\" Referer=\"\" Refresh=\"30\" Homepage=\"\" Email=\"\"/>" \
    '</Category>' >"$WORK/files/start$i.cal"
done

STARTED=()
for i in $(seq $STARTS); do
  "$BIN/pictavo" "$WORK/files/start$i.cal" >>"$WORK/pictavo.log" 2>&1 &
  STARTED+=($!)
  PIDS+=($!)
done

running() {
  local pid n=0
  for pid in "${STARTED[@]}"; do kill -0 "$pid" 2>/dev/null && n=$((n + 1)); done
  echo $n
}
# The later starts end once the running instance has imported their file.
end=$((SECONDS + 40))
while [ "$(running)" -gt 1 ] && [ $SECONDS -lt $end ]; do sleep 0.1; done
[ "$(running)" -eq 1 ] || fail "$(running) instances are running: $(cat "$WORK/pictavo.log")"
# Another moment later it is still one.
sleep 1
[ "$(running)" -eq 1 ] || fail "$(running) instances are running"

for pid in "${STARTED[@]}"; do kill -0 "$pid" 2>/dev/null && PICTAVO_PID=$pid; done
kill -TERM "$PICTAVO_PID"
wait_pictavo_end 10 || fail "did not end on SIGTERM"
[ "$PICTAVO_STATUS" -eq 0 ] || fail "exit status $PICTAVO_STATUS"
for i in $(seq $STARTS); do
  n=$(grep -c "start$i\.jpg\"" "$OPTIONS" || true)
  # The webcam stands once in the catalogue (and possibly once more under OpenedCams/LastUsed,
  # which name it by its Url only as <Cam Url=.../> entries).
  cat_n=$(grep -c "Name=\"W$i\"" "$OPTIONS" || true)
  [ "$cat_n" -eq 1 ] || fail "start $i imported $cat_n times ($n lines name its address)"
done
echo PASS
