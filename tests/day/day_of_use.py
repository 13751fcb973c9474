#!/usr/bin/python3
"""A day of use of Clipvault, as a person would go through it.

Runs the real program on the display it is given (day_of_use.sh provides
Xvfb, openbox and a session bus) and drives it only from outside: xdotool
presses keys, types, clicks and drags; windows are found by their titles with
xdotool and xwininfo; what the screen shows is read from pictures of it.
The browser extension's path is the native host fed on standard input as a
browser would; a file comes by a real drag from a second program
(day_drag_source) that xdotool presses and moves. At the end the notebook
file is read back with clipvault-cli.

Every step leaves a picture NN-name.png in --shots; a step that fails says
which it was and leaves NN-name-FAILED.png.
"""

import argparse
import json
import os
import pathlib
import re
import shutil
import signal
import struct
import subprocess
import sys
import time
import traceback

ARGS = None
PROC = None          # the program
LOG = None           # its output
CHILDREN = []        # other processes this run started
STEP_NO = [0]
EXTENSION_ORIGIN = "chrome-extension://jcfginebjbjdhdemoikaacapamiecaee/"
PASSWORD = "day-Secret-7"
LINK_COLOUR = (255, 0, 200)   # the note link's own colour in the page taken from a file
BOLD_TEXT = "Bold words of the day"
SEARCH_WORD = "zebrafinch"


class StepFailed(Exception):
    pass


def log(msg):
    print(f"[{time.strftime('%H:%M:%S')}] {msg}", flush=True)


# ---------------------------------------------------------------- processes

def run(cmd, timeout=30, check=True, input_bytes=None):
    try:
        p = subprocess.run(cmd, input=input_bytes, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=timeout)
    except subprocess.TimeoutExpired:
        raise StepFailed(f"{cmd[0]} did not finish within {timeout} s")
    if check and p.returncode != 0:
        raise StepFailed(f"{' '.join(cmd)} failed ({p.returncode}): {p.stderr.decode(errors='replace').strip()}")
    return p


def wait_for(what, fn, timeout, interval=0.15):
    """Polls fn until it gives something true; that value, or StepFailed."""
    end = time.monotonic() + timeout
    while True:
        value = fn()
        if value:
            return value
        if PROC is not None and PROC.poll() is not None:
            raise StepFailed(f"the program ended (exit {PROC.returncode}) while waiting for {what}")
        if time.monotonic() > end:
            raise StepFailed(f"{what}: not within {timeout} s")
        time.sleep(interval)


# ---------------------------------------------------------------- X

def xdo(*args, timeout=15, check=True):
    return run(["xdotool", *map(str, args)], timeout=timeout, check=check).stdout.decode(errors="replace")


def windows(name_regex):
    out = xdo("search", "--onlyvisible", "--name", name_regex, check=False)
    return [int(w) for w in out.split()]


def title_of(wid):
    return xdo("getwindowname", wid, check=False).strip()


def geometry(wid):
    """(x, y, width, height) of a window's inside, on the screen."""
    out = run(["xwininfo", "-id", str(wid)], check=False).stdout.decode(errors="replace")
    def val(key):
        m = re.search(key + r":\s+(-?\d+)", out)
        return int(m.group(1)) if m else 0
    return val("Absolute upper-left X"), val("Absolute upper-left Y"), val("Width"), val("Height")


def wait_window(name_regex, timeout=20):
    def find():
        found = windows(name_regex)
        # The largest one: a title may match a tool window too.
        found = [(geometry(w), w) for w in found]
        found = [(g[2] * g[3], w) for g, w in found if g[2] > 1 and g[3] > 1]
        return max(found)[1] if found else None
    return wait_for(f"a window titled /{name_regex}/", find, timeout)


def wait_gone(name_regex, timeout=20):
    wait_for(f"the window /{name_regex}/ to close", lambda: not windows(name_regex), timeout)


def activate(wid):
    xdo("windowactivate", "--sync", wid, check=False, timeout=10)
    wait_for("the window to take the focus", lambda: active_window() == wid, 5)


def active_window():
    out = xdo("getactivewindow", check=False).strip()
    return int(out) if out.isdigit() else None


def key(*keys, delay=80):
    """Presses keys (xdotool names: ctrl+s, alt+f, Return) where the focus is."""
    for k in keys:
        xdo("key", "--delay", delay, k)
        time.sleep(0.12)


def type_text(text):
    xdo("type", "--delay", 25, text, timeout=60)
    time.sleep(0.15)


def click(x, y, button=1):
    xdo("mousemove", "--sync", x, y)
    time.sleep(0.1)
    xdo("click", button)
    time.sleep(0.2)


def menu(letter, item, *more):
    """Opens a menu of the menu bar by its letter and picks an item by its letter."""
    key(f"alt+{letter}")
    time.sleep(0.3)
    key(item, *more)


# ---------------------------------------------------------------- pictures

def shot(name):
    path = os.path.join(ARGS.shots, f"{STEP_NO[0]:02d}-{name}.png")
    run(["import", "-window", "root", path], timeout=30, check=False)
    return path


class Screen:
    """One picture of the whole screen, as pixels."""

    def __init__(self):
        data = run(["import", "-window", "root", "-depth", "8", "ppm:-"], timeout=30).stdout
        # P6\n<w> <h>\n<max>\n<bytes>
        m = re.match(rb"P6\s+(\d+)\s+(\d+)\s+(\d+)\s", data)
        if not m:
            raise StepFailed("the picture of the screen could not be read")
        self.w, self.h = int(m.group(1)), int(m.group(2))
        self.px = data[m.end():]

    def find(self, rgb, box=None, tolerance=12):
        """Bounding box (x0, y0, x1, y1) of the pixels of about that colour, or None."""
        x0, y0, x1, y1 = box or (0, 0, self.w, self.h)
        x0, y0 = max(0, x0), max(0, y0)
        x1, y1 = min(self.w, x1), min(self.h, y1)
        found = None
        r, g, b = rgb
        px, w = self.px, self.w
        for y in range(y0, y1, 2):
            row = y * w * 3
            for x in range(x0, x1, 2):
                i = row + x * 3
                if abs(px[i] - r) <= tolerance and abs(px[i + 1] - g) <= tolerance and abs(px[i + 2] - b) <= tolerance:
                    if found is None:
                        found = [x, y, x, y]
                    else:
                        found[0] = min(found[0], x)
                        found[1] = min(found[1], y)
                        found[2] = max(found[2], x)
                        found[3] = max(found[3], y)
        return tuple(found) if found else None


def wait_colour(what, rgb, box=None, timeout=15, present=True):
    def look():
        where = Screen().find(rgb, box)
        return (where or True) if (where is not None) == present else None
    return wait_for(what, look, timeout, interval=0.3)


# ---------------------------------------------------------------- the program's windows

def main_window():
    # The main window's title starts with the program's name; the start
    # dialog's and the tip's do not.
    return wait_window(r"^Clipvault", 30)


def focus_main():
    wid = main_window()
    activate(wid)
    return wid


def save_notebook():
    """Ctrl+S in the main window; the title loses its modified mark."""
    focus_main()
    key("ctrl+s")
    wait_for("the notebook to be saved", lambda: not re.search(r"\*", title_of(main_window())), 20)


def file_dialog(title_regex, path):
    """Types a whole path into Qt's file dialog and accepts it."""
    wid = wait_window(title_regex, 20)
    activate(wid)
    # The file name field has the focus; whatever it proposes goes.
    key("ctrl+a")
    type_text(path)
    shot("file-dialog")
    key("Return")
    wait_gone(title_regex, 20)


def answer_message_boxes(keys=("Return",), timeout=1.5):
    """A question the program may ask (save changes?): answered with the default."""
    end = time.monotonic() + timeout
    answered = 0
    while time.monotonic() < end:
        boxes = [w for w in windows(r"^Clipvault$") if geometry(w)[2] < 700]
        if not boxes:
            time.sleep(0.2)
            continue
        activate(boxes[0])
        key(*keys)
        answered += 1
        time.sleep(0.5)
    return answered


# ---------------------------------------------------------------- the notebook file

def dump(path):
    p = run([ARGS.cli, "dump", path], timeout=30)
    return json.loads(p.stdout.decode())


def all_notes(cata, trail=()):
    for n in cata.get("notes", []):
        yield trail, n
    for c in cata.get("categories", []):
        yield from all_notes(c, trail + (c["name"],))


def note_named(book, pattern):
    for trail, n in all_notes(dump(book)["root"]):
        if re.search(pattern, n["name"], re.I):
            return trail, n
    return None


def note_page(book, note_id):
    """The note's page as the notebook holds it, written out by the command-line tool."""
    out = os.path.join(ARGS.work, f"note-{note_id}-{time.monotonic_ns()}.htm")
    run([ARGS.cli, "export", book, str(note_id), out], timeout=30)
    with open(out, "rb") as f:
        return f.read().decode("utf-8", errors="replace")


# ---------------------------------------------------------------- the steps

class Step:
    def __init__(self, name):
        self.name = name

    def __enter__(self):
        STEP_NO[0] += 1
        log(f"step {STEP_NO[0]}: {self.name}")
        return self

    def __exit__(self, kind, value, tb):
        if kind is None:
            return False
        path = os.path.join(ARGS.shots, f"{STEP_NO[0]:02d}-{self.name}-FAILED.png")
        subprocess.run(["import", "-window", "root", path], timeout=30, check=False)
        print(f"FAILED at step {STEP_NO[0]} ({self.name}): {value}", file=sys.stderr, flush=True)
        if not isinstance(value, StepFailed):
            traceback.print_exception(kind, value, tb)
        print(f"  picture: {path}", file=sys.stderr, flush=True)
        print("  windows: " + "; ".join(f"{w} '{title_of(w)}' {geometry(w)}"
                                        for w in windows(".")), file=sys.stderr, flush=True)
        return False


def native_message(obj):
    body = json.dumps(obj).encode("utf-8")
    return struct.pack("<I", len(body)) + body


def read_native_answer(data):
    if len(data) < 4:
        raise StepFailed(f"the native host gave no answer ({len(data)} bytes)")
    n = struct.unpack("<I", data[:4])[0]
    return json.loads(data[4:4 + n].decode("utf-8"))


def start_site_server():
    p = subprocess.Popen([sys.executable, ARGS.site_server, "--root", ARGS.site, "--lifetime", "240"],
                         stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    CHILDREN.append(p)
    line = p.stdout.readline().decode().split()
    if not line:
        raise StepFailed("the site server did not start: " + p.stderr.read().decode(errors="replace"))
    return int(line[0])


def main():
    global ARGS, PROC, LOG
    ap = argparse.ArgumentParser(description=__doc__)
    for opt in ("program", "cli", "native-host", "drag-source", "site-server", "site", "offline-check", "work", "shots"):
        ap.add_argument("--" + opt, required=True)
    ARGS = ap.parse_args()
    os.makedirs(ARGS.shots, exist_ok=True)
    os.makedirs(ARGS.work, exist_ok=True)
    book = os.path.join(ARGS.work, "Day.vlt")
    started = time.monotonic()

    # ---- 1. a fresh profile: the start dialog
    with Step("start-dialog"):
        LOG = open(os.path.join(ARGS.work, "clipvault.log"), "wb")
        PROC = subprocess.Popen([ARGS.program], stdout=LOG, stderr=subprocess.STDOUT)
        start = wait_window(r"^Welcome to Clipvault$", 60)
        activate(start)
        time.sleep(0.5)
        shot("start-dialog")

    # ---- 2. a new notebook from it, saved as Day.vlt
    with Step("new-notebook"):
        key("alt+n")            # Create a new notebook
        key("Return")
        wait_gone(r"^Welcome to Clipvault$")
        # The tip of the day follows the start dialog on a first start, once
        # the notebook window (and with it the web engine) is up.
        tip = wait_window(r"^Tip of the Day$", 60)
        activate(tip)
        shot("tip")
        key("Escape")
        wait_gone(r"^Tip of the Day$")
        wait_for("the new notebook's window", lambda: re.search(r"\[.+\]", title_of(main_window())), 20)
        # The window docks to the top edge and slides away whenever it loses
        # the focus; the day goes on in a window that stays put (Tools >
        # Options, General: Dock the window...).
        focus_main()
        menu("t", "o")
        activate(wait_window(r"^Options$"))
        key("alt+d")
        time.sleep(0.3)
        shot("options")
        key("Return")
        wait_gone(r"^Options$")
        focus_main()
        key("ctrl+s")
        file_dialog(r"^Save As$", book)
        wait_for("Day.vlt on disk", lambda: os.path.exists(book), 15)
        wait_for("the title to name the notebook", lambda: "[Day]" in title_of(main_window()), 10)
        time.sleep(0.5)
        shot("new-notebook")

    # ---- 3. a category from the tree's context menu
    with Step("category"):
        main = focus_main()
        key("Home")
        key("Menu")             # the context menu key
        time.sleep(0.6)
        shot("category-menu")
        key("c")                # New category
        time.sleep(0.5)
        key("ctrl+a")
        type_text("Research")
        key("Return")
        time.sleep(0.5)
        shot("category")
        save_notebook()
        cats = [c["name"] for c in dump(book)["root"]["categories"]]
        if "Research" not in cats:
            raise StepFailed(f"the notebook's categories are {cats}, not Research")

    # ---- 4a. a page through the browser extension's native host
    with Step("capture-extension"):
        port = start_site_server()
        url = f"http://127.0.0.1:{port}/img_types.html"
        # As Chromium starts a host: the extension's origin as its argument,
        # the message on standard input; the answer comes once the program
        # has the page, before anybody has looked at the import dialog.
        host = run([ARGS.native_host, EXTENSION_ORIGIN], timeout=30, check=False,
                   input_bytes=native_message({"kind": "page", "url": url, "title": "Image types"}))
        answer = read_native_answer(host.stdout)
        if host.returncode != 0 or answer != {"ok": True, "count": 1}:
            raise StepFailed(f"the native host answered {answer} ({host.stderr.decode(errors='replace').strip()})")
        log(f"native host answered {answer}")
        dlg = wait_window(r"^Import into Clipvault$", 20)
        activate(dlg)
        time.sleep(0.4)
        shot("import-dialog")
        key("alt+w")            # Import, download later: the note waits in the downloads group
        wait_gone(r"^Import into Clipvault$")

    # ---- 5. the download waits in the downloads group, then runs
    with Step("downloads-group"):
        main = focus_main()
        # The downloads group is the tree's last item; * opens it and its
        # groups (downloading, queued, waiting, failed), and the one note
        # on hold is under the third.
        key("End", "asterisk")
        time.sleep(0.3)
        shot("downloads-group-open")
        key("Down", "Down", "Down")
        time.sleep(0.5)
        shot("downloads-waiting-group")
        key("Down")
        time.sleep(0.8)
        shot("downloads-waiting")
        save_notebook()
        found = note_named(book, "Image types")
        if not found or found[1]["status"] != 6:
            raise StepFailed(f"the captured note is not on hold: {found}")
        key("Menu")
        time.sleep(0.4)
        key("a")                # Start download
        time.sleep(0.3)
        shot("downloads-started")

        def done():
            save_notebook()
            n = note_named(book, "Image types")
            return n if n and n[1]["status"] == 0 and n[1]["content_size"] > 0 else None
        trail, captured = wait_for("the capture to finish", done, 40, interval=0.5)
        log(f"captured note {captured['id']} in {trail}: {len(captured['attachments'])} attachments")
        if len(captured["attachments"]) < 5:
            raise StepFailed(f"the capture kept {captured['attachments']}")
        shot("downloads-done")

    # ---- 4b. a page dropped from a second program
    with Step("capture-drop"):
        page = os.path.join(ARGS.work, "Reading list.htm")
        colour = "#%02x%02x%02x" % LINK_COLOUR
        with open(page, "w", encoding="utf-8") as f:
            f.write(f"""<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>Reading list</title></head>
<body style="margin:20px">
<p><a href="clipvault:{captured['id']} = {captured['name']}"
      style="display:block;width:260px;height:70px;background:{colour};color:#fff;font:bold 20px sans-serif">
Image types</a></p>
<p>Things to read about the {SEARCH_WORD}.</p>
</body></html>
""")
        # Dragged from a second program, as from a file manager, onto the
        # category tree: press on it, move in steps, let go.
        drag = subprocess.Popen([ARGS.drag_source, "--timeout", "60", page], stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE)
        CHILDREN.append(drag)
        src = wait_window(r"^Day drag source$", 20)
        sx, sy, sw, sh = geometry(src)
        mx, my, mw, mh = geometry(main_window())
        fx, fy = sx + sw // 2, sy + sh // 2
        tx, ty = mx + 120, my + mh - 160
        moves = ["mousemove", fx, fy, "sleep", 0.3, "mousedown", 1, "sleep", 0.3]
        for i in range(1, 13):
            moves += ["mousemove", fx + (tx - fx) * i // 12, fy + (ty - fy) * i // 12, "sleep", 0.1]
        xdo(*moves, "mousemove", tx + 4, ty + 4, "sleep", 0.5, timeout=30)
        shot("dragging")
        xdo("mouseup", 1)
        try:
            said, err = drag.communicate(timeout=15)
        except subprocess.TimeoutExpired:
            raise StepFailed("the drag source did not end after the drop")
        said = said.decode(errors="replace").strip().replace("\n", "; ")
        log("drag source: " + said)
        if drag.returncode != 0 or not said.endswith("drag ended copy"):
            raise StepFailed(f"the program did not take the drop: {said} {err.decode(errors='replace').strip()}")
        dlg = wait_window(r"^Import into Clipvault$", 20)
        activate(dlg)
        time.sleep(0.4)
        shot("import-dropped")
        key("Return")           # OK
        wait_gone(r"^Import into Clipvault$")
        save_notebook()
        found = wait_for("the page in the notebook", lambda: note_named(book, "^reading list$"), 10)
        file_note = found[1]
        log(f"file note {file_note['id']} in {found[0] or 'the root'}")
        shot("capture-drop")

    # ---- 6. the page in the browser, and its note link followed
    with Step("browser-link"):
        main = focus_main()
        x, y, w, h = geometry(main)
        click(x + 82, y + 98)   # the tree's first row: the notebook
        # Everything below the notebook opened: Research, its captured page,
        # then the page from the file.
        key("Home", "asterisk", "Down", "Down", "Down")
        time.sleep(0.5)
        menu("n", "v")          # Note > View note
        link = wait_colour("the note link in the browser", LINK_COLOUR, timeout=20)
        shot("browser")
        click((link[0] + link[2]) // 2, (link[1] + link[3]) // 2)
        wait_colour("the linked note instead of the page", LINK_COLOUR, timeout=15, present=False)
        # The linked note is the captured page: its first picture is red.
        wait_colour("the captured page's red picture", (255, 0, 0), box=(x + w // 3, y, x + w, y + h), timeout=15)
        time.sleep(0.5)
        shot("link-followed")
        # The page again, from the tree.
        click(x + 82, y + 98)
        key("Home", "asterisk", "Down", "Down", "Down")
        wait_colour("the page again", LINK_COLOUR, timeout=15)

    # ---- 7. the page edited: bold words, a table, a picture
    with Step("editor"):
        picture = os.path.join(ARGS.work, "stamp.png")
        shutil.copy(os.path.join(ARGS.site, "img", "red.png"), picture)
        focus_main()
        key("ctrl+e")           # Edit note
        link = wait_colour("the page in the editor", LINK_COLOUR, timeout=20)
        time.sleep(1.0)
        click((link[0] + link[2]) // 2, link[3] + 150)
        key("ctrl+End", "Return", "ctrl+b")
        type_text(BOLD_TEXT)
        key("ctrl+b", "Return")
        menu("i", "t")          # Insert > Table...
        activate(wait_window(r"^Insert Table$"))
        key("ctrl+a")
        type_text("2")
        key("Tab", "ctrl+a")
        type_text("3")
        key("alt+a", "ctrl+a")  # Caption
        type_text("Day table")
        shot("table-dialog")
        key("Return")
        wait_gone(r"^Insert Table$")
        focus_main()
        key("ctrl+End")
        menu("i", "p")          # Insert > Picture...
        activate(wait_window(r"^Insert Picture$"))
        key("ctrl+a")
        type_text(picture)
        key("Return")
        wait_gone(r"^Insert Picture$")
        time.sleep(1.0)
        shot("editor")
        save_notebook()
        html = note_page(book, file_note["id"])
        if not re.search(r"<(b|strong)>\s*" + re.escape(BOLD_TEXT), html):
            raise StepFailed("the saved page has no bold words: " + html[-600:])
        if "<table" not in html or "Day table" not in html or not re.search(r"<img[^>]+src=", html):
            raise StepFailed("the saved page lacks the table or the picture: " + html[-600:])

    # ---- 8. the page found by its text in the search tab
    with Step("search"):
        main = focus_main()
        x, y, w, h = geometry(main)
        key("ctrl+Prior")       # Previous note: the captured page, before it in the tree
        wait_colour("the captured page", LINK_COLOUR, timeout=15, present=False)
        click(x + 115, y + h - 70)   # the left pane's Search tab
        time.sleep(0.5)
        click(x + 142, y + 111)      # Search for
        key("ctrl+a")
        type_text(SEARCH_WORD)
        click(x + 25, y + h - 95)    # Search the notes' text
        click(x + 62, y + 144)       # Search
        time.sleep(1.0)
        shot("search")
        xdo("mousemove", "--sync", x + 60, y + 214)
        xdo("click", "--repeat", 2, "--delay", 120, 1)   # the first note found, opened
        wait_colour("the note found, opened", LINK_COLOUR, timeout=15)
        time.sleep(0.5)
        shot("search-opened")
        click(x + 50, y + h - 70)    # back to the Contents tab

    # ---- 9. a password: locked, closed, opened again, unlocked
    with Step("password"):
        focus_main()
        menu("f", "w")          # File > Password...
        activate(wait_window(r"^Notebook Password$"))
        type_text(PASSWORD)
        key("Tab")
        type_text(PASSWORD)
        shot("password-dialog")
        key("Return")
        wait_gone(r"^Notebook Password$")
        answer_message_boxes()
        if not dump(book)["password"]["set"]:
            raise StepFailed("the notebook file holds no password after setting one")
        focus_main()
        # File > Close notebook. Its key, Ctrl+W, does nothing while the
        # notebook window is maximized: the window's own Close takes the
        # same key and Qt refuses both as ambiguous.
        menu("f", "c")
        answer_message_boxes()
        wait_for("the notebook to close", lambda: "Day" not in title_of(main_window()), 15)
        focus_main()
        key("ctrl+o")
        file_dialog(r"^Open", book)
        wait_for("the notebook to open", lambda: "Day" in title_of(main_window()), 20)
        time.sleep(0.5)
        shot("reopened-locked")
        focus_main()
        menu("f", "u")          # File > Unlock notebook...
        activate(wait_window(r"^Unlock Notebook$"))
        type_text(PASSWORD)
        key("Return")
        wait_gone(r"^Unlock Notebook$")
        time.sleep(0.5)
        shot("unlocked")

    # ---- 10. the captured page written out, and shown offline in Chromium
    with Step("export"):
        out_dir = os.path.join(ARGS.work, "export")
        os.makedirs(out_dir, exist_ok=True)
        exported = os.path.join(out_dir, "Image types.htm")
        main = focus_main()
        x, y, w, h = geometry(main)
        click(x + 82, y + 98)   # the notebook
        key("Home", "asterisk", "Down", "Down")   # Research, its captured page
        right = (x + w // 3, y, x + w, y + h)
        wait_colour("the captured page", (255, 0, 0), box=right, timeout=15)
        wait_colour("the captured page, not the other", LINK_COLOUR, box=right, timeout=15, present=False)
        menu("n", "a")          # Note > Save note as...
        file_dialog(r"^Save As$", exported)
        wait_for("the written page", lambda: os.path.exists(exported), 15)
        time.sleep(0.5)
        shot("exported")
        # As a file: address, quoted: the checker takes a bare path as it is.
        p = run([sys.executable, ARGS.offline_check, "exported=" + pathlib.Path(exported).as_uri()],
                timeout=120, check=False)
        report = (p.stdout + p.stderr).decode(errors="replace").strip()
        log("offline check: " + report.replace("\n", " | "))
        if p.returncode != 0:
            raise StepFailed("the written page does not show offline: " + report)

    # ---- 11. quit, and the notebook file read back
    with Step("quit"):
        focus_main()
        menu("f", "x")          # File > Exit
        answer_message_boxes(timeout=3)
        wait_for("the program to end", lambda: PROC.poll() is not None, 30)
        shot("quit")
        if PROC.returncode != 0:
            raise StepFailed(f"the program ended with {PROC.returncode}")
        d = dump(book)
        cats = {c["name"]: c for c in d["root"]["categories"]}
        if "Research" not in cats:
            raise StepFailed(f"no Research category: {list(cats)}")
        kept = [n for n in cats["Research"]["notes"] if n["name"] == "Image types"]
        if not kept or kept[0]["status"] != 0 or len(kept[0]["attachments"]) < 5:
            raise StepFailed(f"the captured page is not whole: {kept}")
        page_notes = [n for _, n in all_notes(d["root"]) if n["name"] == "reading list"]
        if not page_notes or not page_notes[0]["attachments"]:
            raise StepFailed(f"the page from the file is missing or lost its picture: {page_notes}")
        if not d["password"]["set"]:
            raise StepFailed("the password is gone from the file")
        html = note_page(book, page_notes[0]["id"])
        if not re.search(r"<(b|strong)>\s*" + re.escape(BOLD_TEXT), html) or "<table" not in html:
            raise StepFailed("the edit is gone from the file")
        log("notebook: " + json.dumps({"categories": list(cats), "research": [n["name"] for n in cats["Research"]["notes"]],
                                       "all": [n["name"] for _, n in all_notes(d["root"])], "password": d["password"]}))
    log(f"the day took {time.monotonic() - started:.0f} s")
    print("DayOfUse: PASS", flush=True)
    return 0


def cleanup():
    for p in CHILDREN:
        if p.poll() is None:
            p.kill()
    if PROC is not None and PROC.poll() is None:
        PROC.terminate()
        try:
            PROC.wait(timeout=10)
        except subprocess.TimeoutExpired:
            PROC.kill()


if __name__ == "__main__":
    signal.signal(signal.SIGTERM, lambda s, f: sys.exit(143))
    rc = 1
    try:
        rc = main()
    except StepFailed:
        rc = 1
    except Exception:
        traceback.print_exc()
        rc = 1
    finally:
        cleanup()
        if LOG is not None and rc != 0:
            LOG.flush()
            with open(LOG.name, "rb") as f:
                tail = f.read()[-4000:].decode(errors="replace")
            print("---- the program's output (end):\n" + tail, file=sys.stderr)
    sys.exit(rc)
