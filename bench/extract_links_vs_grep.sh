#!/usr/bin/env bash
# Finds the addresses in a 50 MiB text holding 500,000 of them (a tenth
# service links) with extractLinks (bench_extract_links --print) and with
# grep -o -i -E, alternating A B A B; both write every address found into a
# file, a line each, and the two files must be the same. Prints each pair
# and the median ratio of wall times (extractLinks / grep; at most 1.0 is the
# goal).
# Usage: bench/extract_links_vs_grep.sh BUILD_DIR [PAIRS]
set -euo pipefail

build_dir=$(realpath "${1:?usage: $0 BUILD_DIR [PAIRS]}")
pairs=${2:-5}
extractor="$build_dir/bench/bench_extract_links"
[ -x "$extractor" ] || { echo "missing $extractor (build the target bench_extract_links)" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/tolvenka-extract-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
text="$work/links.txt"

# Lines of Latin and CP1251 Cyrillic words, punctuation and HTML-ish markup
# around the addresses, some of them in upper case, padded to 50 MiB.
python3 - "$text" <<'PY'
import random, sys
random.seed(5)
size = 50 * 1024 * 1024
count = 500_000
words = ["download", "file", "archive", "the", "and", "part", "http:", "see", "link", "mirror",
         "скачать".encode("cp1251").decode("latin-1"), "файл".encode("cp1251").decode("latin-1"),
         "ссылка".encode("cp1251").decode("latin-1"), "<a", "href=", "</a>", "(new)", "-", ":"]
chunks = []
for i in range(count):
    if i % 10 == 0:
        link = "http://rapidshare.com/files/%d/archive-%d.part%d.rar" % (100000 + i, i, i % 7 + 1)
    else:
        link = "http://www.example%d.org/forum/view.php?t=%d&p=%d#post" % (i % 97, i, i * 3)
    if i % 13 == 0:
        link = "HTTP://" + link[7:]
    chunks.append(link)
    chunks.append(" ".join(random.choice(words) for _ in range(random.randint(3, 9))))
body = "\n".join(chunks)
filler = " ".join(words) + "\n"
body += filler * ((size - len(body)) // len(filler) + 1)
with open(sys.argv[1], "wb") as out:
    out.write(body[:size].encode("latin-1"))
PY

now_ns() { date +%s%N; }
# Into files, not /dev/null: grep notices that and stops at the first match.
run_extract() { "$extractor" "$text" --print >"$work/extract.out" 2>/dev/null; }
run_grep() { LC_ALL=C grep -o -i -E 'http://[a-z0-9~_+=/.:&%?#-]*' "$text" >"$work/grep.out"; }

echo "extractLinks: $("$extractor" "$text")"
run_extract; run_grep # warm the page cache
echo "grep:         $(wc -l <"$work/grep.out") addresses"
# The text holds no address nested in another (which grep would not report),
# so both must have found the same.
cmp -s "$work/extract.out" "$work/grep.out" ||
    { echo "extractLinks and grep found different addresses" >&2; exit 1; }

ratios=()
for ((i = 1; i <= pairs; i++)); do
    t0=$(now_ns); run_extract; t1=$(now_ns); run_grep; t2=$(now_ns)
    a=$(((t1 - t0) / 1000000)); b=$(((t2 - t1) / 1000000))
    ratio=$(awk -v a="$a" -v b="$b" 'BEGIN { printf "%.3f", a / b }')
    ratios+=("$ratio")
    echo "pair $i: extractLinks ${a} ms, grep ${b} ms, ratio $ratio"
done
median=$(printf '%s\n' "${ratios[@]}" | sort -n | awk '{ r[NR] = $1 } END { print (NR % 2) ? r[(NR + 1) / 2] : (r[NR / 2] + r[NR / 2 + 1]) / 2 }')
echo "median ratio extractLinks / grep: $median (goal: at most 1.0)"
