#!/usr/bin/env python3
"""Checks the built sample notebooks against the lists they were made from.

    check_samples.py CLIPVAULT-CLI SAMPLE-FOLDER SOURCE-FOLDER

For every src/*/contents.txt: the notebook opens cleanly, holds exactly the
listed categories and notes under the right names, every picture and
stylesheet of its pages became an attachment that a saved copy of the page
finds beside it with the original bytes, no page points back at the machine
it was built on, and every link between notes leads to the note it names.
"""
import html.parser
import json
import os
import subprocess
import sys
import tempfile
import unittest
import urllib.parse

CLI = SAMPLES = SOURCES = None


class References(html.parser.HTMLParser):
    """Collects what a page loads (img src, link href) and where it links (a href)."""

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.loads, self.links, self.title, self._in_title = [], [], "", False

    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        if tag == "img" and a.get("src"):
            self.loads.append(a["src"])
        elif tag == "link" and a.get("href"):
            self.loads.append(a["href"])
        elif tag == "a" and a.get("href"):
            self.links.append(a["href"])
        self._in_title = tag == "title"

    def handle_endtag(self, tag):
        self._in_title = False

    def handle_data(self, data):
        if self._in_title:
            self.title += data


def parse_page(data):
    p = References()
    p.feed(data.decode("utf-8"))
    return p


def run(*args):
    return subprocess.run([CLI, *args], capture_output=True, check=False)


def read_contents(path):
    """The notebook name, its category paths and its notes (kind, category, file, name)."""
    name, categories, notes = None, [], []
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\n")
            if not line or line.startswith("#"):
                continue
            fields = line.split("|")
            if fields[0] == "notebook":
                name = fields[1]
            elif fields[0] == "category":
                categories.append(fields[1])
            else:
                notes.append(tuple(fields[:4]))
    return name, categories, notes


def walk(cata, path, out):
    """Flattens the dump's tree into {category path: [notes]}."""
    out[path] = cata["notes"]
    for sub in cata["categories"]:
        walk(sub, f"{path}/{sub['name']}" if path else sub["name"], out)
    return out


class SampleNotebooks(unittest.TestCase):
    def check_notebook(self, folder):
        name, categories, listed = read_contents(os.path.join(folder, "contents.txt"))
        vlt = os.path.join(SAMPLES, name + ".vlt")
        self.assertTrue(os.path.isfile(vlt), vlt)
        dumped = run("dump", vlt)
        self.assertEqual(dumped.returncode, 0, dumped.stderr.decode())
        doc = json.loads(dumped.stdout)
        self.assertFalse(doc["password"]["set"], "a sample must open unlocked")

        tree = walk(doc["root"], "", {})
        self.assertEqual(sorted(tree), sorted([""] + categories))

        # Notes are numbered in list order from 2; pages link to each other by
        # those numbers.
        by_id = {}
        for number, (kind, cata, file, note_name) in enumerate(listed, start=2):
            source = os.path.join(folder, file)
            with open(source, "rb") as f:
                original = f.read()
            if not note_name:
                note_name = parse_page(original).title
            by_id[number] = (kind, cata, source, note_name, original)
        found = {n["id"]: (path, n) for path, notes in tree.items() for n in notes}
        self.assertEqual(sorted(found), sorted(by_id))

        attachments = {a["name"]: a for a in doc["attachments"]}
        for number, (kind, cata, source, note_name, original) in by_id.items():
            path, note = found[number]
            with self.subTest(note=note_name):
                self.assertEqual((path, note["name"]), (cata, note_name))
                self.assertEqual(note["status"], 0)
                self.assertEqual(note["content_type"], 2)
                self.assertEqual(note["source_kind"], 3 if kind == "write" else 2)
                self.assertEqual(note["ext"], os.path.splitext(source)[1][1:].replace("html", "htm"))
                content = run("cat", vlt, str(number)).stdout
                if note["ext"] != "htm":
                    self.assertEqual(content, original)
                    continue
                self.check_page(vlt, number, note, content, attachments, by_id)

    def check_page(self, vlt, number, note, content, attachments, by_id):
        page = parse_page(content)
        if note["source_kind"] == 3:
            self.assertEqual(page.loads, [], "a written note has nothing to load")
        for ref in page.loads:
            self.assertIn(ref, note["attachments"])
            self.assertIn(ref, attachments)
        self.assertEqual(sorted(set(page.loads)), sorted(note["attachments"]))

        text = content.decode("utf-8")
        self.assertNotIn("file://", text)
        self.assertNotIn(SOURCES, text)
        for href in page.links:
            self.assertTrue(href.startswith("clipvault:"), f"{href}: only links between notes travel")
            target, _, target_name = href[len("clipvault:"):].partition(" = ")
            self.assertIn(int(target), by_id, href)
            self.assertEqual(by_id[int(target)][3], target_name, href)

        # A saved copy finds every file it loads beside it, byte for byte as
        # the file the page was made from.
        with tempfile.TemporaryDirectory() as tmp:
            target = os.path.join(tmp, "page.htm")
            saved = run("export", vlt, str(number), target)
            self.assertEqual(saved.returncode, 0, saved.stderr.decode())
            with open(target, "rb") as f:
                written = parse_page(f.read())
            self.assertEqual(len(written.loads), len(page.loads))
            for ref in written.loads:
                local = os.path.normpath(os.path.join(tmp, ref.replace("\\", "/")))
                self.assertTrue(os.path.isfile(local), ref)
                origin = attachments[os.path.basename(local)]["origin"]
                origin_path = urllib.parse.unquote(urllib.parse.urlsplit(origin).path)
                with open(local, "rb") as a, open(origin_path, "rb") as b:
                    self.assertEqual(a.read(), b.read(), ref)

    def test_every_sample(self):
        folders = sorted(
            os.path.join(SOURCES, d)
            for d in os.listdir(SOURCES)
            if os.path.isfile(os.path.join(SOURCES, d, "contents.txt"))
        )
        self.assertGreaterEqual(len(folders), 2)
        for folder in folders:
            with self.subTest(sample=os.path.basename(folder)):
                self.check_notebook(folder)


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    CLI, SAMPLES, SOURCES = sys.argv[1], sys.argv[2], os.path.realpath(sys.argv[3])
    unittest.main(argv=sys.argv[:1], verbosity=2)
