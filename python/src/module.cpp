#include <pybind11/pybind11.h>

#include "errors.hh"
#include "font.hh"
#include "results.hh"

namespace py = pybind11;

PYBIND11_MODULE(_glyva, m)
{
    m.doc() = "Outline font glyphs as triangle meshes: fonts, shaping, glyph meshes and "
              "outlines as numpy arrays.";
    m.attr("__version__") = GLYVA_VERSION;
    m.attr("__license__") = GLYVA_LICENSE;
    /* Each area binds from a file of its own, after the types its signatures name:
     * paragraph layout and solids come after Font, which they take. */
    glyvapy::bindErrors(m);
    glyvapy::bindResults(m);
    glyvapy::bindFont(m);
    /* The classes present themselves as glyva's, the package that exports them. */
    for (const char *name : {"Font", "GlyphInfo", "Mesh", "Outline", "ShapedText"})
        m.attr(name).attr("__module__") = "glyva";
}
