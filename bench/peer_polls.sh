#!/usr/bin/env bash
# A still webcam polled 60 times at interval 0 on 127.0.0.1: the viewer's fetch thread against a
# plain polling client (curl in a loop), each served first by democam and then by a real web server
# (nginx, when installed; the benchmark is skipped with a note when it is not). Counted on the
# server's side: image bodies and body bytes sent, 304 answers, TCP connections opened.
# Usage: peer_polls.sh <builddir> <out.json>
set -euo pipefail
build=${1:?usage: peer_polls.sh <builddir> <out.json>}
out=${2:?usage: peer_polls.sh <builddir> <out.json>}
democam="$build/bin/democam"
bench="$build/bin/bench_fetch"
polls=60

for exe in "$democam" "$bench"; do
    if [ ! -x "$exe" ]; then
        echo "peer_polls: $exe not built" >&2
        exit 1
    fi
done
work=$(mktemp -d)
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

"$democam" 0 > "$work/address" &
pids+=($!)
for _ in $(seq 1 100); do
    [ -s "$work/address" ] && break
    sleep 0.05
done
base=$(head -1 "$work/address")

# democam's counters as "name value" lines; the request for them opens one connection itself.
stats() { curl -s "${base}stats"; }
stat() { awk -v n="$1" '$1 == n { print $2 }' "$2"; }

ours() { # url -> the thread's own count of images, as JSON
    PICTAVO_POLL_URL="$1" "$bench" --benchmark_filter='BM_PollUrl60' --benchmark_format=json \
        2>/dev/null | python3 -c '
import json, sys
b = json.load(sys.stdin)["benchmarks"][0]
print(json.dumps({"polls": int(b.get("polls", 0)), "images": int(b.get("images", 0)),
                  "image_bytes": int(b.get("image_bytes", 0))}))'
}
curl_loop() {
    for _ in $(seq 1 "$polls"); do
        curl -s -o /dev/null "$1"
    done
}

democam_run() { # name command...
    local name=$1
    shift
    stats > "$work/before"
    "$@" > "$work/$name.client" || true
    stats > "$work/after"
    python3 - "$work/before" "$work/after" "$work/$name.client" > "$work/$name.json" <<'PY'
import json, sys
def read(path):
    return {l.split()[0]: int(l.split()[1]) for l in open(path) if len(l.split()) == 2}
before, after = read(sys.argv[1]), read(sys.argv[2])
d = {k: after[k] - before.get(k, 0) for k in after}
client = open(sys.argv[3]).read().strip()
r = {"requests": d["requests"] - 1, "connections": d["connections"] - 1,
     "body_bytes": d["body_bytes"], "not_modified": d.get("not_modified", 0)}
if client:
    r["client"] = json.loads(client)
print(json.dumps(r))
PY
}

still="${base}still.jpg"
curl -s -o /dev/null "$still"
democam_run democam_ours ours "$still"
democam_run democam_curl curl_loop "$still"
still_size=$(curl -s -o /dev/null -w '%{size_download}' "$still")

nginx_bin=$(command -v nginx || true)
[ -z "$nginx_bin" ] && [ -x /usr/sbin/nginx ] && nginx_bin=/usr/sbin/nginx
if [ -n "$nginx_bin" ]; then
    mkdir -p "$work/nginx/html" "$work/nginx/logs"
    curl -s -o "$work/nginx/html/still.jpg" "${base}hd.jpg" # a 1920 x 1080 JPEG
    port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
    cat > "$work/nginx/nginx.conf" <<EOF
daemon off;
master_process off;
worker_processes 1;
pid $work/nginx/nginx.pid;
error_log $work/nginx/logs/error.log;
events { worker_connections 64; }
http {
    log_format polls '\$connection \$status \$body_bytes_sent';
    access_log $work/nginx/logs/access.log polls;
    client_body_temp_path $work/nginx/tmp;
    proxy_temp_path $work/nginx/tmp;
    fastcgi_temp_path $work/nginx/tmp;
    uwsgi_temp_path $work/nginx/tmp;
    scgi_temp_path $work/nginx/tmp;
    keepalive_requests 1000;
    server {
        listen 127.0.0.1:$port;
        root $work/nginx/html;
    }
}
EOF
    "$nginx_bin" -p "$work/nginx" -c "$work/nginx/nginx.conf" 2>"$work/nginx/start.log" &
    pids+=($!)
    url="http://127.0.0.1:$port/still.jpg"
    for _ in $(seq 1 100); do
        curl -s -o /dev/null "$url" && break
        sleep 0.05
    done
    nginx_run() { # name command...
        local name=$1
        shift
        : > "$work/nginx/logs/access.log"
        "$@" > "$work/$name.client" || true
        sleep 0.2 # the log line of the last request
        python3 - "$work/nginx/logs/access.log" "$work/$name.client" > "$work/$name.json" <<'PY'
import json, sys
lines = [l.split() for l in open(sys.argv[1]) if len(l.split()) == 3]
r = {"requests": len(lines), "connections": len({l[0] for l in lines}),
     "bodies": sum(1 for l in lines if l[1] == "200"),
     "not_modified": sum(1 for l in lines if l[1] == "304"),
     "body_bytes": sum(int(l[2]) for l in lines)}
client = open(sys.argv[2]).read().strip()
if client:
    r["client"] = json.loads(client)
print(json.dumps(r))
PY
    }
    nginx_run nginx_ours ours "$url"
    nginx_run nginx_curl curl_loop "$url"
    nginx_version=$("$nginx_bin" -v 2>&1 | sed 's/.*\///')
else
    echo '{"skipped": "nginx not installed"}' > "$work/nginx_ours.json"
    echo '{"skipped": "nginx not installed"}' > "$work/nginx_curl.json"
    nginx_version=""
fi

python3 - "$work" "$polls" "$still_size" "$nginx_version" "$out" <<'PY'
import json, os, sys
work, polls, still_size, nginx_version, target = sys.argv[1:6]
load = lambda name: json.load(open(os.path.join(work, name + ".json")))
result = {
    "polls": int(polls),
    "democam": {"image": "still.jpg, %s bytes" % still_size,
                "ours": load("democam_ours"), "curl_loop": load("democam_curl")},
    "nginx": {"version": nginx_version or None, "image": "democam hd.jpg, 1920x1080",
              "ours": load("nginx_ours"), "curl_loop": load("nginx_curl")},
    "target": "ours: 1 body and 1 connection per server",
}
for server in ("democam", "nginx"):
    o = result[server]["ours"]
    if "body_bytes" in o and "client" in o and o["client"].get("image_bytes"):
        o["bodies"] = round(o["body_bytes"] / o["client"]["image_bytes"], 2)
with open(target, "w") as f:
    json.dump(result, f, indent=1)
print(json.dumps(result, indent=1))
PY
