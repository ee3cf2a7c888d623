#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <random>
#include <type_traits>
#include <vector>

#include <GL/glu.h>
#include <gtest/gtest.h>

#include "glyph/Tesselator.h"
#include "support/support.hh"
#include "util/plyxUtil.h"

namespace
{

constexpr float kOdd = GLU_TESS_WINDING_ODD;
constexpr float kNonzero = GLU_TESS_WINDING_NONZERO;
constexpr float kPositive = GLU_TESS_WINDING_POSITIVE;
constexpr float kNegative = GLU_TESS_WINDING_NEGATIVE;
constexpr float kAbsGeqTwo = GLU_TESS_WINDING_ABS_GEQ_TWO;
constexpr uint16_t kOutOfMemory = GLU_OUT_OF_MEMORY & 0xFFFF;

using Point = std::array<float, 3>;
using Contour = std::vector<Point>;
using Axis = std::array<double, 3>;

constexpr Axis kPlusZ = {0, 0, 1};

Contour square(float x0, float y0, float x1, float y1)
{
    return {{x0, y0, 0}, {x1, y0, 0}, {x1, y1, 0}, {x0, y1, 0}};
}

Contour reversed(Contour c)
{
    std::reverse(c.begin(), c.end());
    return c;
}

void addContour(Tesselator &t, const Contour &contour)
{
    t.BeginContour();
    for (const Point &p : contour)
        t.Vertex(p.data());
    t.EndContour();
}

/* The structural promises of every result, checked before anything else. */
::testing::AssertionResult wellFormed(const tessInfo *info)
{
    if (info->indices.count % 3 != 0)
        return ::testing::AssertionFailure() << info->indices.count << " indices";
    if ((info->vertices.count == 0) != (info->vertices.values == nullptr))
        return ::testing::AssertionFailure() << "vertex count and storage disagree";
    if ((info->indices.count == 0) != (info->indices.values == nullptr))
        return ::testing::AssertionFailure() << "index count and storage disagree";
    for (uint32_t i = 0; i < info->indices.count; ++i) {
        int32_t index = info->indices.values[i];
        if (index < 0 || static_cast<uint32_t>(index) >= info->vertices.count)
            return ::testing::AssertionFailure()
                   << "index " << index << " of " << info->vertices.count << " vertices";
    }
    return ::testing::AssertionSuccess();
}

uint32_t triangleCount(const tessInfo *info)
{
    return info->indices.count / 3;
}

std::array<double, 3> corner(const tessInfo *info, uint32_t triangle, int k)
{
    const float *v = info->vertices.values[info->indices.values[3 * triangle + k]];
    return {v[0], v[1], v[2]};
}

/* Twice the area of a triangle projected along the axis, positive when it turns
 * counter-clockwise seen from the side the axis points to. */
double twiceSignedArea(const tessInfo *info, uint32_t triangle, const Axis &axis)
{
    auto a = corner(info, triangle, 0), b = corner(info, triangle, 1),
         c = corner(info, triangle, 2);
    double u[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
    double w[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
    double n[3] = {u[1] * w[2] - u[2] * w[1], u[2] * w[0] - u[0] * w[2], u[0] * w[1] - u[1] * w[0]};
    return n[0] * axis[0] + n[1] * axis[1] + n[2] * axis[2];
}

double meshArea(const tessInfo *info, const Axis &axis = kPlusZ)
{
    double sum = 0;
    for (uint32_t t = 0; t < triangleCount(info); ++t)
        sum += twiceSignedArea(info, t, axis);
    return sum / 2;
}

/* Every triangle turns the way sign says about the axis. */
bool allTurn(const tessInfo *info, const Axis &axis, int sign)
{
    for (uint32_t t = 0; t < triangleCount(info); ++t)
        if (sign * twiceSignedArea(info, t, axis) <= 0)
            return false;
    return true;
}

/* No triangle turns against the sign by more than slack; GLU emits collinear
 * triangles where a vertex lies on another contour's edge. */
bool noneTurnsAgainst(const tessInfo *info, const Axis &axis, int sign, double slack = 0)
{
    for (uint32_t t = 0; t < triangleCount(info); ++t)
        if (sign * twiceSignedArea(info, t, axis) < -slack)
            return false;
    return true;
}

/* The shoelace area of a closed contour in the xy-plane, in double. */
double shoelace(const Contour &c)
{
    double sum = 0;
    for (size_t i = 0; i < c.size(); ++i) {
        const Point &p = c[i], &q = c[(i + 1) % c.size()];
        sum += double(p[0]) * q[1] - double(q[0]) * p[1];
    }
    return sum / 2;
}

size_t occurrences(const tessInfo *info, const Point &p)
{
    size_t n = 0;
    for (uint32_t i = 0; i < info->vertices.count; ++i) {
        const float *v = info->vertices.values[i];
        n += v[0] == p[0] && v[1] == p[1] && v[2] == p[2];
    }
    return n;
}

bool strictlyInside(const tessInfo *info, uint32_t triangle, double x, double y)
{
    auto a = corner(info, triangle, 0), b = corner(info, triangle, 1),
         c = corner(info, triangle, 2);
    auto edge = [&](const std::array<double, 3> &p, const std::array<double, 3> &q) {
        return (q[0] - p[0]) * (y - p[1]) - (q[1] - p[1]) * (x - p[0]);
    };
    double e0 = edge(a, b), e1 = edge(b, c), e2 = edge(c, a);
    return (e0 > 0 && e1 > 0 && e2 > 0) || (e0 < 0 && e1 < 0 && e2 < 0);
}

bool keepsWinding(float rule, int w)
{
    if (rule == kOdd)
        return w % 2 != 0;
    if (rule == kNonzero)
        return w != 0;
    if (rule == kPositive)
        return w > 0;
    if (rule == kNegative)
        return w < 0;
    return w >= 2 || w <= -2;
}

/* The area of the region whose winding number about +z the rule keeps, by exact
 * integration over horizontal slabs: between consecutive event heights (vertices
 * and edge crossings) no edges cross, so the covered length is linear in y and its
 * value at mid-slab times the slab height is the slab's area. */
double windingArea(const std::vector<Contour> &contours, float rule)
{
    struct Edge {
        double x0, y0, x1, y1;
    };
    std::vector<Edge> edges;
    for (const Contour &c : contours)
        for (size_t i = 0; i < c.size(); ++i) {
            const Point &p = c[i], &q = c[(i + 1) % c.size()];
            if (p[1] != q[1])
                edges.push_back({p[0], p[1], q[0], q[1]});
        }
    std::vector<double> ys;
    for (const Contour &c : contours)
        for (const Point &p : c)
            ys.push_back(p[1]);
    for (size_t i = 0; i < edges.size(); ++i)
        for (size_t j = i + 1; j < edges.size(); ++j) {
            const Edge &a = edges[i], &b = edges[j];
            double dax = a.x1 - a.x0, day = a.y1 - a.y0, dbx = b.x1 - b.x0, dby = b.y1 - b.y0;
            double den = dax * dby - day * dbx;
            if (den == 0)
                continue;
            double s = ((b.x0 - a.x0) * dby - (b.y0 - a.y0) * dbx) / den;
            double u = ((b.x0 - a.x0) * day - (b.y0 - a.y0) * dax) / den;
            if (s > 0 && s < 1 && u > 0 && u < 1)
                ys.push_back(a.y0 + s * day);
        }
    std::sort(ys.begin(), ys.end());
    double area = 0;
    for (size_t k = 0; k + 1 < ys.size(); ++k) {
        double y = (ys[k] + ys[k + 1]) / 2, h = ys[k + 1] - ys[k];
        if (h <= 0)
            continue;
        std::vector<std::pair<double, int>> crossings;
        for (const Edge &e : edges)
            if ((e.y0 < y) != (e.y1 < y))
                crossings.push_back(
                    {e.x0 + (y - e.y0) * (e.x1 - e.x0) / (e.y1 - e.y0), e.y1 < e.y0 ? 1 : -1});
        std::sort(crossings.begin(), crossings.end());
        int w = 0;
        for (size_t i = 0; i + 1 < crossings.size(); ++i) {
            w += crossings[i].second;
            if (keepsWinding(rule, w))
                area += (crossings[i + 1].first - crossings[i].first) * h;
        }
    }
    return area;
}

struct Snapshot {
    uint16_t type, error;
    std::vector<float> vertices;
    std::vector<int32_t> indices;
    bool operator==(const Snapshot &o) const
    {
        return type == o.type && error == o.error && vertices == o.vertices && indices == o.indices;
    }
};

Snapshot snapshot(const tessInfo *info)
{
    Snapshot s{info->type, info->error, {}, {}};
    for (uint32_t i = 0; i < info->vertices.count; ++i)
        s.vertices.insert(s.vertices.end(), info->vertices.values[i], info->vertices.values[i] + 3);
    s.indices.assign(info->indices.values, info->indices.values + info->indices.count);
    return s;
}

} // namespace

/* Hosts read both records at fixed offsets on i386 and x86_64 alike. */
static_assert(std::is_standard_layout<tessInfo>::value, "tessInfo is read by offset");
static_assert(std::is_standard_layout<Tesselator>::value, "Tesselator is read by offset");
static_assert(!std::is_polymorphic<Tesselator>::value, "no virtual members");
static_assert(offsetof(tessInfo, type) == 0, "type first");
static_assert(offsetof(tessInfo, error) == 2, "error after the 16-bit type");

TEST(TesselatorLayout, OffsetsFollowThePointerSize)
{
    const size_t p = sizeof(void *);
    const size_t vertices = p > 4 ? p : 4; /* the first pointer-aligned offset after 4 */
    EXPECT_EQ(sizeof(MFVec3f), 2 * p);
    EXPECT_EQ(offsetof(MFVec3f, values), p);
    EXPECT_EQ(offsetof(tessInfo, type), 0u);
    EXPECT_EQ(offsetof(tessInfo, error), 2u);
    EXPECT_EQ(offsetof(tessInfo, vertices), vertices);
    EXPECT_EQ(offsetof(tessInfo, indices), vertices + 2 * p);
    EXPECT_EQ(sizeof(tessInfo), vertices + 4 * p);
    EXPECT_EQ(offsetof(Tesselator, tess), 0u);
    EXPECT_EQ(offsetof(Tesselator, info), p);
    EXPECT_EQ(offsetof(Tesselator, input), p + sizeof(tessInfo));
    EXPECT_EQ(sizeof(Tesselator), p + sizeof(tessInfo) + 2 * p);
}

TEST(Tesselator, SquareAboutPlusZGivesTwoCounterClockwiseTriangles)
{
    Tesselator t(kOdd, 3);
    addContour(t, square(0, 0, 1, 1));
    const tessInfo *info = t.Finish();
    ASSERT_TRUE(wellFormed(info));
    EXPECT_EQ(info, &t.info);
    EXPECT_EQ(info->error, 0);
    EXPECT_EQ(info->type, 0);
    EXPECT_EQ(info->vertices.count, 4u);
    EXPECT_EQ(info->indices.count, 6u);
    EXPECT_TRUE(allTurn(info, kPlusZ, +1));
    EXPECT_DOUBLE_EQ(meshArea(info), 1.0);
    for (const Point &p : square(0, 0, 1, 1))
        EXPECT_EQ(occurrences(info, p), 1u);
}

TEST(Tesselator, SquareAboutMinusZGivesClockwiseTriangles)
{
    Tesselator t(kOdd, -3);
    addContour(t, square(0, 0, 1, 1));
    const tessInfo *info = t.Finish();
    ASSERT_TRUE(wellFormed(info));
    EXPECT_EQ(info->error, 0);
    EXPECT_EQ(info->vertices.count, 4u);
    EXPECT_EQ(info->indices.count, 6u);
    EXPECT_TRUE(allTurn(info, kPlusZ, -1));
    EXPECT_DOUBLE_EQ(meshArea(info), -1.0);
}

TEST(Tesselator, SquareHoleUnderOddIsLeftUncovered)
{
    Tesselator t(kOdd, 3);
    addContour(t, square(0, 0, 4, 4));
    addContour(t, square(1, 1, 3, 3));
    const tessInfo *info = t.Finish();
    ASSERT_TRUE(wellFormed(info));
    EXPECT_EQ(info->error, 0);
    EXPECT_EQ(info->vertices.count, 8u);
    /* 8 corners, one hole: 8 + 2 * 1 - 2 triangles. */
    EXPECT_EQ(triangleCount(info), 8u);
    EXPECT_TRUE(allTurn(info, kPlusZ, +1));
    EXPECT_DOUBLE_EQ(meshArea(info), 16.0 - 4.0);
    for (uint32_t tri = 0; tri < triangleCount(info); ++tri)
        for (double x = 1.125; x < 3; x += 0.25)
            for (double y = 1.125; y < 3; y += 0.25)
                EXPECT_FALSE(strictlyInside(info, tri, x, y))
                    << "triangle " << tri << " covers (" << x << ", " << y << ")";
}

TEST(Tesselator, BowTieCrossingComesFromCombineAndIsStoredOnce)
{
    Tesselator t(kOdd, 3);
    addContour(t, {{0, 0, 0}, {2, 2, 0}, {2, 0, 0}, {0, 2, 0}});
    const tessInfo *info = t.Finish();
    ASSERT_TRUE(wellFormed(info));
    EXPECT_EQ(info->error, 0);
    const Point crossing = {1, 1, 0};
    /* Combined vertices are stored as GLU makes them, before any triangle arrives, so
     * the crossing is the first vertex. */
    ASSERT_GE(info->vertices.count, 1u);
    EXPECT_EQ(occurrences(info, crossing), 1u);
    EXPECT_EQ(info->vertices.values[0][0], 1.0f);
    EXPECT_EQ(info->vertices.values[0][1], 1.0f);
    EXPECT_EQ(info->vertices.values[0][2], 0.0f);
    EXPECT_EQ(info->vertices.count, 5u);
    ASSERT_EQ(triangleCount(info), 2u);
    for (uint32_t tri = 0; tri < 2; ++tri) {
        EXPECT_TRUE(info->indices.values[3 * tri] == 0 || info->indices.values[3 * tri + 1] == 0 ||
                    info->indices.values[3 * tri + 2] == 0);
        EXPECT_DOUBLE_EQ(twiceSignedArea(info, tri, kPlusZ), 2.0);
    }
}

TEST(Tesselator, VertexGivenTwiceInARowIsStoredOnceAndChangesNothing)
{
    Tesselator plain(kOdd, 3);
    addContour(plain, square(0, 0, 1, 1));
    const tessInfo *expected = plain.Finish();

    Tesselator t(kOdd, 3);
    addContour(t, {{0, 0, 0}, {1, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}});
    EXPECT_EQ(t.input.count, 4u);
    const tessInfo *info = t.Finish();
    ASSERT_TRUE(wellFormed(info));
    EXPECT_EQ(info->error, 0);
    EXPECT_EQ(info->vertices.count, expected->vertices.count);
    EXPECT_EQ(info->indices.count, expected->indices.count);
    EXPECT_EQ(occurrences(info, {1, 0, 0}), 1u);
    EXPECT_TRUE(allTurn(info, kPlusZ, +1));
    EXPECT_DOUBLE_EQ(meshArea(info), meshArea(expected));
}

TEST(Tesselator, AxesOutsideOneToThreeLetGluFindTheNormal)
{
    /* Under the positive rule a fixed normal against the contour's turn fills
     * nothing; a normal GLU finds itself always agrees with the contour. */
    for (int axis : {0, 4, -4, 7, -100}) {
        for (bool clockwise : {false, true}) {
            Tesselator t(kPositive, axis);
            Contour c = square(0, 0, 1, 1);
            addContour(t, clockwise ? reversed(c) : c);
            const tessInfo *info = t.Finish();
            ASSERT_TRUE(wellFormed(info)) << axis;
            EXPECT_EQ(info->error, 0) << axis;
            EXPECT_EQ(info->indices.count, 6u) << axis << " clockwise " << clockwise;
            EXPECT_TRUE(allTurn(info, kPlusZ, clockwise ? -1 : +1)) << axis;
            EXPECT_DOUBLE_EQ(std::fabs(meshArea(info)), 1.0) << axis;
        }
    }
    for (int axis : {3, -3}) {
        Tesselator t(kPositive, axis);
        addContour(t, axis > 0 ? reversed(square(0, 0, 1, 1)) : square(0, 0, 1, 1));
        const tessInfo *info = t.Finish();
        ASSERT_TRUE(wellFormed(info));
        EXPECT_EQ(info->indices.count, 0u) << axis;
    }
}

TEST(Tesselator, XAndYAxisNormalsTriangulateInTheirPlanes)
{
    struct Case {
        int axis;
        Contour contour;
        Axis normal;
        bool turnsWithNormal;
    };
    /* Each contour turns counter-clockwise about the positive axis of its plane. */
    const Contour yz = {{0, 0, 0}, {0, 1, 0}, {0, 1, 1}, {0, 0, 1}};
    const Contour xz = {{0, 0, 0}, {0, 0, 1}, {1, 0, 1}, {1, 0, 0}};
    for (const Case &c : {Case{1, yz, {1, 0, 0}, true}, Case{-1, yz, {-1, 0, 0}, false},
                          Case{2, xz, {0, 1, 0}, true}, Case{-2, xz, {0, -1, 0}, false}}) {
        Tesselator t(kOdd, c.axis);
        addContour(t, c.contour);
        const tessInfo *info = t.Finish();
        ASSERT_TRUE(wellFormed(info)) << c.axis;
        EXPECT_EQ(info->error, 0);
        EXPECT_EQ(info->vertices.count, 4u) << c.axis;
        EXPECT_EQ(info->indices.count, 6u) << c.axis;
        EXPECT_TRUE(allTurn(info, c.normal, +1)) << c.axis;
        EXPECT_DOUBLE_EQ(meshArea(info, c.normal), 1.0) << c.axis;
        /* Under the positive rule only the contour turning with the normal is inside. */
        for (bool flip : {false, true}) {
            Tesselator positive(kPositive, c.axis);
            addContour(positive, flip ? reversed(c.contour) : c.contour);
            bool inside = c.turnsWithNormal != flip;
            EXPECT_EQ(positive.Finish()->indices.count, inside ? 6u : 0u)
                << c.axis << " flip " << flip;
        }
    }
}

TEST(Tesselator, EveryWindingRuleOnTwoOverlappingSquares)
{
    /* [0,2]^2 and [1,3]^2: 4 each, overlap 1, union 7, either-but-not-both 6. */
    struct Case {
        float rule;
        double counterClockwise, clockwise;
    };
    for (const Case &c : {Case{kOdd, 6, 6}, Case{kNonzero, 7, 7}, Case{kPositive, 7, 0},
                          Case{kNegative, 0, 7}, Case{kAbsGeqTwo, 1, 1}}) {
        for (bool clockwise : {false, true}) {
            Tesselator t(c.rule, 3);
            Contour a = square(0, 0, 2, 2), b = square(1, 1, 3, 3);
            addContour(t, clockwise ? reversed(a) : a);
            addContour(t, clockwise ? reversed(b) : b);
            const tessInfo *info = t.Finish();
            ASSERT_TRUE(wellFormed(info)) << c.rule;
            EXPECT_EQ(info->error, 0) << c.rule;
            EXPECT_TRUE(noneTurnsAgainst(info, kPlusZ, +1)) << c.rule;
            EXPECT_DOUBLE_EQ(meshArea(info), clockwise ? c.clockwise : c.counterClockwise)
                << "rule " << c.rule << " clockwise " << clockwise;
            /* The two crossings (2,1) and (1,2) are made by combining. */
            if (info->indices.count > 0) {
                EXPECT_EQ(occurrences(info, {2, 1, 0}), 1u) << c.rule;
                EXPECT_EQ(occurrences(info, {1, 2, 0}), 1u) << c.rule;
            }
        }
    }
}

TEST(Tesselator, RejectedWindingRuleKeepsOddAndRecordsNoError)
{
    for (float rule : {5.0f, 100129.0f, 100135.0f, 100130.5f, -1.0f}) {
        Tesselator t(rule, 3);
        addContour(t, square(0, 0, 2, 2));
        addContour(t, square(1, 1, 3, 3));
        const tessInfo *info = t.Finish();
        ASSERT_TRUE(wellFormed(info)) << rule;
        EXPECT_EQ(info->error, 0) << rule;
        EXPECT_DOUBLE_EQ(meshArea(info), 6.0) << rule;
    }
}

TEST(Tesselator, FailedTessellatorCreationLeavesAnInertObject)
{
    GLYVA_REQUIRE_FAILING_ALLOC();
    std::optional<Tesselator> t;
    /* gluNewTess allocates for itself: every allocation of the process is counted. */
    const auto all = glyva_test::AllocScope::kAll;
    long total = glyva_test::countAllocations([&] { t.emplace(kOdd, 3); }, all);
    ASSERT_GE(total, 1);
    t.reset();
    long failing = 0;
    for (long k = 1; k <= total && failing == 0; ++k) {
        glyva_test::failAllocation(
            k, [&] { t.emplace(kOdd, 3); }, false, all);
        if (t->tess == nullptr)
            failing = k;
        else
            t.reset();
    }
    ASSERT_NE(failing, 0) << "no allocation of the constructor made gluNewTess fail";

    addContour(*t, square(0, 0, 1, 1));
    EXPECT_EQ(t->input.count, 0u);
    const tessInfo *info = t->Finish();
    EXPECT_EQ(info, &t->info);
    EXPECT_EQ(info->type, 0);
    EXPECT_EQ(info->error, 0);
    EXPECT_EQ(info->vertices.count, 0u);
    EXPECT_EQ(info->vertices.values, nullptr);
    EXPECT_EQ(info->indices.count, 0u);
    EXPECT_EQ(info->indices.values, nullptr);
    EXPECT_EQ(t->Finish(), info);
    EXPECT_EQ(info->indices.count, 0u);
}

/* Leaks here are what the sanitizer run reports. */
TEST(Tesselator, DestructionWithoutFinishReleasesEverything)
{
    {
        Tesselator t(kOdd, 3);
        addContour(t, square(0, 0, 2, 2));
        addContour(t, square(1, 1, 3, 3));
        EXPECT_EQ(t.input.count, 8u);
    }
    {
        Tesselator t(kNonzero, 0);
        t.BeginContour();
        for (int i = 0; i < 500; ++i) {
            float v[3] = {float(i), float(i * i % 37), 0};
            t.Vertex(v);
        }
    }
    {
        Tesselator untouched(kOdd, 3);
    }
}

TEST(Tesselator, CallsAfterFinishLeaveTheResultUntouched)
{
    Tesselator t(kOdd, 3);
    addContour(t, square(0, 0, 4, 4));
    addContour(t, square(1, 1, 3, 3));
    const tessInfo *info = t.Finish();
    ASSERT_TRUE(wellFormed(info));
    const Snapshot before = snapshot(info);
    ASSERT_EQ(before.indices.size(), 24u);

    addContour(t, square(10, 10, 11, 11));
    t.BeginContour();
    t.EndContour();
    EXPECT_EQ(t.Finish(), info);
    EXPECT_EQ(t.Finish(), info);
    EXPECT_TRUE(snapshot(info) == before);
}

TEST(Tesselator, ContourCallsOutOfOrderAreReportedNotFatal)
{
    {
        Tesselator t(kOdd, 3);
        t.BeginContour();
        for (const Point &p : square(0, 0, 1, 1))
            t.Vertex(p.data());
        const tessInfo *info = t.Finish(); /* the contour is left open */
        ASSERT_TRUE(wellFormed(info));
        EXPECT_EQ(info->error, GLU_TESS_MISSING_END_CONTOUR & 0xFFFF);
        EXPECT_DOUBLE_EQ(meshArea(info), 1.0);
    }
    {
        Tesselator t(kOdd, 3);
        const float v[3] = {5, 5, 0};
        t.Vertex(v); /* outside any contour: GLU opens one, reported on the next call */
        addContour(t, square(0, 0, 1, 1));
        const tessInfo *info = t.Finish();
        ASSERT_TRUE(wellFormed(info));
        EXPECT_TRUE(info->error == (GLU_TESS_MISSING_BEGIN_CONTOUR & 0xFFFF) ||
                    info->error == (GLU_TESS_MISSING_END_CONTOUR & 0xFFFF))
            << info->error;
        EXPECT_DOUBLE_EQ(meshArea(info), 1.0);
    }
}

TEST(Tesselator, LargeStarShapedPolygonAreaMatchesShoelace)
{
    /* Growth of input and info.vertices moves their storage thousands of times while
     * GLU holds references to both. */
#if defined(GLYVA_SANITIZED)
    const int n = 4000; /* exact-fit growth is quadratic, and slow under the sanitizers */
#else
    const int n = 20000;
#endif
    std::mt19937 rng(20240601);
    std::uniform_real_distribution<double> angle(0, 2 * M_PI), radius(0.5, 1.5);
    std::vector<double> angles(n);
    for (double &a : angles)
        a = angle(rng);
    std::sort(angles.begin(), angles.end());
    Contour c;
    for (double a : angles) {
        double r = radius(rng);
        c.push_back({float(r * std::cos(a)), float(r * std::sin(a)), 0});
    }
    const double expected = shoelace(c);
    ASSERT_GT(expected, 1.0);

    Tesselator t(kOdd, 3);
    addContour(t, c);
    EXPECT_EQ(t.input.count, uint32_t(n));
    const tessInfo *info = t.Finish();
    ASSERT_TRUE(wellFormed(info));
    EXPECT_EQ(info->error, 0);
    EXPECT_GE(info->vertices.count, uint32_t(n));
    EXPECT_GE(triangleCount(info), uint32_t(n - 2));
    EXPECT_TRUE(noneTurnsAgainst(info, kPlusZ, +1, 1e-9));
    EXPECT_NEAR(meshArea(info), expected, 1e-6 * expected);
}

TEST(Tesselator, SelfIntersectingRandomPolygonMatchesWindingIntegration)
{
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> coordinate(0, 1);
    for (int round = 0; round < 6; ++round) {
        std::vector<Contour> contours(1 + round % 2);
        for (Contour &c : contours)
            for (int i = 0; i < 24; ++i)
                c.push_back({coordinate(rng), coordinate(rng), 0});
        for (float rule : {kOdd, kNonzero, kPositive, kNegative, kAbsGeqTwo}) {
            Tesselator t(rule, 3);
            for (const Contour &c : contours)
                addContour(t, c);
            const tessInfo *info = t.Finish();
            ASSERT_TRUE(wellFormed(info));
            EXPECT_EQ(info->error, 0);
            EXPECT_TRUE(noneTurnsAgainst(info, kPlusZ, +1, 1e-9));
            /* Crossings are rounded to float when stored: a few ulps per vertex. */
            EXPECT_NEAR(meshArea(info), windingArea(contours, rule), 1e-4)
                << "round " << round << " rule " << rule;
        }
    }
}

TEST(Tesselator, NonFiniteVerticesAreDropped)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    for (float bad : {nan, inf, -inf}) {
        for (int component = 0; component < 3; ++component) {
            Point p = {0.5f, -1.0f, 0.0f};
            p[component] = bad;
            Contour c = square(0, 0, 1, 1);
            c.insert(c.begin() + 2, p);
            c.push_back(p);
            Tesselator t(kOdd, 3);
            addContour(t, c);
            EXPECT_EQ(t.input.count, 4u);
            const tessInfo *info = t.Finish();
            ASSERT_TRUE(wellFormed(info));
            EXPECT_EQ(info->error, 0);
            EXPECT_EQ(info->vertices.count, 4u);
            EXPECT_EQ(info->indices.count, 6u);
            EXPECT_DOUBLE_EQ(meshArea(info), 1.0);
        }
    }
}

TEST(Tesselator, HugeAndDenormalCoordinatesStayWellFormed)
{
    const float big = 3.4e38f;
    const float tiny = std::numeric_limits<float>::denorm_min();
    std::vector<std::vector<Contour>> shapes = {
        {square(-big, -big, big, big)},
        {square(-big, -big, big, big), square(-big / 2, -big / 2, big / 2, big / 2)},
        {{{-big, -big, 0}, {big, big, 0}, {big, -big, 0}, {-big, big, 0}}},
        {{{-big, 0, big}, {big, 0, -big}, {0, big, big}, {0, -big, -big}}},
        {square(0, 0, tiny, tiny)},
        {square(0, 0, 1e-40f, 1e-40f)},
        {{{0, 0, 0}, {1e-40f, 1e-40f, 0}, {1e-40f, 0, 0}, {0, 1e-40f, 0}}},
        {{{tiny, big, 0}, {-big, tiny, 0}, {tiny, -big, 0}, {big, -tiny, 0}}},
    };
    for (int axis : {3, 0, 1}) {
        for (const auto &shape : shapes) {
            Tesselator t(kNonzero, axis);
            for (const Contour &c : shape)
                addContour(t, c);
            const tessInfo *info = t.Finish();
            EXPECT_TRUE(wellFormed(info)) << axis;
        }
    }
    Tesselator t(kOdd, 3);
    addContour(t, square(-big, -big, big, big));
    const tessInfo *info = t.Finish();
    ASSERT_TRUE(wellFormed(info));
    EXPECT_EQ(info->indices.count, 6u);
    EXPECT_TRUE(allTurn(info, kPlusZ, +1));
}

TEST(Tesselator, DegenerateContoursStayWellFormed)
{
    Tesselator t(kOdd, 3);
    t.BeginContour();
    t.EndContour();
    addContour(t, {{1, 1, 0}});
    addContour(t, {{1, 1, 0}, {2, 2, 0}});
    addContour(t, {{0, 0, 0}, {1, 1, 0}, {2, 2, 0}});
    addContour(t, {{5, 5, 0}, {5, 5, 0}, {5, 5, 0}});
    t.Vertex(nullptr);
    const tessInfo *info = t.Finish();
    ASSERT_TRUE(wellFormed(info));
    EXPECT_EQ(info->error, 0);
    EXPECT_EQ(info->indices.count, 0u);
}

/* Every allocation of a small session with a crossing is made to fail in turn: the
 * library's alone, then every one of the process, GLU's included. */
TEST(Tesselator, AllocationFailureGivesTheResultOrOutOfMemory)
{
    GLYVA_REQUIRE_FAILING_ALLOC();
    /* Everything that allocates on the test's side happens outside the armed window:
     * the object outlives it, and the contours are built before. */
    std::optional<Tesselator> t;
    const Contour bowTie = {{0, 0, 0}, {2, 2, 0}, {2, 0, 0}, {0, 2, 0}};
    const Contour across = square(1, -1, 3, 1);
    auto session = [&] {
        t.emplace(kNonzero, 3);
        bool inert = t->tess == nullptr;
        addContour(*t, bowTie);
        addContour(*t, across);
        t->Finish();
        return inert;
    };
    for (auto scope : {glyva_test::AllocScope::kLibrary, glyva_test::AllocScope::kAll}) {
        const bool all = scope == glyva_test::AllocScope::kAll;
        bool inert = false;
        long total = glyva_test::countAllocations([&] { inert = session(); }, scope);
        ASSERT_FALSE(inert);
        ASSERT_TRUE(wellFormed(&t->info));
        const Snapshot expected = snapshot(&t->info);
        t.reset();
        ASSERT_EQ(expected.error, 0);
        ASSERT_GT(expected.indices.size(), 0u);
        ASSERT_GT(total, 10);

        long outOfMemory = 0, inertRuns = 0;
        for (long k = 1; k <= total; ++k) {
            glyva_test::failAllocation(
                k, [&] { inert = session(); }, false, scope);
            ASSERT_TRUE(wellFormed(&t->info)) << "allocation " << k << " failing";
            const Snapshot got = snapshot(&t->info);
            t.reset();
            if (inert) {
                EXPECT_TRUE(got.vertices.empty() && got.indices.empty() && got.error == 0) << k;
                ++inertRuns;
            } else if (got.error == kOutOfMemory) {
                EXPECT_TRUE(got.vertices.empty() && got.indices.empty()) << k;
                ++outOfMemory;
            } else {
                EXPECT_TRUE(got == expected) << "allocation " << k << " error " << got.error;
            }
        }
        EXPECT_GT(outOfMemory, 0);
        /* Only GLU's allocation of the tessellator itself leaves the object inert. */
        EXPECT_EQ(inertRuns, all ? 1 : 0);
        RecordProperty(all ? "allocation_points_all" : "allocation_points_library",
                       static_cast<int>(total));
    }
}

/* Regression: GLU leaves a half-built mesh (an edge without its vertex) when memory
 * runs out inside gluTessVertex, and gluTessEndPolygon crashed sweeping it. The
 * second contour's first vertex moves GLU's cached first contour into its mesh, so
 * every allocation of the second contour is made to fail in turn. */
TEST(Tesselator, OutOfMemoryWhileGluBuildsItsMeshIsNotSwept)
{
    GLYVA_REQUIRE_FAILING_ALLOC();
    const auto all = glyva_test::AllocScope::kAll;
    const Contour first = {{0, 0, 0}, {2, 2, 0}, {2, 0, 0}, {0, 2, 0}};
    const Contour second = square(1, -1, 3, 1);
    long total = 0;
    {
        Tesselator t(kNonzero, 3);
        addContour(t, first);
        total = glyva_test::countAllocations([&] { addContour(t, second); }, all);
    }
    ASSERT_GT(total, 0);
    long failed = 0;
    for (long k = 1; k <= total; ++k) {
        Tesselator t(kNonzero, 3);
        addContour(t, first);
        glyva_test::failAllocation(
            k, [&] { addContour(t, second); }, false, all);
        const tessInfo *info = t.Finish();
        ASSERT_TRUE(wellFormed(info)) << k;
        if (info->error == kOutOfMemory) {
            EXPECT_EQ(info->vertices.count, 0u) << k;
            EXPECT_EQ(info->indices.count, 0u) << k;
            ++failed;
        }
    }
    EXPECT_GT(failed, 0);
}
