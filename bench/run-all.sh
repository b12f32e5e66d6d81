#!/usr/bin/env bash
# Runs every benchmark script in this folder against a (release) build.
# Usage: bench/run-all.sh BUILD_DIR
set -uo pipefail
build_dir=${1:?usage: $0 BUILD_DIR}
here=$(dirname "$0")
status=0
for script in "$here"/*.sh; do
    [ "$(basename "$script")" = run-all.sh ] && continue
    echo "== $(basename "$script")"
    "$script" "$build_dir" || status=1
done
exit $status
