#!/usr/bin/env python3
"""The native host as the browsers run it: framed messages on a pipe, the
caller named on the command line, and a recording stand-in for the program
on a private session bus. Every refusal must leave the bus untouched.

Usage: native_host_test.py PATH-TO-clipvault-native-host
Runs itself under dbus-run-session with temporary XDG folders."""
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
CHROMIUM = "chrome-extension://jcfginebjbjdhdemoikaacapamiecaee/"
GECKO = "clipvault@clipvault.org"
LIMIT = 1024 * 1024

failures = []


def check(cond, what):
    if not cond:
        failures.append(what)
        print("FAIL:", what, flush=True)
    return cond


def frame(obj_or_bytes):
    body = obj_or_bytes if isinstance(obj_or_bytes, bytes) else json.dumps(obj_or_bytes, ensure_ascii=False).encode()
    return struct.pack("=I", len(body)) + body


def answers_of(data):
    out = []
    while len(data) >= 4:
        (n,) = struct.unpack("=I", data[:4])
        out.append(json.loads(data[4:4 + n].decode()))
        data = data[4 + n:]
    return out, data


class Suite:
    def __init__(self, host, work):
        self.host = host
        self.log = os.path.join(work, "calls.jsonl")
        self.fake = None

    def start_fake(self):
        open(self.log, "w").close()
        self.fake = subprocess.Popen([sys.executable, os.path.join(HERE, "fake_automation.py"), self.log],
                                     stdout=subprocess.PIPE, text=True)
        if self.fake.stdout.readline().strip() != "ready":
            raise SystemExit("the stand-in service did not start")

    def stop_fake(self):
        self.fake.terminate()
        self.fake.wait(10)
        self.fake = None

    def calls(self):
        with open(self.log, encoding="utf-8") as f:
            lines = [json.loads(line) for line in f if line.strip()]
        open(self.log, "w").close()
        return lines

    def run(self, data, args=(CHROMIUM,), keep_open=False):
        """Feeds `data` to a fresh host; its answers and exit code (None when
        it did not end). With keep_open the pipe stays open afterwards, so a
        host that waits for more than it was given is caught."""
        p = subprocess.Popen([self.host, *args], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                             stderr=subprocess.DEVNULL)

        def feed():
            try:
                p.stdin.write(data)
                p.stdin.flush()
                if not keep_open:
                    p.stdin.close()
            except (BrokenPipeError, ValueError):
                pass  # the host ended before it took everything

        writer = threading.Thread(target=feed, daemon=True)
        writer.start()
        try:
            rc = p.wait(30)
        except subprocess.TimeoutExpired:
            p.kill()
            p.wait()
            rc = None
        writer.join(10)
        out = p.stdout.read()
        try:
            p.stdin.close()
        except (BrokenPipeError, ValueError):
            pass
        answers, rest = answers_of(out)
        check(rest == b"", f"the host wrote bytes outside its frames: {rest[:60]!r}")
        return answers, rc

    def refused(self, what, data, args=(CHROMIUM,), keep_open=False, needle=None):
        answers, rc = self.run(data, args, keep_open)
        check(rc is not None, f"{what}: the host did not end")
        ok = check(len(answers) == 1 and answers[0].get("ok") is False and answers[0].get("error"),
                   f"{what}: answers {answers}")
        if ok and needle:
            check(needle in answers[0]["error"], f"{what}: error {answers[0]['error']!r} lacks {needle!r}")
        check(self.calls() == [], f"{what}: a call reached the bus")


def test_manifests(s):
    path = os.path.realpath(s.host)
    for browser, key, value in (("chromium", "allowed_origins", [CHROMIUM]), ("chrome", "allowed_origins", [CHROMIUM]),
                                ("firefox", "allowed_extensions", [GECKO])):
        r = subprocess.run([s.host, "--manifest", browser], capture_output=True, text=True, timeout=10)
        check(r.returncode == 0, f"--manifest {browser} exited {r.returncode}")
        m = json.loads(r.stdout)
        check(m.get("name") == "org.clipvault.native_host", f"{browser}: name {m.get('name')}")
        check(m.get("path") == path, f"{browser}: path {m.get('path')} is not {path}")
        check(m.get("type") == "stdio" and m.get("description"), f"{browser}: {m}")
        check(m.get(key) == value, f"{browser}: {key} = {m.get(key)}")
        other = "allowed_extensions" if key == "allowed_origins" else "allowed_origins"
        check(other not in m, f"{browser}: has {other}")
    r = subprocess.run([s.host, "--manifest", "opera"], capture_output=True, text=True, timeout=10)
    check(r.returncode == 2 and r.stdout == "" and "chromium" in r.stderr, f"--manifest opera: {r}")


def test_carried(s):
    # One page, from Chromium and from Firefox; the title may be left out.
    for args in ((CHROMIUM,), ("/home/u/.mozilla/native-messaging-hosts/org.clipvault.native_host.json", GECKO)):
        answers, rc = s.run(frame({"kind": "page", "url": "https://127.0.0.1/a%20b.html", "title": "Ünï 页"}), args)
        check(answers == [{"ok": True, "count": 1}] and rc == 0, f"page {args}: {answers} rc {rc}")
        check(s.calls() == [{"method": "AddNoteFromIE", "args": ["https://127.0.0.1/a%20b.html", "Ünï 页", 0]},
                            {"method": "StartImport", "args": []}], f"page {args}: calls")
    s.run(frame({"kind": "page", "url": "HTTP://127.0.0.1/x.htm"}))
    check(s.calls()[0]["args"] == ["HTTP://127.0.0.1/x.htm", "", 0], "page without a title")

    # Links: as sent, duplicates included, one StartImport at the end.
    urls = ["http://127.0.0.1:8/1", "ftp://127.0.0.1/f.zip", "http://127.0.0.1:8/1", "https://127.0.0.1/y"]
    answers, _ = s.run(frame({"kind": "links", "urls": urls}))
    check(answers == [{"ok": True, "count": 4}], f"links: {answers}")
    check(s.calls() == [{"method": "AddNoteFromIE", "args": [u, "", 0]} for u in urls] +
          [{"method": "StartImport", "args": []}], "links: calls")

    # A page as shown, whole.
    html = "<!DOCTYPE html><html><body>Grüße 你好 \U0001F600</body></html>"
    answers, _ = s.run(frame({"kind": "shown", "url": "http://127.0.0.1/s", "title": "Shown", "html": html}))
    check(answers == [{"ok": True, "count": 1}], f"shown: {answers}")
    check(s.calls() == [{"method": "AddNoteFromPage", "args": ["http://127.0.0.1/s", "Shown", html]},
                        {"method": "StartImport", "args": []}], "shown: calls")

    # A page of 2.5 MB in three parts, on one connection, after another message.
    pieces = ["<html><body>" + "页" * 300000, "\U0001F600" * 200000, "x" * 600000 + "</body></html>"]
    data = frame({"kind": "page", "url": "http://127.0.0.1/first"})
    for i, piece in enumerate(pieces):
        part = {"kind": "shown-part", "id": "p1", "index": i, "count": 3, "html": piece}
        if i == 0:
            part.update(url="http://127.0.0.1/big", title="Big")
        data += frame(part)
    answers, rc = s.run(data)
    check(rc == 0 and len(answers) == 4, f"parts: {len(answers)} answers, rc {rc}")
    check(answers[1:3] == [{"ok": True, "count": 0, "received": 1, "parts": 3},
                           {"ok": True, "count": 0, "received": 2, "parts": 3}] and
          answers[3] == {"ok": True, "count": 1}, f"parts: {answers}")
    calls = s.calls()
    check([c["method"] for c in calls] == ["AddNoteFromIE", "StartImport", "AddNoteFromPage", "StartImport"],
          f"parts: {[c['method'] for c in calls]}")
    check(len(calls) > 2 and calls[2]["args"] == ["http://127.0.0.1/big", "Big", "".join(pieces)],
          "parts: the page arrived changed")

    # A message of exactly the limit is taken.
    msg = {"kind": "page", "url": "http://127.0.0.1/", "title": ""}
    msg["title"] = "t" * (LIMIT - len(json.dumps(msg).encode()))
    body = json.dumps(msg).encode()
    check(len(body) == LIMIT, "the boundary message is not 1 MB")
    answers, _ = s.run(frame(body))
    check(answers == [{"ok": True, "count": 1}], f"1 MB message: {answers}")
    check(len(s.calls()) == 2, "1 MB message: calls")

    # A refused message does not end the session; the next one is carried.
    answers, rc = s.run(frame({"kind": "nope"}) + frame({"kind": "page", "url": "http://127.0.0.1/after"}))
    check(len(answers) == 2 and answers[0]["ok"] is False and answers[1] == {"ok": True, "count": 1} and rc == 0,
          f"refusal then page: {answers}")
    check([c["args"][0] for c in s.calls() if c["method"] == "AddNoteFromIE"] == ["http://127.0.0.1/after"],
          "refusal then page: calls")


def test_refused(s):
    page = frame({"kind": "page", "url": "http://127.0.0.1/"})
    # Callers other than our extension.
    s.refused("no caller", page, args=())
    s.refused("another Chromium extension", page, args=("chrome-extension://aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa/",))
    s.refused("our id without the trailing slash", page, args=(CHROMIUM[:-1],))
    s.refused("another Firefox add-on", page, args=("/x/org.clipvault.native_host.json", "other@example.org"))
    s.refused("Firefox form with a Chromium origin", page, args=("chrome-extension://aaaa/", GECKO))

    # Framing: too long (the body is never read: the pipe stays open), cut short.
    s.refused("over 1 MB", struct.pack("=I", LIMIT + 1), keep_open=True, needle="over the limit")
    s.refused("4 GB length", b"\xff\xff\xff\xff" + b"{}", keep_open=True, needle="over the limit")
    s.refused("body cut short", struct.pack("=I", 100) + b'{"kind":"page"', needle="ended early")
    s.refused("length cut short", b"\x05\x00", needle="ended early")

    bad = [
        ("not JSON", b"{kind:page}", "not JSON"),
        ("not an object", b'["page"]', "not a JSON object"),
        ("invalid UTF-8", b'{"kind":"page","url":"http://127.0.0.1/\xff"}', "not UTF-8"),
        ("overlong UTF-8", b'{"kind":"page","url":"http://127.0.0.1/\xc0\xaf"}', "not UTF-8"),
        ("no kind", {"url": "http://127.0.0.1/"}, "kind"),
        ("kind not a text", {"kind": 1, "url": "http://127.0.0.1/"}, "kind"),
        ("unknown kind", {"kind": "files", "urls": ["/etc/passwd"]}, "unknown message kind"),
        ("url a number", {"kind": "page", "url": 5}, "url"),
        ("title null", {"kind": "page", "url": "http://127.0.0.1/", "title": None}, "title"),
        ("NUL in the title", {"kind": "page", "url": "http://127.0.0.1/", "title": "a\u0000b"}, "NUL"),
        ("unknown member", {"kind": "page", "url": "http://127.0.0.1/", "type": 2}, "unknown member"),
        ("javascript address", {"kind": "page", "url": "javascript:alert(1)"}, "only http"),
        ("data address", {"kind": "page", "url": "data:text/html,x"}, "only http"),
        ("no scheme", {"kind": "page", "url": "127.0.0.1/x"}, "only http"),
        ("http without a server", {"kind": "page", "url": "http:///x"}, "names no server"),
        ("file without a path", {"kind": "page", "url": "file:///"}, "only http"),
        ("newline in an address", {"kind": "page", "url": "http://127.0.0.1/\nx"}, "control"),
        ("urls not a list", {"kind": "links", "urls": "http://127.0.0.1/"}, "not a list"),
        ("urls empty", {"kind": "links", "urls": []}, "no addresses"),
        ("urls with a number", {"kind": "links", "urls": ["http://127.0.0.1/", 7]}, "not a text"),
        ("urls all with bad schemes", {"kind": "links", "urls": ["mailto:a@b", "file:///etc/passwd"]}, "none of the 2"),
        ("urls with one bad address", {"kind": "links", "urls": ["file:///etc/passwd"]}, "the address cannot"),
        ("too many urls", {"kind": "links", "urls": ["http://127.0.0.1/%d" % i for i in range(2001)]}, "too many"),
        ("shown without html", {"kind": "shown", "url": "http://127.0.0.1/"}, "html"),
        ("shown with empty html", {"kind": "shown", "url": "http://127.0.0.1/", "html": ""}, "empty"),
        ("shown html not a text", {"kind": "shown", "url": "http://127.0.0.1/", "html": ["<p>"]}, "html"),
    ]
    for what, msg, needle in bad:
        s.refused(what, frame(msg), needle=needle)

    def part(i, n, html="x", pid="a", **extra):
        p = {"kind": "shown-part", "id": pid, "index": i, "count": n, "html": html}
        if i == 0:
            p.update(url="http://127.0.0.1/p", title="P")
        p.update(extra)
        return frame(p)

    def parts_refused(what, data, needle, earlier_ok=True):
        answers, _ = s.run(data)
        check(answers and answers[-1].get("ok") is False and needle in answers[-1].get("error", ""),
              f"{what}: {answers[-1:]}")
        if earlier_ok:
            check(all(a.get("ok") is True and a.get("count") == 0 for a in answers[:-1]), f"{what}: {answers}")
        check(s.calls() == [], f"{what}: a call reached the bus")

    parts_refused("a gap in the parts", part(0, 3) + part(2, 3), "out of order")
    parts_refused("a part twice", part(0, 3) + part(1, 3) + part(1, 3), "out of order")
    parts_refused("a changed count", part(0, 3) + part(1, 4), "out of order")
    parts_refused("a changed id", part(0, 2) + part(1, 2, pid="b"), "out of order")
    parts_refused("a part without the first", part(1, 2), "without the page's first part")
    parts_refused("the first part again restarts", part(0, 2) + part(0, 2) + part(1, 2, url="http://x/"),
                  "only the first part")
    parts_refused("one part only", part(0, 1), "2 to 256")
    parts_refused("too many parts", part(0, 257), "2 to 256")
    parts_refused("index out of range", part(0, 2) + part(2, 2), "out of range")
    parts_refused("index a fraction", part(0, 2) + frame({"kind": "shown-part", "id": "a", "index": 1.0,
                                                          "count": 2, "html": "x"}), "whole number")
    parts_refused("a bad address in the first part", part(0, 2, url="javascript:x"), "only http")
    parts_refused("another message between the parts", part(0, 2) + frame({"kind": "x"}) + part(1, 2),
                  "without the page's first part", earlier_ok=False)
    chunk = "y" * (LIMIT - 200)
    parts_refused("over 64 MB in all", b"".join(part(i, 80, chunk) for i in range(65)), "larger than 64 MB")

    # With no program on the bus the host says so; it never claims success.
    s.stop_fake()
    answers, _ = s.run(frame({"kind": "links", "urls": ["http://127.0.0.1/1", "http://127.0.0.1/2"]}))
    check(len(answers) == 1 and answers[0]["ok"] is False and "did not take the call" in answers[0]["error"] and
          "after 0 of 2" in answers[0]["error"], f"no program: {answers}")
    s.start_fake()


def test_web_addresses_only(s):
    """A web page's links are web addresses: whatever else the browser hands
    over (a hidden file: link above all) never reaches the program, and a
    batch files its good links and says how many it left out."""
    bad = ["file:///home/u/.ssh/id_rsa", "FILE:///etc/passwd", "File://localhost/etc/shadow", "javascript:alert(1)",
           "data:text/html,<p>x", "smb://127.0.0.1/share/x", "../secret.txt", "/etc/passwd", "vltfile:///x.sh"]
    for url in bad:
        s.refused(f"page {url}", frame({"kind": "page", "url": url}), needle="only http, https and ftp")
        s.refused(f"shown {url}", frame({"kind": "shown", "url": url, "html": "<p>x</p>"}), needle="only http")
        s.refused(f"first part {url}", frame({"kind": "shown-part", "id": "f", "index": 0, "count": 2, "url": url,
                                              "html": "x"}), needle="only http")
    good = ["http://127.0.0.1/a", "HTTPS://127.0.0.1/b", "ftp://127.0.0.1/c.zip"]
    mixed = [bad[0], good[0], bad[1], bad[3], good[1], bad[4], bad[5], bad[6], good[2], bad[8], bad[2], bad[7]]
    answers, rc = s.run(frame({"kind": "links", "urls": mixed}))
    check(rc == 0 and len(answers) == 1, f"mixed links: {answers} rc {rc}")
    a = answers[0] if answers else {}
    check(a.get("ok") is True and a.get("count") == 3 and a.get("refused") == 9 and
          "9 addresses were not added: only http, https and ftp" in a.get("error", ""), f"mixed links: {a}")
    check(s.calls() == [{"method": "AddNoteFromIE", "args": [u, "", 0]} for u in good] +
          [{"method": "StartImport", "args": []}], "mixed links: calls")


def main():
    if os.environ.get("NATIVE_HOST_TEST_INNER") != "1":
        work = tempfile.mkdtemp(prefix="nativehost")
        try:
            env = dict(os.environ, NATIVE_HOST_TEST_INNER="1", NATIVE_HOST_TEST_WORK=work,
                       HOME=work, XDG_DATA_HOME=work + "/data", XDG_CONFIG_HOME=work + "/config")
            r = subprocess.run(["dbus-run-session", "--", sys.executable, *sys.argv], env=env, timeout=120)
            return r.returncode
        finally:
            shutil.rmtree(work, ignore_errors=True)
    s = Suite(sys.argv[1], os.environ["NATIVE_HOST_TEST_WORK"])
    s.start_fake()
    t0 = time.time()
    try:
        for test in (test_manifests, test_carried, test_refused, test_web_addresses_only):
            before = len(failures)
            test(s)
            print(f"{test.__name__}: {'ok' if len(failures) == before else 'FAILED'}", flush=True)
    finally:
        if s.fake:
            s.stop_fake()
    print(f"native host: {len(failures)} failure(s) in {time.time() - t0:.1f} s")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
