#!/usr/bin/env bash
# The capture takes today's web pages whole: every page of the test site
# (site/pages.txt) is captured from a loopback server, the server is
# stopped, and each page must show in Chromium without asking for anything
# but its own files (offline_check.py).
#   1. the site itself shows whole from the live server (the check's own
#      sanity: a page that fails here is the site's fault, not the capture's);
#   2. clipvault-cli capture of all pages at once (parallel workers); with
#      SITE_CHECK_CLASSIC=1 also the same with --classic, for information
#      only (it adds a minute);
#   3. every page again, one capture after another into one notebook, as a
#      user collects a site page by page: later pages find the shared
#      stylesheets, pictures, fonts and frames stored already;
#   4. the server stops; no file was stored twice; in one Chromium run are
#      checked offline the working copies of 2 (what the program shows) and
#      the pages of 3 written out with their files (export), each into a
#      folder of its own; each page of 3 written out took exactly the files
#      its note lists, which its working copy is shown with.
# Fails when any page fails in 1 or 4.
#
# Usage: site_capture_test.sh CLIPVAULT-CLI
set -euo pipefail
CLI=$(realpath "$1")
HERE=$(cd "$(dirname "$0")" && pwd)
SITE=$HERE/site
CHECK=$HERE/offline_check.py
WORK=$(mktemp -d)
SERVER_PID=
stop_server() {
    exec 3>&- 2>/dev/null || true
    if [ -n "$SERVER_PID" ]; then
        kill "$SERVER_PID" 2>/dev/null || true
        wait "$SERVER_PID" 2>/dev/null || true
    fi
    SERVER_PID=
}
cleanup() {
    stop_server
    rm -rf "$WORK"
}
trap cleanup EXIT
fail() { echo "site_capture_test: $*" >&2; exit 1; }
cd "$WORK"
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY
export TMPDIR="$WORK/tmp" no_proxy=127.0.0.1 NO_PROXY=127.0.0.1
mkdir -p tmp

mapfile -t PAGES < <(grep -v -e '^#' -e '^[[:space:]]*$' "$SITE/pages.txt")
[ ${#PAGES[@]} -gt 0 ] || fail "no pages in $SITE/pages.txt"

# The server prints "PORT HOST2", then serves until its input closes.
mkfifo hold
python3 "$HERE/site_server.py" --root "$SITE" --log requests.log --lifetime 280 <hold >port.txt &
SERVER_PID=$!
exec 3>hold
for _ in $(seq 100); do [ -s port.txt ] && break; sleep 0.1; done
read -r PORT HOST2 <port.txt || fail "the site server did not start"
BASE="http://127.0.0.1:$PORT"
URLS=()
for p in "${PAGES[@]}"; do URLS+=("$BASE/$p"); done

echo "== the site from the live server"
LIVE=()
for p in "${PAGES[@]}"; do LIVE+=("$p=$BASE/$p"); done
python3 "$CHECK" --quiet --log chromium-live.log --write-expect expect.json --live "127.0.0.1:$PORT,$HOST2" "${LIVE[@]}" ||
    fail "the site itself does not show whole from the server: the site or the check is broken"
LIVE_LINES=$(wc -l <requests.log)

echo "== capture"
"$CLI" capture "${URLS[@]}" --into modern.vlt --options opts.data --retries 3 >modern.txt 2>modern.err || true
MODERN_LINES=$(wc -l <requests.log)
[ "$(wc -l <modern.txt)" -eq ${#PAGES[@]} ] || fail "capture printed no line per page: $(cat modern.txt modern.err)"
echo "the capture made $((MODERN_LINES - LIVE_LINES)) requests"

echo "== capture page after page into one notebook"
for u in "${URLS[@]}"; do
    "$CLI" capture "$u" --into onebook.vlt --options opts.data --retries 3 >>onebook.txt 2>>onebook.err || true
done
[ "$(wc -l <onebook.txt)" -eq ${#PAGES[@]} ] || fail "capture printed no line per page: $(cat onebook.txt onebook.err)"

CLASSIC=
if [ "${SITE_CHECK_CLASSIC:-0}" = 1 ]; then
    CLASSIC=yes
    "$CLI" capture "${URLS[@]}" --classic --into classic.vlt --options opts.data --retries 3 >classic.txt \
        2>classic.err || true
fi
stop_server

# collect HOW BOOK LIST GROUP: for each note of LIST (the capture's lines,
# one a page), labelled GROUP:page, its working copy (HOW open) or the page
# written out with its files into a folder of its own (HOW export, listed
# in exports.txt with its note). A note that failed is a failing page of
# its own.
collect() {
    local how=$1 book=$2 list=$3 group=$4 i=0 id status name error copy out
    COPIES=()
    CAPTURE_FAILED=0
    while IFS=$'\t' read -r id status name error; do
        local page=${PAGES[$i]}
        i=$((i + 1))
        if [ "$status" != 0 ]; then
            echo "FAIL $group$page: not captured (status $status: $error)"
            CAPTURE_FAILED=$((CAPTURE_FAILED + 1))
            continue
        fi
        if [ "$how" = open ]; then
            copy=$("$CLI" open "$book" "$id") ||
                { echo "FAIL $group$page: no working copy"; CAPTURE_FAILED=$((CAPTURE_FAILED + 1)); continue; }
        else
            out=$WORK/out/$group$i
            mkdir -p "$out"
            copy=$out/$(basename "$page")
            "$CLI" export "$book" "$id" "$copy" ||
                { echo "FAIL $group$page: not written out"; CAPTURE_FAILED=$((CAPTURE_FAILED + 1)); continue; }
            printf '%s\t%s\t%s\n' "$group$page" "$id" "$copy" >>exports.txt
        fi
        COPIES+=("$group$page=$copy")
    done <"$list"
}

# No file of the site is stored twice in a notebook, however its pages
# came in.
no_twice() {
    "$CLI" dump "$1" | python3 -c '
import collections, json, sys
book = json.load(sys.stdin)
origins = collections.Counter(a["origin"] for a in book.get("attachments", []))
twice = sorted(o for o, n in origins.items() if n > 1)
for o in twice:
    print(f"FAIL {sys.argv[1]}: {o} is stored {origins[o]} times")
sys.exit(1 if twice else 0)' "$1"
}

# A page written out takes the files its note lists, no fewer (its working
# copy is shown with those) and no more (a file it uses that the note does
# not list would be missing beside the working copy).
exports_match_lists() {
    "$CLI" dump "$1" >"$1.json" || return 1
    python3 - "$1.json" <<'PY'
import json, os, sys
def notes(cata):
    yield from cata["notes"]
    for sub in cata["categories"]:
        yield from notes(sub)
listed = {n["id"]: set(n["attachments"]) for n in notes(json.load(open(sys.argv[1], encoding="utf-8"))["root"])}
bad = 0
for line in open("exports.txt", encoding="utf-8"):
    label, note_id, copy = line.rstrip("\n").split("\t")
    folder = os.path.splitext(copy)[0] + ".files"
    taken = set(os.listdir(folder)) if os.path.isdir(folder) else set()
    if taken != listed[int(note_id)]:
        bad += 1
        print(f"FAIL {label}: written out with {sorted(taken - listed[int(note_id)])} its note does not list, "
              f"without {sorted(listed[int(note_id)] - taken)} it lists")
sys.exit(1 if bad else 0)
PY
}

echo "== the captured pages offline"
rc=0
no_twice modern.vlt || rc=1
no_twice onebook.vlt || rc=1
collect open modern.vlt modern.txt parallel:
ALL=("${COPIES[@]}")
FAILED_COPIES=$CAPTURE_FAILED
collect export onebook.vlt onebook.txt onebook-export:
ALL+=("${COPIES[@]}")
FAILED_COPIES=$((FAILED_COPIES + CAPTURE_FAILED))
[ ! -s exports.txt ] || exports_match_lists onebook.vlt || rc=1
if [ ${#ALL[@]} -gt 0 ]; then
    python3 "$CHECK" --quiet --log chromium-modern.log --expect expect.json "${ALL[@]}" >check.txt || rc=1
    cat check.txt
fi
[ "$FAILED_COPIES" -eq 0 ] || rc=1
for group in parallel onebook-export; do
    failing=$(grep -c "^FAIL $group:" check.txt || true)
    echo "$group: $((${#PAGES[@]} - failing)) of ${#PAGES[@]} pages show whole offline"
done

if [ "$rc" -ne 0 ]; then
    # What the browser fetched from the live site that the capture never
    # asked for: where to look first.
    python3 - "$LIVE_LINES" "$MODERN_LINES" <<'PY'
import sys
live_end, modern_end = int(sys.argv[1]), int(sys.argv[2])
lines = [l.split(" ", 1)[1].strip() for l in open("requests.log", encoding="utf-8", errors="replace")]
missed = sorted(set(lines[:live_end]) - set(lines[live_end:modern_end]) - {"/favicon.ico"})
if missed:
    print(f"the browser fetched {len(missed)} paths from the live site that the capture never asked for:")
    for m in missed:
        print("   ", m)
PY
fi

if [ -n "$CLASSIC" ]; then
    echo "== for information: the pages captured with --classic"
    collect open classic.vlt classic.txt classic:
    classic_pass=0
    if [ ${#COPIES[@]} -gt 0 ]; then
        python3 "$CHECK" --log chromium-classic.log --expect expect.json "${COPIES[@]}" >classic-check.txt || true
        classic_pass=$(grep -c '^PASS ' classic-check.txt || true)
    fi
    echo "--classic: $classic_pass of ${#PAGES[@]} pages show whole offline"
fi

[ "$rc" -eq 0 ] || fail "some captured pages do not show whole offline"
echo "site_capture_test: all ${#PAGES[@]} pages passed"
