#!/usr/bin/env bash
# Runs a command on a virtual X display of its own with a real window
# manager (openbox), for tests that need geometry, focus, struts, a tray or
# global keys. The display and the manager end with the command.
#   scripts/with_wm.sh [--size WxH] [--tray] -- command args...
# --tray also starts a tray host (trayer). The command sees DISPLAY and
# QT_QPA_PLATFORM=xcb.
set -u
size=1280x860
tray=0
while [ $# -gt 0 ]; do
  case "$1" in
    --size) size=$2; shift 2 ;;
    --tray) tray=1; shift ;;
    --) shift; break ;;
    *) break ;;
  esac
done
[ $# -gt 0 ] || { echo "with_wm: no command" >&2; exit 2; }

work=$(mktemp -d)
cleanup() {
  [ -n "${watch_pid:-}" ] && kill "$watch_pid" 2>/dev/null
  [ -n "${trayer_pid:-}" ] && kill "$trayer_pid" 2>/dev/null
  [ -n "${wm_pid:-}" ] && kill "$wm_pid" 2>/dev/null
  [ -n "${x_pid:-}" ] && kill "$x_pid" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# -displayfd picks a free display number, so several runs can share a machine.
mkfifo "$work/fd"
Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp 3>"$work/fd" >"$work/xvfb.log" 2>&1 &
x_pid=$!
read -r -t 20 num <"$work/fd" || { echo "with_wm: Xvfb did not start" >&2; cat "$work/xvfb.log" >&2; exit 2; }
export DISPLAY=":$num"
export QT_QPA_PLATFORM=xcb
unset WAYLAND_DISPLAY

HOME_CFG="$work/config"
mkdir -p "$HOME_CFG"
# The manager is up once it owns the screen's manager selection. A start
# that does not get there in time is tried again.
wm_up=0
for attempt in 1 2 3; do
  XDG_CONFIG_HOME="$HOME_CFG" openbox --sm-disable >>"$work/openbox.log" 2>&1 &
  wm_pid=$!
  for _ in $(seq 1 100); do
    if xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; then wm_up=1; break; fi
    kill -0 "$wm_pid" 2>/dev/null || break
    sleep 0.1
  done
  [ "$wm_up" = 1 ] && break
  echo "with_wm: openbox did not start on $DISPLAY (attempt $attempt)" >&2
  kill "$wm_pid" 2>/dev/null
  wait "$wm_pid" 2>/dev/null
done
if [ "$wm_up" != 1 ]; then
  cat "$work/openbox.log" >&2
  exit 2
fi

if [ "$tray" = 1 ]; then
  if command -v trayer >/dev/null; then
    trayer --edge bottom --align right --widthtype pixel --width 80 --heighttype pixel --height 24 >"$work/trayer.log" 2>&1 &
    trayer_pid=$!
    for _ in $(seq 1 50); do
      if xprop -root 2>/dev/null | grep -q . && xdotool search --class trayer >/dev/null 2>&1; then break; fi
      sleep 0.1
    done
  else
    echo "with_wm: trayer is not installed" >&2
  fi
fi

# A manager that ends while the command runs is started again (and said so),
# so that one lost manager does not fail every test after it.
(
  while sleep 0.5; do
    if ! xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; then
      sleep 1
      xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && continue
      echo "with_wm: the window manager ended; starting it again" >&2
      XDG_CONFIG_HOME="$HOME_CFG" openbox --sm-disable >>"$work/openbox.log" 2>&1 &
      sleep 2
    fi
  done
) &
watch_pid=$!

"$@"
rc=$?
kill "$watch_pid" 2>/dev/null
# A failure may be the manager's: say what it said.
if [ "$rc" -ne 0 ]; then
  if ! xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; then
    echo "with_wm: the window manager is gone" >&2
  fi
  sed 's/^/with_wm: openbox: /' "$work/openbox.log" >&2
fi
exit "$rc"
