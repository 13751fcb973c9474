#!/usr/bin/env python3
"""The extension in a real Chromium: loaded unpacked into a fresh profile,
its menu handler called in its service worker as the menu calls it, on a
loopback test page; Chromium starts the real native host, and the calls
arrive on a private session bus.

  chromium_test.py --host HOST --extension DIR
      against a recording stand-in for the program (fast).
  chromium_test.py --host HOST --extension DIR --program BIN-DIR --cli CLI
      against the program itself, on a display of its own: the notes
      arrive, are captured from the loopback page, and the saved notebook
      shows them.
The script puts itself under dbus-run-session (and scripts/with_wm.sh for
the program) with temporary HOME and XDG folders."""
import argparse
import functools
import http.server
import json
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from cdp import Browser, CdpError  # noqa: E402

EXT_ID = "jcfginebjbjdhdemoikaacapamiecaee"
REPO = os.path.dirname(os.path.dirname(os.path.dirname(HERE)))
FAKE = os.path.join(REPO, "tests", "ctxmenu", "host", "fake_automation.py")

failures = []


def check(cond, what):
    if not cond:
        failures.append(what)
        print("FAIL:", what, flush=True)
    return cond


# The loopback site. Links in page order, with a duplicate, schemes the
# program cannot take (a hidden file: link among them), a fragment, an image
# map and a base-relative path.
LINKS_PAGE = """<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>Links page</title></head><body>
<h1>Links</h1>
<p><a href="one.html">First link</a> <a href="sub/two.html#part">Second</a>
<a href="mailto:someone@example.org">Mail</a> <a href="javascript:void 0">Script</a>
<a href="file:///home/u/.ssh/id_rsa" hidden>key</a> <a href="FILE:///etc/passwd" style="display:none">pw</a>
<a href="one.html">First again</a> <a href="ftp://127.0.0.1:9/f.zip">FTP</a> <a>no address</a></p>
<div id="sel"><a href="sel1.html">Chosen one</a> between <a href="sel2.html">Chosen two</a>
<a href="sel1.html">Chosen one again</a></div>
<p><img src="pic.gif" usemap="#m" alt="pic"><map name="m"><area href="area.html" shape="rect" coords="0,0,5,5"></map></p>
<iframe id="frame" src="frame.html"></iframe>
<script>
const p = document.createElement("p");
p.id = "dyn";
p.textContent = "Added by script: Gr\u00fc\u00dfe \u4f60\u597d";
document.body.appendChild(p);
</script>
</body></html>
"""
FRAME_PAGE = """<!DOCTYPE html><html><head><title>Frame</title></head><body>
<a href="in-frame.html">In the frame</a> <a href="/abs.html">Absolute</a></body></html>"""
# Over 1 MB once the script has run: goes in parts. Characters outside the
# BMP are spread so that some fall on a part's edge.
BIG_PAGE = """<!DOCTYPE html><html><head><meta charset="utf-8"><title>Big page</title></head><body>
<div id="big"></div><script>
let s = "";
for (let i = 0; i < 90000; i++) s += "\u9875\U0001F600" + (i % 7 ? "ab" : "abc") + "&<>\\"" + i.toString(36);
document.getElementById("big").textContent = s;
</script></body></html>"""
CAPTURED = """<!DOCTYPE html><html><head><meta charset="utf-8"><title>%s</title></head>
<body><p>Captured text of %s</p></body></html>"""
GIF = bytes.fromhex("47494638396101000100800000000000ffffff21f90401000000002c00000000010001000002024401003b")


def write_site(root):
    os.makedirs(os.path.join(root, "sub"))
    files = {"links.html": LINKS_PAGE, "frame.html": FRAME_PAGE, "big.html": BIG_PAGE}
    for name in ("one.html", "sub/two.html", "sel1.html", "sel2.html", "area.html", "in-frame.html", "abs.html"):
        files[name] = CAPTURED % (name, name)
    for name, text in files.items():
        with open(os.path.join(root, name), "w", encoding="utf-8") as f:
            f.write(text)
    with open(os.path.join(root, "pic.gif"), "wb") as f:
        f.write(GIF)


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


def start_site(root):
    handler = functools.partial(QuietHandler, directory=root)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    server.daemon_threads = True
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server, f"http://127.0.0.1:{server.server_address[1]}/"


def chromium_argv(profile, ext):
    return ["chromium", "--headless=new", "--no-sandbox", "--disable-gpu", "--no-first-run",
            "--disable-background-networking", "--disable-component-update", "--disable-sync",
            "--host-resolver-rules=MAP * ~NOTFOUND, EXCLUDE 127.0.0.1", "--proxy-server=127.0.0.1:9",
            f"--user-data-dir={profile}", "--remote-debugging-pipe", f"--load-extension={ext}",
            f"--disable-extensions-except={ext}", "--lang=en-US", "about:blank"]


def prepare_profile(work, args):
    """A fresh profile with the host's manifest, and the extension copied
    with leave to run scripts in the loopback site: the menu's click grants
    that for the tab (activeTab), a call from the test does not."""
    profile = os.path.join(work, "profile")
    hosts = os.path.join(profile, "NativeMessagingHosts")
    os.makedirs(hosts)
    manifest = subprocess.run([args.host, "--manifest", "chromium"], check=True, capture_output=True,
                              text=True, timeout=10).stdout
    check(json.loads(manifest)["allowed_origins"] == [f"chrome-extension://{EXT_ID}/"], "host manifest origin")
    with open(os.path.join(hosts, "org.clipvault.native_host.json"), "w") as f:
        f.write(manifest)
    ext = os.path.join(work, "extension")
    shutil.copytree(args.extension, ext)
    with open(os.path.join(ext, "manifest.json")) as f:
        m = json.load(f)
    check("host_permissions" not in m, "the extension asks for host permissions")
    m["host_permissions"] = ["http://127.0.0.1/*"]
    with open(os.path.join(ext, "manifest.json"), "w") as f:
        json.dump(m, f)
    return profile, ext


class Session:
    """Chromium with the extension, the test page open in a tab."""

    def __init__(self, work, args, page_url, log):
        profile, ext = prepare_profile(work, args)
        self.browser = Browser(chromium_argv(profile, ext), log=log)
        b = self.browser
        worker = b.wait_target(lambda t: t["type"] == "service_worker" and
                               t["url"] == f"chrome-extension://{EXT_ID}/background.js")
        self.sw = b.attach(worker["targetId"])
        b.send("Runtime.enable", session=self.sw)
        self.open(page_url)

    def open(self, url):
        b = self.browser
        target = b.send("Target.createTarget", {"url": url})["targetId"]
        self.page = b.attach(target)
        # Loaded and its script run (a new tab shows about:blank first), and
        # known to the extension as a tab; a large page on a busy machine
        # takes its time.
        deadline = time.monotonic() + 60
        query = f"chrome.tabs.query({{}}).then(ts => ts.find(t => t.url === {json.dumps(url)} && t.status === 'complete'))"
        self.tab = None
        while not self.tab:
            if time.monotonic() > deadline:
                raise CdpError(f"no tab shows {url}")
            time.sleep(0.1)
            if b.evaluate(self.page, "location.href + ' ' + document.readyState") != url + " complete":
                continue
            self.tab = self.sw_eval(query)

    def sw_eval(self, expression, timeout=60):
        return self.browser.evaluate(self.sw, expression, timeout)

    def click(self, info):
        """The entry's handler, as the menu calls it, with this tab."""
        return self.sw_eval(f"clipvaultOnMenuClick({json.dumps(info)}, {json.dumps(self.tab)})")

    def frames(self):
        return self.sw_eval(f"chrome.scripting.executeScript({{target: {{tabId: {self.tab['id']}, allFrames: true}},"
                            f" func: () => location.href}}).then(rs => rs.map(r => [r.frameId, r.result]))")

    def select(self, selector):
        self.browser.evaluate(self.page, f"""(() => {{ const r = document.createRange();
            r.selectNodeContents(document.querySelector({json.dumps(selector)}));
            const s = getSelection(); s.removeAllRanges(); s.addRange(r); return s.toString(); }})()""")

    def unselect(self):
        self.browser.evaluate(self.page, "getSelection().removeAllRanges()")

    def shown(self):
        return self.browser.evaluate(self.page, "new XMLSerializer().serializeToString(document.doctype) + "
                                                "document.documentElement.outerHTML")

    def close(self):
        self.browser.close()


def page_info(entry, page, **extra):
    info = {"menuItemId": entry, "pageUrl": page, "frameId": 0, "editable": False}
    info.update(extra)
    return info


def read_calls(log):
    with open(log, encoding="utf-8") as f:
        calls = [json.loads(line) for line in f if line.strip()]
    open(log, "w").close()
    return calls


def run_fake(args, work, base):
    log = os.path.join(work, "calls.jsonl")
    open(log, "w").close()
    fake = subprocess.Popen([sys.executable, FAKE, log], stdout=subprocess.PIPE, text=True)
    if fake.stdout.readline().strip() != "ready":
        raise SystemExit("the stand-in service did not start")
    page = base + "links.html"
    start = "StartImport", []
    with open(os.path.join(work, "chromium.log"), "w") as clog:
        s = Session(work, args, page, clog)
        try:
            def expect(what, info, answer, calls):
                got = s.click(info)
                check(got == answer, f"{what}: answer {got}")
                made = [(c["method"], c["args"]) for c in read_calls(log)]
                check(made == calls, f"{what}: calls {made}")

            # The three entries were made at install (an unknown id is refused).
            made = s.sw_eval("Promise.all(['clipvault-page', 'clipvault-all', 'clipvault-shown', 'none'].map(id =>"
                             " chrome.contextMenus.update(id, {}).then(() => true, () => false)))")
            check(made == [True, True, True, False], f"menu entries: {made}")

            # Entry 1: the page; a link with its text; an image without a link.
            expect("page", page_info("clipvault-page", page), {"ok": True, "count": 1},
                   [("AddNoteFromIE", [page, "Links page", 0]), start])
            expect("link", page_info("clipvault-page", page, linkUrl=base + "one.html"), {"ok": True, "count": 1},
                   [("AddNoteFromIE", [base + "one.html", "First link", 0]), start])
            expect("image", page_info("clipvault-page", page, mediaType="image", srcUrl=base + "pic.gif"),
                   {"ok": True, "count": 1}, [("AddNoteFromIE", [page, "Links page", 0]), start])
            # A link the program cannot take is refused by the host, and said so.
            got = s.click(page_info("clipvault-page", page, linkUrl="mailto:someone@example.org"))
            check(got.get("ok") is False and "only http" in got.get("error", ""), f"mailto link: {got}")
            check(read_calls(log) == [], "mailto link: a call arrived")

            # Entry 2: every web link once, in page order (file: links stay
            # behind); then the selection's.
            every = [base + "one.html", base + "sub/two.html#part", "ftp://127.0.0.1:9/f.zip", base + "sel1.html",
                     base + "sel2.html", base + "area.html"]
            expect("all links", page_info("clipvault-all", page), {"ok": True, "count": len(every)},
                   [("AddNoteFromIE", [u, "", 0]) for u in every] + [start])
            s.select("#sel")
            expect("selected links", page_info("clipvault-all", page, selectionText="Chosen one between Chosen two"),
                   {"ok": True, "count": 2}, [("AddNoteFromIE", [base + u, "", 0]) for u in ("sel1.html", "sel2.html")]
                   + [start])
            s.unselect()
            # In the frame the menu was opened in, only its links.
            frame_id = next((f for f, url in s.frames() if url == base + "frame.html"), None)
            if check(frame_id is not None and frame_id != 0, f"frame id: {s.frames()}"):
                expect("frame links", page_info("clipvault-all", page, frameId=frame_id, frameUrl=base + "frame.html"),
                       {"ok": True, "count": 2}, [("AddNoteFromIE", [base + u, "", 0]) for u in
                                                  ("in-frame.html", "abs.html")] + [start])

            # Entry 3: the document as scripts left it.
            shown = s.shown()
            check("Added by script: Grüße 你好" in shown and shown.startswith("<!DOCTYPE html>"), "page's own view")
            expect("shown", page_info("clipvault-shown", page), {"ok": True, "count": 1},
                   [("AddNoteFromPage", [page, "Links page", shown]), start])

            # A page over 1 MB goes in parts and arrives whole.
            parts = s.sw_eval("splitHtml('a'.repeat(131071) + '\\u{1F600}b').map(p => p.length)")
            check(parts == [131071, 3], f"a part ends inside a surrogate pair: {parts}")
            big = base + "big.html"
            s.open(big)
            shown = s.shown()
            check(len(shown.encode()) > 2 * 1024 * 1024, f"big page is {len(shown.encode())} bytes")
            expect("shown in parts", page_info("clipvault-shown", big), {"ok": True, "count": 1},
                   [("AddNoteFromPage", [big, "Big page", shown]), start])

            # With no program on the bus the answer says so; nothing throws.
            fake.terminate()
            fake.wait(10)
            got = s.click(page_info("clipvault-page", big))
            check(got.get("ok") is False and "did not take the call" in got.get("error", ""), f"no program: {got}")
            check(s.sw_eval("chrome.action.getBadgeText({tabId: %d})" % s.tab["id"]) == "!", "no error badge")
        finally:
            s.close()
            if fake.poll() is None:
                fake.terminate()
                fake.wait(10)


def bus_owned(name):
    r = subprocess.run(["gdbus", "call", "--session", "--dest", "org.freedesktop.DBus", "--object-path",
                        "/org/freedesktop/DBus", "--method", "org.freedesktop.DBus.NameHasOwner", name],
                       capture_output=True, text=True, timeout=10)
    return r.stdout.strip() == "(true,)"


def press_return_on_import_dialog(timeout=30):
    """The import dialog comes up for the batch: OK with the keyboard."""
    deadline = time.monotonic() + timeout
    while True:
        r = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^Import into Clipvault$"],
                           capture_output=True, text=True, timeout=10)
        if r.stdout.split() or time.monotonic() > deadline:
            break
        time.sleep(0.3)
    wins = r.stdout.split()
    if not wins:
        names = subprocess.run(["bash", "-c", "for w in $(xdotool search --onlyvisible --name .); do "
                                "xdotool getwindowname $w; done"], capture_output=True, text=True, timeout=20)
        check(False, f"the import dialog did not open; windows: {names.stdout.split(chr(10))}")
        if os.environ.get("CTX_TEST_SHOT"):
            subprocess.run(["import", "-window", "root", os.environ["CTX_TEST_SHOT"]], timeout=20)
        return
    # A key pressed while the window manager hands the dialog the focus can
    # reach the program before the focus does: the key goes again then.
    for _ in range(3):
        subprocess.run(["xdotool", "windowactivate", "--sync", wins[-1]], timeout=10)
        time.sleep(0.3)
        subprocess.run(["xdotool", "key", "--clearmodifiers", "Return"], timeout=10)
        deadline = time.monotonic() + 5
        while time.monotonic() < deadline:
            r = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^Import into Clipvault$"],
                               capture_output=True, text=True, timeout=10)
            if not r.stdout.split():
                return
            time.sleep(0.2)
    check(False, "the import dialog stayed open")


def all_notes(cata):
    for n in cata.get("notes", []):
        yield n
    for c in cata.get("categories", []):
        yield from all_notes(c)


def run_program(args, work, base):
    """The real program: the notes arrive, are captured from the loopback
    site, and the notebook it saves shows them."""
    prog_dir = os.path.join(work, "prog")
    # A copy of the program folder: the program reads AppOption.data beside
    # itself, and the build's own folder stays as it was.
    shutil.copytree(args.program, prog_dir, symlinks=True)
    if not os.path.exists(os.path.join(prog_dir, "Language", "VLTEng.rcc")):
        raise SystemExit(f"the program folder {args.program} has no language module: build the whole tree")
    cli = args.cli
    subprocess.run([cli, "options", "--file", os.path.join(prog_dir, "AppOption.data"), "set", "dock_enabled=0",
                    "autosave_enabled=1", "autosave_period_ms=1500"], check=True, timeout=30)
    book = os.path.join(work, "book.vlt")
    subprocess.run([cli, "new", book], check=True, timeout=30, stdout=subprocess.DEVNULL)
    env = dict(os.environ, QTWEBENGINE_DISABLE_SANDBOX="1")
    plog = open(os.path.join(work, "program.log"), "w")
    program = subprocess.Popen([os.path.join(prog_dir, "clipvault"), book], env=env, stdout=plog, stderr=plog,
                               start_new_session=True)
    page = base + "links.html"
    try:
        deadline = time.monotonic() + 40
        while not bus_owned("org.clipvault.Clipvault"):
            if program.poll() is not None or time.monotonic() > deadline:
                raise SystemExit("the program did not take its bus name")
            time.sleep(0.2)
        with open(os.path.join(work, "chromium.log"), "w") as clog:
            s = Session(work, args, page, clog)
            try:
                got = s.click(page_info("clipvault-page", page, linkUrl=base + "one.html"))
                check(got == {"ok": True, "count": 1}, f"program, link: {got}")
                press_return_on_import_dialog()
                s.select("#sel")
                got = s.click(page_info("clipvault-all", page, selectionText="Chosen"))
                check(got == {"ok": True, "count": 2}, f"program, selected links: {got}")
                press_return_on_import_dialog()
                s.unselect()
                got = s.click(page_info("clipvault-shown", page))
                check(got == {"ok": True, "count": 1}, f"program, page as shown: {got}")
                press_return_on_import_dialog()
            finally:
                s.close()
        # The captures finish and the autosave writes them.
        want = {base + "one.html": ("First link", "Captured text of one.html"),
                base + "sel1.html": (None, "Captured text of sel1.html"),
                base + "sel2.html": (None, "Captured text of sel2.html"),
                # What the page's script added is only in the page as shown.
                page: ("Links page", "Added by script: Grüße 你好")}
        deadline = time.monotonic() + 40
        notes = {}
        while time.monotonic() < deadline:
            r = subprocess.run([cli, "dump", book], capture_output=True, text=True, timeout=30)
            if r.returncode == 0:
                notes = {n.get("source"): n for n in all_notes(json.loads(r.stdout)["root"])}
                if all(u in notes and notes[u].get("status") == 0 and notes[u].get("size", 1) for u in want):
                    break
            time.sleep(1)
        print(f"program: the saved notebook holds {sorted((n.get('name'), n.get('source')) for n in notes.values())}")
        for url, (title, text) in want.items():
            n = notes.get(url)
            if not check(n is not None, f"program: no note for {url} in {sorted(notes)}"):
                continue
            check(n.get("status") == 0, f"program: {url} not done: {n}")
            if title:
                check(n.get("name") == title, f"program: {url} named {n.get('name')}")
            r = subprocess.run([cli, "cat", book, str(n["id"])], capture_output=True, timeout=30)
            check(text.encode() in r.stdout, f"program: {url} content {r.stdout[:300]!r}")
    finally:
        program.terminate()
        try:
            program.wait(15)
        except subprocess.TimeoutExpired:
            os.killpg(program.pid, 9)
        plog.close()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--host", required=True)
    ap.add_argument("--extension", required=True)
    ap.add_argument("--program")
    ap.add_argument("--cli")
    ap.add_argument("--inner", action="store_true")
    ap.add_argument("--work")
    args = ap.parse_args()
    args.host = os.path.realpath(args.host)
    if not args.inner:
        work = tempfile.mkdtemp(prefix="cvext")
        try:
            env = dict(os.environ, HOME=work + "/home", XDG_DATA_HOME=work + "/data",
                       XDG_CONFIG_HOME=work + "/config", XDG_CACHE_HOME=work + "/cache",
                       XDG_RUNTIME_DIR=work + "/run")
            for d in ("home", "data", "config", "cache", "run"):
                os.makedirs(os.path.join(work, d), mode=0o700)
            argv = ["dbus-run-session", "--", sys.executable, os.path.abspath(__file__), *sys.argv[1:], "--inner",
                    "--work", work]
            if args.program:
                argv = [os.path.join(REPO, "scripts", "with_wm.sh"), "--"] + argv
            r = subprocess.run(argv, env=env, timeout=170)
            if r.returncode != 0:
                for name in ("chromium.log", "program.log"):
                    path = os.path.join(work, name)
                    if os.path.exists(path):
                        print(f"--- {name} (end)")
                        with open(path, errors="replace") as f:
                            print("".join(f.readlines()[-30:]))
            return r.returncode
        finally:
            shutil.rmtree(work, ignore_errors=True)

    t0 = time.time()
    site = os.path.join(args.work, "site")
    write_site(site)
    server, base = start_site(site)
    try:
        if args.program:
            run_program(args, args.work, base)
        else:
            run_fake(args, args.work, base)
    except (CdpError, OSError, subprocess.SubprocessError) as e:
        check(False, f"{type(e).__name__}: {e}")
    finally:
        server.shutdown()
    kind = "program" if args.program else "stand-in"
    print(f"extension in Chromium ({kind}): {len(failures)} failure(s) in {time.time() - t0:.1f} s")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
