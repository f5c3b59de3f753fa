# Shared start of the peer scripts that measure against democam (sourced, not run): each program
# named must be built; a work folder, removed at exit with democam, in $work; democam on a free
# port of 127.0.0.1, its address in $base.
#
#   source "$(dirname "$0")/democam.bash" <script name> <builddir> <program>...
peer_name=$1
peer_build=$2
shift 2
for exe in "$peer_build/bin/democam" "${@/#/$peer_build/bin/}"; do
    if [ ! -x "$exe" ]; then
        echo "$peer_name: $exe not built" >&2
        exit 1
    fi
done
work=$(mktemp -d)
"$peer_build/bin/democam" 0 > "$work/address" &
democam_pid=$!
trap 'kill $democam_pid 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 1 100); do
    [ -s "$work/address" ] && break
    sleep 0.05
done
base=$(head -1 "$work/address")
