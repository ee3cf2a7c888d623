"""glyva.layout and the meshes of a layout against the C interface: the same fonts,
text and options give the same glyph and line records, notices and meshes, placed where
the records say; failures raise with the library's message."""

import math

import numpy as np
import pytest

import glyva
from conftest import (
    COLLECTION_TTC,
    DEJAVU_SANS,
    FIXTURE_TTF,
    LIBERATION_SANS,
    NOTO_SANS_ARABIC,
    capi_layout,
    capi_layout_failure,
)

NOTO_SANS_DEVANAGARI = "/usr/share/fonts/truetype/noto/NotoSansDevanagari-Regular.ttf"
ARABIC = "\u0645\u0631\u062d\u0628\u0627 \u0628\u0650\u0633\u0652\u0645\u0650"
WRAPPED = "Glyva turns the glyphs of outline fonts into triangle meshes, line by line."

# fonts (paths, or (path, face) pairs), text, quality, layout options; the id says
# what each row guards
CASES = [
    pytest.param([DEJAVU_SANS], "Office AVATAR\nWave", 50, {}, id="paragraphs-kerning"),
    pytest.param([DEJAVU_SANS, NOTO_SANS_DEVANAGARI], "Glyva \u0928\u092e\u0938\u094d\u0924\u0947",
                 50, {}, id="second-face"),
    pytest.param([NOTO_SANS_ARABIC, DEJAVU_SANS], f"abc {ARABIC} 123 (x)", 50,
                 dict(direction="rtl", align="end"), id="bidi-rtl-end"),
    pytest.param([DEJAVU_SANS], WRAPPED, 30,
                 dict(width=6.5, align="center", line_spacing=1.5, letter_spacing=0.0625),
                 id="wrapped-spacing"),
    pytest.param([DEJAVU_SANS], "Overflowingly", 50, dict(width=2.0), id="overflow"),
    pytest.param([LIBERATION_SANS], "Office", 0, dict(features="-liga,-kern"),
                 id="features-q0"),
    pytest.param([NOTO_SANS_ARABIC], ARABIC, 50, dict(script="Arab", language="fa"),
                 id="script-language"),
    pytest.param([(COLLECTION_TTC, 1)], "AB BA", 50, dict(align="right"), id="collection-face"),
    pytest.param([FIXTURE_TTF], "AB\u2603\u2029CD", 100, {}, id="missing-glyph"),
]


def open_fonts(fonts, quality):
    return [glyva.Font(f[0], face=f[1], quality=quality) if isinstance(f, tuple)
            else glyva.Font(f, quality=quality) for f in fonts]


def lay_out(fonts, text, quality, options):
    return glyva.layout(text, open_fonts(fonts, quality), **options)


@pytest.mark.parametrize("fonts,text,quality,options", CASES)
def test_records_equal_the_c_interface(fonts, text, quality, options):
    expected = capi_layout(text, fonts, quality=quality, **options)
    layout = lay_out(fonts, text, quality, options)

    assert len(layout) == len(expected.glyphs) > 0
    for name in ("faces", "glyphs", "clusters", "line_indices"):
        assert getattr(layout, name).dtype == np.uint32, name
    np.testing.assert_array_equal(layout.faces, expected.glyphs[:, 0])
    np.testing.assert_array_equal(layout.glyphs, expected.glyphs[:, 1])
    np.testing.assert_array_equal(layout.clusters, expected.glyphs[:, 2])
    np.testing.assert_array_equal(layout.line_indices, expected.glyphs[:, 3])
    np.testing.assert_array_equal(layout.positions, expected.glyphs[:, 4:6])
    np.testing.assert_array_equal(layout.advances, expected.glyphs[:, 6])

    lines, want = layout.lines, expected.lines
    assert len(lines) == len(want)
    np.testing.assert_array_equal(lines.glyph_ranges[:, 0], want[:, 0])
    np.testing.assert_array_equal(lines.glyph_ranges[:, 1], want[:, 0] + want[:, 1])
    np.testing.assert_array_equal(lines.byte_ranges[:, 0], want[:, 2])
    np.testing.assert_array_equal(lines.byte_ranges[:, 1], want[:, 2] + want[:, 3])
    for column, name in enumerate(["baselines", "lefts", "widths", "ascenders", "descenders",
                                   "levels", "paragraphs"], start=4):
        np.testing.assert_array_equal(getattr(lines, name), want[:, column], err_msg=name)

    assert layout.missing_glyphs == bool(expected.notices & 1)
    assert layout.overflow == bool(expected.notices & 2)
    assert layout.notice == expected.notice
    assert layout.utf8 == text.encode()


def test_notices_are_raised_where_expected():
    # The table's rows mean something only if the notices they guard do come up.
    assert lay_out([FIXTURE_TTF], "AB\u2603", 50, {}).missing_glyphs
    assert lay_out([DEJAVU_SANS], "Overflowingly", 50, dict(width=2.0)).overflow
    clean = lay_out([DEJAVU_SANS], "Glyva", 50, {})
    assert not clean.missing_glyphs and not clean.overflow and clean.notice == ""


def placed_from_c(expected, size):
    """Each glyph with triangles, in layout order, as the C interface's mesh moved to
    its record's position, in float64 output units; and its triangles."""
    for face, glyph, _, _, x, y, _ in expected.glyphs:
        vertices, triangles = expected.meshes[(int(face), int(glyph))]
        if len(triangles):
            yield (vertices.astype(np.float64) + (x, y)) * size, triangles


@pytest.mark.parametrize("fonts,text,quality,options", CASES)
def test_scene_places_the_c_meshes(fonts, text, quality, options):
    size = 2.5
    expected = capi_layout(text, fonts, quality=quality, **options)
    scene = lay_out(fonts, text, quality, options).scene(size)
    placed = list(placed_from_c(expected, size))

    distinct = {(int(f), int(g)) for f, g in expected.glyphs[:, :2]
                if len(expected.meshes[(int(f), int(g))][1])}
    assert len(scene.meshes) == len(distinct)
    assert len(scene) == len(placed) == len(scene.texts)
    # Coordinates lie on a grid two float32 steps of the text's extent wide at most.
    extent = max(float(np.abs(v).max()) for v, _ in placed)
    tolerance = 4 * float(np.spacing(np.float32(extent)))
    for k, (vertices, triangles) in enumerate(placed):
        mesh = scene.meshes[scene.mesh_indices[k]]
        got = mesh.vertices.astype(np.float64) + scene.translations[k]
        assert mesh.vertices.dtype == np.float32 and mesh.vertices.shape[1] == 3
        np.testing.assert_allclose(got[:, :2], vertices, rtol=0, atol=tolerance)
        np.testing.assert_array_equal(got[:, 2], 0.0)
        np.testing.assert_array_equal(mesh.triangles, triangles)
        np.testing.assert_array_equal(mesh.normals, np.tile([0.0, 0.0, 1.0], (len(got), 1)))


@pytest.mark.parametrize("size", [1.0, 0.3, 72.0])
def test_merged_mesh_is_every_instance_moved_exactly(size):
    layout = lay_out([DEJAVU_SANS], WRAPPED, 50, dict(width=8.0))
    scene = layout.scene(size)
    merged = layout.mesh(size)
    assert scene.size == np.float32(size) and scene.flat
    assert merged.vertices.dtype == np.float32 and merged.triangles.dtype == np.int32
    parts, triangles, base = [], [], 0
    for index, translation in zip(scene.mesh_indices, scene.translations):
        mesh = scene.meshes[index]
        parts.append(mesh.vertices + translation)  # float32 sums: exact on the grid
        triangles.append(mesh.triangles + base)
        base += len(mesh.vertices)
    np.testing.assert_array_equal(merged.vertices, np.vstack(parts))
    np.testing.assert_array_equal(merged.triangles, np.vstack(triangles))
    np.testing.assert_array_equal(scene.merged().vertices, merged.vertices)
    assert merged.normals.shape == merged.vertices.shape


def test_a_glyph_mesh_moved_by_its_position_is_its_place_in_the_scene():
    # The layout's documented recipe, by hand, against the scene.
    with glyva.Font(DEJAVU_SANS) as font:
        layout = glyva.layout("AVA Wa", font)
        scene = layout.scene()
        k = 0
        for glyph, position in zip(layout.glyphs, layout.positions):
            mesh = font.glyph_mesh(glyph)
            if not len(mesh.triangles):
                continue
            placed = scene.meshes[scene.mesh_indices[k]].vertices + scene.translations[k]
            np.testing.assert_allclose(placed[:, :2], mesh.vertices + position, atol=1e-6)
            k += 1
        assert k == len(scene) == 5


def test_instances_name_their_clusters():
    layout = lay_out([DEJAVU_SANS], "Office \u00c5", 50, {})
    scene = layout.scene()
    assert scene.texts == ["O", "ffi", "c", "e", "\u00c5"]
    assert len(scene.meshes) == 5


def test_fallback_adds_fontconfigs_proposals_after_the_given_fonts():
    text = "Glyva \u0928\u092e\u0938\u094d\u0924\u0947"
    with glyva.Font(DEJAVU_SANS, quality=20) as font:
        alone = glyva.layout(text, font)
        helped = glyva.layout(text, font, fallback=True)
    assert alone.missing_glyphs and len(alone.fonts) == 1
    assert not helped.missing_glyphs and len(helped.fonts) >= 2
    assert helped.fonts[0] is font
    assert all(f.quality == 20 for f in helped.fonts[1:])
    assert set(helped.faces[6:]) - {0}, "the Devanagari letters come from a fallback font"
    # Nothing lacking, nothing proposed.
    assert len(glyva.layout("Glyva", DEJAVU_SANS, fallback=True).fonts) == 1


def test_fonts_are_taken_as_one_or_a_list_of_fonts_paths_or_names():
    import pathlib

    with glyva.Font(DEJAVU_SANS) as font:
        want = glyva.layout("AV", font).glyphs
        for fonts in (font, [font], DEJAVU_SANS, pathlib.Path(DEJAVU_SANS), "DejaVu Sans",
                      (DEJAVU_SANS, font)):
            layout = glyva.layout("AV", fonts)
            np.testing.assert_array_equal(layout.glyphs, want)
            assert layout.fonts[0].path == DEJAVU_SANS


def test_arrays_are_read_only_copies():
    layout = lay_out([DEJAVU_SANS], "AV", 50, {})
    scene = layout.scene()
    for array in (layout.positions, layout.glyphs, layout.lines.baselines,
                  scene.translations, scene.meshes[0].vertices):
        with pytest.raises(ValueError):
            array[0] = 0
    assert layout.mesh().vertices.flags.writeable


# text, layout options, exception class; ShapingError rows carry the C interface's
# message
LAYOUT_FAILURES = [
    pytest.param(b"ab\xffcd", {}, glyva.ShapingError, id="invalid-utf8"),
    pytest.param("abc", dict(width=-1.0), glyva.ShapingError, id="negative-width"),
    pytest.param("abc", dict(width=math.inf), glyva.ShapingError, id="infinite-width"),
    pytest.param("abc", dict(line_spacing=-0.5), glyva.ShapingError, id="negative-spacing"),
    pytest.param("abc", dict(letter_spacing=math.nan), glyva.ShapingError,
                 id="nan-letter-spacing"),
    pytest.param("abc", dict(script="Ar"), glyva.ShapingError, id="short-script"),
    pytest.param("abc", dict(features="+++"), glyva.ShapingError, id="bad-feature"),
    pytest.param("abc", dict(direction="ttb"), ValueError, id="vertical-direction"),
    pytest.param("abc", dict(align="middle"), ValueError, id="unknown-align"),
    pytest.param("abc", dict(language="f\0a"), ValueError, id="nul-in-language"),
    pytest.param(42, {}, TypeError, id="not-text"),
]


@pytest.mark.parametrize("text,options,error", LAYOUT_FAILURES)
def test_layout_failures_raise(text, options, error):
    with glyva.Font(DEJAVU_SANS) as font:
        with pytest.raises(error) as raised:
            glyva.layout(text, font, **options)
        assert len(glyva.layout("still usable", font)) == 12
    if error is glyva.ShapingError:
        assert str(raised.value) == capi_layout_failure(text, [DEJAVU_SANS], **options)


def test_bad_font_arguments_raise():
    with pytest.raises(ValueError, match="no fonts"):
        glyva.layout("abc", [])
    with pytest.raises(TypeError):
        glyva.layout("abc", [42])
    with pytest.raises(glyva.FontError):
        glyva.layout("abc", "/nonexistent/font.ttf")
    font = glyva.Font(DEJAVU_SANS)
    font.close()
    with pytest.raises(ValueError, match="closed"):
        glyva.layout("abc", font)


def test_scenes_need_their_fonts_open_and_a_sensible_size():
    font = glyva.Font(DEJAVU_SANS)
    layout = glyva.layout("abc", font)
    for size in (0.0, -1.0, math.nan, math.inf, 2e9):
        with pytest.raises(ValueError, match="size"):
            layout.scene(size)
    kept = layout.scene()
    font.close()
    with pytest.raises(ValueError, match="closed"):
        layout.scene()
    with pytest.raises(ValueError, match="closed"):
        layout.mesh()
    assert len(kept.merged().vertices) > 0  # a scene made before needs no font
