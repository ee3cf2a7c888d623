#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "glyph/glyphTesselator.h"
#include "support/glyph.hh"
#include "support/raster.hh"
#include "support/support.hh"
#include "util/plyxUtil.h"

/* Contour flattening against a reference written here from the Bezier formulas: hand
 * contours through fillContour, whose exact points are known, and every contour of
 * three real fonts through GetGlyphContour. */

using namespace glyva_test;

namespace
{

constexpr char kOn = 1, kConic = 0, kCubic = 2;
/* Float curve arithmetic against double Bezier formulas, coordinates below 4 ems. */
constexpr double kCurveTolerance = 2e-6;

Point2 scaled(FT_Vector v)
{
    return {static_cast<float>(v.x) / 640.0f, static_cast<float>(v.y) / 640.0f};
}

Point2 mid(Point2 a, Point2 b)
{
    return {(a.x + b.x) / 2, (a.y + b.y) / 2};
}

Point2 quadratic(Point2 p0, Point2 p1, Point2 p2, double t)
{
    double s = 1 - t;
    return {s * s * p0.x + 2 * s * t * p1.x + t * t * p2.x,
            s * s * p0.y + 2 * s * t * p1.y + t * t * p2.y};
}

Point2 cubic(Point2 p0, Point2 p1, Point2 p2, Point2 p3, double t)
{
    double s = 1 - t, a = s * s * s, b = 3 * s * s * t, c = 3 * s * t * t, d = t * t * t;
    return {a * p0.x + b * p1.x + c * p2.x + d * p3.x, a * p0.y + b * p1.y + c * p2.y + d * p3.y};
}

/* The sampling rule: t steps by h = 1 / (1 + 50 q), accumulated in single precision; a
 * quadratic takes the t strictly below 1, a cubic k h for k = 0 .. trunc(1 + 50 q). */
std::vector<double> parameters(float quality, bool cubicCurve)
{
    std::vector<double> ts;
    float h = 1.0f / (1.0f + 50.0f * quality);
    if (cubicCurve) {
        for (int k = 0; k <= static_cast<int>(1.0f + 50.0f * quality); ++k)
            ts.push_back(static_cast<float>(k) * h);
        return ts;
    }
    for (float t = h; t < 1.0f; t += h)
        ts.push_back(t);
    return ts;
}

/* Contour k as the standard reading of TrueType and CFF tags makes it: the start is the
 * first point when it is on the curve, else the last when that is, else the midpoint of
 * the two; consecutive quadratic controls imply an on-curve point at their midpoint.
 * Each segment is sampled by the rule above and ends on its end point. */
std::vector<Point2> reference(const FT_Vector *points, const char *tags, int n, float quality)
{
    auto at = [&](int i) { return scaled(points[(i % n + n) % n]); };
    auto tag = [&](int i) { return static_cast<char>(tags[(i % n + n) % n] & 3); };
    if (n == 1)
        return {at(0)};
    int i = tag(0) == kOn ? 1 : 0, end = tag(0) != kOn && tag(n - 1) == kOn ? n - 1 : n;
    Point2 current = tag(0) == kOn ? at(0) : tag(n - 1) == kOn ? at(n - 1) : mid(at(n - 1), at(0));
    std::vector<Point2> out = {current};
    while (i < end) {
        Point2 to = tag(i) == kOn          ? at(i)
                    : tag(i) == kCubic     ? at(i + 2)
                    : tag(i + 1) == kConic ? mid(at(i), at(i + 1))
                                           : at(i + 1);
        for (double t :
             tag(i) == kOn ? std::vector<double>() : parameters(quality, tag(i) == kCubic))
            out.push_back(tag(i) == kCubic ? cubic(current, at(i), at(i + 1), to, t)
                                           : quadratic(current, at(i), to, t));
        out.push_back(to);
        i += tag(i) == kOn ? 1 : tag(i) == kCubic ? 3 : tag(i + 1) == kConic ? 1 : 2;
        current = to;
    }
    return out;
}

bool near(Point2 a, Point2 b)
{
    return std::fabs(a.x - b.x) <= kCurveTolerance && std::fabs(a.y - b.y) <= kCurveTolerance;
}

/* Consecutive points that coincide count once, and so does a last point that closes
 * onto the first: the polylines are compared as closed paths. */
std::vector<Point2> withoutRepeats(const std::vector<Point2> &list)
{
    std::vector<Point2> out;
    for (const Point2 &p : list)
        if (out.empty() || !near(out.back(), p))
            out.push_back(p);
    if (out.size() > 1 && near(out.front(), out.back()))
        out.pop_back();
    return out;
}

bool sameClosedPath(const std::vector<Point2> &got, const std::vector<Point2> &expected)
{
    std::vector<Point2> a = withoutRepeats(got), b = withoutRepeats(expected);
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), near);
}

struct HandContour {
    std::vector<FT_Vector> points;
    std::vector<char> tags;
};

/* Exact sizes, so that the sanitizer sees reads past them. */
HandContour parse(const std::string &text)
{
    HandContour c;
    const auto lists = pointLists(text == "-" ? "" : text.c_str());
    for (const TextPoint &p : lists[0]) {
        c.points.push_back({static_cast<FT_Pos>(p.c[0]), static_cast<FT_Pos>(p.c[1])});
        c.tags.push_back(p.tag == "c"    ? kConic
                         : p.tag == "k"  ? kCubic
                         : p.tag.empty() ? kOn
                                         : static_cast<char>(std::atoi(p.tag.c_str() + 1)));
    }
    c.points.shrink_to_fit();
    c.tags.shrink_to_fit();
    return c;
}

std::vector<Point2> flattened(tavixInternalFontData *font, const HandContour &c, int *result)
{
    SimpleVec3Array out = {0, nullptr};
    *result = fillContour(font, c.points.empty() ? nullptr : c.points.data(),
                          c.tags.empty() ? nullptr : c.tags.data(),
                          static_cast<uint16_t>(c.points.size()), &out);
    std::vector<Point2> list;
    for (uint32_t k = 0; k < out.count; ++k) {
        EXPECT_TRUE(out.values[k][2] == 0.0f && !std::signbit(out.values[k][2]));
        list.push_back({out.values[k][0], out.values[k][1]});
    }
    clearMFVec3f(&out);
    return list;
}

} // namespace

/* tests/cases/flatten.txt: every point lies in the hull of the contour's points (a
 * Bezier curve stays inside its controls'); the list matches the reference as a closed
 * path, exactly where the points are known. */
TEST(Flatten, HandContours)
{
    tavixInternalFontData *font = OpenFont(fixture("fixtures.ttf").c_str());
    for (const auto &row : caseRows("flatten.txt")) {
        SCOPED_TRACE(row[4]);
        const float quality = std::stoi(row[0]) / 100.0f;
        const size_t count = std::stoul(row[3]);
        SetQuality(font, std::stoi(row[0]));
        HandContour contour = parse(row[1]);
        int result;
        std::vector<Point2> got = flattened(font, contour, &result);
        EXPECT_EQ(result, got.empty() ? 0 : 1);
        EXPECT_TRUE(count == 0 || got.size() == count) << got.size();
        for (const Point2 &p : got) {
            int sides = 0;
            for (const FT_Vector &q : contour.points)
                sides |= (scaled(q).y <= p.y) | (scaled(q).y >= p.y) << 1 |
                         (scaled(q).x <= p.x) << 2 | (scaled(q).x >= p.x) << 3;
            EXPECT_EQ(sides, 15) << p.x << "," << p.y;
        }
        std::vector<Point2> exact;
        for (const FT_Vector &p : parse(row[2]).points)
            exact.push_back(scaled(p));
        EXPECT_TRUE(row[2] == "-" || got == exact);
        bool known = contour.points.size() > 2;
        for (char t : contour.tags)
            known &= t == kOn || t == kConic || t == kCubic;
        if (known && count > 2) {
            EXPECT_TRUE(
                sameClosedPath(got, reference(contour.points.data(), contour.tags.data(),
                                              static_cast<int>(contour.points.size()), quality)));
        }
    }
    CloseFont(font);
}

/* The list is appended to, never cleared, and the repeat test looks at its last point,
 * whoever stored it; null arguments store nothing. */
TEST(FlattenList, AppendsToWhatItHolds)
{
    tavixInternalFontData *font = OpenFont(fixture("fixtures.ttf").c_str());
    SimpleVec3Array out = {0, nullptr};
    HandContour ab = parse("0,0 320,640"), bd = parse("320,640 640,0");
    for (const HandContour *c : {&ab, &bd})
        EXPECT_EQ(fillContour(font, c->points.data(), c->tags.data(), 2, &out), 1);
    EXPECT_EQ(out.count, 3u);
    EXPECT_EQ(fillContour(font, nullptr, nullptr, 0, &out), 1) << "the list still holds points";
    EXPECT_EQ(fillContour(nullptr, ab.points.data(), ab.tags.data(), 2, &out), 0);
    EXPECT_EQ(fillContour(font, ab.points.data(), ab.tags.data(), 2, nullptr), 0);
    EXPECT_EQ(out.count, 3u);
    clearMFVec3f(&out);
    EXPECT_EQ(fillContour(font, nullptr, ab.tags.data(), 2, &out), 0);
    CloseFont(font);
}

namespace
{

class EveryContour : public testing::TestWithParam<RealFont>
{
};

} // namespace

/* Every contour at quality 50, every tenth glyph's at 0 and 100. */
TEST_P(EveryContour, EqualsTheReference)
{
    const std::vector<MappedGlyph> glyphs = mappedGlyphs(GetParam().path);
    FreeTypeFace face(GetParam().path, 640);
    tavixInternalFontData *font = OpenFont(GetParam().path);
    for (uint32_t quality : {50u, 0u, 100u}) {
        SetQuality(font, quality);
        int mismatches = 0, contours = 0;
        std::string first;
        for (size_t g = 0; g < glyphs.size();
             g += (quality == 50 ? 1 : 10) * (quickRun() ? 10 : 1)) {
            FT_Outline *outline = face.load(glyphs[g].glyph);
            Contours lists;
            if (!outline || outline->n_contours <= 0)
                continue;
            ASSERT_TRUE(readContours(font, glyphs[g].code, outline->n_contours, &lists))
                << codeName(glyphs[g].code);
            for (int k = 0, start = 0; k < outline->n_contours;
                 start = outline->contours[k++] + 1) {
                ++contours;
                if (sameClosedPath(lists[k],
                                   reference(outline->points + start, outline->tags + start,
                                             outline->contours[k] - start + 1, quality / 100.0f)))
                    continue;
                if (mismatches++ < 5)
                    first += " " + codeName(glyphs[g].code) + "#" + std::to_string(k);
            }
        }
        EXPECT_GT(contours, 20);
        EXPECT_EQ(mismatches, 0) << GetParam().name << " q" << quality << ":" << first;
    }
    CloseFont(font);
}

INSTANTIATE_TEST_SUITE_P(RealFonts, EveryContour, testing::ValuesIn(realFonts()), realFontName);
