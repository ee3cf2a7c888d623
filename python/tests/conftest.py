"""Shared fonts and helpers of the glyva module's tests."""

import os
import subprocess
from dataclasses import dataclass, field
from typing import Dict, List, Optional, Tuple

import numpy as np

SOURCE_DIR = os.environ.get(
    "GLYVA_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", "..")
)
FIXTURES = os.path.join(SOURCE_DIR, "tests", "fonts")

DEJAVU_SANS = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"
LIBERATION_SANS = "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf"
FREESANS_CFF = "/usr/share/fonts/opentype/freefont/FreeSans.otf"
NOTO_SANS_ARABIC = "/usr/share/fonts/truetype/noto/NotoSansArabic-Regular.ttf"
FIXTURE_TTF = os.path.join(FIXTURES, "fixtures.ttf")
VARIABLE_TTF = os.path.join(FIXTURES, "variable.ttf")
COLLECTION_TTC = os.path.join(FIXTURES, "collection.ttc")

DIRECTIONS = {"auto": 0, "ltr": 1, "rtl": 2, "ttb": 3, "btt": 4}
ALIGNS = {"start": 0, "left": 1, "center": 2, "right": 3, "end": 4}


@dataclass
class GlyphDump:
    info: Tuple[float, ...] = ()
    contour_count: int = 0
    vertices: Optional[np.ndarray] = None
    triangles: Optional[np.ndarray] = None
    contours: List[np.ndarray] = field(default_factory=list)
    even_odd_fill: bool = False
    postscript_orientation: bool = False


@dataclass
class Dump:
    """What the C interface answered, as capi_dump prints it."""

    units_per_em: int = 0
    glyph_count: int = 0
    ascender: float = 0.0
    descender: float = 0.0
    shaped: List[Tuple[int, int, float, float, float, float]] = field(default_factory=list)
    glyphs: Dict[int, GlyphDump] = field(default_factory=dict)


def run_capi_dump(path, text, face=0, instance=None, quality=50, direction="auto",
                  script=None, language=None, features=None):
    args = [
        os.environ["GLYVA_CAPI_DUMP"],
        path,
        str(face),
        instance or "-",
        str(quality),
        str(DIRECTIONS[direction]),
        script or "-",
        language or "-",
        features or "-",
        text,
    ]
    return subprocess.run(args, capture_output=True, text=True)


def capi_dump(path, text, **options):
    """What the C interface answers, parsed from capi_dump's output."""
    result = run_capi_dump(path, text, **options)
    assert result.returncode == 0, result.stderr
    return parse_dump(result.stdout)


def capi_failure(path, text, **options):
    """The library's message for a failure, from capi_dump's standard error."""
    result = run_capi_dump(path, text, **options)
    assert result.returncode == 1, result.stdout
    return result.stderr.strip()


def parse_dump(output):
    dump = Dump()
    glyph = None
    points: List[Tuple[float, float]] = []
    vertices: List[Tuple[float, float]] = []
    indices: List[int] = []

    def finish_contour():
        if glyph is not None and points:
            glyph.contours.append(np.array(points, dtype=np.float32).reshape(-1, 2))
            points.clear()

    for line in output.splitlines():
        kind, *values = line.split()
        if kind == "font":
            dump.units_per_em, dump.glyph_count = int(values[0]), int(values[1])
            dump.ascender, dump.descender = float(values[2]), float(values[3])
        elif kind == "glyph":
            index, cluster = int(values[0]), int(values[1])
            dump.shaped.append((index, cluster, *map(float, values[2:])))
        elif kind == "info":
            finish_contour()
            glyph = dump.glyphs.setdefault(int(values[0]), GlyphDump())
            glyph.contours.clear()
            glyph.info = tuple(np.float32(v) for v in values[1:9])
            glyph.contour_count = int(values[9])
        elif kind == "mesh":
            vertices, indices = [], []
            glyph.vertices = vertices
            glyph.triangles = indices
        elif kind == "v":
            vertices.append((float(values[0]), float(values[1])))
        elif kind == "i":
            indices.append(int(values[0]))
        elif kind == "contour":
            finish_contour()
            glyph.even_odd_fill = values[3] == "1"
            glyph.postscript_orientation = values[4] == "1"
        elif kind == "p":
            points.append((float(values[0]), float(values[1])))
    finish_contour()
    for g in dump.glyphs.values():
        g.vertices = np.array(g.vertices, dtype=np.float32).reshape(-1, 2)
        g.triangles = np.array(g.triangles, dtype=np.int32).reshape(-1, 3)
    return dump


def triangle_areas(vertices, triangles):
    """Signed area of each triangle: positive when counter-clockwise."""
    a, b, c = (vertices[triangles[:, k]].astype(np.float64) for k in range(3))
    ab, ac = b - a, c - a
    return 0.5 * (ab[:, 0] * ac[:, 1] - ac[:, 0] * ab[:, 1])


def mesh_area(vertices, triangles):
    return float(triangle_areas(vertices, triangles).sum())


@dataclass
class LayoutDump:
    """What the C interface's paragraph layout answered, as capi_dump --layout prints
    it: glyph records (face, glyph, cluster, line, x, y, advance), line records (first
    glyph, glyph count, first byte, byte length, baseline, left, width, ascender,
    descender, level, paragraph), notices and each distinct glyph's mesh."""

    glyphs: np.ndarray = None
    lines: np.ndarray = None
    notices: int = 0
    notice: str = ""
    meshes: Dict[Tuple[int, int], Tuple[np.ndarray, np.ndarray]] = field(default_factory=dict)


def run_capi_layout(text, fonts, quality=50, direction="auto", align="start", width=0.0,
                    line_spacing=1.0, letter_spacing=0.0, script=None, language=None,
                    features=None):
    """fonts: paths, or (path, face) pairs."""
    names = [f"{f[0]}#{f[1]}" if isinstance(f, tuple) else f for f in fonts]
    args = [
        os.environ["GLYVA_CAPI_DUMP"],
        "--layout",
        str(quality),
        str(DIRECTIONS[direction]),
        str(ALIGNS[align]),
        repr(float(width)),
        repr(float(line_spacing)),
        repr(float(letter_spacing)),
        script or "-",
        language or "-",
        features or "-",
        text,
        *names,
    ]
    return subprocess.run(args, capture_output=True, text=True)


def capi_layout(text, fonts, **options):
    result = run_capi_layout(text, fonts, **options)
    assert result.returncode == 0, result.stderr
    dump = LayoutDump()
    glyphs, lines, face, current = [], [], 0, None
    for line in result.stdout.splitlines():
        kind, *values = line.split(" ")
        if kind == "lglyph":
            glyphs.append([float(v) for v in values])
        elif kind == "lline":
            lines.append([float(v) for v in values])
        elif kind == "notices":
            dump.notices, dump.notice = int(values[0]), " ".join(values[1:])
        elif kind == "face":
            face = int(values[0])
        elif kind == "mesh":
            current = ([], [])
            dump.meshes[(face, int(values[0]))] = current
        elif kind == "v":
            current[0].append((float(values[0]), float(values[1])))
        elif kind == "i":
            current[1].append(int(values[0]))
    dump.glyphs = np.array(glyphs, dtype=np.float64).reshape(-1, 7)
    dump.lines = np.array(lines, dtype=np.float64).reshape(-1, 11)
    for key, (vertices, indices) in dump.meshes.items():
        dump.meshes[key] = (np.array(vertices, dtype=np.float32).reshape(-1, 2),
                            np.array(indices, dtype=np.int32).reshape(-1, 3))
    return dump


@dataclass
class SolidDump:
    """One glyph's mesh from the solid library, as capi_dump --solid prints it."""

    positions: np.ndarray
    normals: np.ndarray
    uvs: np.ndarray
    along_outline: np.ndarray
    triangles: np.ndarray


def capi_solids(font, glyphs, quality=50, depth=0.0, bevel=0.0, bevel_depth=0.0,
                bevel_segments=1, bevel_front_only=False, scale=1.0, grid=0.0):
    """Each glyph's solid (or, for a depth of 0, flat mesh) from the C interface of the
    solid library; font is a path or a (path, face) pair."""
    name = f"{font[0]}#{font[1]}" if isinstance(font, tuple) else font
    args = [os.environ["GLYVA_CAPI_DUMP"], "--solid", name, str(quality)]
    args += [repr(float(v)) for v in (depth, bevel, bevel_depth)]
    args += [str(bevel_segments), str(int(bevel_front_only))]
    args += [repr(float(scale)), repr(float(grid))] + [str(int(g)) for g in glyphs]
    result = subprocess.run(args, capture_output=True, text=True)
    assert result.returncode == 0, result.stderr
    solids, current = {}, None
    for line in result.stdout.splitlines():
        kind, *values = line.split(" ")
        if kind == "solid":
            current = ([], [])
            solids[int(values[0])] = current
        elif kind == "sv":
            current[0].append([float(v) for v in values])
        elif kind == "i":
            current[1].append(int(values[0]))
    out = {}
    for glyph, (vertices, indices) in solids.items():
        v = np.array(vertices, dtype=np.float64).reshape(-1, 9)
        out[glyph] = SolidDump(v[:, 0:3].astype(np.float32), v[:, 3:6].astype(np.float32),
                               v[:, 6:8].astype(np.float32), v[:, 8] != 0,
                               np.array(indices, dtype=np.int32).reshape(-1, 3))
    return out


def capi_layout_failure(text, fonts, **options):
    result = run_capi_layout(text, fonts, **options)
    assert result.returncode == 1, result.stdout
    return result.stderr.strip()
