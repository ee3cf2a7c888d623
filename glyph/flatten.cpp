#include "glyph/flatten.hh"

#include <stdint.h>

#include "util/mfArrays.hh"

namespace
{

constexpr unsigned char kTagConic = 0;
constexpr unsigned char kTagOn = 1;
constexpr unsigned char kTagCubic = 2;

struct Point {
    float x, y;
};

Point scaledPoint(const FT_Vector &v)
{
    return {glyva::scaled(v.x), glyva::scaled(v.y)};
}

Point midpoint(Point a, Point b)
{
    return {(a.x + b.x) * 0.5f, (a.y + b.y) * 0.5f};
}

Point lerp(Point p, Point q, float t)
{
    float s = 1.0f - t;
    return {s * p.x + t * q.x, s * p.y + t * q.y};
}

/* The curve rule: a curve is cut into 1 + 50 * quality parts (1 at quality 0, 26 at
 * 0.5, 51 at 1); its parameter steps by the inverse, and a cubic takes the whole
 * number of parts as its sample count. */
float curveParts(float quality)
{
    return 1.0f + 50.0f * quality;
}

float curveStep(float quality)
{
    return 1.0f / curveParts(quality);
}

/* The list a walk appends to, and the most points it may hold: past them the walk stops,
 * as when memory runs out, so that an outline too large to mesh costs no more than the
 * points it may have. */
class PointList
{
  public:
    /* A contour's first point is compared with the points from start on. */
    PointList(glyva::mf::Reserve<SimpleVec3Array> &out, uint32_t limit, uint32_t start)
        : reserve_(out), limit_(limit), start_(start)
    {
    }
    SimpleVec3Array &array() { return reserve_.array(); }
    /* The points a repeat is looked for in. */
    uint32_t walked()
    {
        const uint32_t count = reserve_.array().count;
        return count > start_ ? count - start_ : 0;
    }
    int append(const float *xyz)
    {
        full_ = reserve_.array().count >= limit_;
        return full_ ? 0 : reserve_.append(xyz);
    }
    void expect(uint64_t count) { reserve_.expect(count < limit_ ? count : limit_); }
    bool full() const { return full_; }

  private:
    glyva::mf::Reserve<SimpleVec3Array> &reserve_;
    uint32_t limit_;
    uint32_t start_;
    bool full_ = false;
};

/* Contour points are 2D, stored on the plane z = 0. False when the list could not
 * grow; it is then empty and the contour lost. */
bool appendPoint(PointList &out, Point p)
{
    const float xyz[3] = {p.x, p.y, 0.0f};
    return out.append(xyz) != 0;
}

bool repeatsLast(PointList &out, Point p)
{
    const SimpleVec3Array &list = out.array();
    if (out.walked() == 0)
        return false;
    const float *last = list.values[list.count - 1];
    return last[0] == p.x && last[1] == p.y;
}

bool appendUnlessRepeat(PointList &out, Point p)
{
    return repeatsLast(out, p) || appendPoint(out, p);
}

/* One quadratic segment; its end is always stored so that a following on-curve visit
 * of the same point is skipped by the repeat test. False when memory ran out. */
bool evaluateConic(float quality, PointList &out, const float *start, const float *control,
                   const float *end)
{
    const Point p0{start[0], start[1]}, p1{control[0], control[1]}, p2{end[0], end[1]};
    float h = curveStep(quality);
    if (!appendUnlessRepeat(out, p0))
        return false;
    for (float t = h; t < 1.0f; t += h)
        if (!appendPoint(out, lerp(lerp(p0, p1, t), lerp(p1, p2, t), t)))
            return false;
    return appendPoint(out, p2);
}

bool conic(float quality, PointList &out, Point s, Point c, Point e)
{
    const float a[2] = {s.x, s.y}, b[2] = {c.x, c.y}, d[2] = {e.x, e.y};
    return evaluateConic(quality, out, a, b, d);
}

/* A cubic segment, sampled at k * h for k = 0..N with no repeat test. */
bool cubic(float quality, PointList &out, Point s, Point c1, Point c2, Point e)
{
    float h = curveStep(quality);
    int n = static_cast<int>(curveParts(quality));
    for (int k = 0; k <= n; ++k) {
        float t = static_cast<float>(k) * h;
        Point r1 = lerp(s, c1, t), r2 = lerp(c1, c2, t), r3 = lerp(c2, e, t);
        if (!appendPoint(out, lerp(lerp(r1, r2, t), lerp(r2, r3, t), t)))
            return false;
    }
    return true;
}

/* About the points a contour flattens to, so that its list grows once: an on-curve point
 * gives one, a quadratic control point one curve, a cubic pair one curve. */
uint64_t expectedPoints(float quality, const char *tags, uint16_t count)
{
    const uint64_t curve = static_cast<uint64_t>(curveParts(quality)) + 1;
    uint64_t points = 0;
    for (uint16_t i = 0; i < count; ++i) {
        unsigned char tag = static_cast<unsigned char>(tags[i]);
        points += tag == kTagOn ? 1 : tag == kTagConic ? curve : (curve + 1) / 2;
    }
    return points;
}

/* The state of one walk over a closed contour. */
struct Walk {
    const FT_Vector *points;
    const unsigned char *tags;
    int n;
    float quality;
    PointList &out;
    bool outOfMemory;

    Point at(int i) const { return scaledPoint(points[i]); }
    int prev(int i) const { return i == 0 ? n - 1 : i - 1; }
    int next(int i) const { return i == n - 1 ? 0 : i + 1; }

    int conicFrom(int i);
    int conicRun(int i, Point s);
    int cubicFrom(int i);
};

/* A quadratic control point at i; the index the walk goes on at (n or more ends it). */
int Walk::conicFrom(int i)
{
    Point p = at(i), s = at(prev(i));
    if (i == 0 && tags[n - 1] == kTagConic)
        s = midpoint(p, at(n - 1));
    if (tags[next(i)] != kTagConic) {
        outOfMemory = !conic(quality, out, s, p, at(next(i)));
        return i + 1;
    }
    return conicRun(i, s);
}

/* Consecutive control points, joined through their implied on-curve midpoints. */
int Walk::conicRun(int i, Point s)
{
    Point p = at(i), x = at(next(i));
    for (;;) {
        Point m = midpoint(p, x);
        int j = i + 1;
        if (!conic(quality, out, s, p, m)) {
            outOfMemory = true;
            return n;
        }
        if (j >= n)
            return n;
        s = m;
        p = at(j);
        int nn = next(j);
        x = at(nn);
        if (tags[nn] != kTagConic) {
            outOfMemory = !conic(quality, out, s, p, x);
            return j + 1;
        }
        i = j;
    }
}

/* A cubic control pair at i, i + 1 ending at i + 2 (point 0 when i = n - 2). A control
 * point in the last position has its partner and end outside the contour: skipped. */
int Walk::cubicFrom(int i)
{
    if (i == n - 1)
        return i + 1;
    Point e = at(i + 2 < n ? i + 2 : 0);
    outOfMemory = !cubic(quality, out, at(prev(i)), at(i), at(i + 1), e);
    return i + 2;
}

/* The walk of both forms of flattenContour; start: the first point a contour's first
 * point is compared with for a repeat. A list that could not grow is emptied and the
 * walk stops: a contour with points silently missing would mesh as a different shape. */
glyva::Flattened flattenWalk(float quality, const FT_Vector *points, const char *tags,
                             uint16_t count, glyva::mf::Reserve<SimpleVec3Array> &out,
                             uint32_t limit, uint32_t start)
{
    const uint32_t before = out.array().count;
    if (count > 0 && (!points || !tags))
        return glyva::Flattened::kNothing;
    PointList list(out, limit, start);
    list.expect(before + expectedPoints(quality, tags, count));
    Walk walk{points, reinterpret_cast<const unsigned char *>(tags), count, quality, list, false};
    int i = 0;
    while (i < walk.n && !walk.outOfMemory) {
        unsigned char tag = walk.tags[i];
        if (tag == kTagOn || walk.n == 1) {
            walk.outOfMemory = !appendUnlessRepeat(list, walk.at(i));
            ++i;
        } else if (tag == kTagConic) {
            i = walk.conicFrom(i);
        } else if (tag == kTagCubic) {
            i = walk.cubicFrom(i);
        } else {
            ++i;
        }
    }
    if (walk.outOfMemory && list.full())
        return glyva::Flattened::kTooMany;
    if (walk.outOfMemory) /* the failed append has emptied the list */
        return glyva::Flattened::kOutOfMemory;
    return out.array().count > before ? glyva::Flattened::kPoints : glyva::Flattened::kNothing;
}

} // namespace

namespace glyva
{

Flattened flattenContour(float quality, const FT_Vector *points, const char *tags, uint16_t count,
                         SimpleVec3Array &out, uint32_t limit)
{
    mf::Reserve<SimpleVec3Array> reserve(out);
    Flattened result = flattenWalk(quality, points, tags, count, reserve, limit, 0);
    if (result == Flattened::kNothing && out.count)
        return Flattened::kPoints;
    return result;
}

Flattened flattenContour(float quality, const FT_Vector *points, const char *tags, uint16_t count,
                         mf::Reserve<SimpleVec3Array> &out, uint32_t limit)
{
    return flattenWalk(quality, points, tags, count, out, limit, out.array().count);
}

Flattened flattenContour(float quality, const FT_Outline *outline, int k, SimpleVec3Array &out,
                         uint32_t limit)
{
    ContourPoints contour = contourPoints(outline, k);
    return flattenContour(quality, contour.points, contour.tags, contour.count, out, limit);
}

Flattened flattenContour(float quality, const FT_Outline *outline, int k,
                         mf::Reserve<SimpleVec3Array> &out, uint32_t limit)
{
    ContourPoints contour = contourPoints(outline, k);
    return flattenContour(quality, contour.points, contour.tags, contour.count, out, limit);
}

} // namespace glyva
