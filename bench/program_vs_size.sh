#!/usr/bin/env bash
# The real program with queues of 100, 10,000 and 100,000 downloads: time
# from start to the shown main window, idle CPU share of one core and peak
# memory, and the cost of one downloads-grid refresh (bench_program_grid).
#
# Every queue record is "Complete" and option line 1 is "0", so nothing is
# removed and the worker idles: it finds no work and sleeps until the queue
# changes. That is the steady state of a long queue at rest.
#
# Start-up runs under Xvfb: an X event listener on the root window reports the
# main window's MapNotify, so the time is from launching the process to the
# window being mapped on screen, with no polling; the program has loaded the
# queue by then (the window reads it before it is shown). Without Xvfb or xev
# the program runs offscreen and the start-up time is not measured. The sizes
# (and the builds, when more than one is named) take turns run by run, so a
# change in the machine's load falls on all of them alike.
#
# Idle CPU: utime+stime of all the process's threads from /proc/PID/stat over
# the idle period, starting 5 s after the window is shown. Peak memory: VmHWM
# at the end of that period (goal with 100,000 downloads: at most 64 MiB).
# Every size of every build idles side by side.
#
# Environment: PROGRAM_BENCH_RUNS start-ups per size (default 7),
# PROGRAM_BENCH_IDLE_SECONDS (default 60), PROGRAM_BENCH_REPEATS grid
# refreshes timed per size (default 300), PROGRAM_BENCH_SIZES (default
# "100 10000 100000").
#
# Usage: bench/program_vs_size.sh BUILD_DIR [BUILD_DIR...]
#   Several build folders (say, before and after a change) are measured in
#   the same run, side by side.
set -euo pipefail
. "$(dirname "$0")/lib/queue_records.bash"

builds=()
for dir in "$@"; do
    builds+=("$(cd "$dir" && pwd)")
done
[ ${#builds[@]} -gt 0 ] || { echo "usage: $0 BUILD_DIR [BUILD_DIR...]" >&2; exit 2; }
runs=${PROGRAM_BENCH_RUNS:-7}
idle_seconds=${PROGRAM_BENCH_IDLE_SECONDS:-60}
grid_repeats=${PROGRAM_BENCH_REPEATS:-300}
read -r -a sizes <<<"${PROGRAM_BENCH_SIZES:-100 10000 100000}"
settle_seconds=5
# The most a queue of 100,000 downloads may cost.
peak_goal_size=100000
peak_goal_mib=64
host=${TOLVENKA_SERVICE_HOST:-rapidshare.com}

for build in "${builds[@]}"; do
    for binary in "$build/ui/tolvenka" "$build/bench/bench_program_grid"; do
        [ -x "$binary" ] || { echo "missing $binary (build tolvenka and bench_program_grid)" >&2; exit 1; }
    done
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

# A queue file of `count` Complete downloads.
write_queue_file() {
    local count=$1 path=$2
    {
        printf '0\r\n%s\r\n' "$work/files/"
        complete_records "$host" "$work/files/" 1 "$count"
    } >"$path"
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

# Starts the program of build `build` in queue folder `dir`; sets `program_pid`.
start_program() {
    local build=$1 dir=$2
    (cd "$dir" && exec "$build/ui/tolvenka") >>"$dir/program.log" 2>&1 &
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

# Milliseconds from launching the program of `build` in `dir` to its
# window's MapNotify.
startup_ms() {
    local build=$1 dir=$2 events line start end status=0
    exec {events}< <(exec stdbuf -oL xev -root -event substructure 2>/dev/null)
    local listener=$!
    sleep 0.5 # let the listener select its events
    start=$EPOCHREALTIME
    start_program "$build" "$dir"
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

declare -A startup cpu peak grid_tick grid_painted

# One queue folder per build and size: q<build number>-<size>.
for b in "${!builds[@]}"; do
    for size in "${sizes[@]}"; do
        mkdir -p "$work/q$b-$size"
        write_queue_file "$size" "$work/q$b-$size/queue.txt"
    done
done

if [ "$use_x" = yes ]; then
    start_display
    for ((run = 0; run < runs; run++)); do
        for size in "${sizes[@]}"; do
            for b in "${!builds[@]}"; do
                dir=$work/q$b-$size
                cp "$dir/queue.txt" "$dir/downloads.txt"
                startup_ms "${builds[$b]}" "$dir" >>"$dir/startup.txt"
            done
        done
    done
    for b in "${!builds[@]}"; do
        for size in "${sizes[@]}"; do
            startup[$b-$size]=$(median <"$work/q$b-$size/startup.txt")
        done
    done
else
    export QT_QPA_PLATFORM=offscreen
    for b in "${!builds[@]}"; do
        for size in "${sizes[@]}"; do startup[$b-$size]="n/a"; done
    done
fi

# Idle: every size of every build side by side; CPU time is counted per process.
declare -A idle_pid ticks_before
for b in "${!builds[@]}"; do
    for size in "${sizes[@]}"; do
        cp "$work/q$b-$size/queue.txt" "$work/q$b-$size/downloads.txt"
        start_program "${builds[$b]}" "$work/q$b-$size"
        idle_pid[$b-$size]=$program_pid
    done
done
for key in "${!idle_pid[@]}"; do wait_until_shown "${idle_pid[$key]}" "$work/q$key"; done
sleep "$settle_seconds"
for key in "${!idle_pid[@]}"; do ticks_before[$key]=$(cpu_ticks "${idle_pid[$key]}"); done
idle_start=$EPOCHREALTIME
sleep "$idle_seconds"
idle_end=$EPOCHREALTIME
hz=$(getconf CLK_TCK)
for key in "${!idle_pid[@]}"; do
    pid=${idle_pid[$key]}
    ticks=$(($(cpu_ticks "$pid") - ticks_before[$key]))
    cpu[$key]=$(awk -v t="$ticks" -v hz="$hz" -v s="$idle_start" -v e="$idle_end" \
        'BEGIN { printf "%.2f", t / hz / (e - s) * 100 }')
    peak[$key]=$(awk -v k="$(peak_kib "$pid")" 'BEGIN { printf "%.1f", k / 1024 }')
done
for key in "${!idle_pid[@]}"; do
    stop_program "${idle_pid[$key]}"
    # Nothing changed, so the queue saved at the close is the one loaded.
    cmp -s "$work/q$key/queue.txt" "$work/q$key/downloads.txt" ||
        echo "warning: the queue file of $key changed while idle" >&2
done

for size in "${sizes[@]}"; do
    for b in "${!builds[@]}"; do
        out=$("${builds[$b]}/bench/bench_program_grid" "$grid_repeats" "$size" 2>/dev/null)
        grid_tick[$b-$size]=$(awk '$3 == "tick" { print $5 }' <<<"$out")
        grid_painted[$b-$size]=$(awk '$3 == "painted" { print $5 }' <<<"$out")
    done
done

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (a + 0 > 0 && b + 0 > 0) printf "%.2f", a / b; else print "n/a" }'; }
for b in "${!builds[@]}"; do
    echo
    echo "${builds[$b]} (every download Complete, worker idle)"
    printf "%-44s" ""
    for size in "${sizes[@]}"; do printf " %12s" "$size"; done
    printf " %14s\n" "largest/100"
    line() { # CAPTION ARRAY
        local -n values=$2
        printf "%-44s" "$1"
        for size in "${sizes[@]}"; do printf " %12s" "${values[$b-$size]}"; done
        printf " %14s\n" "$(ratio "${values[$b-${sizes[-1]}]}" "${values[$b-${sizes[0]}]}")"
    }
    line "start to shown window, median of $runs (ms)" startup
    line "idle CPU over ${idle_seconds} s (% of one core)" cpu
    line "peak memory, VmHWM (MiB)" peak
    line "grid refresh, panel tick (ms, median)" grid_tick
    line "grid refresh + view repaint (ms, median)" grid_painted
    if [ -n "${peak[$b-$peak_goal_size]:-}" ]; then
        printf 'peak memory with %s downloads: %s MiB (goal <= %s)\n' "$peak_goal_size" \
            "${peak[$b-$peak_goal_size]}" "$peak_goal_mib"
    fi
done
