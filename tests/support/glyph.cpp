#include "support/glyph.hh"
#include "support/raster.hh"
#include "support/support.hh"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>

namespace glyva_test
{

double cross(Point2 a, Point2 b, Point2 c)
{
    return (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
}

double polygonArea(const std::vector<Point2> &polygon)
{
    double twice = 0.0;
    for (size_t k = 0; k < polygon.size(); ++k) {
        const Point2 &a = polygon[k], &b = polygon[(k + 1) % polygon.size()];
        twice += a.x * b.y - b.x * a.y;
    }
    return 0.5 * twice;
}

bool readMesh(tavixInternalFontData *font, uint32_t code, Mesh *mesh, bool fresh)
{
    glyphInfoRecord info;
    if (fresh && !GetGlyphInfo(&info, font, code))
        return false;
    if (fresh)
        ClearGlyphData(font, code);
    float *vertices = nullptr;
    int32_t *indices = nullptr;
    int32_t vertexCount = GetGlyphVertices(&vertices, font, code);
    int32_t indexCount = GetGlyphTriangleIndices(&indices, font, code);
    *mesh = Mesh();
    for (int32_t v = 0; v < vertexCount; ++v)
        mesh->vertices.push_back({vertices[2 * v], vertices[2 * v + 1]});
    if (indexCount > 0)
        mesh->indices.assign(indices, indices + indexCount);
    if (fresh)
        ClearGlyphData(font, code);
    return vertexCount >= 0 && indexCount >= 0;
}

void addContours(Tesselator &t, const std::vector<Contour3> &contours)
{
    for (const Contour3 &contour : contours) {
        t.BeginContour();
        for (const Point3 &p : contour)
            t.Vertex(p.data());
        t.EndContour();
    }
}

Mesh tessMesh(const tessInfo *info, int normalAxis)
{
    /* The two coordinates that run counter-clockwise about the axis, swapped when the
     * axis points the other way. */
    const int axis = std::abs(normalAxis) - 1, u = (axis + 1) % 3, v = (axis + 2) % 3;
    Mesh mesh;
    for (uint32_t i = 0; i < info->vertices.count; ++i) {
        const float *p = info->vertices.values[i];
        mesh.vertices.push_back(normalAxis > 0 ? Point2{p[u], p[v]} : Point2{p[v], p[u]});
    }
    mesh.indices.assign(info->indices.values, info->indices.values + info->indices.count);
    return mesh;
}

testing::AssertionResult meshInvariants(const Mesh &mesh, double degenerate)
{
    if (mesh.indices.size() % 3 != 0)
        return testing::AssertionFailure() << mesh.indices.size() << " indices";
    for (size_t k = 0; k < mesh.indices.size(); ++k) {
        int32_t index = mesh.indices[k];
        if (index < 0 || static_cast<size_t>(index) >= mesh.vertices.size())
            return testing::AssertionFailure() << "index " << k << " is " << index << " of "
                                               << mesh.vertices.size() << " vertices";
    }
    for (size_t t = 0; t < mesh.indices.size(); t += 3) {
        double twice = cross(mesh.vertices[mesh.indices[t]], mesh.vertices[mesh.indices[t + 1]],
                             mesh.vertices[mesh.indices[t + 2]]);
        if (twice < -degenerate)
            return testing::AssertionFailure() << "triangle " << t / 3 << " runs clockwise";
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

double windingArea(const Contours &contours, const std::function<bool(int)> &keeps)
{
    struct Edge {
        Point2 a, b;
    };
    std::vector<Edge> edges;
    std::vector<double> ys;
    for (const auto &c : contours)
        for (size_t i = 0; i < c.size(); ++i) {
            ys.push_back(c[i].y);
            if (c[i].y != c[(i + 1) % c.size()].y)
                edges.push_back({c[i], c[(i + 1) % c.size()]});
        }
    for (size_t i = 0; i < edges.size(); ++i)
        for (size_t j = i + 1; j < edges.size(); ++j) {
            const Edge &e = edges[i], &f = edges[j];
            double ex = e.b.x - e.a.x, ey = e.b.y - e.a.y, fx = f.b.x - f.a.x, fy = f.b.y - f.a.y;
            double den = ex * fy - ey * fx;
            double s = ((f.a.x - e.a.x) * fy - (f.a.y - e.a.y) * fx) / den;
            double t = ((f.a.x - e.a.x) * ey - (f.a.y - e.a.y) * ex) / den;
            if (den != 0 && s > 0 && s < 1 && t > 0 && t < 1)
                ys.push_back(e.a.y + s * ey);
        }
    std::sort(ys.begin(), ys.end());
    double area = 0;
    std::vector<std::pair<double, int>> crossings;
    for (size_t k = 0; k + 1 < ys.size(); ++k) {
        double y = (ys[k] + ys[k + 1]) / 2, h = ys[k + 1] - ys[k];
        crossings.clear();
        for (const Edge &e : edges)
            if (h > 0 && (e.a.y < y) != (e.b.y < y))
                crossings.push_back({e.a.x + (y - e.a.y) * (e.b.x - e.a.x) / (e.b.y - e.a.y),
                                     e.b.y < e.a.y ? 1 : -1});
        std::sort(crossings.begin(), crossings.end());
        int w = 0;
        for (size_t i = 0; i + 1 < crossings.size(); ++i)
            if (keeps(w += crossings[i].second))
                area += (crossings[i + 1].first - crossings[i].first) * h;
    }
    return area;
}

int trianglesCovering(const Mesh &mesh, Point2 p)
{
    int n = 0;
    for (size_t t = 0; t + 2 < mesh.indices.size(); t += 3) {
        Point2 a = mesh.vertices[mesh.indices[t]], b = mesh.vertices[mesh.indices[t + 1]],
               c = mesh.vertices[mesh.indices[t + 2]];
        n += cross(a, b, p) > 0 && cross(b, c, p) > 0 && cross(c, a, p) > 0;
    }
    return n;
}

bool readContours(tavixInternalFontData *font, uint32_t code, int contourCount, Contours *contours)
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
        contours->emplace_back();
        for (int32_t p = 0; p < n; ++p)
            contours->back().push_back({points[3 * p], points[3 * p + 1]});
    }
    ClearGlyphContour(font);
    return true;
}

std::vector<RealFont> realFonts()
{
    return {{"DejaVuSans", kDejaVuSans, 2048},
            {"FreeSans", kFreeSans, 1000},
            {"LiberationSans", kLiberationSans, 2048}};
}

void PrintTo(const RealFont &font, std::ostream *os)
{
    *os << font.name;
}

std::string realFontName(const testing::TestParamInfo<RealFont> &info)
{
    return info.param.name;
}

std::string codeName(uint32_t code)
{
    char text[16];
    std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(code));
    return text;
}

namespace
{

/* (code, glyph) of every charmap entry, in code order. */
std::vector<MappedGlyph> charmap(const char *path)
{
    std::vector<MappedGlyph> entries;
    FreeTypeFace face(path, 640);
    FT_UInt g = 0;
    for (FT_ULong c = face.ok() ? FT_Get_First_Char(face.face(), &g) : 0; g != 0;
         c = FT_Get_Next_Char(face.face(), c, &g))
        entries.push_back({g, static_cast<uint32_t>(c)});
    return entries;
}

} // namespace

std::vector<uint32_t> charmapCodes(const char *path)
{
    std::vector<uint32_t> codes;
    for (const MappedGlyph &entry : charmap(path))
        codes.push_back(entry.code);
    return codes;
}

std::vector<MappedGlyph> mappedGlyphs(const char *path)
{
    std::vector<MappedGlyph> glyphs;
    std::set<uint32_t> seen;
    for (const MappedGlyph &entry : charmap(path))
        if (seen.insert(entry.glyph).second)
            glyphs.push_back(entry);
    return glyphs;
}

uint64_t fnv(uint64_t h, const void *data, size_t bytes)
{
    const auto *p = static_cast<const unsigned char *>(data);
    for (size_t i = 0; i < bytes; ++i)
        h = (h ^ p[i]) * 1099511628211ull;
    return h;
}

uint64_t digestGlyphs(tavixInternalFontData *font, const std::vector<uint32_t> &codes)
{
    uint64_t h = kFnvStart;
    for (uint32_t code : codes)
        queryGlyph(font, code, [&](Query query, int32_t result, const void *data, size_t bytes) {
            if (query == Query::kVertices)
                h = fnv(h, &result, sizeof result);
            h = fnv(h, data, bytes);
        });
    return h;
}

} // namespace glyva_test
