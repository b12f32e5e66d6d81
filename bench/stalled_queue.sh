#!/usr/bin/env bash
# A queue of two downloads whose first cannot succeed, against the simulated
# service: how many page conversations the first costs in a while, and how
# long the second waits before its file has arrived (its own countdown,
# 0 + 5 s, included). The first either goes into a folder that cannot be
# made (a file stands where the folder would be), or gets a reply the
# program does not understand, every time. Every build named runs at the
# same time, each with its own service and folder, so they share the load.
#
# Usage: bench/stalled_queue.sh BUILD_DIR [BUILD_DIR...]
#   A build folder holds ui/tolvenka; the simulated service, which counts the
#   requests, comes from the first one.
#   Environment: STALLED_QUEUE_SECONDS (default 300); STALLED_QUEUE_FIRST,
#   "blocked-folder" (default) or "failing-reply".
set -euo pipefail

seconds=${STALLED_QUEUE_SECONDS:-300}
first_fails=${STALLED_QUEUE_FIRST:-blocked-folder}
case $first_fails in
blocked-folder) first_script=countdown:0 first_folder=blocker/sub ;;
failing-reply) first_script=garbage first_folder=files ;;
*) echo "STALLED_QUEUE_FIRST is blocked-folder or failing-reply" >&2; exit 2 ;;
esac
[ $# -gt 0 ] || { echo "usage: $0 BUILD_DIR [BUILD_DIR...]" >&2; exit 2; }
sim=$(cd "$1" && pwd)/tools/service-sim/tolvenka-service-sim

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

run() { # run INDEX BUILD_DIR: prints "BUILD conversations first-file-seconds"
    local index=$1 build
    build=$(cd "$2" && pwd)
    local dir=$work/$index
    mkdir -p "$dir/files"
    : >"$dir/blocker"
    : >"$dir/service.txt"
    "$sim" \
        --file 1/blocked.bin --size 1K --script "$first_script" \
        --file 2/next.bin --size 1K --script countdown:0 \
        >"$dir/service.txt" 2>"$dir/service.err" &
    local service=$!
    pids+=("$service")
    until [ "$(wc -l <"$dir/service.txt")" -ge 3 ]; do sleep 0.05; done
    local host first second
    host=$(sed -n 1p "$dir/service.txt")
    first=$(sed -n 2p "$dir/service.txt")
    second=$(sed -n 3p "$dir/service.txt")
    printf '0\r\n%s/files/\r\n%s\r\n%s\r\n%s/%s/blocked.bin\r\nQueue\r\n\r\n%s\r\n%s\r\n%s/files/next.bin\r\nQueue\r\n\r\n' \
        "$dir" "$host" "$first" "$dir" "$first_folder" "$host" "$second" "$dir" >"$dir/downloads.txt"
    local start
    start=$(date +%s%N)
    (cd "$dir" && QT_QPA_PLATFORM=offscreen TOLVENKA_SERVICE_HOST=$host \
        exec "$build/ui/tolvenka" >/dev/null 2>&1) &
    local program=$!
    pids+=("$program")
    local arrived=never
    while [ $((($(date +%s%N) - start) / 1000000000)) -lt "$seconds" ]; do
        if [ "$arrived" = never ] && [ -e "$dir/files/next.bin" ]; then
            arrived=$(awk -v ns=$(($(date +%s%N) - start)) 'BEGIN { printf "%.2fs", ns / 1e9 }')
        fi
        sleep 0.05
    done
    kill -TERM "$program"
    wait "$program" || true
    kill -TERM "$service"
    wait "$service" || true
    local conversations
    conversations=$(sed -n 's/^1: \([0-9]*\) link page requests.*/\1/p' "$dir/service.err")
    echo "$2 $conversations $arrived"
}

echo "first download: $first_fails; its page conversations in ${seconds} s, seconds until the next one's file arrived:"
index=0
for build in "$@"; do
    run $index "$build" >"$work/result.$index" &
    index=$((index + 1))
done
wait
for ((i = 0; i < index; i++)); do
    read -r build conversations arrived <"$work/result.$i"
    printf '  %-40s %4s conversations   next file after: %s\n' "$build" "$conversations" "$arrived"
done
