#!/usr/bin/env python3
"""Fails when a source file includes a header of a room above its own.

The rooms of src/, lowest first: platform, document, capture, the core part
of app (the options store and the command-line tool), platform/gui, views and
capture/gui, frame, and the window part of app, which builds the rest. A
room may include its own headers and those of the rooms below it; ctxmenu,
the file manager's extension, includes nothing of the program.

Usage: layer_rules.py [src folder]   (default: ../src beside this script)
Prints every forbidden include as "file -> header" and exits 1 when there is one.
"""
import os
import re
import sys
from pathlib import Path

RANK = {"platform": 1, "document": 2, "capture": 3, "app/core": 4, "platform/gui": 5,
        "views": 6, "capture/gui": 6, "frame": 7, "app": 8}
INCLUDE = re.compile(r'^\s*#\s*include\s+(?:"([^"]+)"|<([^>]+)>)', re.M)
ROOMS = ("platform", "document", "capture", "app", "views", "frame", "ctxmenu")


def room(rel):
    """The room of a path relative to src/."""
    for prefix, name in (("app/cli/", "app/core"), ("platform/gui/", "platform/gui"),
                         ("capture/gui/", "capture/gui"), ("ctxmenu/", "ctxmenu")):
        if rel.startswith(prefix):
            return name
    if rel.startswith(("app/AppOptions", "app/Version")):
        return "app/core"
    return rel.split("/", 1)[0]


def check(src):
    problems = []
    for path in sorted(src.rglob("*")):
        if path.suffix not in (".h", ".cpp", ".in") or not path.is_file():
            continue
        rel = path.relative_to(src).as_posix()
        mine = room(rel)
        for quoted, angled in INCLUDE.findall(path.read_text(errors="replace")):
            inc = quoted or angled
            if inc.startswith("."):
                # Spelled from the file's own folder: name it from src/.
                inc = os.path.normpath(os.path.join(os.path.dirname(rel), inc)).replace(os.sep, "/")
            elif "/" not in inc:
                continue  # a header beside the file, or a generated one of its own room
            if inc.split("/", 1)[0] not in ROOMS:
                continue  # a library's header (<QWidget>, <curl/curl.h>)
            theirs = room(inc)
            if mine == "ctxmenu":
                bad = theirs != "ctxmenu"
            else:
                bad = theirs == "ctxmenu" or (mine in RANK and theirs in RANK and RANK[theirs] > RANK[mine])
            if bad:
                problems.append(f"{rel} -> {inc}")
    return problems


def main():
    src = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent / "src"
    problems = check(src)
    for p in problems:
        print(p)
    print(f"layer_rules: {len(problems)} include(s) against the layers" if problems else "layer_rules: all good")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
