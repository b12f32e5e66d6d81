#!/usr/bin/env bash
# How long the program takes to close while its download waits for a name
# server that never answers (its reference: the resolver's own time-outs,
# about 10 s with the default resolver options).
#
# Each round runs in private mount and network namespaces, so nothing outside
# sees them: /etc/resolv.conf is replaced by one that names 127.0.0.1, where
# bench_silent_name_server listens and never answers. The program starts on a
# queue of one download from a host that only that server could name, is
# asked to close (SIGTERM) a second later, while the worker is looking the
# name up, and the time from the request to the program's exit is printed.
# Builds take turns round by round.
#
# Needs root (for the namespaces and port 53); without it, says so and stops.
#
# Usage: bench/close_during_lookup.sh BUILD_DIR [BUILD_DIR...]
#   Environment: CLOSE_BENCH_ROUNDS (default 3).
set -euo pipefail

if [ "${1:-}" = --inside ]; then
    # One round, inside the namespaces: --inside BUILD_DIR WORK_DIR
    build=$2 work=$3
    ip link set lo up
    mount --bind "$work/resolv.conf" /etc/resolv.conf
    "$build/bench/bench_silent_name_server" >"$work/server.out" &
    server=$!
    trap 'kill "$server" 2>/dev/null || true' EXIT
    until grep -q ready "$work/server.out"; do
        sleep 0.05
    done
    rm -f "$work/run/downloads.txt".* "$work/run/"*.lock
    cp "$work/downloads.txt" "$work/run/downloads.txt"
    (cd "$work/run" && TOLVENKA_SERVICE_HOST=silent.example exec "$build/ui/tolvenka") \
        >/dev/null 2>&1 &
    program=$!
    sleep 1
    start=$(date +%s%N)
    kill -TERM "$program"
    wait "$program" || true
    echo $((($(date +%s%N) - start) / 1000000))
    exit 0
fi

builds=()
for dir in "$@"; do
    builds+=("$(cd "$dir" && pwd)")
done
[ ${#builds[@]} -gt 0 ] || { echo "usage: $0 BUILD_DIR [BUILD_DIR...]" >&2; exit 2; }
if [ "$(id -u)" -ne 0 ] || ! command -v unshare >/dev/null; then
    echo "close during a lookup: needs root and unshare, not measured"
    exit 0
fi
for build in "${builds[@]}"; do
    for binary in "$build/ui/tolvenka" "$build/bench/bench_silent_name_server"; do
        [ -x "$binary" ] || { echo "missing $binary" >&2; exit 1; }
    done
done
rounds=${CLOSE_BENCH_ROUNDS:-3}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -m 700 "$work/runtime"
mkdir "$work/run"
echo "nameserver 127.0.0.1" >"$work/resolv.conf"
printf '0\r\n%s/\r\nsilent.example\r\nhttp://silent.example/files/1/a.zip\r\n%s/a.zip\r\nQueue\r\n\r\n' \
    "$work/run" "$work/run" >"$work/downloads.txt"
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$work/runtime

declare -A times
for ((round = 1; round <= rounds; round++)); do
    for build in "${builds[@]}"; do
        ms=$(unshare --mount --net "$0" --inside "$build" "$work")
        times[$build]+="$ms "
    done
done
for build in "${builds[@]}"; do
    echo "close during a lookup, $build: ${times[$build]}ms"
done
