#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "glyph/glyphBudget.hh"
#include "glyph/glyphFont.hh"
#include "support/glyph.hh"
#include "support/support.hh"

/* The glyph budget's counts against a plain count of every pair of edges, and what a
 * glyph over the budget gets from the font API. */

using namespace glyva_test;

namespace
{

using Polygon = std::vector<std::vector<float>>; /* contours of x, y pairs */

uint32_t bruteForceCrossings(const Polygon &polygon)
{
    std::vector<std::pair<Point2, Point2>> edges;
    for (const auto &c : polygon)
        for (size_t k = 0; k < c.size(); k += 2)
            edges.push_back({{c[k], c[k + 1]}, {c[(k + 2) % c.size()], c[(k + 3) % c.size()]}});
    uint32_t n = 0;
    for (size_t i = 0; i < edges.size(); ++i)
        for (size_t j = i + 1; j < edges.size(); ++j) {
            const auto &e = edges[i], &f = edges[j];
            n += cross(e.first, e.second, f.first) * cross(e.first, e.second, f.second) < 0 &&
                 cross(f.first, f.second, e.first) * cross(f.first, f.second, e.second) < 0;
        }
    return n;
}

/* h horizontal and v upright thin bars on a lattice, each pair crossing 4 times. */
Polygon bars(int h, int v)
{
    Polygon p;
    for (int i = 0; i < h; ++i)
        p.push_back({0, 4.0f * i, 4.0f * v, 4.0f * i, 4.0f * v, 4.0f * i + 1, 0, 4.0f * i + 1});
    for (int j = 0; j < v; ++j)
        p.push_back(
            {4.0f * j + 1, -1, 4.0f * j + 2, -1, 4.0f * j + 2, 4.0f * h, 4.0f * j + 1, 4.0f * h});
    return p;
}

/* A contour of n lattice points on a circle, its first repeated at the end as flattened
 * contours have it, and the same contour again with one point's y spoilt (or, for
 * 0, the point made a repeat of the one before). */
Polygon closedCircle(int n, float spoilt)
{
    Polygon p(1);
    for (int k = 0; k <= n; ++k)
        p[0].insert(p[0].end(), {std::round(100 * std::cos(k * 6.2831853f / n)),
                                 std::round(100 * std::sin(k * 6.2831853f / n))});
    p.push_back(p[0]);
    const size_t at = 2 * static_cast<size_t>(n / 2);
    if (spoilt == 0)
        p[1][at] = p[1][at - 2], p[1][at + 1] = p[1][at - 1];
    else
        p[1][at + 1] = spoilt;
    return p;
}

Polygon randomPolygon(uint32_t seed, int contours, int points, float spread)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> at(0, spread);
    Polygon p(contours);
    for (auto &c : p)
        for (int k = 0; k < 2 * points; ++k)
            c.push_back(at(rng));
    return p;
}

} // namespace

/* Every polygon counted three ways: checkBudget over point pairs and over flattened
 * lists, and fitsBudget, which the mesh and contour paths use and which may skip the pair
 * tests when no limit can be reached. The answer, and the cost of a refusal, must be
 * checkBudget's, and checkBudget's that of a plain count of every pair of edges. The
 * cases lie below, at and past the point count where the skipping starts and around
 * both limits, and include closing repeats, repeated points and points that are not
 * finite, which the edges leave out. */
TEST(GlyphBudget, CountsEveryCrossingOnceAndRefusesPastEitherLimit)
{
    std::vector<Polygon> cases = {
        {{0, 0, 2, 2, 2, 0, 0, 2}},                           /* a bow tie: 1 */
        {{0, 0, 2, 0, 2, 2, 0, 2}, {1, 1, 3, 1, 3, 3, 1, 3}}, /* overlapping squares: 2 */
        {{0, 0, 4, 0, 4, 4, 0, 4}, {1, 1, 3, 1, 3, 3, 1, 3}}, /* a hole: 0 */
        {{0, 0, 1, 0, 1, 1, 1, 1, 0, 1}, {}, {5, 5}},         /* repeats and stray points */
        randomPolygon(3, 1, 64, 640),
        randomPolygon(4, 1, 65, 640),
        randomPolygon(5, 2, 150, 1),
        randomPolygon(6, 1, 400, 640),
        randomPolygon(8, 1, 600, 640),
        randomPolygon(7, 1, 3000, 640),
        Polygon(1, std::vector<float>(2 * (glyva::kMaxGlyphPoints + 1), 1.0f)),
    };
    for (int v : {31, 32, 33}) /* 1984, 2048 and 2112 crossings */
        cases.push_back(bars(16, v));
    for (float spoilt : {150.0f, NAN, INFINITY, 0.0f})
        cases.push_back(closedCircle(120, spoilt));
    cases.emplace_back(1);
    for (int k = 0; k < 5000; ++k) /* a circle */
        cases.back()[0].insert(cases.back()[0].end(),
                               {std::cos(k * 0.0012566f), std::sin(k * 0.0012566f)});
    for (uint32_t seed = 1; seed <= 30; ++seed)
        cases.push_back(randomPolygon(seed, 1 + seed % 3, 10 + seed, seed % 2 ? 1.0f : 640.0f));
    /* The mesh path keeps the fit check's storage from glyph to glyph: one kept through
     * every case, forwards, then backwards with its chain numbers about to wrap. */
    glyva::BudgetScratch kept = {};
    std::vector<glyva::Budget> answers;
    for (size_t n = 0; n < cases.size(); ++n) {
        SCOPED_TRACE("case " + std::to_string(n));
        const Polygon &p = cases[n];
        std::vector<glyva::BudgetContour> pairs;
        std::vector<std::vector<float>> xyz(p.size());
        std::vector<SimpleVec3Array> lists(p.size());
        uint64_t points = 0;
        for (size_t k = 0; k < p.size(); ++k) {
            pairs.push_back({p[k].data(), static_cast<uint32_t>(p[k].size() / 2), 2});
            for (size_t i = 0; i + 1 < p[k].size(); i += 2)
                xyz[k].insert(xyz[k].end(), {p[k][i], p[k][i + 1], 0.0f});
            lists[k] = {static_cast<uint32_t>(xyz[k].size() / 3),
                        reinterpret_cast<float(*)[3]>(xyz[k].data())};
            points += p[k].size() / 2;
        }
        glyva::GlyphCost counted, listed, answered;
        const glyva::Budget budget = glyva::checkBudget(pairs.data(), pairs.size(), &counted);
        EXPECT_EQ(counted.points, points);
        if (points > glyva::kMaxGlyphPoints) {
            EXPECT_EQ(budget, glyva::Budget::kTooManyPoints);
        } else {
            const uint32_t crossings = bruteForceCrossings(p);
            EXPECT_EQ(budget, crossings > glyva::kMaxGlyphCrossings
                                  ? glyva::Budget::kTooManyCrossings
                                  : glyva::Budget::kWithin);
            EXPECT_EQ(counted.crossings, std::min(crossings, glyva::kMaxGlyphCrossings + 1));
        }
        EXPECT_EQ(glyva::checkBudget(lists.data(), lists.size(), &listed), budget);
        EXPECT_TRUE(listed.points == points && listed.crossings == counted.crossings);
        EXPECT_EQ(glyva::fitsBudget(lists.data(), lists.size(), &answered), budget);
        EXPECT_EQ(answered.points, points);
        if (budget != glyva::Budget::kWithin) {
            EXPECT_EQ(answered.crossings, counted.crossings);
        }
        EXPECT_EQ(glyva::fitsBudget(pairs.data(), pairs.size(), &answered, &kept), budget);
        answers.push_back(budget);
    }
    kept.coverChains = UINT32_MAX - 1000;
    for (size_t n = cases.size(); n-- > 0;) {
        SCOPED_TRACE("case " + std::to_string(n) + " backwards");
        std::vector<glyva::BudgetContour> pairs;
        for (const auto &c : cases[n])
            pairs.push_back({c.data(), static_cast<uint32_t>(c.size() / 2), 2});
        glyva::GlyphCost answered;
        EXPECT_EQ(glyva::fitsBudget(pairs.data(), pairs.size(), &answered, &kept), answers[n]);
    }
    glyva::releaseBudgetScratch(&kept);
}

/* 3000 random points, tens of thousands of crossings: -1 from the mesh query and 0 from
 * the contour query, each with one line naming the glyph, within moments. */
TEST(GlyphBudget, FontApiGivesTheFailureValues)
{
    const std::string path =
        std::string(GLYVA_SOURCE_DIR) + "/fuzz/regressions/fuzz_font/random-3000-on.ttf";
    tavixInternalFontData *font = OpenFont(path.c_str());
    glyphInfoRecord info;
    ASSERT_EQ(GetGlyphInfo(&info, font, 'A'), 1);
    float *vertices = nullptr, *points = nullptr;
    int32_t *indices = nullptr;
    const std::string line = "glyph/glyphTesselator(640): glyph 1 refused: its 3000 points cross "
                             "more than 2048 times\n";
    for (int again = 0; again < 2; ++again) { /* a refusal is never remembered as a pass */
        EXPECT_EQ(captureStdout([&] { EXPECT_EQ(GetGlyphVertices(&vertices, font, 'A'), -1); }),
                  line);
        EXPECT_FALSE(glyva::knownWithinBudget(font, 1));
    }
    EXPECT_EQ(GetGlyphTriangleIndices(&indices, font, 'A'), 0);
    EXPECT_EQ(captureStdout(
                  [&] { EXPECT_EQ(GetGlyphContour(&points, font, 'A', 0, nullptr, nullptr), 0); }),
              line);
    CloseFont(font);
}

/* A glyph found within its budget is not counted again while its outline stays the same,
 * and is counted again once the quality or the face's instance may have changed it. */
TEST(GlyphBudget, AGlyphWithinIsCountedOncePerOutline)
{
    tavixInternalFontData *font = OpenFont(kDejaVuSans);
    ASSERT_NE(font, nullptr);
    glyphInfoRecord info;
    ASSERT_EQ(GetGlyphInfo(&info, font, 'a'), 1);
    FT_UInt a = FT_Get_Char_Index(font->ftFace, 'a');
    const auto meshed = [&] {
        float *vertices = nullptr;
        const bool ok = GetGlyphVertices(&vertices, font, 'a') > 0;
        ClearGlyphData(font, 'a');
        return ok;
    };
    EXPECT_FALSE(glyva::knownWithinBudget(font, a));
    ASSERT_TRUE(meshed());
    EXPECT_TRUE(glyva::knownWithinBudget(font, a));
    EXPECT_FALSE(glyva::knownWithinBudget(font, a + 1));
    SetQuality(font, static_cast<uint32_t>(GetQuality(font))); /* the same: kept */
    EXPECT_TRUE(glyva::knownWithinBudget(font, a));
    SetQuality(font, 8);
    EXPECT_FALSE(glyva::knownWithinBudget(font, a));
    ASSERT_TRUE(meshed());
    EXPECT_TRUE(glyva::knownWithinBudget(font, a));
    glyva::refreshFaceMetrics(font);
    EXPECT_FALSE(glyva::knownWithinBudget(font, a));
    const FT_UInt past = static_cast<FT_UInt>(font->ftFace->num_glyphs) + 1;
    glyva::noteWithinBudget(font, past); /* past the table: ignored */
    EXPECT_FALSE(glyva::knownWithinBudget(font, past));
    CloseFont(font);
}
