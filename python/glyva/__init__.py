"""Outline font glyphs as triangle meshes, from Python.

Open a font, lay text out in lines, take each glyph's triangle mesh or outline as
numpy arrays, and write meshes and pictures as the glyva-mesh tool does::

    import glyva

    with glyva.Font("DejaVu Sans") as font:
        layout = glyva.layout("Glyva", font)
        for glyph, (x, y) in zip(layout.glyphs, layout.positions):
            mesh = font.glyph_mesh(glyph)   # vertices float32 (N, 2), ems
            placed = mesh.vertices + (x, y)
            triangles = mesh.triangles        # int32 (M, 3)
        text = layout.mesh()                  # all of it: vertices (V, 3) at z = 0

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
    Layout,
    Lines,
    Mesh,
    Outline,
    Scene,
    ShapedText,
    ShapingError,
    layout,
    write,
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
    "Layout",
    "Lines",
    "Mesh",
    "Outline",
    "Scene",
    "ShapedText",
    "ShapingError",
    "layout",
    "write",
]
