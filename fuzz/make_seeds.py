#!/usr/bin/python3
"""Write the seed corpora of the fuzz targets into fuzz/corpus/<target>/.

    python3 fuzz/make_seeds.py

Every seed is built from the literal data below, so a rerun gives identical files;
commit them together with this script. The font target's seeds are the fixture
fonts of tests/fonts, copied as they are. Each seed follows the input layout that
the comment at the top of its target describes.
"""

import math
import os
import shutil
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
FIXTURES = os.path.join(HERE, "..", "tests", "fonts")

# Tesselator commands.
BEGIN, END = b"\x00", b"\x10"
RAW, GRID, PALETTE, SLANTED = 0x20, 0x21, 0x22, 0x25
ODD, NONZERO, POSITIVE, NEGATIVE, ABS_GEQ_TWO, REJECTED = range(6)
# Indices into the target's palette.
NAN, INF, NEG_INF, HUGE, NEG_HUGE, DENORMAL, ZERO, ONE = 12, 13, 14, 6, 7, 8, 0, 2


def header(rule, axis):
    return bytes([rule, axis & 0xFF])


def grid(points, op=GRID):
    return b"".join(bytes([op, x, y]) for x, y in points)


def raw(points):
    return b"".join(bytes([RAW]) + struct.pack("<3f", *p) for p in points)


def palette(points):
    return b"".join(bytes([PALETTE, *p]) for p in points)


def contour(body):
    return BEGIN + body + END


def square(x0, y0, x1, y1):
    return [(x0, y0), (x1, y0), (x1, y1), (x0, y1)]


def tesselator_seeds():
    inf = float("inf")
    star = []
    for k in range(40):
        r = 1.0 if k % 2 else 0.4
        a = 6.283185307179586 * k / 40
        star.append((r * math.cos(a), r * math.sin(a), 0.0))
    return {
        "square": header(ODD, 3) + contour(grid(square(0, 0, 4, 4))),
        "square-minus-z": header(ODD, -3) + contour(grid(square(0, 0, 4, 4))),
        "hole": header(ODD, 3) + contour(grid(square(0, 0, 8, 8)))
        + contour(grid(square(2, 2, 6, 6))),
        "bowtie": header(NONZERO, 3) + contour(grid([(0, 0), (4, 4), (4, 0), (0, 4)])),
        "overlap-positive": header(POSITIVE, 3) + contour(grid(square(0, 0, 4, 4)))
        + contour(grid(square(2, 2, 6, 6))),
        "overlap-abs-geq-two": header(ABS_GEQ_TWO, 0) + contour(grid(square(0, 0, 4, 4)))
        + contour(grid(square(2, 2, 6, 6))),
        "negative-slanted": header(NEGATIVE, 7) + contour(grid(square(1, 1, 9, 5), SLANTED)),
        "rejected-rule": header(REJECTED, 3) + contour(grid(square(0, 0, 3, 3))),
        "yz-plane": header(ODD, 1) + contour(raw([(0, 0, 0), (0, 1, 0), (0, 1, 1), (0, 0, 1)])),
        "non-finite": header(ODD, 3) + contour(raw([(0, 0, 0), (1, 0, 0), (inf, 0.5, 0),
                                                    (1, 1, 0), (0, 1, 0)]))
        + contour(palette([(NAN, ONE, ZERO), (NEG_INF, ZERO, ZERO)])),
        "huge": header(NONZERO, 3) + contour(palette([(NEG_HUGE, NEG_HUGE, ZERO),
                                                      (HUGE, NEG_HUGE, ZERO),
                                                      (HUGE, HUGE, ZERO),
                                                      (NEG_HUGE, HUGE, ZERO)])),
        "denormal": header(ODD, 3) + contour(palette([(ZERO, ZERO, ZERO),
                                                      (DENORMAL, ZERO, ZERO),
                                                      (DENORMAL, DENORMAL, ZERO),
                                                      (ZERO, DENORMAL, ZERO)])),
        "degenerate": header(ODD, 3) + BEGIN + END + contour(grid([(1, 1)]))
        + contour(grid([(1, 1), (2, 2)])) + grid([(5, 5)])
        + contour(grid([(3, 3), (3, 3), (3, 3)])),
        "star": header(ODD, 3) + contour(raw(star)),
    }


# String target operations: kind + 10 * flags.
STRCPY, STRNCPY, STRNCAT, MEMCPY, MEMMOVE, MEMSET, MEMCHR, MEMCMP, STRNLEN, TEXT = range(10)


def text(s):
    return bytes([len(s)]) + s


def strings_seeds():
    return {
        # destination "abc" at offset 0, stated size 4, source "abcdef"
        "strcpy-truncates": bytes([STRCPY]) + text(b"") + bytes([0, 4]) + text(b"abcdef")
        + bytes([0]),
        "strncpy-count": bytes([STRNCPY]) + text(b"xy") + bytes([0, 8]) + text(b"abcdef")
        + bytes([2]),
        "strncat-append": bytes([STRNCAT]) + text(b"abc") + bytes([0, 8]) + text(b"defghijk")
        + bytes([100]),
        "strncat-illegal": bytes([STRNCAT]) + text(b"abc") + bytes([0, 2]) + text(b"def")
        + bytes([5]),
        "strncat-self": bytes([STRNCAT + 20]) + text(b"hello") + bytes([1, 40, 3, 255]),
        "null-source": bytes([STRCPY + 10]) + text(b"keep") + bytes([0, 9, 0]),
        "memory": bytes([MEMCPY]) + text(b"0123456789") + bytes([2, 30, 8, 3]) + b"ABCDEFGH"
        + bytes([MEMMOVE]) + text(b"0123456789") + bytes([0, 20, 6, 1, 4])
        + bytes([MEMSET]) + text(b"") + bytes([3, 16, 5, 2, 0x41]),
        "reads": bytes([MEMCHR, 5]) + b"hello" + b"world" + b"l"
        + bytes([MEMCMP, 3]) + b"abc" + b"abd" + b"\0"
        + bytes([STRNLEN, 4]) + b"ab\0d" + b"ab\0e" + b"\0"
        + bytes([TEXT + 40]) + text(b"needle") + text(b"needle") + b"e",
    }


def readers_seeds():
    # First byte: script length; then the script (step + 14 * argument); then the file.
    script = bytes([0 + 14, 1 + 14, 2 + 14, 3 + 14, 4 + 14, 5 + 14, 6 + 14,
                    9 + 14, 10, 11, 12, 13])
    data = (struct.pack("<H", 0x0102) + struct.pack("<i", -5) + struct.pack("<I", 7)
            + struct.pack(">I", 7) + struct.pack("<Q", 1 << 40) + struct.pack("<q", 1700000000)
            + struct.pack("<f", 1.5) + struct.pack("<i", 3) + b"abc"
            + struct.pack("<i", 2) + struct.pack("<i", 1) + b"x" + struct.pack("<i", 0)
            + struct.pack("<i", 3) + b"\x01\x00\x01"
            + struct.pack("<i", 2) + struct.pack("<2f", 0.25, -8.0))
    arrays = bytes([3, 7 + 14 * 3, 8 + 14 * 2, 8 + 14 * 17]) + struct.pack("<5i", 1, -2, 3, 4, 5)
    return {
        "every-reader": bytes([len(script)]) + script + data,
        "arrays": arrays,
        "truncated-count": bytes([2, 10, 11]) + struct.pack("<i", 1000) + b"ab",
    }


def shape_seeds():
    def seed(font, face, direction, quality, *fields):
        return bytes([font, face | direction << 2 | quality << 5]) + b"\0".join(
            f.encode("utf-8") for f in fields)

    return {
        "latin": seed(3, 0, 0, 3, "", "liga=1,+kern", "", "", "office AVATAR"),
        "arabic-rtl": seed(3, 0, 2, 3, "", "", "Arab", "ar", "\u0645\u0631\u062d\u0628\u0627"),
        "variable-axis": seed(0, 0, 1, 2, "wght=700", "", "Latn", "en", "AV"),
        "variable-named": seed(0, 0, 0, 0, "Bold", "-kern", "", "", "VA"),
        "collection-face": seed(1, 1, 0, 1, "", "", "", "", "A"),
        "bad-axis": seed(0, 0, 0, 0, "wdth=80,wght=400", "", "", "", "A"),
        "bad-utf8": seed(2, 0, 0, 0, "", "", "", "", "A") + b"\xc0\xaf",
    }


def solid_seeds():
    """Option header (segments, bevel size, bevel depth, front-only and quality) and a
    fixture font."""
    def seed(segments, size, depth, flags, font):
        with open(os.path.join(FIXTURES, font), "rb") as f:
            return bytes([segments, size, depth, flags]) + f.read()

    return {
        "plain-fixtures": seed(0, 0, 0, 3 << 1, "fixtures.ttf"),
        "chamfer-solids": seed(1, 32, 0, 3 << 1, "solids.ttf"),
        "rounded-cubic": seed(4, 40, 20, 1 | 2 << 1, "cubic.otf"),
        "wide-solids": seed(3, 120, 40, 1 << 1, "solids.ttf"),
    }


def outline_seeds():
    """fuzz_outline's inputs: pattern, tags and quality; point count; contours; seed."""
    def glyph(pattern, tags, quality, count, contours=0, seed=1):
        return bytes([pattern | tags << 2 | quality << 6]) + struct.pack("<H", count - 3) + bytes(
            [contours, seed])

    return {
        "star": glyph(3, 0, 2, 40),
        "mixed-tags": glyph(1, 2, 3, 200, contours=3),
        "own-points": glyph(0, 0, 1, 6) + struct.pack("<6h", 0, 0, 640, 640, 640, 0),
    }


def hostile_outlines():
    """The glyphs that held a host for minutes before the glyph budget: N off-curve points
    on a circle with jitter, N random points off and on the curve."""
    def glyph(pattern, tags, quality, count, seed):
        return bytes([pattern | tags << 2 | quality << 6]) + struct.pack("<H", count - 3) + bytes(
            [0, seed])

    return {
        "circle-30000-off-q50": glyph(1, 1, 2, 30000, 1),
        "random-20000-off-q0": glyph(2, 1, 0, 20000, 2),
        "random-3000-on-q50": glyph(2, 0, 2, 3000, 3),
        "random-3000-on-q0": glyph(2, 0, 0, 3000, 4),
    }


def hostile_fonts():
    """The same as fonts fontTools writes, and a CFF glyph of 10000 random cubic
    segments: whatever reads fonts must give them their failure values quickly."""
    import random
    from fontTools.fontBuilder import FontBuilder
    from fontTools.pens.t2CharStringPen import T2CharStringPen
    from fontTools.ttLib.tables import _g_l_y_f
    from fontTools.ttLib.tables.ttProgram import Program

    rng = random.Random(18)

    def finish(fb, upem):
        fb.setupHorizontalHeader(ascent=upem, descent=-(upem // 4))
        fb.setupNameTable({"familyName": "Glyva Hostile", "styleName": "Regular"}, mac=False)
        fb.setupOS2()
        fb.setupPost()
        fb.updateHead(created=0, modified=0)
        fb.font.recalcTimestamp = False
        return fb

    def truetype(points):
        glyph, empty = _g_l_y_f.Glyph(), _g_l_y_f.Glyph()
        empty.numberOfContours = 0
        glyph.numberOfContours = 1
        glyph.coordinates = _g_l_y_f.GlyphCoordinates([(x, y) for x, y, _ in points])
        glyph.flags = bytearray(1 if on else 0 for _, _, on in points)
        glyph.endPtsOfContours = [len(points) - 1]
        glyph.program = Program()
        glyph.program.fromBytecode(b"")
        fb = FontBuilder(640, isTTF=True)
        fb.setupGlyphOrder([".notdef", "A"])
        fb.setupCharacterMap({0x41: "A"})
        fb.setupGlyf({".notdef": empty, "A": glyph})
        fb.setupHorizontalMetrics({".notdef": (640, 0), "A": (640, 0)})
        return finish(fb, 640)

    def cubic():
        pen = T2CharStringPen(1000, None)
        x, y = 500, 500
        pen.moveTo((x, y))
        for _ in range(10000):
            pts = [(rng.randint(0, 1000), rng.randint(0, 1000)) for _ in range(3)]
            pen.curveTo(*pts)
        pen.closePath()
        fb = FontBuilder(1000, isTTF=False)
        fb.setupGlyphOrder([".notdef", "A"])
        fb.setupCharacterMap({0x41: "A"})
        fb.setupCFF("GlyvaHostile", {}, {".notdef": T2CharStringPen(500, None).getCharString(),
                                         "A": pen.getCharString()}, {})
        fb.setupHorizontalMetrics({".notdef": (500, 0), "A": (1000, 0)})
        return finish(fb, 1000)

    circle = [(int(320 + (300 + rng.uniform(-20, 20)) * math.cos(a)),
               int(320 + (300 + rng.uniform(-20, 20)) * math.sin(a)), False)
              for a in (6.283185307179586 * k / 30000 for k in range(30000))]
    scatter = [(rng.randint(0, 640), rng.randint(0, 640), False) for _ in range(20000)]
    on = [(rng.randint(0, 640), rng.randint(0, 640), True) for _ in range(3000)]
    return {"circle-30000-off.ttf": truetype(circle), "random-20000-off.ttf": truetype(scatter),
            "random-3000-on.ttf": truetype(on), "cubic-10000.otf": cubic()}


def write_regressions():
    """Inputs that once ran for minutes or tripped a sanitizer, replayed by the tests."""
    write("fuzz_outline", hostile_outlines(), "regressions")
    write("fuzz_shape", {"wght-1e91": b"\x04\x00wght=1e91", "wght-nan": b"\x04\x00wght=nan",
                         "wght-inf": b"\x04\x00wght=-inf", "wght-40000": b"\x04\x00wght=40000"},
          "regressions")
    folder = os.path.join(HERE, "regressions", "fuzz_font")
    os.makedirs(folder, exist_ok=True)
    for name, fb in hostile_fonts().items():
        fb.save(os.path.join(folder, name))


def write(target, seeds, where="corpus"):
    folder = os.path.join(HERE, where, target)
    os.makedirs(folder, exist_ok=True)
    for name, data in seeds.items():
        prefix = "seed-" if where == "corpus" else ""
        with open(os.path.join(folder, prefix + name), "wb") as f:
            f.write(data)


def main():
    write("fuzz_tesselator", tesselator_seeds())
    write("fuzz_strings", strings_seeds())
    if os.path.exists(os.path.join(HERE, "fuzz_readers.cpp")):
        write("fuzz_readers", readers_seeds())
    write("fuzz_shape", shape_seeds())
    write("fuzz_solid", solid_seeds())
    write("fuzz_outline", outline_seeds())
    write_regressions()
    fonts = os.path.join(HERE, "corpus", "fuzz_font")
    os.makedirs(fonts, exist_ok=True)
    for name in sorted(os.listdir(FIXTURES)):
        # solids.ttf holds outlines past the solid library's bounds, thousands of points
        # long: the font target, which meshes every glyph at three qualities, would spend
        # its runs on them. The solid target has it.
        if name.endswith((".ttf", ".otf", ".ttc")) and name != "solids.ttf":
            shutil.copyfile(os.path.join(FIXTURES, name), os.path.join(fonts, name))


if __name__ == "__main__":
    main()
