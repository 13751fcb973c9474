#!/usr/bin/env bash
# The program, not running, is started by the session bus when a caller
# needs it: by a plain gdbus call and by clipvault-cli. It stays running and
# answers introspection. A private bus and XDG_DATA_HOME: nothing of the
# user's session is touched.
# With a build folder as third argument, also checks that an install
# brings the activation file along, naming the installed program.
# Usage: activation_test.sh PATH-TO-clipvault PATH-TO-clipvault-cli [BUILD-FOLDER]
set -euo pipefail

if [ "${1:-}" != "--inner" ]; then
    PROG=$(realpath "$1")
    CLI=$(realpath "$2")
    WORK=$(mktemp -d)
    trap 'rm -rf "$WORK"' EXIT
    export XDG_DATA_HOME="$WORK/data" XDG_CONFIG_HOME="$WORK/config" XDG_RUNTIME_DIR="$WORK/run"
    mkdir -p "$XDG_DATA_HOME" "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
    chmod 700 "$XDG_RUNTIME_DIR"
    export QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1
    if [ -n "${3:-}" ]; then
        timeout 120 cmake --install "$3" --prefix "$WORK/prefix" >/dev/null || { echo "FAIL: install" >&2; exit 1; }
        installed="$WORK/prefix/share/dbus-1/services/org.clipvault.Clipvault.service"
        program=$(sed -n 's/^Exec="\(.*\)" --automation$/\1/p' "$installed" 2>/dev/null)
        case "$program" in
        "$WORK/prefix/"*) ;;
        *) echo "FAIL: installed service file: $(cat "$installed" 2>&1)" >&2; exit 1 ;;
        esac
        [ -x "$program" ] && [ -s "$(dirname "$program")/Language/VLTEng.rcc" ] ||
            { echo "FAIL: installed program folder incomplete" >&2; exit 1; }
    fi
    # The bus reads its service folders from XDG_DATA_HOME when it starts.
    rc=0
    timeout 240 dbus-run-session -- bash "$0" --inner "$PROG" "$CLI" "$WORK" || rc=$?
    exit $rc
fi

PROG=$2
CLI=$3
WORK=$4
cd "$WORK"
SERVICE="$XDG_DATA_HOME/dbus-1/services/org.clipvault.Clipvault.service"
NAME=org.clipvault.Clipvault
OBJ=/org/clipvault/Clipvault
PIDS=()
cleanup() {
    for p in "${PIDS[@]}"; do kill "$p" 2>/dev/null || true; done
}
trap cleanup EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

bus() {
    timeout 20 gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
        --method "org.freedesktop.DBus.$1" "${@:2}"
}
has_owner() { [ "$(bus NameHasOwner "$NAME")" = "(true,)" ]; }
owner_pid() { bus GetConnectionUnixProcessID "$NAME" | sed -n 's/.*uint32 \([0-9]*\).*/\1/p'; }

# wait_for SECONDS CONDITION...: true as soon as the condition holds.
wait_for() {
    local n=$(( $1 * 10 ))
    shift
    while [ "$n" -gt 0 ]; do
        if "$@"; then return 0; fi
        sleep 0.1
        n=$((n - 1))
    done
    return 1
}
not_owned() { ! has_owner; }

# stop_program: ends the program that holds the name and waits until the
# name is free again.
stop_program() {
    local pid
    pid=$(owner_pid)
    [ -n "$pid" ] || fail "no process holds the name"
    kill "$pid"
    wait_for 20 not_owned || { kill -9 "$pid" 2>/dev/null; fail "the program did not end"; }
}

# Nothing installed, nothing running: callers are told so, clearly.
[ ! -e "$SERVICE" ] || fail "service file there before the first start"
rc=0
"$CLI" add-url http://127.0.0.1/x >out.txt 2>err.txt || rc=$?
[ "$rc" -eq 1 ] || fail "add-url with no program exited $rc"
[ "$(wc -l <err.txt)" -eq 1 ] || fail "add-url wrote other than one line: $(cat err.txt)"
grep -q "did not take the call" err.txt || fail "unclear refusal: $(cat err.txt)"

# The first start writes the activation file, pointing at this program.
"$PROG" --automation >"$WORK/first.log" 2>&1 &
PIDS+=($!)
wait_for 60 test -s "$SERVICE" || fail "the first start wrote no service file"
grep -qx "Exec=\"$PROG\" --automation" "$SERVICE" || fail "service file: $(cat "$SERVICE")"
wait_for 60 has_owner || fail "the first start did not take the name"
stop_program

# A plain bus call starts the program.
out=$(timeout 90 gdbus call --session --timeout 80 --dest "$NAME" --object-path "$OBJ" \
    --method org.clipvault.Automation.AddNoteFromIE "http://127.0.0.1/a%20b.html" "T" 0) ||
    fail "AddNoteFromIE through activation failed"
[ "$out" = "(0,)" ] || fail "AddNoteFromIE answered $out"
pid=$(owner_pid)
PIDS+=("$pid")
tr '\0' ' ' </proc/"$pid"/cmdline | grep -q -- "--automation" || fail "not started with --automation"
timeout 30 gdbus call --session --dest "$NAME" --object-path "$OBJ" --method org.clipvault.Automation.StartImport \
    >/dev/null || fail "StartImport failed"
# It keeps running after the calls, and shows its interface.
sleep 3
kill -0 "$pid" 2>/dev/null || fail "the activated program ended"
intro=$(timeout 30 gdbus introspect --session --dest "$NAME" --object-path "$OBJ") || fail "introspect failed"
grep -q "interface org.clipvault.Automation" <<<"$intro" || fail "introspection: $intro"
grep -q "AddNoteFromIE(in  s url" <<<"$intro" || fail "introspection: $intro"
# Wrong argument types are refused by name, the program goes on.
if timeout 30 dbus-send --session --print-reply --dest="$NAME" "$OBJ" \
    org.clipvault.Automation.AddNoteFromIE int32:1 int32:2 int32:3 >/dev/null 2>err.txt; then
    fail "AddNoteFromIE(i, i, i) was taken"
fi
grep -q "Error" err.txt || fail "no error for AddNoteFromIE(i, i, i): $(cat err.txt)"
kill -0 "$pid" 2>/dev/null || fail "a wrong call ended the program"
stop_program

# clipvault-cli starts it the same way.
"$CLI" add-url "http://127.0.0.1/page.html" --title "A page" >out.txt 2>err.txt || fail "add-url: $(cat err.txt)"
wait_for 10 has_owner || fail "add-url left no program running"
pid=$(owner_pid)
PIDS+=("$pid")
sleep 2
kill -0 "$pid" 2>/dev/null || fail "the program started by add-url ended"
"$CLI" add-files "$WORK/none.htm" relative.txt >out.txt 2>err.txt || fail "add-files: $(cat err.txt)"
"$CLI" start-import >out.txt 2>err.txt || fail "start-import: $(cat err.txt)"
kill -0 "$pid" 2>/dev/null || fail "the program ended after add-files"

# Texts that are not UTF-8 never reach the bus.
rc=0
"$CLI" add-url $'http://127.0.0.1/\xff' >out.txt 2>err.txt || rc=$?
[ "$rc" -eq 2 ] || fail "add-url with bytes that are not UTF-8 exited $rc"
rc=0
"$CLI" add-files $'/tmp/\xfe.htm' >out.txt 2>err.txt || rc=$?
[ "$rc" -eq 2 ] || fail "add-files with bytes that are not UTF-8 exited $rc"
rc=0
"$CLI" add-url >out.txt 2>err.txt || rc=$?
[ "$rc" -eq 2 ] || fail "add-url without a URL exited $rc"
# A shown page goes over the bus whole; a page that is not text does not.
printf '<html><body>shown \xc3\xa9</body></html>' >shown.html
"$CLI" add-page "http://127.0.0.1/shown.html" --html shown.html --title "Shown" >out.txt 2>err.txt ||
    fail "add-page: $(cat err.txt)"
printf '<html>\xff</html>' >bad.html
rc=0
"$CLI" add-page "http://127.0.0.1/bad.html" --html bad.html >out.txt 2>err.txt || rc=$?
[ "$rc" -eq 2 ] || fail "add-page with a page that is not UTF-8 exited $rc"
rc=0
"$CLI" add-page "http://127.0.0.1/x.html" >out.txt 2>err.txt || rc=$?
[ "$rc" -eq 2 ] || fail "add-page without --html exited $rc"
rc=0
"$CLI" add-page "http://127.0.0.1/x.html" --html "$WORK/none.html" >out.txt 2>err.txt || rc=$?
[ "$rc" -eq 1 ] || fail "add-page with a missing page exited $rc"
kill -0 "$pid" 2>/dev/null || fail "the program ended after add-page"
stop_program

# The file managers' sender, beside the program, starts it the same way.
SEND="$(dirname "$PROG")/clipvault-send-files"
if [ -x "$SEND" ]; then
    printf '<html><head><title>Sent</title></head><body>x</body></html>' >sent.htm
    "$SEND" sent.htm >out.txt 2>err.txt || fail "clipvault-send-files: $(cat err.txt)"
    wait_for 10 has_owner || fail "the sender left no program running"
    pid=$(owner_pid)
    PIDS+=("$pid")
    tr '\0' ' ' </proc/"$pid"/cmdline | grep -q -- "--automation" || fail "the sender's start had no --automation"
    stop_program
fi
echo "activation: ok"
