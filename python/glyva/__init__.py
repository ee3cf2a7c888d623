"""Outline font glyphs as triangle meshes, from Python.

Open a font, shape text into glyphs, and take each glyph's triangle mesh or outline as
numpy arrays::

    import glyva

    with glyva.Font("DejaVu Sans") as font:
        run = font.shape("Glyva")
        for glyph, (x, y) in zip(run.glyphs, run.positions):
            mesh = font.glyph_mesh(glyph)   # vertices float32 (N, 2), ems
            placed = mesh.vertices + (x, y)
            triangles = mesh.triangles        # int32 (M, 3)

Lengths are in ems. Failures raise glyva.Error subclasses with the library's message.
"""

from . import _glyva
from ._glyva import (
    Error,
    FaceError,
    Font,
    FontError,
    FontNotFoundError,
    FontSubstitutionWarning,
    GlyphError,
    GlyphInfo,
    InstanceError,
    Mesh,
    Outline,
    ShapedText,
    ShapingError,
)

__version__ = _glyva.__version__
__license__ = _glyva.__license__

__all__ = [
    "Error",
    "FaceError",
    "Font",
    "FontError",
    "FontNotFoundError",
    "FontSubstitutionWarning",
    "GlyphError",
    "GlyphInfo",
    "InstanceError",
    "Mesh",
    "Outline",
    "ShapedText",
    "ShapingError",
]
