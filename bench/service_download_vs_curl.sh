#!/usr/bin/env bash
# A whole service download (1 GiB unless SIZE says otherwise) against curl on
# the same final form, and against curl with a sync of its file; then the
# peak memory for a 1 MiB and a 1 GiB file.
# Usage: bench/service_download_vs_curl.sh BUILD_DIR [ROUNDS] [SIZE]
set -euo pipefail
build_dir=$(realpath "${1:?usage: $0 BUILD_DIR [ROUNDS] [SIZE]}")
pairs=${2:-5}
size=${3:-1G}
bench="$build_dir/bench/bench_service_download"
[ -x "$bench" ] || { echo "missing $bench (build the target bench_service_download)" >&2; exit 1; }
"$bench" "$size" "$pairs"
echo "-- peak memory"
"$bench" 1M 1 --no-curl | tail -1
"$bench" 1G 1 --no-curl | tail -1
