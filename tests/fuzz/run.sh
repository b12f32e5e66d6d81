#!/usr/bin/env bash
# Builds the fuzz targets (clang with libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) in build/fuzz and runs each for SECONDS seconds,
# as many at a time as there are cores, from a working copy of its seed
# corpus that keeps what
# earlier runs found. Exits non-zero when a target breaks or finds anything;
# the inputs that did are in build/fuzz/findings/TARGET/.
#
#   tests/fuzz/run.sh SECONDS [TARGET...]
#
# TARGET is one of response_head, chunked_decoder, queue_file, link_extraction,
# connect_reply, socks_reply;
# all by default.
set -uo pipefail
cd "$(dirname "$0")/../.."
root=$PWD

if [ $# -lt 1 ] || ! [[ $1 =~ ^[0-9]+$ ]]; then
    echo "usage: tests/fuzz/run.sh SECONDS [TARGET...]" >&2
    exit 2
fi
seconds=$1
shift
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    targets=(response_head chunked_decoder queue_file link_extraction connect_reply socks_reply)
fi

./scripts/install-deps.sh || exit 1

tree=$root/build/fuzz
cmake -S . -B "$tree" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++-14 -DTOLVENKA_SANITIZE="address,undefined" \
    -DTOLVENKA_FUZZ=ON -DTOLVENKA_WERROR=ON \
    -DTOLVENKA_BUILD_TESTS=OFF -DTOLVENKA_BUILD_BENCH=OFF >/dev/null &&
    cmake --build "$tree" -j 2 --target fuzz_targets || exit 1

# The targets run in an empty folder: paths in the queue file's records that
# are relative then name nothing of the source tree. Inputs are only read;
# the file system is only listed and asked about.
scratch=$tree/scratch
mkdir -p "$scratch"

# One target a core at a time: each fuzzer is single-threaded.
fuzz() { # fuzz TARGET: runs it and prints what it did; non-zero when it broke
    local target=$1
    local program=$tree/tests/fuzz/fuzz_$target
    if [ ! -x "$program" ]; then
        echo "$target: no such fuzz target" >&2
        return 1
    fi
    local corpus=$tree/corpus/$target findings=$tree/findings/$target log=$tree/$target.log
    mkdir -p "$corpus" "$findings"
    cp tests/fuzz/corpus/"$target"/* "$corpus"/
    (cd "$scratch" && "$program" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
        -dict="$root"/tests/fuzz/"$target".dict -artifact_prefix="$findings"/ "$corpus" \
        >"$log" 2>&1)
    local result=$?
    local runs rate
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    echo "$target: ${runs:-?} runs in ${seconds} s, ${rate:-?} execs/s, corpus of $(ls "$corpus" | wc -l)"
    if [ $result -ne 0 ]; then
        echo "$target: FOUND A FAULT (exit $result); inputs in $findings, log in $log"
        grep -A 40 -m 1 -E '^==[0-9]+==|broken property|runtime error|^ERROR: libFuzzer' "$log" | head -60
        return 1
    fi
}

status=0
cores=$(nproc)
pids=()
for target in "${targets[@]}"; do
    fuzz "$target" >"$tree/$target.report" &
    pids+=($!)
    if [ ${#pids[@]} -ge "$cores" ]; then
        wait "${pids[0]}" || status=1
        pids=("${pids[@]:1}")
    fi
done
for pid in "${pids[@]}"; do
    wait "$pid" || status=1
done
for target in "${targets[@]}"; do
    cat "$tree/$target.report" 2>/dev/null
done
exit $status
