#!/usr/bin/python3
"""Do a page's highlights show in a browser once the page is saved out?
Opens an exported page in headless Chromium, cut off from the network with
the flags the offline check uses, and reads the document Chromium built:
every <mark data-cv-highlight="ID"> must be there with its comment and the
text it covers, and every picture the page shows must have loaded.

    highlight_export_check.py PAGE ID COMMENT TEXT

Prints PASS or FAIL with the reasons; exits 0 only on PASS.
"""

import html.parser
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from offline_check import FLAGS  # noqa: E402


class Marks(html.parser.HTMLParser):
    def __init__(self):
        super().__init__()
        self.marks = []  # [attrs, text]
        self.open = []
        self.images = []

    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        if tag == "mark" and "data-cv-highlight" in a:
            self.marks.append([a, ""])
            self.open.append(len(self.marks) - 1)
        elif tag == "mark":
            self.open.append(None)
        if tag == "img" and a.get("src"):
            self.images.append(a["src"])

    def handle_endtag(self, tag):
        if tag == "mark" and self.open:
            self.open.pop()

    def handle_data(self, data):
        for i in self.open:
            if i is not None:
                self.marks[i][1] += data


def main():
    page, ident, comment, text = sys.argv[1:5]
    chromium = shutil.which("chromium") or "chromium"
    with tempfile.TemporaryDirectory() as profile:
        out = subprocess.run([chromium, *FLAGS, "--user-data-dir=" + profile, "--dump-dom",
                              "file://" + os.path.abspath(page)],
                             capture_output=True, timeout=60, text=True)
    problems = []
    if out.returncode != 0:
        problems.append("chromium ended with %d: %s" % (out.returncode, out.stderr[-400:]))
    parser = Marks()
    parser.feed(out.stdout)
    mine = [m for m in parser.marks if m[0].get("data-cv-highlight") == ident]
    if not mine:
        problems.append("no mark of highlight %s among %d marks" % (ident, len(parser.marks)))
    for attrs, _ in mine:
        if attrs.get("data-cv-comment") != comment:
            problems.append("comment %r, not %r" % (attrs.get("data-cv-comment"), comment))
        if "cv-highlight" not in attrs.get("class", "").split():
            problems.append("a mark without its class: %r" % attrs.get("class"))
    # The pieces join where the page's elements met; white space may differ.
    joined = "".join(t for _, t in mine)
    if "".join(joined.split()) != "".join(text.split()):
        problems.append("the marks cover %r, not %r" % (joined, text))
    folder = os.path.dirname(os.path.abspath(page))
    for src in parser.images:
        if "://" in src or not os.path.isfile(os.path.join(folder, src)):
            problems.append("a picture that is not beside the page: %s" % src)
    print(("FAIL " + "; ".join(problems)) if problems else "PASS %d marks" % len(mine))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
