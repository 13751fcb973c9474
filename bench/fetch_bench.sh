#!/usr/bin/env bash
# The fetcher against curl on loopback, in the same run and against the same
# server (bench/fetch_bench.cpp):
#   - 200 small resources one after the other: one capture context in
#     fetch_bench against one curl process given all 200 URLs;
#   - one 50 MB body written to a file: clipvault-cli fetch --out against
#     curl -o;
#   - 50 small pages, one process each: clipvault-cli fetch against curl.
# Each is timed over several rounds (who goes first alternates); the medians
# and their ratio are printed. Target: the fetcher within 1.2x of curl.
#
# Usage: bench/fetch_bench.sh [BUILD-DIR (default: build)] [ROUNDS (default: 7)]
# Measure an optimised build; sanitizer builds say nothing about speed.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=$(realpath "${1:-$ROOT/build}")
ROUNDS=${2:-7}
BENCH=$BUILD/bench/fetch_bench
CLI=$BUILD/src/clipvault-cli
for f in "$BENCH" "$CLI"; do [ -x "$f" ] || { echo "missing $f (build first)" >&2; exit 1; }; done
command -v curl >/dev/null || { echo "curl is missing (scripts/deps.sh installs it)" >&2; exit 1; }
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY

WORK=$(mktemp -d)
PID=""
cleanup() {
    exec 3>&- 2>/dev/null || true
    if [ -n "$PID" ]; then kill "$PID" 2>/dev/null || true; wait "$PID" 2>/dev/null || true; fi
    rm -rf "$WORK"
}
trap cleanup EXIT

# The server ends when its input (fd 3) closes.
mkfifo "$WORK/in"
"$BENCH" serve <"$WORK/in" >"$WORK/port" &
PID=$!
exec 3>"$WORK/in"
for _ in $(seq 100); do [ -s "$WORK/port" ] && break; sleep 0.1; done
BASE="http://127.0.0.1:$(cat "$WORK/port")"

for i in $(seq 0 199); do
    printf 'url = "%s/small/%d"\noutput = "/dev/null"\n' "$BASE" "$i"
done >"$WORK/small.curl"

# Microseconds the command took; a failing command ends the run.
time_us() {
    local t0
    t0=$(date +%s%N)
    "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
    echo $((($(date +%s%N) - t0) / 1000))
}

per_process_ours() { for i in $(seq 50); do "$CLI" fetch "$BASE/small/p$i" --retries 0 >/dev/null; done; }
per_process_curl() { for i in $(seq 50); do curl -s --http1.0 -o /dev/null "$BASE/small/p$i"; done; }

declare -a small_ours small_curl big_ours big_curl proc_ours proc_curl
for r in $(seq "$ROUNDS"); do
    if [ $((r % 2)) -eq 1 ]; then
        small_ours+=("$(time_us "$BENCH" fetch "$BASE" 200)")
        small_curl+=("$(time_us curl -s --http1.0 -K "$WORK/small.curl")")
        big_ours+=("$(time_us "$CLI" fetch "$BASE/big" --retries 0 --out "$WORK/big.ours")")
        big_curl+=("$(time_us curl -s --http1.0 -o "$WORK/big.curl" "$BASE/big")")
        proc_ours+=("$(time_us per_process_ours)")
        proc_curl+=("$(time_us per_process_curl)")
    else
        small_curl+=("$(time_us curl -s --http1.0 -K "$WORK/small.curl")")
        small_ours+=("$(time_us "$BENCH" fetch "$BASE" 200)")
        big_curl+=("$(time_us curl -s --http1.0 -o "$WORK/big.curl" "$BASE/big")")
        big_ours+=("$(time_us "$CLI" fetch "$BASE/big" --retries 0 --out "$WORK/big.ours")")
        proc_curl+=("$(time_us per_process_curl)")
        proc_ours+=("$(time_us per_process_ours)")
    fi
done
cmp -s "$WORK/big.ours" "$WORK/big.curl" || { echo "the 50 MB bodies differ" >&2; exit 1; }

median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }

report() {
    local name=$1 ours curl
    ours=$(median $2)
    curl=$(median $3)
    awk -v n="$name" -v o="$ours" -v c="$curl" \
        'BEGIN {printf "%-34s %9.1f ms %9.1f ms %7.2fx\n", n, o/1000, c/1000, o/c}'
}

echo "fetch_bench: $ROUNDS rounds, medians"
printf '%-34s %12s %12s %8s\n' "" "fetcher" "curl" "ratio"
report "200 small resources, one process" "${small_ours[*]}" "${small_curl[*]}"
report "one 50 MB body to a file" "${big_ours[*]}" "${big_curl[*]}"
report "50 small pages, a process each" "${proc_ours[*]}" "${proc_curl[*]}"
