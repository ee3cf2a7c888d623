#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <random>
#include <tuple>
#include <vector>

#include <GL/glu.h>
#include <gtest/gtest.h>

#include "support/glyph.hh"
#include "support/support.hh"
#include "util/plyxUtil.h"

using namespace glyva_test;

namespace
{

constexpr float kOdd = GLU_TESS_WINDING_ODD, kNonzero = GLU_TESS_WINDING_NONZERO,
                kPositive = GLU_TESS_WINDING_POSITIVE, kNegative = GLU_TESS_WINDING_NEGATIVE,
                kAbsGeqTwo = GLU_TESS_WINDING_ABS_GEQ_TWO;
constexpr uint16_t kOutOfMemory = GLU_OUT_OF_MEMORY & 0xFFFF;

Contour3 square(float x0, float y0, float x1, float y1)
{
    return {{x0, y0, 0}, {x1, y0, 0}, {x1, y1, 0}, {x0, y1, 0}};
}

/* The record's own promises: storage present exactly when counted, every index names a
 * vertex, whole triangles. */
testing::AssertionResult wellFormed(const tessInfo *info)
{
    if ((info->vertices.count == 0) != (info->vertices.values == nullptr) ||
        (info->indices.count == 0) != (info->indices.values == nullptr))
        return testing::AssertionFailure() << "count and storage disagree";
    return meshInvariants(tessMesh(info), std::numeric_limits<double>::infinity());
}

size_t occurrences(const tessInfo *info, const Point3 &p)
{
    return std::count_if(info->vertices.values, info->vertices.values + info->vertices.count,
                         [&](const float *v) { return std::equal(p.begin(), p.end(), v); });
}

using Snapshot = std::tuple<uint16_t, std::vector<float>, std::vector<int32_t>>;

Snapshot snapshot(const tessInfo *info)
{
    const float *v = info->vertices.count ? info->vertices.values[0] : nullptr;
    return {info->error, std::vector<float>(v, v + 3 * info->vertices.count),
            std::vector<int32_t>(info->indices.values, info->indices.values + info->indices.count)};
}

const Contour3 kBowTie = {{0, 0, 0}, {2, 2, 0}, {2, 0, 0}, {0, 2, 0}};

/* Contours written as in tests/cases/polygons.txt. */
std::vector<Contour3> contoursOf(std::string text)
{
    std::replace(text.begin(), text.end(), ';', '|');
    std::vector<Contour3> contours;
    for (const auto &list : pointLists(text.c_str())) {
        contours.emplace_back();
        for (const TextPoint &p : list)
            contours.back().push_back({float(p.c[0]), float(p.c[1]), float(p.c[2])});
    }
    return contours;
}

} // namespace

TEST(Tesselator, PolygonCases)
{
    for (const auto &row : caseRows("polygons.txt")) {
        SCOPED_TRACE(row[0] + " " + row[1] + " " + row[9]);
        Tesselator t(std::stof(row[0]), std::stoi(row[1]));
        addContours(t, contoursOf(row[2]));
        EXPECT_EQ(t.input.count, std::stoul(row[8]));
        const tessInfo *info = t.Finish();
        EXPECT_EQ(info, &t.info);
        ASSERT_TRUE(wellFormed(info));
        EXPECT_TRUE(info->error == 0 && info->type == 0);
        EXPECT_TRUE(row[3] == "*" || info->vertices.count == std::stoul(row[3]));
        EXPECT_TRUE(row[4] == "*" || info->indices.count == std::stoul(row[4]));
        if (std::stod(row[6]) != 0) {
            Mesh mesh = tessMesh(info, std::stoi(row[5]));
            EXPECT_TRUE(meshInvariants(mesh));
            EXPECT_DOUBLE_EQ(meshArea(mesh), std::stod(row[6]));
        }
        for (const Point3 &p : row[7] == "-" ? Contour3() : contoursOf(row[7])[0])
            EXPECT_EQ(occurrences(info, p), 1u) << p[0] << "," << p[1];
    }
}

/* Calls after Finish, a second Finish included, leave the result as it is (the
 * tessellator fuzzer's corpus replay compares it byte for byte on every seed): here an
 * empty result. The tessellator is held until destruction, and destruction without
 * Finish releases everything. */
TEST(Tesselator, FinishedObjectsKeepTheirTessellatorAndResult)
{
    Tesselator empty(kOdd, 3);
    addContours(empty, {{{1, 1, 0}, {2, 2, 0}}});
    empty.Finish();
    addContours(empty, {kBowTie});
    EXPECT_TRUE(empty.Finish()->indices.count == 0 && empty.info.error == 0);
    EXPECT_NE(empty.tess, nullptr);
    {
        Tesselator unfinished(kNonzero, 0);
        addContours(unfinished, {square(0, 0, 2, 2), square(1, 1, 3, 3)});
        unfinished.BeginContour();
        for (int i = 0; i < 500; ++i) {
            float v[3] = {float(i), float(i * i % 37), 0};
            unfinished.Vertex(v);
        }
        Tesselator untouched(kOdd, 3);
    }
}

TEST(Tesselator, ContourCallsOutOfOrderAreReportedNotFatal)
{
    Tesselator open(kOdd, 3);
    open.BeginContour();
    for (const Point3 &p : square(0, 0, 1, 1))
        open.Vertex(p.data());
    const tessInfo *info = open.Finish(); /* the contour is left open */
    EXPECT_EQ(info->error, GLU_TESS_MISSING_END_CONTOUR & 0xFFFF);
    EXPECT_DOUBLE_EQ(meshArea(tessMesh(info)), 1.0);
    Tesselator outside(kOdd, 3);
    const float v[3] = {5, 5, 0};
    outside.Vertex(v); /* outside any contour: GLU opens one, reported on the next call */
    outside.Vertex(nullptr);
    addContours(outside, {square(0, 0, 1, 1)});
    info = outside.Finish();
    EXPECT_TRUE(info->error == (GLU_TESS_MISSING_BEGIN_CONTOUR & 0xFFFF) ||
                info->error == (GLU_TESS_MISSING_END_CONTOUR & 0xFFFF))
        << info->error;
    EXPECT_DOUBLE_EQ(meshArea(tessMesh(info)), 1.0);
}

/* Areas against the shoelace of a large star-shaped polygon, whose growth of input and
 * info.vertices moves their storage thousands of times while GLU holds references to
 * both, and against the exact integration of the winding numbers each rule keeps over
 * self-intersecting random polygons. */
TEST(Tesselator, AreasMatchTheShoelaceAndWindingIntegration)
{
    auto area = [](const std::vector<Contour3> &contours, float rule) {
        Tesselator t(rule, 3);
        addContours(t, contours);
        const tessInfo *info = t.Finish();
        EXPECT_TRUE(wellFormed(info));
        EXPECT_EQ(info->error, 0);
        EXPECT_TRUE(meshInvariants(tessMesh(info), 1e-9));
        return meshArea(tessMesh(info));
    };
    const int n = quickRun() ? 4000 : 20000;
    std::mt19937 rng(20240601);
    std::uniform_real_distribution<double> angle(0, 2 * M_PI), radius(0.5, 1.5);
    std::vector<double> angles(n);
    for (double &a : angles)
        a = angle(rng);
    std::sort(angles.begin(), angles.end());
    Contour3 star;
    std::vector<Point2> shoelace;
    for (double a : angles) {
        double r = radius(rng);
        star.push_back({float(r * std::cos(a)), float(r * std::sin(a)), 0});
        shoelace.push_back({star.back()[0], star.back()[1]});
    }
    EXPECT_NEAR(area({star}, kOdd), polygonArea(shoelace), 1e-6 * polygonArea(shoelace));
    const std::pair<float, std::function<bool(int)>> rules[] = {
        {kOdd, [](int w) { return w % 2 != 0; }},
        {kNonzero, nonZero},
        {kPositive, [](int w) { return w > 0; }},
        {kNegative, [](int w) { return w < 0; }},
        {kAbsGeqTwo, [](int w) { return std::abs(w) >= 2; }}};
    std::uniform_real_distribution<float> coordinate(0, 1);
    rng.seed(7);
    for (int round = 0; round < 6; ++round) {
        std::vector<Contour3> contours(1 + round % 2);
        Contours polygon;
        for (Contour3 &c : contours) {
            polygon.emplace_back();
            for (int i = 0; i < 24; ++i) {
                c.push_back({coordinate(rng), coordinate(rng), 0});
                polygon.back().push_back({c.back()[0], c.back()[1]});
            }
        }
        /* Crossings are rounded to float when stored: a few ulps per vertex. */
        for (const auto &rule : rules)
            EXPECT_NEAR(area(contours, rule.first), windingArea(polygon, rule.second), 1e-4)
                << "round " << round << " rule " << rule.first;
    }
}

/* Every allocation of a small session with crossings is made to fail in turn, the
 * library's alone, then every one of the process, GLU's included: the result is exact
 * or empty with GLU_OUT_OF_MEMORY, and only GLU's allocation of the tessellator itself
 * leaves the object inert, every later call then doing nothing. Regression: GLU leaves
 * a half-built mesh (an edge without its vertex) when memory runs out inside
 * gluTessVertex, and gluTessEndPolygon crashed sweeping it; the second contour's first
 * vertex moves GLU's cached first contour into its mesh, and the sweep fails each of
 * the second contour's allocations in turn. */
TEST(Tesselator, AllocationFailureGivesTheResultOrOutOfMemory)
{
    GLYVA_REQUIRE_FAILING_ALLOC();
    std::optional<Tesselator> t;
    const std::vector<Contour3> contours = {kBowTie, square(1, -1, 3, 1)};
    auto session = [&] {
        t.emplace(kNonzero, 3);
        addContours(*t, contours);
        t->Finish();
    };
    for (auto scope : {AllocScope::kLibrary, AllocScope::kAll}) {
        long total = countAllocations(session, scope);
        const Snapshot expected = snapshot(&t->info);
        t.reset();
        ASSERT_GT(std::get<2>(expected).size(), 0u);
        long outOfMemory = 0, inert = 0;
        for (long k = 1; k <= total; ++k) {
            failAllocation(k, session, false, scope);
            ASSERT_TRUE(wellFormed(&t->info)) << "allocation " << k << " failing";
            const Snapshot got = snapshot(&t->info);
            const uint16_t error = std::get<0>(got);
            inert += t->tess == nullptr;
            if (t->tess == nullptr || error == kOutOfMemory) {
                EXPECT_TRUE(std::get<1>(got).empty() && std::get<2>(got).empty()) << k;
            } else
                EXPECT_TRUE(got == expected) << "allocation " << k << " error " << error;
            outOfMemory += error == kOutOfMemory;
            EXPECT_TRUE(t->tess || (error == 0 && t->input.count == 0 && t->Finish() == &t->info))
                << "an inert object does nothing; allocation " << k;
            t.reset();
        }
        EXPECT_GT(outOfMemory, 0);
        EXPECT_EQ(inert, scope == AllocScope::kAll ? 1 : 0);
    }
}
