#!/usr/bin/env bash
# How long a save of a queue of 100,000 downloads holds the GUI thread: in
# the background, as the program saves while it runs, and at once.
# Usage: bench/queue_save.sh BUILD_DIR [COUNT]
set -euo pipefail
build_dir=${1:?usage: $0 BUILD_DIR [COUNT]}
"$build_dir/bench/bench_queue_save" "${2:-100000}" 5
