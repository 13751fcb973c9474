#!/usr/bin/env bash
# A captured page shows in a real browser without the network: a small site
# (images, one by a path from the server's root, a stylesheet with a colour
# rule, a table with a background image) is captured from a loopback server into a notebook, the
# note's working copy is written with clipvault-cli open, the server is
# stopped, and headless Chromium loads the working copy:
#   - every <img>, stylesheet and background of the DOM it built names a file
#     that exists beside the working copy, and so does every url() in those
#     stylesheets;
#   - its screenshot shows the images, the rule's colour and the background
#     image, and matches a screenshot of the live page taken while the server
#     was still up.
# Prints PASS or FAIL; exits non-zero on failure.
#
# Usage: bench/capture_chromium.sh [BUILD-DIR (default: build)]
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=$(realpath "${1:-$ROOT/build}")
CLI=$BUILD/src/clipvault-cli
[ -x "$CLI" ] || { echo "missing $CLI (build first)" >&2; exit 1; }

# The browser is not a build dependency: the check brings it.
if ! dpkg-query -W -f='${Status}' chromium 2>/dev/null | grep -q 'install ok installed'; then
    echo "capture_chromium: installing chromium" >&2
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO=sudo
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get -o DPkg::Lock::Timeout=600 update -q >/dev/null
    $SUDO apt-get -o DPkg::Lock::Timeout=600 install -y -q chromium >/dev/null
fi

unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY
export no_proxy=127.0.0.1 NO_PROXY=127.0.0.1

WORK=$(mktemp -d)
export TMPDIR=$WORK/tmp
mkdir -p "$TMPDIR"
PID=""
stop_server() {
    if [ -n "$PID" ]; then kill "$PID" 2>/dev/null || true; wait "$PID" 2>/dev/null || true; fi
    PID=""
}
cleanup() {
    stop_server
    rm -rf "$WORK"
}
trap cleanup EXIT

# Solid colours that nothing else on the page has, so that the screenshot
# tells which parts were drawn: the two images, the colour rule, the
# background image.
SITE=$WORK/site
mkdir -p "$SITE/img" "$SITE/css"
python3 - "$SITE" <<'EOF'
import struct, sys
site = sys.argv[1]

def gif(path, rgb):
    # One pixel of colour 0; the page scales it.
    with open(path, "wb") as f:
        f.write(b"GIF89a" + struct.pack("<HHBBB", 1, 1, 0x80, 0, 0) + bytes(rgb) + b"\0\0\0"
                + b"\x2c" + struct.pack("<HHHHB", 0, 0, 1, 1, 0) + b"\x02\x02\x44\x01\x00" + b"\x3b")

gif(f"{site}/img/blue.gif", (20, 40, 220))
gif(f"{site}/img/green.gif", (30, 170, 60))
gif(f"{site}/img/back.gif", (240, 200, 20))
with open(f"{site}/css/style.css", "w") as f:
    f.write("body { margin: 0; background-color: #ffffff; font-family: sans-serif; }\n"
            ".rule { color: rgb(200, 30, 30); background-color: rgb(200, 30, 30);"
            " width: 300px; height: 60px; }\n")
with open(f"{site}/index.html", "w") as f:
    f.write("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Capture check</title>\n"
            "<link rel=\"stylesheet\" href=\"css/style.css\"></head>\n<body>\n"
            "<div class=\"rule\">rule</div>\n"
            "<p><img src=\"img/blue.gif\" width=\"120\" height=\"80\" alt=\"blue\">\n"
            "<img src=\"/img/green.gif\" width=\"60\" height=\"60\" alt=\"green\"></p>\n"
            "<table background=\"img/back.gif\" width=\"300\" height=\"80\"><tr><td></td></tr></table>\n"
            "</body></html>\n")
EOF

# Port 0: the kernel picks a free one and the server says which.
(cd "$SITE" && exec timeout 300 python3 -u -m http.server 0 --bind 127.0.0.1) >"$WORK/server.log" 2>&1 &
PID=$!
PORT=""
for _ in $(seq 100); do
    PORT=$(sed -n 's/.* port \([0-9][0-9]*\).*/\1/p' "$WORK/server.log" | head -1)
    [ -n "$PORT" ] && break
    sleep 0.1
done
[ -n "$PORT" ] || { echo "FAIL: the server did not start" >&2; exit 1; }
URL="http://127.0.0.1:$PORT/index.html"

# Off the network: nothing but loopback resolves, and any proxied request
# goes to a closed port.
browser() {
    local profile
    profile=$(mktemp -d "$WORK/profile.XXXXXX")
    timeout 90 chromium --headless=new --no-sandbox --disable-gpu --no-first-run \
        --disable-background-networking --disable-component-update --disable-sync \
        --host-resolver-rules="MAP * ~NOTFOUND, EXCLUDE 127.0.0.1" --proxy-server=127.0.0.1:9 \
        --user-data-dir="$profile" --hide-scrollbars --window-size=800,600 "$@" 2>>"$WORK/chromium.log"
}

fail() { echo "FAIL: $*"; exit 1; }

browser --screenshot="$WORK/live.png" "$URL" >/dev/null || fail "no screenshot of the live page"
"$CLI" capture "$URL" --into "$WORK/book.vlt" --options "$WORK/no-settings.data" --retries 0 >"$WORK/capture.txt" ||
    fail "capture: $(cat "$WORK/capture.txt")"
stop_server
PAGE=$("$CLI" open "$WORK/book.vlt" 2) || fail "open of note 2"
[ -f "$PAGE" ] || fail "no working copy at $PAGE"

browser --dump-dom "file://$PAGE" >"$WORK/dom.html" || fail "no DOM dump of the working copy"
browser --screenshot="$WORK/copy.png" "file://$PAGE" >/dev/null || fail "no screenshot of the working copy"

rc=0
python3 - "$PAGE" "$WORK/dom.html" "$WORK/live.png" "$WORK/copy.png" <<'EOF' || rc=$?
import os, re, struct, sys, zlib
from html.parser import HTMLParser
from urllib.parse import unquote, urlsplit

page, dom, live_png, copy_png = sys.argv[1:]
folder = os.path.dirname(page)
problems = []

def local_file(ref, base):
    """The file a reference of a page or stylesheet in `base` names, or None
    when it leaves the working copy's folder (a server, an absolute path)."""
    parts = urlsplit(ref)
    if parts.scheme == "file":
        return unquote(parts.path)
    if parts.scheme or parts.netloc or ref.startswith("/"):
        return None
    return os.path.normpath(os.path.join(base, unquote(parts.path)))

class Refs(HTMLParser):
    def __init__(self):
        super().__init__()
        self.images, self.sheets, self.backgrounds = [], [], []
    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        if a.get("background"):
            self.backgrounds.append(a["background"])
        if tag == "img":
            self.images.append(a.get("src") or "")
        elif tag == "link" and "stylesheet" in (a.get("rel") or "").lower().split():
            self.sheets.append(a.get("href") or "")

refs = Refs()
refs.feed(open(dom, encoding="utf-8", errors="replace").read())
if len(refs.images) != 2:
    problems.append(f"{len(refs.images)} <img> in the DOM, not 2")
if len(refs.sheets) != 1:
    problems.append(f"{len(refs.sheets)} stylesheets in the DOM, not 1")
if len(refs.backgrounds) != 1:
    problems.append(f"{len(refs.backgrounds)} background attributes in the DOM, not 1")
for ref in refs.images + refs.sheets + refs.backgrounds:
    path = local_file(ref, folder)
    if path is None or not os.path.isfile(path):
        problems.append(f"{ref!r} is not a file beside the working copy")
for ref in refs.sheets:
    path = local_file(ref, folder)
    if path is None or not os.path.isfile(path):
        continue
    css = open(path, encoding="utf-8", errors="replace").read()
    for inner in re.findall(r"url\(\s*['\"]?([^'\")]+)", css):
        target = local_file(inner.strip(), os.path.dirname(path))
        if target is None or not os.path.isfile(target):
            problems.append(f"url({inner}) in {os.path.basename(path)} is not a file beside it")

def pixels(path):
    """(width, height, rows of RGB tuples) of an 8-bit, non-interlaced PNG,
    as Chromium writes them."""
    data = open(path, "rb").read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError(f"{path} is not a PNG")
    pos, idat = 8, b""
    while pos < len(data):
        n, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + n]
        if kind == b"IHDR":
            w, h, depth, ctype, _, _, interlace = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + n
    if depth != 8 or ctype not in (2, 6) or interlace:
        raise ValueError(f"{path}: PNG kind {depth}/{ctype}/{interlace} not handled")
    bpp = 3 if ctype == 2 else 4
    raw = zlib.decompress(idat)
    stride = w * bpp
    rows, prev = [], bytearray(stride)
    for y in range(h):
        f = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            left = line[i - bpp] if i >= bpp else 0
            up = prev[i]
            if f == 1:
                line[i] = (line[i] + left) & 255
            elif f == 2:
                line[i] = (line[i] + up) & 255
            elif f == 3:
                line[i] = (line[i] + ((left + up) >> 1)) & 255
            elif f == 4:
                ul = prev[i - bpp] if i >= bpp else 0
                p = left + up - ul
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - ul)
                line[i] = (line[i] + (left if pa <= pb and pa <= pc else up if pb <= pc else ul)) & 255
        rows.append([tuple(line[x * bpp:x * bpp + 3]) for x in range(w)])
        prev = line
    return w, h, rows

try:
    lw, lh, live = pixels(live_png)
    cw, ch, copy = pixels(copy_png)
except (ValueError, zlib.error, OSError) as e:
    problems.append(f"screenshot unreadable: {e}")
else:
    counts = {}
    for row in copy:
        for px in row:
            counts[px] = counts.get(px, 0) + 1
    if len(counts) < 2:
        problems.append("the working copy's screenshot is blank")
    def near(colour):
        return sum(n for px, n in counts.items() if all(abs(a - b) <= 8 for a, b in zip(px, colour)))
    for name, colour, least in (("image blue.gif", (20, 40, 220), 120 * 80 // 2),
                                ("image green.gif", (30, 170, 60), 60 * 60 // 2),
                                ("colour rule", (200, 30, 30), 300 * 60 // 2),
                                ("background image", (240, 200, 20), 300 * 80 // 2)):
        if near(colour) < least:
            problems.append(f"the screenshot lacks the {name} ({near(colour)} pixels of {colour})")
    if (lw, lh) != (cw, ch):
        problems.append(f"screenshots differ in size: live {lw}x{lh}, copy {cw}x{ch}")
    else:
        # Text may be drawn a hair differently; anything more is a real change.
        differ = sum(1 for y in range(lh) for x in range(lw)
                     if any(abs(a - b) > 16 for a, b in zip(live[y][x], copy[y][x])))
        print(f"screenshots: {differ} of {lw * lh} pixels differ from the live page")
        if differ > lw * lh // 200:
            problems.append(f"{differ} pixels differ from the live page")

print(f"DOM: {len(refs.images)} images, {len(refs.sheets)} stylesheet(s), {len(refs.backgrounds)} background(s),"
      f" looked for beside {folder}")
for p in problems:
    print("  " + p)
sys.exit(1 if problems else 0)
EOF
[ $rc -eq 0 ] && echo "PASS" || echo "FAIL"
exit $rc
