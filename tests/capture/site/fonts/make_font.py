# Made once with Debian's python3-fonttools: /usr/bin/python3 make_font.py
# A small OpenType font of our own for the test site: a box for "A" and a
# diamond for "B", nothing more.
from fontTools.fontBuilder import FontBuilder
from fontTools.pens.t2CharStringPen import T2CharStringPen

fb = FontBuilder(1000, isTTF=False)
fb.setupGlyphOrder([".notdef", "A", "B", "space"])
fb.setupCharacterMap({0x41: "A", 0x42: "B", 0x20: "space"})

def box(pen, x0, y0, x1, y1):
    pen.moveTo((x0, y0)); pen.lineTo((x1, y0)); pen.lineTo((x1, y1)); pen.lineTo((x0, y1)); pen.closePath()

glyphs = {}
for name in [".notdef", "A", "B", "space"]:
    pen = T2CharStringPen(600, None)
    if name == ".notdef":
        box(pen, 50, 0, 550, 700)
    elif name == "A":
        box(pen, 100, 0, 500, 700)
    elif name == "B":
        pen.moveTo((300, 0)); pen.lineTo((550, 350)); pen.lineTo((300, 700)); pen.lineTo((50, 350)); pen.closePath()
    glyphs[name] = pen.getCharString()
fb.setupCFF("ClipvaultTestGlyphs", {"FullName": "Clipvault Test Glyphs"}, glyphs, {})
fb.setupHorizontalMetrics({n: (600, 50) for n in glyphs})
fb.setupHorizontalHeader(ascent=800, descent=-200)
fb.setupNameTable({"familyName": "Clipvault Test Glyphs", "styleName": "Regular"})
fb.setupOS2(sTypoAscender=800, usWinAscent=800, usWinDescent=200)
fb.setupPost()
fb.save("glyphs.otf")
