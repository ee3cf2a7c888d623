#ifndef TESTS_SUPPORT_GLYPH_HH
#define TESTS_SUPPORT_GLYPH_HH

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Skrib/GlyvaInterface.h"
#include "glyph/Tesselator.h"

/* Glyphs and polygons as a host takes them from the library, and the checks every
 * mesh must pass before anything else is compared. */

namespace glyva_test
{

struct Point2 {
    double x, y;
};
inline bool operator==(Point2 a, Point2 b)
{
    return a.x == b.x && a.y == b.y;
}

/* Twice the signed area of a, b, c; positive when they run counter-clockwise. */
double cross(Point2 a, Point2 b, Point2 c);
/* Signed area of the closed polygon (shoelace); positive counter-clockwise. */
double polygonArea(const std::vector<Point2> &polygon);

using Contours = std::vector<std::vector<Point2>>;

struct Mesh {
    std::vector<Point2> vertices;
    std::vector<int32_t> indices;
};
inline bool operator==(const Mesh &a, const Mesh &b)
{
    return a.vertices == b.vertices && a.indices == b.indices;
}

/* GetGlyphInfo, ClearGlyphData, GetGlyphVertices, GetGlyphTriangleIndices, copy,
 * ClearGlyphData: the glyph's mesh alone in fresh arrays. Not fresh, only the two reads:
 * the shared arrays as they stand. False when a query fails. */
bool readMesh(tavixInternalFontData *font, uint32_t code, Mesh *mesh, bool fresh = true);

/* Polygons as the Tesselator takes them: contours of x, y, z points. */
using Point3 = std::array<float, 3>;
using Contour3 = std::vector<Point3>;
/* Each contour between BeginContour and EndContour. */
void addContours(Tesselator &t, const std::vector<Contour3> &contours);

/* A Tesselator result seen from the side normalAxis (1..3, negative for the opposite
 * direction) points to: counter-clockwise triangles there are counter-clockwise here. */
Mesh tessMesh(const tessInfo *info, int normalAxis = 3);

/* Three indices per triangle, every index names a vertex, and every triangle runs
 * counter-clockwise or has no area: twice its signed area is at least -degenerate. */
testing::AssertionResult meshInvariants(const Mesh &mesh, double degenerate = 0.0);

/* Sum of the triangles' unsigned areas. */
double meshArea(const Mesh &mesh);

/* The exact area of the region whose winding number about +z the fill rule keeps: an
 * integration over horizontal slabs between consecutive vertex and crossing heights,
 * where no edges cross, so that the covered length is linear in y. */
double windingArea(const Contours &contours, const std::function<bool(int)> &keeps);
inline bool nonZero(int winding)
{
    return winding != 0;
}

/* Triangles whose interior contains p. */
int trianglesCovering(const Mesh &mesh, Point2 p);

/* GetGlyphInfo, then every contour of the glyph through GetGlyphContour, as (x, y) in
 * ems, then ClearGlyphContour. False when a query fails. */
bool readContours(tavixInternalFontData *font, uint32_t code, int contourCount, Contours *contours);

/* The real fonts every sweep covers, each a test parameter named after the font. */
struct RealFont {
    const char *name, *path;
    int unitsPerEm;
};
std::vector<RealFont> realFonts();
void PrintTo(const RealFont &font, std::ostream *os);
std::string realFontName(const testing::TestParamInfo<RealFont> &info);

/* "U+0041" for the reports. */
std::string codeName(uint32_t code);

/* The character codes of the font's Unicode charmap in order, and one code per
 * distinct nonzero glyph, the first that maps to it. */
std::vector<uint32_t> charmapCodes(const char *path);
struct MappedGlyph {
    uint32_t glyph;
    uint32_t code;
};
std::vector<MappedGlyph> mappedGlyphs(const char *path);

/* FNV-1a over the bytes. */
uint64_t fnv(uint64_t h, const void *data, size_t bytes);
constexpr uint64_t kFnvStart = 1469598103934665603ull;

/* One glyph queried as a host does: GetGlyphInfo; when that succeeds, GetGlyphVertices,
 * GetGlyphTriangleIndices, ClearGlyphData and GetGlyphContour for each contour. Each
 * answer goes to see(query, result, data, bytes), data being what it handed out. */
enum class Query { kInfo, kVertices, kIndices, kContour };
template <typename See> void queryGlyph(tavixInternalFontData *font, uint32_t code, See see)
{
    glyphInfoRecord info;
    int32_t ok = GetGlyphInfo(&info, font, code);
    see(Query::kInfo, ok, &info, ok ? sizeof info : 0);
    if (!ok)
        return;
    float *vertices = nullptr;
    int32_t *indices = nullptr;
    int32_t nv = GetGlyphVertices(&vertices, font, code);
    see(Query::kVertices, nv, vertices, nv > 0 ? sizeof(float) * 2 * nv : 0);
    int32_t ni = GetGlyphTriangleIndices(&indices, font, code);
    see(Query::kIndices, ni, indices, ni > 0 ? sizeof(int32_t) * ni : 0);
    ClearGlyphData(font, code);
    for (int k = 0; k < info.contourCount; ++k) {
        float *points = nullptr;
        uint8_t evenOdd, postScript;
        int32_t n = GetGlyphContour(&points, font, code, k, &evenOdd, &postScript);
        see(Query::kContour, n, points, n > 0 ? sizeof(float) * 3 * n : 0);
    }
}

/* The digest of the glyphs' answers that the committed goldens hold. */
uint64_t digestGlyphs(tavixInternalFontData *font, const std::vector<uint32_t> &codes);

} // namespace glyva_test

#endif
