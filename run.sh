#!/usr/bin/env bash
# Sets up, builds and starts Tolvenka against the simulated service.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release -j "$(nproc)"

if [ ! -x build/release/ui/tolvenka ]; then
    echo "Built the libraries and tools; the program itself is not there yet, so there is nothing to run."
    exit 0
fi
