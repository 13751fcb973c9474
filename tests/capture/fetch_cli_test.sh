#!/usr/bin/env bash
# clipvault-cli fetch against the loopback test server: what it prints, its
# exit codes, --out and the retry options.
# Usage: fetch_cli_test.sh PATH-TO-clipvault-cli
set -euo pipefail

CLI=$(realpath "$1")
HERE=$(dirname "$(realpath "$0")")
WORK=$(mktemp -d)
SERVER_PID=""
cleanup() {
    exec 3>&- 2>/dev/null || true
    if [ -n "$SERVER_PID" ]; then kill "$SERVER_PID" 2>/dev/null || true; wait "$SERVER_PID" 2>/dev/null || true; fi
    rm -rf "$WORK"
}
trap cleanup EXIT
cd "$WORK"
# Only the loopback server is ever talked to.
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY no_proxy NO_PROXY CLIPVAULT_CA_FILE

fail() { echo "FAIL: $*" >&2; exit 1; }

# The server ends when its input closes, which fd 3 holds open.
mkfifo server.in
/usr/bin/python3 "$HERE/http_test_server.py" --tls-dir "$WORK" --lifetime 100 <server.in >ports.txt &
SERVER_PID=$!
exec 3>server.in
for _ in $(seq 200); do [ -s ports.txt ] && break; sleep 0.1; done
read -r PORT TLSPORT <ports.txt || fail "the test server did not start"
BASE="http://127.0.0.1:$PORT"

count() { curl -s --noproxy '*' "$BASE/_count$1"; }

# expect CODE ARGS...: wants exit CODE; a failing run says why in one line on
# stderr. stdout is left in out.txt.
expect() {
    local want=$1 rc=0
    shift
    "$CLI" "$@" >out.txt 2>err.txt || rc=$?
    [ "$rc" -eq "$want" ] || fail "$* exited $rc, wanted $want; stderr: $(cat err.txt)"
    if [ "$want" -ne 0 ]; then
        [ "$(wc -l <err.txt)" -eq 1 ] || fail "$* wrote other than one line on stderr: $(cat err.txt)"
    fi
}

# result CODE URL LENGTH: the JSON line fetch printed.
result() {
    python3 - "$@" <<'EOF'
import json, sys
got = json.loads(open("out.txt").read())
want = {"code": int(sys.argv[1]), "url": sys.argv[2], "length": int(sys.argv[3])}
assert got == want, f"printed {got}, wanted {want}"
EOF
}

# ---- a page, with the body written out; the scheme is added
expect 0 fetch "127.0.0.1:$PORT/page/a" --out body.bin
result 0 "$BASE/page/a" 12
[ "$(cat body.bin)" = "page:/page/a" ] || fail "body: $(cat body.bin)"
expect 0 fetch "$BASE/bytes/300000" --out big.bin
result 0 "$BASE/bytes/300000" 300000
[ "$(stat -c %s big.bin)" -eq 300000 ] || fail "big body not written whole"

# ---- redirects: followed by default, not with --no-follow
expect 0 fetch "$BASE/redirect/302/x?to=/page/b"
result 0 "$BASE/page/b" 12
expect 1 fetch "$BASE/redirect/302/y?to=/page/c" --no-follow --out never.bin
result 3 "$BASE/page/c" 0
[ ! -e never.bin ] || fail "--out written for a failed fetch"
[ "$(count /page/c)" = 0 ] || fail "--no-follow followed"

# ---- retries
expect 1 fetch "$BASE/status/404/r" --retries 1
result 6 "$BASE/status/404/r" 0
[ "$(count /status/404/r)" = 2 ] || fail "404 with --retries 1: $(count /status/404/r) attempts"
expect 1 fetch "$BASE/flaky/1/s" --retries 0
result 6 "$BASE/flaky/1/s" 0
expect 0 fetch "$BASE/flaky/1/t" --retries 0 --unlimited
result 0 "$BASE/flaky/1/t" 7
expect 0 fetch "$BASE/auth-once/u" --proxy-user me --proxy-password secret
[ "$(count /auth-once/u)" = 2 ] || fail "log-on request not answered by a resend"

# ---- https: the test CA through the environment
CLIPVAULT_CA_FILE="$WORK/ca.pem" expect 0 fetch "https://127.0.0.1:$TLSPORT/page/tls"
result 0 "https://127.0.0.1:$TLSPORT/page/tls" 14
expect 1 fetch "https://127.0.0.1:$TLSPORT/page/tls"
result 4 "https://127.0.0.1:$TLSPORT/page/tls" 0

# ---- command-line mistakes
expect 2 fetch
expect 2 fetch "$BASE/page/a" "$BASE/page/b"
expect 2 fetch "$BASE/page/a" --retries many
expect 2 fetch "$BASE/page/a" --retries -1
expect 2 fetch "$BASE/page/a" --follow --no-follow
expect 1 fetch "ftp://127.0.0.1/x"
result 1 "ftp://127.0.0.1/x" 0
expect 1 fetch "$BASE/page/a" --out "$WORK/no/such/folder/x"

echo "fetch: all passed"
