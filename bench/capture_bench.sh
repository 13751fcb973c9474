#!/usr/bin/env bash
# Page capture next to wget, against the same loopback server in the same
# run:
#   - a page with 200 resources (PNG, GIF, JPEG and SVG images of a few KB,
#     10 stylesheets each with a background image): clipvault-cli capture
#     into a new notebook, the same with --classic (the old rules, where the
#     tool still has them) and wget --page-requisites --convert-links into a
#     new folder, over several rounds (who goes first turns); medians, the
#     ratio capture/wget and how many files each stored.
#     Target: the capture takes at most half wget's time (ratio <= 0.50).
#   - a page with one 50 MB image: the capture's peak resident memory
#     (/usr/bin/time) next to the body size. Target: under 3x the body.
# wget fetches one resource after the other on one connection; the capture
# fetches several at once. The server is bench/capture_serve (C++, one
# thread, poll over all connections): a Python server spends about as long on
# each request as the clients do and would hide their difference.
#
# Usage: [LATENCY_MS=N] bench/capture_bench.sh [BUILD-DIR (default: build)] [ROUNDS (default: 7)]
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

# The site: one page with 180 images (PNG, GIF, JPEG, SVG) and 10
# stylesheets, each of those with a url() background image of its own: 200
# resources, a few KB each; and a page with one 50 MB image of random bytes.
# The raster images are random bytes behind their format's signature: what
# is measured is the fetching and storing, not anybody's decoder.
SITE=$WORK/site
mkdir -p "$SITE/img" "$SITE/css"
python3 - "$SITE" <<'PY'
import os, sys
site = sys.argv[1]
magic = {"png": b"\x89PNG\r\n\x1a\n", "gif": b"GIF89a", "jpg": b"\xff\xd8\xff\xe0"}
kinds = ["png", "gif", "jpg", "svg"]
page = ["<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Capture benchmark</title>"]
for i in range(10):
    with open(f"{site}/img/bg{i}.png", "wb") as f:
        f.write(magic["png"] + os.urandom(2000 + i * 300))
    rules = "".join(f".c{i}_{j} {{ color: #{i:02x}{j:02x}99; margin: {j}px; }}\n" for j in range(40))
    with open(f"{site}/css/s{i}.css", "w") as f:
        f.write(f".c{i}_0 {{ background: url(../img/bg{i}.png) no-repeat; }}\n" + rules)
    page.append(f'<link rel="stylesheet" href="css/s{i}.css">')
page.append("</head><body>")
for i in range(180):
    ext = kinds[i % 4]
    size = 2000 + (i * 37) % 6000
    path = f"{site}/img/r{i}.{ext}"
    if ext == "svg":
        points = " ".join(f"{(k * 7) % 100},{(k * 13) % 100}" for k in range(size // 8))
        with open(path, "w") as f:
            f.write(f'<svg xmlns="http://www.w3.org/2000/svg" width="100" height="100">'
                    f'<polyline points="{points}" fill="none" stroke="#{i:06x}"/></svg>\n')
    else:
        with open(path, "wb") as f:
            f.write(magic[ext] + os.urandom(size))
    page.append(f'<p class="c{i % 10}_0">Item {i} <img src="img/r{i}.{ext}" alt="{i}"></p>')
page.append("</body></html>")
with open(f"{site}/index.html", "w") as f:
    f.write("\n".join(page) + "\n")
PY
RESOURCES=200

# Real pages: documentation as Debian ships it (Node.js API pages with their
# stylesheets, scripts and pictures; valgrind's and libxslt's manuals), served
# by the same server. References to other hosts are pointed at addresses of
# this server that answer 404: nothing leaves the machine, and the pages keep
# the dead references real pages have.
REAL=()
copy_docs() {  # FOLDER-IN-/usr/share/doc NAME-IN-SITE
    [ -d "/usr/share/doc/$1" ] || return 0
    mkdir -p "$SITE/$2" && cp -rL "/usr/share/doc/$1/." "$SITE/$2/" 2>/dev/null || true
}
copy_docs nodejs node
[ -d "$SITE/node/api_assets" ] && ln -sfn ../api_assets "$SITE/node/api/assets"
copy_docs valgrind/html valgrind
copy_docs libxslt1-dev/html xslt
for page in node/api/fs.html node/api/http.html node/api/stream.html valgrind/manual-core.html \
    valgrind/mc-manual.html xslt/html/libxslt-transform.html xslt/tutorial/libxslttutorial.html; do
    [ -f "$SITE/$page" ] && REAL+=("$page")
done
python3 - "$SITE" "${REAL[@]}" <<'PY'
import re, sys
site, pages = sys.argv[1], sys.argv[2:]
# Only what a capture fetches: stylesheets, scripts, pictures, frames.
tag = re.compile(r'<(link|script|img|iframe|frame|source)\b[^>]*>', re.I)
absolute = re.compile(r'((?:src|href)\s*=\s*["\'])(?:https?:)?//[^"\']*', re.I)
for page in pages:
    path = f"{site}/{page}"
    text = open(path, encoding="utf-8", errors="surrogateescape").read()
    text = tag.sub(lambda m: absolute.sub(r'\1/elsewhere/gone', m.group(0)), text)
    text = re.sub(r'url\(\s*["\']?(?:https?:)?//[^)]*\)', 'url(/elsewhere/gone.png)', text)
    open(path, "w", encoding="utf-8", errors="surrogateescape").write(text)
# A page whose pictures are mostly gone: 40 dead, 10 there.
rows = [f'<p>Figure {i} <img src="gone/fig{i}.png"></p>' for i in range(40)]
rows += [f'<p>Kept {i} <img src="img/r{i}.png"></p>' for i in range(0, 40, 4)]
open(f"{site}/dead.html", "w").write("<!DOCTYPE html><html><head><title>Dead</title></head><body>"
                                     + "\n".join(rows) + "</body></html>\n")
PY
BIG_BYTES=$((50 * 1024 * 1024))
head -c "$BIG_BYTES" /dev/urandom >"$SITE/big.gif"
printf '<!DOCTYPE html>\n<html><head><title>Big</title></head><body><img src="big.gif"></body></html>\n' \
    >"$SITE/big.html"

# The server ends when its input (fd 3) closes. LATENCY_MS (default 0)
# milliseconds pass between a request and its answer: on loopback an answer
# costs microseconds, so without it only the clients' own work is compared;
# with it each request costs what it costs over a network, which is what
# fetching in parallel is for.
mkfifo "$WORK/in"
"$SERVE" "$SITE" "${LATENCY_MS:-0}" <"$WORK/in" >"$WORK/port" &
PID=$!
exec 3>"$WORK/in"
for _ in $(seq 100); do [ -s "$WORK/port" ] && break; sleep 0.1; done
[ -s "$WORK/port" ] || { echo "the server did not start" >&2; exit 1; }
BASE="http://127.0.0.1:$(cat "$WORK/port")"
# A settings file that does not exist: the capture runs on the defaults.
OPTIONS=$WORK/no-settings.data

capture() { timeout 120 "$CLI" capture "$BASE/$1" --into "$2" --options "$OPTIONS" >/dev/null; }
classic() { timeout 120 "$CLI" capture "$BASE/$1" --classic --into "$2" --options "$OPTIONS" >/dev/null; }
mirror() { timeout 120 wget --page-requisites --convert-links -q -P "$2" "$BASE/$1"; }

# The old rules stay for a while behind --classic; a tool without the switch
# is measured without them.
CLASSIC=yes
"$CLI" capture "$BASE/big.html" --classic --into "$WORK/probe.vlt" --options "$OPTIONS" --no-resources \
    >/dev/null 2>"$WORK/probe.err" || { grep -q "unknown option '--classic'" "$WORK/probe.err" && CLASSIC= || true; }

# Microseconds the command took; a failing command ends the run.
time_us() {
    local t0
    t0=$(date +%s%N)
    "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
    echo $((($(date +%s%N) - t0) / 1000))
}

round_modern() { rm -f "$WORK/modern.vlt"; time_us capture index.html "$WORK/modern.vlt"; }
round_classic() { rm -f "$WORK/classic.vlt"; time_us classic index.html "$WORK/classic.vlt"; }
round_wget() { rm -rf "$WORK/mirror"; time_us mirror index.html "$WORK/mirror"; }

# How many files each stored: the note's attachments, wget's files besides
# the page.
stored() {
    "$CLI" dump "$1" | python3 -c \
        'import json,sys; d=json.load(sys.stdin); print(len(d["root"]["notes"][0]["attachments"]))'
}
wget_files() { find "$WORK/mirror" -type f ! -name 'index.html' | wc -l; }

# One untimed run each first: page cache, server and dynamic loader warm.
round_modern >/dev/null
[ -n "$CLASSIC" ] && round_classic >/dev/null
round_wget >/dev/null

declare -a modern classic theirs
tools=(modern wget)
[ -n "$CLASSIC" ] && tools=(modern classic wget)
for r in $(seq "$ROUNDS"); do
    # Who goes first turns with the rounds.
    n=${#tools[@]}
    for k in $(seq 0 $((n - 1))); do
        t=${tools[$(((r + k) % n))]}
        case $t in
        modern) modern+=("$(round_modern)") ;;
        classic) classic+=("$(round_classic)") ;;
        wget) theirs+=("$(round_wget)") ;;
        esac
    done
done
got_modern=$(stored "$WORK/modern.vlt")
got_classic=-
[ -n "$CLASSIC" ] && got_classic=$(stored "$WORK/classic.vlt")
got_wget=$(wget_files)

# Real pages and the page of dead references: each page into a notebook of
# its own (the capture's durable save included) against wget into a folder of
# its own, the whole set timed as one.
real_ours() { local k=0; rm -rf "$WORK/real"; mkdir -p "$WORK/real"
    for p in "$@"; do k=$((k + 1)); capture "$p" "$WORK/real/$k.vlt" || return 1; done; }
real_wget() { local k=0; rm -rf "$WORK/realmirror"
    for p in "$@"; do k=$((k + 1)); mirror "$p" "$WORK/realmirror/$k" || [ $? -eq 8 ] || return 1; done; }
declare -a real_o real_w dead_o dead_w
if [ ${#REAL[@]} -gt 0 ]; then
    real_ours "${REAL[@]}" && real_wget "${REAL[@]}"
    for r in $(seq "$ROUNDS"); do
        if [ $((r % 2)) -eq 0 ]; then
            real_o+=("$(time_us real_ours "${REAL[@]}")"); real_w+=("$(time_us real_wget "${REAL[@]}")")
        else
            real_w+=("$(time_us real_wget "${REAL[@]}")"); real_o+=("$(time_us real_ours "${REAL[@]}")")
        fi
    done
fi
for r in $(seq "$ROUNDS"); do
    dead_o+=("$(time_us real_ours dead.html)")
    dead_w+=("$(time_us real_wget dead.html)")
done

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
[ "$(stored "$WORK/big.vlt")" -eq 1 ] || { echo "the 50 MB image was not stored" >&2; exit 1; }

modern_us=$(median "${modern[@]}")
wget_us=$(median "${theirs[@]}")
classic_us=0
[ -n "$CLASSIC" ] && classic_us=$(median "${classic[@]}")
rss_kb=$(median "${rss_ours[@]}")
rssw_kb=$(median "${rss_wget[@]}")
echo "capture_bench: $ROUNDS rounds, medians; server bench/capture_serve, answers ${LATENCY_MS:-0} ms after their requests"
awk -v o="$modern_us" -v c="$classic_us" -v w="$wget_us" -v all_o="${modern[*]}" -v all_c="${classic[*]:-}" \
    -v all_w="${theirs[*]}" -v n="$RESOURCES" -v so="$got_modern" -v sc="$got_classic" -v sw="$got_wget" 'BEGIN {
    printf "%d-resource page  capture %8.1f ms (%s files)", n, o / 1000, so
    if (c > 0) printf "   --classic %8.1f ms (%s files)", c / 1000, sc
    printf "   wget %8.1f ms (%s files)\n", w / 1000, sw
    printf "  capture / wget %5.2fx (at or under wget: %s; at most half: %s)\n", o / w, (o <= w) ? "met" : "MISSED", (o <= 0.5 * w) ? "met" : "MISSED"
    if (so != n) printf "  the capture stored %s of the %d resources: it did less work than asked\n", so, n
    if (sw != n) printf "  wget stored %s of the %d resources\n", sw, n
    printf "  rounds (ms)  capture:  "; k = split(all_o, a, " "); for (i = 1; i <= k; i++) printf " %.0f", a[i] / 1000
    if (c > 0) { printf "\n               --classic:"; k = split(all_c, d, " "); for (i = 1; i <= k; i++) printf " %.0f", d[i] / 1000 }
    printf "\n               wget:     "; k = split(all_w, b, " "); for (i = 1; i <= k; i++) printf " %.0f", b[i] / 1000
    printf "\n"
}'
report_pair() {  # LABEL OURS-US WGET-US
    awk -v l="$1" -v o="$2" -v w="$3" 'BEGIN {
        printf "%-17s capture %8.1f ms   wget %8.1f ms   capture / wget %5.2fx (at or under wget: %s)\n",
            l, o / 1000, w / 1000, o / w, (o <= w) ? "met" : "MISSED" }'
}
[ ${#real_o[@]} -gt 0 ] && report_pair "${#REAL[@]} real pages" "$(median "${real_o[@]}")" "$(median "${real_w[@]}")"
report_pair "dead references" "$(median "${dead_o[@]}")" "$(median "${dead_w[@]}")"
awk -v r="$rss_kb" -v rw="$rssw_kb" -v b="$BIG_BYTES" 'BEGIN {
    printf "50 MB image page   capture peak RSS %6.1f MB, body %.1f MB: %4.2fx (target < 3x: %s); wget %.1f MB\n",
        r / 1024, b / 1048576, r * 1024 / b, (r * 1024 < 3 * b) ? "met" : "MISSED", rw / 1024
}'
