#!/usr/bin/env bash
# pictavo-avi against ffmpeg: 1,000 JPEG files of 640 x 480 into an uncompressed 24-bit AVI, the
# same files for both in the same run, wall time (best of 3) and peak resident memory of each.
# Then one run of 1,200 frames, which takes the file past 1 GB into OpenDML parts.
#
#   peer_ffmpeg_avi.sh <builddir> <out.json>
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
out=${2:-$build/bench/peer_ffmpeg_avi.json}
tool="$build/bin/pictavo-avi"
frames=${AVI_BENCH_FRAMES:-1000}
big_frames=${AVI_BENCH_BIG_FRAMES:-1200}
rounds=${AVI_BENCH_ROUNDS:-5}

if [ ! -x "$tool" ]; then
    echo "peer_ffmpeg_avi: $tool is not built" >&2
    exit 1
fi

# Tools of the benchmark only: installed here when missing and apt works.
install() {
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "$@" \
        >/dev/null 2>&1 || { $sudo apt-get update -qq >/dev/null 2>&1 &&
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "$@" \
        >/dev/null 2>&1; } || true
}
[ -x /usr/bin/time ] || install time
command -v ffmpeg >/dev/null || install ffmpeg
command -v cjpeg >/dev/null || install libjpeg-turbo-progs
if [ ! -x /usr/bin/time ] || ! command -v cjpeg >/dev/null; then
    echo "peer_ffmpeg_avi: needs /usr/bin/time and cjpeg" >&2
    exit 1
fi
have_ffmpeg=0
command -v ffmpeg >/dev/null && have_ffmpeg=1

work="$build/bench/avi"
pics="$work/jpeg-640x480"
mkdir -p "$pics"

# The pictures: a smooth scene with fine detail that moves from frame to frame, encoded at
# quality 85 by libjpeg-turbo's cjpeg. Kept between runs.
if [ "$(find "$pics" -name '*.jpg' | wc -l)" -lt "$frames" ]; then
    echo "peer_ffmpeg_avi: making $frames JPEG files of 640 x 480"
    python3 - "$pics" "$frames" <<'PY'
import math, os, random, subprocess, sys
folder, count = sys.argv[1], int(sys.argv[2])
w, h = 640, 480
random.seed(7)
# Twice as wide as a frame: each frame is a window that slides over it.
W = 2 * w
base = bytearray(W * h * 3)
for y in range(h):
    for x in range(W):
        i = 3 * (y * W + x)
        n = random.randrange(24)
        base[i] = (int(127 + 120 * math.sin(x / 53.0 + y / 97.0)) + n) & 0xFF
        base[i + 1] = (int(127 + 120 * math.cos(y / 41.0)) + n) & 0xFF
        base[i + 2] = ((x * y) // 301 + n) & 0xFF
for k in range(count):
    off = (k * 7) % w
    rows = b"".join(bytes(base[3 * (y * W + off):3 * (y * W + off + w)]) for y in range(h))
    ppm = b"P6\n%d %d\n255\n" % (w, h) + rows
    with open(os.path.join(folder, "%05d.jpg" % (k + 1)), "wb") as f:
        subprocess.run(["cjpeg", "-quality", "85"], input=ppm, stdout=f, check=True)
PY
fi

list=()
for ((i = 1; i <= frames; i++)); do list+=("$pics/$(printf %05d $i).jpg"); done

# run <name> <command...>: wall seconds, CPU seconds (user + system) and peak RSS (KiB) of one
# run, into $secs, $cpu and $rss. Dirty pages of earlier runs are flushed first, untimed, so that
# no run pays for another's writing.
run() {
    local name=$1
    shift
    local t0 t1
    sync
    t0=$(date +%s%N)
    /usr/bin/time -f "%M %U %S" -o "$work/$name.rss" "$@" >/dev/null 2>"$work/$name.err" || {
        echo "peer_ffmpeg_avi: $name failed:" >&2
        cat "$work/$name.err" >&2
        return 1
    }
    t1=$(date +%s%N)
    secs=$(python3 -c "print(($t1 - $t0) / 1e9)")
    read -r rss user sys < <(tail -1 "$work/$name.rss")
    cpu=$(python3 -c "print($user + $sys)")
}

best() { python3 -c "import sys; print(min(float(a) for a in sys.argv[1:]))" "$@"; }
most() { python3 -c "import sys; print(max(int(a) for a in sys.argv[1:]))" "$@"; }

p_secs=() p_rss=() p_cpu=() f_secs=() f_rss=() f_cpu=()
run_pictavo() {
    rm -f "$work/p.avi"
    run pictavo "$tool" -o "$work/p.avi" --pause 500 "${list[@]}"
    p_secs+=("$secs") p_rss+=("$rss") p_cpu+=("$cpu")
    p_bytes=$(stat -c %s "$work/p.avi")
    rm -f "$work/p.avi"
}
run_ffmpeg() {
    [ $have_ffmpeg = 1 ] || return 0
    rm -f "$work/f.avi"
    run ffmpeg ffmpeg -nostdin -y -v error -framerate 2 -i "$pics/%05d.jpg" -frames:v "$frames" \
        -c:v rawvideo -pix_fmt bgr24 "$work/f.avi"
    f_secs+=("$secs") f_rss+=("$rss") f_cpu+=("$cpu")
    f_bytes=$(stat -c %s "$work/f.avi")
    rm -f "$work/f.avi"
}
# The two take turns at going first.
for ((r = 1; r <= rounds; r++)); do
    if ((r % 2)); then run_pictavo; run_ffmpeg; else run_ffmpeg; run_pictavo; fi
    echo "round $r: pictavo-avi ${p_secs[-1]} s (cpu ${p_cpu[-1]} s) ${p_rss[-1]} KiB" \
        "${f_secs:+| ffmpeg ${f_secs[-1]} s (cpu ${f_cpu[-1]} s) ${f_rss[-1]} KiB}"
done

# Past 1 GB: the files again from the start until there are big_frames frames.
big=()
for ((i = 0; i < big_frames; i++)); do big+=("${list[$((i % frames))]}"); done
run pictavo_big "$tool" -o "$work/big.avi" --pause 500 "${big[@]}"
big_secs=$secs big_rss=$rss
big_bytes=$(stat -c %s "$work/big.avi")
big_parts=$(python3 - "$work/big.avi" <<'PY'
import struct, sys
parts = 0
with open(sys.argv[1], "rb") as f:
    pos = 0
    while True:
        f.seek(pos)
        head = f.read(12)
        if len(head) < 12 or head[:4] != b"RIFF":
            break
        parts += 1
        pos += 8 + struct.unpack("<I", head[4:8])[0]
print(parts)
PY
)
big_read=None
if [ $have_ffmpeg = 1 ]; then
    big_read=$(ffprobe -v error -count_packets -select_streams v:0 \
        -show_entries stream=nb_read_packets -of csv=p=0 "$work/big.avi" | tr -d ',\n')
fi
rm -f "$work/big.avi"

python3 - "$out" <<PY
import json, sys
import statistics
p = [$(IFS=,; echo "${p_secs[*]}")]
p_secs = min(p)
p_rss = max([$(IFS=,; echo "${p_rss[*]}")])
p_cpu = [$(IFS=,; echo "${p_cpu[*]}")]
f = [$(IFS=,; echo "${f_secs[*]:-}")]
f_rss = [$(IFS=,; echo "${f_rss[*]:-}")]
f_cpu = [$(IFS=,; echo "${f_cpu[*]:-}")]
res = {
    "frames": $frames, "width": 640, "height": 480, "rounds": $rounds,
    "pictavo_avi": {"seconds": p_secs, "median_seconds": statistics.median(p),
                    "cpu_seconds": min(p_cpu), "peak_rss_kib": p_rss, "bytes": $p_bytes},
    "ffmpeg": None,
    "odml_run": {"frames": $big_frames, "bytes": $big_bytes, "riff_parts": $big_parts,
                 "seconds": $big_secs, "peak_rss_kib": $big_rss,
                 "frames_counted_by_ffprobe": $big_read},
}
if f:
    res["ffmpeg"] = {"seconds": min(f), "median_seconds": statistics.median(f),
                     "cpu_seconds": min(f_cpu), "peak_rss_kib": max(f_rss), "bytes": ${f_bytes:-0}}
    res["speed_ratio_ffmpeg_over_pictavo"] = min(f) / p_secs
    res["median_speed_ratio_ffmpeg_over_pictavo"] = statistics.median(f) / statistics.median(p)
res["targets"] = {
    "at_least_as_fast_as_ffmpeg": (min(f) >= p_secs) if f else None,
    "peak_rss_under_64mib": max(p_rss, $big_rss) < 64 * 1024,
    "odml_frames_whole": ($big_read == $big_frames) if $have_ffmpeg else None,
}
with open(sys.argv[1], "w") as fh:
    json.dump(res, fh, indent=1)
print(json.dumps(res, indent=1))
PY
