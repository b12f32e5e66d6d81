#!/usr/bin/env bash
# Wake-ups of each of the program's threads at rest: the real program with
# 100 finished downloads and with an empty queue, nothing to do, no pointer
# moved. A thread's wake-ups are its context switches as the kernel counts
# them (voluntary + nonvoluntary in /proc/PID/task/TID/status): a thread that
# sleeps until something happens switches once each time it wakes.
#
# Each program runs on a display of its own:
#   xcb        an X server (Xvfb) of its own and no window manager, so the
#              window is shown but never active, as when another program
#              has the focus;
#   xcb-active the same, with the keyboard focus given to the window, as when
#              the user looks at it (the input box has the focus and its
#              caret blinks, as the toolkit does in an active window);
#   offscreen  the toolkit's offscreen platform, which makes the window
#              active at once.
# Every program of every build runs side by side; after WAKEUPS_SETTLE_SECONDS
# (default 5) the switches are counted over WAKEUPS_SECONDS (default 30).
# A thread that ended during the period lost its count: "ended" stands in
# its place.
#
# Environment: WAKEUPS_PLATFORMS (default "xcb xcb-active offscreen"; the
# xcb ones need Xvfb and xdotool).
#
# Usage: bench/wakeups_at_rest.sh BUILD_DIR [BUILD_DIR...]
#   Several build folders (say, before and after a change) are measured in
#   the same run, side by side.
set -euo pipefail
here=$(dirname "$0")
. "$here/lib/queue_records.bash"
. "$here/lib/program_runs.bash"

take_build_folders ui/tolvenka "$@"
seconds=${WAKEUPS_SECONDS:-30}
settle_seconds=${WAKEUPS_SETTLE_SECONDS:-5}
read -r -a platforms <<<"${WAKEUPS_PLATFORMS:-xcb xcb-active offscreen}"
queues=(finished empty)
host=rapidshare.com

set_up_work

if [[ " ${platforms[*]} " == *" xcb"* ]] && ! { command -v Xvfb && command -v xdotool; } >/dev/null; then
    echo "no Xvfb or xdotool: offscreen only" >&2
    platforms=(offscreen)
fi

write_queue_file() { # QUEUE PATH
    {
        printf '0\r\n%s\r\n' "$work/files/"
        [ "$1" = empty ] || complete_records "$host" "$work/files/" 1 100
    } >"$2"
}

# Per thread of process `pid`, one a line: TID, switches so far, name.
switches_of() {
    local pid=$1 task
    for task in /proc/"$pid"/task/*; do
        awk -v tid="${task##*/}" -v name="$(cat "$task/comm" 2>/dev/null)" \
            '/^(non)?voluntary_ctxt_switches:/ { n += $2 } END { if (NR) print tid, n, name }' \
            "$task/status" 2>/dev/null || true
    done
}

declare -A program_of display_of
for platform in "${platforms[@]}"; do
    for queue in "${queues[@]}"; do
        for b in "${!builds[@]}"; do
            key=$platform-$queue-$b
            dir=$work/$key
            mkdir -p "$dir"
            write_queue_file "$queue" "$dir/downloads.txt"
            if [ "$platform" = offscreen ]; then
                (cd "$dir" && QT_QPA_PLATFORM=offscreen exec "${builds[$b]}/ui/tolvenka") \
                    >"$dir/program.log" 2>&1 &
            else
                start_x_display
                display_of[$key]=$x_display
                (cd "$dir" && unset QT_QPA_PLATFORM WAYLAND_DISPLAY &&
                    DISPLAY=${display_of[$key]} exec "${builds[$b]}/ui/tolvenka") \
                    >"$dir/program.log" 2>&1 &
            fi
            program_of[$key]=$!
            running_pids+=("$!")
        done
    done
done
for key in "${!display_of[@]}"; do
    window=$(window_of_program "${program_of[$key]}" "${display_of[$key]}")
    if [[ $key == xcb-active-* ]]; then
        DISPLAY=${display_of[$key]} xdotool windowfocus --sync "$window"
    fi
done
sleep "$settle_seconds"
for key in "${!program_of[@]}"; do switches_of "${program_of[$key]}" >"$work/$key.before"; done
start=$EPOCHREALTIME
sleep "$seconds"
end=$EPOCHREALTIME
for key in "${!program_of[@]}"; do switches_of "${program_of[$key]}" >"$work/$key.after"; done
for key in "${!program_of[@]}"; do stop_program "${program_of[$key]}"; done
running_pids=()

# Lines "LABEL<TAB>PER-SECOND" for one program, in the order of thread ids:
# the GUI thread is the one whose id is the process's; another of the
# program's own name is the download worker; others of one name are
# numbered.
rates_of() { # KEY PID
    awk -v pid="$2" -v s="$start" -v e="$end" '
        function nameOf(line) { $0 = line; $1 = ""; $2 = ""; return substr($0, 3) }
        FNR == NR { tid = $1; before[tid] = $2; named[tid] = nameOf($0); next }
        {
            tid = $1; count = $2
            seen[tid] = 1
            printf "%d\t%s\t%.2f\n", tid, nameOf($0), (count - before[tid]) / (e - s)
        }
        END { for (tid in before) if (!(tid in seen)) printf "%d\t%s\tended\n", tid, named[tid] }
    ' "$work/$1.before" "$work/$1.after" | sort -n -k1,1 |
        awk -F '\t' -v pid="$2" '
            $1 == pid { gui = $2; print $2 " (GUI)\t" $3; next }
            $2 == gui { print $2 " (worker)\t" $3; next }
            { n = ++number[$2]; print $2 (n > 1 ? " #" n : "") "\t" $3 }'
}

printf '\nWake-ups per second at rest over %.0f s, per thread (context switches):\n' \
    "$(awk -v s="$start" -v e="$end" 'BEGIN { print e - s }')"
for platform in "${platforms[@]}"; do
    for queue in "${queues[@]}"; do
        declare -A rate=() known=()
        labels=()
        for b in "${!builds[@]}"; do
            key=$platform-$queue-$b
            while IFS=$'\t' read -r label value; do
                [ -n "${known[$label]:-}" ] || { labels+=("$label"); known[$label]=1; }
                rate[$b/$label]=$value
            done < <(rates_of "$key" "${program_of[$key]}")
        done
        echo
        case $queue in
        finished) echo "$platform, 100 finished downloads" ;;
        empty) echo "$platform, empty queue" ;;
        esac
        printf '  %-26s' thread
        for b in "${!builds[@]}"; do printf ' %14s' "build $((b + 1))"; done
        echo
        for label in "${labels[@]}"; do
            printf '  %-26s' "$label"
            for b in "${!builds[@]}"; do printf ' %14s' "${rate[$b/$label]:--}"; done
            echo
        done
        printf '  %-26s' "all threads"
        for b in "${!builds[@]}"; do
            printf ' %14s' "$(for label in "${labels[@]}"; do echo "${rate[$b/$label]:-0}"; done |
                awk '$1 + 0 == $1 { s += $1 } END { printf "%.2f", s }')"
        done
        echo
        unset rate known
    done
done
echo
for b in "${!builds[@]}"; do echo "build $((b + 1)): ${builds[$b]}"; done
