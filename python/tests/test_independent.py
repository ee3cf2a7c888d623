"""The module's answers against fontTools' reading of the same fonts: outline areas
(fontTools' AreaPen on the font's own curves), the character map, horizontal metrics
and contour counts."""

import numpy as np
import pytest
from fontTools.pens.areaPen import AreaPen
from fontTools.ttLib import TTFont

import glyva
from conftest import DEJAVU_SANS, FREESANS_CFF, LIBERATION_SANS, mesh_area, triangle_areas

LETTERS = "ABDOPRabdegopq8@&%"


def font_tools(path):
    tt = TTFont(path)
    return tt, tt.getGlyphSet(), tt.getBestCmap(), tt["head"].unitsPerEm


@pytest.mark.parametrize("path", [DEJAVU_SANS, LIBERATION_SANS, FREESANS_CFF])
def test_mesh_areas_match_the_curved_outlines(path):
    # Flattened curves cut corners; at quality 100 the meshes of these glyphs (no
    # overlapping contours) lose less than 1.5 % of the area.
    tt, glyph_set, cmap, upem = font_tools(path)
    with glyva.Font(path, quality=100) as font:
        for char in LETTERS:
            name = cmap[ord(char)]
            pen = AreaPen(glyph_set)
            glyph_set[name].draw(pen)
            expected = abs(pen.value) / upem**2
            mesh = font.glyph_mesh(tt.getGlyphID(name))
            assert mesh.triangles.min() >= 0
            assert mesh.triangles.max() < len(mesh.vertices)
            area = mesh_area(mesh.vertices, mesh.triangles)
            assert area == pytest.approx(expected, rel=0.015), char


@pytest.mark.parametrize("path", [DEJAVU_SANS, LIBERATION_SANS, FREESANS_CFF])
def test_triangles_are_counter_clockwise(path):
    tt, _, cmap, _ = font_tools(path)
    with glyva.Font(path) as font:
        for char in LETTERS:
            mesh = font.glyph_mesh(tt.getGlyphID(cmap[ord(char)]))
            assert (triangle_areas(mesh.vertices, mesh.triangles) >= 0).all(), char


@pytest.mark.parametrize("path", [DEJAVU_SANS, LIBERATION_SANS])
def test_unkerned_shaping_follows_the_cmap_and_advances(path):
    tt, _, cmap, upem = font_tools(path)
    text = "AVATAR Wave"
    with glyva.Font(path) as font:
        run = font.shape(text, features="-kern")
        assert font.units_per_em == upem
        assert font.glyph_count == len(tt.getGlyphOrder())
    expected_glyphs = [tt.getGlyphID(cmap[ord(c)]) for c in text]
    expected_advances = [tt["hmtx"][cmap[ord(c)]][0] / upem for c in text]
    np.testing.assert_array_equal(run.glyphs, expected_glyphs)
    np.testing.assert_array_equal(run.clusters, range(len(text)))
    np.testing.assert_allclose(run.advances[:, 0], expected_advances, rtol=0, atol=1e-12)
    np.testing.assert_array_equal(run.advances[:, 1], 0.0)


def test_clusters_are_utf8_byte_offsets():
    text = "A\u00e9\u4e2d\U0001F600B"  # 1-, 2-, 3- and 4-byte characters
    with glyva.Font(DEJAVU_SANS) as font:
        run = font.shape(text)
    np.testing.assert_array_equal(run.clusters, [0, 1, 3, 6, 10])


@pytest.mark.parametrize("path", [DEJAVU_SANS, LIBERATION_SANS])
def test_glyph_info_follows_hmtx_and_glyf(path):
    # Metrics come from FreeType at 640 units of 26.6 per em: within 1/640 em.
    tt, _, cmap, upem = font_tools(path)
    with glyva.Font(path) as font:
        for char in LETTERS + " ":
            name = cmap[ord(char)]
            info = font.glyph_info(tt.getGlyphID(name))
            assert info.hori_advance == pytest.approx(tt["hmtx"][name][0] / upem, abs=1 / 640)
            assert info.contour_count == max(tt["glyf"][name].numberOfContours, 0), char
            outline = font.glyph_outline(tt.getGlyphID(name))
            assert len(outline.contours) == info.contour_count
            if info.contour_count:
                assert not outline.postscript_orientation, "TrueType outer contours run clockwise"


def test_cff_outlines_report_postscript_orientation():
    tt, _, cmap, _ = font_tools(FREESANS_CFF)
    with glyva.Font(FREESANS_CFF) as font:
        outline = font.glyph_outline(tt.getGlyphID(cmap[ord("O")]))
    assert len(outline.contours) == 2
    assert outline.postscript_orientation
