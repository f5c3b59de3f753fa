#!/usr/bin/env bash
# A viewer's MJPEG stream (democam's 1280 x 720 stream at 25 parts a second, every part decoded in
# full) against ffmpeg reading the same stream and decoding every frame to BGRA, in the same run:
# CPU time per frame of each.
# Usage: peer_ffmpeg_stream.sh <builddir> <out.json>
set -euo pipefail
build=${1:?usage: peer_ffmpeg_stream.sh <builddir> <out.json>}
out=${2:?usage: peer_ffmpeg_stream.sh <builddir> <out.json>}
bench="$build/bin/bench_fetch"
frames=${PEER_STREAM_FRAMES:-125}
source "$(dirname "$0")/democam.bash" peer_ffmpeg_stream "$build" bench_fetch

PICTAVO_DEMOCAM_URL="$base" "$bench" --benchmark_filter='BM_Stream25' \
    --benchmark_format=json > "$work/ours.json" 2>/dev/null

ffmpeg_cpu=""
ffmpeg_bytes=0
if command -v ffmpeg >/dev/null && [ -x /usr/bin/time ]; then
    /usr/bin/time -f '%U %S' -o "$work/time" ffmpeg -hide_banner -nostdin -loglevel error \
        -f mpjpeg -i "${base}stream.mjpg" -frames:v "$frames" -f rawvideo -pix_fmt bgra - |
        wc -c > "$work/bytes"
    ffmpeg_cpu=$(awk '{print $1 + $2}' "$work/time")
    ffmpeg_bytes=$(cat "$work/bytes")
fi

python3 - "$work/ours.json" "$ffmpeg_cpu" "$ffmpeg_bytes" "$out" <<'PY'
import json, sys
ours_file, ffmpeg_cpu, ffmpeg_bytes, target = sys.argv[1:5]
ours = {}
for b in json.load(open(ours_file))["benchmarks"]:
    if b["name"].startswith("BM_Stream25"):
        ours = b
result = {
    "stream": "democam /stream.mjpg (1280x720 JPEG parts, 25 a second)",
    "ours_cpu_ms_per_part": ours.get("cpu_ms_per_part"),
    "ours_parts_shown_per_second": ours.get("parts_shown_per_second"),
}
frame_bytes = 1280 * 720 * 4
if ffmpeg_cpu:
    frames = int(ffmpeg_bytes) // frame_bytes
    result["ffmpeg_frames_decoded"] = frames
    if frames > 0:
        result["ffmpeg_cpu_ms_per_frame"] = round(1000 * float(ffmpeg_cpu) / frames, 3)
        if ours.get("cpu_ms_per_part"):
            result["ratio_ours_to_ffmpeg"] = round(
                ours["cpu_ms_per_part"] / result["ffmpeg_cpu_ms_per_frame"], 2)
else:
    result["ffmpeg"] = "not installed (scripts/install-deps bench installs it)"
with open(target, "w") as f:
    json.dump(result, f, indent=1)
print(json.dumps(result, indent=1))
PY
