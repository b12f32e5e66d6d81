#!/usr/bin/env bash
# The queue at rest with 100 and 10,000 downloads: load, save, idle CPU and
# peak memory. QUEUE_BENCH_SECONDS shortens the idle minute for a quick try.
# Usage: bench/queue_bench.sh BUILD_DIR
set -euo pipefail
build_dir=${1:?usage: $0 BUILD_DIR}
"$build_dir/bench/bench_queue" "${QUEUE_BENCH_SECONDS:-60}" 100 10000
