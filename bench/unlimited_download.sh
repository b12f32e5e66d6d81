#!/usr/bin/env bash
# A whole service download of 2 GiB through the simulated service with the
# speed limit at 0, as the program runs it by default: what the limit's
# check before every read costs when there is none. Several build folders
# (say, before and after a change) take turns run by run, so that a change in
# the machine's load falls on all of them alike. For each: the median wall
# time and the median processor time (user and system, of the download and
# the simulated service, which share the process) of UNLIMITED_BENCH_RUNS
# runs (default 5), and each as a ratio to the first folder's. On a busy
# machine the processor time is the steadier figure.
#
# The file goes to $TMPDIR, /dev/shm when unset, so that the disk does not
# decide the figure.
#
# Usage: bench/unlimited_download.sh BUILD_DIR [BUILD_DIR...]
set -euo pipefail
here=$(dirname "$0")
. "$here/lib/program_runs.bash"

take_build_folders bench/bench_service_download "$@"
command -v /usr/bin/time >/dev/null || { echo "skipped: /usr/bin/time is needed" >&2; exit 0; }
runs=${UNLIMITED_BENCH_RUNS:-5}
size=${UNLIMITED_BENCH_SIZE:-2G}
export TMPDIR=${TMPDIR:-/dev/shm}
set_up_work

for run in $(seq "$runs"); do
    for index in "${!builds[@]}"; do
        /usr/bin/time -f '%U %S' -o "$work/time" \
            "${builds[$index]}/bench/bench_service_download" "$size" 1 --no-curl |
            sed -n 's/^service download \([0-9.]*\) s$/\1/p' >>"$work/wall-$index"
        awk '{ print $1 + $2 }' "$work/time" >>"$work/cpu-$index"
    done
done

# A / B to three places: the goal is a few per cent.
ratio3() {
    awk -v a="$1" -v b="$2" 'BEGIN { if (a + 0 > 0 && b + 0 > 0) printf "%.3f", a / b; else print "n/a" }'
}

echo "service download of $size with the speed limit at 0, medians of $runs runs"
printf '%-50s %10s %7s %10s %7s\n' "build" "wall s" "ratio" "cpu s" "ratio"
first_wall=$(median <"$work/wall-0")
first_cpu=$(median <"$work/cpu-0")
for index in "${!builds[@]}"; do
    wall=$(median <"$work/wall-$index")
    cpu=$(median <"$work/cpu-$index")
    printf '%-50s %10s %7s %10s %7s\n' "${builds[$index]}" "$wall" "$(ratio3 "$wall" "$first_wall")" \
        "$cpu" "$(ratio3 "$cpu" "$first_cpu")"
done
