"""The module's answers equal the C interface's, array for array, for the same font,
options and text: the bindings copy, reshape and convert without losing anything."""

import numpy as np
import pytest

import glyva
from conftest import (
    COLLECTION_TTC,
    DEJAVU_SANS,
    FIXTURE_TTF,
    FREESANS_CFF,
    LIBERATION_SANS,
    NOTO_SANS_ARABIC,
    VARIABLE_TTF,
    capi_dump,
)

# "marhaban bismi" with its vowel marks, which shaping places off their pens.
ARABIC = "\u0645\u0631\u062d\u0628\u0627 \u0628\u0650\u0633\u0652\u0645\u0650"

# font, text, options; the id says what each row guards
CASES = [
    pytest.param(DEJAVU_SANS, "Office AVATAR @8", {}, id="ligature-kerning"),
    pytest.param(LIBERATION_SANS, "Office", dict(quality=0, features="-liga,-kern"),
                 id="features-off-q0"),
    pytest.param(FREESANS_CFF, "Qualm 08", dict(quality=100), id="cff-q100"),
    pytest.param(NOTO_SANS_ARABIC, ARABIC, {}, id="arabic-rtl-marks"),
    pytest.param(NOTO_SANS_ARABIC, ARABIC, dict(script="Arab", language="fa"),
                 id="script-language"),
    pytest.param(DEJAVU_SANS, "Text", dict(direction="rtl"), id="forced-rtl"),
    pytest.param(VARIABLE_TTF, "AB", dict(instance="wght=700"), id="variable-instance"),
    pytest.param(COLLECTION_TTC, "AB", dict(face=1), id="collection-face"),
    pytest.param(FIXTURE_TTF, "ABCDEFGH ", {}, id="fixture-edge-outlines"),
]


def shape_and_mesh(path, text, face=0, instance=None, quality=50, **shaping):
    with glyva.Font(path, face=face, instance=instance, quality=quality) as font:
        run = font.shape(text, **shaping)
        glyphs = {}
        for index in dict.fromkeys(int(g) for g in run.glyphs):
            glyphs[index] = (font.glyph_info(index), font.glyph_mesh(index),
                             font.glyph_outline(index))
        metrics = (font.units_per_em, font.glyph_count, font.ascender, font.descender)
        return run, glyphs, metrics


@pytest.mark.parametrize("path,text,options", CASES)
def test_arrays_equal_the_c_interface(path, text, options):
    expected = capi_dump(path, text, **options)
    run, glyphs, metrics = shape_and_mesh(path, text, **options)

    assert metrics == (expected.units_per_em, expected.glyph_count,
                       np.float32(expected.ascender), np.float32(expected.descender))
    shaped = np.array(expected.shaped, dtype=np.float64).reshape(-1, 6)
    assert run.glyphs.dtype == np.uint32 and run.clusters.dtype == np.uint32
    np.testing.assert_array_equal(run.glyphs, shaped[:, 0])
    np.testing.assert_array_equal(run.clusters, shaped[:, 1])
    np.testing.assert_array_equal(run.advances, shaped[:, 2:4])
    np.testing.assert_array_equal(run.offsets, shaped[:, 4:6])

    assert set(glyphs) == set(expected.glyphs)
    assert any(len(g.vertices) for g in expected.glyphs.values()), "nothing to compare"
    for index, (info, mesh, outline) in glyphs.items():
        want = expected.glyphs[index]
        got_info = (info.width, info.height, info.hori_advance, info.vert_advance,
                    info.hori_bearing_x, info.hori_bearing_y, info.vert_bearing_x,
                    info.vert_bearing_y)
        assert got_info == want.info, f"glyph {index}"
        assert info.contour_count == want.contour_count
        assert mesh.vertices.dtype == np.float32 and mesh.vertices.shape[1:] == (2,)
        assert mesh.triangles.dtype == np.int32 and mesh.triangles.shape[1:] == (3,)
        np.testing.assert_array_equal(mesh.vertices, want.vertices, err_msg=f"glyph {index}")
        np.testing.assert_array_equal(mesh.triangles, want.triangles, err_msg=f"glyph {index}")
        assert len(outline.contours) == len(want.contours) == want.contour_count
        for got, contour in zip(outline.contours, want.contours):
            assert got.dtype == np.float32
            np.testing.assert_array_equal(got, contour, err_msg=f"glyph {index}")
        if want.contour_count:
            assert outline.even_odd_fill == want.even_odd_fill
            assert outline.postscript_orientation == want.postscript_orientation


def test_positions_are_the_pens_plus_offsets():
    with glyva.Font(NOTO_SANS_ARABIC) as font:
        run = font.shape(ARABIC)
    pens = np.vstack([[0.0, 0.0], np.cumsum(run.advances, axis=0)[:-1]])
    np.testing.assert_array_equal(run.positions, pens + run.offsets)
    assert np.any(run.offsets != 0.0), "marks should sit off their pens"
