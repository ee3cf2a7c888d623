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

/* An edge from a to b, with b - a kept for the side tests, and the chain it belongs to:
 * a run of consecutive edges along which x strictly grows, or strictly falls. Two edges
 * of one chain never cross: neighbours share their end point exactly, so the side test
 * gives 0, and any other two lie in x ranges apart, which cross turns away first. */
struct Edge {
    double ax, ay, bx, by, dx, dy;
    uint32_t chain;
};

/* Which side of the edge's line c lies on: the sign of (b - a) x (c - a). */
double orient(const Edge &e, double cx, double cy)
{
    return e.dx * (cy - e.ay) - e.dy * (cx - e.ax);
}

bool opposite(double u, double v)
{
    return (u > 0 && v < 0) || (u < 0 && v > 0);
}

/* Whether the edges cross at a point inside both, and where. Most pairs sharing a cell
 * are neighbours on one curve, decided by the side f lies on, so that is asked first. */
bool cross(const Edge &e, const Edge &f, double *x, double *y)
{
    if ((e.dx > 0 ? e.bx : e.ax) < (f.dx > 0 ? f.ax : f.bx) ||
        (f.dx > 0 ? f.bx : f.ax) < (e.dx > 0 ? e.ax : e.bx))
        return false;
    double d1 = orient(e, f.ax, f.ay);
    double d2 = orient(e, f.bx, f.by);
    if (!opposite(d1, d2))
        return false;
    double d3 = orient(f, e.ax, e.ay);
    double d4 = orient(f, e.bx, e.by);
    if (!opposite(d3, d4))
        return false;
    double t = d3 / (d3 - d4);
    *x = e.ax + t * (e.bx - e.ax);
    *y = e.ay + t * (e.by - e.ay);
    return true;
}

/* One cell an edge passes through, in the order the edges' cells are walked. */
struct CellEntry {
    uint32_t cell, edge;
};

/* The blocks of a BudgetScratch. */
enum Block { kEdges, kFirst, kEntries, kWalk, kRuns, kCover };

/* Per cell, the chain of the last edge that passed it and how many of that chain's edges
 * did in a row: the edges of a chain come one after another, so these are all of them. */
struct ChainRun {
    uint32_t chain, edges;
};

/* Blocks larger than this are released after the glyph that needed them: only hostile
 * glyphs come near them, and a handle should not keep their size until it is closed. */
constexpr size_t kKeptBytes = 256 * 1024;

void releaseBlock(glyva::BudgetScratch *scratch, int b)
{
    kdFree(scratch->blocks[b]);
    scratch->blocks[b] = nullptr;
    scratch->bytes[b] = 0;
}

/* Block b of the scratch with room for count elements, its contents kept when keep;
 * *fresh, where given, tells whether the block is new, its contents undefined. */
template <typename T>
T *scratchBlock(glyva::BudgetScratch *scratch, Block b, uint64_t count, bool keep = false,
                bool *fresh = nullptr)
{
    const size_t bytes = static_cast<size_t>(count) * sizeof(T) + 1;
    if (fresh)
        *fresh = scratch->bytes[b] < bytes;
    if (scratch->bytes[b] >= bytes)
        return static_cast<T *>(scratch->blocks[b]);
    const size_t grown = bytes + bytes / 2;
    void *block = nullptr;
    if (keep) {
        block = kdRealloc(scratch->blocks[b], grown);
    } else {
        releaseBlock(scratch, b);
        block = kdMalloc(grown);
    }
    if (!block)
        return nullptr;
    scratch->blocks[b] = block, scratch->bytes[b] = grown;
    return static_cast<T *>(block);
}

/* The edges' bounding box, grown point by point. Edges are finite, so plain comparisons
 * find what fmin and fmax would. */
struct Box {
    double minX, maxX, minY, maxY;

    void add(double x, double y)
    {
        minX = x < minX ? x : minX, maxX = x > maxX ? x : maxX;
        minY = y < minY ? y : minY, maxY = y > maxY ? y : maxY;
    }
};

/* A square grid over the edges' bounding box, about one cell per edge, each cell listing
 * the edges that pass through it; two edges can only cross where they share a cell,
 * and a crossing is counted in the cell that holds it. */
class CrossingCount
{
  public:
    /* exact: count every crossing; otherwise stop as soon as the answer is certain. */
    CrossingCount(bool exact, glyva::BudgetScratch *scratch) : exact_(exact), scratch_(scratch) {}

    Budget run(const glyva::BudgetContour *contours, size_t count, uint32_t *crossings);

  private:
    bool collectEdges(const glyva::BudgetContour *contours, size_t count, uint64_t points);
    void frame();
    void frame(const Box &box);
    bool coverWithin(const glyva::BudgetContour *contours, size_t count);
    template <typename Visit> void cellsOf(const Edge &e, Visit visit) const;
    Budget countCells();
    bool surelyWithin() const;
    Budget listCells();
    Budget countCell(uint32_t cell, uint32_t *crossings);

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
    CellEntry *walk_ = nullptr;   /* the cells as the edges pass them, walked once */
    uint64_t tests_ = 0;
    uint64_t sharedPairs_ = 0; /* pairs of edges sharing a cell */
    uint64_t chainPairs_ = 0;  /* of those, pairs of edges of two chains */
    bool exact_;
    glyva::BudgetScratch *scratch_;
};

bool finite(const float *v)
{
    return isfinite(v[0]) && isfinite(v[1]);
}

/* Edges along which x keeps one direction form a chain (see countCells): the chain of
 * each edge in turn, counted on from the one before; a new contour, or an edge left out,
 * starts a new chain. */
struct ChainCounter {
    uint32_t chain = 0;
    /* The x direction of the last edge if it was kept: 1 rightwards, -1 leftwards, 0
     * upright or none, which no edge continues. */
    int way = 0;

    uint32_t next(const float *p, const float *q)
    {
        const int to = q[0] > p[0] ? 1 : q[0] < p[0] ? -1 : 0;
        chain += to != 0 && to == way ? 0 : 1;
        way = to;
        return chain;
    }
    void breakOff() { way = 0; }
};

/* Every edge between consecutive finite points, the closing one included, as
 * visit(p, q, chain), chains numbered on from chainBase; an edge of no length crosses
 * nothing and is left out. Each point's finiteness is asked once. Returns the last
 * chain's number. */
template <typename Visit>
uint32_t forEachEdge(const glyva::BudgetContour *contours, size_t count, Visit visit,
                     uint32_t chainBase = 0)
{
    ChainCounter chains;
    chains.chain = chainBase;
    for (size_t c = 0; c < count; ++c) {
        const glyva::BudgetContour &k = contours[c];
        if (k.count < 2)
            continue;
        chains.breakOff();
        const float *p = k.xy, *last = k.xy + static_cast<size_t>(k.count - 1) * k.stride;
        const bool startFinite = finite(p);
        bool pFinite = startFinite;
        for (;;) {
            const bool closing = p == last;
            const float *q = closing ? k.xy : p + k.stride;
            const bool qFinite = closing ? startFinite : finite(q);
            if (pFinite && qFinite && (p[0] != q[0] || p[1] != q[1]))
                visit(p, q, chains.next(p, q));
            else
                chains.breakOff();
            if (closing)
                break;
            p = q, pFinite = qFinite;
        }
    }
    return chains.chain;
}

bool CrossingCount::collectEdges(const glyva::BudgetContour *contours, size_t count,
                                 uint64_t points)
{
    edges_ = scratchBlock<Edge>(scratch_, kEdges, points);
    if (!edges_)
        return false;
    forEachEdge(contours, count, [&](const float *p, const float *q, uint32_t chain) {
        const double ax = p[0], ay = p[1], bx = q[0], by = q[1];
        edges_[edgeCount_++] = {ax, ay, bx, by, bx - ax, by - ay, chain};
    });
    return true;
}

void CrossingCount::frame()
{
    Box box = {edges_[0].ax, edges_[0].ax, edges_[0].ay, edges_[0].ay};
    for (uint32_t i = 0; i < edgeCount_; ++i) {
        box.add(edges_[i].ax, edges_[i].ay);
        box.add(edges_[i].bx, edges_[i].by);
    }
    frame(box);
}

void CrossingCount::frame(const Box &box)
{
    minX_ = box.minX, minY_ = box.minY;
    side_ = static_cast<uint32_t>(sqrt(static_cast<double>(edgeCount_))) + 1;
    side_ = side_ > kMaxGridSide ? kMaxGridSide : side_;
    cellW_ = box.maxX > minX_ ? (box.maxX - minX_) / side_ : 1;
    cellH_ = box.maxY > minY_ ? (box.maxY - minY_) / side_ : 1;
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

/* The points of a contour without a closing repeat of its first: the edge to the repeat
 * ends where the closing edge would, and the closing edge from it has no length. */
uint32_t openCount(const glyva::BudgetContour &k)
{
    if (k.count < 2)
        return k.count;
    const float *last = k.xy + static_cast<size_t>(k.count - 1) * k.stride;
    return last[0] == k.xy[0] && last[1] == k.xy[1] ? k.count - 1 : k.count;
}

/* Each contour of at least two points without its closing repeat, as visit(k, m) with m
 * its open count. */
template <typename Visit>
void forEachOpenContour(const glyva::BudgetContour *contours, size_t count, Visit visit)
{
    for (size_t c = 0; c < count; ++c) {
        const uint32_t m = openCount(contours[c]);
        if (m >= 2)
            visit(contours[c], m);
    }
}

/* Whether every point is finite and, closing repeats aside, no edge is of no length,
 * so that forEachEdge keeps every edge between the open contours' points; then also
 * their count and bounding box. One plain pass, where forEachEdge asks each edge what
 * to leave out. */
bool plainEdges(const glyva::BudgetContour *contours, size_t count, Box *box, uint32_t *edges)
{
    float minX = INFINITY, maxX = -INFINITY, minY = INFINITY, maxY = -INFINITY;
    float nan = 0; /* x - x is a NaN for an infinity or a NaN */
    uint32_t n = 0;
    bool repeats = false;
    forEachOpenContour(contours, count, [&](const glyva::BudgetContour &k, uint32_t m) {
        const float *p = k.xy;
        const float *last = p + static_cast<size_t>(m - 1) * k.stride;
        float px = last[0], py = last[1];
        for (uint32_t i = 0; i < m && !repeats; ++i, p += k.stride) {
            const float x = p[0], y = p[1];
            repeats = x == px && y == py;
            nan += (x - x) + (y - y);
            /* In the order of the processor's min and max, which then need no moves. */
            minX = minX < x ? minX : x, maxX = maxX > x ? maxX : x;
            minY = minY < y ? minY : y, maxY = maxY > y ? maxY : y;
            px = x, py = y;
        }
        n += m;
    });
    if (repeats || nan != 0)
        return false;
    *box = {minX, maxX, minY, maxY};
    *edges = n;
    return true;
}

/* surelyWithin's answer without walking the edges' cells, for most glyphs: each edge is
 * counted in every cell of the rectangle spanning its end points' cells, which holds
 * every cell its walk passes through. Pairs and entries counted so can only be more, so
 * when they stay within the limits, so would the walk's. The walk's rows come from y
 * interpolated along the edge, which may stray from the end points' range by rounding:
 * far less than delta, a tiny fraction of a row. */
bool CrossingCount::coverWithin(const glyva::BudgetContour *contours, size_t count)
{
    Box box = {0, 0, 0, 0};
    uint32_t edges = 0;
    const bool plain = plainEdges(contours, count, &box, &edges);
    const float *end = nullptr; /* the last edge's end, already in the box */
    if (!plain)
        forEachEdge(contours, count, [&](const float *p, const float *q, uint32_t) {
            if (edges++ == 0)
                box = {p[0], p[0], p[1], p[1]};
            if (p != end)
                box.add(p[0], p[1]);
            box.add(q[0], q[1]);
            end = q;
        });
    if (edges < 2)
        return true;
    edgeCount_ = edges;
    frame(box);
    edgeCount_ = 0;
    /* A cell's chain run (as countCells keeps it) and how many edges it holds. */
    struct CoverCell {
        ChainRun run;
        uint32_t edges;
    };
    const size_t cells = static_cast<size_t>(side_) * side_;
    bool fresh = false;
    CoverCell *grid = scratchBlock<CoverCell>(scratch_, kCover, cells, false, &fresh);
    if (!grid)
        return false;
    /* The grid is not cleared for each glyph: chains are numbered on from glyph to glyph,
     * so that a cell whose chain is at most base is one of an earlier glyph, and counts
     * as empty. Only a new block, or numbers about to wrap, need clearing. */
    uint32_t base = scratch_->coverChains;
    if (fresh || base > UINT32_MAX - edges - 1) {
        kdMemset(grid, 0, scratch_->bytes[kCover]);
        base = 0;
    }
    /* In rows: delta and far more than the rounding of the division. */
    const double slack = (fabs(box.minY) + fabs(box.maxY)) * 0x1p-40 / cellH_ + 0x1p-30;
    /* The grid in locals: the counts written below could otherwise be the members. */
    const uint32_t side = side_;
    const double minX = minX_, minY = minY_, cellW = cellW_, cellH = cellH_, top = side - 1;
    /* clampCell's answer, without branches. */
    auto clamp = [top](double v) -> uint32_t {
        v = v > 0 ? v : 0;
        return static_cast<uint32_t>(v < top ? v : top);
    };
    struct Corner {
        uint32_t column, low, high;
    };
    /* x and y in cells, as column and row compute them. */
    auto cornerAt = [&](double x, double y) -> Corner {
        return {clamp(x), clamp(y - slack), clamp(y + slack)};
    };
    auto cornerOf = [&](const float *v) -> Corner {
        return cornerAt((v[0] - minX) / cellW, (v[1] - minY) / cellH);
    };
    /* The points whose corner is that of a corner in a single cell: x in its column, as
     * column and row divide it, and y far enough inside its row that the slack leaves
     * it there. None for a corner spanning two rows. */
    struct Inside {
        double left, right, bottom, top;
        uint32_t cell;
        bool holds(double x, double y) const
        {
            return x >= left && x < right && y >= bottom && y < top;
        }
    };
    const double margin = slack + 0x1p-30;
    auto insideOf = [&](const Corner &a) -> Inside {
        if (a.low != a.high)
            return {1, 0, 1, 0, 0};
        const double c = a.column, r = a.low;
        return {c, c + 1, r + margin, r + 1 - margin, a.low * side + a.column};
    };
    uint64_t entries = 0, shared = 0, pairs = 0;
    auto visit = [&](uint32_t cell, uint32_t chain) {
        CoverCell &c = grid[cell];
        if (c.run.chain != chain) {
            if (c.run.chain <= base)
                c.edges = 0;
            c.run = {chain, 0};
        }
        const uint32_t n = c.edges++;
        shared += n;
        pairs += n - c.run.edges++;
    };
    auto cover = [&](const Corner &a, const Corner &b, uint32_t chain) {
        const uint32_t left = a.column < b.column ? a.column : b.column;
        const uint32_t right = a.column ^ b.column ^ left;
        const uint32_t low = a.low < b.low ? a.low : b.low;
        const uint32_t high = a.high < b.high ? b.high : a.high;
        if (left == right && low == high) { /* most edges */
            ++entries;
            visit(low * side + left, chain);
            return;
        }
        entries += static_cast<uint64_t>(right - left + 1) * (high - low + 1);
        if (entries > kMaxCellEntries)
            return;
        for (uint32_t r = low; r <= high; ++r)
            for (uint32_t c = left; c <= right; ++c)
                visit(r * side + c, chain);
    };
    uint32_t lastChain = base;
    if (plain) { /* forEachEdge's walk, for contours without a point to leave out */
        ChainCounter chains;
        chains.chain = base;
        forEachOpenContour(contours, count, [&](const glyva::BudgetContour &k, uint32_t m) {
            const Corner start = cornerOf(k.xy);
            Corner a = start;
            Inside inside = insideOf(a);
            chains.breakOff();
            const float *p = k.xy;
            for (uint32_t i = 1; i <= m; ++i) {
                const float *q = i < m ? p + k.stride : k.xy;
                const uint32_t chain = chains.next(p, q);
                p = q;
                const double x = (q[0] - minX) / cellW, y = (q[1] - minY) / cellH;
                if (i < m && inside.holds(x, y)) { /* most edges: within a's one cell */
                    ++entries;
                    visit(inside.cell, chain);
                    continue;
                }
                const Corner b = i < m ? cornerAt(x, y) : start;
                cover(a, b, chain);
                a = b, inside = insideOf(a);
            }
        });
        lastChain = chains.chain;
    } else {
        Corner a = {0, 0, 0};
        Inside inside = insideOf({0, 0, 1});
        end = nullptr;
        lastChain = forEachEdge(
            contours, count,
            [&](const float *p, const float *q, uint32_t chain) {
                const double x = (q[0] - minX) / cellW, y = (q[1] - minY) / cellH;
                const bool follows = p == end;
                end = q;
                if (follows && inside.holds(x, y)) {
                    ++entries;
                    visit(inside.cell, chain);
                    return;
                }
                if (!follows)
                    a = cornerOf(p);
                const Corner b = cornerAt(x, y);
                cover(a, b, chain);
                a = b, inside = insideOf(a);
            },
            base);
    }
    scratch_->coverChains = lastChain;
    return entries <= kMaxCellEntries && shared <= kMaxPairTests &&
           pairs <= glyva::kMaxGlyphCrossings;
}

/* One walk over the edges' cells: the count of each (in first_[c + 1]), and the walk
 * itself, from which listCells sorts the lists. */
Budget CrossingCount::countCells()
{
    const size_t cells = static_cast<size_t>(side_) * side_;
    first_ = scratchBlock<uint32_t>(scratch_, kFirst, cells + 1);
    if (!first_)
        return Budget::kOutOfMemory;
    kdMemset(first_, 0, (cells + 1) * sizeof(uint32_t));
    ChainRun *runs = scratchBlock<ChainRun>(scratch_, kRuns, cells);
    if (!runs)
        return Budget::kOutOfMemory;
    kdMemset(runs, 0, cells * sizeof(ChainRun)); /* chains count from 1 */
    uint64_t room = 4ull * edgeCount_ + 64;
    walk_ = scratchBlock<CellEntry>(scratch_, kWalk, room);
    uint64_t total = 0;
    bool walked = walk_ != nullptr;
    for (uint32_t i = 0; i < edgeCount_ && total <= kMaxCellEntries && walked; ++i)
        cellsOf(edges_[i], [&](uint32_t cell) {
            ChainRun &run = runs[cell];
            if (run.chain != edges_[i].chain)
                run = {edges_[i].chain, 0};
            sharedPairs_ += first_[cell + 1];
            chainPairs_ += first_[cell + 1] - run.edges++;
            ++first_[cell + 1];
            if (total == room && walked) {
                room += room / 2;
                walk_ = scratchBlock<CellEntry>(scratch_, kWalk, room, true);
                walked = walk_ != nullptr;
            }
            if (walked)
                walk_[total] = {cell, i};
            ++total;
        });
    if (!walked)
        return Budget::kOutOfMemory;
    if (total > kMaxCellEntries)
        return Budget::kTooCostly;
    total_ = total;
    return Budget::kWithin;
}

/* Every crossing counted is a pair of edges of two chains sharing a cell: while these
 * pairs are no more than the crossings allowed, and all pairs sharing a cell no more
 * than the tests allowed, counting them would reach no limit. */
bool CrossingCount::surelyWithin() const
{
    return chainPairs_ <= glyva::kMaxGlyphCrossings && sharedPairs_ <= kMaxPairTests;
}

Budget CrossingCount::listCells()
{
    const size_t cells = static_cast<size_t>(side_) * side_;
    const uint64_t total = total_;
    for (size_t c = 0; c < cells; ++c)
        first_[c + 1] += first_[c];
    entries_ = scratchBlock<uint32_t>(scratch_, kEntries, total);
    if (!entries_)
        return Budget::kOutOfMemory;
    for (uint64_t k = 0; k < total; ++k)
        entries_[first_[walk_[k].cell]++] = walk_[k].edge;
    for (size_t c = cells; c > 0; --c) /* back from the ends to the starts */
        first_[c] = first_[c - 1];
    first_[0] = 0;
    return Budget::kWithin;
}

/* The pairs are tested in the same order whether or not the work allowed could run out
 * in the cell: only then is it counted pair by pair. */
Budget CrossingCount::countCell(uint32_t cell, uint32_t *crossings)
{
    const uint32_t begin = first_[cell], end = first_[cell + 1];
    const uint64_t n = end - begin;
    const bool bounded = tests_ + n * (n - 1) / 2 > kMaxPairTests;
    if (n > 1 && !bounded)
        tests_ += n * (n - 1) / 2;
    for (uint32_t i = begin; i < end; ++i) {
        const Edge &e = edges_[entries_[i]];
        /* Edges of one chain never cross (see Edge), and they lie together in the
         * cell's list, which keeps the edges' order: the pairs e makes with the rest of
         * its chain are passed over, though still counted as tests. */
        uint32_t j = i + 1;
        while (j < end && edges_[entries_[j]].chain == e.chain)
            ++j;
        if (bounded && (tests_ += j - i - 1) > kMaxPairTests)
            return Budget::kTooCostly;
        for (; j < end; ++j) {
            double x, y;
            if (bounded && ++tests_ > kMaxPairTests)
                return Budget::kTooCostly;
            if (!cross(e, edges_[entries_[j]], &x, &y))
                continue;
            if (row(y) * side_ + column(x) == cell && ++*crossings > glyva::kMaxGlyphCrossings)
                return Budget::kTooManyCrossings;
        }
    }
    return Budget::kWithin;
}

Budget CrossingCount::run(const glyva::BudgetContour *contours, size_t count, uint32_t *crossings)
{
    uint64_t points = 0;
    for (size_t c = 0; c < count; ++c)
        points += contours[c].count;
    if (!exact_ && (points <= kSurelyWithinPoints || coverWithin(contours, count)))
        return Budget::kWithin;
    if (!collectEdges(contours, count, points))
        return Budget::kOutOfMemory;
    if (edgeCount_ < 2)
        return Budget::kWithin;
    frame();
    Budget result = countCells();
    if (result == Budget::kWithin && !exact_ && surelyWithin())
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

Budget budgetOf(const BudgetContour *contours, size_t contourCount, GlyphCost *cost, bool exact,
                BudgetScratch *scratch)
{
    GlyphCost counted = {0, 0};
    for (size_t c = 0; c < contourCount; ++c)
        counted.points += contours[c].count;
    Budget result = Budget::kTooManyPoints;
    if (counted.points <= kMaxGlyphPoints)
        result = CrossingCount(exact, scratch).run(contours, contourCount, &counted.crossings);
    if (cost)
        *cost = counted;
    return result;
}

Budget budgetOf(const BudgetContour *contours, size_t contourCount, GlyphCost *cost, bool exact)
{
    BudgetScratch scratch = {};
    Budget result = budgetOf(contours, contourCount, cost, exact, &scratch);
    releaseBudgetScratch(&scratch);
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

void releaseBudgetScratch(BudgetScratch *scratch)
{
    for (int b = 0; b < kScratchBlocks; ++b)
        releaseBlock(scratch, b);
    scratch->coverChains = 0;
}

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

Budget fitsBudget(const BudgetContour *contours, size_t contourCount, GlyphCost *cost,
                  BudgetScratch *scratch)
{
    Budget result = budgetOf(contours, contourCount, cost, false, scratch);
    for (int b = 0; b < kScratchBlocks; ++b)
        if (scratch->bytes[b] > kKeptBytes)
            releaseBlock(scratch, b);
    return result;
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
