#!/usr/bin/env bash
# CPU at rest with a long queue whose file cannot be written, against one
# that can: 100,000 downloads of which the first turns out to be gone from
# the service just after the start (so the file is due to be written once),
# the rest are complete. Every build named runs with a writable and a read-only
# downloads.txt, all four (or more) side by side.
#
# Usage: bench/read_only_queue_idle.sh BUILD_DIR [BUILD_DIR...]
#   Environment: IDLE_SECONDS (default 20), QUEUE_SIZE (default 100000).
set -euo pipefail
. "$(dirname "$0")/lib/queue_records.bash"

idle_seconds=${IDLE_SECONDS:-20}
size=${QUEUE_SIZE:-100000}
settle_seconds=5
[ $# -gt 0 ] || { echo "usage: $0 BUILD_DIR [BUILD_DIR...]" >&2; exit 2; }
sim_build=$(cd "$1" && pwd)

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    chmod -R u+w "$work"
    rm -rf "$work"
}
trap cleanup EXIT

: >"$work/service.txt"
"$sim_build/tools/service-sim/tolvenka-service-sim" --file 1/gone.bin --script notfound \
    >"$work/service.txt" 2>/dev/null &
pids+=($!)
until [ "$(wc -l <"$work/service.txt")" -ge 2 ]; do sleep 0.05; done
host=$(sed -n 1p "$work/service.txt")
waiting=$(sed -n 2p "$work/service.txt")

write_queue_file() { # PATH
    {
        printf '0\r\n%s\r\n%s\r\n%s\r\n%sgone.bin\r\nQueue\r\n\r\n' \
            "$work/files/" "$host" "$waiting" "$work/files/"
        complete_records "$host" "$work/files/" 2 "$size"
    } >"$1"
}

cpu_ticks() { # PID: utime + stime of all its threads
    awk '{ print $14 + $15 }' /proc/"$1"/stat
}

builds=()
for dir in "$@"; do
    builds+=("$(cd "$dir" && pwd)")
done

declare -A programs=()
runs=0
for build in "${builds[@]}"; do
    for mode in writable read-only; do
        runs=$((runs + 1))
        dir=$work/$runs
        mkdir -p "$dir"
        write_queue_file "$dir/downloads.txt"
        [ $mode = read-only ] && chmod a-w "$dir/downloads.txt"
        (cd "$dir" && QT_QPA_PLATFORM=offscreen TOLVENKA_SERVICE_HOST=$host \
            exec "$build/ui/tolvenka" >/dev/null 2>&1) &
        programs["$build $mode"]=$!
        pids+=($!)
    done
done
sleep "$settle_seconds"
declare -A before
for key in "${!programs[@]}"; do before[$key]=$(cpu_ticks "${programs[$key]}"); done
sleep "$idle_seconds"
hz=$(getconf CLK_TCK)
echo "CPU at rest over ${idle_seconds} s, ${size} downloads:"
for key in "${!programs[@]}"; do
    used=$(($(cpu_ticks "${programs[$key]}") - ${before[$key]}))
    printf '  %-50s %6d ms\n' "$key" $((used * 1000 / hz))
done | sort
