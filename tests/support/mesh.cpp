#include "support/mesh.hh"

#include <cmath>
#include <cstdio>

namespace glyva_test
{

bool readMesh(tavixInternalFontData *font, uint32_t code, Mesh *mesh)
{
    glyphInfoRecord info;
    if (!GetGlyphInfo(&info, font, code))
        return false;
    ClearGlyphData(font, code);
    float *vertices = nullptr;
    int32_t *indices = nullptr;
    int32_t vertexCount = GetGlyphVertices(&vertices, font, code);
    int32_t indexCount = GetGlyphTriangleIndices(&indices, font, code);
    if (vertexCount < 0 || indexCount < 0) {
        ClearGlyphData(font, code);
        return false;
    }
    mesh->vertices.clear();
    for (int32_t v = 0; v < vertexCount; ++v)
        mesh->vertices.push_back({vertices[2 * v], vertices[2 * v + 1]});
    mesh->indices.assign(indices, indices + indexCount);
    ClearGlyphData(font, code);
    return true;
}

testing::AssertionResult meshInvariants(const Mesh &mesh, double degenerate)
{
    if (mesh.indices.size() % 3 != 0)
        return testing::AssertionFailure()
               << mesh.indices.size() << " indices, not whole triangles";
    for (size_t k = 0; k < mesh.indices.size(); ++k) {
        int32_t index = mesh.indices[k];
        if (index < 0 || static_cast<size_t>(index) >= mesh.vertices.size())
            return testing::AssertionFailure() << "index " << k << " is " << index << " of "
                                               << mesh.vertices.size() << " vertices";
    }
    for (size_t t = 0; t < mesh.indices.size(); t += 3) {
        const Point2 &a = mesh.vertices[mesh.indices[t]], &b = mesh.vertices[mesh.indices[t + 1]],
                     &c = mesh.vertices[mesh.indices[t + 2]];
        double twice = cross(a, b, c);
        if (twice < -degenerate)
            return testing::AssertionFailure()
                   << "triangle " << t / 3 << " runs clockwise, twice area " << twice;
    }
    return testing::AssertionSuccess();
}

double meshArea(const Mesh &mesh)
{
    double sum = 0.0;
    for (size_t t = 0; t + 2 < mesh.indices.size(); t += 3)
        sum += std::fabs(cross(mesh.vertices[mesh.indices[t]], mesh.vertices[mesh.indices[t + 1]],
                               mesh.vertices[mesh.indices[t + 2]]));
    return 0.5 * sum;
}

void rasterizeMesh(const Mesh &mesh, double pixelsPerEm, CoverageGrid &grid)
{
    auto scaled = [&](int32_t index) {
        const Point2 &p = mesh.vertices[index];
        return Point2{p.x * pixelsPerEm, p.y * pixelsPerEm};
    };
    for (size_t t = 0; t + 2 < mesh.indices.size(); t += 3)
        grid.addTriangle(scaled(mesh.indices[t]), scaled(mesh.indices[t + 1]),
                         scaled(mesh.indices[t + 2]));
}

bool readContours(tavixInternalFontData *font, uint32_t code, int contourCount,
                  std::vector<std::vector<Point2>> *contours)
{
    contours->clear();
    glyphInfoRecord info;
    if (!GetGlyphInfo(&info, font, code))
        return false;
    for (int k = 0; k < contourCount; ++k) {
        float *points = nullptr;
        uint8_t evenOdd = 0, postScript = 0;
        int32_t n = GetGlyphContour(&points, font, code, k, &evenOdd, &postScript);
        if (n <= 0)
            return false;
        std::vector<Point2> contour;
        for (int32_t p = 0; p < n; ++p)
            contour.push_back({points[3 * p], points[3 * p + 1]});
        contours->push_back(contour);
    }
    ClearGlyphContour(font);
    return true;
}

std::string codeName(uint32_t code)
{
    char text[16];
    std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(code));
    return text;
}

} // namespace glyva_test
