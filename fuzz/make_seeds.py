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


def write(target, seeds):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    for name, data in seeds.items():
        with open(os.path.join(folder, "seed-" + name), "wb") as f:
            f.write(data)


def main():
    write("fuzz_tesselator", tesselator_seeds())
    write("fuzz_strings", strings_seeds())
    if os.path.exists(os.path.join(HERE, "fuzz_readers.cpp")):
        write("fuzz_readers", readers_seeds())
    write("fuzz_shape", shape_seeds())
    write("fuzz_solid", solid_seeds())
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
