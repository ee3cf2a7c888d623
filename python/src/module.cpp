#include <pybind11/pybind11.h>

#include "errors.hh"
#include "font.hh"
#include "layout.hh"
#include "results.hh"
#include "scene.hh"

namespace py = pybind11;

PYBIND11_MODULE(_glyva, m)
{
    m.doc() = "Outline font glyphs as triangle meshes: fonts, shaping, paragraph layout, "
              "glyph meshes and outlines as numpy arrays, and the files of the glyva-mesh tool.";
    m.attr("__version__") = GLYVA_VERSION;
    m.attr("__license__") = GLYVA_LICENSE;
    /* Each area binds from a file of its own, after the types its signatures name:
     * scenes before the layout whose methods make them, both after Font. */
    glyvapy::bindErrors(m);
    glyvapy::bindResults(m);
    glyvapy::bindFont(m);
    glyvapy::bindScene(m);
    glyvapy::bindLayout(m);
    /* The classes present themselves as glyva's, the package that exports them. */
    for (const char *name :
         {"Font", "GlyphInfo", "Mesh", "Outline", "ShapedText", "Scene", "Lines", "Layout"})
        m.attr(name).attr("__module__") = "glyva";
}
