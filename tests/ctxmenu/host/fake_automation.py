#!/usr/bin/env python3
"""A stand-in for the program's automation service on the session bus: it
owns org.clipvault.Clipvault and writes every call it gets, one JSON line
each, to the file named on its command line. It writes "ready" to standard
output once the name is its own, and ends on SIGTERM."""
import json
import os
import signal
import sys

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

IFACE = "org.clipvault.Automation"


class Automation(dbus.service.Object):
    def __init__(self, bus, log):
        super().__init__(bus, "/org/clipvault/Clipvault")
        self.log = log

    def record(self, method, *args):
        self.log.write(json.dumps({"method": method, "args": list(args)}) + "\n")
        self.log.flush()

    @dbus.service.method(IFACE, in_signature="ssi", out_signature="i")
    def AddNoteFromIE(self, url, title, kind):
        self.record("AddNoteFromIE", str(url), str(title), int(kind))
        return 0

    @dbus.service.method(IFACE, in_signature="sss", out_signature="")
    def AddNoteFromPage(self, url, title, html):
        self.record("AddNoteFromPage", str(url), str(title), str(html))

    @dbus.service.method(IFACE, in_signature="", out_signature="")
    def StartImport(self):
        self.record("StartImport")

    @dbus.service.method(IFACE, in_signature="v", out_signature="")
    def AddNotesFromFiles(self, files):
        self.record("AddNotesFromFiles", [str(f) for f in files])


def main():
    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    log = open(sys.argv[1], "a", encoding="utf-8")
    name = dbus.service.BusName("org.clipvault.Clipvault", bus, do_not_queue=True)
    svc = Automation(bus, log)
    loop = GLib.MainLoop()
    GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGTERM, loop.quit)
    print("ready", flush=True)
    loop.run()
    log.close()
    # The bus may be gone already; releasing the name would only complain.
    os._exit(0)


if __name__ == "__main__":
    main()
