/* libGlyvaSolid against independent truth: CGAL's Polygon Mesh Processing judges every
 * solid (closed, free of self-intersections, outward, bounding a volume), CGAL's straight
 * skeleton gives the inset areas the bevel's volume must match, admesh reads the STL a host
 * would write, and the flat meshes are held to the area of the font's own triangles. Builds without
 * the library compile to a skip. */
#include <gtest/gtest.h>

#ifndef GLYVA_SOLID_BUILT

TEST(Solid, SkippedWithoutTheLibrary)
{
    GTEST_SKIP() << "libGlyvaSolid is not built here (no HarfBuzz or no polygon clipping)";
}

#else

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "solid/glyvaSolid.h"
#include "support/glyph.hh"
#include "support/shaping.hh"
#include "support/solid.hh"
#include "support/support.hh"

namespace
{

using namespace glyva_test;
using testing::AssertionFailure;
using testing::AssertionResult;
using testing::AssertionSuccess;

const char *const kExtraLight = "/usr/share/fonts/truetype/dejavu/DejaVuSans-ExtraLight.ttf";

/* Glyph indices of the fixture font solids.ttf (tests/fonts/make_fixtures.py). */
enum FixtureGlyph : uint32_t { kSpace = 1, kStepped = 2, kHuge = 7, kMany = 8, kNested = 9 };

struct Builder {
    glyvaSolid *solid = glyvaSolidCreate();
    ~Builder() { glyvaSolidDestroy(solid); }
    Builder() = default;
    Builder(const Builder &) = delete;
    Builder &operator=(const Builder &) = delete;
};

/* A table's case named as the test reports it. */
template <typename Case> std::string caseName(const testing::TestParamInfo<Case> &info)
{
    return info.param.name;
}

const glyvaSolidOptions kPlain{0.2f, 0.0f, 0.0f, 0, 0, 0.0f, 0.0f};

/* A font as tests/cases/solids.txt names it: ExtraLight, or as the shaping tables do. */
std::string solidFont(const std::string &name)
{
    return name == "ExtraLight" ? kExtraLight : caseFont(name);
}

/* Options as tests/cases/solids.txt writes them: the fields in order. */
glyvaSolidOptions optionsOf(const std::string &text)
{
    std::istringstream in(text);
    std::vector<float> v;
    for (std::string word; in >> word;)
        v.push_back(std::strtof(word.c_str(), nullptr));
    return {v.at(0), v.at(1), v.at(2), int32_t(v.at(3)), int32_t(v.at(4)), v.at(5), v.at(6)};
}

/* The glyph's solid, or with flat set its flat mesh at the options' scale and grid: the
 * arrays the library hands out, copied when it succeeded. */
bool build(Builder &b, ShapeFont &f, uint32_t glyph, const glyvaSolidOptions &o, SolidMesh *m,
           bool flat = false)
{
    const glyvaSolidVertex *v = nullptr;
    const uint32_t *ix = nullptr;
    uint32_t vc = 0, ic = 0;
    const int32_t built =
        flat ? glyvaSolidFlat(b.solid, f.font, glyph, o.scale, o.grid, &v, &vc, &ix, &ic)
             : glyvaSolidBuild(b.solid, f.font, glyph, &o, &v, &vc, &ix, &ic);
    *m = SolidMesh{};
    for (uint32_t i = 0; built && i < vc; ++i) {
        m->positions.insert(m->positions.end(), v[i].position, v[i].position + 3);
        m->normals.insert(m->normals.end(), v[i].normal, v[i].normal + 3);
        m->uvs.insert(m->uvs.end(), v[i].texCoord, v[i].texCoord + 2);
        m->mappings.push_back(v[i].mapping);
    }
    if (built)
        m->indices.assign(ix, ix + ic);
    return built != 0;
}

std::vector<uint32_t> distinctGlyphs(ShapeFont &f, const char *text)
{
    const glyvaShapedGlyph *glyphs = nullptr;
    const int32_t n = glyvaShapeText(f.font, text, -1, nullptr, &glyphs);
    std::set<uint32_t> seen;
    for (int32_t i = 0; i < n; ++i)
        seen.insert(glyphs[i].glyphIndex);
    return std::vector<uint32_t>(seen.begin(), seen.end());
}

/* The glyph's flattened contours as the glyph layer gives them (not as the solid library
 * cleans them). */
std::vector<std::vector<Point2>> contoursOf(ShapeFont &f, uint32_t glyph)
{
    glyphInfoRecord info;
    std::vector<std::vector<Point2>> contours;
    if (!glyvaShapeGlyphInfo(&info, f.font, glyph))
        return contours;
    for (int32_t k = 0; k < info.contourCount; ++k) {
        const float *p = nullptr;
        const int32_t n = glyvaShapeGlyphContour(&p, f.font, glyph, k, nullptr, nullptr);
        std::vector<Point2> contour;
        for (int32_t i = 0; i < n; ++i)
            contour.push_back(Point2{p[3 * i], p[3 * i + 1]});
        contours.push_back(contour);
    }
    return contours;
}

size_t zeroAreaTriangles(const Mesh &m)
{
    size_t n = 0;
    for (size_t t = 0; t + 2 < m.indices.size(); t += 3)
        n += cross(m.vertices[m.indices[t]], m.vertices[m.indices[t + 1]],
                   m.vertices[m.indices[t + 2]]) == 0.0;
    return n;
}

#ifdef GLYVA_HAVE_CGAL
/* The volume a bevelled face cuts away, along the documented profile (a quarter ellipse
 * sampled at equal angles from the wall to the face, the last sample exactly (size,
 * depth)): over each layer, the outline's area less the area of its inset at the layer's
 * depth, integrated by Simpson's rule (exact while the inset keeps its shape, as the
 * inset area is quadratic in the distance). */
double removedByBevel(const CgalInsets &insets, const glyvaSolidOptions &o)
{
    const int n = o.bevelSegments > 0 ? o.bevelSegments : 1;
    const double size = o.bevelSize, depth = o.bevelDepth > 0.0f ? o.bevelDepth : size;
    const auto inset = [&](int k) {
        return k == n ? size : size * (1 - std::cos(M_PI / 2 * k / n));
    };
    const auto rise = [&](int k) { return k == n ? depth : depth * std::sin(M_PI / 2 * k / n); };
    const double a0 = insets.area(0.0);
    double removed = 0.0;
    for (int k = 0; k < n; ++k) {
        const double low = insets.area(inset(k)), high = insets.area(inset(k + 1));
        const double mid = insets.area((inset(k) + inset(k + 1)) / 2);
        removed += (rise(k + 1) - rise(k)) * (a0 - (low + 4 * mid + high) / 6);
    }
    return removed;
}
#endif

/* A sample row of tests/cases/solids.txt: text null for every stride-th glyph. */
struct SolidCase {
    std::string name, font;
    const char *text;
    glyvaSolidOptions options;
    double bevelTolerance;
    uint32_t stride;
};

/* A case as test output names it: the record has padding, which the test framework
 * would print as bytes. */
void PrintTo(const SolidCase &c, std::ostream *os)
{
    *os << c.name;
}

/* Sample text: holes (8, @, a, e, R, g), thin joins (@, &, %), serifs and tails. */
const char *const kSample = "GlyvaR@8ea%&";

std::vector<SolidCase> solidCases()
{
    std::vector<SolidCase> cases;
    for (const std::vector<std::string> &r : caseRows("solids.txt", "sample")) {
        const bool text = r[5] == "text";
        cases.push_back({r[1], solidFont(r[2]), text ? kSample : nullptr, optionsOf(r[3]),
                         std::stod(r[4]), text ? 1 : static_cast<uint32_t>(std::stoul(r[5]))});
    }
    return cases;
}

/* Every vertex between z = 0 and the depth. Faces and bevels are mapped by position,
 * (u, v) = (x, y); walls along the outline, v = z and u advancing by the length of each
 * edge at one height. Faces (normal (0, 0, +-1)) are always mapped by position and, on a
 * plain solid, every vertex with a horizontal normal along the outline. */
AssertionResult depthAndTextureRules(const SolidMesh &m, float depth, bool plain)
{
    for (size_t v = 0; v < m.positions.size() / 3; ++v) {
        const float *p = &m.positions[3 * v], *n = &m.normals[3 * v], *uv = &m.uvs[2 * v];
        if (p[2] < 0.0f || p[2] > depth)
            return AssertionFailure() << "z " << p[2] << " outside 0.." << depth;
        const bool byPosition = m.mappings[v] == GLYVA_SOLID_UV_BY_POSITION;
        const bool face = n[0] == 0.0f && n[1] == 0.0f && std::fabs(n[2]) == 1.0f;
        if (byPosition ? uv[0] != p[0] || uv[1] != p[1]
                       : m.mappings[v] != GLYVA_SOLID_UV_ALONG_OUTLINE || uv[1] != p[2])
            return AssertionFailure() << "vertex " << v << " is not mapped as it says";
        if ((face && !byPosition) || (plain && n[2] == 0.0f && byPosition))
            return AssertionFailure() << "vertex " << v << " is mapped the wrong way";
    }
    for (size_t t = 0; t < m.indices.size(); t += 3) {
        for (int k = 0; k < 3; ++k) {
            const uint32_t a = m.indices[t + k], b = m.indices[t + (k + 1) % 3];
            if (m.mappings[a] != GLYVA_SOLID_UV_ALONG_OUTLINE ||
                m.mappings[b] != GLYVA_SOLID_UV_ALONG_OUTLINE ||
                m.positions[3 * a + 2] != m.positions[3 * b + 2])
                continue;
            const double length = std::hypot(m.positions[3 * a] - m.positions[3 * b],
                                             m.positions[3 * a + 1] - m.positions[3 * b + 1]);
            if (std::fabs(std::fabs(m.uvs[2 * a] - m.uvs[2 * b]) - length) > 1e-5)
                return AssertionFailure() << "wall u does not follow the outline";
        }
    }
    return AssertionSuccess();
}

/* The area the contours fill when they neither cross nor overlap and nest holes in
 * outlines: then both fill rules cover exactly the sum of their signed areas, and the
 * outline has an inset (a straight skeleton) to compare the bevels with. -1 otherwise. */
double plainlyNestedArea(const std::vector<std::vector<Point2>> &contours)
{
    double signedSum = 0.0;
    for (const auto &contour : contours)
        signedSum += polygonArea(contour);
    const double area = std::fabs(signedSum);
    const double tolerance = 1e-9 * std::max(1.0, area);
    const auto odd = [](int winding) { return winding % 2 != 0; };
    const bool plain = std::fabs(windingArea(contours, nonZero) - area) <= tolerance &&
                       std::fabs(windingArea(contours, odd) - area) <= tolerance;
    return plain ? area : -1.0;
}

/* The volume against the outline: its area times the depth, less what the bevels remove
 * by CGAL's straight skeleton (without CGAL, plain solids only). Glyphs whose contours
 * cross or nest oddly have no such reference; false for them. */
bool expectVolume(const SolidCase &c, const std::vector<std::vector<Point2>> &contours,
                  double volume)
{
    const double area = plainlyNestedArea(contours);
    const bool plain = c.options.bevelSize == 0.0f;
    double removed = 0.0;
#ifdef GLYVA_HAVE_CGAL
    if (!plain && area >= 0.0) {
        const double faces = c.options.frontOnly ? 1.0 : 2.0;
        removed = faces * removedByBevel(CgalInsets(contours), c.options);
    }
#else
    if (!plain)
        return false;
#endif
    if (area < 0.0)
        return false;
    const double expected = area * c.options.depth - removed;
    EXPECT_NEAR(volume, expected, c.bevelTolerance * removed + 1e-5 * expected)
        << "the bevels remove " << removed;
    return true;
}

using SampleSolids = testing::TestWithParam<SolidCase>;

TEST_P(SampleSolids, AreClosedOutwardAndOfTheRightVolume)
{
    const SolidCase &c = GetParam();
    ShapeFont font(c.font);
    ASSERT_NE(font.font, nullptr) << c.font;
    Builder builder;
    int volumesChecked = 0;
    std::vector<uint32_t> glyphs = c.text ? distinctGlyphs(font, c.text) : std::vector<uint32_t>();
    for (int32_t g = 0; !c.text && g < glyvaShapeGlyphCount(font.font); ++g)
        glyphs.push_back(static_cast<uint32_t>(g));
    const size_t stride = c.stride * (quickRun() ? (c.text ? 2 : 5) : 1);
    for (size_t i = 0; i < glyphs.size(); i += stride) {
        SCOPED_TRACE("glyph " + std::to_string(glyphs[i]));
        SolidMesh m;
        ASSERT_TRUE(build(builder, font, glyphs[i], c.options, &m))
            << glyvaSolidError(builder.solid);
        if (m.indices.empty())
            continue;
        ASSERT_TRUE(soundSolid(m));
        EXPECT_TRUE(depthAndTextureRules(m, c.options.depth, c.options.bevelSize == 0.0f));
        if (!c.text)
            continue;
        EXPECT_TRUE(admeshJudges(m));
        volumesChecked += expectVolume(c, contoursOf(font, glyphs[i]), enclosedVolume(m)) ? 1 : 0;
    }
#ifdef GLYVA_HAVE_CGAL
    const bool referenced = c.text;
#else
    const bool referenced = c.text && c.options.bevelSize == 0.0f;
#endif
    if (referenced) {
        EXPECT_GT(volumesChecked, 3) << "too few glyphs with simple contours to check volumes on";
    }
}

INSTANTIATE_TEST_SUITE_P(Fonts, SampleSolids, testing::ValuesIn(solidCases()), caseName<SolidCase>);

/* The triangles lying at height z, moved to z = 0: the same face whatever the order of
 * triangles and vertices. */
std::vector<std::array<float, 9>> trianglesAt(const SolidMesh &m, float z)
{
    SolidMesh level = levelAt(m, z);
    for (size_t i = 2; i < level.positions.size(); i += 3)
        level.positions[i] -= z;
    return triangleSet(level);
}

/* Every flat-mesh vertex at z = 0, facing +z, mapped by its position in ems. */
AssertionResult facingFront(const SolidMesh &m, float scale)
{
    for (size_t v = 0; v < m.positions.size() / 3; ++v) {
        const float *p = &m.positions[3 * v], *n = &m.normals[3 * v], *uv = &m.uvs[2 * v];
        if (p[2] != 0.0f || n[0] != 0.0f || n[1] != 0.0f || n[2] != 1.0f)
            return AssertionFailure() << "vertex " << v << " is not facing +z at 0";
        if (std::fabs(uv[0] - p[0] / scale) > 1e-6f || std::fabs(uv[1] - p[1] / scale) > 1e-6f)
            return AssertionFailure() << "vertex " << v << " is not mapped by x, y";
    }
    return AssertionSuccess();
}

AssertionResult onTheGrid(const SolidMesh &m, float grid)
{
    for (float c : m.positions) {
        if (std::nearbyint(c / grid) * grid != c)
            return AssertionFailure() << c << " is off the grid";
    }
    return AssertionSuccess();
}

/* The flat rows of tests/cases/solids.txt: a plain solid's front face, brought down to
 * z = 0: every triangle with area, covering what the font's own triangles cover (to the
 * grid's rounding), though the font's own triangles include ones without area (DejaVu's
 * 'R' has three corners on the stem's line). The plain solid, and on a host's grid a
 * bevelled one, are sound. */
TEST(FlatMeshes, AreThePlainSolidsFrontFaceOverTheFontsArea)
{
    for (const std::vector<std::string> &row : caseRows("solids.txt", "flat")) {
        SCOPED_TRACE(row[1]);
        ShapeFont font(solidFont(row[2]));
        ASSERT_NE(font.font, nullptr);
        Builder builder;
        size_t zeroAreaInFont = 0;
        const float units = std::stof(row[3]), grid = std::stof(row[4]);
        const float scale = units > 0.0f ? units : 1.0f;
        const glyvaSolidOptions plain{0.2f * scale, 0.0f, 0.0f, 0, 0, units, grid};
        const glyvaSolidOptions bevelled{2.0f, 0.2f, 0.1f, 3, 0, units, grid};
        for (uint32_t glyph : distinctGlyphs(font, "GlyvaR@8ea%&AVATAR Wave 1234567890")) {
            SCOPED_TRACE("glyph " + std::to_string(glyph));
            const Mesh reference = indexMesh(font.font, glyph);
            const double area = meshArea(reference) * scale * scale;
            SolidMesh flat, solid;
            ASSERT_TRUE(build(builder, font, glyph, plain, &flat, true))
                << glyvaSolidError(builder.solid);
            ASSERT_TRUE(build(builder, font, glyph, plain, &solid));
            EXPECT_TRUE(meshWellFormed(flat));
            EXPECT_TRUE(normalsFaceOutwards(flat)) << "every triangle counter-clockwise";
            EXPECT_TRUE(facingFront(flat, scale));
            EXPECT_EQ(trianglesAt(flat, 0.0f), trianglesAt(solid, plain.depth));
            EXPECT_NEAR(projectedArea(flat), area, grid > 0.0f ? 1e-3 : 1e-5 * area);
            EXPECT_TRUE(soundSolid(solid));
            zeroAreaInFont += zeroAreaTriangles(reference);
            if (grid == 0.0f)
                continue;
            ASSERT_TRUE(build(builder, font, glyph, bevelled, &solid))
                << glyvaSolidError(builder.solid);
            EXPECT_TRUE(soundSolid(solid));
            EXPECT_TRUE(onTheGrid(solid, grid));
            EXPECT_TRUE(onTheGrid(flat, grid));
        }
        EXPECT_GT(zeroAreaInFont, 0u) << "the font's meshes no longer show the fault";
    }
}

/* The outlines made for the edge cases, by the fixture rows of tests/cases/solids.txt. */
TEST(FixtureSolids, AreValidSolids)
{
    ShapeFont font(fixture("solids.ttf"));
    ASSERT_NE(font.font, nullptr);
    for (const std::vector<std::string> &row : caseRows("solids.txt", "fixture")) {
        SCOPED_TRACE(row[1]);
        Builder builder;
        SolidMesh m;
        ASSERT_TRUE(build(builder, font, std::stoul(row[2]), optionsOf(row[3]), &m))
            << glyvaSolidError(builder.solid);
        ASSERT_FALSE(m.indices.empty());
        EXPECT_TRUE(soundSolid(m));
        if (std::stod(row[4]) >= 0.0) {
            EXPECT_NEAR(enclosedVolume(m), std::stod(row[4]), 1e-6);
        }
        EXPECT_TRUE(admeshJudges(m, std::stol(row[5])));
    }
}

/* A rectangle with collinear points along its sides: GLU's triangles include ones without
 * area; the flat mesh is the rectangle's own two triangles, its corners the font's. */
TEST(SolidFlat, CollinearPointsGiveNoZeroAreaTriangles)
{
    ShapeFont font(fixture("solids.ttf"));
    Builder builder;
    ASSERT_GT(zeroAreaTriangles(indexMesh(font.font, kStepped)), 0u)
        << "the fixture no longer shows the fault";
    SolidMesh m;
    ASSERT_TRUE(build(builder, font, kStepped, kPlain, &m, true)) << glyvaSolidError(builder.solid);
    EXPECT_EQ(m.positions.size(), 4u * 3);
    EXPECT_EQ(m.indices.size(), 2u * 3);
    EXPECT_TRUE(normalsFaceOutwards(m)) << "every triangle counter-clockwise";
    EXPECT_DOUBLE_EQ(projectedArea(m), 0.5);
}

/* The bounds on a glyph's work: more flattened points or contours than a solid takes give
 * the failure value and a reason, for solids and flat meshes alike; the same outline
 * flattened coarsely enough is accepted. A glyph without outline gives nothing. */
TEST(SolidBounds, EnormousOutlinesAreRefusedAndEmptyOnesGiveNothing)
{
    ShapeFont font(fixture("solids.ttf"));
    Builder builder;
    SolidMesh m;
    const uint32_t *ix = nullptr;
    uint32_t vc = 7, ic = 7;
    const glyvaSolidVertex *v = nullptr;
    const glyvaSolidOptions bevelled{0.2f, 0.02f, 0.0f, 2, 0, 0.0f, 0.0f};
    ASSERT_EQ(glyvaSolidBuild(builder.solid, font.font, kSpace, &bevelled, &v, &vc, &ix, &ic), 1);
    EXPECT_EQ(vc + ic, 0u);
    ASSERT_EQ(glyvaSolidFlat(builder.solid, font.font, kSpace, 0.0f, 0.0f, &v, &vc, &ix, &ic), 1);
    EXPECT_EQ(ic, 0u);
    EXPECT_FALSE(build(builder, font, kHuge, kPlain, &m));
    EXPECT_NE(std::strstr(glyvaSolidError(builder.solid), "outline points"), nullptr)
        << glyvaSolidError(builder.solid);
    EXPECT_FALSE(build(builder, font, kHuge, kPlain, &m, true));
    EXPECT_FALSE(build(builder, font, kMany, kPlain, &m));
    EXPECT_NE(std::strstr(glyvaSolidError(builder.solid), "contours"), nullptr)
        << glyvaSolidError(builder.solid);
    glyvaShapeSetQuality(font.font, 0);
    EXPECT_TRUE(build(builder, font, kHuge, kPlain, &m)) << glyvaSolidError(builder.solid);
}

/* The refuse rows of tests/cases/solids.txt: refused with the reason, and the output
 * arguments untouched; the options alone already tell where no glyph is needed to judge
 * them. */
TEST(SolidOptions, AreRefusedWithAReason)
{
    ShapeFont font(kDejaVuSans);
    const uint32_t glyph = distinctGlyphs(font, "R").at(0);
    for (const std::vector<std::string> &row : caseRows("solids.txt", "refuse")) {
        SCOPED_TRACE(row[1]);
        const glyvaSolidOptions options = optionsOf(row[2]);
        Builder builder;
        const glyvaSolidVertex *v = reinterpret_cast<const glyvaSolidVertex *>(&builder);
        const uint32_t *ix = reinterpret_cast<const uint32_t *>(&font);
        uint32_t vc = 7, ic = 9;
        EXPECT_EQ(glyvaSolidBuild(builder.solid, font.font, glyph, &options, &v, &vc, &ix, &ic), 0);
        EXPECT_NE(std::strstr(glyvaSolidError(builder.solid), row[3].c_str()), nullptr)
            << glyvaSolidError(builder.solid);
        EXPECT_TRUE(v == reinterpret_cast<const glyvaSolidVertex *>(&builder) &&
                    ix == reinterpret_cast<const uint32_t *>(&font) && vc == 7u && ic == 9u);
        const char *before = glyvaSolidOptionsError(&options);
        if (row[4] == "any") {
            ASSERT_NE(before, nullptr);
            EXPECT_STREQ(before, glyvaSolidError(builder.solid));
        } else {
            EXPECT_EQ(before, nullptr) << before;
        }
    }
}

TEST(SolidArguments, NullsAreFailuresNotCrashes)
{
    ShapeFont font(kDejaVuSans);
    Builder builder;
    const glyvaSolidVertex *v = nullptr;
    const uint32_t *ix = nullptr;
    uint32_t vc = 0, ic = 0;
    EXPECT_EQ(glyvaSolidBuild(nullptr, font.font, 36, &kPlain, &v, &vc, &ix, &ic), 0);
    EXPECT_EQ(glyvaSolidBuild(builder.solid, nullptr, 36, &kPlain, &v, &vc, &ix, &ic), 0);
    EXPECT_STRNE(glyvaSolidError(builder.solid), "");
    EXPECT_EQ(glyvaSolidBuild(builder.solid, font.font, 36, nullptr, &v, &vc, &ix, &ic), 0);
    EXPECT_EQ(glyvaSolidBuild(builder.solid, font.font, 36, &kPlain, nullptr, &vc, &ix, &ic), 0);
    EXPECT_EQ(glyvaSolidBuild(builder.solid, font.font, 36, &kPlain, &v, &vc, &ix, nullptr), 0);
    EXPECT_EQ(glyvaSolidBuild(builder.solid, font.font, 999999, &kPlain, &v, &vc, &ix, &ic), 0);
    EXPECT_EQ(glyvaSolidFlat(nullptr, font.font, 36, 0.0f, 0.0f, &v, &vc, &ix, &ic), 0);
    EXPECT_EQ(glyvaSolidFlat(builder.solid, nullptr, 36, 0.0f, 0.0f, &v, &vc, &ix, &ic), 0);
    EXPECT_EQ(glyvaSolidFlat(builder.solid, font.font, 36, 0.0f, 0.0f, &v, nullptr, &ix, &ic), 0);
    EXPECT_STREQ(glyvaSolidError(nullptr), "");
    EXPECT_NE(glyvaSolidOptionsError(nullptr), nullptr);
    EXPECT_EQ(glyvaSolidOptionsError(&kPlain), nullptr);
    glyvaSolidRelease(nullptr);
    glyvaSolidDestroy(nullptr);
}

/* A glyph meshed again, after another one and after a release, comes out byte for byte
 * the same: what a host's cache of meshed glyphs relies on. Glyph-local coordinates:
 * the solid spans the outline's own x range, from the pen position. */
TEST(SolidReuse, SameGlyphSameBytes)
{
    ShapeFont font(kDejaVuSans);
    Builder builder;
    const glyvaSolidOptions options{0.2f, 0.02f, 0.0f, 3, 0, 0.0f, 0.0f};
    const std::vector<uint32_t> glyphs = distinctGlyphs(font, "Ra");
    SolidMesh first, other, again;
    ASSERT_TRUE(build(builder, font, glyphs[0], options, &first));
    ASSERT_TRUE(build(builder, font, glyphs[1], options, &other));
    glyvaSolidRelease(builder.solid);
    ASSERT_TRUE(build(builder, font, glyphs[0], options, &again));
    EXPECT_TRUE(first.positions == again.positions && first.normals == again.normals &&
                first.uvs == again.uvs && first.indices == again.indices);
    std::vector<double> xs, outline;
    for (size_t v = 0; v < first.positions.size(); v += 3)
        xs.push_back(first.positions[v]);
    for (const auto &contour : contoursOf(font, glyphs[0])) {
        for (const Point2 &p : contour)
            outline.push_back(p.x);
    }
    ASSERT_FALSE(xs.empty() || outline.empty());
    EXPECT_NEAR(*std::min_element(xs.begin(), xs.end()),
                *std::min_element(outline.begin(), outline.end()), 1e-5);
    EXPECT_NEAR(*std::max_element(xs.begin(), xs.end()),
                *std::max_element(outline.begin(), outline.end()), 1e-5);
}

/* Every allocation the library makes failing in turn: a failure value or a whole solid,
 * never a crash, and (under the leak checkers) nothing left behind. */
TEST(SolidMemory, EachAllocationFailureIsReported)
{
    GLYVA_REQUIRE_FAILING_ALLOC();
    ShapeFont font(fixture("solids.ttf"));
    const uint32_t glyph = kNested;
    const glyvaSolidOptions options{0.2f, 0.02f, 0.0f, 2, 0, 0.0f, 0.0f};
    auto attempt = [&](bool *built) {
        Builder builder;
        SolidMesh m;
        *built = builder.solid && build(builder, font, glyph, options, &m) && closedByPosition(m);
        if (builder.solid && !*built) {
            EXPECT_STRNE(glyvaSolidError(builder.solid), "");
        }
    };
    bool built = false;
    const long count = countAllocations([&] { attempt(&built); });
    ASSERT_TRUE(built);
    ASSERT_GT(count, 0);
    RecordProperty("allocations", static_cast<int>(count));
    const long stride = quickRun() ? 1 + count / 20 : 1;
    for (long k = 1; k <= count; k += stride) {
        failAllocation(k, [&] { attempt(&built); });
        failAllocation(
            k, [&] { attempt(&built); }, true);
    }
    attempt(&built);
    EXPECT_TRUE(built);
}

} // namespace

#endif
