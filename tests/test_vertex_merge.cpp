#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <GL/glu.h>
#include <gtest/gtest.h>

#include "glyph/vertexWindow.hh"
#include "support/glyph.hh"
#include "support/support.hh"
#include "util/plyxUtil.h"

/* The glyph path and the Tesselator merge vertices through a position index of the
 * search window; their results must be those of the plain window search of the
 * multi-value arrays, byte for byte, and that search must reach back exactly 65
 * vertices. */

using namespace glyva_test;

namespace
{

/* The array holds exactly count values, byte for byte. */
template <typename MF> bool sameValues(const MF &a, const void *values, uint32_t count)
{
    return a.count == count &&
           (count == 0 || std::memcmp(a.values, values, count * sizeof a.values[0]) == 0);
}

struct Case {
    const char *name, *path;
    uint32_t quality;
};

void PrintTo(const Case &c, std::ostream *os)
{
    *os << c.name;
}

class GlyphMerge : public testing::TestWithParam<Case>
{
};

} // namespace

/* Every corner the glyph path delivered is replayed through searchInsertMFVec2f into a
 * shadow array, which must end up identical, with identical indices. The shared array
 * is carried across groups of glyphs and cleared between groups, so that the window is
 * both seeded from earlier glyphs and started afresh. Within any 65 consecutive
 * vertices none repeats, and some position recurs beyond them and is stored again. */
TEST_P(GlyphMerge, MatchesTheWindowSearch)
{
    std::vector<MappedGlyph> glyphs = mappedGlyphs(GetParam().path);
    tavixInternalFontData *font = OpenFont(GetParam().path);
    SetQuality(font, GetParam().quality);
    MFVec2f shadow = {0, nullptr};
    std::vector<uint32_t> group;
    size_t merged = 0, far = 0;
    for (size_t g = 0; g < glyphs.size(); g += quickRun() ? 10 : 1) {
        const uint32_t code = glyphs[g].code;
        glyphInfoRecord info;
        ASSERT_EQ(GetGlyphInfo(&info, font, code), 1);
        float *v = nullptr;
        int32_t *indices = nullptr;
        int32_t nv = GetGlyphVertices(&v, font, code),
                ni = GetGlyphTriangleIndices(&indices, font, code);
        ASSERT_GE(nv, 0) << codeName(code);
        for (int32_t i = 0; i < ni; ++i) {
            const uint32_t size = shadow.count, k = static_cast<uint32_t>(indices[i]);
            ASSERT_EQ(searchInsertMFVec2f(&shadow, v + 2 * k), indices[i]) << codeName(code);
            merged += k < size;
            for (uint32_t j = 0; k == size && j < k; ++j) {
                bool same = v[2 * j] == v[2 * k] && v[2 * j + 1] == v[2 * k + 1];
                ASSERT_FALSE(same && j + 65 >= k) << codeName(code) << " vertex " << k;
                far += same;
            }
        }
        ASSERT_TRUE(sameValues(shadow, v, static_cast<uint32_t>(nv))) << codeName(code);
        group.push_back(code);
        if (group.size() == 50) {
            for (uint32_t c : group)
                ClearGlyphData(font, c);
            group.clear();
            clearMFVec2f(&shadow);
        }
    }
    clearMFVec2f(&shadow);
    CloseFont(font);
    EXPECT_GT(merged, 0u);
    EXPECT_GT(far, 0u);
}

INSTANTIATE_TEST_SUITE_P(RealFonts, GlyphMerge,
                         testing::Values(Case{"DejaVu_q0", kDejaVuSans, 0},
                                         Case{"DejaVu_q50", kDejaVuSans, 50},
                                         Case{"FreeSans_q8", kFreeSans, 8},
                                         Case{"FreeSans_q100", kFreeSans, 100},
                                         Case{"Liberation_q50", kLiberationSans, 50}),
                         [](const auto &info) { return std::string(info.param.name); });

namespace
{

/* The plain pipeline: every output vertex and every crossing GLU creates goes through
 * the window scan, in the order GLU hands them over. References are indices + 1 into
 * input (positive) or vertices (negative). */
struct PlainSweep {
    MFVec3f input = {0, nullptr}, vertices = {0, nullptr};
    MFInt32 indices = {0, nullptr};
    GLenum type = 0;
    ~PlainSweep()
    {
        clearMFVec3f(&input);
        clearMFVec3f(&vertices);
        clearMFInt32(&indices);
    }
};

void plainBegin(GLenum type, void *data)
{
    static_cast<PlainSweep *>(data)->type = type;
}

void plainVertex(void *ref, void *data)
{
    auto *s = static_cast<PlainSweep *>(data);
    intptr_t r = reinterpret_cast<intptr_t>(ref);
    const float *v = r > 0 ? s->input.values[r - 1] : s->vertices.values[-r - 1];
    const float xyz[3] = {v[0], v[1], v[2]};
    int32_t index = searchInsertMFVec3f(&s->vertices, xyz);
    if (s->type == GL_TRIANGLES)
        appendMFInt32(&s->indices, index);
}

void plainCombine(GLdouble c[3], void *[4], GLfloat[4], void **out, void *data)
{
    auto *s = static_cast<PlainSweep *>(data);
    const float xyz[3] = {static_cast<float>(c[0]), static_cast<float>(c[1]),
                          static_cast<float>(c[2])};
    *out = reinterpret_cast<void *>(
        -static_cast<intptr_t>(searchInsertMFVec3f(&s->vertices, xyz) + 1));
}

void plainEdge(GLboolean, void *) {}

using Polygon = std::vector<Contour3>;

void plainTessellate(const Polygon &polygon, float rule, PlainSweep &s)
{
    GLUtesselator *tess = gluNewTess();
    gluTessCallback(tess, GLU_TESS_BEGIN_DATA, reinterpret_cast<_GLUfuncptr>(plainBegin));
    gluTessCallback(tess, GLU_TESS_VERTEX_DATA, reinterpret_cast<_GLUfuncptr>(plainVertex));
    gluTessCallback(tess, GLU_TESS_COMBINE_DATA, reinterpret_cast<_GLUfuncptr>(plainCombine));
    gluTessCallback(tess, GLU_TESS_EDGE_FLAG_DATA, reinterpret_cast<_GLUfuncptr>(plainEdge));
    gluTessProperty(tess, GLU_TESS_WINDING_RULE, rule);
    gluTessNormal(tess, 0, 0, 1);
    gluTessBeginPolygon(tess, &s);
    for (const auto &contour : polygon) {
        gluTessBeginContour(tess);
        for (const auto &p : contour) {
            int32_t index = searchInsertMFVec3f(&s.input, p.data());
            const float *stored = s.input.values[index];
            GLdouble xyz[3] = {stored[0], stored[1], stored[2]};
            gluTessVertex(tess, xyz, reinterpret_cast<void *>(static_cast<intptr_t>(index + 1)));
        }
        gluTessEndContour(tess);
    }
    gluTessEndPolygon(tess);
    gluDeleteTess(tess);
}

} // namespace

/* Points on a coarse grid repeat within and across contours and cross one another at
 * shared points, so the window both merges and lets merged points fall out of it. */
TEST(TesselatorMerge, RandomPolygonsMatchTheWindowSearch)
{
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> grid(0, 11);
    size_t merged = 0;
    for (int round = 0; round < (quickRun() ? 10 : 40); ++round) {
        Polygon polygon(1 + round % 3);
        for (auto &contour : polygon)
            for (int i = 0, n = 12 + 12 * (round % 5); i < n; ++i)
                contour.push_back({grid(rng) * 0.25f, grid(rng) * 0.5f, 0.0f});
        for (float rule : {float(GLU_TESS_WINDING_ODD), float(GLU_TESS_WINDING_NONZERO)}) {
            PlainSweep plain;
            plainTessellate(polygon, rule, plain);
            Tesselator t(rule, 3);
            addContours(t, polygon);
            const tessInfo *info = t.Finish();
            ASSERT_EQ(info->error, 0);
            EXPECT_TRUE(sameValues(t.input, plain.input.values, plain.input.count))
                << "round " << round;
            EXPECT_TRUE(sameValues(info->vertices, plain.vertices.values, plain.vertices.count))
                << "round " << round;
            EXPECT_TRUE(sameValues(info->indices, plain.indices.values, plain.indices.count))
                << "round " << round;
            merged += info->indices.count - info->vertices.count;
        }
    }
    EXPECT_GT(merged, 1000u);
}

/* The window's index driven directly, against the window search on a second array:
 * a hundred positions (among them +0 and -0, and NaNs, which equal nothing), so that
 * positions leave the window and come back, over enough appends that the index starts
 * new generations many times; rounds resume the index, seed it afresh, or start from an
 * empty array. */
TEST(VertexWindowIndex, MatchesTheWindowSearchAcrossGenerations)
{
    const float coordinates[] = {-0.0f, 0.0f, 1, 2, 3, 4, 5, 6, 7, NAN};
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> pick(0, 9), length(0, 3000);
    auto window = std::make_unique<glyva::VertexWindow<MFVec2f, 2>>();
    MFVec2f array = {0, nullptr}, plain = {0, nullptr};
    window->seed(array);
    size_t found = 0;
    for (int round = 0; round < 24; ++round) {
        {
            glyva::mf::Reserve<MFVec2f> store(array);
            if (round % 3 == 1)
                window->seed(array);
            else
                window->resume(array);
            for (int i = 0, n = length(rng); i < n; ++i) {
                const float v[2] = {coordinates[pick(rng)], coordinates[pick(rng)]};
                const uint32_t size = plain.count;
                const int32_t index = searchInsertMFVec2f(&plain, v);
                ASSERT_EQ(window->searchInsert(store, v), index) << "round " << round;
                found += static_cast<uint32_t>(index) < size;
            }
        }
        ASSERT_TRUE(sameValues(array, plain.values, plain.count)) << "round " << round;
        if (round % 6 == 5) {
            clearMFVec2f(&array);
            clearMFVec2f(&plain);
        }
    }
    clearMFVec2f(&array);
    clearMFVec2f(&plain);
    EXPECT_GT(found, 10000u);
}
