#!/usr/bin/env bash
# Reads a 1 GiB body from nginx on loopback into a file, with HttpClient
# (bench_http_get) and with curl, alternating A B A B; prints each pair, the
# median ratio of wall times, and the peak memory of bench_http_get for a
# 1 MiB and a 1 GiB body.
# Usage: bench/http_get_vs_curl.sh BUILD_DIR [PAIRS]
set -euo pipefail
. "$(dirname "$0")/lib/nginx.bash"

build_dir=$(realpath "${1:?usage: $0 BUILD_DIR [PAIRS]}")
pairs=${2:-5}
client="$build_dir/bench/bench_http_get"
[ -x "$client" ] || { echo "missing $client (build the target bench_http_get)" >&2; exit 1; }
nginx=$(command -v nginx || echo /usr/sbin/nginx)
[ -x "$nginx" ] || { echo "nginx is not installed; run ./scripts/install-deps.sh" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/tolvenka-http-bench-XXXXXX")
nginx_pid=
cleanup() {
    [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/root"
truncate -s 1G "$work/root/1g.bin"
head -c 1048576 /dev/urandom >"$work/root/1m.bin"

start_nginx() {
    local port=$1
    write_nginx_conf "$work" "listen 127.0.0.1:$port;"
    "$nginx" -p "$work" -c "$work/nginx.conf" -e "$work/error.log" &
    nginx_pid=$!
    for _ in $(seq 100); do
        if curl -s -o /dev/null "http://127.0.0.1:$port/1m.bin"; then
            return 0
        fi
        kill -0 "$nginx_pid" 2>/dev/null || break
        sleep 0.05
    done
    kill "$nginx_pid" 2>/dev/null || true
    wait "$nginx_pid" 2>/dev/null || true
    nginx_pid=
    return 1
}

port=
for _ in 1 2 3 4 5; do
    candidate=$((20000 + RANDOM % 40000))
    if start_nginx "$candidate"; then
        port=$candidate
        break
    fi
done
[ -n "$port" ] || { echo "nginx did not start:" >&2; cat "$work/error.log" >&2; exit 1; }
url="http://127.0.0.1:$port/1g.bin"
out="$work/out.bin"

now() { date +%s.%N; }
time_run() { # prints the wall seconds of the command
    rm -f "$out"
    sync
    local start end
    start=$(now)
    "$@" >/dev/null
    end=$(now)
    awk -v end="$end" -v start="$start" 'BEGIN { print end - start }'
}

# Warm the page cache with the source file once.
curl -s -o /dev/null "$url"

echo "HttpClient vs curl, 1 GiB over loopback into a file, $pairs pairs"
ratios=()
for i in $(seq "$pairs"); do
    ours=$(time_run "$client" "$url" "$out")
    [ "$(stat -c %s "$out")" -eq 1073741824 ] || { echo "short file from HttpClient" >&2; exit 1; }
    theirs=$(time_run curl -s -o "$out" "$url")
    ratio=$(awk -v a="$ours" -v b="$theirs" 'BEGIN { print a / b }')
    ratios+=("$ratio")
    printf 'pair %d: HttpClient %.3f s, curl %.3f s, ratio %.3f\n' "$i" "$ours" "$theirs" "$ratio"
done
median=$(printf '%s\n' "${ratios[@]}" | sort -g | awk '{ r[NR] = $1 } END {
    if (NR % 2) print r[(NR + 1) / 2]; else print (r[NR / 2] + r[NR / 2 + 1]) / 2 }')
printf 'median ratio HttpClient/curl: %.3f (goal <= 1.10)\n' "$median"

rss() { "$client" "http://127.0.0.1:$port/$1" "$out" | sed -n 's/.*max_rss_kib=\([0-9]*\).*/\1/p'; }
small=$(rss 1m.bin)
large=$(rss 1g.bin)
rm -f "$out"
echo "peak memory: 1 MiB body ${small} KiB, 1 GiB body ${large} KiB," \
    "difference $((large - small)) KiB (goal <= 2048)"
