"""glyva.layout and the meshes of a layout against the C interface: the same fonts,
text and options give the same glyph and line records and notices, and the same flat
meshes and solids as the solid library builds, placed where the records say; failures
raise with the library's message."""

import math

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
    capi_layout,
    capi_layout_failure,
    capi_solids,
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


def placed_from_c(expected):
    """(face, glyph, x, y) of each glyph with triangles in the font's mesh, in layout
    order."""
    for face, glyph, _, _, x, y, _ in expected.glyphs:
        if len(expected.meshes[(int(face), int(glyph))][1]):
            yield int(face), int(glyph), x, y


def on_grid(value, grid):
    """A position as the scene rounds it: to float32, then to the grid."""
    return np.rint(np.float32(value) / np.float32(grid)) * np.float32(grid)


def expect_c_meshes(fonts, placed, scene, quality, settings):
    """Each instance's mesh is, array for array, what the solid library's C interface
    builds for its glyph at the scene's size and grid; its translation is the glyph's
    position on that grid."""
    by_face = {}
    for face, glyph, _, _ in placed:
        by_face.setdefault(face, set()).add(glyph)
    solids = {}
    for face, glyphs in by_face.items():
        for glyph, dump in capi_solids(fonts[face], sorted(glyphs), quality=quality,
                                       scale=scene.size, grid=scene.grid, **settings).items():
            solids[(face, glyph)] = dump
    assert len(scene.meshes) == len(solids)
    assert len(scene) == len(placed) == len(scene.texts)
    for k, (face, glyph, x, y) in enumerate(placed):
        mesh, want = scene.meshes[scene.mesh_indices[k]], solids[(face, glyph)]
        for name, got, expected in (("vertices", mesh.vertices, want.positions),
                                    ("normals", mesh.normals, want.normals),
                                    ("uvs", mesh.uvs, want.uvs),
                                    ("triangles", mesh.triangles, want.triangles)):
            assert got.dtype == expected.dtype, name
            np.testing.assert_array_equal(got, expected, err_msg=f"glyph {glyph}: {name}")
        np.testing.assert_array_equal(
            scene.translations[k],
            [on_grid(x * scene.size, scene.grid), on_grid(y * scene.size, scene.grid), 0.0])


@pytest.mark.parametrize("fonts,text,quality,options", CASES)
def test_scene_places_the_c_meshes(fonts, text, quality, options):
    expected = capi_layout(text, fonts, quality=quality, **options)
    scene = lay_out(fonts, text, quality, options).scene(2.5)
    assert scene.flat and scene.grid > 0 and np.log2(scene.grid).is_integer()
    expect_c_meshes(fonts, list(placed_from_c(expected)), scene, quality, {})
    for mesh in scene.meshes:
        np.testing.assert_array_equal(mesh.vertices[:, 2], 0.0)
        np.testing.assert_array_equal(mesh.normals, np.tile([0.0, 0.0, 1.0], (len(mesh.vertices), 1)))


# fonts, text, settings of Layout.scene; the id says what each row guards
SOLID_CASES = [
    pytest.param([DEJAVU_SANS], "Glyva@8", dict(depth=2.0), id="truetype-plain"),
    pytest.param([DEJAVU_SANS], "Glyva@8", dict(depth=2.0, bevel=0.2, bevel_segments=3),
                 id="truetype-rounded"),
    pytest.param([FREESANS_CFF], "Qualm08", dict(depth=3.0, bevel=0.3, bevel_depth=0.2,
                                                  bevel_front_only=True), id="cff-front-only"),
    pytest.param([NOTO_SANS_ARABIC, DEJAVU_SANS], f"ab {ARABIC}", dict(depth=1.5, bevel=0.1),
                 id="two-faces-chamfer"),
]


@pytest.mark.parametrize("fonts,text,settings", SOLID_CASES)
def test_solids_are_the_c_solids(fonts, text, settings):
    expected = capi_layout(text, fonts, quality=50)
    scene = lay_out(fonts, text, 50, {}).scene(10.0, **settings)
    assert not scene.flat
    expect_c_meshes(fonts, list(placed_from_c(expected)), scene, 50, settings)
    for mesh in scene.meshes:
        assert mesh.vertices[:, 2].min() == 0.0
        assert mesh.vertices[:, 2].max() == on_grid(settings["depth"], scene.grid)


@pytest.mark.parametrize("settings,message", [
    (dict(bevel=0.1), "needs a solid"),
    (dict(depth=1.0, bevel=0.5), "no wall"),
    (dict(depth=1.0, bevel=0.1, bevel_segments=33), "1 to 32"),
    (dict(depth=float("nan")), "0 to 1e9"),
    (dict(depth=-1.0), "0 to 1e9"),
])
def test_settings_that_make_no_solid_are_refused(settings, message):
    layout = lay_out([DEJAVU_SANS], "A", 50, {})
    with pytest.raises(ValueError, match=message):
        layout.scene(1.0, **settings)


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
    # Flat glyphs are mapped by position: in the merged mesh, by the text's.
    uvs = [scene.meshes[i].uvs + t[:2] / np.float32(size)
           for i, t in zip(scene.mesh_indices, scene.translations)]
    np.testing.assert_array_equal(merged.uvs, np.vstack(uvs))


def area(vertices, triangles):
    a, b, c = (vertices[triangles[:, k], :2].astype(np.float64) for k in range(3))
    return 0.5 * np.sum((b[:, 0] - a[:, 0]) * (c[:, 1] - a[:, 1]) -
                        (b[:, 1] - a[:, 1]) * (c[:, 0] - a[:, 0]))


def test_a_glyph_mesh_moved_by_its_position_is_its_place_in_the_scene():
    # The layout's documented recipe, by hand, against the scene: the same place and
    # extent, the same area covered.
    with glyva.Font(DEJAVU_SANS) as font:
        layout = glyva.layout("AVA Wa", font)
        scene = layout.scene()
        k = 0
        for glyph, position in zip(layout.glyphs, layout.positions):
            mesh = font.glyph_mesh(glyph)
            if not len(mesh.triangles):
                continue
            instance = scene.meshes[scene.mesh_indices[k]]
            placed = instance.vertices + scene.translations[k]
            moved = mesh.vertices + position
            np.testing.assert_allclose(placed[:, :2].min(axis=0), moved.min(axis=0), atol=1e-6)
            np.testing.assert_allclose(placed[:, :2].max(axis=0), moved.max(axis=0), atol=1e-6)
            assert area(instance.vertices, instance.triangles) == pytest.approx(
                area(mesh.vertices, mesh.triangles), rel=1e-5)
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
