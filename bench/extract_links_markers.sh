#!/usr/bin/env bash
# Link extraction on 16 MiB of "http://" markers with nothing between them
# (every address nested in the one before, each running to the end of the
# text) against 16 MiB of prose with an address now and then, alternating
# A B A B: the wall time of each, their ratio (markers / prose; at most 1.5
# is the goal) and each one's peak memory against the text's size (under
# about twice the text plus what the search returns is the goal).
# Usage: bench/extract_links_markers.sh BUILD_DIR [PAIRS]
set -euo pipefail

build_dir=$(realpath "${1:?usage: $0 BUILD_DIR [PAIRS]}")
pairs=${2:-5}
extractor="$build_dir/bench/bench_extract_links"
[ -x "$extractor" ] || { echo "missing $extractor (build the target bench_extract_links)" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "skipped: GNU time is needed" >&2; exit 0; }

work=$(mktemp -d "${TMPDIR:-/tmp}/tolvenka-markers-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
size=$((16 * 1024 * 1024))

python3 - "$work" "$size" <<'PY'
import sys
work, size = sys.argv[1], int(sys.argv[2])
with open(work + "/markers.txt", "wb") as out:
    out.write((b"http://" * (size // 7 + 1))[:size])
words = b"the forum thread says see http://forum.example/t?id=42 for the file and reply below, "
with open(work + "/prose.txt", "wb") as out:
    out.write((words * (size // len(words) + 1))[:size])
PY

# Prints "MILLISECONDS PEAK_KIB" of one run.
run() {
    local start peak
    start=$(date +%s%N)
    peak=$(/usr/bin/time -f "%M" "$extractor" "$1" 2>&1 >/dev/null | tail -1)
    echo "$((($(date +%s%N) - start) / 1000000)) $peak"
}

echo "markers: $("$extractor" "$work/markers.txt")"
echo "prose:   $("$extractor" "$work/prose.txt")"
ratios=()
for ((i = 1; i <= pairs; i++)); do
    read -r ta ma <<<"$(run "$work/markers.txt")"
    read -r tb mb <<<"$(run "$work/prose.txt")"
    ratio=$(awk -v a="$ta" -v b="$tb" 'BEGIN { printf "%.2f", a / (b > 0 ? b : 1) }')
    ratios+=("$ratio")
    echo "pair $i: markers ${ta} ms, ${ma} KiB peak; prose ${tb} ms, ${mb} KiB peak; ratio $ratio"
done
median=$(printf '%s\n' "${ratios[@]}" | sort -n | awk '{ r[NR] = $1 } END { print (NR % 2) ? r[(NR + 1) / 2] : (r[NR / 2] + r[NR / 2 + 1]) / 2 }')
echo "median ratio markers / prose: $median (goal: at most 1.5); text $((size / 1024)) KiB"
