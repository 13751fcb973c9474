#!/usr/bin/env python3
"""Writes the seed corpus of archive_fuzz: small record trees in the archive
encoding, covering class records, class references, schema-1 notes, wide
strings, held statuses, nested categories and attachments."""
import os
import struct
import sys

out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "corpus", "archive_fuzz")
os.makedirs(out, exist_ok=True)


def u16(v): return struct.pack("<H", v)
def u32(v): return struct.pack("<I", v)


def s(text):
    b = text.encode("utf-8") if isinstance(text, str) else text
    if len(b) < 255:
        return bytes([len(b)]) + b
    return b"\xff" + u16(len(b)) + b


def wide(text):
    b = text.encode("utf-16-le")
    return b"\xff" + u16(0xFFFE) + bytes([len(b) // 2]) + b


class Writer:
    def __init__(self):
        self.classes = {}
        self.next = 1

    def cls(self, name, schema):
        if name in self.classes:
            r = u16(0x8000 | self.classes[name])
        else:
            r = u16(0xFFFF) + u16(schema) + u16(len(name)) + name.encode()
            self.classes[name] = self.next
            self.next += 1
        self.next += 1  # the object
        return r

    def note(self, name, status=0, nid=5, schema=2, ext="htm", content=b"<html></html>", attach=(), name_bytes=None):
        r = self.cls("CNote", schema)
        r += s(ext) + (name_bytes if name_bytes else s(name)) + u32(1600000000) + u32(2) + u32(0)
        r += s("http://example.test/" + name) + u32(status)
        if schema >= 2:
            r += u32(nid)
        r += u16(len(content)) + content + u16(len(attach)) + b"".join(s(a) for a in attach)
        return r

    def cata_fields(self, name, notes, subs):
        r = s(name) + u16(len(notes))
        for key, body in notes:
            r += (key if isinstance(key, bytes) else s(key)) + body
        r += u16(len(subs))
        for key, body in subs:
            r += s(key) + body
        return r

    def cata(self, name, notes, subs):
        return self.cls("CNoteCata", 1) + self.cata_fields(name, notes, subs)

    def attach(self, name, origin, data):
        return self.cls("CNoteAttatch", 1) + s(name) + s(origin) + u16(len(data)) + data


def write(name, data):
    with open(os.path.join(out, name), "wb") as f:
        f.write(data)


write("empty-root", b"\x00\x00\x00\x00\x00")

w = Writer()
inner = w.cata("inner", [("n3", w.note("n3", status=6, nid=4))], [])
root = w.cata_fields("", [("n1", w.note("n1", nid=2, attach=["vltlogo.gif"])),
                          ("n2", w.note("n2", status=1, nid=3))],
                     [("inner", inner)])
write("tree-with-attachment", root + w.attach("vltlogo.gif", "http://example.test/logo.gif", b"GIF89a"))

w = Writer()
write("schema1-notes", w.cata_fields("", [("a", w.note("a", schema=1)), ("b", w.note("b", schema=1, status=3))], []))

w = Writer()
body = w.note("x", name_bytes=wide("\u4e2d\u6587"))
write("wide-names", w.cata_fields("", [(wide("\u4e2d\u6587"), body)], []))

w = Writer()
subs = []
for i in range(6):
    subs.append(("c%d" % i, w.cata("c%d" % i, [("n", w.note("n", nid=10 + i))], [])))
write("many-categories", w.cata_fields("", [], subs))

w = Writer()
note = w.note("dup", nid=2)
note2 = w.note("dup", nid=3, status=6)
write("duplicate-key", w.cata_fields("", [("dup", note), ("dup", note2)], []))
