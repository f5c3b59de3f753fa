#!/usr/bin/env bash
# The viewer's fetch (and fetch + decode) of democam's 1920 x 1080 image against
# `curl -s -o /dev/null` of the same URL, in the same run, from the same democam.
# Usage: peer_curl.sh <builddir> <out.json>
# curl is timed two ways: one process per fetch (as run from a shell), and one process fetching
# the URL many times over its kept connection (the transfer alone, like our kept connection).
set -euo pipefail
build=${1:?usage: peer_curl.sh <builddir> <out.json>}
out=${2:?usage: peer_curl.sh <builddir> <out.json>}
bench="$build/bin/bench_fetch"
count=${PEER_FETCHES:-50}

if ! command -v curl >/dev/null; then
    echo '{"curl": "not installed"}' > "$out"
    exit 0
fi
source "$(dirname "$0")/democam.bash" peer_curl "$build" bench_fetch
url="${base}hd.jpg"

PICTAVO_DEMOCAM_URL="$base" "$bench" --benchmark_filter='BM_FetchHd|BM_FetchAndDecodeHd' \
    --benchmark_format=json > "$work/ours.json" 2>/dev/null

curl -s -o /dev/null "$url" # warm-up: the frame of this second is encoded once
start=$(date +%s%N)
for _ in $(seq 1 "$count"); do
    curl -s -o /dev/null "$url"
done
end=$(date +%s%N)
per_process_ns=$(( (end - start) / count ))

args=()
for _ in $(seq 1 "$count"); do
    args+=(-o /dev/null "$url")
done
start=$(date +%s%N)
curl -s "${args[@]}"
end=$(date +%s%N)
kept_ns=$(( (end - start) / count ))

python3 - "$work/ours.json" "$per_process_ns" "$kept_ns" "$count" "$out" <<'PY'
import json, sys
ours_file, per_process_ns, kept_ns, count, target = sys.argv[1:6]
data = json.load(open(ours_file))
times = {}
for b in data["benchmarks"]:
    unit = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[b.get("time_unit", "ns")]
    times[b["name"].split("/")[0]] = b["real_time"] * unit
curl_process_ms = int(per_process_ns) / 1e6
curl_kept_ms = int(kept_ns) / 1e6
fetch = times.get("BM_FetchHd")
round_trip = times.get("BM_FetchAndDecodeHd")
result = {
    "url": "democam /hd.jpg (1920x1080 JPEG, about 100 KB)",
    "fetches_per_curl_measure": int(count),
    "ours_fetch_ms": round(fetch, 3) if fetch else None,
    "ours_fetch_and_decode_ms": round(round_trip, 3) if round_trip else None,
    "curl_one_process_per_fetch_ms": round(curl_process_ms, 3),
    "curl_kept_connection_ms_per_fetch": round(curl_kept_ms, 3),
}
if fetch:
    result["ratio_ours_fetch_to_curl_kept"] = round(fetch / curl_kept_ms, 2)
if round_trip:
    result["ratio_ours_fetch_and_decode_to_curl_process"] = round(round_trip / curl_process_ms, 2)
with open(target, "w") as f:
    json.dump(result, f, indent=1)
print(json.dumps(result, indent=1))
PY
