#!/usr/bin/env bash
# Page capture next to wget, both against the same loopback server in the
# same run:
#   - a page with 200 resources (images of a few KB, a few stylesheets):
#     clipvault-cli capture into a new notebook against
#     wget --page-requisites --convert-links into a new folder, over several
#     rounds (who goes first alternates); medians and their ratio.
#     Target: the capture no slower than wget (ratio at most 1.00).
#   - a page with one 50 MB image: the capture's peak resident memory
#     (/usr/bin/time) next to the body size. Target: under 3x the body.
# Both tools fetch a page's resources one after the other. The server is
# bench/capture_serve (C++, one thread, poll): a Python server spends about
# as long on each request as the clients do and would hide their difference.
#
# Usage: bench/capture_bench.sh [BUILD-DIR (default: build)] [ROUNDS (default: 7)]
# Measure an optimised build; sanitizer builds say nothing about speed. Other
# work on the machine shows up as noise: run it on an idle machine.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=$(realpath "${1:-$ROOT/build}")
ROUNDS=${2:-7}
CLI=$BUILD/src/clipvault-cli
SERVE=$BUILD/bench/capture_serve
for f in "$CLI" "$SERVE"; do [ -x "$f" ] || { echo "missing $f (build first)" >&2; exit 1; }; done

# The reference tools are not build dependencies: the benchmark brings them.
need=()
for p in wget time; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || need+=("$p")
done
if [ ${#need[@]} -gt 0 ]; then
    echo "capture_bench: installing ${need[*]}" >&2
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO=sudo
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get -o DPkg::Lock::Timeout=600 update -q >/dev/null
    $SUDO apt-get -o DPkg::Lock::Timeout=600 install -y -q --no-install-recommends "${need[@]}" >/dev/null
fi

unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY
export no_proxy=127.0.0.1 NO_PROXY=127.0.0.1

WORK=$(mktemp -d)
export TMPDIR=$WORK/tmp
mkdir -p "$TMPDIR"
# wget reads ~/.wgetrc and /etc/wgetrc; neither may change what it does here.
: >"$WORK/wgetrc"
export WGETRC=$WORK/wgetrc SYSTEM_WGETRC=$WORK/wgetrc
PID=""
cleanup() {
    exec 3>&- 2>/dev/null || true
    if [ -n "$PID" ]; then kill "$PID" 2>/dev/null || true; wait "$PID" 2>/dev/null || true; fi
    rm -rf "$WORK"
}
trap cleanup EXIT

# The site: 194 images and 6 stylesheets on one page, and a page with one
# 50 MB image of random bytes.
SITE=$WORK/site
mkdir -p "$SITE/img" "$SITE/css"
{
    printf '<!DOCTYPE html>\n<html><head><title>Capture benchmark</title>\n'
    for i in $(seq 0 5); do
        for j in $(seq 0 40); do printf '.c%d_%d { color: #%02x%02x%02x; margin: %dpx; }\n' "$i" "$j" "$i" "$j" 99 "$j"; done \
            >"$SITE/css/s$i.css"
        printf '<link rel="stylesheet" href="css/s%d.css">\n' "$i"
    done
    printf '</head><body>\n'
    for i in $(seq 0 193); do
        ext=gif
        [ $((i % 2)) -eq 1 ] && ext=jpg
        head -c $((2000 + (i * 37) % 6000)) /dev/urandom >"$SITE/img/r$i.$ext"
        printf '<p class="c%d_0">Item %d <img src="img/r%d.%s" alt="%d"></p>\n' $((i % 6)) "$i" "$i" "$ext" "$i"
    done
    printf '</body></html>\n'
} >"$SITE/index.html"
BIG_BYTES=$((50 * 1024 * 1024))
head -c "$BIG_BYTES" /dev/urandom >"$SITE/big.gif"
printf '<!DOCTYPE html>\n<html><head><title>Big</title></head><body><img src="big.gif"></body></html>\n' \
    >"$SITE/big.html"

# The server ends when its input (fd 3) closes.
mkfifo "$WORK/in"
"$SERVE" "$SITE" <"$WORK/in" >"$WORK/port" &
PID=$!
exec 3>"$WORK/in"
for _ in $(seq 100); do [ -s "$WORK/port" ] && break; sleep 0.1; done
[ -s "$WORK/port" ] || { echo "the server did not start" >&2; exit 1; }
BASE="http://127.0.0.1:$(cat "$WORK/port")"
# A settings file that does not exist: the capture runs on the defaults.
OPTIONS=$WORK/no-settings.data

capture() { timeout 120 "$CLI" capture "$BASE/$1" --into "$2" --options "$OPTIONS"; }
mirror() { timeout 120 wget --page-requisites --convert-links -q -P "$2" "$BASE/$1"; }

# Microseconds the command took; a failing command ends the run.
time_us() {
    local t0
    t0=$(date +%s%N)
    "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
    echo $((($(date +%s%N) - t0) / 1000))
}

round_ours() { rm -f "$WORK/round.vlt"; time_us capture index.html "$WORK/round.vlt"; }
round_wget() { rm -rf "$WORK/mirror"; time_us mirror index.html "$WORK/mirror"; }

# Both must have taken the page whole, or the times compare nothing.
check_outputs() {
    local got
    got=$("$CLI" dump "$WORK/round.vlt" | python3 -c \
        'import json,sys; d=json.load(sys.stdin); print(len(d["root"]["notes"][0]["attachments"]))')
    [ "$got" -eq 200 ] || { echo "the capture stored $got attachments, not 200" >&2; exit 1; }
    got=$(find "$WORK/mirror" -type f \( -name '*.gif' -o -name '*.jpg' -o -name '*.css' \) | wc -l)
    [ "$got" -eq 200 ] || { echo "wget saved $got resources, not 200" >&2; exit 1; }
}

# One untimed run each first: page cache, server and dynamic loader warm.
round_ours >/dev/null
round_wget >/dev/null
check_outputs

declare -a ours theirs
for r in $(seq "$ROUNDS"); do
    if [ $((r % 2)) -eq 1 ]; then
        ours+=("$(round_ours)")
        theirs+=("$(round_wget)")
    else
        theirs+=("$(round_wget)")
        ours+=("$(round_ours)")
    fi
done
check_outputs

median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }

# Peak resident memory in KB of one run of the command (a program, not a
# shell function).
peak_kb() {
    timeout 120 /usr/bin/time -v -o "$WORK/time.txt" "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
    awk -F: '/Maximum resident set size/ {gsub(/ /, "", $2); print $2}' "$WORK/time.txt"
}

declare -a rss_ours rss_wget
for _ in 1 2 3; do
    rm -f "$WORK/big.vlt"
    rss_ours+=("$(peak_kb "$CLI" capture "$BASE/big.html" --into "$WORK/big.vlt" --options "$OPTIONS")")
    rm -rf "$WORK/bigmirror"
    rss_wget+=("$(peak_kb wget --page-requisites --convert-links -q -P "$WORK/bigmirror" "$BASE/big.html")")
done
stored=$("$CLI" dump "$WORK/big.vlt" | python3 -c \
    'import json,sys; d=json.load(sys.stdin); print(len(d["root"]["notes"][0]["attachments"]))')
[ "$stored" -eq 1 ] || { echo "the 50 MB image was not stored" >&2; exit 1; }

ours_ms=$(median "${ours[@]}")
wget_ms=$(median "${theirs[@]}")
rss_kb=$(median "${rss_ours[@]}")
rssw_kb=$(median "${rss_wget[@]}")
echo "capture_bench: $ROUNDS rounds, medians; server bench/capture_serve"
awk -v o="$ours_ms" -v w="$wget_ms" -v all_o="${ours[*]}" -v all_w="${theirs[*]}" 'BEGIN {
    printf "200-resource page   clipvault-cli %8.1f ms   wget %8.1f ms   ratio %5.2fx (target <= 1.00: %s)\n",
        o / 1000, w / 1000, o / w, (o <= w) ? "met" : "MISSED"
    printf "  rounds (ms)  clipvault-cli:"; n = split(all_o, a, " "); for (i = 1; i <= n; i++) printf " %.0f", a[i] / 1000
    printf "\n               wget:         "; n = split(all_w, b, " "); for (i = 1; i <= n; i++) printf " %.0f", b[i] / 1000
    printf "\n"
}'
awk -v r="$rss_kb" -v rw="$rssw_kb" -v b="$BIG_BYTES" 'BEGIN {
    printf "50 MB image page    peak RSS %6.1f MB = %4.2fx the body (target < 3x: %s); wget %.1f MB\n",
        r / 1024, r * 1024 / b, (r * 1024 < 3 * b) ? "met" : "MISSED", rw / 1024
}'
