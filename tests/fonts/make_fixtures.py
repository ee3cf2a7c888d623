#!/usr/bin/python3
"""Generate the small fixture fonts the Glyva tests load, byte for byte reproducibly:

    /usr/bin/python3 tests/fonts/make_fixtures.py

Glyva loads glyphs unhinted at 640 26.6 units (10 px) per em, so the TrueType fixtures
use unitsPerEm 640: every font unit is one 26.6 unit of the loaded outline and the
tests' hand-computed values are exact. The CFF fixture's coordinates are multiples of
25 units at unitsPerEm 1000, whole 26.6 units (x 0.64). tests/fonts/README.md says
what each glyph is for.
"""

import math
import os
import struct
import sys

from fontTools.fontBuilder import FontBuilder
from fontTools.misc.roundTools import otRound
from fontTools.pens.boundsPen import BoundsPen
from fontTools.pens.t2CharStringPen import T2CharStringPen
from fontTools.ttLib import TTCollection, newTable
from fontTools.ttLib.tables import _g_l_y_f
from fontTools.ttLib.tables._c_m_a_p import cmap_classes
from fontTools.ttLib.tables._k_e_r_n import KernTable_format_0
from fontTools.ttLib.tables.TupleVariation import TupleVariation
from fontTools.ttLib.tables.ttProgram import Program

HERE = os.path.dirname(os.path.abspath(__file__))
# 2024-01-01 in head-table time, so that regenerated fonts equal the committed ones.
FIXED_TIMESTAMP = 1704067200 + 2082844800
ON, OFF = True, False


def tt_glyph(contours):
    """A glyf glyph from (x, y, on_curve) contours written as given, since the fixtures
    hold outlines a pen would normalise away."""
    g = _g_l_y_f.Glyph()
    coords, flags, ends = [], [], []
    for contour in contours:
        for x, y, on in contour:
            coords.append((x, y))
            flags.append(_g_l_y_f.flagOnCurve if on else 0)
        ends.append(len(coords) - 1)
    g.numberOfContours = len(contours)
    g.coordinates = _g_l_y_f.GlyphCoordinates(coords)
    g.flags = bytearray(flags)
    g.endPtsOfContours = ends
    g.program = Program()
    g.program.fromBytecode(b"")
    return g


def on_poly(*pts):
    return [(x, y, ON) for x, y in pts]


def rect_cw(x0, y0, x1, y1):
    return on_poly((x0, y0), (x0, y1), (x1, y1), (x1, y0))


def rect_ccw(x0, y0, x1, y1):
    return on_poly((x0, y0), (x1, y0), (x1, y1), (x0, y1))


def cmap_subtable(fmt, plat, enc, mapping):
    st = cmap_classes[fmt](fmt)
    st.platformID, st.platEncID, st.language = plat, enc, 0
    st.cmap = dict(mapping)
    return st


def unicode_cmap_tables(mapping):
    return [cmap_subtable(4, 0, 3, mapping), cmap_subtable(4, 3, 1, mapping)]


def build_ttf(order, glyphs, cmap_tables, advances, family, kern_pairs=None, upem=640,
              glyph_names=True):
    fb = FontBuilder(upem, isTTF=True)
    fb.updateHead(created=FIXED_TIMESTAMP, modified=FIXED_TIMESTAMP)
    fb.setupGlyphOrder(order)
    fb.setupCharacterMap({})  # a placeholder for the later setup steps
    fb.font["cmap"].tables = cmap_tables
    fb.setupGlyf(glyphs)
    glyf = fb.font["glyf"]
    # lsb == xMin, so that FreeType's loader does not shift the outline.
    fb.setupHorizontalMetrics({n: (advances[n], getattr(glyf[n], "xMin", 0)
                                   if glyf[n].numberOfContours else 0) for n in order})
    fb.setupHorizontalHeader(ascent=upem, descent=-(upem // 4))
    fb.setupNameTable({"familyName": family, "styleName": "Regular"}, mac=False)
    fb.setupOS2(sTypoAscender=upem, sTypoDescender=-(upem // 4), usWinAscent=upem,
                usWinDescent=upem // 4, achVendID="GLYV")
    fb.setupPost(keepGlyphNames=glyph_names)
    if kern_pairs is not None:
        kern, sub = newTable("kern"), KernTable_format_0()
        sub.coverage, sub.tupleIndex, sub.kernTable = 1, None, dict(kern_pairs)
        kern.version, kern.kernTables = 0, [sub]
        fb.font["kern"] = kern
    return fb


def save(fb, name):
    path = os.path.join(HERE, name)
    fb.font.recalcTimestamp = False
    fb.save(path)
    return path


NOTDEF = [rect_cw(0, 0, 320, 640), rect_ccw(64, 64, 256, 576)]

FIXTURE_GLYPHS = [
    (".notdef", None, tt_glyph(NOTDEF)),
    ("space", " ", tt_glyph([])),
    ("square", "A", tt_glyph([rect_cw(0, 0, 320, 320)])),
    ("squareHole", "B", tt_glyph([rect_cw(0, 0, 640, 640), rect_ccw(160, 160, 480, 480)])),
    ("allOff", "C", tt_glyph([[(0, 320, OFF), (320, 640, OFF), (640, 320, OFF),
                               (320, 0, OFF)]])),
    ("offStart", "D", tt_glyph([[(320, -128, OFF), (0, 0, ON), (0, 640, ON), (640, 640, ON),
                                 (640, 0, ON)]])),
    ("overlap", "E", tt_glyph([rect_cw(0, 0, 320, 320), rect_cw(160, 160, 480, 480)])),
    ("bowtie", "F", tt_glyph([on_poly((0, 0), (640, 640), (640, 0), (0, 640))])),
    ("oneQuad", "G", tt_glyph([[(0, 0, ON), (320, 640, OFF), (640, 0, ON)]])),
    ("degenerate", "H", tt_glyph([rect_cw(0, 0, 640, 640), [(320, 800, ON)],
                                  [(480, 800, ON), (480, 800, ON)]])),
    ("emptyContour", "I", tt_glyph([rect_cw(0, 0, 640, 640), []])),
    ("triDown", "V", tt_glyph([on_poly((0, 640), (640, 640), (320, 0))])),
    ("triUp", "W", tt_glyph([on_poly((0, 0), (320, 640), (640, 0))])),
]

# Font units at unitsPerEm 640: value / 640 is the kern in ems.
FIXTURE_KERN = {("square", "triDown"): -64, ("square", "triUp"): -128,
                ("triDown", "square"): -320, ("triUp", "square"): 192,
                ("squareHole", "squareHole"): -640}


def make_fixtures():
    order = [name for name, _, _ in FIXTURE_GLYPHS]
    advances = {n: 320 if n == "space" else 640 for n in order}
    cmap = {ord(c): name for name, c, _ in FIXTURE_GLYPHS if c is not None}
    fb = build_ttf(order, {name: g for name, _, g in FIXTURE_GLYPHS},
                   unicode_cmap_tables(cmap), advances, "Glyva Fixtures",
                   kern_pairs=FIXTURE_KERN)
    return save(fb, "fixtures.ttf")


def small_ttf(name, family, cmap_tables, glyph_names=True, square=(0, 0, 320, 320),
              advance=640, extra=None):
    order = [".notdef", "space", "square"]
    glyphs = {".notdef": tt_glyph(NOTDEF), "space": tt_glyph([]),
              "square": tt_glyph([rect_cw(*square)])}
    advances = {".notdef": 640, "space": 320, "square": advance}
    fb = build_ttf(order, glyphs, cmap_tables, advances, family, glyph_names=glyph_names)
    return fb if extra else save(fb, name)


# Without glyph names (post format 3), since FreeType may synthesise a Unicode charmap
# from them.
def make_small_fonts():
    square_map = {0x20: "space", 0x41: "square"}
    return [
        small_ttf("nokern.ttf", "Glyva NoKern", unicode_cmap_tables(square_map)),
        small_ttf("symbol-only.ttf", "Glyva SymbolOnly",
                  [cmap_subtable(4, 3, 0, {0xF020: "space", 0xF041: "square"})],
                  glyph_names=False),
        small_ttf("macroman-only.ttf", "Glyva MacRomanOnly",
                  [cmap_subtable(0, 1, 0, square_map)], glyph_names=False),
    ]


# Each contour a start point and segments: an end point for a line, three points for a
# cubic. The ring: outer circle r=500 counter-clockwise, hole r=250 clockwise.
CFF_GLYPHS = {
    "square": [((0, 0), [(500, 0), (500, 500), (0, 500)])],
    "ring": [((500, 0), [((775, 0), (1000, 225), (1000, 500)),
                         ((1000, 775), (775, 1000), (500, 1000)),
                         ((225, 1000), (0, 775), (0, 500)), ((0, 225), (225, 0), (500, 0))]),
             ((500, 250), [((350, 250), (250, 350), (250, 500)),
                           ((250, 650), (350, 750), (500, 750)),
                           ((650, 750), (750, 650), (750, 500)),
                           ((750, 350), (650, 250), (500, 250))])],
    "oneCubic": [((0, 0), [((0, 500), (500, 500), (500, 0))])],
}


def cff_draw(pen, contours):
    for start, segments in contours:
        pen.moveTo(start)
        for s in segments:
            pen.lineTo(s) if len(s) == 2 else pen.curveTo(*s)
        pen.closePath()


def make_cubic():
    upem = 1000
    drawings = {".notdef": [], "space": [], **CFF_GLYPHS}
    advances = {".notdef": 500, "space": 250, "square": 1000, "ring": 1000, "oneCubic": 1000}
    fb = FontBuilder(upem, isTTF=False)
    fb.updateHead(created=FIXED_TIMESTAMP, modified=FIXED_TIMESTAMP)
    fb.setupGlyphOrder(list(drawings))
    fb.setupCharacterMap({0x20: "space", ord("A"): "square", ord("O"): "ring",
                          ord("S"): "oneCubic"})
    charstrings, metrics = {}, {}
    for name, draw in drawings.items():
        pen, bpen = T2CharStringPen(advances[name], None), BoundsPen(None)
        cff_draw(pen, draw)
        cff_draw(bpen, draw)
        charstrings[name] = pen.getCharString()
        metrics[name] = (advances[name], otRound(bpen.bounds[0]) if bpen.bounds else 0)
    fb.setupCFF("GlyvaCubic-Regular", {"FullName": "Glyva Cubic"}, charstrings, {})
    fb.setupHorizontalMetrics(metrics)
    fb.setupHorizontalHeader(ascent=upem, descent=-(upem // 4))
    fb.setupNameTable({"familyName": "Glyva Cubic", "styleName": "Regular"}, mac=False)
    fb.setupOS2(sTypoAscender=upem, sTypoDescender=-(upem // 4), usWinAscent=upem,
                usWinDescent=upem // 4, achVendID="GLYV")
    fb.setupPost()
    return save(fb, "cubic.otf")


def sfnt_tables(data):
    """{tag: (directory entry offset, offset, length)}"""
    out = {}
    for i in range(struct.unpack(">H", data[4:6])[0]):
        rec = 12 + 16 * i
        tag, _, off, length = struct.unpack(">4sLLL", data[rec:rec + 16])
        out[tag.decode("ascii")] = (rec, off, length)
    return out


def table_checksum(blob):
    blob = blob + b"\0" * (-len(blob) % 4)
    return sum(struct.unpack(">%dL" % (len(blob) // 4), blob)) & 0xFFFFFFFF


def fix_checksums(data):
    """Checksums recomputed after a patch, so that the patch is the file's only defect."""
    data = bytearray(data)
    tables = sfnt_tables(data)
    head = tables["head"][1]
    data[head + 8:head + 12] = b"\0\0\0\0"
    for rec, off, length in tables.values():
        data[rec + 4:rec + 8] = struct.pack(">L", table_checksum(bytes(data[off:off + length])))
    adj = (0xB1B0AFBA - table_checksum(bytes(data))) & 0xFFFFFFFF
    data[head + 8:head + 12] = struct.pack(">L", adj)
    return bytes(data)


def glyph_start(data, glyph_id):
    tables = sfnt_tables(data)
    loca = tables["loca"][1]
    if struct.unpack_from(">h", data, tables["head"][1] + 50)[0]:  # long offsets
        return tables["glyf"][1] + struct.unpack_from(">L", data, loca + 4 * glyph_id)[0]
    return tables["glyf"][1] + 2 * struct.unpack_from(">H", data, loca + 2 * glyph_id)[0]


def make_malformed():
    """A's contour ends run backwards (3, 1); B claims 4001 points, its arrays running far
    past its record; C is a good square."""
    order = [".notdef", "space", "badEnds", "badCount", "square"]
    two_squares = [rect_cw(0, 0, 320, 320), rect_cw(320, 320, 640, 640)]
    glyphs = {".notdef": tt_glyph(NOTDEF), "space": tt_glyph([]),
              "badEnds": tt_glyph(two_squares), "badCount": tt_glyph(two_squares),
              "square": tt_glyph([rect_cw(0, 0, 320, 320)])}
    advances = {n: 320 if n == "space" else 640 for n in order}
    fb = build_ttf(order, glyphs, unicode_cmap_tables({0x20: "space", 0x41: "badEnds",
                                                       0x42: "badCount", 0x43: "square"}),
                   advances, "Glyva Malformed")
    path = save(fb, "malformed.ttf")
    with open(path, "rb") as f:
        data = bytearray(f.read())
    for name, ends in (("badEnds", (3, 1)), ("badCount", (3, 4000))):
        start = glyph_start(data, order.index(name))
        assert struct.unpack(">HH", data[start + 10:start + 14]) == (3, 7)
        data[start + 10:start + 14] = struct.pack(">HH", *ends)
    with open(path, "wb") as f:
        f.write(fix_checksums(bytes(data)))
    return path


def write_prefix(src, name, length):
    """The first bytes of a font: cut at half, glyf loses its later glyphs and kern, name
    and post are gone, which FreeType still opens; cut at 100, inside the table
    directory, which it refuses."""
    path = os.path.join(HERE, name)
    with open(src, "rb") as f, open(path, "wb") as out:
        out.write(f.read()[:length])
    return path


# ---------------------------------------------------------------------------
# solids.ttf: outlines for the solid library's edge cases

def star(count, inner, outer, cx, cy):
    """count off-curve points alternating between two radii, clockwise: count conics."""
    radii = [(outer if i % 2 else inner, -2 * math.pi * i / count) for i in range(count)]
    return [(cx + otRound(r * math.cos(a)), cy + otRound(r * math.sin(a)), OFF) for r, a in radii]


def small_triangles(count):
    """count clockwise triangles on a grid, 3 points each."""
    corners = [((i % 64) * 10, (i // 64) * 10) for i in range(count)]
    return [on_poly((x, y), (x + 4, y + 8), (x + 8, y)) for x, y in corners]


SOLID_GLYPHS = [
    # A: a rectangle 640 x 320 with collinear points along every side.
    ("stepped", 0x41, [on_poly((0, 0), (0, 160), (0, 320), (160, 320), (320, 320),
                               (480, 320), (640, 320), (640, 160), (640, 0), (480, 0),
                               (320, 0), (160, 0))]),
    # B: two squares touching at one corner.
    ("pinch", 0x42, [rect_cw(0, 0, 320, 320), rect_cw(320, 320, 640, 640)]),
    # C: two overlapping squares, filled once under non-zero winding.
    ("overlap", 0x43, [rect_cw(0, 0, 384, 384), rect_cw(192, 192, 576, 576)]),
    # D: a bar 16 units (0.025 em) thick, thinner than twice most bevels.
    ("thin", 0x44, [rect_cw(0, 0, 640, 16)]),
    # E: a wedge whose tip is 0.7 degrees wide.
    ("wedge", 0x45, [on_poly((0, 0), (0, 8), (640, 4))]),
    # F: 2100 conics: about 54,600 points at quality 50, 2100 at quality 0.
    ("huge", 0x46, [star(2100, 250, 300, 320, 320)]),
    # G: 2001 contours.
    ("many", 0x47, small_triangles(2001)),
    # H: square, hole, island, hole: four levels of nesting.
    ("nested", 0x48, [rect_cw(0, 0, 640, 640), rect_ccw(64, 64, 576, 576),
                      rect_cw(192, 192, 448, 448), rect_ccw(256, 256, 384, 384)]),
]


def make_solids():
    order = [".notdef", "space"] + [name for name, _, _ in SOLID_GLYPHS]
    glyphs = {".notdef": tt_glyph(NOTDEF), "space": tt_glyph([]),
              **{name: tt_glyph(contours) for name, _, contours in SOLID_GLYPHS}}
    cmap = {0x20: "space", **{code: name for name, code, _ in SOLID_GLYPHS}}
    advances = {n: 320 if n == "space" else 640 for n in order}
    fb = build_ttf(order, glyphs, unicode_cmap_tables(cmap), advances, "Glyva Solids")
    return save(fb, "solids.ttf")


def main():
    fixtures = make_fixtures()
    outputs = [fixtures, make_cubic()] + make_small_fonts() + [
        make_malformed(), write_prefix(fixtures, "truncated.ttf", os.path.getsize(fixtures) // 2),
        write_prefix(fixtures, "truncated-header.ttf", 100), make_variable_font(),
        make_collection(), make_solids()]
    for p in outputs:
        print("wrote %s (%d bytes)" % (os.path.relpath(p), os.path.getsize(p)))


def make_variable_font():
    order = [".notdef", "space", "bar"]
    glyphs = {".notdef": tt_glyph(NOTDEF), "space": tt_glyph([]),
              "bar": tt_glyph([rect_cw(0, 0, 160, 640)])}
    fb = build_ttf(order, glyphs, unicode_cmap_tables({0x20: "space", 0x41: "bar"}),
                   {".notdef": 640, "space": 320, "bar": 320}, "Glyva Variable")
    fb.setupFvar([("wght", 400, 400, 700, "Weight")],
                 [{"location": {"wght": 400}, "stylename": "Regular"},
                  {"location": {"wght": 700}, "stylename": "Bold"}])
    # Deltas of the 4 outline points, then the 4 phantom points.
    bold = TupleVariation({"wght": (0.0, 1.0, 1.0)}, [(0, 0), (0, 0), (160, 0), (160, 0),
                                                      (0, 0), (160, 0), (0, 0), (0, 0)])
    fb.setupGvar({"bar": [bold]})
    return save(fb, "variable.ttf")


def make_collection():
    """Face 0 maps A to a 320x320 square (advance 640), face 1 to a 640x160 bar (960)."""
    fonts = []
    for family, rect, advance in (("Glyva Collection One", (0, 0, 320, 320), 640),
                                  ("Glyva Collection Two", (0, 0, 640, 160), 960)):
        fb = small_ttf(None, family, unicode_cmap_tables({0x20: "space", 0x41: "square"}),
                       square=rect, advance=advance, extra=True)
        fb.font.recalcTimestamp = False
        fonts.append(fb.font)
    collection, path = TTCollection(), os.path.join(HERE, "collection.ttc")
    collection.fonts = fonts
    collection.save(path)
    return path


if __name__ == "__main__":
    sys.exit(main())
