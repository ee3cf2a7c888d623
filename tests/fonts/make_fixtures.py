#!/usr/bin/python3
"""Generate the small fixture fonts the Glyva tests load.

Run with Debian's Python (it has python3-fonttools):

    /usr/bin/python3 tests/fonts/make_fixtures.py

The output is byte-for-byte reproducible: timestamps are fixed, nothing is
random, and every table is built from the literal data below.  Rerun it after
editing and commit the fonts together with this script.

Geometry notes.  Glyva loads glyphs unhinted with
FT_Set_Char_Size(face, 0, 640, 72, 72), i.e. 640 26.6 units (10 px) per em.
The TrueType fixtures therefore use unitsPerEm 640: FreeType's scale factor
is then exactly 1.0, so every font unit below is one 26.6 unit in the loaded
outline and hand-computed expectations are exact.  The CFF fixture needs
unitsPerEm 1000 (the FontMatrix is 1/1000 by convention), so its coordinates
are multiples of 25 font units, which map to whole 26.6 units (x 0.64).
"""

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

# 2024-01-01T00:00:00Z in head-table time (seconds since 1904-01-01); fixed so
# regenerated fonts are identical to the committed ones.
FIXED_TIMESTAMP = 1704067200 + 2082844800

ON, OFF = True, False


# ---------------------------------------------------------------------------
# TrueType helpers

def tt_glyph(contours):
    """Build a simple glyf Glyph from explicit points.

    `contours` is a list of contours, each a list of (x, y, on_curve).  The
    points are written exactly as given (no pen in between), because the
    fixtures deliberately contain outlines a pen would normalise away:
    all-off-curve contours, contours starting off-curve, one-point and
    zero-point contours.
    """
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


def empty_glyph():
    g = _g_l_y_f.Glyph()
    g.numberOfContours = 0
    return g


def on_poly(*pts):
    """A contour of on-curve points only."""
    return [(x, y, ON) for x, y in pts]


def rect_cw(x0, y0, x1, y1):
    """Axis-aligned rectangle, clockwise (TrueType outer-contour direction)."""
    return on_poly((x0, y0), (x0, y1), (x1, y1), (x1, y0))


def rect_ccw(x0, y0, x1, y1):
    """Axis-aligned rectangle, counter-clockwise (TrueType hole direction)."""
    return on_poly((x0, y0), (x1, y0), (x1, y1), (x0, y1))


def unicode_cmap_tables(mapping):
    """cmap format 4 for (3,1) Windows Unicode BMP and (0,3) Unicode BMP."""
    tables = []
    for plat, enc in ((0, 3), (3, 1)):
        st = cmap_classes[4](4)
        st.platformID, st.platEncID, st.language = plat, enc, 0
        st.cmap = dict(mapping)
        tables.append(st)
    return tables


def build_ttf(glyph_order, glyphs, cmap_tables, advances, family,
              kern_pairs=None, upem=640, glyph_names=True):
    fb = FontBuilder(upem, isTTF=True)
    fb.updateHead(created=FIXED_TIMESTAMP, modified=FIXED_TIMESTAMP)
    fb.setupGlyphOrder(glyph_order)
    # A placeholder cmap keeps FontBuilder's later setup steps (OS/2 char
    # ranges) happy; the real subtables replace it below.
    fb.setupCharacterMap({})
    fb.font["cmap"].tables = cmap_tables
    fb.setupGlyf(glyphs)
    glyf = fb.font["glyf"]
    # lsb == xMin, so FreeType's unhinted loader does not shift the outline
    # horizontally: loaded x coordinates equal the font-unit x coordinates.
    metrics = {}
    for name in glyph_order:
        g = glyf[name]
        metrics[name] = (advances[name], getattr(g, "xMin", 0)
                         if g.numberOfContours else 0)
    fb.setupHorizontalMetrics(metrics)
    fb.setupHorizontalHeader(ascent=upem, descent=-(upem // 4))
    fb.setupNameTable({"familyName": family, "styleName": "Regular"},
                      mac=False)
    fb.setupOS2(sTypoAscender=upem, sTypoDescender=-(upem // 4),
                usWinAscent=upem, usWinDescent=upem // 4,
                achVendID="GLYV")
    fb.setupPost(keepGlyphNames=glyph_names)
    if kern_pairs is not None:
        kern = newTable("kern")
        kern.version = 0
        sub = KernTable_format_0()
        sub.coverage = 1  # horizontal, not minimum, not cross-stream
        sub.tupleIndex = None
        sub.kernTable = dict(kern_pairs)
        kern.kernTables = [sub]
        fb.font["kern"] = kern
    return fb


def save(fb, name):
    path = os.path.join(HERE, name)
    fb.font.recalcTimestamp = False
    fb.save(path)
    return path


# ---------------------------------------------------------------------------
# fixtures.ttf

NOTDEF = [rect_cw(0, 0, 320, 640), rect_ccw(64, 64, 256, 576)]

FIXTURE_GLYPHS = {
    ".notdef": tt_glyph(NOTDEF),
    "space": empty_glyph(),
    # A: the simplest filled shape.
    "square": tt_glyph([rect_cw(0, 0, 320, 320)]),
    # B: a hole (inner contour wound opposite to the outer one).
    "squareHole": tt_glyph([rect_cw(0, 0, 640, 640),
                            rect_ccw(160, 160, 480, 480)]),
    # C: no on-curve point at all; implied on-points sit at the midpoints
    # (160,480), (480,480), (480,160), (160,160).
    "allOff": tt_glyph([[(0, 320, OFF), (320, 640, OFF),
                         (640, 320, OFF), (320, 0, OFF)]]),
    # D: the contour's first point is off-curve, so a decomposer must find
    # its start point elsewhere.  Bottom edge bulges down to y = -64.
    "offStart": tt_glyph([[(320, -128, OFF), (0, 0, ON), (0, 640, ON),
                           (640, 640, ON), (640, 0, ON)]]),
    # E: two same-direction squares overlapping in (160..320)^2; non-zero
    # winding fills the overlap once (even-odd would leave it empty).
    "overlap": tt_glyph([rect_cw(0, 0, 320, 320),
                         rect_cw(160, 160, 480, 480)]),
    # F: bow tie crossing itself at (320,320); the two lobes have opposite
    # winding (+1 left, -1 right), both filled under non-zero.
    "bowtie": tt_glyph([on_poly((0, 0), (640, 640), (640, 0), (0, 640))]),
    # G: exactly one quadratic segment plus the closing line.
    "oneQuad": tt_glyph([[(0, 0, ON), (320, 640, OFF), (640, 0, ON)]]),
    # H: degenerate contours (1 point; 2 identical points) next to a square;
    # they enclose no area and must not produce triangles.
    "degenerate": tt_glyph([rect_cw(0, 0, 640, 640),
                            [(320, 800, ON)],
                            [(480, 800, ON), (480, 800, ON)]]),
    # I: a zero-point contour (endPtsOfContours repeats 3) after a square.
    "emptyContour": tt_glyph([rect_cw(0, 0, 640, 640), []]),
    # V, W: plain triangles used as kerning partners.
    "triDown": tt_glyph([on_poly((0, 640), (640, 640), (320, 0))]),
    "triUp": tt_glyph([on_poly((0, 0), (320, 640), (640, 0))]),
}

FIXTURE_ORDER = [".notdef", "space", "square", "squareHole", "allOff",
                 "offStart", "overlap", "bowtie", "oneQuad", "degenerate",
                 "emptyContour", "triDown", "triUp"]

FIXTURE_CMAP = {
    0x20: "space",
    ord("A"): "square",
    ord("B"): "squareHole",
    ord("C"): "allOff",
    ord("D"): "offStart",
    ord("E"): "overlap",
    ord("F"): "bowtie",
    ord("G"): "oneQuad",
    ord("H"): "degenerate",
    ord("I"): "emptyContour",
    ord("V"): "triDown",
    ord("W"): "triUp",
}

# Font units at unitsPerEm 640, so value / 640 is the kern in ems.
FIXTURE_KERN = {
    ("square", "triDown"): -64,        # A V  -0.1 em
    ("square", "triUp"): -128,         # A W  -0.2 em
    ("triDown", "square"): -320,       # V A  -0.5 em
    ("triUp", "square"): 192,          # W A  +0.3 em
    ("squareHole", "squareHole"): -640,  # B B  -1 em
}


def make_fixtures():
    advances = {n: 640 for n in FIXTURE_ORDER}
    advances["space"] = 320
    fb = build_ttf(FIXTURE_ORDER, FIXTURE_GLYPHS,
                   unicode_cmap_tables(FIXTURE_CMAP), advances,
                   "Glyva Fixtures", kern_pairs=FIXTURE_KERN)
    return save(fb, "fixtures.ttf")


# ---------------------------------------------------------------------------
# Small TrueType fonts differing only in cmap / kern

def small_ttf(name, family, cmap_tables, glyph_names=True):
    order = [".notdef", "space", "square"]
    glyphs = {".notdef": tt_glyph(NOTDEF), "space": empty_glyph(),
              "square": tt_glyph([rect_cw(0, 0, 320, 320)])}
    advances = {".notdef": 640, "space": 320, "square": 640}
    fb = build_ttf(order, glyphs, cmap_tables, advances, family,
                   glyph_names=glyph_names)
    return save(fb, name)


def make_nokern():
    return small_ttf("nokern.ttf", "Glyva NoKern",
                     unicode_cmap_tables({0x20: "space", 0x41: "square"}))


# The two fonts without a Unicode cmap use post format 3 (no glyph names):
# given glyph names, FreeType may synthesise a Unicode charmap from them
# (it did so for a (1,0)-only font with a format 2 post table), and then the
# font would no longer be "without Unicode charmap".

def make_symbol_only():
    # (3,0) Microsoft Symbol, format 4.  Symbol fonts conventionally put
    # their glyphs at U+F020..U+F0FF; 0xF041 is the "A" slot.
    st = cmap_classes[4](4)
    st.platformID, st.platEncID, st.language = 3, 0, 0
    st.cmap = {0xF020: "space", 0xF041: "square"}
    return small_ttf("symbol-only.ttf", "Glyva SymbolOnly", [st],
                     glyph_names=False)


def make_macroman_only():
    # (1,0) Macintosh Roman, format 0 (one byte per code).
    st = cmap_classes[0](0)
    st.platformID, st.platEncID, st.language = 1, 0, 0
    st.cmap = {0x20: "space", 0x41: "square"}
    return small_ttf("macroman-only.ttf", "Glyva MacRomanOnly", [st],
                     glyph_names=False)


# ---------------------------------------------------------------------------
# cubic.otf (CFF outlines)

def cff_square(pen):
    # PostScript convention: outer contours counter-clockwise.
    pen.moveTo((0, 0))
    pen.lineTo((500, 0))
    pen.lineTo((500, 500))
    pen.lineTo((0, 500))
    pen.closePath()


def cff_ring(pen):
    # Outer "circle" r=500 about (500,500), counter-clockwise, handle 275
    # (~0.55 r); inner hole r=250, clockwise, handle 150.  Four cubic
    # segments each; all values are multiples of 25 font units.
    pen.moveTo((500, 0))
    pen.curveTo((775, 0), (1000, 225), (1000, 500))
    pen.curveTo((1000, 775), (775, 1000), (500, 1000))
    pen.curveTo((225, 1000), (0, 775), (0, 500))
    pen.curveTo((0, 225), (225, 0), (500, 0))
    pen.closePath()
    pen.moveTo((500, 250))
    pen.curveTo((350, 250), (250, 350), (250, 500))
    pen.curveTo((250, 650), (350, 750), (500, 750))
    pen.curveTo((650, 750), (750, 650), (750, 500))
    pen.curveTo((750, 350), (650, 250), (500, 250))
    pen.closePath()


def cff_one_cubic(pen):
    # Exactly one cubic segment plus the closing line (clockwise).
    pen.moveTo((0, 0))
    pen.curveTo((0, 500), (500, 500), (500, 0))
    pen.closePath()


def make_cubic():
    upem = 1000
    drawings = {
        ".notdef": None,
        "space": None,
        "square": cff_square,
        "ring": cff_ring,
        "oneCubic": cff_one_cubic,
    }
    order = list(drawings)
    advances = {".notdef": 500, "space": 250, "square": 1000, "ring": 1000,
                "oneCubic": 1000}
    fb = FontBuilder(upem, isTTF=False)
    fb.updateHead(created=FIXED_TIMESTAMP, modified=FIXED_TIMESTAMP)
    fb.setupGlyphOrder(order)
    fb.setupCharacterMap({0x20: "space", ord("A"): "square",
                          ord("O"): "ring", ord("S"): "oneCubic"})
    charstrings, metrics = {}, {}
    for name in order:
        pen = T2CharStringPen(advances[name], None)
        bpen = BoundsPen(None)
        draw = drawings[name]
        if draw is not None:
            draw(pen)
            draw(bpen)
        charstrings[name] = pen.getCharString()
        lsb = otRound(bpen.bounds[0]) if bpen.bounds else 0
        metrics[name] = (advances[name], lsb)
    fb.setupCFF("GlyvaCubic-Regular", {"FullName": "Glyva Cubic"},
                charstrings, {})
    fb.setupHorizontalMetrics(metrics)
    fb.setupHorizontalHeader(ascent=upem, descent=-(upem // 4))
    fb.setupNameTable({"familyName": "Glyva Cubic", "styleName": "Regular"},
                      mac=False)
    fb.setupOS2(sTypoAscender=upem, sTypoDescender=-(upem // 4),
                usWinAscent=upem, usWinDescent=upem // 4,
                achVendID="GLYV")
    fb.setupPost()
    return save(fb, "cubic.otf")


# ---------------------------------------------------------------------------
# Corrupt fonts (binary patches of valid ones)

def sfnt_tables(data):
    """Return {tag: (dir_entry_offset, offset, length)}."""
    num_tables = struct.unpack(">H", data[4:6])[0]
    out = {}
    for i in range(num_tables):
        rec = 12 + 16 * i
        tag, _cksum, off, length = struct.unpack(">4sLLL", data[rec:rec + 16])
        out[tag.decode("ascii")] = (rec, off, length)
    return out


def table_checksum(blob):
    blob = blob + b"\0" * (-len(blob) % 4)
    return sum(struct.unpack(">%dL" % (len(blob) // 4), blob)) & 0xFFFFFFFF


def fix_checksums(data):
    """Recompute table and whole-font checksums after an in-place patch, so
    the only defect in the file is the one introduced on purpose."""
    data = bytearray(data)
    tables = sfnt_tables(data)
    head_off = tables["head"][1]
    data[head_off + 8:head_off + 12] = b"\0\0\0\0"
    for tag, (rec, off, length) in tables.items():
        cks = table_checksum(bytes(data[off:off + length]))
        data[rec + 4:rec + 8] = struct.pack(">L", cks)
    adj = (0xB1B0AFBA - table_checksum(bytes(data))) & 0xFFFFFFFF
    data[head_off + 8:head_off + 12] = struct.pack(">L", adj)
    return bytes(data)


def glyph_range(data, glyph_id):
    tables = sfnt_tables(data)
    head_off = tables["head"][1]
    long_loca = struct.unpack(">h", data[head_off + 50:head_off + 52])[0]
    loca_off = tables["loca"][1]
    if long_loca:
        a, b = struct.unpack(">LL", data[loca_off + 4 * glyph_id:
                                         loca_off + 4 * glyph_id + 8])
    else:
        a, b = struct.unpack(">HH", data[loca_off + 2 * glyph_id:
                                         loca_off + 2 * glyph_id + 4])
        a, b = 2 * a, 2 * b
    glyf_off = tables["glyf"][1]
    return glyf_off + a, glyf_off + b


def make_malformed():
    # Four glyphs: A and B carry corrupt glyf records, C is a good square,
    # space is empty; the corrupt glyphs must fail to load without taking the
    # rest of the font down.  Both corrupt glyphs start as 2-contour,
    # 8-point outlines so the patches stay within the original byte length.
    order = [".notdef", "space", "badEnds", "badCount", "square"]
    two_squares = [rect_cw(0, 0, 320, 320), rect_cw(320, 320, 640, 640)]
    glyphs = {".notdef": tt_glyph(NOTDEF), "space": empty_glyph(),
              "badEnds": tt_glyph(two_squares),
              "badCount": tt_glyph(two_squares),
              "square": tt_glyph([rect_cw(0, 0, 320, 320)])}
    advances = {n: 640 for n in order}
    advances["space"] = 320
    fb = build_ttf(order, glyphs,
                   unicode_cmap_tables({0x20: "space", 0x41: "badEnds",
                                        0x42: "badCount", 0x43: "square"}),
                   advances, "Glyva Malformed")
    path = save(fb, "malformed.ttf")
    with open(path, "rb") as f:
        data = bytearray(f.read())
    # A: endPtsOfContours = [3, 1]; contour end points must increase.
    start, end = glyph_range(data, order.index("badEnds"))
    assert struct.unpack(">h", data[start:start + 2])[0] == 2
    assert struct.unpack(">HH", data[start + 10:start + 14]) == (3, 7)
    data[start + 10:start + 14] = struct.pack(">HH", 3, 1)
    # B: endPtsOfContours = [3, 4000]; claims 4001 points, so the flag and
    # coordinate arrays run far past the end of the glyph record.
    start, end = glyph_range(data, order.index("badCount"))
    assert struct.unpack(">HH", data[start + 10:start + 14]) == (3, 7)
    data[start + 10:start + 14] = struct.pack(">HH", 3, 4000)
    with open(path, "wb") as f:
        f.write(fix_checksums(bytes(data)))
    return path


def write_prefix(src, name, length):
    with open(src, "rb") as f:
        data = f.read()
    path = os.path.join(HERE, name)
    with open(path, "wb") as f:
        f.write(data[:length])
    return path


def make_truncated(fixtures_path):
    # The first half of fixtures.ttf: the table directory and the early
    # tables survive, glyf is cut after the first glyphs, and kern, name and
    # post are gone.  FreeType still opens this (see README).
    size = os.path.getsize(fixtures_path)
    return write_prefix(fixtures_path, "truncated.ttf", size // 2)


def make_truncated_header(fixtures_path):
    # Cut inside the table directory (12-byte header + 16 bytes per table),
    # which FreeType does reject at open time.
    return write_prefix(fixtures_path, "truncated-header.ttf", 100)


# ---------------------------------------------------------------------------
# A variable font and a collection, for face and instance selection

def make_variable():
    """One `wght` axis, 400 (default) to 700, two masters in gvar.

    `A` is a bar 160 wide and 640 tall at wght 400 (area 0.25 em2, advance
    320); the 700 master moves its right edge and the advance phantom point
    160 units right (area 0.5 em2, advance 480).  No HVAR: advances come from
    the phantom points, in FreeType and HarfBuzz alike.  Named instances:
    Regular (400), Bold (700).
    """
    order = [".notdef", "space", "bar"]
    glyphs = {".notdef": tt_glyph(NOTDEF), "space": empty_glyph(),
              "bar": tt_glyph([rect_cw(0, 0, 160, 640)])}
    advances = {".notdef": 640, "space": 320, "bar": 320}
    fb = build_ttf(order, glyphs, unicode_cmap_tables({0x20: "space",
                                                       0x41: "bar"}),
                   advances, "Glyva Variable")
    fb.setupFvar([("wght", 400, 400, 700, "Weight")],
                 [{"location": {"wght": 400}, "stylename": "Regular"},
                  {"location": {"wght": 700}, "stylename": "Bold"}])
    # Deltas for the 4 outline points, then the 4 phantom points (left,
    # right, top, bottom).
    bold = TupleVariation({"wght": (0.0, 1.0, 1.0)},
                          [(0, 0), (0, 0), (160, 0), (160, 0),
                           (0, 0), (160, 0), (0, 0), (0, 0)])
    fb.setupGvar({"bar": [bold]})
    return save(fb, "variable.ttf")


def make_collection():
    """Two faces: face 0 maps `A` to a 320x320 square, face 1 to a 640x160
    bar (areas 0.25 and 0.25 em2, but different bounds and advances)."""
    fonts = []
    for family, rect, advance in (("Glyva Collection One", (0, 0, 320, 320), 640),
                                  ("Glyva Collection Two", (0, 0, 640, 160), 960)):
        order = [".notdef", "space", "square"]
        glyphs = {".notdef": tt_glyph(NOTDEF), "space": empty_glyph(),
                  "square": tt_glyph([rect_cw(*rect)])}
        advances = {".notdef": 640, "space": 320, "square": advance}
        fb = build_ttf(order, glyphs,
                       unicode_cmap_tables({0x20: "space", 0x41: "square"}),
                       advances, family)
        fb.font.recalcTimestamp = False
        fonts.append(fb.font)
    collection = TTCollection()
    collection.fonts = fonts
    path = os.path.join(HERE, "collection.ttc")
    collection.save(path)
    return path


# ---------------------------------------------------------------------------
# solids.ttf: outlines for the solid library's edge cases

def star(count, inner, outer, cx, cy):
    """count off-curve points alternating between two radii: count conics."""
    import math
    pts = []
    for i in range(count):
        r = outer if i % 2 else inner
        a = -2 * math.pi * i / count  # clockwise
        pts.append((cx + otRound(r * math.cos(a)), cy + otRound(r * math.sin(a)), OFF))
    return pts


def small_triangles(count):
    """count clockwise triangles on a grid, 3 points each."""
    contours = []
    for i in range(count):
        x, y = (i % 64) * 10, (i // 64) * 10
        contours.append(on_poly((x, y), (x + 4, y + 8), (x + 8, y)))
    return contours


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
    glyphs = {".notdef": tt_glyph(NOTDEF), "space": empty_glyph()}
    cmap = {0x20: "space"}
    for name, code, contours in SOLID_GLYPHS:
        glyphs[name] = tt_glyph(contours)
        cmap[code] = name
    advances = {name: 640 for name in order}
    advances["space"] = 320
    fb = build_ttf(order, glyphs, unicode_cmap_tables(cmap), advances, "Glyva Solids")
    return save(fb, "solids.ttf")


def main():
    fixtures = make_fixtures()
    outputs = [fixtures, make_cubic(), make_nokern(), make_symbol_only(),
               make_macroman_only(), make_malformed(),
               make_truncated(fixtures), make_truncated_header(fixtures),
               make_variable(), make_collection(), make_solids()]
    for p in outputs:
        print("wrote %s (%d bytes)" % (os.path.relpath(p), os.path.getsize(p)))


if __name__ == "__main__":
    sys.exit(main())
