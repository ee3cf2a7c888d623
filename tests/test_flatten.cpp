#include <cmath>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <ft2build.h>
#include FT_FREETYPE_H

#include "Skrib/GlyvaInterface.h"
#include "glyph/glyphTesselator.h"
#include "support/mesh.hh"
#include "support/raster.hh"
#include "support/support.hh"
#include "util/plyxUtil.h"

/* Contour flattening: fillContour on hand-made point and tag arrays, the fixture fonts'
 * contours through GetGlyphContour against hand-computed sequences, and every contour
 * of three real fonts against a reference flattening written here from the Bezier
 * formulas. */

using namespace glyva_test;

namespace
{

constexpr char kOn = 1, kConic = 0, kCubic = 2;
/* Float curve arithmetic against double Bezier formulas, coordinates below 4 ems. */
constexpr double kCurveTolerance = 2e-6;

struct P {
    double x, y;
};

/* A 26.6 coordinate as the library scales it: to float, then divided by 640. */
float ems(FT_Pos v)
{
    return static_cast<float>(v) / 640.0f;
}

P scaled(FT_Vector v)
{
    return {ems(v.x), ems(v.y)};
}

P mid(P a, P b)
{
    return {(a.x + b.x) / 2, (a.y + b.y) / 2};
}

P quadratic(P p0, P p1, P p2, double t)
{
    double s = 1 - t;
    return {s * s * p0.x + 2 * s * t * p1.x + t * t * p2.x,
            s * s * p0.y + 2 * s * t * p1.y + t * t * p2.y};
}

P cubicAt(P p0, P p1, P p2, P p3, double t)
{
    double s = 1 - t;
    return {s * s * s * p0.x + 3 * s * s * t * p1.x + 3 * s * t * t * p2.x + t * t * t * p3.x,
            s * s * s * p0.y + 3 * s * s * t * p1.y + 3 * s * t * t * p2.y + t * t * t * p3.y};
}

/* The sampling rule: t steps by h = 1 / (1 + 50 q), accumulated in single precision;
 * a quadratic gets the t strictly below 1, a cubic k h for k = 0 .. trunc(1 + 50 q). */
float step(float quality)
{
    return 1.0f / (1.0f + 50.0f * quality);
}

std::vector<double> quadraticParameters(float quality)
{
    std::vector<double> ts;
    float h = step(quality);
    for (float t = h; t < 1.0f; t += h)
        ts.push_back(t);
    return ts;
}

std::vector<double> cubicParameters(float quality)
{
    std::vector<double> ts;
    float h = step(quality);
    int n = static_cast<int>(1.0f + 50.0f * quality);
    for (int k = 0; k <= n; ++k)
        ts.push_back(static_cast<float>(k) * h);
    return ts;
}

/* A contour in exactly sized heap arrays, so that a read past either end is caught by
 * the address sanitizer. */
struct HandContour {
    std::vector<FT_Vector> points;
    std::vector<char> tags;
};

HandContour contour(std::initializer_list<std::pair<FT_Vector, char>> items)
{
    HandContour c;
    for (const auto &item : items) {
        c.points.push_back(item.first);
        c.tags.push_back(item.second);
    }
    c.points.shrink_to_fit();
    c.tags.shrink_to_fit();
    return c;
}

class Flatten : public testing::Test
{
  protected:
    void SetUp() override
    {
        font_ = OpenFont(fixture("fixtures.ttf").c_str());
        ASSERT_NE(font_, nullptr);
    }
    void TearDown() override
    {
        clearMFVec3f(&out_);
        CloseFont(font_);
    }

    /* fillContour at the quality (percent) into the list, which is not cleared. */
    int fill(const HandContour &c, uint32_t quality = 50)
    {
        SetQuality(font_, quality);
        return fillContour(font_, c.points.empty() ? nullptr : c.points.data(),
                           c.tags.empty() ? nullptr : c.tags.data(),
                           static_cast<uint16_t>(c.points.size()), &out_);
    }
    std::vector<P> points() const
    {
        std::vector<P> list;
        for (uint32_t k = 0; k < out_.count; ++k)
            list.push_back({out_.values[k][0], out_.values[k][1]});
        return list;
    }
    /* Every stored point equals the expected one exactly. */
    void expectExactly(const std::vector<P> &expected) const
    {
        std::vector<P> got = points();
        ASSERT_EQ(got.size(), expected.size());
        for (size_t k = 0; k < got.size(); ++k) {
            EXPECT_EQ(got[k].x, expected[k].x) << "point " << k;
            EXPECT_EQ(got[k].y, expected[k].y) << "point " << k;
        }
    }
    void expectNear(const std::vector<P> &expected) const
    {
        std::vector<P> got = points();
        ASSERT_EQ(got.size(), expected.size());
        for (size_t k = 0; k < got.size(); ++k) {
            EXPECT_NEAR(got[k].x, expected[k].x, kCurveTolerance) << "point " << k;
            EXPECT_NEAR(got[k].y, expected[k].y, kCurveTolerance) << "point " << k;
        }
    }

    tavixInternalFontData *font_ = nullptr;
    SimpleVec3Array out_ = {0, nullptr};
};

const FT_Vector A{0, 0}, B{320, 640}, C{640, 640}, D{640, 0};

} // namespace

TEST_F(Flatten, OnCurvePointsPassThroughScaledWithZeroZ)
{
    EXPECT_EQ(fill(contour({{{640, -320}, kOn}, {{1280, 80}, kOn}, {{-40, 2560}, kOn}})), 1);
    expectExactly({{1.0, -0.5}, {2.0, 0.125}, {-0.0625, 4.0}});
    for (uint32_t k = 0; k < out_.count; ++k) {
        EXPECT_EQ(out_.values[k][2], 0.0f);
        EXPECT_FALSE(std::signbit(out_.values[k][2]));
    }
}

TEST_F(Flatten, RepeatsOfThePreviousPointAreSkippedAndNoClosingPointIsAdded)
{
    EXPECT_EQ(fill(contour({{A, kOn}, {B, kOn}, {B, kOn}, {C, kOn}, {C, kOn}, {D, kOn}})), 1);
    expectExactly({scaled(A), scaled(B), scaled(C), scaled(D)});
    clearMFVec3f(&out_);
    /* A last point equal to the first is not a repeat of the one before it. */
    EXPECT_EQ(fill(contour({{A, kOn}, {B, kOn}, {D, kOn}, {A, kOn}})), 1);
    expectExactly({scaled(A), scaled(B), scaled(D), scaled(A)});
}

TEST_F(Flatten, OnePointContourYieldsItsPointWhateverItsTag)
{
    for (char tag : {kOn, kConic, kCubic, char(5), char(0x80)}) {
        clearMFVec3f(&out_);
        EXPECT_EQ(fill(contour({{B, tag}})), 1) << int(tag);
        expectExactly({scaled(B)});
    }
}

TEST_F(Flatten, EmptyContourStoresNothing)
{
    EXPECT_EQ(fill(contour({})), 0);
    EXPECT_EQ(out_.count, 0u);
    EXPECT_EQ(out_.values, nullptr);
    /* The result reflects the list, which is never cleared. */
    fill(contour({{A, kOn}}));
    EXPECT_EQ(fill(contour({})), 1);
    expectExactly({scaled(A)});
}

TEST_F(Flatten, TagsOfOtherValuesAreIgnored)
{
    /* Whole-byte comparison: 5 is "on" plus a flag bit, 3 and 0x81 are not 1 either. */
    EXPECT_EQ(fill(contour({{A, kOn}, {B, char(5)}, {C, kOn}, {D, char(3)}, {B, char(0x81)}})), 1);
    expectExactly({scaled(A), scaled(C)});
    clearMFVec3f(&out_);
    EXPECT_EQ(fill(contour({{A, char(4)}, {B, char(9)}, {C, char(0xFF)}})), 0);
    EXPECT_EQ(out_.count, 0u);
}

TEST_F(Flatten, OneQuadraticBecomesItsChordAtQuality0)
{
    /* The curve's end D is stored by the curve and then skipped as an on-curve repeat. */
    fill(contour({{A, kOn}, {B, kConic}, {D, kOn}}), 0);
    expectExactly({scaled(A), scaled(D)});
}

TEST_F(Flatten, OneQuadraticIsSampledAt25And50InteriorPoints)
{
    for (uint32_t quality : {50u, 100u}) {
        clearMFVec3f(&out_);
        fill(contour({{A, kOn}, {B, kConic}, {D, kOn}}), quality);
        std::vector<double> ts = quadraticParameters(quality / 100.0f);
        EXPECT_EQ(ts.size(), quality == 50 ? 25u : 50u);
        std::vector<P> expected = {scaled(A)};
        for (double t : ts)
            expected.push_back(quadratic(scaled(A), scaled(B), scaled(D), t));
        expected.push_back(scaled(D));
        expectNear(expected);
        EXPECT_EQ(points().front().x, scaled(A).x);
        EXPECT_EQ(points().back().x, scaled(D).x);
    }
}

TEST_F(Flatten, FourControlPointsJoinAtTheirMidpoints)
{
    const FT_Vector p0{0, 320}, p1{320, 640}, p2{640, 320}, p3{320, 0};
    HandContour c = contour({{p0, kConic}, {p1, kConic}, {p2, kConic}, {p3, kConic}});
    fill(c, 0);
    /* Start between the last and first control points; the start comes back at the end. */
    P m30 = mid(scaled(p3), scaled(p0)), m01 = mid(scaled(p0), scaled(p1)),
      m12 = mid(scaled(p1), scaled(p2)), m23 = mid(scaled(p2), scaled(p3));
    expectExactly({m30, m01, m12, m23, m30});

    clearMFVec3f(&out_);
    fill(c, 50);
    std::vector<P> expected = {m30};
    const P arcs[4][3] = {{m30, scaled(p0), m01},
                          {m01, scaled(p1), m12},
                          {m12, scaled(p2), m23},
                          {m23, scaled(p3), m30}};
    for (const auto &arc : arcs) {
        for (double t : quadraticParameters(0.5f))
            expected.push_back(quadratic(arc[0], arc[1], arc[2], t));
        expected.push_back(arc[2]);
    }
    EXPECT_EQ(expected.size(), 1u + 4u * 26u);
    expectNear(expected);
}

TEST_F(Flatten, ContourBeginningBetweenTwoControlPointsStartsAtTheirMidpoint)
{
    const FT_Vector c0{0, 320}, on{320, 640}, c2{640, 320};
    fill(contour({{c0, kConic}, {on, kOn}, {c2, kConic}}), 0);
    P start = mid(scaled(c2), scaled(c0));
    expectExactly({start, scaled(on), start});
}

TEST_F(Flatten, ContourStartingOffCurveStartsAndEndsAtItsLastPoint)
{
    const FT_Vector off{320, -128}, l0{0, 0}, l1{0, 640}, l2{640, 640}, last{640, 0};
    fill(contour({{off, kConic}, {l0, kOn}, {l1, kOn}, {l2, kOn}, {last, kOn}}), 0);
    expectExactly({scaled(last), scaled(l0), scaled(l1), scaled(l2), scaled(last)});
}

TEST_F(Flatten, ControlPointInLastPositionCurvesBackToPointZero)
{
    fill(contour({{A, kOn}, {C, kOn}, {B, kConic}}), 0);
    expectExactly({scaled(A), scaled(C), scaled(A)});
}

TEST_F(Flatten, OneCubicAtQuality0RepeatsItsStart)
{
    const FT_Vector c1{0, 640}, c2{640, 640};
    fill(contour({{A, kOn}, {c1, kCubic}, {c2, kCubic}, {D, kOn}}), 0);
    expectExactly({scaled(A), scaled(A), scaled(D)});
}

TEST_F(Flatten, OneCubicIsSampledAt27And52Points)
{
    const FT_Vector c1{0, 640}, c2{640, 640};
    for (uint32_t quality : {50u, 100u}) {
        clearMFVec3f(&out_);
        fill(contour({{A, kOn}, {c1, kCubic}, {c2, kCubic}, {D, kOn}}), quality);
        std::vector<double> ts = cubicParameters(quality / 100.0f);
        EXPECT_EQ(ts.size(), quality == 50 ? 27u : 52u);
        std::vector<P> expected = {scaled(A)};
        for (double t : ts)
            expected.push_back(cubicAt(scaled(A), scaled(c1), scaled(c2), scaled(D), t));
        std::vector<P> got = points();
        /* D follows as an on-curve point unless the last sample is exactly D. */
        ASSERT_GE(got.size(), expected.size());
        bool endsOnD =
            got[expected.size() - 1].x == scaled(D).x && got[expected.size() - 1].y == scaled(D).y;
        if (!endsOnD)
            expected.push_back(scaled(D));
        expectNear(expected);
        EXPECT_EQ(got[1].x, scaled(A).x);
        EXPECT_EQ(got[1].y, scaled(A).y);
    }
}

TEST_F(Flatten, CubicPairInTheLastPositionsEndsAtPointZero)
{
    const FT_Vector c1{640, 320}, c2{320, 0};
    fill(contour({{A, kOn}, {C, kOn}, {c1, kCubic}, {c2, kCubic}}), 0);
    /* From C (the point before the pair) to point 0; its k = 0 sample repeats C. */
    expectExactly({scaled(A), scaled(C), scaled(C), scaled(A)});
}

/* Its partner and end would lie past the contour; whatever is stored must come from
 * the contour's own points (a Bezier curve stays in its control points' hull). */
TEST_F(Flatten, CubicControlInTheLastPositionReadsInsideTheContour)
{
    for (uint32_t quality : {0u, 50u, 100u}) {
        for (const HandContour &c :
             {contour({{A, kOn}, {C, kOn}, {B, kCubic}}), contour({{A, kOn}, {B, kCubic}}),
              contour({{A, kCubic}, {C, kOn}, {B, kCubic}})}) {
            clearMFVec3f(&out_);
            EXPECT_EQ(fill(c, quality), 1);
            for (const P &p : points()) {
                EXPECT_GE(p.x, 0.0);
                EXPECT_LE(p.x, 1.0);
                EXPECT_GE(p.y, 0.0);
                EXPECT_LE(p.y, 1.0);
            }
        }
    }
}

TEST_F(Flatten, PointsAreAppendedToWhatTheListHolds)
{
    fill(contour({{A, kOn}, {B, kOn}}));
    fill(contour({{C, kOn}, {D, kOn}}));
    expectExactly({scaled(A), scaled(B), scaled(C), scaled(D)});
    /* The repeat test looks at the list's last point, whoever stored it. */
    clearMFVec3f(&out_);
    fill(contour({{A, kOn}, {B, kOn}}));
    fill(contour({{B, kOn}, {D, kOn}}));
    expectExactly({scaled(A), scaled(B), scaled(D)});
}

TEST_F(Flatten, NullArgumentsStoreNothing)
{
    HandContour c = contour({{A, kOn}});
    EXPECT_EQ(fillContour(nullptr, c.points.data(), c.tags.data(), 1, &out_), 0);
    EXPECT_EQ(fillContour(font_, c.points.data(), c.tags.data(), 1, nullptr), 0);
    EXPECT_EQ(fillContour(font_, nullptr, nullptr, 0, &out_), 0);
    EXPECT_EQ(out_.count, 0u);
}

/* ---- the fixture fonts through GetGlyphContour ---- */

namespace
{

class FixtureContours : public testing::Test
{
  protected:
    void open(const char *name)
    {
        font_ = OpenFont(fixture(name).c_str());
        ASSERT_NE(font_, nullptr);
    }
    void TearDown() override { CloseFont(font_); }

    std::vector<P> contourOf(uint32_t code, int index, uint32_t quality)
    {
        SetQuality(font_, quality);
        glyphInfoRecord info;
        EXPECT_EQ(GetGlyphInfo(&info, font_, code), 1);
        float *points = nullptr;
        uint8_t evenOdd = 9, postScript = 9;
        int32_t n = GetGlyphContour(&points, font_, code, index, &evenOdd, &postScript);
        std::vector<P> list;
        for (int32_t k = 0; k < n; ++k)
            list.push_back({points[3 * k], points[3 * k + 1]});
        return list;
    }

    tavixInternalFontData *font_ = nullptr;
};

/* 26.6 units of the fixtures as ems. */
P u(double x, double y)
{
    return {x / 640.0, y / 640.0};
}

void expectPoints(const std::vector<P> &got, const std::vector<P> &expected)
{
    ASSERT_EQ(got.size(), expected.size());
    for (size_t k = 0; k < got.size(); ++k) {
        EXPECT_NEAR(got[k].x, expected[k].x, kCurveTolerance) << "point " << k;
        EXPECT_NEAR(got[k].y, expected[k].y, kCurveTolerance) << "point " << k;
    }
}

} // namespace

TEST_F(FixtureContours, StraightContoursDoNotChangeWithQuality)
{
    open("fixtures.ttf");
    for (uint32_t quality : {0u, 50u, 100u}) {
        expectPoints(contourOf('A', 0, quality), {u(0, 0), u(0, 320), u(320, 320), u(320, 0)});
        expectPoints(contourOf('B', 1, quality),
                     {u(160, 160), u(480, 160), u(480, 480), u(160, 480)});
    }
}

TEST_F(FixtureContours, AllOffCurveContourAtQuality0IsItsMidpoints)
{
    open("fixtures.ttf");
    expectPoints(contourOf('C', 0, 0),
                 {u(160, 160), u(160, 480), u(480, 480), u(480, 160), u(160, 160)});
    EXPECT_EQ(contourOf('C', 0, 50).size(), 1u + 4u * 26u);
    EXPECT_EQ(contourOf('C', 0, 100).size(), 1u + 4u * 51u);
}

TEST_F(FixtureContours, OffCurveStartIsHandedOverWithItsClosingRepeat)
{
    open("fixtures.ttf");
    expectPoints(contourOf('D', 0, 0), {u(640, 0), u(0, 0), u(0, 640), u(640, 640), u(640, 0)});
    std::vector<P> fine = contourOf('D', 0, 50);
    ASSERT_EQ(fine.size(), 1u + 25u + 1u + 3u);
    /* The bulge's lowest point, t = 1/2 of (640,0) (320,-128) (0,0), lies at y = -64; the
     * sample at t = 13/26 is on it. */
    EXPECT_NEAR(fine[13].x, 320.0 / 640.0, kCurveTolerance);
    EXPECT_NEAR(fine[13].y, -64.0 / 640.0, kCurveTolerance);
}

TEST_F(FixtureContours, OneQuadraticCountsFollowTheQuality)
{
    open("fixtures.ttf");
    expectPoints(contourOf('G', 0, 0), {u(0, 0), u(640, 0)});
    EXPECT_EQ(contourOf('G', 0, 50).size(), 27u);
    EXPECT_EQ(contourOf('G', 0, 100).size(), 52u);
}

TEST_F(FixtureContours, DegenerateContoursKeepTheirPoints)
{
    open("fixtures.ttf");
    expectPoints(contourOf('H', 1, 50), {u(320, 800)});
    expectPoints(contourOf('H', 2, 50), {u(480, 800)});
}

TEST_F(FixtureContours, CffCubicAtQuality0AndQuality100)
{
    open("cubic.otf");
    /* oneCubic: (0,0) over (0,320), (320,320) to (320,0) in 26.6. */
    expectPoints(contourOf('S', 0, 0), {u(0, 0), u(0, 0), u(320, 0)});
    std::vector<P> fine = contourOf('S', 0, 100);
    ASSERT_GE(fine.size(), 1u + 52u);
    ASSERT_LE(fine.size(), 1u + 52u + 1u);
    std::vector<double> ts = cubicParameters(1.0f);
    for (size_t k = 0; k < ts.size(); ++k) {
        P expected = cubicAt(u(0, 0), u(0, 320), u(320, 320), u(320, 0), ts[k]);
        EXPECT_NEAR(fine[k + 1].x, expected.x, kCurveTolerance) << k;
        EXPECT_NEAR(fine[k + 1].y, expected.y, kCurveTolerance) << k;
    }
    EXPECT_NEAR(fine.back().x, 0.5, 1e-7);
    EXPECT_EQ(fine.back().y, 0.0);
}

/* ---- every contour of the real fonts against a reference flattening ---- */

namespace
{

/* The outline's contour k as the standard reading of TrueType and CFF tags makes it:
 * the start is the first point when it is on the curve, else the last point when that
 * is, else the midpoint of the two; consecutive quadratic controls imply an on-curve
 * point at their midpoint. Each segment is sampled by the formulas above and ends on
 * its end point. Written without the library's walk: one pass building segments, one
 * sampling them. */
std::vector<P> referenceFlattening(const FT_Outline &outline, int k, float quality)
{
    int first = k == 0 ? 0 : outline.contours[k - 1] + 1, last = outline.contours[k];
    int n = last - first + 1;
    auto at = [&](int i) { return scaled(outline.points[first + (i % n + n) % n]); };
    auto tag = [&](int i) { return static_cast<char>(outline.tags[first + (i % n + n) % n] & 3); };
    std::vector<P> out;
    if (n == 1)
        return {at(0)};
    P start;
    int i, end;
    if (tag(0) == kOn) {
        start = at(0), i = 1, end = n;
    } else if (tag(n - 1) == kOn) {
        start = at(n - 1), i = 0, end = n - 1;
    } else {
        start = mid(at(n - 1), at(0)), i = 0, end = n;
    }
    out.push_back(start);
    P current = start;
    while (i < end) {
        if (tag(i) == kOn) {
            out.push_back(at(i));
            current = at(i);
            i += 1;
        } else if (tag(i) == kConic) {
            P to = tag(i + 1) == kConic ? mid(at(i), at(i + 1)) : at(i + 1);
            for (double t : quadraticParameters(quality))
                out.push_back(quadratic(current, at(i), to, t));
            out.push_back(to);
            current = to;
            i += tag(i + 1) == kConic ? 1 : 2;
        } else {
            P to = at(i + 2);
            for (double t : cubicParameters(quality))
                out.push_back(cubicAt(current, at(i), at(i + 1), to, t));
            out.push_back(to);
            current = to;
            i += 3;
        }
    }
    return out;
}

/* Consecutive points that coincide (within the curve tolerance) count once, and so
 * does a last point that closes onto the first: the polylines are compared as closed
 * paths, whose repeats the fixture tests above pin down exactly. */
std::vector<P> withoutRepeats(const std::vector<P> &list)
{
    auto same = [](const P &a, const P &b) {
        return std::fabs(a.x - b.x) <= kCurveTolerance && std::fabs(a.y - b.y) <= kCurveTolerance;
    };
    std::vector<P> out;
    for (const P &p : list)
        if (out.empty() || !same(out.back(), p))
            out.push_back(p);
    if (out.size() > 1 && same(out.front(), out.back()))
        out.pop_back();
    return out;
}

struct RealFont {
    const char *name;
    const char *path;
};

/* Test names show the font, not the bytes of the parameter. */
void PrintTo(const RealFont &font, std::ostream *os)
{
    *os << font.name;
}

class EveryContour : public testing::TestWithParam<RealFont>
{
};

/* Mismatching contours of the font at the quality, with the first few described. */
int compareFont(const char *path, uint32_t quality, size_t stride, std::string *first)
{
    tavixInternalFontData *font = OpenFont(path);
    SetQuality(font, quality);
    FreeTypeFace face(path, 640);
    int mismatches = 0, contours = 0;
    std::vector<MappedGlyph> glyphs = mappedGlyphs(face.face());
    for (size_t g = 0; g < glyphs.size(); g += stride) {
        FT_Outline *outline = face.load(glyphs[g].glyph);
        if (!outline || outline->n_contours <= 0)
            continue;
        std::vector<std::vector<Point2>> lists;
        if (!readContours(font, glyphs[g].code, outline->n_contours, &lists)) {
            ++mismatches;
            continue;
        }
        for (int k = 0; k < outline->n_contours; ++k, ++contours) {
            std::vector<P> got;
            for (const Point2 &p : lists[k])
                got.push_back({p.x, p.y});
            std::vector<P> a = withoutRepeats(got);
            std::vector<P> b = withoutRepeats(referenceFlattening(*outline, k, quality / 100.0f));
            bool same = a.size() == b.size();
            for (size_t p = 0; same && p < a.size(); ++p)
                same = std::fabs(a[p].x - b[p].x) <= kCurveTolerance &&
                       std::fabs(a[p].y - b[p].y) <= kCurveTolerance;
            if (!same && mismatches++ < 5)
                *first += " " + codeName(glyphs[g].code) + "#" + std::to_string(k) + " (" +
                          std::to_string(a.size()) + " vs " + std::to_string(b.size()) + ")";
        }
    }
    CloseFont(font);
    EXPECT_GT(contours, 20);
    return mismatches;
}

} // namespace

TEST_P(EveryContour, EqualsTheReferenceFlattening)
{
    for (uint32_t quality : {50u, 0u, 100u}) {
        size_t stride = (quality == 50 ? 1 : 10) * (quickRun() ? 10 : 1);
        std::string first;
        EXPECT_EQ(compareFont(GetParam().path, quality, stride, &first), 0)
            << GetParam().name << " quality " << quality << ":" << first;
    }
}

/* Quality subdivides curves only: a contour keeps its point count from quality 0 to 100
 * exactly when FreeType reports no control point in it. */
TEST_P(EveryContour, CountsChangeWithQualityOnlyWhereThereAreCurves)
{
    tavixInternalFontData *font = OpenFont(GetParam().path);
    FreeTypeFace face(GetParam().path, 640);
    std::vector<MappedGlyph> glyphs = mappedGlyphs(face.face());
    int straight = 0, curved = 0;
    for (size_t g = 0; g < glyphs.size(); g += quickRun() ? 100 : 10) {
        FT_Outline *outline = face.load(glyphs[g].glyph);
        if (!outline || outline->n_contours <= 0)
            continue;
        std::vector<std::vector<Point2>> coarse, fine;
        SetQuality(font, 0);
        ASSERT_TRUE(readContours(font, glyphs[g].code, outline->n_contours, &coarse));
        SetQuality(font, 100);
        ASSERT_TRUE(readContours(font, glyphs[g].code, outline->n_contours, &fine));
        for (int k = 0; k < outline->n_contours; ++k) {
            int first = k == 0 ? 0 : outline->contours[k - 1] + 1;
            bool curves = false;
            for (int p = first; p <= outline->contours[k]; ++p)
                curves = curves || (outline->tags[p] & 1) == 0;
            EXPECT_EQ(fine[k].size() > coarse[k].size(), curves)
                << codeName(glyphs[g].code) << " contour " << k;
            EXPECT_GE(fine[k].size(), coarse[k].size());
            (curves ? curved : straight) += 1;
        }
    }
    EXPECT_GT(curved, 0);
    EXPECT_GT(straight, 0);
    CloseFont(font);
}

INSTANTIATE_TEST_SUITE_P(RealFonts, EveryContour,
                         testing::Values(RealFont{"DejaVuSans", kDejaVuSans},
                                         RealFont{"FreeSans", kFreeSans},
                                         RealFont{"LiberationSans", kLiberationSans}),
                         [](const testing::TestParamInfo<RealFont> &info) {
                             return std::string(info.param.name);
                         });
