#include "results.hh"

#include <cstring>
#include <string>

namespace py = pybind11;

namespace glyvapy
{
namespace
{

/* "Mesh(12 vertices, 10 triangles)" */
std::string describeMesh(const Mesh &mesh)
{
    return "Mesh(" + std::to_string(mesh.vertices.shape(0)) + " vertices, " +
           std::to_string(mesh.triangles.shape(0)) + " triangles)";
}

void bindGlyphInfo(py::module_ &m)
{
    py::class_<glyphInfoRecord>(m, "GlyphInfo",
                                "A glyph's metrics in ems, FreeType's unhinted glyph metrics.")
        .def_readonly("width", &glyphInfoRecord::width, "Width of the glyph's bounding box.")
        .def_readonly("height", &glyphInfoRecord::height, "Height of the glyph's bounding box.")
        .def_readonly("hori_advance", &glyphInfoRecord::horiAdvance,
                      "Advance in horizontal layout.")
        .def_readonly("vert_advance", &glyphInfoRecord::vertAdvance, "Advance in vertical layout.")
        .def_readonly("hori_bearing_x", &glyphInfoRecord::horiBearingX,
                      "Left side bearing in horizontal layout.")
        .def_readonly("hori_bearing_y", &glyphInfoRecord::horiBearingY,
                      "Top of the bounding box above the baseline in horizontal layout.")
        .def_readonly("vert_bearing_x", &glyphInfoRecord::vertBearingX,
                      "Left of the bounding box from the centre line in vertical layout.")
        .def_readonly("vert_bearing_y", &glyphInfoRecord::vertBearingY,
                      "Top of the bounding box below the origin in vertical layout.")
        .def_readonly("contour_count", &glyphInfoRecord::contourCount,
                      "Number of outline contours; 0 for a glyph without outline.")
        .def("__repr__", [](const glyphInfoRecord &info) {
            return "GlyphInfo(hori_advance=" + std::to_string(info.horiAdvance) +
                   ", width=" + std::to_string(info.width) +
                   ", height=" + std::to_string(info.height) +
                   ", contour_count=" + std::to_string(info.contourCount) + ")";
        });
}

void bindMesh(py::module_ &m)
{
    py::class_<Mesh>(m, "Mesh", "A triangle mesh, copied out of the library.")
        .def_readonly("vertices", &Mesh::vertices,
                      "float32 array: (N, 2) x, y of a glyph's vertices in ems relative to its "
                      "pen position, or (N, 3) x, y, z of a scene's vertices in output units.")
        .def_readonly("triangles", &Mesh::triangles,
                      "int32 array (M, 3): vertex indices of each triangle, counter-clockwise "
                      "seen from +z (from outside, for solids).")
        .def_readonly("normals", &Mesh::normals,
                      "float32 array (N, 3): each vertex's unit normal, for the meshes of a "
                      "scene; None for a glyph's flat mesh.")
        .def_readonly("uvs", &Mesh::uvs,
                      "float32 array (N, 2): each vertex's texture coordinates in ems, for the "
                      "meshes of a scene (faces and bevels by position, walls by distance along "
                      "the outline and height); None for a glyph's flat mesh.")
        .def("__repr__", &describeMesh);
}

void bindOutline(py::module_ &m)
{
    py::class_<Outline>(m, "Outline", "A glyph's outline flattened into polylines, in ems.")
        .def_readonly("contours", &Outline::contours,
                      "One float32 array (K, 2) per contour, closed implicitly from its last "
                      "point to its first; a contour that closes with a curve repeats its first "
                      "point at the end.")
        .def_readonly("even_odd_fill", &Outline::evenOddFill,
                      "True when the outline is filled by the even-odd rule rather than the "
                      "non-zero rule.")
        .def_readonly("postscript_orientation", &Outline::postScriptOrientation,
                      "True when outer contours run counter-clockwise (CFF fonts), False when "
                      "clockwise (TrueType fonts).")
        .def("__repr__", [](const Outline &outline) {
            return "Outline(" + std::to_string(outline.contours.size()) + " contours)";
        });
}

void bindShapedText(py::module_ &m)
{
    py::class_<ShapedText>(m, "ShapedText", "A run of shaped glyphs in visual order.")
        .def_readonly("glyphs", &ShapedText::glyphs, "uint32 array (N,): glyph indices.")
        .def_readonly("clusters", &ShapedText::clusters,
                      "uint32 array (N,): byte offset, in the UTF-8 text, of the first "
                      "character each glyph stands for.")
        .def_readonly("advances", &ShapedText::advances,
                      "float64 array (N, 2): how far each glyph moves the pen, in ems.")
        .def_readonly("offsets", &ShapedText::offsets,
                      "float64 array (N, 2): each glyph's displacement from its pen position.")
        .def_readonly("positions", &ShapedText::positions,
                      "float64 array (N, 2): where each glyph's mesh goes, its pen position "
                      "plus its offset, the first pen at (0, 0).")
        .def("__len__", [](const ShapedText &run) { return run.glyphs.shape(0); })
        .def("__repr__", [](const ShapedText &run) {
            return "ShapedText(" + std::to_string(run.glyphs.shape(0)) + " glyphs)";
        });
}

} // namespace

Mesh copyMesh(const float *vertices, int32_t vertexCount, const int32_t *indices,
              int32_t indexCount)
{
    Mesh mesh{rows<float>(vertexCount, 2), rows<int32_t>(indexCount / 3, 3)};
    if (vertexCount > 0)
        std::memcpy(mesh.vertices.mutable_data(), vertices, sizeof(float) * 2 * vertexCount);
    if (indexCount >= 3)
        std::memcpy(mesh.triangles.mutable_data(), indices, sizeof(int32_t) * 3 * (indexCount / 3));
    return mesh;
}

py::array_t<float> copyContour(const float *points, int32_t count)
{
    py::array_t<float> contour = rows<float>(count, 2);
    auto out = contour.mutable_unchecked<2>();
    for (int32_t i = 0; i < count; ++i) {
        out(i, 0) = points[3 * i];
        out(i, 1) = points[3 * i + 1];
    }
    return contour;
}

ShapedText copyShaped(const glyvaShapedGlyph *glyphs, int32_t count)
{
    const py::ssize_t n = count;
    ShapedText run{py::array_t<uint32_t>(n), py::array_t<uint32_t>(n), rows<double>(count, 2),
                   rows<double>(count, 2), rows<double>(count, 2)};
    auto glyph = run.glyphs.mutable_unchecked<1>();
    auto cluster = run.clusters.mutable_unchecked<1>();
    auto advance = run.advances.mutable_unchecked<2>();
    auto offset = run.offsets.mutable_unchecked<2>();
    auto position = run.positions.mutable_unchecked<2>();
    double penX = 0.0, penY = 0.0;
    for (py::ssize_t i = 0; i < n; ++i) {
        const glyvaShapedGlyph &g = glyphs[i];
        glyph(i) = g.glyphIndex;
        cluster(i) = g.cluster;
        advance(i, 0) = g.xAdvance;
        advance(i, 1) = g.yAdvance;
        offset(i, 0) = g.xOffset;
        offset(i, 1) = g.yOffset;
        position(i, 0) = penX + g.xOffset;
        position(i, 1) = penY + g.yOffset;
        penX += g.xAdvance;
        penY += g.yAdvance;
    }
    return run;
}

void bindResults(py::module_ &m)
{
    bindGlyphInfo(m);
    bindMesh(m);
    bindOutline(m);
    bindShapedText(m);
}

} // namespace glyvapy
