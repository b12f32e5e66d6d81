#!/usr/bin/env bash
# Reads a 2 GiB body over TLS from nginx on loopback into a file, with
# HttpClient (bench_http_get) and with curl, alternating A B A B: directly,
# and through tinyproxy's CONNECT tunnel. Prints each pair's wall and CPU
# seconds and the median ratios. The certificate authority and the server's
# certificate are made here with openssl and trusted through SSL_CERT_FILE
# by both clients.
# Usage: bench/https_get_vs_curl.sh BUILD_DIR [PAIRS]
set -euo pipefail
. "$(dirname "$0")/lib/nginx.bash"

build_dir=$(realpath "${1:?usage: $0 BUILD_DIR [PAIRS]}")
pairs=${2:-3}
client="$build_dir/bench/bench_http_get"
[ -x "$client" ] || { echo "missing $client (build the target bench_http_get)" >&2; exit 1; }
nginx=$(command -v nginx || echo /usr/sbin/nginx)
for tool in "$nginx" tinyproxy curl openssl /usr/bin/time; do
    command -v "$tool" >/dev/null || { echo "$tool is missing; run ./scripts/install-deps.sh" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/tolvenka-https-bench-XXXXXX")
pids=()
cleanup() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    done
    rm -rf "$work"
}
trap cleanup EXIT

cd "$work"
openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out ca.key 2>/dev/null
openssl req -x509 -new -key ca.key -out ca.pem -days 2 -subj "/CN=bench authority" \
    -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign 2>/dev/null
openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out server.key 2>/dev/null
openssl req -new -key server.key -out server.csr -subj "/CN=127.0.0.1" 2>/dev/null
printf 'subjectAltName=IP:127.0.0.1\n' >server.ext
openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -out server.pem \
    -days 2 -extfile server.ext 2>/dev/null
export SSL_CERT_FILE=$work/ca.pem CURL_CA_BUNDLE=$work/ca.pem

mkdir -p root
truncate -s 2G root/2g.bin
head -c 1048576 /dev/urandom >root/1m.bin

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
wait_for_port() { # PORT PID
    for _ in $(seq 200); do
        (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null && return 0
        kill -0 "$2" 2>/dev/null || return 1
        sleep 0.05
    done
    return 1
}

tls_port=$(free_port)
write_nginx_conf "$work" "listen 127.0.0.1:$tls_port ssl;" "ssl_certificate $work/server.pem;" \
    "ssl_certificate_key $work/server.key;"
"$nginx" -p "$work" -c "$work/nginx.conf" -e "$work/error.log" &
pids+=($!)
wait_for_port "$tls_port" "${pids[-1]}" || { echo "nginx did not start" >&2; cat error.log >&2; exit 1; }

proxy_port=$(free_port)
printf 'Port %s\nListen 127.0.0.1\nTimeout 600\nMaxClients 10\nAllow 127.0.0.1\nLogLevel Error\n' \
    "$proxy_port" >tinyproxy.conf
tinyproxy -d -c tinyproxy.conf >/dev/null 2>&1 &
pids+=($!)
wait_for_port "$proxy_port" "${pids[-1]}" || { echo "tinyproxy did not start" >&2; exit 1; }

url="https://127.0.0.1:$tls_port/2g.bin"
out="$work/out.bin"
size=$((2 * 1024 * 1024 * 1024))

measure() { # prints "WALL CPU" seconds of the command
    rm -f "$out"
    /usr/bin/time -f '%e %U %S' -o "$work/time.txt" "$@" >/dev/null
    [ "$(stat -c %s "$out")" -eq "$size" ] || { echo "short file from $1" >&2; exit 1; }
    awk '{ printf "%s %.2f\n", $1, $2 + $3 }' "$work/time.txt"
}

median() { sort -g | awk '{ r[NR] = $1 } END { if (NR % 2) print r[(NR + 1) / 2]; else print (r[NR / 2] + r[NR / 2 + 1]) / 2 }'; }

compare() { # TITLE [VARIABLE=VALUE...]: the pairs, with the environment given
    local title=$1
    shift
    echo "$title, $pairs pairs"
    local wall_ratios=() cpu_ratios=()
    for i in $(seq "$pairs"); do
        read -r our_wall our_cpu < <(env "$@" bash -c "$(declare -f measure); out=$out size=$size work=$work measure $client $url $out")
        read -r their_wall their_cpu < <(env "$@" bash -c "$(declare -f measure); out=$out size=$size work=$work measure curl -s -o $out $url")
        wall_ratios+=("$(awk -v a="$our_wall" -v b="$their_wall" 'BEGIN { print a / b }')")
        cpu_ratios+=("$(awk -v a="$our_cpu" -v b="$their_cpu" 'BEGIN { print a / b }')")
        printf 'pair %d: HttpClient wall %.2f s cpu %.2f s | curl wall %.2f s cpu %.2f s\n' \
            "$i" "$our_wall" "$our_cpu" "$their_wall" "$their_cpu"
    done
    printf 'median ratios HttpClient/curl: wall %.3f, cpu %.3f (goal <= 1.10 each)\n' \
        "$(printf '%s\n' "${wall_ratios[@]}" | median)" "$(printf '%s\n' "${cpu_ratios[@]}" | median)"
}

curl -s -o /dev/null "https://127.0.0.1:$tls_port/1m.bin"
compare "HttpClient vs curl, 2 GiB over TLS from nginx into a file" no_proxy= https_proxy=
compare "The same through tinyproxy's CONNECT" "https_proxy=http://127.0.0.1:$proxy_port" no_proxy=
