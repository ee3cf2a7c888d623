#include "support/raster.hh"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>

#include FT_OUTLINE_H

namespace glyva_test
{

CoverageGrid::CoverageGrid(int x0, int y0, int width, int height)
    : x0(x0), y0(y0), width(width), height(height),
      cells(static_cast<size_t>(width) * static_cast<size_t>(height), 0.0)
{
}

double CoverageGrid::total() const
{
    return std::accumulate(cells.begin(), cells.end(), 0.0);
}

double CoverageGrid::difference(const CoverageGrid &other) const
{
    double sum = 0.0;
    for (size_t i = 0; i < cells.size(); ++i)
        sum += std::fabs(std::clamp(cells[i], 0.0, 1.0) - std::clamp(other.cells[i], 0.0, 1.0));
    return sum;
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
    CoverageGrid &grid = *sink->grid;
    const int f = sink->factor, j = y / f;
    if (y < 0 || j >= grid.height)
        return;
    const double weight = 1.0 / (255.0 * f * f);
    for (int k = 0; k < count; ++k) {
        const int x0 = spans[k].x, x1 = spans[k].x + spans[k].len;
        for (int i = x0 / f; i * f < x1 && i < grid.width; ++i) {
            int covered = std::min(x1, (i + 1) * f) - std::max(x0, i * f);
            grid.cells[static_cast<size_t>(j) * grid.width + i] +=
                spans[k].coverage * covered * weight;
        }
    }
}

/* Outline point of a position in grid pixels, at the fine resolution, in 26.6. */
FT_Vector finePoint(double x, double y, const CoverageGrid &grid, int f)
{
    return {std::lround((x - grid.x0) * f * 64.0), std::lround((y - grid.y0) * f * 64.0)};
}

void renderFine(FT_Library library, FT_Outline &outline, int f, CoverageGrid &grid)
{
    SpanSink sink{&grid, f};
    FT_Raster_Params params;
    std::memset(&params, 0, sizeof params);
    params.source = &outline;
    params.flags = FT_RASTER_FLAG_AA | FT_RASTER_FLAG_DIRECT | FT_RASTER_FLAG_CLIP;
    params.gray_spans = addSpans;
    params.user = &sink;
    params.clip_box = {0, 0, static_cast<FT_Pos>(grid.width) * f,
                       static_cast<FT_Pos>(grid.height) * f};
    FT_Outline_Render(library, &outline, &params);
}

} // namespace

void FreeTypeFace::render(FT_Outline &outline, double scale, int f, CoverageGrid &grid) const
{
    std::vector<FT_Vector> saved(outline.points, outline.points + outline.n_points);
    for (short k = 0; k < outline.n_points; ++k)
        outline.points[k] =
            finePoint(saved[k].x * scale / 64.0, saved[k].y * scale / 64.0, grid, f);
    renderFine(library_, outline, f, grid);
    std::copy(saved.begin(), saved.end(), outline.points);
}

/* In pieces of at most 10000 triangles: an outline counts its points in a short. */
void FreeTypeFace::renderMesh(const Mesh &mesh, double pixelsPerEm, CoverageGrid &grid) const
{
    for (size_t first = 0; first < mesh.indices.size(); first += 30000) {
        const size_t n = std::min<size_t>(30000, mesh.indices.size() - first);
        std::vector<FT_Vector> points;
        std::vector<char> tags(n, FT_CURVE_TAG_ON);
        std::vector<short> ends;
        for (size_t k = 0; k < n; ++k) {
            const Point2 &v = mesh.vertices[mesh.indices[first + k]];
            points.push_back(finePoint(v.x * pixelsPerEm, v.y * pixelsPerEm, grid, 1));
            if (k % 3 == 2)
                ends.push_back(static_cast<short>(k));
        }
        FT_Outline outline{static_cast<short>(ends.size()),
                           static_cast<short>(n),
                           points.data(),
                           tags.data(),
                           ends.data(),
                           FT_OUTLINE_NONE};
        renderFine(library_, outline, 1, grid);
    }
}

namespace
{

struct AreaWalk {
    double x = 0.0, y = 0.0;
    double twice = 0.0; /* twice the signed area */
};

double det(double ax, double ay, double bx, double by)
{
    return ax * by - bx * ay;
}

int moveTo(const FT_Vector *to, void *user)
{
    auto *walk = static_cast<AreaWalk *>(user);
    walk->x = to->x;
    walk->y = to->y;
    return 0;
}

int lineTo(const FT_Vector *to, void *user)
{
    auto *walk = static_cast<AreaWalk *>(user);
    walk->twice += det(walk->x, walk->y, to->x, to->y);
    return moveTo(to, user);
}

/* Green's theorem over B(t) = (1-t)^2 P0 + 2t(1-t) P1 + t^2 P2. */
int conicTo(const FT_Vector *c, const FT_Vector *to, void *user)
{
    auto *w = static_cast<AreaWalk *>(user);
    w->twice += (2.0 * det(w->x, w->y, c->x, c->y) + 2.0 * det(c->x, c->y, to->x, to->y) +
                 det(w->x, w->y, to->x, to->y)) /
                3.0;
    return moveTo(to, user);
}

/* Green's theorem over the cubic Bezier curve. */
int cubicTo(const FT_Vector *c1, const FT_Vector *c2, const FT_Vector *to, void *user)
{
    auto *w = static_cast<AreaWalk *>(user);
    w->twice += (6.0 * det(w->x, w->y, c1->x, c1->y) + 3.0 * det(w->x, w->y, c2->x, c2->y) +
                 det(w->x, w->y, to->x, to->y) + 3.0 * det(c1->x, c1->y, c2->x, c2->y) +
                 3.0 * det(c1->x, c1->y, to->x, to->y) + 6.0 * det(c2->x, c2->y, to->x, to->y)) /
                10.0;
    return moveTo(to, user);
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

double contoursLength(const Contours &contours)
{
    double length = 0.0;
    for (const auto &c : contours)
        for (size_t k = 0; k < c.size(); ++k)
            length +=
                std::hypot(c[(k + 1) % c.size()].x - c[k].x, c[(k + 1) % c.size()].y - c[k].y);
    return length;
}

} // namespace glyva_test
