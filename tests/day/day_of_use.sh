#!/usr/bin/env bash
# The scripted day of use: the real program on a display of its own (Xvfb
# and openbox) with a session bus of its own, in a fresh profile, driven by
# day_of_use.py. Nothing of the user's is touched: HOME, the XDG folders and
# TMPDIR all point into one temporary folder.
#   day_of_use.sh CLIPVAULT CLIPVAULT-CLI NATIVE-HOST DRAG-SOURCE
# Pictures of every step go to $CLIPVAULT_DAY_SHOTS (a new temporary folder
# when unset, kept either way and named at the end).
set -euo pipefail

[ $# -eq 4 ] || { echo "usage: day_of_use.sh CLIPVAULT CLIPVAULT-CLI NATIVE-HOST DRAG-SOURCE" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
program=$(realpath "$1")
cli=$(realpath "$2")
host=$(realpath "$3")
drag=$(realpath "$4")
python=${PYTHON:-python3}

work=$(mktemp -d "${TMPDIR:-/tmp}/clipvault-day.XXXXXX")
shots=${CLIPVAULT_DAY_SHOTS:-}
if [ -z "$shots" ]; then shots=$(mktemp -d "${TMPDIR:-/tmp}/clipvault-day-shots.XXXXXX"); fi
mkdir -p "$shots"

# The program keeps its options beside itself when it may write there, so a
# run would leave its own behind for the next one (and for the person who
# runs the program from the build): they are put back as they were.
options="$(dirname "$program")/AppOption.data"
had_options=0
if [ -e "$options" ]; then cp -p "$options" "$work/AppOption.data.before"; had_options=1; fi

rc=0
finish() {
    if [ "$had_options" = 1 ]; then cp -p "$work/AppOption.data.before" "$options"; else rm -f "$options"; fi
    if [ "$rc" -eq 0 ]; then
        rm -rf "$work"
    else
        echo "day_of_use: the run's folder is kept: $work" >&2
    fi
    echo "day_of_use: pictures of the steps: $shots"
}
trap finish EXIT

mkdir -p "$work/home" "$work/config" "$work/data" "$work/cache" "$work/run" "$work/tmp" "$work/files"
chmod 700 "$work/run"
export HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" XDG_CACHE_HOME="$work/cache"
export XDG_RUNTIME_DIR="$work/run" TMPDIR="$work/tmp"
export QTWEBENGINE_DISABLE_SANDBOX=1
export QTWEBENGINE_CHROMIUM_FLAGS="${QTWEBENGINE_CHROMIUM_FLAGS:---disable-gpu --no-sandbox}"
# English texts whatever the machine's locale: the run goes by the menus'
# letters and the windows' titles.
export LANG=C.UTF-8 LC_ALL=C.UTF-8 LANGUAGE=
unset QT_QPA_PLATFORM SESSION_MANAGER DBUS_SESSION_BUS_ADDRESS

# A bound on everything, the display, the bus and the program included.
timeout -k 10 270 bash "$root/scripts/with_wm.sh" --size 1280x860 -- \
    dbus-run-session -- "$python" "$here/day_of_use.py" \
    --program "$program" --cli "$cli" --native-host "$host" --drag-source "$drag" \
    --site-server "$root/tests/capture/site_server.py" --site "$root/tests/capture/site" \
    --offline-check "$root/tests/capture/offline_check.py" \
    --work "$work/files" --shots "$shots" || rc=$?
exit "$rc"
