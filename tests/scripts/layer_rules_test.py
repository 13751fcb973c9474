#!/usr/bin/env python3
"""The layer script catches what it must and lets the allowed edges through."""
import subprocess
import sys
import tempfile
from pathlib import Path

SCRIPT = Path(__file__).resolve().parents[2] / "scripts" / "layer_rules.py"


def run(files):
    with tempfile.TemporaryDirectory() as d:
        for rel, text in files.items():
            p = Path(d) / rel
            p.parent.mkdir(parents=True, exist_ok=True)
            p.write_text(text)
        r = subprocess.run([sys.executable, str(SCRIPT), d], capture_output=True, text=True)
        return r.returncode, r.stdout


failures = []


def expect(name, files, code, lines=()):
    got, out = run(files)
    if got != code or any(l not in out.splitlines() for l in lines):
        failures.append(f"{name}: exit {got}, output:\n{out}")


# Upward edges, however they are spelled.
expect("core includes a frame", {"document/Doc.cpp": '#include "frame/ChildFrame.h"\n'}, 1,
       ["document/Doc.cpp -> frame/ChildFrame.h"])
expect("relative spelling", {"capture/gui/View.cpp": '#include "../../frame/ChildFrame.h"\n'}, 1,
       ["capture/gui/View.cpp -> frame/ChildFrame.h"])
expect("angle spelling", {"platform/gui/Box.cpp": "#include <app/ClipVaultApp.h>\n"}, 1,
       ["platform/gui/Box.cpp -> app/ClipVaultApp.h"])
expect("core reaches a Qt piece", {"capture/Scan.cpp": '#include "platform/gui/QtText.h"\n'}, 1)
expect("options store reaches the window part", {"app/AppOptions.cpp": '#include "app/ClipVaultApp.h"\n'}, 1)
expect("program includes the extension", {"frame/Main.cpp": '#include "ctxmenu/Ext.h"\n'}, 1)
expect("extension includes the program", {"ctxmenu/Ext.cpp": '#include "platform/Url.h"\n'}, 1)
expect("each problem listed", {"platform/A.cpp": '#include "document/B.h"\n#include "capture/C.h"\n'}, 1,
       ["platform/A.cpp -> document/B.h", "platform/A.cpp -> capture/C.h"])

# Downward and sideways edges are fine.
expect("allowed edges", {
    "frame/Main.cpp": '#include "frame/Child.h"\n#include "capture/gui/View.h"\n#include "app/AppOptions.h"\n'
                      '#include "platform/gui/CmdTarget.h"\n#include <QWidget>\n#include "Local.h"\n',
    "app/ClipVaultApp.cpp": '#include "frame/MainFrame.h"\n#include "views/Editor.h"\n',
    "capture/NoteCapture.cpp": '#include "document/Records.h"\n#include <curl/curl.h>\n',
    "app/cli/CliMain.cpp": '#include "app/AppOptions.h"\n#include "capture/PageScanner.h"\n',
    "ctxmenu/Ext.cpp": '#include "ctxmenu/Ext.h"\n#include <gio/gio.h>\n',
}, 0)

for f in failures:
    print(f)
print(f"layer_rules_test: {len(failures)} failure(s)")
sys.exit(1 if failures else 0)
