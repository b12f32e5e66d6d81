#!/usr/bin/env bash
# Sets up, builds and starts Tolvenka against the simulated service.
#
# With a display, the program opens there: paste the printed links into the
# input box and press "Добавить", then "Загрузить". Without one, the same runs
# under Xvfb and this script does what a person would (pastes the links,
# presses the buttons, waits for the files), checks the files' bytes and
# saves a screenshot.
set -euo pipefail
cd "$(dirname "$0")"
root=$(pwd)

./scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DTOLVENKA_BUILD_TESTS=OFF \
    -DTOLVENKA_BUILD_BENCH=OFF >/dev/null
cmake --build build/release -j "$(nproc)" --target tolvenka tolvenka-service-sim \
    tolvenka-service-sim-check tolvenka-screenshot

bin=$root/build/release
demo=$root/demo
mkdir -p "$demo/files"
rm -f "$demo"/files/* "$demo/downloads.txt"

pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
}
trap cleanup EXIT

# The sample files: one with a countdown and a visible rate, one refused once
# ("already downloading") before its countdown, one the service lost.
"$bin/tools/service-sim/tolvenka-service-sim" \
    --file 1001/annual-report.pdf --size 6M --rate 512K --script countdown:3 \
    --file 1002/holiday-photos.zip --size 2M --rate 1M --script ipbusy,countdown:2 \
    --file 1003/removed-video.avi --size 1M --script notfound \
    >"$demo/service.txt" &
pids+=($!)
for _ in $(seq 50); do [ "$(wc -l <"$demo/service.txt")" -ge 4 ] && break; sleep 0.1; done
host=$(sed -n 1p "$demo/service.txt")
mapfile -t links < <(sed -n '2,$p' "$demo/service.txt")

# Start with the download folder of the demo; everything else is as on a
# first start.
printf '1\r\n%s/\r\n' "$demo/files" >"$demo/downloads.txt"

echo "Simulated service on $host. Links to paste:"
printf '  %s\n' "${links[@]}"

headless=0
if [ -z "${DISPLAY:-}" ]; then
    headless=1
    export DISPLAY=:77
    export XDG_RUNTIME_DIR=$demo/runtime
    mkdir -p -m 700 "$XDG_RUNTIME_DIR"
    Xvfb "$DISPLAY" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    pids+=($!)
    sleep 1
fi

(cd "$demo" && TOLVENKA_SERVICE_HOST=$host exec "$bin/ui/tolvenka") &
program=$!
pids+=($program)

if [ $headless = 0 ]; then
    echo "Tolvenka is running in $demo; files go to $demo/files."
    wait "$program" || true
    exit 0
fi

echo "No display: running under Xvfb and driving the program as a person would."
find_window() { # NAME
    for _ in $(seq 100); do
        id=$(xdotool search --name "$1" 2>/dev/null | head -1) && [ -n "$id" ] && { echo "$id"; return; }
        sleep 0.1
    done
    echo "no window named $1" >&2
    exit 1
}
main_window=$(find_window "Толвенка")
xdotool mousemove --window "$main_window" 300 100 click 1
xdotool type --delay 2 "${links[*]}"
xdotool mousemove --window "$main_window" 80 248 click 1        # "Добавить"
dialog=$(find_window "Подтверждение списка загрузок")
sleep 0.5
xdotool mousemove --window "$dialog" 344 428 click 1              # "Загрузить"

echo "Waiting for the downloads (a refusal costs 30 s)..."
check="$bin/tools/service-sim/tolvenka-service-sim-check"
done_all() {
    "$check" 1001 $((6 * 1024 * 1024)) "$demo/files/annual-report.pdf" >/dev/null &&
        "$check" 1002 $((2 * 1024 * 1024)) "$demo/files/holiday-photos.zip" >/dev/null
}
for second in $(seq 120); do
    done_all && break
    if [ "$second" = 12 ]; then
        "$bin/tools/screenshot/tolvenka-screenshot" "$demo/screenshot-running.png"
    fi
    sleep 1
done
"$bin/tools/screenshot/tolvenka-screenshot" "$demo/screenshot.png"
"$check" 1001 $((6 * 1024 * 1024)) "$demo/files/annual-report.pdf"
"$check" 1002 $((2 * 1024 * 1024)) "$demo/files/holiday-photos.zip"
[ ! -e "$demo/files/removed-video.avi" ] && echo "removed-video.avi: not found on the service, as it should be"

kill -TERM "$program"
wait "$program" || true
echo "Screenshots: $demo/screenshot-running.png (during the downloads), $demo/screenshot.png (at the end)"
echo "The queue file as the program left it: $demo/downloads.txt"
