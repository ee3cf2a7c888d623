#include "glyph/glyphBudget.hh"

#include <math.h>

#include "util/emuKD/kd.h"
#include "util/plyxUtil.h"

namespace
{

using glyva::Budget;

/* The messages name the glyph path: it is where the budget is spent. */
constexpr const char *kSource = "glyph/glyphTesselator";

/* The counting's own work, bounded by the point budget so that a refusal stays cheap:
 * cells the edges pass through, and pairs of edges that share a cell. Real glyphs use a
 * few of each per point. */
constexpr uint64_t kMaxCellEntries = 8ull * glyva::kMaxGlyphPoints;
constexpr uint64_t kMaxPairTests = 32ull * glyva::kMaxGlyphPoints;
constexpr uint32_t kMaxGridSide = 512;

/* Up to this many points no limit can be reached: at most C(64, 2) = 2016 pairs of
 * edges cross, each edge lies in at most 14 x 14 cells (so 12544 cell entries), and
 * the pairs tested are at most entries x 63 / 2 = 0.4 million. */
constexpr uint64_t kSurelyWithinPoints = 64;
static_assert(kSurelyWithinPoints * (kSurelyWithinPoints - 1) / 2 <= glyva::kMaxGlyphCrossings,
              "the pairs of edges of a small glyph must stay within the crossings allowed");
static_assert(kSurelyWithinPoints * 14 * 14 * (kSurelyWithinPoints - 1) / 2 <= kMaxPairTests,
              "the pair tests of a small glyph must stay within the work allowed");

struct Edge {
    double ax, ay, bx, by;
};

double orient(double ax, double ay, double bx, double by, double cx, double cy)
{
    return (bx - ax) * (cy - ay) - (by - ay) * (cx - ax);
}

bool opposite(double u, double v)
{
    return (u > 0 && v < 0) || (u < 0 && v > 0);
}

/* Whether the edges cross at a point inside both, and where. */
bool cross(const Edge &e, const Edge &f, double *x, double *y)
{
    double d1 = orient(e.ax, e.ay, e.bx, e.by, f.ax, f.ay);
    double d2 = orient(e.ax, e.ay, e.bx, e.by, f.bx, f.by);
    double d3 = orient(f.ax, f.ay, f.bx, f.by, e.ax, e.ay);
    double d4 = orient(f.ax, f.ay, f.bx, f.by, e.bx, e.by);
    if (!opposite(d1, d2) || !opposite(d3, d4))
        return false;
    double t = d3 / (d3 - d4);
    *x = e.ax + t * (e.bx - e.ax);
    *y = e.ay + t * (e.by - e.ay);
    return true;
}

/* A square grid over the edges' bounding box, about one cell per edge, each cell listing
 * the edges that pass through it; two edges can only cross where they share a cell,
 * and a crossing is counted in the cell that holds it. */
class CrossingCount
{
  public:
    /* exact: count every crossing; otherwise stop as soon as the answer is certain. */
    explicit CrossingCount(bool exact) : exact_(exact) {}
    ~CrossingCount()
    {
        kdFree(edges_);
        kdFree(first_);
        kdFree(entries_);
    }

    Budget run(const glyva::BudgetContour *contours, size_t count, uint32_t *crossings);

  private:
    bool collectEdges(const glyva::BudgetContour *contours, size_t count, uint64_t points);
    void frame();
    template <typename Visit> void cellsOf(const Edge &e, Visit visit) const;
    Budget countCells();
    uint64_t sharedPairs() const;
    Budget listCells();
    Budget countCell(uint32_t cell, uint32_t *crossings) const;

    uint32_t column(double x) const { return clampCell((x - minX_) / cellW_); }
    uint32_t row(double y) const { return clampCell((y - minY_) / cellH_); }
    uint32_t clampCell(double v) const
    {
        return v < 1 ? 0 : v >= side_ ? side_ - 1 : static_cast<uint32_t>(v);
    }

    Edge *edges_ = nullptr;
    uint32_t edgeCount_ = 0;
    double minX_ = 0, minY_ = 0, cellW_ = 1, cellH_ = 1;
    uint32_t side_ = 1;
    uint64_t total_ = 0;          /* cell entries */
    uint32_t *first_ = nullptr;   /* entries of cell c: first_[c] .. first_[c + 1] */
    uint32_t *entries_ = nullptr; /* edge indices */
    mutable uint64_t tests_ = 0;
    bool exact_;
};

/* Edges between consecutive finite points, the closing one included; an edge of no
 * length crosses nothing. */
bool CrossingCount::collectEdges(const glyva::BudgetContour *contours, size_t count,
                                 uint64_t points)
{
    edges_ = static_cast<Edge *>(kdMalloc(static_cast<size_t>(points) * sizeof(Edge) + 1));
    if (!edges_)
        return false;
    for (size_t c = 0; c < count; ++c) {
        const glyva::BudgetContour &k = contours[c];
        for (uint32_t i = 0; k.count > 1 && i < k.count; ++i) {
            const float *p = k.xy + static_cast<size_t>(i) * k.stride;
            const float *q = k.xy + static_cast<size_t>((i + 1) % k.count) * k.stride;
            if (!isfinite(p[0]) || !isfinite(p[1]) || !isfinite(q[0]) || !isfinite(q[1]) ||
                (p[0] == q[0] && p[1] == q[1]))
                continue;
            edges_[edgeCount_++] = {p[0], p[1], q[0], q[1]};
        }
    }
    return true;
}

void CrossingCount::frame()
{
    /* Edges are finite, so plain comparisons find what fmin and fmax would. */
    auto least = [](double a, double b) { return b < a ? b : a; };
    auto most = [](double a, double b) { return b > a ? b : a; };
    double maxX = edges_[0].ax, maxY = edges_[0].ay;
    minX_ = maxX, minY_ = maxY;
    for (uint32_t i = 0; i < edgeCount_; ++i) {
        const Edge &e = edges_[i];
        minX_ = least(minX_, least(e.ax, e.bx));
        maxX = most(maxX, most(e.ax, e.bx));
        minY_ = least(minY_, least(e.ay, e.by));
        maxY = most(maxY, most(e.ay, e.by));
    }
    side_ = static_cast<uint32_t>(sqrt(static_cast<double>(edgeCount_))) + 1;
    side_ = side_ > kMaxGridSide ? kMaxGridSide : side_;
    cellW_ = maxX > minX_ ? (maxX - minX_) / side_ : 1;
    cellH_ = maxY > minY_ ? (maxY - minY_) / side_ : 1;
}

/* The cells along the edge: column by column, the rows its part in the column spans. */
template <typename Visit> void CrossingCount::cellsOf(const Edge &e, Visit visit) const
{
    const double left = e.ax < e.bx ? e.ax : e.bx, right = e.ax < e.bx ? e.bx : e.ax;
    const double slope = e.bx != e.ax ? (e.by - e.ay) / (e.bx - e.ax) : 0;
    for (uint32_t c = column(left), last = column(right); c <= last; ++c) {
        double x0 = minX_ + c * cellW_, x1 = x0 + cellW_;
        x0 = x0 < left ? left : x0, x1 = x1 > right ? right : x1;
        double y0 = e.bx != e.ax ? e.ay + (x0 - e.ax) * slope : e.ay;
        double y1 = e.bx != e.ax ? e.ay + (x1 - e.ax) * slope : e.by;
        for (uint32_t r = row(y0 < y1 ? y0 : y1), top = row(y0 < y1 ? y1 : y0); r <= top; ++r)
            visit(r * side_ + c);
    }
}

/* Two passes over the edges' cells: the count of each (in first_[c + 1]), then the lists. */
Budget CrossingCount::countCells()
{
    const size_t cells = static_cast<size_t>(side_) * side_;
    first_ = static_cast<uint32_t *>(kdMalloc((cells + 1) * sizeof(uint32_t)));
    if (!first_)
        return Budget::kOutOfMemory;
    kdMemset(first_, 0, (cells + 1) * sizeof(uint32_t));
    uint64_t total = 0;
    for (uint32_t i = 0; i < edgeCount_ && total <= kMaxCellEntries; ++i)
        cellsOf(edges_[i], [&](uint32_t cell) { ++first_[cell + 1], ++total; });
    if (total > kMaxCellEntries)
        return Budget::kTooCostly;
    total_ = total;
    return Budget::kWithin;
}

/* Every pair test is a pair of edges sharing a cell, and every crossing counted one of
 * them: while these pairs are no more than the crossings allowed, no limit is reached. */
uint64_t CrossingCount::sharedPairs() const
{
    const size_t cells = static_cast<size_t>(side_) * side_;
    uint64_t pairs = 0;
    for (size_t c = 1; c <= cells; ++c)
        pairs += static_cast<uint64_t>(first_[c]) * (first_[c] - 1) / 2;
    return pairs;
}

Budget CrossingCount::listCells()
{
    const size_t cells = static_cast<size_t>(side_) * side_;
    const uint64_t total = total_;
    for (size_t c = 0; c < cells; ++c)
        first_[c + 1] += first_[c];
    entries_ = static_cast<uint32_t *>(kdMalloc(static_cast<size_t>(total) * sizeof(uint32_t) + 1));
    if (!entries_)
        return Budget::kOutOfMemory;
    for (uint32_t i = 0; i < edgeCount_; ++i)
        cellsOf(edges_[i], [&](uint32_t cell) { entries_[first_[cell]++] = i; });
    for (size_t c = cells; c > 0; --c) /* back from the ends to the starts */
        first_[c] = first_[c - 1];
    first_[0] = 0;
    return Budget::kWithin;
}

Budget CrossingCount::countCell(uint32_t cell, uint32_t *crossings) const
{
    for (uint32_t i = first_[cell]; i < first_[cell + 1]; ++i)
        for (uint32_t j = i + 1; j < first_[cell + 1]; ++j) {
            double x, y;
            if (++tests_ > kMaxPairTests)
                return Budget::kTooCostly;
            if (!cross(edges_[entries_[i]], edges_[entries_[j]], &x, &y))
                continue;
            if (row(y) * side_ + column(x) == cell && ++*crossings > glyva::kMaxGlyphCrossings)
                return Budget::kTooManyCrossings;
        }
    return Budget::kWithin;
}

Budget CrossingCount::run(const glyva::BudgetContour *contours, size_t count, uint32_t *crossings)
{
    uint64_t points = 0;
    for (size_t c = 0; c < count; ++c)
        points += contours[c].count;
    if (!exact_ && points <= kSurelyWithinPoints)
        return Budget::kWithin;
    if (!collectEdges(contours, count, points))
        return Budget::kOutOfMemory;
    if (edgeCount_ < 2)
        return Budget::kWithin;
    frame();
    Budget result = countCells();
    if (result == Budget::kWithin && !exact_ && sharedPairs() <= glyva::kMaxGlyphCrossings)
        return Budget::kWithin;
    if (result == Budget::kWithin)
        result = listCells();
    for (uint32_t cell = 0; result == Budget::kWithin && cell < side_ * side_; ++cell)
        result = countCell(cell, crossings);
    return result;
}

} // namespace

namespace glyva
{

namespace
{

Budget budgetOf(const BudgetContour *contours, size_t contourCount, GlyphCost *cost, bool exact)
{
    GlyphCost counted = {0, 0};
    for (size_t c = 0; c < contourCount; ++c)
        counted.points += contours[c].count;
    Budget result = Budget::kTooManyPoints;
    if (counted.points <= kMaxGlyphPoints)
        result = CrossingCount(exact).run(contours, contourCount, &counted.crossings);
    if (cost)
        *cost = counted;
    return result;
}

Budget budgetOf(const SimpleVec3Array *lists, size_t listCount, GlyphCost *cost, bool exact)
{
    auto *contours = static_cast<BudgetContour *>(kdMalloc(listCount * sizeof(BudgetContour) + 1));
    if (!contours)
        return Budget::kOutOfMemory;
    for (size_t k = 0; k < listCount; ++k)
        contours[k] = {lists[k].count ? lists[k].values[0] : nullptr, lists[k].count, 3};
    Budget result = budgetOf(contours, listCount, cost, exact);
    kdFree(contours);
    return result;
}

} // namespace

Budget checkBudget(const BudgetContour *contours, size_t contourCount, GlyphCost *cost)
{
    return budgetOf(contours, contourCount, cost, true);
}

Budget checkBudget(const SimpleVec3Array *lists, size_t listCount, GlyphCost *cost)
{
    return budgetOf(lists, listCount, cost, true);
}

Budget fitsBudget(const SimpleVec3Array *lists, size_t listCount, GlyphCost *cost)
{
    return budgetOf(lists, listCount, cost, false);
}

void reportOverBudget(uint32_t glyphIndex, Budget budget, const GlyphCost &cost)
{
    const unsigned g = static_cast<unsigned>(glyphIndex);
    const unsigned long long points = cost.points;
    if (budget == Budget::kTooManyPoints)
        plyxWarnMessage(kSource, 640, "glyph %u refused: more than the %u points allowed\n", g,
                        static_cast<unsigned>(kMaxGlyphPoints));
    else if (budget == Budget::kTooManyCrossings)
        plyxWarnMessage(kSource, 640,
                        "glyph %u refused: its %llu points cross more than %u times\n", g, points,
                        static_cast<unsigned>(kMaxGlyphCrossings));
    else if (budget == Budget::kTooCostly)
        plyxWarnMessage(kSource, 640, "glyph %u refused: its %llu points cost too much to check\n",
                        g, points);
}

} // namespace glyva
