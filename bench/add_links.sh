#!/usr/bin/env bash
# Adding 5,000 links that all name one file against 5,000 of distinct names.
# Usage: bench/add_links.sh BUILD_DIR [COUNT]
set -euo pipefail
build_dir=${1:?usage: $0 BUILD_DIR [COUNT]}
"$build_dir/bench/bench_add_links" "${2:-5000}" 5
