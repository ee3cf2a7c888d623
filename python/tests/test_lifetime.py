"""Handles are released when closed, at the end of a with block and when collected;
arrays are copies that outlive them; a closed font refuses every call."""

import gc
import os

import numpy as np
import pytest

import glyva
from conftest import DEJAVU_SANS, FIXTURE_TTF, SOURCE_DIR


def resident_bytes():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def test_with_block_closes_and_close_is_idempotent():
    with glyva.Font(DEJAVU_SANS) as font:
        assert not font.closed
    assert font.closed
    font.close()
    assert font.closed
    assert "closed" in repr(font)


CALLS = [
    pytest.param(lambda f: f.shape("A"), id="shape"),
    pytest.param(lambda f: f.glyph_info(36), id="glyph_info"),
    pytest.param(lambda f: f.glyph_mesh(36), id="glyph_mesh"),
    pytest.param(lambda f: f.glyph_outline(36), id="glyph_outline"),
    pytest.param(lambda f: f.units_per_em, id="units_per_em"),
    pytest.param(lambda f: f.glyph_count, id="glyph_count"),
    pytest.param(lambda f: f.ascender, id="ascender"),
    pytest.param(lambda f: f.descender, id="descender"),
    pytest.param(lambda f: f.quality, id="quality"),
    pytest.param(lambda f: setattr(f, "quality", 10), id="set-quality"),
]


@pytest.mark.parametrize("call", CALLS)
def test_a_closed_font_refuses_every_call(call):
    font = glyva.Font(DEJAVU_SANS)
    font.close()
    with pytest.raises(ValueError, match="closed"):
        call(font)
    assert font.path == DEJAVU_SANS and font.face == 0 and font.instance is None


def test_arrays_outlive_the_font_and_share_nothing():
    with glyva.Font(DEJAVU_SANS) as font:
        first = font.glyph_mesh(36)
        kept = first.vertices.copy()
        second = font.glyph_mesh(36)
        other = font.glyph_mesh(55)
        outline = font.glyph_outline(36)
        run = font.shape("AVA")
    # The library reuses its storage for every mesh; the copies must not follow it.
    np.testing.assert_array_equal(first.vertices, kept)
    np.testing.assert_array_equal(second.vertices, kept)
    assert not np.shares_memory(first.vertices, second.vertices)
    assert len(other.vertices) != len(kept)
    second.vertices[:] = 0
    np.testing.assert_array_equal(first.vertices, kept)
    assert len(outline.contours) == 2 and len(run) == 3


def test_quality_changes_later_meshes_only():
    with glyva.Font(DEJAVU_SANS, quality=0) as font:
        coarse = font.glyph_mesh(50)  # O: all curves
        font.quality = 100
        assert font.quality == 100
        fine = font.glyph_mesh(50)
    assert len(fine.vertices) > len(coarse.vertices)


def open_and_mesh(i):
    """One cycle of a script's life: open, shape, mesh, outline, release. Every tenth
    open fails; the others alternate between close() and being collected."""
    if i % 10 == 9:
        with pytest.raises(glyva.FontError):
            glyva.Font(os.path.join(SOURCE_DIR, "README.md"))
        return
    font = glyva.Font(FIXTURE_TTF)
    for glyph in font.shape("ABEF").glyphs:
        font.glyph_mesh(int(glyph))
        font.glyph_outline(int(glyph))
    if i % 2:
        font.close()


def test_no_growth_over_10000_opens_and_meshes():
    # An open handle of this font holds about 12 KB and each mesh and outline a few
    # hundred bytes: leaking either would grow the process by tens of megabytes.
    for i in range(500):
        open_and_mesh(i)
    gc.collect()
    before = resident_bytes()
    for i in range(10000):
        open_and_mesh(i)
    gc.collect()
    growth = resident_bytes() - before
    assert growth < 1 << 20, f"resident memory grew by {growth} bytes"


def lay_out_and_place(i, folder):
    """One cycle of a layout script: a layout over two fonts, its scene and merged mesh,
    now and then a file; every fifth layout fails on invalid UTF-8, and the fonts are
    closed or collected in turn."""
    fonts = [glyva.Font(FIXTURE_TTF), glyva.Font(DEJAVU_SANS)]
    if i % 5 == 4:
        with pytest.raises(glyva.ShapingError):
            glyva.layout(b"AB\xff", fonts)
        return
    layout = glyva.layout("ABE\u00e9 F\nGH", fonts, width=3.0)
    layout.scene(2.0)
    layout.mesh()
    if i % 50 == 0:
        glyva.write(layout, os.path.join(folder, "cycle.glb"))
        glyva.write(layout, os.path.join(folder, "cycle.png"), picture_width=64)
    if i % 2:
        for font in fonts:
            font.close()


def test_no_growth_over_10000_layouts_and_scenes(tmp_path):
    # A layout, its scene and the fonts' handles hold tens of kilobytes together: leaking
    # any of them over 10,000 cycles would grow the process by hundreds of megabytes.
    # File descriptors must come back too.
    for i in range(200):
        lay_out_and_place(i, str(tmp_path))
    gc.collect()
    before, descriptors = resident_bytes(), len(os.listdir("/proc/self/fd"))
    for i in range(10000):
        lay_out_and_place(i, str(tmp_path))
    gc.collect()
    growth = resident_bytes() - before
    assert growth < 2 << 20, f"resident memory grew by {growth} bytes"
    assert len(os.listdir("/proc/self/fd")) == descriptors
    assert sorted(os.listdir(tmp_path)) == ["cycle.glb", "cycle.png"]
