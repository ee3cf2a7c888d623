// The glyph tessellation and the Tesselator merge vertices through a position index of
// the search window; their results must be those of the plain 65-element window
// search, byte for byte. Each corner the glyph path delivered is replayed through
// searchInsertMFVec2f into a shadow array, which must end up identical, with identical
// indices. The Tesselator is compared with the same GLU sweep driven here, storing
// through searchInsertMFVec3f in GLU's callback order.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <ft2build.h>
#include FT_FREETYPE_H
#include <GL/glu.h>
#include <gtest/gtest.h>

#include "Skrib/GlyvaInterface.h"
#include "glyph/Tesselator.h"
#include "support/support.hh"
#include "util/plyxUtil.h"

namespace
{

bool quick()
{
    return std::getenv("GLYVA_QUICK") != nullptr;
}

/* One character code per glyph with an outline, in the font's cmap order. */
std::vector<uint32_t> codesWithGlyphs(const char *path)
{
    std::vector<uint32_t> codes;
    FT_Library library;
    FT_Face face;
    if (FT_Init_FreeType(&library))
        return codes;
    if (FT_New_Face(library, path, 0, &face) == 0) {
        std::vector<bool> seen(face->num_glyphs + 1, false);
        FT_UInt g;
        for (FT_ULong c = FT_Get_First_Char(face, &g); g != 0; c = FT_Get_Next_Char(face, c, &g))
            if (!seen[g]) {
                seen[g] = true;
                codes.push_back(static_cast<uint32_t>(c));
            }
        FT_Done_Face(face);
    }
    FT_Done_FreeType(library);
    if (quick()) {
        std::vector<uint32_t> sample;
        for (size_t i = 0; i < codes.size(); i += 10)
            sample.push_back(codes[i]);
        codes.swap(sample);
    }
    return codes;
}

struct Shadow {
    MFVec2f array = {0, nullptr};
    ~Shadow() { clearMFVec2f(&array); }
};

/* Same count, and the same bytes from element `from` on. */
bool sameArray(const MFVec2f &a, uint32_t count, const float *values, uint32_t from = 0)
{
    if (a.count != count)
        return false;
    if (count <= from)
        return true;
    return std::memcmp(a.values[from], values + 2 * from, sizeof(float) * 2 * (count - from)) == 0;
}

/* No two equal vertices lie within any 65 consecutive elements of the array. */
bool windowHoldsNoDuplicates(const float *v, uint32_t count)
{
    for (uint32_t j = 0; j < count; ++j)
        for (uint32_t i = j > 64 ? j - 64 : 0; i < j; ++i)
            if (v[2 * i] == v[2 * j] && v[2 * i + 1] == v[2 * j + 1])
                return false;
    return true;
}

void replayFont(const char *path, uint32_t quality, bool carried)
{
    std::vector<uint32_t> codes = codesWithGlyphs(path);
    /* Sanitizer allocators copy on every exact-fit growth, so a shared array carried
     * across a whole font costs quadratic time there. */
    if (carried && quick() && codes.size() > 100)
        codes.resize(100);
    ASSERT_FALSE(codes.empty()) << path;
    tavixInternalFontData *font = OpenFont(path);
    ASSERT_NE(font, nullptr);
    SetQuality(font, quality);
    Shadow shadow;
    uint32_t libraryCount = 0;
    const float *libraryValues = nullptr;
    size_t corners = 0;
    for (uint32_t code : codes) {
        const uint32_t before = shadow.array.count;
        glyphInfoRecord info;
        ASSERT_EQ(GetGlyphInfo(&info, font, code), 1);
        float *vertices = nullptr;
        int32_t *indices = nullptr;
        int32_t nv = GetGlyphVertices(&vertices, font, code);
        ASSERT_GE(nv, 0) << "U+" << std::hex << code;
        int32_t ni = GetGlyphTriangleIndices(&indices, font, code);
        for (int32_t i = 0; i < ni; ++i) {
            ASSERT_LT(indices[i], nv);
            int32_t plain = searchInsertMFVec2f(&shadow.array, vertices + 2 * indices[i]);
            ASSERT_EQ(plain, indices[i]) << "U+" << std::hex << code << " corner " << std::dec << i;
        }
        corners += static_cast<size_t>(ni);
        ASSERT_TRUE(sameArray(shadow.array, static_cast<uint32_t>(nv), vertices, before))
            << "U+" << std::hex << code;
        libraryCount = static_cast<uint32_t>(nv);
        libraryValues = vertices;
        if (!carried) {
            ClearGlyphData(font, code);
            clearMFVec2f(&shadow.array);
        }
    }
    if (carried) {
        EXPECT_TRUE(sameArray(shadow.array, libraryCount, libraryValues));
        EXPECT_TRUE(windowHoldsNoDuplicates(libraryValues, libraryCount));
    }
    EXPECT_GT(corners, codes.size());
    CloseFont(font);
}

struct Case {
    const char *font;
    uint32_t quality;
};

class MergeMatchesWindowSearch : public testing::TestWithParam<Case>
{
};

TEST_P(MergeMatchesWindowSearch, ClearedBetweenGlyphs)
{
    replayFont(GetParam().font, GetParam().quality, false);
}

TEST_P(MergeMatchesWindowSearch, SharedArrayCarriedAcrossGlyphs)
{
    replayFont(GetParam().font, GetParam().quality, true);
}

std::vector<Case> cases()
{
    std::vector<Case> all;
    for (const char *font :
         {glyva_test::kDejaVuSans, glyva_test::kFreeSans, glyva_test::kLiberationSans})
        for (uint32_t quality : {0u, 8u, 50u, 100u})
            all.push_back({font, quality});
    return all;
}

INSTANTIATE_TEST_SUITE_P(RealFonts, MergeMatchesWindowSearch, testing::ValuesIn(cases()),
                         [](const testing::TestParamInfo<Case> &info) {
                             std::string name = "Liberation";
                             if (std::strstr(info.param.font, "DejaVu"))
                                 name = "DejaVu";
                             else if (std::strstr(info.param.font, "Free"))
                                 name = "FreeSans";
                             return name + "_q" + std::to_string(info.param.quality);
                         });

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
    const float *resolve(void *ref) const
    {
        intptr_t r = reinterpret_cast<intptr_t>(ref);
        return r > 0 ? input.values[r - 1] : vertices.values[-r - 1];
    }
};

void plainBegin(GLenum type, void *data)
{
    static_cast<PlainSweep *>(data)->type = type;
}
void plainEnd(void *data)
{
    static_cast<PlainSweep *>(data)->type = 0;
}
void plainEdge(GLboolean, void *) {}
void plainVertex(void *ref, void *data)
{
    auto *s = static_cast<PlainSweep *>(data);
    const float *v = s->resolve(ref);
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

using Polygon = std::vector<std::vector<std::array<float, 3>>>;

void plainTessellate(const Polygon &polygon, float rule, PlainSweep &s)
{
    GLUtesselator *tess = gluNewTess();
    ASSERT_NE(tess, nullptr);
    gluTessCallback(tess, GLU_TESS_BEGIN_DATA, reinterpret_cast<_GLUfuncptr>(plainBegin));
    gluTessCallback(tess, GLU_TESS_VERTEX_DATA, reinterpret_cast<_GLUfuncptr>(plainVertex));
    gluTessCallback(tess, GLU_TESS_COMBINE_DATA, reinterpret_cast<_GLUfuncptr>(plainCombine));
    gluTessCallback(tess, GLU_TESS_END_DATA, reinterpret_cast<_GLUfuncptr>(plainEnd));
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

template <typename MF> bool sameBytes(const MF &a, const MF &b)
{
    return a.count == b.count &&
           (a.count == 0 || std::memcmp(a.values, b.values, a.count * sizeof a.values[0]) == 0);
}

/* Points on a coarse grid repeat within and across contours and cross one another at
 * shared points, so the window both merges and lets merged points fall out of it. */
TEST(TesselatorMerge, RandomPolygonsMatchTheWindowSearch)
{
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> grid(0, 11);
    size_t merged = 0;
    /* Crossings grow with the square of the points: a few thousand output vertices at
     * most, which the exact-fit reference still copies in reasonable time under the
     * sanitizers' allocators. */
    for (int round = 0; round < (quick() ? 10 : 40); ++round) {
        Polygon polygon(1 + round % 3);
        for (auto &contour : polygon)
            for (int i = 0, n = 12 + 12 * (round % 5); i < n; ++i)
                contour.push_back({grid(rng) * 0.25f, grid(rng) * 0.5f, 0.0f});
        for (float rule : {float(GLU_TESS_WINDING_ODD), float(GLU_TESS_WINDING_NONZERO)}) {
            PlainSweep plain;
            plainTessellate(polygon, rule, plain);
            Tesselator t(rule, 3);
            for (const auto &contour : polygon) {
                t.BeginContour();
                for (const auto &p : contour)
                    t.Vertex(p.data());
                t.EndContour();
            }
            const tessInfo *info = t.Finish();
            ASSERT_EQ(info->error, 0);
            EXPECT_TRUE(sameBytes(t.input, plain.input)) << "round " << round;
            EXPECT_TRUE(sameBytes(info->vertices, plain.vertices)) << "round " << round;
            EXPECT_TRUE(sameBytes(info->indices, plain.indices)) << "round " << round;
            merged += info->indices.count - info->vertices.count;
        }
    }
    EXPECT_GT(merged, 1000u);
}

} // namespace
