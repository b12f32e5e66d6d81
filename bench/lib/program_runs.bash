# Sourced by the benchmark scripts that run the real program: X servers of
# their own, the program started and stopped by process id, medians.
#
# The sourcing script calls `set_up_work` (or sets `work`, a scratch folder,
# and an exit trap of its own that ends the processes listed in the array
# `started_pids`, which are those started here and left running). (Call these functions in the script's own shell, not in
# a command substitution, whose changes to the list would be lost.)

# Makes the scratch folder `work`, and an exit trap that ends the processes
# in `running_pids` and `started_pids` and removes the folder.
set_up_work() {
    work=$(mktemp -d)
    started_pids=()
    running_pids=()
    trap end_work EXIT
}

end_work() {
    local pid
    for pid in "${running_pids[@]}" "${started_pids[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}

# Starts an X server of its own for one program, so that no other window
# takes its focus or covers it, and sets `x_display` to its name (":N").
start_x_display() {
    local number_file
    number_file=$(mktemp "$work/display.XXXXXX")
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$number_file" >/dev/null 2>&1 &
    started_pids+=("$!")
    local waited=0
    until [ -s "$number_file" ]; do
        sleep 0.05
        waited=$((waited + 1))
        [ "$waited" -lt 200 ] || { echo "Xvfb did not start" >&2; return 1; }
    done
    x_display=":$(head -n1 "$number_file")"
}

# The id of the visible window of process `pid` on display `display`, once
# it is there; fails after 60 s or when the process ended.
window_of_program() {
    local pid=$1 display=$2 tries=0 window
    until window=$(DISPLAY=$display xdotool search --onlyvisible --pid "$pid" 2>/dev/null | head -n1) &&
        [ -n "$window" ]; do
        kill -0 "$pid" 2>/dev/null || { echo "program $pid ended before its window showed" >&2; return 1; }
        sleep 0.1
        tries=$((tries + 1))
        [ "$tries" -lt 600 ] || { echo "program $pid showed no window within 60 s" >&2; return 1; }
    done
    echo "$window"
}

# SIGTERM, then wait: the program saves the queue and waits for its worker.
stop_program() {
    local status=0
    kill -TERM "$1" 2>/dev/null || true
    wait "$1" 2>/dev/null || status=$?
    [ "$status" -eq 0 ] || echo "warning: the program (pid $1) ended with status $status" >&2
}

# The median of the numbers on standard input, one a line.
median() {
    sort -g | awk '{ v[NR] = $1 } END { if (NR == 0) print "n/a"; else if (NR % 2) print v[(NR + 1) / 2]; else printf "%.1f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# Sets `builds` to the build folders given (the script's arguments), made
# absolute; each must hold PROGRAM, a path inside a build folder. With none
# given, or one without the program, the script ends with a message.
take_build_folders() { # take_build_folders PROGRAM DIR...
    local program=$1 dir build
    shift
    builds=()
    for dir in "$@"; do
        builds+=("$(cd "$dir" && pwd)")
    done
    [ ${#builds[@]} -gt 0 ] || { echo "usage: $0 BUILD_DIR [BUILD_DIR...]" >&2; exit 2; }
    for build in "${builds[@]}"; do
        [ -x "$build/$program" ] || { echo "missing $build/$program" >&2; exit 1; }
    done
}

# The medians of the files PREFIX<size>SUFFIX, one a size of `sizes`, each in
# a column, then the last size's as a ratio of the first's; one line.
print_medians_by_size() { # print_medians_by_size PREFIX SUFFIX
    local size
    declare -A value=()
    for size in "${sizes[@]}"; do
        value[$size]=$(median <"$1$size$2")
        printf ' %10s' "${value[$size]}"
    done
    printf ' %12s\n' "$(ratio "${value[${sizes[-1]}]}" "${value[${sizes[0]}]}")"
}

# A / B to two places, or "n/a" unless both are above zero.
ratio() {
    awk -v a="$1" -v b="$2" 'BEGIN { if (a + 0 > 0 && b + 0 > 0) printf "%.2f", a / b; else print "n/a" }'
}
