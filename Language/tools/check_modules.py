#!/usr/bin/env python3
"""Checks the sources of the language modules before they are bundled.

The program trusts the modules blindly: a missing string shows as an empty
box, a placeholder in the wrong place crashes a printf, a toolbar strip that
is one picture short shifts every later button's picture. This catches those
mistakes, and the ones that make the two languages drift apart.

Usage: check_modules.py [Language folder]   (default: the folder above tools/)
Exit status 0 when everything is in order; otherwise every problem is listed.
"""
import json
import re
import struct
import sys
import xml.etree.ElementTree as ET
from pathlib import Path

LANGUAGES = {"Eng": "VLTEng.qrc", "Chn": "VLTChn.qrc"}
MENUS = ("233", "234", "167", "173")
ACCELERATORS = ("233", "234")
TOOLBARS = ("233", "136", "144", "232")
# Dialog templates the program loads by id.
DIALOGS = ("100", "101", "141", "142", "143", "144", "145", "147", "151", "155", "169", "170", "171", "180", "184", "185", "187", "189")
# Controls a user types into or picks from: each needs a name that screen
# readers can say, from a label that is its buddy or its own accessibleName.
INPUTS = {"QLineEdit", "QComboBox", "QFontComboBox", "QSpinBox", "QListWidget", "QTreeWidget", "QListView",
          "QTreeView", "QTextEdit", "QPlainTextEdit", "QKeySequenceEdit"}
# The tip of the day.
DIALOGS += ("105",)
# Fixed pictures: resource path -> (width, height).
PICTURES = {
    "bitmaps/237.png": (192, 16),
    "bitmaps/104.png": (48, 48),
    "icons/233.png": (64, 64),
    "icons/233-32.png": (32, 32),
    "icons/233-16.png": (16, 16),
}
# printf conversions, and the strftime ones of the date format (the date
# format must keep its fields in the same order too).
PLACEHOLDER = re.compile(r"%[1-9](?![0-9a-zA-Z])|%[-+ #0]*\d*(?:\.\d+)?[a-zA-Z]")
KEY = re.compile(r"^(?:(?:Ctrl|Shift|Alt|Meta)\+)*(?:[A-Z0-9]|F(?:[1-9]|1[0-2])|Left|Right|Up|Down|"
                 r"PgUp|PgDown|Home|End|Ins|Del|Return|Enter|Esc|Tab|Backspace|Space|Plus|Minus)$")


class Checker:
    def __init__(self, root):
        self.root = root
        self.problems = []

    def fail(self, where, what):
        self.problems.append(f"{where}: {what}")

    # ------------------------------------------------------------ strings
    def read_strings(self, path):
        strings = {}
        for n, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
            where = f"{path.relative_to(self.root)}:{n}"
            if not line.strip() or line.startswith("#"):
                continue
            m = re.match(r"^(\d+)\t(.*)$", line)
            if not m:
                self.fail(where, "not '<id><TAB><text>'")
                continue
            sid, text = int(m.group(1)), m.group(2)
            if sid in strings:
                self.fail(where, f"string {sid} given twice")
            if not text.strip():
                self.fail(where, f"string {sid} is empty")
            bad = re.search(r"\\(?![nt\\])", text.replace("\\\\", ""))
            if bad:
                self.fail(where, f"string {sid} has an unknown escape at '{text[bad.start():bad.start() + 2]}'")
            strings[sid] = text
        return strings

    def compare_strings(self, all_strings):
        (a_name, a), (b_name, b) = all_strings.items()
        for sid in sorted(set(a) ^ set(b)):
            self.fail("strings", f"{sid} is in {a_name if sid in a else b_name} only")
        for sid in sorted(set(a) & set(b)):
            pa, pb = PLACEHOLDER.findall(a[sid]), PLACEHOLDER.findall(b[sid])
            if pa != pb:
                self.fail("strings", f"{sid}: placeholders {pa} in {a_name} but {pb} in {b_name}")

    # ------------------------------------------------------------ menus
    def walk_menu(self, items, where, commands, top=False):
        """Checks one popup's items; returns its shape for comparing languages."""
        shape, mnemonics = [], {}
        for i, item in enumerate(items):
            at = f"{where}[{i}]"
            if item.get("separator"):
                shape.append("-")
                continue
            text = item.get("text")
            if not isinstance(text, str) or not text:
                self.fail(at, "item without text")
                continue
            if "\t" in text:
                self.fail(at, f"'{text}' carries a shortcut; the program adds those")
            letters = re.findall(r"&(.)", text.replace("&&", ""))
            if len(letters) > 1 or text.replace("&&", "").endswith("&"):
                self.fail(at, f"'{text}' has a broken mnemonic")
            elif letters and not top:
                key = letters[0].lower()
                if key in mnemonics:
                    self.fail(at, f"'{text}' shares its mnemonic with '{mnemonics[key]}'")
                mnemonics[key] = text
            if "items" in item:
                sub = self.walk_menu(item["items"], f"{at} '{text}'", commands)
                shape.append(("popup", bool(item.get("windowList")), sub))
            elif top:
                self.fail(at, f"'{text}' at the top level is not a popup")
            elif isinstance(item.get("id"), int) and item["id"] > 0:
                commands.add(item["id"])
                shape.append(item["id"])
            else:
                self.fail(at, f"'{text}' has no command id")
        return shape

    def check_menus(self, lang, commands):
        shapes = {}
        for mid in MENUS:
            path = self.root / lang / "menus" / f"{mid}.json"
            menu = self.load_json(path)
            if menu is None:
                continue
            shapes[mid] = self.walk_menu(menu.get("items", []), f"{lang} menu {mid}", commands, top=True)
        tray = shapes.get("167")
        if tray and (not tray[0][2] or tray[0][2][0] != 33007):
            self.fail(f"{lang} menu 167", "the tray menu must start with 33007 (show the window)")
        if "173" in shapes and len(shapes["173"]) < 2:
            self.fail(f"{lang} menu 173", "needs the tree's and the list's context menus")
        return shapes

    # ------------------------------------------------------------ toolbars and pictures
    def png_size(self, path):
        with open(path, "rb") as f:
            head = f.read(24)
        if head[:8] != b"\x89PNG\r\n\x1a\n" or head[12:16] != b"IHDR":
            self.fail(path.relative_to(self.root), "not a PNG file")
            return None
        return struct.unpack(">II", head[16:24])

    def check_toolbars(self, commands):
        for tid in TOOLBARS:
            bar = self.load_json(self.root / "common" / "toolbars" / f"{tid}.json")
            if bar is None:
                continue
            items = bar.get("items", [])
            if not all(isinstance(i, int) and i >= 0 for i in items):
                self.fail(f"toolbar {tid}", "items must be command ids or 0")
                continue
            buttons = [i for i in items if i]
            commands.update(buttons)
            strip = self.root / "common" / "bitmaps" / f"{tid}.png"
            if not strip.exists():
                self.fail(f"toolbar {tid}", f"{strip.name} is missing")
                continue
            size = self.png_size(strip)
            want = (len(buttons) * bar.get("width", 0), bar.get("height", 0))
            if size and size != want:
                self.fail(f"toolbar {tid}", f"strip is {size[0]}x{size[1]}, {len(buttons)} buttons need {want[0]}x{want[1]}")
        fmt = self.load_json(self.root / "common" / "toolbars" / "144.json") or {}
        items = fmt.get("items", [])
        # The frame turns buttons 0 and 1 into the font boxes and hangs menus
        # under buttons 3 and 8.
        if items[:2] != [32823, 32824] or len(items) < 9 or not items[3] or not items[8]:
            self.fail("toolbar 144", "needs 32823 and 32824 first and buttons at positions 3 and 8")

    # ------------------------------------------------------------ qrc files
    def check_qrc(self, lang, qrc_name):
        path = self.root / qrc_name
        try:
            files = ET.parse(path).getroot().iter("file")
        except (OSError, ET.ParseError) as e:
            self.fail(qrc_name, f"cannot be read: {e}")
            return set()
        aliases = set()
        for f in files:
            alias = f.get("alias") or f.text
            if alias in aliases:
                self.fail(qrc_name, f"{alias} is listed twice")
            aliases.add(alias)
            if not (self.root / f.text).is_file():
                self.fail(qrc_name, f"{f.text} does not exist")
            elif alias in PICTURES:
                size = self.png_size(self.root / f.text)
                if size and size != PICTURES[alias]:
                    self.fail(qrc_name, f"{alias} is {size[0]}x{size[1]}, not {PICTURES[alias][0]}x{PICTURES[alias][1]}")
        needed = {"strings.txt", "info.json", "bitmaps/103.png", *PICTURES}
        needed |= {f"menus/{m}.json" for m in MENUS} | {f"accelerators/{a}.json" for a in ACCELERATORS}
        needed |= {f"toolbars/{t}.json" for t in TOOLBARS} | {f"bitmaps/{t}.png" for t in TOOLBARS}
        for missing in sorted(needed - aliases):
            self.fail(qrc_name, f"{missing} is not in the module")
        info = self.load_json(self.root / lang / "info.json")
        if info is not None and info.get("language") != lang:
            self.fail(f"{lang}/info.json", f"says {info.get('language')!r}")
        return aliases

    # ------------------------------------------------------------ dialog templates
    def read_dialog(self, lang, did):
        """Checks one template; returns {control id: class} for comparing languages."""
        path = self.root / lang / "dialogs" / f"{did}.ui"
        where = f"{lang}/dialogs/{did}.ui"
        try:
            ui = ET.parse(path).getroot()
        except (OSError, ET.ParseError) as e:
            self.fail(where, f"cannot be read: {e}")
            return None
        top = ui.find("widget")
        if top is None or top.get("name") != did:
            self.fail(where, f"the top widget must be named {did}")
            return None
        if top.get("class") != "QWidget":
            self.fail(where, "the top widget must be a QWidget (the program puts it into its own dialog)")
        title = top.find("./property[@name='windowTitle']/string")
        if title is None or not (title.text or "").strip():
            self.fail(where, "has no window title")
        controls, buddies = {}, set()
        for w in top.iter("widget"):
            if w is top:
                continue
            name, cls = w.get("name", ""), w.get("class", "")
            if not name.isdigit():
                self.fail(where, f"control {name!r} is not named by its numeric id")
                continue
            if name in controls:
                self.fail(where, f"control {name} is there twice")
            controls[name] = cls
            buddy = w.find("./property[@name='buddy']/cstring")
            if buddy is not None and buddy.text:
                buddies.add(buddy.text)
        for w in top.iter("widget"):
            name, cls = w.get("name", ""), w.get("class", "")
            if cls in INPUTS and name not in buddies and w.find("./property[@name='accessibleName']") is None:
                self.fail(where, f"{cls} {name} has neither a label buddy nor an accessibleName")
        return controls

    def check_dialogs(self, aliases):
        forms = {}
        for lang in LANGUAGES:
            forms[lang] = {did: self.read_dialog(lang, did) for did in DIALOGS}
            for did in DIALOGS:
                if f"dialogs/{did}.ui" not in aliases[lang]:
                    self.fail(LANGUAGES[lang], f"dialogs/{did}.ui is not in the module")
            extra = {p.stem for p in (self.root / lang / "dialogs").glob("*.ui")} - set(DIALOGS)
            for did in sorted(extra):
                self.fail(f"{lang}/dialogs/{did}.ui", "is not a template the program loads (add it to DIALOGS)")
        (a_name, a), (b_name, b) = forms.items()
        for did in DIALOGS:
            if a[did] is None or b[did] is None:
                continue
            for cid in sorted(set(a[did]) ^ set(b[did]), key=int):
                self.fail(f"dialog {did}", f"control {cid} is in {a_name if cid in a[did] else b_name} only")
            for cid in sorted(set(a[did]) & set(b[did]), key=int):
                if a[did][cid] != b[did][cid]:
                    self.fail(f"dialog {did}", f"control {cid} is a {a[did][cid]} in {a_name} but a {b[did][cid]} in {b_name}")

    # ------------------------------------------------------------ helpers
    def load_json(self, path):
        try:
            return json.loads(path.read_text(encoding="utf-8"))
        except (OSError, ValueError) as e:
            self.fail(path.relative_to(self.root), f"cannot be read: {e}")
            return None

    def run(self):
        strings, shapes, commands, aliases = {}, {}, set(), {}
        for lang, qrc in LANGUAGES.items():
            strings[lang] = self.read_strings(self.root / lang / "strings.txt")
            shapes[lang] = self.check_menus(lang, commands)
            aliases[lang] = self.check_qrc(lang, qrc)
        self.compare_strings(strings)
        self.check_dialogs(aliases)
        (a_name, a), (b_name, b) = shapes.items()
        for mid in MENUS:
            if mid in a and mid in b and a[mid] != b[mid]:
                self.fail(f"menu {mid}", f"{a_name} and {b_name} differ in their commands or layout")
        self.check_toolbars(commands)
        for aid in ACCELERATORS:
            table = self.load_json(self.root / "common" / "accelerators" / f"{aid}.json") or []
            seen = {}
            for entry in table:
                key, cmd = entry.get("key"), entry.get("id")
                if not isinstance(key, str) or not KEY.match(key):
                    self.fail(f"accelerators {aid}", f"{key!r} is not a key the program can read")
                elif key in seen:
                    self.fail(f"accelerators {aid}", f"{key} is given to {seen[key]} and {cmd}")
                seen[key] = cmd
                commands.add(cmd)
        for lang, table in strings.items():
            for cmd in sorted(commands):
                text = table.get(cmd)
                parts = text.split("\\n") if text else []
                if len(parts) != 2 or not all(p.strip() for p in parts):
                    self.fail(f"{lang}/strings.txt", f"command {cmd} needs '<prompt>\\n<tip>', has {text!r}")
            if len(table.get(234, "").split("\\n")) != 7:
                self.fail(f"{lang}/strings.txt", "document string 234 needs seven fields")
        return self.problems


def main():
    root = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent
    problems = Checker(root.resolve()).run()
    for p in problems:
        print(p)
    print(f"check_modules: {len(problems)} problem(s)" if problems else "check_modules: all good")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
