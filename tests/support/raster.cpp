#include "support/raster.hh"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include FT_OUTLINE_H

namespace glyva_test {

namespace {

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

double coordinate(const Point2 &p, bool alongY) { return alongY ? p.y : p.x; }

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
            double upTo = i + 1 >= end ? stripArea : std::fabs(area(clip(strip, false, i + 1, true)));
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

bool FreeTypeFace::render(CoverageGrid &grid)
{
    FT_Outline *outline = &face_->glyph->outline;
    std::vector<unsigned char> pixels(static_cast<size_t>(grid.width()) * grid.height(), 0);
    FT_Bitmap bitmap;
    std::memset(&bitmap, 0, sizeof bitmap);
    bitmap.rows = static_cast<unsigned>(grid.height());
    bitmap.width = static_cast<unsigned>(grid.width());
    bitmap.pitch = grid.width();
    bitmap.buffer = pixels.data();
    bitmap.num_grays = 256;
    bitmap.pixel_mode = FT_PIXEL_MODE_GRAY;
    FT_Outline_Translate(outline, -64 * static_cast<FT_Pos>(grid.x0()),
                         -64 * static_cast<FT_Pos>(grid.y0()));
    if (FT_Outline_Get_Bitmap(library_, outline, &bitmap))
        return false;
    /* The bitmap's first row is its top row. */
    for (int j = 0; j < grid.height(); ++j)
        for (int i = 0; i < grid.width(); ++i)
            grid.set(i, j, pixels[static_cast<size_t>(grid.height() - 1 - j) * grid.width() + i] /
                               255.0);
    return true;
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

bool quickRun()
{
    const char *quick = std::getenv("GLYVA_QUICK");
    return quick && std::strcmp(quick, "1") == 0;
}

namespace {

struct AreaWalk {
    Point2 current{0.0, 0.0};
    double twice = 0.0; /* twice the signed area */
};

Point2 asPoint(const FT_Vector *v)
{
    return {static_cast<double>(v->x), static_cast<double>(v->y)};
}

double det(Point2 a, Point2 b) { return a.x * b.y - b.x * a.y; }

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
