#!/usr/bin/env bash
# Adding 5,000 links that all name one file against 5,000 of distinct names,
# into an empty queue and into one of 100,000 downloads, where they are
# first looked for among those queued.
# Usage: bench/add_links.sh BUILD_DIR [COUNT] [QUEUED]
set -euo pipefail
build_dir=${1:?usage: $0 BUILD_DIR [COUNT] [QUEUED]}
"$build_dir/bench/bench_add_links" "${2:-5000}" 5
"$build_dir/bench/bench_add_links" "${2:-5000}" 5 "${3:-100000}"
