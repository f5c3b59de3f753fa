#!/usr/bin/env bash
# pictavo-avi against ffmpeg: 1,000 JPEG files of 640 x 480 into an uncompressed 24-bit AVI and
# into a JPEG ('MJPG') AVI that stores the files as they are (ffmpeg -c:v copy), the same files for
# every run in the same session, wall time (best of the rounds) and peak resident memory (the
# rusage maximum of each process). Then one run of 1,200 frames, which takes the uncompressed file
# past 1 GB into OpenDML parts. Without ffmpeg (scripts/install-deps bench installs it) the peer
# runs are left out and the rest is measured.
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

if [ ! -x /usr/bin/time ] || ! command -v cjpeg >/dev/null; then
    echo "peer_ffmpeg_avi: needs /usr/bin/time and cjpeg (scripts/install-deps bench)" >&2
    exit 1
fi
have_ffmpeg=0
command -v ffmpeg >/dev/null && have_ffmpeg=1
[ $have_ffmpeg = 1 ] || echo "peer_ffmpeg_avi: ffmpeg is not installed; its runs are left out" >&2

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
jpeg_bytes=$(cat "${list[@]}" | wc -c)

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
m_secs=() m_rss=() m_cpu=() c_secs=() c_rss=() c_cpu=()
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
run_mjpeg() {
    rm -f "$work/m.avi"
    run mjpeg "$tool" --codec mjpeg -o "$work/m.avi" --pause 500 "${list[@]}"
    m_secs+=("$secs") m_rss+=("$rss") m_cpu+=("$cpu")
    m_bytes=$(stat -c %s "$work/m.avi")
    rm -f "$work/m.avi"
}
run_copy() {
    [ $have_ffmpeg = 1 ] || return 0
    rm -f "$work/c.avi"
    run ffmpeg_copy ffmpeg -nostdin -y -v error -framerate 2 -i "$pics/%05d.jpg" \
        -frames:v "$frames" -c:v copy "$work/c.avi"
    c_secs+=("$secs") c_rss+=("$rss") c_cpu+=("$cpu")
    c_bytes=$(stat -c %s "$work/c.avi")
    rm -f "$work/c.avi"
}
# The programs take turns at going first.
for ((r = 1; r <= rounds; r++)); do
    if ((r % 2)); then
        run_pictavo; run_ffmpeg; run_mjpeg; run_copy
    else
        run_copy; run_mjpeg; run_ffmpeg; run_pictavo
    fi
    echo "round $r: raw: pictavo-avi ${p_secs[-1]} s (cpu ${p_cpu[-1]} s) ${p_rss[-1]} KiB" \
        "${f_secs:+| ffmpeg ${f_secs[-1]} s (cpu ${f_cpu[-1]} s) ${f_rss[-1]} KiB}"
    echo "round $r: mjpeg: pictavo-avi ${m_secs[-1]} s (cpu ${m_cpu[-1]} s) ${m_rss[-1]} KiB" \
        "${c_secs:+| ffmpeg -c:v copy ${c_secs[-1]} s (cpu ${c_cpu[-1]} s) ${c_rss[-1]} KiB}"
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
m = [$(IFS=,; echo "${m_secs[*]}")]
m_rss = max([$(IFS=,; echo "${m_rss[*]}")])
m_cpu = [$(IFS=,; echo "${m_cpu[*]}")]
c = [$(IFS=,; echo "${c_secs[*]:-}")]
c_rss = [$(IFS=,; echo "${c_rss[*]:-}")]
jpeg_bytes = $jpeg_bytes
res = {
    "frames": $frames, "width": 640, "height": 480, "rounds": $rounds,
    "pictavo_avi": {"seconds": p_secs, "median_seconds": statistics.median(p),
                    "cpu_seconds": min(p_cpu), "peak_rss_kib": p_rss, "bytes": $p_bytes},
    "ffmpeg": None,
    "jpeg_bytes": jpeg_bytes,
    "pictavo_avi_mjpeg": {"seconds": min(m), "median_seconds": statistics.median(m),
                          "cpu_seconds": min(m_cpu), "peak_rss_kib": m_rss, "bytes": $m_bytes},
    "ffmpeg_copy": None,
    "mjpeg_size_over_jpeg_bytes": $m_bytes / jpeg_bytes,
    "raw_size_over_mjpeg_size": $p_bytes / $m_bytes,
    "speed_ratio_raw_over_mjpeg": p_secs / min(m),
    "median_speed_ratio_raw_over_mjpeg": statistics.median(p) / statistics.median(m),
    "odml_run": {"frames": $big_frames, "bytes": $big_bytes, "riff_parts": $big_parts,
                 "seconds": $big_secs, "peak_rss_kib": $big_rss,
                 "frames_counted_by_ffprobe": $big_read},
}
if f:
    res["ffmpeg"] = {"seconds": min(f), "median_seconds": statistics.median(f),
                     "cpu_seconds": min(f_cpu), "peak_rss_kib": max(f_rss), "bytes": ${f_bytes:-0}}
    res["speed_ratio_ffmpeg_over_pictavo"] = min(f) / p_secs
    res["median_speed_ratio_ffmpeg_over_pictavo"] = statistics.median(f) / statistics.median(p)
if c:
    res["ffmpeg_copy"] = {"seconds": min(c), "median_seconds": statistics.median(c),
                          "peak_rss_kib": max(c_rss), "bytes": ${c_bytes:-0},
                          "size_over_jpeg_bytes": ${c_bytes:-0} / jpeg_bytes}
    res["speed_ratio_ffmpeg_copy_over_mjpeg"] = min(c) / min(m)
res["targets"] = {
    "mjpeg_at_most_1_02_of_jpeg_bytes": $m_bytes <= 1.02 * jpeg_bytes,
    "mjpeg_at_least_4x_faster_than_raw": p_secs >= 4 * min(m),
    "mjpeg_peak_rss_under_16mib": m_rss < 16 * 1024,
    "at_least_as_fast_as_ffmpeg": (min(f) >= p_secs) if f else None,
    "peak_rss_under_64mib": max(p_rss, $big_rss) < 64 * 1024,
    "odml_frames_whole": ($big_read == $big_frames) if $have_ffmpeg else None,
}
with open(sys.argv[1], "w") as fh:
    json.dump(res, fh, indent=1)
print(json.dumps(res, indent=1))
PY
