#!/usr/bin/env bash
# Sets up, builds and runs every test: the whole suite under AddressSanitizer
# (leaks included) and UndefinedBehaviorSanitizer, built by g++ and again by
# clang; the threaded tests under ThreadSanitizer as well; the Debian package,
# checked with the distribution's own tools and run unpacked; then each fuzz
# target for 30 seconds. Exits non-zero if any of it fails.
set -uo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh || exit 1

jobs=$(nproc)
status=0

# The sanitized trees build at -O1 with line tables only: what the
# sanitizers advise, all their reports need, and half the build time of -O2
# with full debug information.
build() { # build DIR SANITIZERS TARGET [CMAKE_ARG...]; an empty TARGET builds everything
    local dir=$1 sanitizers=$2 target=$3
    shift 3
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" \
        -DTOLVENKA_SANITIZE="$sanitizers" -DTOLVENKA_WERROR=ON "$@" >/dev/null &&
        cmake --build "$dir" -j "$jobs" ${target:+--target "$target"}
}

# Each stage says how long it took, so that the whole stays within its time.
stage() {
    [ -n "${stage_name:-}" ] && echo "== $stage_name: $((SECONDS - stage_start)) s"
    stage_name=$1
    stage_start=$SECONDS
    [ -n "$stage_name" ] && echo "== $stage_name"
}

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# Qt's libraries are not built with the thread sanitizer, so what happens
# inside them (their own thread pools, their futex-based locks) is not judged;
# every access of the program's own code still is.
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:ignore_noninstrumented_modules=1

stage "Build and test under AddressSanitizer + UndefinedBehaviorSanitizer"
if build build/asan "address,undefined" "" -DTOLVENKA_BUILD_BENCH=OFF; then
    ctest --test-dir build/asan --output-on-failure -j "$jobs" --timeout 300 || status=1
    # As a user meets it, through the accessibility bus: what a second start
    # hands over shows in the first one's dialog.
    tests/e2e/hand_over_test.py build/asan/ui/tolvenka || status=1
    # The speed limit measured on the growing file, the watch on copies made
    # by another program, and both kept for the next start.
    tests/e2e/comfort_test.py build/asan/ui/tolvenka build/asan/tools/service-sim || status=1
    # The tray (against a stand-in tray host), the stop kept across a SIGTERM
    # and a kill, and a speed limit typed without Enter.
    tests/e2e/hours_test.py build/asan/ui/tolvenka build/asan/tools/service-sim || status=1
    # A file that came over https is known again however its link is spelt,
    # and the history window lists it.
    tests/e2e/history_test.py build/asan/ui/tolvenka build/asan/tools/service-sim || status=1
else
    status=1
fi

# The package is checked as installed: its files as they are in it, and the
# program unpacked from it (against the simulated service of the tree above).
stage "Build the Debian package, check it with the distribution's tools and run it unpacked"
if scripts/build-deb.sh; then
    package=$(ls build/deb/tolvenka_*.deb)
    dpkg-deb --extract "$package" build/deb/root
    desktop-file-validate build/deb/root/usr/share/applications/*.desktop || status=1
    appstreamcli validate --no-net --pedantic build/deb/root/usr/share/metainfo/*.xml || status=1
    lintian --fail-on error,warning --display-info --pedantic build/deb/tolvenka_*.changes || status=1
    tests/e2e/installed_package_test.py "$package" build/asan/tools/service-sim || status=1
    tests/e2e/hours_test.py build/deb/root/usr/bin/tolvenka build/asan/tools/service-sim || status=1
    tests/e2e/history_test.py build/deb/root/usr/bin/tolvenka build/asan/tools/service-sim || status=1
else
    status=1
fi

stage "Build and test the threaded tests under ThreadSanitizer"
if build build/tsan "thread" threaded_tests -DTOLVENKA_BUILD_BENCH=OFF; then
    ctest --test-dir build/tsan -L threaded --output-on-failure -j "$jobs" --timeout 300 || status=1
else
    status=1
fi

# The second compiler keeps the code portable and warns about other things;
# the benchmarks are built here too, so that all of the tree compiles.
stage "Build with clang (benchmarks too) and test under AddressSanitizer + UndefinedBehaviorSanitizer"
if build build/clang "address,undefined" "" -DCMAKE_CXX_COMPILER=clang++-14; then
    ctest --test-dir build/clang --output-on-failure -j "$jobs" --timeout 300 || status=1
else
    status=1
fi

stage "Fuzz each parser for 30 seconds"
tests/fuzz/run.sh 30 || status=1
stage ""
echo "== all stages: $SECONDS s"

exit $status
