#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "glyph/glyphBudget.hh"
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

glyva::Budget check(const Polygon &polygon, glyva::GlyphCost *cost)
{
    std::vector<glyva::BudgetContour> contours;
    for (const auto &c : polygon)
        contours.push_back({c.data(), static_cast<uint32_t>(c.size() / 2), 2});
    return glyva::checkBudget(contours.data(), contours.size(), cost);
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

TEST(GlyphBudget, CountsEveryCrossingOnce)
{
    const Polygon cases[] = {
        {{0, 0, 2, 2, 2, 0, 0, 2}},                           /* a bow tie: 1 */
        {{0, 0, 2, 0, 2, 2, 0, 2}, {1, 1, 3, 1, 3, 3, 1, 3}}, /* overlapping squares: 2 */
        {{0, 0, 4, 0, 4, 4, 0, 4}, {1, 1, 3, 1, 3, 3, 1, 3}}, /* a hole: 0 */
        {{0, 0, 1, 0, 1, 1, 1, 1, 0, 1}, {}, {5, 5}},         /* repeats and stray points */
    };
    for (const Polygon &p : cases) {
        glyva::GlyphCost cost;
        EXPECT_EQ(check(p, &cost), glyva::Budget::kWithin);
        EXPECT_EQ(cost.crossings, bruteForceCrossings(p));
    }
    for (uint32_t seed = 1; seed <= 30; ++seed) {
        const Polygon p = randomPolygon(seed, 1 + seed % 3, 10 + seed, seed % 2 ? 1.0f : 640.0f);
        glyva::GlyphCost cost;
        ASSERT_EQ(check(p, &cost), glyva::Budget::kWithin) << seed;
        EXPECT_EQ(cost.crossings, bruteForceCrossings(p)) << seed;
        EXPECT_EQ(cost.points, p.size() * (10 + seed));
    }
}

TEST(GlyphBudget, RefusesPastEitherLimit)
{
    glyva::GlyphCost cost;
    Polygon many(1, std::vector<float>(2 * (glyva::kMaxGlyphPoints + 1), 1.0f));
    EXPECT_EQ(check(many, &cost), glyva::Budget::kTooManyPoints);
    EXPECT_EQ(cost.points, glyva::kMaxGlyphPoints + 1);
    EXPECT_EQ(check(randomPolygon(7, 1, 3000, 640), &cost), glyva::Budget::kTooManyCrossings);
    EXPECT_EQ(cost.crossings, glyva::kMaxGlyphCrossings + 1);
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
    EXPECT_EQ(captureStdout([&] { EXPECT_EQ(GetGlyphVertices(&vertices, font, 'A'), -1); }), line);
    EXPECT_EQ(GetGlyphTriangleIndices(&indices, font, 'A'), 0);
    EXPECT_EQ(captureStdout(
                  [&] { EXPECT_EQ(GetGlyphContour(&points, font, 'A', 0, nullptr, nullptr), 0); }),
              line);
    CloseFont(font);
}

/* The mesh and contour paths ask only for the answer, which may skip the pair tests when
 * no limit can be reached: the answer, and the cost of a refusal, must be checkBudget's,
 * below, at and past the point count where the skipping starts and around the crossing
 * limit. */
TEST(GlyphBudget, AnswerAloneAgreesWithTheCount)
{
    struct Case {
        const char *what;
        Polygon polygon;
    };
    const Case cases[] = {
        {"bow tie", {{0, 0, 2, 2, 2, 0, 0, 2}}},
        {"64 points", randomPolygon(3, 1, 64, 640)},
        {"65 points", randomPolygon(4, 1, 65, 640)},
        {"300 points in two contours", randomPolygon(5, 2, 150, 1)},
        {"400 points", randomPolygon(6, 1, 400, 640)},
        {"600 points", randomPolygon(8, 1, 600, 640)},
        {"3000 points", randomPolygon(7, 1, 3000, 640)},
        {"a circle of 5000 points",
         [] {
             std::vector<float> c;
             for (int k = 0; k < 5000; ++k)
                 c.insert(c.end(), {std::cos(k * 0.0012566f), std::sin(k * 0.0012566f)});
             return Polygon{c};
         }()},
    };
    for (const Case &c : cases) {
        std::vector<std::vector<float>> xyz(c.polygon.size());
        std::vector<SimpleVec3Array> lists(c.polygon.size());
        for (size_t k = 0; k < c.polygon.size(); ++k) {
            for (size_t i = 0; i + 1 < c.polygon[k].size(); i += 2)
                xyz[k].insert(xyz[k].end(), {c.polygon[k][i], c.polygon[k][i + 1], 0.0f});
            lists[k].count = static_cast<uint32_t>(xyz[k].size() / 3);
            lists[k].values = reinterpret_cast<float(*)[3]>(xyz[k].data());
        }
        glyva::GlyphCost counted, answered;
        glyva::Budget expected = glyva::checkBudget(lists.data(), lists.size(), &counted);
        EXPECT_EQ(glyva::fitsBudget(lists.data(), lists.size(), &answered), expected) << c.what;
        EXPECT_EQ(answered.points, counted.points) << c.what;
        if (expected != glyva::Budget::kWithin) {
            EXPECT_EQ(answered.crossings, counted.crossings) << c.what;
        }
    }
}
