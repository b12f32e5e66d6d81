#!/usr/bin/env bash
# Unpacks a 1 GiB set (four 200 MiB files that do not compress and 2,048
# text files of 112 KiB) with bench_unpack, as the program does (its own
# thread at the lowest CPU and I/O priority), and with bsdtar -xf of the same
# archive made whole, at that same priority, alternating A B A B. Two sets:
#   stored      RAR 5 volumes of 100 MiB (tolvenka-rar-volumes), against
#               bsdtar on one RAR 5 archive of the same files;
#   compressed  7-Zip volumes of 100 MiB (7zz -mx1 -v100m), against bsdtar on
#               their bytes joined, which is the archive whole.
# Each output folder is removed, and the disk synced, before each run, out of
# the timing. Prints each pair and, for each set, the median of bsdtar's wall
# time over ours (the speed of ours against bsdtar's; at least 0.9 is the
# goal) and of our CPU time over bsdtar's, which tells on a busy machine
# whether a slow pair was the machine's doing.
# Usage: bench/unpack_vs_bsdtar.sh BUILD_DIR [PAIRS]
set -euo pipefail

build_dir=$(realpath "${1:?usage: $0 BUILD_DIR [PAIRS]}")
pairs=${2:-5}
unpacker="$build_dir/bench/bench_unpack"
rar_volumes="$build_dir/tools/rar-volumes/tolvenka-rar-volumes"
for program in "$unpacker" "$rar_volumes"; do
    [ -x "$program" ] || { echo "missing $program (build bench_unpack and tolvenka-rar-volumes)" >&2; exit 1; }
done
for tool in bsdtar 7zz ionice /usr/bin/time; do
    command -v "$tool" >/dev/null || { echo "$tool is not installed; run ./scripts/install-deps.sh" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/tolvenka-unpack-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/src/set/text" "$work/rar" "$work/7z" "$work/whole"

for i in 1 2 3 4; do
    head -c $((200 << 20)) /dev/urandom >"$work/src/set/film$i.bin"
done
head -c $((168 << 20)) /dev/urandom | base64 -w 100 >"$work/text"
truncate -s $((2048 * 112 << 10)) "$work/text"
split -b $((112 << 10)) -a 4 -d "$work/text" "$work/src/set/text/t"
rm "$work/text"

"$rar_volumes" --volume-size $((100 << 20)) "$work/rar/set" "$work/src/set" >/dev/null
"$rar_volumes" "$work/whole/set" "$work/src/set" >/dev/null
(cd "$work/src" && 7zz a -bd -y -mx1 -v100m "$work/7z/set.7z" set >/dev/null)
cat "$work"/7z/set.7z.* >"$work/whole/set.7z"

time_run() { # time_run OUT_DIR COMMAND...: "WALL CPU" seconds of COMMAND run in OUT_DIR
    local out=$1
    shift
    rm -rf "$out"
    mkdir -p "$out"
    sync
    (cd "$out" && /usr/bin/time -f '%e %U %S' -o "$work/time" "$@" >/dev/null)
    awk '{ print $1, $2 + $3 }' "$work/time"
}

median() { sort -g | awk '{ r[NR] = $1 } END {
    if (NR % 2) print r[(NR + 1) / 2]; else print (r[NR / 2] + r[NR / 2 + 1]) / 2 }'; }

compare() { # compare NAME WHOLE_ARCHIVE PART...
    local name=$1 whole=$2 speeds=() cpus=() ours theirs ours_wall ours_cpu theirs_wall theirs_cpu i
    shift 2
    echo "$name: bench_unpack on $# parts vs bsdtar -xf on the archive whole, $pairs pairs"
    for i in $(seq "$pairs"); do
        ours=$(time_run "$work/ours" "$unpacker" "$work/ours" "$@")
        if [ "$i" -eq 1 ]; then
            diff -r "$work/src/set" "$work/ours/set" >/dev/null ||
                { echo "bench_unpack's output differs from the files" >&2; exit 1; }
        fi
        theirs=$(time_run "$work/theirs" nice -n 19 ionice -c 3 bsdtar -xf "$whole")
        read -r ours_wall ours_cpu <<<"$ours"
        read -r theirs_wall theirs_cpu <<<"$theirs"
        speeds+=("$(awk -v a="$theirs_wall" -v b="$ours_wall" 'BEGIN { print a / b }')")
        cpus+=("$(awk -v a="$ours_cpu" -v b="$theirs_cpu" 'BEGIN { print a / b }')")
        printf '  pair %d: bench_unpack %.2f s (CPU %.2f s), bsdtar %.2f s (CPU %.2f s)\n' \
            "$i" "$ours_wall" "$ours_cpu" "$theirs_wall" "$theirs_cpu"
    done
    rm -rf "$work/ours" "$work/theirs"
    printf '%s: median speed of bench_unpack against bsdtar %.3f (goal >= 0.9), CPU time %.3f of bsdtar'"'"'s\n' \
        "$name" "$(printf '%s\n' "${speeds[@]}" | median)" "$(printf '%s\n' "${cpus[@]}" | median)"
}

compare stored "$work/whole/set.rar" "$work"/rar/set.part*.rar
compare compressed "$work/whole/set.7z" "$work"/7z/set.7z.*
