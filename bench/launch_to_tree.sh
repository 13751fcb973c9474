#!/usr/bin/env bash
# Wall time from launching the desktop program on a notebook to its tree
# shown and the window taking input again, on a display of its own (Xvfb
# and openbox through scripts/with_wm.sh), with a fresh home, profile and
# temporary folder each run.
#   bench/launch_to_tree.sh [--cold] NOTEBOOK.vlt [RUNS]     (default 3 runs)
# --cold first drops the notebook's own pages from the page cache (that file
# only, nothing else of the machine's), as after a reboot.
# The program says when the tree was painted (CLIPVAULT_REPORT_TREE_SHOWN,
# see src/app/StartupTiming.h); this script counts from just before it
# starts the program, so process start and library loading are in it.
# The notebook is opened in place and only read; the program is ended by a
# signal once it has spoken, so it saves nothing.
set -u
here=$(cd "$(dirname "$0")/.." && pwd)
bin=${CLIPVAULT_BIN:-$here/build/bin/clipvault}
cold=0
if [ "${1:-}" = --cold ]; then cold=1; shift; fi
[ $# -ge 1 ] || { echo "usage: $0 [--cold] NOTEBOOK.vlt [RUNS]" >&2; exit 2; }
book=$(realpath "$1")
runs=${2:-3}
[ -f "$book" ] || { echo "launch_to_tree: no notebook $book" >&2; exit 2; }
[ -x "$bin" ] || { echo "launch_to_tree: build $bin first" >&2; exit 2; }

if [ -z "${LAUNCH_TO_TREE_INNER:-}" ]; then
  # Once on a display of its own with a session bus, for every run.
  LAUNCH_TO_TREE_INNER=1 LAUNCH_TO_TREE_COLD=$cold exec "$here/scripts/with_wm.sh" -- dbus-run-session -- "$0" "$@"
fi
cold=${LAUNCH_TO_TREE_COLD:-0}

evict() {
  python3 -c 'import os, sys
fd = os.open(sys.argv[1], os.O_RDONLY)
os.posix_fadvise(fd, 0, 0, os.POSIX_FADV_DONTNEED)
os.close(fd)' "$book"
}

one_run() {
  local work; work=$(mktemp -d /tmp/launch_to_tree.XXXXXX)
  mkdir -p "$work/home" "$work/config" "$work/data" "$work/cache" "$work/tmp"
  : >"$work/err"
  [ "$cold" = 1 ] && evict
  local start; start=$(date +%s%3N)
  HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" XDG_CACHE_HOME="$work/cache" \
    TMPDIR="$work/tmp" QTWEBENGINE_DISABLE_SANDBOX=1 CLIPVAULT_REPORT_TREE_SHOWN=1 \
    "$bin" "$book" 2>"$work/err" &
  local pid=$! shown=""
  for _ in $(seq 1 1200); do  # two minutes at most
    shown=$(sed -n 's/^clipvault: tree shown at \([0-9]*\) (\([0-9]*\) ms after main, \([0-9-]*\) ms of CPU)$/\1 \2 \3/p' "$work/err")
    [ -n "$shown" ] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -TERM "$pid" 2>/dev/null; sleep 0.5; kill -KILL "$pid" 2>/dev/null; wait "$pid" 2>/dev/null
  if [ -z "$shown" ]; then
    echo "launch_to_tree: the tree was never reported; the program said:" >&2
    sed 's/^/  /' "$work/err" >&2
    rm -rf "$work"; return 1
  fi
  set -- $shown
  echo "$(( $1 - start )) $2 $3"
  rm -rf "$work"
}

echo "notebook: $book ($(stat -c %s "$book") bytes)$([ "$cold" = 1 ] && echo ', from a cold page cache')"
total=0 best="" cpu_best=""
for i in $(seq 1 "$runs"); do
  r=$(one_run) || exit 1
  set -- $r
  echo "run $i: launch to tree ${1} ms wall (${2} ms after main, ${3} ms of CPU)"
  total=$(( total + $1 ))
  if [ -z "$best" ] || [ "$1" -lt "$best" ]; then best=$1; fi
  if [ -z "$cpu_best" ] || [ "$3" -lt "$cpu_best" ]; then cpu_best=$3; fi
done
echo "launch to tree: best ${best} ms wall, mean $(( total / runs )) ms over $runs runs; least CPU ${cpu_best} ms"
