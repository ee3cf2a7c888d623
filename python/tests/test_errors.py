"""Failures raise: the library's refusals as glyva.Error subclasses carrying the
library's own message (as the C interface gives it), misuse as ValueError or
TypeError, and nothing crashes."""

import os
import warnings

import pytest

import glyva
from conftest import (
    COLLECTION_TTC,
    DEJAVU_SANS,
    FIXTURE_TTF,
    FIXTURES,
    SOURCE_DIR,
    VARIABLE_TTF,
    capi_failure,
)

NOT_A_FONT = os.path.join(SOURCE_DIR, "README.md")

# path, open options, exception class
OPEN_FAILURES = [
    pytest.param("/nonexistent/font.ttf", {}, glyva.FontError, id="missing-file"),
    pytest.param(NOT_A_FONT, {}, glyva.FontError, id="not-a-font"),
    pytest.param(os.path.join(FIXTURES, "symbol-only.ttf"), {}, glyva.FontError,
                 id="no-unicode-cmap"),
    pytest.param(DEJAVU_SANS, dict(face=1), glyva.FaceError, id="face-of-single-font"),
    pytest.param(COLLECTION_TTC, dict(face=5), glyva.FaceError, id="face-past-collection"),
    pytest.param(DEJAVU_SANS, dict(face=-1), glyva.FaceError, id="negative-face"),
    pytest.param(VARIABLE_TTF, dict(instance="wdht=100"), glyva.InstanceError,
                 id="unknown-axis"),
    pytest.param(VARIABLE_TTF, dict(instance="Heavy"), glyva.InstanceError,
                 id="unknown-named-instance"),
    pytest.param(FIXTURE_TTF, dict(instance="wght=700"), glyva.InstanceError,
                 id="static-font-instance"),
]


@pytest.mark.parametrize("path,options,error", OPEN_FAILURES)
def test_open_failures_raise_with_the_library_message(path, options, error):
    with pytest.raises(error) as raised:
        glyva.Font(path, **options)
    assert isinstance(raised.value, glyva.FontError)
    assert str(raised.value) == capi_failure(path, "A", **options)


# text, shaping options, exception class
SHAPING_FAILURES = [
    pytest.param(b"ab\xffcd", {}, glyva.ShapingError, id="invalid-utf8"),
    pytest.param(b"\xed\xa0\x80", {}, glyva.ShapingError, id="encoded-surrogate"),
    pytest.param("abc", dict(script="Ar"), glyva.ShapingError, id="short-script"),
    pytest.param("abc", dict(language="!!"), glyva.ShapingError, id="bad-language"),
    pytest.param("abc", dict(features="+++"), glyva.ShapingError, id="bad-feature"),
    pytest.param("abc", dict(features=["liga", "+++"]), glyva.ShapingError,
                 id="bad-feature-in-list"),
    pytest.param("abc", dict(direction="up"), ValueError, id="unknown-direction"),
    pytest.param("a\ud800b", {}, UnicodeEncodeError, id="lone-surrogate"),
    pytest.param(42, {}, TypeError, id="not-text"),
    pytest.param("abc", dict(script="La\0tn"), ValueError, id="nul-in-script"),
]


@pytest.mark.parametrize("text,options,error", SHAPING_FAILURES)
def test_shaping_failures_raise(text, options, error):
    with glyva.Font(DEJAVU_SANS) as font:
        with pytest.raises(error) as raised:
            font.shape(text, **options)
        assert font.shape("still usable").glyphs.size == 12
    if error is glyva.ShapingError and isinstance(text, str):
        features = options.get("features")
        if isinstance(features, list):
            options = dict(options, features=",".join(features))
        assert str(raised.value) == capi_failure(DEJAVU_SANS, text, **options)


@pytest.mark.parametrize("method", ["glyph_info", "glyph_mesh", "glyph_outline"])
@pytest.mark.parametrize("glyph", [6253, 2**32 - 1, 2**32, -1])
def test_glyph_indices_outside_the_face_raise(method, glyph):
    with glyva.Font(DEJAVU_SANS) as font:
        assert font.glyph_count == 6253
        with pytest.raises(glyva.GlyphError, match=str(glyph)):
            getattr(font, method)(glyph)
        assert len(font.glyph_mesh(36).triangles) > 0


@pytest.mark.parametrize("quality", [-1, 101, 2**31])
def test_quality_outside_0_to_100_is_refused(quality):
    with pytest.raises((ValueError, TypeError)):
        glyva.Font(DEJAVU_SANS, quality=quality)
    with glyva.Font(DEJAVU_SANS, quality=80) as font:
        with pytest.raises((ValueError, TypeError)):
            font.quality = quality
        assert font.quality == 80


def test_bad_arguments_to_open():
    with pytest.raises(ValueError):
        glyva.Font("")
    with pytest.raises(ValueError):
        glyva.Font(DEJAVU_SANS, instance="wght=7\x0000")
    with pytest.raises(TypeError):
        glyva.Font(3.5)


def test_error_classes_form_one_hierarchy():
    for cls in (glyva.FontError, glyva.ShapingError, glyva.GlyphError):
        assert issubclass(cls, glyva.Error)
    for cls in (glyva.FontNotFoundError, glyva.FaceError, glyva.InstanceError):
        assert issubclass(cls, glyva.FontError)
    assert issubclass(glyva.FontSubstitutionWarning, UserWarning)
    assert glyva.FaceError.__module__ == "glyva"


def test_a_fontconfig_name_opens_its_family():
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        with glyva.Font("DejaVu Sans") as font:
            assert font.path == DEJAVU_SANS


def test_an_unknown_family_warns_and_names_the_substitute():
    with pytest.warns(glyva.FontSubstitutionWarning, match="No Such Family Xq") as caught:
        with glyva.Font("No Such Family Xq") as font:
            assert os.path.isfile(font.path)
    assert font.path in str(caught[0].message)
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        with pytest.raises(glyva.FontSubstitutionWarning):
            glyva.Font("No Such Family Xq")


def test_paths_are_never_taken_for_names():
    import pathlib

    with glyva.Font(pathlib.Path(DEJAVU_SANS)) as font:
        assert font.path == DEJAVU_SANS
    # A path-like object is a path even without a directory part or an extension.
    missing = pathlib.Path("DejaVu Sans")
    with pytest.raises(glyva.FontError):
        glyva.Font(missing)
