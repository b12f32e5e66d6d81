#!/usr/bin/env bash
# Kills the program again and again while it saves its queue, and counts the
# temporary files of cut-off saves left in the queue's folder, which the
# program removes when it starts (its reference: none removed, one more left
# behind by nearly every kill).
#
# Each round starts the program on a queue of 20,000 downloads (a save then
# takes some milliseconds), asks it to close (it saves at once), and kills
# it a random moment later, often in the middle of that save.
#
# Usage: bench/kills_during_saves.sh BUILD_DIR [ROUNDS]
set -euo pipefail
build_dir=$(cd "${1:?usage: $0 BUILD_DIR [ROUNDS]}" && pwd)
rounds=${2:-200}
program=$build_dir/ui/tolvenka
[ -x "$program" ] || { echo "missing $program" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR=$work/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"

awk -v n=20000 'BEGIN {
    ORS = "\r\n"; print "0"; print "/tmp/downloads/"
    for (i = 1; i <= n; i++) {
        name = sprintf("file-%06d.rar", i)
        print "rapidshare.com"; print "http://rapidshare.com/files/" (100000000 + i) "/" name
        print "/tmp/downloads/" name; print "Complete"; print ""
    }
}' >"$work/downloads.txt"

for ((round = 1; round <= rounds; round++)); do
    (cd "$work" && exec "$program") >/dev/null 2>&1 &
    pid=$!
    sleep 0.4
    kill -TERM "$pid" 2>/dev/null || true
    sleep "0.0$((RANDOM % 30))"
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
done
left=$(find "$work" -maxdepth 1 -name 'downloads.txt.tmp-*' | wc -l)
whole=no
[ "$(awk 'END { print NR }' "$work/downloads.txt")" = $((2 + 5 * 20000)) ] && whole=yes
echo "$rounds kills during saves: $left temporary files left; queue file whole: $whole"
