#!/usr/bin/python3
"""Does a captured page show offline, whole? Loads each page in headless
Chromium cut off from the network and prints one line per page, PASS or FAIL
with the reasons:
  - a request for anything but a file in the page's own folder (or below it);
    data: and about: are fine;
  - a request that failed (a file that is not there);
  - an <img> that shows nothing (naturalWidth 0);
  - a background, list or content image (computed style, pseudo elements too)
    that does not decode, or a web font that failed;
  - text garbled by a wrong encoding;
  - fewer images, backgrounds or frames than the live page had (--expect,
    from a --write-expect run against the site server);
  - a resource reference in the DOM (src, srcset, poster, data, background,
    stylesheet/icon/preload href) that names anything but such a file: what a
    screen of another density or a later click would fetch.
Frames, inline frames and object/embed documents are looked at too.

    offline_check.py [--live HOST:PORT,...] [--write-expect F | --expect F] [--quiet] [[GROUP:]LABEL=]PAGE...

PAGE is a working copy's file (or a file: URL). With --live the pages are URLs
of the site server and requests to the listed origins are allowed too: the
site itself is checked that way. A GROUP before a label lets one run check
several copies of one page, each held to what --expect says for LABEL.
Exits 0 only when every page passed.

One Chromium runs all pages, over the DevTools protocol on a pipe (fd 3 in,
fd 4 out); it is ended however the check ends.
"""

import argparse
import fcntl
import json
import os
import queue
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse
from urllib.parse import unquote, urlsplit

FLAGS = [
    "--headless=new", "--no-sandbox", "--disable-gpu", "--no-first-run", "--disable-background-networking",
    "--disable-component-update", "--disable-sync", "--host-resolver-rules=MAP * ~NOTFOUND, EXCLUDE 127.0.0.1",
    "--proxy-server=127.0.0.1:9",
]
LOAD_TIMEOUT = 15.0
SETTLE = 0.5
IDLE_TIMEOUT = 5.0
EVAL_TIMEOUT = 30.0

# Runs in every frame (an isolated world, so the page's own script cannot
# hide anything): what the images, backgrounds, fonts and references are.
PROBE = r"""
(async () => {
    const sleep = (ms) => new Promise((r) => setTimeout(r, ms));
    const bounded = (p, ms) => Promise.race([p, sleep(ms).then(() => { throw new Error("timeout"); })]);
    const out = { href: location.href, imgs: [], backgrounds: [], fonts: [], refs: [], garbled: false };
    // Text read in the wrong encoding (UTF-16 taken for a single-byte one).
    const text = document.documentElement ? document.documentElement.textContent || "" : "";
    out.garbled = /[\u0000\ufffd]/.test(text);
    const all = Array.from(document.getElementsByTagName("*"));
    for (const img of all.filter((e) => e.localName === "img")) {
        if (!img.complete) {
            try {
                await bounded(new Promise((r) => { img.addEventListener("load", r); img.addEventListener("error", r); }), 3000);
            } catch (e) {}
        }
        out.imgs.push({ src: img.getAttribute("src"), current: img.currentSrc, width: img.naturalWidth });
    }
    const urls = new Set();
    const props = ["background-image", "list-style-image", "border-image-source", "content", "mask-image"];
    for (const el of all) {
        for (const pseudo of [null, "::before", "::after", "::marker"]) {
            let cs;
            try { cs = getComputedStyle(el, pseudo); } catch (e) { continue; }
            if (!cs) continue;
            for (const p of props) {
                const v = cs.getPropertyValue(p);
                if (!v || v.indexOf("url(") < 0) continue;
                for (const m of v.matchAll(/url\("((?:[^"\\]|\\.)*)"\)/g)) urls.add(m[1].replace(/\\(.)/g, "$1"));
            }
        }
    }
    // Pictures a script or the browser could still ask for: the input
    // image, the video's poster.
    for (const el of all) {
        if (el.localName === "input" && (el.getAttribute("type") || "").toLowerCase() === "image" && el.src) urls.add(el.src);
        if (el.localName === "video" && el.poster) urls.add(el.poster);
    }
    for (const u of urls) {
        if (u.startsWith("data:")) continue;
        const im = new Image();
        im.src = u;
        let ok = true, why = "";
        try { await bounded(im.decode(), 5000); } catch (e) { ok = false; why = String(e.message || e); }
        out.backgrounds.push({ url: im.src, ok: ok, why: why });
    }
    if (document.fonts) {
        try { await bounded(document.fonts.ready, 5000); } catch (e) {}
        document.fonts.forEach((f) => out.fonts.push({ family: f.family, status: f.status }));
    }
    const base = document.baseURI;
    const ref = (el, what, value) => {
        if (value === null || value === undefined || value.trim() === "") return;
        let abs;
        try { abs = new URL(value.trim(), base).href; } catch (e) { abs = value; }
        out.refs.push({ what: el.localName + " " + what, url: abs });
    };
    const srcset = (el, value) => {
        if (!value) return;
        for (const c of value.split(/,\s+|,(?=\S)/)) {
            const u = c.trim().split(/\s+/)[0];
            if (u) ref(el, "srcset", u);
        }
    };
    const resourceRels = ["stylesheet", "icon", "preload", "apple-touch-icon"];
    for (const el of all) {
        const n = el.localName;
        if (["img", "script", "frame", "iframe", "embed", "input", "audio", "video", "source", "track"].includes(n)) {
            if (n !== "input" || (el.getAttribute("type") || "").toLowerCase() === "image") ref(el, "src", el.getAttribute("src"));
        }
        if (n === "img" || n === "source") srcset(el, el.getAttribute("srcset"));
        if (n === "video") ref(el, "poster", el.getAttribute("poster"));
        if (n === "object") ref(el, "data", el.getAttribute("data"));
        if (n === "link") {
            const rels = (el.getAttribute("rel") || "").toLowerCase().split(/\s+/);
            if (rels.some((r) => resourceRels.includes(r))) ref(el, "href", el.getAttribute("href"));
        }
        if (el.hasAttribute && el.hasAttribute("background")) ref(el, "background", el.getAttribute("background"));
    }
    return out;
})()
"""


APPLY_XSL = r"""
(() => {
    const p = new XSLTProcessor();
    p.importStylesheet(new DOMParser().parseFromString(%s, "application/xml"));
    const out = p.transformToDocument(new DOMParser().parseFromString(%s, "application/xml"));
    const root = document.importNode(out.documentElement, true);
    if (document.documentElement) document.replaceChild(root, document.documentElement);
    else document.appendChild(root);
})()
"""


class Closed(Exception):
    pass


class Browser:
    """Chromium with the DevTools protocol on a pipe: NUL-ended JSON
    messages, commands on its fd 3, answers and events on its fd 4."""

    def __init__(self, binary, log_path):
        self.profile = tempfile.mkdtemp(prefix="offline-check-")
        to_r, to_w = os.pipe()
        from_r, from_w = os.pipe()
        # Above 4, so that putting them in place in the child clobbers none.
        hi_r = fcntl.fcntl(to_r, fcntl.F_DUPFD_CLOEXEC, 10)
        hi_w = fcntl.fcntl(from_w, fcntl.F_DUPFD_CLOEXEC, 10)
        os.close(to_r)
        os.close(from_w)

        def into_place():
            os.dup2(hi_r, 3)
            os.dup2(hi_w, 4)

        self.log = open(log_path, "ab") if log_path else subprocess.DEVNULL
        self.proc = subprocess.Popen(
            [binary] + FLAGS + [f"--user-data-dir={self.profile}", "--remote-debugging-pipe", "about:blank"],
            stdin=subprocess.DEVNULL, stdout=self.log, stderr=self.log, close_fds=False, preexec_fn=into_place,
            start_new_session=True)
        os.close(hi_r)
        os.close(hi_w)
        self.wfd = to_w
        self.rfd = from_r
        self.next_id = 0
        self.inbox = queue.Queue()
        self.answers = {}
        self.handlers = []
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        pending = b""
        while True:
            try:
                chunk = os.read(self.rfd, 65536)
            except OSError:
                chunk = b""
            if not chunk:
                self.inbox.put(None)
                return
            pending += chunk
            while b"\0" in pending:
                msg, pending = pending.split(b"\0", 1)
                try:
                    self.inbox.put(json.loads(msg))
                except ValueError:
                    pass

    def post(self, method, params=None, session=None):
        self.next_id += 1
        msg = {"id": self.next_id, "method": method, "params": params or {}}
        if session:
            msg["sessionId"] = session
        data = json.dumps(msg).encode() + b"\0"
        try:
            while data:
                data = data[os.write(self.wfd, data):]
        except OSError:
            raise Closed("chromium closed its pipe")
        return self.next_id

    def pump(self, timeout):
        """Handles what arrives within `timeout` seconds; False when nothing did."""
        try:
            msg = self.inbox.get(timeout=max(timeout, 0))
        except queue.Empty:
            return False
        if msg is None:
            self.inbox.put(None)
            raise Closed("chromium ended")
        if "id" in msg:
            self.answers[msg["id"]] = msg
        else:
            for h in list(self.handlers):
                h(msg)
        return True

    def call(self, method, params=None, session=None, timeout=10.0):
        n = self.post(method, params, session)
        end = time.monotonic() + timeout
        while n not in self.answers:
            left = end - time.monotonic()
            if left <= 0:
                raise TimeoutError(f"{method}: no answer in {timeout:.0f} s")
            self.pump(left)
        msg = self.answers.pop(n)
        if "error" in msg:
            raise RuntimeError(f"{method}: {msg['error'].get('message')}")
        return msg.get("result", {})

    def wait(self, done, timeout):
        end = time.monotonic() + timeout
        while not done():
            left = end - time.monotonic()
            if left <= 0:
                return False
            self.pump(min(left, 0.1))
        return True

    def close(self):
        try:
            if self.proc.poll() is None:
                try:
                    self.post("Browser.close")
                except Closed:
                    pass
                try:
                    self.proc.wait(timeout=5)
                except subprocess.TimeoutExpired:
                    pass
        finally:
            if self.proc.poll() is None:
                try:
                    os.killpg(self.proc.pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass
                self.proc.wait()
            for fd in (self.wfd, self.rfd):
                try:
                    os.close(fd)
                except OSError:
                    pass
            shutil.rmtree(self.profile, ignore_errors=True)


class PageRun:
    """Everything the browser asked for and how it went, for one page and its
    frames' sessions."""

    def __init__(self, browser):
        self.b = browser
        self.sessions = set()
        self.requests = {}  # requestId -> url
        self.order = []
        self.failed = []  # (url, errorText)
        self.statuses = []  # (url, status)
        self.inflight = set()
        self.loaded = False
        self.last_activity = time.monotonic()

    def on_message(self, msg):
        session = msg.get("sessionId")
        method = msg.get("method")
        params = msg.get("params", {})
        if method == "Target.attachedToTarget" and session in self.sessions:
            # An out-of-process frame: its requests count as the page's.
            child = params["sessionId"]
            self.sessions.add(child)
            self.b.post("Network.enable", {}, child)
            self.b.post("Target.setAutoAttach", {"autoAttach": True, "waitForDebuggerOnStart": True,
                                                 "flatten": True}, child)
            self.b.post("Runtime.runIfWaitingForDebugger", {}, child)
            return
        if session not in self.sessions:
            return
        if method == "Network.requestWillBeSent":
            rid = params["requestId"]
            url = params["request"]["url"]
            if rid not in self.requests:
                self.order.append(url)
            elif params.get("redirectResponse"):
                self.order.append(url)
            self.requests[rid] = url
            self.inflight.add(rid)
            self.last_activity = time.monotonic()
        elif method == "Network.responseReceived":
            status = params["response"].get("status", 0)
            if status >= 400:
                self.statuses.append((params["response"].get("url", ""), status))
        elif method == "Network.loadingFinished":
            self.inflight.discard(params["requestId"])
            self.last_activity = time.monotonic()
        elif method == "Network.loadingFailed":
            rid = params["requestId"]
            self.inflight.discard(rid)
            self.last_activity = time.monotonic()
            # A file: page is an origin of its own: a CORS request (a font
            # preload) for a file beside it fails, the file being there or not.
            blocked = params.get("blockedReason") or ("cors" if params.get("corsErrorStatus") else None)
            self.failed.append((self.requests.get(rid, "?"), params.get("errorText", ""),
                                params.get("canceled", False), blocked))
        elif method == "Page.loadEventFired":
            self.loaded = True

    def idle(self, quiet=0.2):
        return not self.inflight and time.monotonic() - self.last_activity >= quiet


def page_url(arg):
    if re.match(r"^[a-z]+:", arg):
        return arg
    # A blank or "#" in a folder's name would otherwise end the path.
    return "file://" + urllib.parse.quote(os.path.abspath(arg))


class Allowed:
    def __init__(self, folder, origins):
        self.folder = os.path.realpath(folder) if folder else None
        self.origins = origins

    def __call__(self, url):
        parts = urlsplit(url)
        scheme = parts.scheme.lower()
        if scheme in ("data", "about", "blob"):
            return True
        if scheme == "file" and self.folder:
            path = os.path.realpath(unquote(parts.path))
            return path == self.folder or path.startswith(self.folder + os.sep)
        if scheme in ("http", "https") and parts.netloc.lower() in self.origins:
            return True
        return False


def shorten(url, allowed):
    """A file: URL as a path from the page's folder: the temporary folders'
    names say nothing."""
    if allowed.folder and url.startswith("file:") and allowed(url):
        return os.path.relpath(unquote(urlsplit(url).path), allowed.folder) + (
            "?" + urlsplit(url).query if urlsplit(url).query else "")
    return url


def check_page(browser, url, allowed):
    run = PageRun(browser)
    browser.handlers.append(run.on_message)
    reasons = []
    seen = {"images": 0, "backgrounds": 0, "frames": 0}
    target = None
    try:
        target = browser.call("Target.createTarget", {"url": "about:blank"})["targetId"]
        session = browser.call("Target.attachToTarget", {"targetId": target, "flatten": True})["sessionId"]
        run.sessions.add(session)
        for method in ("Network.enable", "Page.enable", "Runtime.enable"):
            browser.call(method, {}, session)
        browser.call("Network.setCacheDisabled", {"cacheDisabled": True}, session)
        browser.call("Target.setAutoAttach", {"autoAttach": True, "waitForDebuggerOnStart": True, "flatten": True},
                     session)
        nav = browser.call("Page.navigate", {"url": url}, session, timeout=LOAD_TIMEOUT)
        if nav.get("errorText"):
            reasons.append(f"the page did not load: {nav['errorText']}")
        if not browser.wait(lambda: run.loaded, LOAD_TIMEOUT):
            reasons.append(f"no load event in {LOAD_TIMEOUT:.0f} s")
        browser.wait(lambda: False, SETTLE)
        # Chromium will not apply a stylesheet to an XML file: page (each
        # file is an origin of its own); what it would have shown is the
        # stylesheet's output, so the check applies it in its place.
        for u, err, canceled, blocked in list(run.failed):
            if (blocked == "origin" and allowed(u) and u.startswith("file:") and re.search(r"\.xslt?$", u, re.I)
                    and os.path.isfile(unquote(urlsplit(u).path))):
                with open(unquote(urlsplit(u).path), encoding="utf-8", errors="replace") as f:
                    xsl = f.read()
                with open(unquote(urlsplit(url).path), encoding="utf-8", errors="replace") as f:
                    xml = f.read()
                res = browser.call("Runtime.evaluate", {"expression": APPLY_XSL % (json.dumps(xsl), json.dumps(xml))},
                                   session)
                if "exceptionDetails" in res:
                    why = res["exceptionDetails"].get("exception", {}).get("description", "")
                    reasons.append(f"the XSL stylesheet {shorten(u, allowed)} does not apply: {why[:200]}")
                run.failed.remove((u, err, canceled, blocked))
                browser.wait(lambda: False, 0.1)
                browser.wait(run.idle, IDLE_TIMEOUT)
        # Lazy images load when they come into view.
        browser.call("Runtime.evaluate", {"expression": "window.scrollTo(0, document.documentElement.scrollHeight)"},
                     session)
        browser.wait(lambda: False, 0.1)
        browser.wait(run.idle, IDLE_TIMEOUT)
        browser.call("Runtime.evaluate", {"expression": "window.scrollTo(0, 0)"}, session)
        tree = browser.call("Page.getFrameTree", {}, session)["frameTree"]
        frames = []
        stack = [tree]
        while stack:
            node = stack.pop()
            frames.append(node["frame"])
            stack.extend(node.get("childFrames", []))
        for frame in frames:
            ctx = browser.call("Page.createIsolatedWorld", {"frameId": frame["id"], "worldName": "offline-check"},
                               session)["executionContextId"]
            res = browser.call("Runtime.evaluate", {"expression": PROBE, "contextId": ctx, "awaitPromise": True,
                                                    "returnByValue": True}, session, timeout=EVAL_TIMEOUT)
            if "exceptionDetails" in res:
                reasons.append(f"probe failed in {frame.get('url')}: {res['exceptionDetails'].get('text')}")
                continue
            found = res["result"].get("value") or {}
            seen["frames"] += 1
            seen["images"] += len(found.get("imgs", []))
            seen["backgrounds"] += len(found.get("backgrounds", []))
            if found.get("garbled"):
                reasons.append("the text is garbled (read in the wrong encoding)" + (
                    "" if frame is tree["frame"] else f" in {frame.get('url')}"))
            where = "" if frame is tree["frame"] else f" (in {os.path.basename(urlsplit(found.get('href', '')).path)})"
            for img in found.get("imgs", []):
                if img["width"] == 0:
                    reasons.append(f"image shows nothing: {shorten(img['current'] or img['src'] or '', allowed)}{where}")
            for bg in found.get("backgrounds", []):
                if not bg["ok"]:
                    reasons.append(f"background does not decode: {shorten(bg['url'], allowed)}{where}")
            for font in found.get("fonts", []):
                if font["status"] == "error":
                    reasons.append(f"font failed: {font['family']}{where}")
            for ref in found.get("refs", []):
                if not allowed(ref["url"]):
                    reasons.append(f"reference leaves: {ref['what']} {shorten(ref['url'], allowed)}{where}")
    except (TimeoutError, RuntimeError, OSError) as e:
        reasons.append(str(e))
    finally:
        browser.handlers.remove(run.on_message)
        if target:
            try:
                browser.call("Target.closeTarget", {"targetId": target})
            except (TimeoutError, RuntimeError):
                pass
    for u in run.order:
        if not allowed(u):
            reasons.append(f"request leaves: {shorten(u, allowed)}")
    for u, err, canceled, blocked in run.failed:
        if blocked and u.startswith("file:") and allowed(u) and os.path.isfile(unquote(urlsplit(u).path)):
            continue
        # The page gave it up itself (a lazy loader swapping a placeholder
        # for the real picture): nothing was missing.
        if canceled or err == "net::ERR_ABORTED":
            continue
        if allowed(u) or u == "?":
            reasons.append(f"request failed: {shorten(u, allowed)} ({err or 'blocked'}{', ' + blocked if blocked else ''})")
    for u, status in run.statuses:
        reasons.append(f"HTTP {status}: {u}")
    # The same fault seen twice (the DOM and the request) is said once.
    said, unique = set(), []
    for r in reasons:
        if r not in said:
            said.add(r)
            unique.append(r)
    return unique, len(run.order), seen


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--live", help="origins (HOST:PORT,...) the pages may fetch from; the pages are their URLs")
    ap.add_argument("--chromium", default=shutil.which("chromium") or "chromium")
    ap.add_argument("--log", help="Chromium's own output goes here")
    ap.add_argument("--quiet", action="store_true", help="only the summary and failing pages")
    ap.add_argument("--write-expect", metavar="FILE",
                    help="write how many images, backgrounds and frames each LABEL's page has (for --expect)")
    ap.add_argument("--expect", metavar="FILE",
                    help="a page with fewer images, backgrounds or frames than FILE says for its LABEL fails")
    ap.add_argument("--total-timeout", type=float, default=900)
    ap.add_argument("pages", nargs="+")
    args = ap.parse_args()
    origins = {o.strip().lower() for o in args.live.split(",")} if args.live else set()

    deadline = time.monotonic() + args.total_timeout

    def too_long(signum, frame):
        raise TimeoutError("the check took too long")

    signal.signal(signal.SIGALRM, too_long)
    signal.signal(signal.SIGTERM, lambda s, f: sys.exit(143))
    signal.alarm(int(args.total_timeout) + 1)
    expected = {}
    if args.expect:
        with open(args.expect, encoding="utf-8") as f:
            expected = json.load(f)
    counts = {}
    browser = Browser(args.chromium, args.log)
    passed = 0
    failed = 0
    try:
        browser.call("Target.setDiscoverTargets", {"discover": False}, timeout=30)
        for arg in args.pages:
            label, _, path = arg.partition("=") if re.match(r"^(?:[\w-]+:)?[\w.-][\w./-]*=", arg) else ("", "", arg)
            url = page_url(path)
            folder = None if args.live else os.path.dirname(unquote(urlsplit(url).path))
            name = label or path
            if time.monotonic() > deadline:
                print(f"FAIL {name}: not checked, out of time", flush=True)
                failed += 1
                continue
            reasons, count, seen = check_page(browser, url, Allowed(folder, origins))
            counts[name] = seen
            want = expected.get(label.split(":", 1)[-1] if label else name)
            if want:
                for what in ("images", "backgrounds", "frames"):
                    if seen[what] < want[what]:
                        reasons.append(f"{seen[what]} {what} where the live page has {want[what]}")
            if reasons:
                failed += 1
                shown = reasons[:8] + ([f"... {len(reasons) - 8} more"] if len(reasons) > 8 else [])
                print(f"FAIL {name}: " + "; ".join(shown), flush=True)
            else:
                passed += 1
                if not args.quiet:
                    print(f"PASS {name} ({count} requests)", flush=True)
    except (Closed, TimeoutError) as e:
        print(f"offline_check: {e}", flush=True)
        failed += 1
    finally:
        signal.alarm(0)
        browser.close()
    if args.write_expect:
        with open(args.write_expect, "w", encoding="utf-8") as f:
            json.dump(counts, f, indent=1)
    print(f"offline_check: {passed} of {passed + failed} pages passed", flush=True)
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
