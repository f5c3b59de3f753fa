#!/usr/bin/env bash
# Start-up with a large catalogue against an empty one: the time from starting the program until
# its icon is in the tray (Xvfb, openbox, trayer, as in the desktop tests), with an empty catalogue
# and with 10,000 webcams in 100 categories, ROUNDS runs each, alternating. Target: the large
# catalogue's icon within 1.2 times the empty one's.
#
#   peer_startup_icon.sh <builddir> <out.json>
set -euo pipefail
build=$(cd "${1:?usage: $0 <builddir> <out.json>}" && pwd)
out=$(realpath -m "${2:?usage: $0 <builddir> <out.json>}")
rounds=${STARTUP_ROUNDS:-5}
source "$(dirname "$0")/../tests/desktop/common.bash" "$build/bin"
start_x
start_tray

# Options.xml with the given number of webcams, spread over 100 categories.
write_catalogue() {
  local count=$1
  mkdir -p "$(dirname "$OPTIONS")"
  python3 - "$count" "$OPTIONS" <<'PY'
import sys
count, path = int(sys.argv[1]), sys.argv[2]
lines = ['<?xml version="1.0" encoding="iso-8859-1"?>', '<Options>', ' <FirstLaunch>0</FirstLaunch>',
         ' <Status>-1</Status>']
if count == 0:
    lines.append(' <Category Name=""/>')
else:
    lines += [' <Category Name="">', '  <Categories>']
    per = count // 100
    for c in range(100):
        lines += ['   <Category Name="Category %d">' % c, '    <Cams>']
        for w in range(per):
            lines.append('     <Cam Name="Webcam %d-%d" Url="http://127.0.0.1:9/%d/%d.jpg" Refresh="30" UserAlpha="0"/>' % (c, w, c, w))
        lines += ['    </Cams>', '   </Category>']
    lines += ['  </Categories>', ' </Category>']
lines += [' <LastUsed/>', '</Options>']
open(path, 'w', newline='').write('\r\n'.join(lines) + '\r\n')
PY
}

# Milliseconds from the start until the icon is in the tray.
time_to_icon() {
  local start end
  start=$(date +%s%N)
  "$BIN/pictavo" >>"$WORK/pictavo.log" 2>&1 &
  local pid=$!
  until tray_icon >/dev/null 2>&1; do
    kill -0 "$pid" 2>/dev/null || fail "the program ended: $(tail -n 5 "$WORK/pictavo.log")"
    [ $(( ($(date +%s%N) - start) / 1000000 )) -lt 20000 ] || fail "no tray icon within 20 s"
    sleep 0.01
  done
  end=$(date +%s%N)
  kill "$pid"
  wait "$pid" 2>/dev/null || true
  echo $(( (end - start) / 1000000 ))
}

empty=()
large=()
for _ in $(seq "$rounds"); do
  write_catalogue 0
  empty+=("$(time_to_icon)")
  write_catalogue 10000
  large+=("$(time_to_icon)")
done
python3 - "$out" "${empty[*]}" "${large[*]}" <<'PY'
import json, statistics, sys
target, empty, large = sys.argv[1], [int(x) for x in sys.argv[2].split()], [int(x) for x in sys.argv[3].split()]
result = {"empty_catalogue_ms": empty, "webcams_10000_ms": large,
          "median_empty_ms": statistics.median(empty), "median_10000_ms": statistics.median(large)}
result["ratio"] = round(result["median_10000_ms"] / result["median_empty_ms"], 2)
with open(target, "w") as f:
    json.dump(result, f, indent=1)
print(json.dumps(result, indent=1))
PY
