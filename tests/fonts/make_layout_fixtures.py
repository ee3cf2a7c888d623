#!/usr/bin/python3
"""Generate the fonts the paragraph-layout tests load.

Run with Debian's Python (python3-fonttools, python3-brotli):

    /usr/bin/python3 tests/fonts/make_layout_fixtures.py          # bidi.ttf, committed
    /usr/bin/python3 tests/fonts/make_layout_fixtures.py --web DIR # WOFF and WOFF2 in DIR

bidi.ttf maps every character of the Unicode Character Database's
BidiCharacterTest.txt (Debian's unicode-data) to a glyph of its own and has no
GSUB or GPOS, so that each character becomes exactly one glyph of its own
cluster (marks excepted, which HarfBuzz clusters with their base) and the
layout's visual order can be read off the glyphs.  It is byte-for-byte
reproducible: rerun it after editing and commit the font with this script.

--web writes WOFF and WOFF2 copies of Debian fonts (DejaVu Sans, FreeSans) for
the tests that compare them with the originals; they are built into the build
tree at test time rather than committed, since they are copies of large fonts.
"""

import os
import sys

from fontTools.fontBuilder import FontBuilder
from fontTools.pens.ttGlyphPen import TTGlyphPen
from fontTools.ttLib import TTFont

HERE = os.path.dirname(os.path.abspath(__file__))
BIDI_TEST = "/usr/share/unicode/BidiCharacterTest.txt"
WEB_SOURCES = [
    ("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", "DejaVuSans", ["woff", "woff2"]),
    ("/usr/share/fonts/opentype/freefont/FreeSans.otf", "FreeSans", ["woff2"]),
]
# 2024-01-01T00:00:00Z in head-table time, so that the font is reproducible.
FIXED_TIMESTAMP = 1704067200 + 2082844800
UPEM = 1000


def bidi_test_characters():
    with open(BIDI_TEST, encoding="utf-8") as lines:
        fields = (line.split("#", 1)[0].split(";")[0] for line in lines)
        return sorted({int(c, 16) for field in fields for c in field.split()})


def box(width):
    pen = TTGlyphPen(None)
    pen.moveTo((50, 0))
    for point in ((50, 700), (width - 50, 700), (width - 50, 0)):
        pen.lineTo(point)
    pen.closePath()
    return pen.glyph()


def make_bidi():
    codes = bidi_test_characters()
    order = [".notdef"] + ["u%04X" % c for c in codes]
    glyphs = {name: box(500) for name in order}
    fb = FontBuilder(UPEM, isTTF=True)
    fb.setupGlyphOrder(order)
    fb.setupCharacterMap({c: "u%04X" % c for c in codes})
    fb.setupGlyf(glyphs)
    fb.setupHorizontalMetrics({name: (500, 50) for name in order})
    fb.setupHorizontalHeader(ascent=800, descent=-200)
    fb.setupNameTable({"familyName": "Glyva Bidi Test", "styleName": "Regular"})
    fb.setupOS2(sTypoAscender=800, sTypoDescender=-200, usWinAscent=800, usWinDescent=200)
    fb.setupPost(keepGlyphNames=False)
    fb.updateHead(created=FIXED_TIMESTAMP, modified=FIXED_TIMESTAMP)
    path = os.path.join(HERE, "bidi.ttf")
    fb.save(path)
    print("wrote %s (%d characters)" % (path, len(codes)))


def make_web(folder):
    os.makedirs(folder, exist_ok=True)
    for source, stem, flavors in WEB_SOURCES:
        for flavor in flavors:
            font = TTFont(source)
            font.flavor = flavor
            font.save(os.path.join(folder, "%s.%s" % (stem, flavor)))


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "--web":
        make_web(sys.argv[2])
    elif len(sys.argv) == 1:
        make_bidi()
    else:
        sys.exit("usage: make_layout_fixtures.py [--web FOLDER]")


if __name__ == "__main__":
    main()
