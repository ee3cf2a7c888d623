#include "support/raster.hh"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include FT_OUTLINE_H

namespace glyva_test
{

namespace
{

/* A convex polygon of at most a triangle clipped by four axis-aligned half-planes. */
struct SmallPolygon {
    Point2 p[16];
    int n = 0;
};

double area(const SmallPolygon &poly)
{
    double twice = 0.0;
    for (int k = 0; k < poly.n; ++k) {
        const Point2 &a = poly.p[k], &b = poly.p[(k + 1) % poly.n];
        twice += a.x * b.y - b.x * a.y;
    }
    return 0.5 * twice;
}

double coordinate(const Point2 &p, bool alongY)
{
    return alongY ? p.y : p.x;
}

/* Sutherland-Hodgman against one axis-aligned line: keeps the side where the
 * coordinate is <= value (keepBelow) or >= value. Crossing points are placed on the
 * line exactly. */
SmallPolygon clip(const SmallPolygon &in, bool alongY, double value, bool keepBelow)
{
    SmallPolygon out;
    for (int k = 0; k < in.n; ++k) {
        const Point2 &p = in.p[k], &q = in.p[(k + 1) % in.n];
        double dp = coordinate(p, alongY) - value, dq = coordinate(q, alongY) - value;
        if (!keepBelow) {
            dp = -dp;
            dq = -dq;
        }
        bool pIn = dp <= 0.0, qIn = dq <= 0.0;
        if (pIn)
            out.p[out.n++] = p;
        if (pIn != qIn) {
            double t = dp / (dp - dq);
            Point2 cut{p.x + t * (q.x - p.x), p.y + t * (q.y - p.y)};
            (alongY ? cut.y : cut.x) = value;
            out.p[out.n++] = cut;
        }
    }
    return out;
}

SmallPolygon triangle(Point2 a, Point2 b, Point2 c)
{
    SmallPolygon t;
    t.p[0] = a;
    t.p[1] = b;
    t.p[2] = c;
    t.n = 3;
    return t;
}

} // namespace

double cross(Point2 a, Point2 b, Point2 c)
{
    return (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
}

double polygonArea(const std::vector<Point2> &polygon)
{
    double twice = 0.0;
    for (size_t k = 0; k < polygon.size(); ++k) {
        const Point2 &a = polygon[k], &b = polygon[(k + 1) % polygon.size()];
        twice += a.x * b.y - b.x * a.y;
    }
    return 0.5 * twice;
}

CoverageGrid::CoverageGrid(int x0, int y0, int width, int height)
    : x0_(x0), y0_(y0), width_(width), height_(height),
      cells_(static_cast<size_t>(width) * static_cast<size_t>(height), 0.0)
{
}

double CoverageGrid::total() const
{
    double sum = 0.0;
    for (double v : cells_)
        sum += v;
    return sum;
}

/* Row by row: the triangle clipped to the row's strip is a convex polygon; the area of
 * that polygon left of each column boundary, differenced, gives each cell's share. */
void CoverageGrid::addTriangle(Point2 a, Point2 b, Point2 c)
{
    a = {a.x - x0_, a.y - y0_};
    b = {b.x - x0_, b.y - y0_};
    c = {c.x - x0_, c.y - y0_};
    const SmallPolygon whole = triangle(a, b, c);
    int rowFirst = std::max(0, static_cast<int>(std::floor(std::min({a.y, b.y, c.y}))));
    int rowEnd = std::min(height_, static_cast<int>(std::ceil(std::max({a.y, b.y, c.y}))));
    for (int j = rowFirst; j < rowEnd; ++j) {
        SmallPolygon strip = clip(clip(whole, true, j, false), true, j + 1, true);
        if (strip.n < 3)
            continue;
        double minX = strip.p[0].x, maxX = strip.p[0].x;
        for (int k = 1; k < strip.n; ++k) {
            minX = std::min(minX, strip.p[k].x);
            maxX = std::max(maxX, strip.p[k].x);
        }
        double stripArea = std::fabs(area(strip));
        double leftOf = 0.0;
        int first = static_cast<int>(std::floor(minX));
        int end = static_cast<int>(std::ceil(maxX));
        if (end == first)
            end = first + 1;
        for (int i = first; i < end; ++i) {
            double upTo =
                i + 1 >= end ? stripArea : std::fabs(area(clip(strip, false, i + 1, true)));
            if (i >= 0 && i < width_)
                cells_[static_cast<size_t>(j) * width_ + i] += upTo - leftOf;
            leftOf = upTo;
        }
    }
}

double triangleCellArea(Point2 a, Point2 b, Point2 c, double cx, double cy)
{
    SmallPolygon poly = triangle(a, b, c);
    poly = clip(poly, false, cx, false);
    poly = clip(poly, false, cx + 1.0, true);
    poly = clip(poly, true, cy, false);
    poly = clip(poly, true, cy + 1.0, true);
    return poly.n < 3 ? 0.0 : std::fabs(area(poly));
}

double coverageIoU(const CoverageGrid &a, const CoverageGrid &b)
{
    if (a.x0() != b.x0() || a.y0() != b.y0() || a.width() != b.width() || a.height() != b.height())
        return 0.0;
    double common = 0.0, either = 0.0;
    for (int j = 0; j < a.height(); ++j) {
        for (int i = 0; i < a.width(); ++i) {
            double u = std::clamp(a.at(i, j), 0.0, 1.0), v = std::clamp(b.at(i, j), 0.0, 1.0);
            common += std::min(u, v);
            either += std::max(u, v);
        }
    }
    return either == 0.0 ? 1.0 : common / either;
}

FreeTypeFace::FreeTypeFace(const char *path, FT_F26Dot6 charHeight)
{
    if (FT_Init_FreeType(&library_)) {
        library_ = nullptr;
        return;
    }
    if (FT_New_Face(library_, path, 0, &face_)) {
        face_ = nullptr;
        return;
    }
    FT_Set_Char_Size(face_, 0, charHeight, 72, 72);
}

FreeTypeFace::~FreeTypeFace()
{
    if (face_)
        FT_Done_Face(face_);
    if (library_)
        FT_Done_FreeType(library_);
}

FT_Outline *FreeTypeFace::load(FT_UInt glyph)
{
    if (!face_ || FT_Load_Glyph(face_, glyph, FT_LOAD_NO_HINTING))
        return nullptr;
    if (face_->glyph->format != FT_GLYPH_FORMAT_OUTLINE)
        return nullptr;
    return &face_->glyph->outline;
}

namespace
{

/* FreeType's spans of one fine row, added to the coarse cells they fall in. */
struct SpanSink {
    CoverageGrid *grid;
    int factor;
};

void addSpans(int y, int count, const FT_Span *spans, void *user)
{
    auto *sink = static_cast<SpanSink *>(user);
    const int f = sink->factor, j = y / f;
    if (y < 0 || j >= sink->grid->height())
        return;
    const double weight = 1.0 / (255.0 * f * f);
    for (int k = 0; k < count; ++k) {
        const int x0 = spans[k].x, x1 = spans[k].x + spans[k].len;
        for (int i = x0 / f; i * f < x1 && i < sink->grid->width(); ++i) {
            int covered = std::min(x1, (i + 1) * f) - std::max(x0, i * f);
            sink->grid->set(i, j, sink->grid->at(i, j) + spans[k].coverage * covered * weight);
        }
    }
}

} // namespace

/* FreeType's anti-aliasing rasteriser in direct mode: it hands over runs of equal
 * coverage, which are summed into the grid's cells without a bitmap in between. */
bool FreeTypeFace::render(CoverageGrid &grid, int outlinePpem, int gridPpem, int supersampling)
{
    FT_Outline *outline = &face_->glyph->outline;
    if ((gridPpem * supersampling) % outlinePpem != 0)
        return false;
    const int f = supersampling;
    scaleOutline(*outline, gridPpem * f / outlinePpem, 1);
    FT_Outline_Translate(outline, -64 * static_cast<FT_Pos>(grid.x0()) * f,
                         -64 * static_cast<FT_Pos>(grid.y0()) * f);
    for (int j = 0; j < grid.height(); ++j)
        for (int i = 0; i < grid.width(); ++i)
            grid.set(i, j, 0.0);
    SpanSink sink{&grid, f};
    FT_Raster_Params params;
    std::memset(&params, 0, sizeof params);
    params.source = outline;
    params.flags = FT_RASTER_FLAG_AA | FT_RASTER_FLAG_DIRECT | FT_RASTER_FLAG_CLIP;
    params.gray_spans = addSpans;
    params.user = &sink;
    params.clip_box = {0, 0, static_cast<FT_Pos>(grid.width()) * f,
                       static_cast<FT_Pos>(grid.height()) * f};
    return FT_Outline_Render(library_, outline, &params) == 0;
}

void scaleOutline(FT_Outline &outline, long numerator, long denominator)
{
    auto scale = [&](FT_Pos v) {
        return static_cast<FT_Pos>(std::lround(static_cast<double>(v) * numerator / denominator));
    };
    for (short k = 0; k < outline.n_points; ++k) {
        outline.points[k].x = scale(outline.points[k].x);
        outline.points[k].y = scale(outline.points[k].y);
    }
}

std::vector<MappedGlyph> mappedGlyphs(FT_Face face)
{
    std::vector<MappedGlyph> glyphs;
    std::vector<bool> seen(static_cast<size_t>(face->num_glyphs) + 1, false);
    FT_UInt glyph = 0;
    FT_ULong code = FT_Get_First_Char(face, &glyph);
    while (glyph != 0) {
        if (glyph < seen.size() && !seen[glyph]) {
            seen[glyph] = true;
            glyphs.push_back({glyph, static_cast<uint32_t>(code)});
        }
        code = FT_Get_Next_Char(face, code, &glyph);
    }
    return glyphs;
}

namespace
{

struct Edge {
    Point2 a, b;
    double minX, maxX, minY, maxY;
};

bool strictlyOpposite(double u, double v)
{
    return (u > 0.0 && v < 0.0) || (u < 0.0 && v > 0.0);
}

bool crossInside(const Edge &e, const Edge &f)
{
    return strictlyOpposite(cross(e.a, e.b, f.a), cross(e.a, e.b, f.b)) &&
           strictlyOpposite(cross(f.a, f.b, e.a), cross(f.a, f.b, e.b));
}

} // namespace

/* Edges sorted by their left end; only pairs whose x ranges overlap are compared. */
bool contoursCross(const std::vector<std::vector<Point2>> &contours)
{
    std::vector<Edge> edges;
    for (const auto &contour : contours) {
        for (size_t k = 0; k < contour.size(); ++k) {
            Point2 a = contour[k], b = contour[(k + 1) % contour.size()];
            if (a.x == b.x && a.y == b.y)
                continue;
            edges.push_back({a, b, std::min(a.x, b.x), std::max(a.x, b.x), std::min(a.y, b.y),
                             std::max(a.y, b.y)});
        }
    }
    std::sort(edges.begin(), edges.end(),
              [](const Edge &e, const Edge &f) { return e.minX < f.minX; });
    for (size_t i = 0; i < edges.size(); ++i) {
        for (size_t j = i + 1; j < edges.size() && edges[j].minX <= edges[i].maxX; ++j) {
            if (edges[j].minY > edges[i].maxY || edges[j].maxY < edges[i].minY)
                continue;
            if (crossInside(edges[i], edges[j]))
                return true;
        }
    }
    return false;
}

namespace
{

bool onSegment(Point2 p, Point2 a, Point2 b)
{
    return cross(a, b, p) == 0.0 && p.x >= std::min(a.x, b.x) && p.x <= std::max(a.x, b.x) &&
           p.y >= std::min(a.y, b.y) && p.y <= std::max(a.y, b.y);
}

/* Winding number of the closed polygon around p, or nothing when p is on it. */
bool windingAround(const std::vector<Point2> &polygon, Point2 p, int *winding)
{
    int w = 0;
    for (size_t k = 0; k < polygon.size(); ++k) {
        Point2 a = polygon[k], b = polygon[(k + 1) % polygon.size()];
        if (onSegment(p, a, b))
            return false;
        if (a.y <= p.y && b.y > p.y && cross(a, b, p) > 0.0)
            ++w;
        else if (a.y > p.y && b.y <= p.y && cross(a, b, p) < 0.0)
            --w;
    }
    *winding = w;
    return true;
}

enum class Placement { inside, apart, onIt };

/* Where inner lies relative to outer, judged at a vertex of inner not on outer;
 * contours that do not cross are either nested or apart. */
Placement placement(const std::vector<Point2> &inner, const std::vector<Point2> &outer)
{
    for (const Point2 &p : inner) {
        int w;
        if (windingAround(outer, p, &w))
            return w != 0 ? Placement::inside : Placement::apart;
    }
    return Placement::onIt;
}

} // namespace

/* Depth (number of containing contours) decides the expected orientation. A contour
 * lying wholly on another (a duplicate, as in some composite glyphs) overlaps it. */
bool contoursNestAlternately(const std::vector<std::vector<Point2>> &contours)
{
    std::vector<size_t> solid;
    for (size_t c = 0; c < contours.size(); ++c)
        if (polygonArea(contours[c]) != 0.0)
            solid.push_back(c);
    int outerSign = 0;
    for (size_t c : solid) {
        int depth = 0;
        for (size_t d : solid) {
            if (d == c)
                continue;
            Placement where = placement(contours[c], contours[d]);
            /* Every vertex on the other contour: a copy of it, or run along it. */
            if (where == Placement::onIt)
                return false;
            depth += where == Placement::inside ? 1 : 0;
        }
        int sign = polygonArea(contours[c]) > 0.0 ? 1 : -1;
        int expected = depth % 2 == 0 ? sign : -sign;
        if (outerSign == 0)
            outerSign = expected;
        if (expected != outerSign)
            return false;
    }
    return true;
}

double contoursLength(const std::vector<std::vector<Point2>> &contours)
{
    double length = 0.0;
    for (const auto &contour : contours)
        for (size_t k = 0; k < contour.size(); ++k) {
            Point2 a = contour[k], b = contour[(k + 1) % contour.size()];
            length += std::hypot(b.x - a.x, b.y - a.y);
        }
    return length;
}

bool quickRun()
{
    const char *quick = std::getenv("GLYVA_QUICK");
    return quick && std::strcmp(quick, "1") == 0;
}

namespace
{

struct AreaWalk {
    Point2 current{0.0, 0.0};
    double twice = 0.0; /* twice the signed area */
};

Point2 asPoint(const FT_Vector *v)
{
    return {static_cast<double>(v->x), static_cast<double>(v->y)};
}

double det(Point2 a, Point2 b)
{
    return a.x * b.y - b.x * a.y;
}

int moveTo(const FT_Vector *to, void *user)
{
    static_cast<AreaWalk *>(user)->current = asPoint(to);
    return 0;
}

int lineTo(const FT_Vector *to, void *user)
{
    auto *walk = static_cast<AreaWalk *>(user);
    Point2 p = asPoint(to);
    walk->twice += det(walk->current, p);
    walk->current = p;
    return 0;
}

/* Green's theorem over B(t) = (1-t)^2 P0 + 2t(1-t) P1 + t^2 P2. */
int conicTo(const FT_Vector *control, const FT_Vector *to, void *user)
{
    auto *walk = static_cast<AreaWalk *>(user);
    Point2 p0 = walk->current, p1 = asPoint(control), p2 = asPoint(to);
    walk->twice += (2.0 * det(p0, p1) + 2.0 * det(p1, p2) + det(p0, p2)) / 3.0;
    walk->current = p2;
    return 0;
}

/* Green's theorem over the cubic Bezier curve. */
int cubicTo(const FT_Vector *c1, const FT_Vector *c2, const FT_Vector *to, void *user)
{
    auto *walk = static_cast<AreaWalk *>(user);
    Point2 p0 = walk->current, p1 = asPoint(c1), p2 = asPoint(c2), p3 = asPoint(to);
    walk->twice += (6.0 * det(p0, p1) + 3.0 * det(p0, p2) + det(p0, p3) + 3.0 * det(p1, p2) +
                    3.0 * det(p1, p3) + 6.0 * det(p2, p3)) /
                   10.0;
    walk->current = p3;
    return 0;
}

} // namespace

double outlineArea(const FT_Outline &outline)
{
    FT_Outline_Funcs funcs;
    std::memset(&funcs, 0, sizeof funcs);
    funcs.move_to = moveTo;
    funcs.line_to = lineTo;
    funcs.conic_to = conicTo;
    funcs.cubic_to = cubicTo;
    AreaWalk walk;
    FT_Outline_Decompose(const_cast<FT_Outline *>(&outline), &funcs, &walk);
    return 0.5 * walk.twice;
}

} // namespace glyva_test
