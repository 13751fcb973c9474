#!/usr/bin/env bash
# clipvault-cli capture, open, export, cat and import against a small site on
# a loopback server; the working copy must show offline: every image and
# stylesheet it uses is a file beside it.
set -euo pipefail
CLI=$1
HERE=$(cd "$(dirname "$0")" && pwd)
WORK=$(mktemp -d)
SERVER_PID=
cleanup() {
    [ -n "$SERVER_PID" ] && kill "$SERVER_PID" 2>/dev/null || true
    rm -rf "$WORK"
}
trap cleanup EXIT
fail() { echo "capture_cli_test: $*" >&2; exit 1; }
cd "$WORK"
export TMPDIR="$WORK/tmp" no_proxy=127.0.0.1 NO_PROXY=127.0.0.1
mkdir -p tmp site/img site/css

printf 'GIF89a-logo' >site/img/logo.gif
printf 'GIF89a-bg' >site/img/bg.gif
printf 'h1 { color: red }' >site/css/site.css
cat >site/index.html <<'HTML'
<html><head><title>Site</title><link rel="stylesheet" href="css/site.css"></head>
<body background="img/bg.gif"><img src="img/logo.gif"><img src="img/logo.gif" alt="again">
<a href="about.htm">about</a><img src="img/missing.gif"></body></html>
HTML

# The server prints its port, then serves until its input closes.
mkfifo hold
python3 "$HERE/http_test_server.py" --root site --lifetime 110 <hold >port.txt &
SERVER_PID=$!
exec 3>hold
for _ in $(seq 100); do [ -s port.txt ] && break; sleep 0.1; done
PORT=$(cut -d' ' -f1 port.txt)
[ -n "$PORT" ] || fail "the test server did not start"
BASE="http://127.0.0.1:$PORT/files"

"$CLI" capture "$BASE/index.html" "$BASE/nothing.htm" --into book.vlt --retries 0 --options opts.data >out.txt \
    && fail "a failed page must make capture exit non-zero" || true
[ "$(wc -l <out.txt)" -eq 2 ] || fail "one line per note: $(cat out.txt)"
grep -qP '^2\t0\tindex.html\t$' out.txt || fail "the page note: $(cat out.txt)"
grep -qP '^3\t3\tnothing.htm\t.+' out.txt || fail "the failed note with its error: $(cat out.txt)"

"$CLI" dump book.vlt >dump.json
python3 - <<'PY'
import json
d = json.load(open("dump.json"))
notes = {n["name"]: n for n in d["root"]["notes"]}
page = notes["index.html"]
assert page["ext"] == "htm" and page["status"] == 0, page
assert sorted(page["attachments"]) == ["vltbg.gif", "vltlogo.gif", "vltsite.css"], page
assert notes["nothing.htm"]["status"] == 6, "a failed capture is held after reopening"
assert sorted(a["name"] for a in d["attachments"]) == ["vltbg.gif", "vltlogo.gif", "vltsite.css"]
PY

# The working copy shows offline: what it uses is beside it.
WORKCOPY=$("$CLI" open book.vlt 2)
[ -f "$WORKCOPY" ] || fail "open printed no working copy: $WORKCOPY"
case "$WORKCOPY" in "$WORK/tmp/clipvault-"*/vlt*) ;; *) fail "working copy outside a private temporary folder: $WORKCOPY" ;; esac
python3 - "$WORKCOPY" "$PORT" <<'PY'
import os, sys
from html.parser import HTMLParser
path, port = sys.argv[1], sys.argv[2]
refs = []
class P(HTMLParser):
    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        if tag == "img": refs.append(a["src"])
        if tag == "link": refs.append(a["href"])
        if tag == "body" and "background" in a: refs.append(a["background"])
        if tag == "a": assert a["href"] == "http://127.0.0.1:%s/files/about.htm" % port, a
P().feed(open(path).read())
folder = os.path.dirname(path)
local = [r for r in refs if not r.startswith("http")]
assert sorted(set(local)) == ["vltbg.gif", "vltlogo.gif", "vltsite.css"], refs
for r in local:
    assert os.path.isfile(os.path.join(folder, r)), r
assert [r for r in refs if r.startswith("http")] == ["http://127.0.0.1:%s/files/img/missing.gif" % port], refs
PY

"$CLI" cat book.vlt 2 >content.htm
grep -q 'src="vltlogo.gif"' content.htm || fail "cat gives the stored page"
"$CLI" export book.vlt 2 out/page.htm 2>/dev/null && fail "export into a missing folder must fail" || true
mkdir out
"$CLI" export book.vlt 2 out/page.htm
grep -q 'src="./page.files/vltlogo.gif"' out/page.htm || fail "export links: $(cat out/page.htm)"
[ -f out/page.files/vltlogo.gif ] && [ -f out/page.files/vltsite.css ] || fail "export files missing"

# A single file and a local import.
printf '%%PDF-1.4 test' >site/doc.pdf
"$CLI" capture "$BASE/doc.pdf" --file --into book.vlt --options opts.data >out.txt
grep -qP '^4\t0\tdoc.pdf\t$' out.txt || fail "single file: $(cat out.txt)"
"$CLI" dump book.vlt | python3 -c '
import json, sys
d = json.load(sys.stdin)
pdf = [n for n in d["root"]["notes"] if n["name"] == "doc.pdf"][0]
assert pdf["ext"] == "pdf" and pdf["content_size"] == 13, pdf'
"$CLI" import site/index.html --into local.vlt --options opts.data >out.txt
grep -qP '^2\t0\tsite\t$' out.txt || fail "local import: $(cat out.txt)"
"$CLI" import no-such-file.htm --into local.vlt --options opts.data >out.txt 2>err.txt \
    && fail "importing a missing file must fail" || true
grep -q 'no such file' err.txt || fail "missing file message: $(cat err.txt)"

# Ctrl-C stops the running downloads, keeps what arrived and saves.
"$CLI" capture "http://127.0.0.1:$PORT/stall/slow.htm" --into stopped.vlt --options opts.data >out.txt &
CAPTURE_PID=$!
for _ in $(seq 50); do
    python3 -c 'import sys, urllib.request
n = urllib.request.urlopen("http://127.0.0.1:%s/_count/stall/slow.htm" % sys.argv[1]).read()
sys.exit(0 if int(n) > 0 else 1)' "$PORT" && break
    sleep 0.1
done
sleep 0.5
kill -INT "$CAPTURE_PID"
rc=0
wait "$CAPTURE_PID" || rc=$?
[ "$rc" -eq 130 ] || fail "Ctrl-C must end capture with 130, got $rc"
"$CLI" dump stopped.vlt | python3 -c '
import json, sys
n = json.load(sys.stdin)["root"]["notes"][0]
assert n["status"] == 0 and n["content_size"] == 1000, n'

echo "capture_cli_test: all passed"
