#!/usr/bin/env bash
# Sets up, builds and runs every test: the whole suite under AddressSanitizer
# and UndefinedBehaviorSanitizer, and the threaded tests under ThreadSanitizer
# as well. Exits non-zero if any test fails.
set -uo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh || exit 1

jobs=$(nproc)
status=0

build() { # build DIR SANITIZERS [TARGET]
    cmake -S . -B "$1" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DTOLVENKA_SANITIZE="$2" -DTOLVENKA_WERROR=ON -DTOLVENKA_BUILD_BENCH=OFF >/dev/null &&
        cmake --build "$1" -j "$jobs" ${3:+--target "$3"}
}

export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# Qt's libraries are not built with the thread sanitizer, so what happens
# inside them (their own thread pools, their futex-based locks) is not judged;
# every access of the program's own code still is.
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:ignore_noninstrumented_modules=1

echo "== Build and test under AddressSanitizer + UndefinedBehaviorSanitizer"
if build build/asan "address,undefined"; then
    ctest --test-dir build/asan --output-on-failure -j "$jobs" --timeout 300 || status=1
else
    status=1
fi

echo "== Build and test the threaded tests under ThreadSanitizer"
if build build/tsan "thread" threaded_tests; then
    ctest --test-dir build/tsan -L threaded --output-on-failure -j "$jobs" --timeout 300 || status=1
else
    status=1
fi

exit $status
