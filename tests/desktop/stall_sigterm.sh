#!/usr/bin/env bash
# SIGTERM runs Exit: the settings are saved and the program ends within 2 seconds with status 0,
# also while a webcam server stalls in the middle of a download. SIGINT does the same.
source "$(dirname "$0")/common.bash"
start_x

# A server that sends the headers and a few bytes of a large body, then stalls.
PORT=$(free_port)
cat >"$WORK/stall.py" <<'PY'
import socket, sys, time
srv = socket.socket(); srv.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
srv.bind(("127.0.0.1", int(sys.argv[1]))); srv.listen(8)
conns = []
while True:
    c, _ = srv.accept(); conns.append(c)
    c.recv(4096)
    c.sendall(b"HTTP/1.1 200 OK\r\nContent-Type: image/jpeg\r\nContent-Length: 500000\r\n\r\n\xff\xd8\xff")
    open(sys.argv[2], "a").write("stalled\n")
PY
python3 "$WORK/stall.py" "$PORT" "$WORK/stalled" &
PIDS+=($!)
wait_for 5 python3 -c "import socket; socket.create_connection(('127.0.0.1', $PORT)).close()" || fail "stall server"
rm -f "$WORK/stalled"

URL="http://127.0.0.1:$PORT/stall.jpg"
write_options() {
  mkdir -p "$(dirname "$OPTIONS")"
  printf '%s\r\n' '<?xml version="1.0" encoding="iso-8859-1"?>' '<Options>' \
    ' <AlwaysOnTop>0</AlwaysOnTop>' ' <SaveImages>0</SaveImages>' ' <Beep>0</Beep>' \
    ' <Status>-1</Status>' ' <FirstLaunch>-1</FirstLaunch>' ' <LaunchWindows>0</LaunchWindows>' \
    ' <OpenedCams>' "  <Cam Url=\"$URL\"/>" ' </OpenedCams>' \
    ' <Category Name="">' '  <Cams>' "   <Cam Name=\"Stall\" Url=\"$URL\" Refresh=\"5\" UserAlpha=\"0\"/>" \
    '  </Cams>' ' </Category>' ' <LastUsed/>' '</Options>' >"$OPTIONS"
}

for sig in TERM INT; do
  write_options
  rm -f "$WORK/stalled"
  start_pictavo
  # The viewer reopened from the settings is in the middle of its download.
  wait_for 10 test -s "$WORK/stalled" || fail "the reopened viewer did not fetch"
  wait_for 5 state_line 'title="Stall"' || fail "no viewer: $(cat "$PICTAVO_STATE_DUMP" 2>/dev/null)"
  sleep 0.3
  start_ns=$(date +%s%N)
  kill -s "$sig" "$PICTAVO_PID"
  wait_pictavo_end 5 || fail "SIG$sig: still running after 5 s"
  elapsed_ms=$((($(date +%s%N) - start_ns) / 1000000))
  note "SIG$sig: ended after $elapsed_ms ms with status $PICTAVO_STATUS"
  [ "$PICTAVO_STATUS" -eq 0 ] || fail "SIG$sig: exit status $PICTAVO_STATUS"
  [ "$elapsed_ms" -lt 2000 ] || fail "SIG$sig: took $elapsed_ms ms"
  # Exit saved: FirstLaunch is cleared by every save, and the open viewer is listed.
  grep -q '<FirstLaunch>0</FirstLaunch>' "$OPTIONS" || fail "SIG$sig: settings not saved"
  grep -q "<Cam Url=\"$URL\"/>" "$OPTIONS" || fail "SIG$sig: open viewer not saved"
  [ ! -e "$XDG_RUNTIME_DIR/TfoCamMain" ] || note "socket file left behind (removed at next start)"
done
echo PASS
