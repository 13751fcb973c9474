#!/usr/bin/env bash
# Shows the extension's entries in a real Chromium window's context menu and
# takes a picture of the screen: run under scripts/with_wm.sh.
#   menu_screenshot.sh EXTENSION-DIR OUT.png [LANGUAGE, e.g. zh-CN]
set -euo pipefail
ext=$(realpath "$1")
out=$2
lang=${3:-en-US}
work=$(mktemp -d)
trap 'kill $server_pid $browser_pid 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT
cat >"$work/index.html" <<'PAGE'
<!DOCTYPE html><html><head><meta charset="utf-8"><title>Clipvault test page</title></head>
<body style="font: 18px sans-serif; margin: 40px">
<h1>A page to keep</h1>
<p><a href="one.html">First link</a> · <a href="two.html">Second link</a> · <a href="one.html">First again</a></p>
<p id="sel">Some text to select, with <a href="three.html">a third link</a> in it.</p>
<div style="height: 600px"></div>
</body></html>
PAGE
/usr/bin/python3 -m http.server --bind 127.0.0.1 --directory "$work" 8765 >/dev/null 2>&1 &
server_pid=$!
chromium --no-sandbox --disable-gpu --no-first-run --disable-background-networking --disable-component-update \
    --disable-sync --host-resolver-rules="MAP * ~NOTFOUND, EXCLUDE 127.0.0.1" --proxy-server=127.0.0.1:9 \
    --user-data-dir="$work/profile" --load-extension="$ext" --disable-extensions-except="$ext" \
    --window-position=0,0 --window-size=1100,760 --lang="$lang" http://127.0.0.1:8765/index.html \
    >"$work/chromium.log" 2>&1 &
browser_pid=$!
win=$(timeout 30 xdotool search --sync --onlyvisible --name "Clipvault test page" | head -1)
sleep 3
xdotool windowactivate --sync "$win"
# A right-click on the page's empty part: every entry applies there.
xdotool mousemove 300 450 click 3
sleep 1.5
# Several entries of one extension share a submenu named after it, third
# from the menu's end: open it with the keyboard.
xdotool key Up Up Up
sleep 0.3
xdotool key Right
sleep 1
import -window root "$out"
