#!/usr/bin/env bash
# Moving a row to the top of the queue in the grid, with 100 and with
# 100,000 downloads: the last row selected, Ctrl+Home, until the view has
# applied the move and repainted (bench_grid_move, in-process, offscreen).
# Prints the median time per move for each size and the ratio of the
# largest to the smallest.
#
# The builds take turns size by size, GRID_MOVE_RUNS times (default 3), so
# that a change in the machine's load falls on all of them alike; each figure
# is the median over the runs of the program's own median of
# GRID_MOVE_REPEATS moves (default 50).
#
# Environment: GRID_MOVE_RUNS, GRID_MOVE_REPEATS, GRID_MOVE_SIZES (default
# "100 100000").
#
# Usage: bench/grid_move_vs_size.sh BUILD_DIR [BUILD_DIR...]
#   Several build folders (say, before and after a change) are measured in
#   the same run, side by side.
set -euo pipefail
here=$(dirname "$0")
. "$here/lib/program_runs.bash"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

take_build_folders bench/bench_grid_move "$@"
runs=${GRID_MOVE_RUNS:-3}
repeats=${GRID_MOVE_REPEATS:-50}
read -r -a sizes <<<"${GRID_MOVE_SIZES:-100 100000}"
export QT_QPA_PLATFORM=offscreen

for ((run = 0; run < runs; run++)); do
    for size in "${sizes[@]}"; do
        for b in "${!builds[@]}"; do
            "${builds[$b]}/bench/bench_grid_move" "$repeats" "$size" 2>/dev/null |
                awk '/move to top median/ { print $7 }' >>"$work/$b-$size.txt"
        done
    done
done

echo "Ctrl+Home on the last row, until the grid has applied the move (ms, median of $runs runs of $repeats moves):"
printf '  %-40s' build
for size in "${sizes[@]}"; do printf ' %10s' "$size"; done
printf ' %12s\n' "${sizes[-1]}/${sizes[0]}"
for b in "${!builds[@]}"; do
    printf '  %-40s' "${builds[$b]}"
    print_medians_by_size "$work/$b-" .txt
done
