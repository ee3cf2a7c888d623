#ifndef PYTHON_SRC_RESULTS_HH
#define PYTHON_SRC_RESULTS_HH

#include <cstdint>
#include <vector>

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include "shape/glyvaShape.h"

namespace glyvapy
{

/* What the module hands out: plain records of numpy arrays, copied out of the
 * library's handle so that they outlive it. Lengths are ems, as the library gives
 * them. */

/* A triangle mesh: vertices float32 (N, 2) for a glyph, or (N, 3) with normals
 * float32 (N, 3) and texture coordinates float32 (N, 2) in a scene; triangles int32
 * (M, 3), counter-clockwise. */
struct Mesh {
    pybind11::array_t<float> vertices;
    pybind11::array_t<int32_t> triangles;
    pybind11::object normals = pybind11::none();
    pybind11::object uvs = pybind11::none();
};

/* A glyph's flattened outline: one float32 (K, 2) array per contour, closed
 * implicitly, and the outline's fill conventions. */
struct Outline {
    std::vector<pybind11::array_t<float>> contours;
    bool evenOddFill = false;
    bool postScriptOrientation = false;
};

/* A shaped run in visual order: glyph indices and clusters (byte offsets into the
 * UTF-8 text) as uint32 (N,), advances, offsets and positions (pen plus offset, the
 * first pen at the origin) as float64 (N, 2). Paragraph layout adds placed lines of
 * runs from several faces beside it. */
struct ShapedText {
    pybind11::array_t<uint32_t> glyphs;
    pybind11::array_t<uint32_t> clusters;
    pybind11::array_t<double> advances;
    pybind11::array_t<double> offsets;
    pybind11::array_t<double> positions;
};

/* A new C-ordered array of count rows of width values. */
template <typename T> pybind11::array_t<T> rows(pybind11::ssize_t count, pybind11::ssize_t width)
{
    return pybind11::array_t<T>({count, width});
}

/* The array, made read-only: for arrays of a result that later calls read from the
 * result's own copy, so that changing them cannot seem to change what is written. */
template <typename T> pybind11::array_t<T> frozen(pybind11::array_t<T> array)
{
    array.attr("setflags")(pybind11::arg("write") = false);
    return array;
}

Mesh copyMesh(const float *vertices, int32_t vertexCount, const int32_t *indices,
              int32_t indexCount);
/* points holds count (x, y, z) triples; the z of a flat contour is dropped. */
pybind11::array_t<float> copyContour(const float *points, int32_t count);
ShapedText copyShaped(const glyvaShapedGlyph *glyphs, int32_t count);

/* Adds GlyphInfo, Mesh, Outline and ShapedText to the module. */
void bindResults(pybind11::module_ &m);

} // namespace glyvapy

#endif
