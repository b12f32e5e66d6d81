#!/usr/bin/env bash
# Start-up and peak memory of the real program with queues of 100, 10,000 and
# 100,000 finished downloads, each run through to its close, which saves the
# queue as it always does.
#
#   mapped  from launching the program to its main window's MapNotify on the
#           X server (an X event listener on the root window reports it);
#   ready   from launching to the end of the start-up work: the last moment
#           the GUI thread was busy (more than half of a 5 ms poll spent
#           running, from /proc/PID/task/PID/schedstat) before it stayed
#           quiet for a second. The grid fills its rows and paints after the
#           window is mapped; this counts that as well;
#   peak    the process's peak resident memory over its whole life, the
#           save at close included (GNU time's maximum resident set size);
#   close   from SIGTERM to the end of the process: the saves at close and
#           the teardown.
#
# The sizes and the builds take turns run by run, so that a change in the
# machine's load falls on all of them alike; each figure is the median of
# STARTUP_BENCH_RUNS runs (default 5). With several builds, the figures of
# each later one follow as ratios of the first's. The goal for peak memory
# with 100,000 downloads is at most 64 MiB. Needs Xvfb, xev and xdotool.
#
# Environment: STARTUP_BENCH_RUNS, STARTUP_BENCH_SIZES (default
# "100 10000 100000").
#
# Usage: bench/startup_vs_size.sh BUILD_DIR [BUILD_DIR...]
#   Several build folders (say, before and after a change) are measured in
#   the same run, side by side.
set -euo pipefail
here=$(dirname "$0")
. "$here/lib/queue_records.bash"
. "$here/lib/program_runs.bash"

take_build_folders ui/tolvenka "$@"
for tool in Xvfb xev xdotool /usr/bin/time; do
    command -v "$tool" >/dev/null || { echo "skipped: $tool is needed" >&2; exit 0; }
done
runs=${STARTUP_BENCH_RUNS:-5}
read -r -a sizes <<<"${STARTUP_BENCH_SIZES:-100 10000 100000}"
host=rapidshare.com
quiet_ms=1000
# The most a queue of 100,000 downloads may cost, start to close.
peak_goal_size=100000
peak_goal_mib=64
window_title=Толвенка

set_up_work

start_x_display
DISPLAY=$x_display
export DISPLAY
unset QT_QPA_PLATFORM WAYLAND_DISPLAY
exec {sleeper}<> <(:) # `read -t` on it sleeps without starting a process

now_ms() {
    local t=${EPOCHREALTIME/[.,]/}
    echo $((t / 1000))
}

# Runs the program of `build` in `dir` once, start to close; appends to the
# folder's files mapped.txt, ready.txt, peak.txt and close.txt.
run_once() {
    local build=$1 dir=$2 events listener start mapped line timer pid
    cp "$dir/queue.txt" "$dir/downloads.txt"
    exec {events}< <(exec stdbuf -oL xev -root -event substructure 2>/dev/null)
    listener=$!
    running_pids=("$listener")
    sleep 0.5 # let the listener select its events
    start=$(now_ms)
    (cd "$dir" && exec /usr/bin/time -f %M -o "$dir/maxrss" "$build/ui/tolvenka") \
        >>"$dir/program.log" 2>&1 &
    timer=$!
    running_pids+=("$timer")
    # A MapNotify line is followed by "event ROOT, window ID, override ...".
    mapped=
    while IFS= read -r -t 60 -u "$events" line; do
        [[ $line == MapNotify* ]] || continue
        mapped=$(now_ms)
        IFS= read -r -t 5 -u "$events" line || break
        local id=${line#*, window }
        [ "$(xdotool getwindowname $((${id%%,*})) 2>/dev/null)" = "$window_title" ] && break
        mapped=
    done
    exec {events}<&-
    kill "$listener" 2>/dev/null || true
    pid=$(cat "/proc/$timer/task/$timer/children" 2>/dev/null) || true
    pid=${pid%% *}
    [ -z "$pid" ] || running_pids+=("$pid")
    if [ -z "$mapped" ] || [ -z "$pid" ]; then
        echo "the program in $dir showed no window; its last output:" >&2
        tail -n 20 "$dir/program.log" >&2
        return 1
    fi
    # Busy while it runs more than half of each poll; ready when a second
    # passed without that.
    local last_busy=$mapped previous_cpu previous_at cpu at
    read -r previous_cpu _ <"/proc/$pid/task/$pid/schedstat"
    previous_at=$(now_ms)
    while :; do
        read -r -t 0.005 -u "$sleeper" _ || true
        read -r cpu _ <"/proc/$pid/task/$pid/schedstat"
        at=$(now_ms)
        if ((at > previous_at && (cpu - previous_cpu) * 2 > (at - previous_at) * 1000000)); then
            last_busy=$at
        fi
        ((at - last_busy < quiet_ms)) || break
        previous_cpu=$cpu
        previous_at=$at
    done
    local stop
    stop=$(now_ms)
    kill -TERM "$pid"
    wait "$timer" || echo "warning: the program in $dir ended with status $?" >&2
    running_pids=()
    echo $(($(now_ms) - stop)) >>"$dir/close.txt"
    echo $((mapped - start)) >>"$dir/mapped.txt"
    echo $((last_busy - start)) >>"$dir/ready.txt"
    awk '{ printf "%.1f\n", $1 / 1024 }' "$dir/maxrss" >>"$dir/peak.txt"
}

for b in "${!builds[@]}"; do
    for size in "${sizes[@]}"; do
        mkdir -p "$work/q$b-$size"
        {
            printf '0\r\n%s\r\n' "$work/files/"
            complete_records "$host" "$work/files/" 1 "$size"
        } >"$work/q$b-$size/queue.txt"
    done
done
for ((run = 0; run < runs; run++)); do
    for size in "${sizes[@]}"; do
        for b in "${!builds[@]}"; do
            run_once "${builds[$b]}" "$work/q$b-$size"
        done
    done
done

caption_of() {
    case $1 in
    mapped) echo "start to window mapped (ms)" ;;
    ready) echo "start to ready: rows filled, painted (ms)" ;;
    peak) echo "peak memory, save at close included (MiB)" ;;
    close) echo "close: SIGTERM to exit (ms)" ;;
    esac
}

for b in "${!builds[@]}"; do
    echo
    echo "${builds[$b]} (every download Complete; medians of $runs)"
    printf "%-44s" ""
    for size in "${sizes[@]}"; do printf " %10s" "$size"; done
    printf " %12s\n" "${sizes[-1]}/${sizes[0]}"
    for figure in mapped ready peak close; do
        printf "%-44s" "$(caption_of "$figure")"
        print_medians_by_size "$work/q$b-" "/$figure.txt"
    done
    if [[ " ${sizes[*]} " == *" $peak_goal_size "* ]]; then
        printf 'peak memory with %s downloads: %s MiB (goal <= %s)\n' "$peak_goal_size" \
            "$(median <"$work/q$b-$peak_goal_size/peak.txt")" "$peak_goal_mib"
    fi
done

# Each later build against the first, figure by figure.
for ((b = 1; b < ${#builds[@]}; b++)); do
    echo
    echo "${builds[$b]} / ${builds[0]} (ratios of the medians)"
    printf "%-44s" ""
    for size in "${sizes[@]}"; do printf " %10s" "$size"; done
    echo
    for figure in mapped ready peak close; do
        printf "%-44s" "$(caption_of "$figure")"
        for size in "${sizes[@]}"; do
            printf " %10s" "$(ratio "$(median <"$work/q$b-$size/$figure.txt")" \
                "$(median <"$work/q0-$size/$figure.txt")")"
        done
        echo
    done
done
