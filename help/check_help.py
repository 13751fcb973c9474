#!/usr/bin/env python3
"""Checks the help folder as the help window will find it.

    check_help.py HELP-FOLDER

Every context the windows ask for has a page with a title, the contents page
reaches each of them, and no link or stylesheet of any page leads nowhere.
"""
import html.parser
import os
import sys
import unittest

FOLDER = None
CONTEXTS = range(4001, 4012)


class Page(html.parser.HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.refs, self.anchors, self.title, self._in_title = [], set(), "", False

    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        for key in ("href", "src"):
            if a.get(key):
                self.refs.append(a[key])
        for key in ("name", "id"):
            if a.get(key):
                self.anchors.add(a[key])
        self._in_title = tag == "title"

    def handle_endtag(self, tag):
        self._in_title = False

    def handle_data(self, data):
        if self._in_title:
            self.title += data.strip()


def load(name):
    p = Page()
    with open(os.path.join(FOLDER, name), encoding="utf-8") as f:
        p.feed(f.read())
    return p


class HelpPages(unittest.TestCase):
    def test_every_context_has_a_titled_page_on_the_contents(self):
        index = load("index.htm")
        for n in CONTEXTS:
            with self.subTest(context=n):
                self.assertTrue(load(f"{n}.htm").title)
                self.assertIn(f"{n}.htm", index.refs)

    def test_links_lead_somewhere(self):
        pages = sorted(f for f in os.listdir(FOLDER) if f.endswith(".htm"))
        parsed = {name: load(name) for name in pages}
        for name, page in parsed.items():
            for ref in page.refs:
                if "://" in ref or ref.startswith("mailto:"):
                    continue
                target, _, anchor = ref.partition("#")
                target = target or name
                with self.subTest(page=name, link=ref):
                    self.assertTrue(os.path.isfile(os.path.join(FOLDER, target)))
                    if anchor:
                        self.assertIn(anchor, parsed[target].anchors)


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    FOLDER = sys.argv[1]
    unittest.main(argv=sys.argv[:1], verbosity=2)
