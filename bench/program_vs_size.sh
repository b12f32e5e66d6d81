#!/usr/bin/env bash
# The real program with a long queue beside a short one: time from start to
# the shown main window, idle CPU share of one core and peak memory, and the
# cost of one downloads-grid refresh (bench_program_grid).
#
# Every queue record is "Complete" and option line 1 is "0", so nothing is
# removed and the worker idles: it asks the queue for work ten times a second
# and finds none. That is the steady state of a long queue at rest.
#
# Start-up runs under Xvfb: an X event listener on the root window reports the
# main window's MapNotify, so the time is from launching the process to the
# window being mapped on screen, with no polling; the program has loaded the
# queue by then (the window reads it before it is shown). Without Xvfb or xev
# the program runs offscreen and the start-up time is not measured.
#
# Idle CPU: utime+stime of all the process's threads from /proc/PID/stat over
# the idle period, starting 5 s after the window is shown. Peak memory: VmHWM
# at the end of that period. Both queue lengths idle side by side.
#
# Environment: PROGRAM_BENCH_RUNS start-ups per length (default 7),
# PROGRAM_BENCH_IDLE_SECONDS (default 60), PROGRAM_BENCH_REPEATS grid
# refreshes timed per length (default 300).
#
# Usage: bench/program_vs_size.sh BUILD_DIR
set -euo pipefail

build_dir=$(cd "${1:?usage: $0 BUILD_DIR}" && pwd)
program=$build_dir/ui/tolvenka
grid_bench=$build_dir/bench/bench_program_grid
runs=${PROGRAM_BENCH_RUNS:-7}
idle_seconds=${PROGRAM_BENCH_IDLE_SECONDS:-60}
grid_repeats=${PROGRAM_BENCH_REPEATS:-300}
settle_seconds=5
sizes=(10000 100)
host=${TOLVENKA_SERVICE_HOST:-rapidshare.com}

for binary in "$program" "$grid_bench"; do
    [ -x "$binary" ] || { echo "missing $binary (build tolvenka and bench_program_grid)" >&2; exit 1; }
done

work=$(mktemp -d)
started_pids=()
cleanup() {
    local pid
    for pid in "${started_pids[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT

# A queue file of `count` Complete downloads, CP1251 with CR LF line ends.
write_queue_file() {
    local count=$1 path=$2
    awk -v n="$count" -v host="$host" -v dir="$work/files/" 'BEGIN {
        ORS = "\r\n"
        print "0"; print dir
        for (i = 1; i <= n; i++) {
            name = sprintf("file-%06d.rar", i)
            print host
            print "http://" host "/files/" (100000000 + i) "/" name
            print dir name
            print "Complete"
            print ""
        }
    }' >"$path"
}

median() {
    sort -g | awk '{ v[NR] = $1 } END { if (NR == 0) print "n/a"; else if (NR % 2) print v[(NR + 1) / 2]; else printf "%.1f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

cpu_ticks() { # utime + stime, fields 14 and 15 of /proc/PID/stat
    sed 's/^.*) //' "/proc/$1/stat" | awk '{ print $12 + $13 }'
}

peak_kib() {
    awk '/^VmHWM:/ { print $2 }' "/proc/$1/status"
}

# Starts the program in queue folder `dir`; sets `program_pid`.
start_program() {
    local dir=$1
    (cd "$dir" && exec "$program") >>"$dir/program.log" 2>&1 &
    program_pid=$!
    started_pids+=("$program_pid")
}

# SIGTERM, then wait: the program saves the queue and waits for its worker.
stop_program() {
    local status=0
    kill -TERM "$1" 2>/dev/null || true
    wait "$1" 2>/dev/null || status=$?
    [ "$status" -eq 0 ] || echo "warning: tolvenka (pid $1) ended with status $status" >&2
}

use_x=no
if command -v Xvfb >/dev/null && command -v xev >/dev/null && command -v xdotool >/dev/null; then
    use_x=yes
fi

start_display() {
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
    started_pids+=("$!")
    local waited=0
    until [ -s "$work/display" ]; do
        sleep 0.05
        waited=$((waited + 1))
        [ "$waited" -lt 200 ] || { echo "Xvfb did not start" >&2; exit 1; }
    done
    DISPLAY=:$(head -n1 "$work/display")
    export DISPLAY
    unset QT_QPA_PLATFORM WAYLAND_DISPLAY
}

window_title=Толвенка

window_of() { # the id after ", window " in an xev line, as a decimal number
    local id=${1#*, window }
    echo $((${id%%,*}))
}

# Milliseconds from launching the program in `dir` to its window's MapNotify.
startup_ms() {
    local dir=$1 events line start end status=0
    exec {events}< <(exec stdbuf -oL xev -root -event substructure 2>/dev/null)
    local listener=$!
    sleep 0.5 # let the listener select its events
    start=$EPOCHREALTIME
    start_program "$dir"
    # A MapNotify line is followed by "event ROOT, window ID, override ...".
    while IFS= read -r -t 60 -u "$events" line; do
        [[ $line == MapNotify* ]] || continue
        end=$EPOCHREALTIME
        IFS= read -r -t 5 -u "$events" line || { status=1; break; }
        [ "$(xdotool getwindowname "$(window_of "$line")" 2>/dev/null)" = "$window_title" ] && break
    done || status=1
    exec {events}<&-
    kill "$listener" 2>/dev/null || true
    stop_program "$program_pid"
    [ "$status" -eq 0 ] || program_failed "$dir" "no window seen"
    awk -v s="$start" -v e="$end" 'BEGIN { printf "%.1f\n", (e - s) * 1000 }'
}

# The program in `dir` failed: says so with the end of its output.
program_failed() {
    echo "tolvenka in $1: $2; its last output:" >&2
    tail -n 20 "$1/program.log" >&2
    return 1
}

wait_until_shown() {
    local pid=$1 dir=$2 tries=0
    if [ "$use_x" = yes ]; then
        until xdotool search --onlyvisible --pid "$pid" >/dev/null 2>&1; do
            kill -0 "$pid" 2>/dev/null || program_failed "$dir" "ended before its window showed"
            sleep 0.1
            tries=$((tries + 1))
            [ "$tries" -lt 600 ] || program_failed "$dir" "no window within 60 s"
        done
    fi
}

declare -A startup cpu peak grid_model grid_tick grid_painted

for size in "${sizes[@]}"; do
    mkdir -p "$work/q$size"
    write_queue_file "$size" "$work/q$size/queue.txt"
done

if [ "$use_x" = yes ]; then
    start_display
    for size in "${sizes[@]}"; do
        dir=$work/q$size
        for ((run = 0; run < runs; run++)); do
            cp "$dir/queue.txt" "$dir/downloads.txt"
            startup_ms "$dir"
        done >"$dir/startup.txt"
        startup[$size]=$(median <"$dir/startup.txt")
    done
else
    export QT_QPA_PLATFORM=offscreen
    for size in "${sizes[@]}"; do startup[$size]="n/a"; done
fi

# Idle: both lengths side by side; CPU time is counted per process.
declare -A idle_pid ticks_before
for size in "${sizes[@]}"; do
    cp "$work/q$size/queue.txt" "$work/q$size/downloads.txt"
    start_program "$work/q$size"
    idle_pid[$size]=$program_pid
done
for size in "${sizes[@]}"; do wait_until_shown "${idle_pid[$size]}" "$work/q$size"; done
sleep "$settle_seconds"
for size in "${sizes[@]}"; do ticks_before[$size]=$(cpu_ticks "${idle_pid[$size]}"); done
idle_start=$EPOCHREALTIME
sleep "$idle_seconds"
idle_end=$EPOCHREALTIME
hz=$(getconf CLK_TCK)
for size in "${sizes[@]}"; do
    pid=${idle_pid[$size]}
    ticks=$(($(cpu_ticks "$pid") - ticks_before[$size]))
    cpu[$size]=$(awk -v t="$ticks" -v hz="$hz" -v s="$idle_start" -v e="$idle_end" \
        'BEGIN { printf "%.2f", t / hz / (e - s) * 100 }')
    peak[$size]=$(awk -v k="$(peak_kib "$pid")" 'BEGIN { printf "%.1f", k / 1024 }')
    stop_program "$pid"
    # Nothing changed, so the queue saved at the close is the one loaded.
    cmp -s "$work/q$size/queue.txt" "$work/q$size/downloads.txt" ||
        echo "warning: the $size-download queue file changed while idle" >&2
done

for size in "${sizes[@]}"; do
    out=$("$grid_bench" "$grid_repeats" "$size" 2>/dev/null)
    grid_model[$size]=$(awk '$3 == "model" { print $5 }' <<<"$out")
    grid_tick[$size]=$(awk '$3 == "tick" { print $5 }' <<<"$out")
    grid_painted[$size]=$(awk '$3 == "painted" { print $5 }' <<<"$out")
done

row() { printf "%-44s %14s %14s   %s\n" "$@"; }
echo "tolvenka with a long queue (every download Complete, worker idle)"
row "" "10,000 downl." "100 downl." "goal"
row "start to shown window, median of $runs (ms)" "${startup[10000]}" "${startup[100]}" ""
row "idle CPU over ${idle_seconds} s (% of one core)" "${cpu[10000]}" "${cpu[100]}" "< 2"
row "peak memory, VmHWM (MiB)" "${peak[10000]}" "${peak[100]}" "< 150"
row "grid rebuild, model only (ms, median)" "${grid_model[10000]}" "${grid_model[100]}" ""
row "grid rebuild, panel tick (ms, median)" "${grid_tick[10000]}" "${grid_tick[100]}" "< 5"
row "grid rebuild + view repaint (ms, median)" "${grid_painted[10000]}" "${grid_painted[100]}" "< 5"
