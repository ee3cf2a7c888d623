#include <math.h>
#include <stdint.h>

#include "glyph/gluTess.hh"
#include "solid/solidFlip.hh"
#include "solid/solidGeometry.hh"

namespace glyva
{
namespace solid
{
namespace
{

/* One region's tessellation: GLU hands back the point ids given with each vertex. */
struct TessRun {
    Array<uint32_t> *triangles;
    bool failed;
};

/* Point ids travel through GLU as id + 1, so that no vertex's data is null. */
void *vertexData(uint32_t point)
{
    return reinterpret_cast<void *>(static_cast<uintptr_t>(point) + 1);
}

void onBegin(GLenum, void *) {}
void onEnd(void *) {}
void onEdgeFlag(GLboolean, void *) {}

void onVertex(void *data, void *info)
{
    auto *run = static_cast<TessRun *>(info);
    const auto point = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(data) - 1);
    if (!run->triangles->push(point))
        run->failed = true;
}

/* The rings of a region neither cross nor touch, so GLU never needs a new vertex; if it
 * asks for one, the region is refused rather than given a point no level has. */
void onCombine(GLdouble *, void *neighbours[4], GLfloat *, void **out, void *info)
{
    static_cast<TessRun *>(info)->failed = true;
    *out = neighbours[0];
}

void onError(GLenum, void *info)
{
    static_cast<TessRun *>(info)->failed = true;
}

/* The grid points for the zero-area pass: exact integer turns. */
struct GridTurns {
    const Geometry &g;
    int sign(uint32_t a, uint32_t b, uint32_t c) const
    {
        const int64_t turn = orient(g.points[a], g.points[b], g.points[c]);
        return (turn > 0) - (turn < 0);
    }
    bool between(uint32_t m, uint32_t u, uint32_t w) const
    {
        const GridPoint pm = g.points[m], pu = g.points[u], pw = g.points[w];
        const int64_t fromU = (int64_t{pm.x} - pu.x) * (int64_t{pw.x} - pu.x) +
                              (int64_t{pm.y} - pu.y) * (int64_t{pw.y} - pu.y);
        const int64_t fromW = (int64_t{pm.x} - pw.x) * (int64_t{pu.x} - pw.x) +
                              (int64_t{pm.y} - pw.y) * (int64_t{pu.y} - pw.y);
        return fromU >= 0 && fromW >= 0;
    }
};

/* A ring's points in the direction its region runs it. */
struct RingWalk {
    uint32_t first;
    uint32_t count;
    bool reversed;
    uint32_t at(uint32_t i) const { return first + (reversed ? count - 1 - i : i); }
};

RingWalk walkOf(const Geometry &g, const RegionRing &rr)
{
    const Ring &r = g.rings[rr.ring];
    return RingWalk{r.first, r.count, rr.reversed != 0};
}

GLUtesselator *tessellator(Workspace &w)
{
    if (!w.tess) {
        const TessCallbacks callbacks{onBegin, onVertex, onCombine, onEnd, onError, onEdgeFlag};
        w.tess = newTessellator(callbacks);
        if (!w.tess)
            return nullptr;
        gluTessProperty(w.tess, GLU_TESS_WINDING_RULE, GLU_TESS_WINDING_POSITIVE);
        gluTessNormal(w.tess, 0.0, 0.0, 1.0);
    }
    return w.tess;
}

/* Any region through GLU: the region lies where its rings wind positively around. */
bool tessellateRegion(Workspace &w, const Region &region, Report *report)
{
    Geometry &g = w.geometry;
    GLUtesselator *tess = tessellator(w);
    if (!tess)
        return fail(report, "out of memory creating the tessellator");
    TessRun run{&g.triangles, false};
    gluTessBeginPolygon(tess, &run);
    for (uint32_t r = region.first; r < region.first + region.count; ++r) {
        const RingWalk walk = walkOf(g, g.regionRings[r]);
        gluTessBeginContour(tess);
        for (uint32_t i = 0; i < walk.count; ++i) {
            const uint32_t point = walk.at(i);
            GLdouble coords[3] = {double(g.points[point].x), double(g.points[point].y), 0.0};
            gluTessVertex(tess, coords, vertexData(point));
        }
        gluTessEndContour(tess);
    }
    gluTessEndPolygon(tess);
    if (run.failed || (g.triangles.size() - region.firstTriangle * 3) % 3 != 0)
        return fail(report, "the tessellator could not triangulate a region of level %u",
                    static_cast<unsigned>(region.level));
    return true;
}

/* Every triangle must turn counter-clockwise or lie flat; flat ones are turned away. */
bool removeFlatTriangles(Workspace &w, const Region &region, Report *report)
{
    Geometry &g = w.geometry;
    const GridTurns turns{g};
    for (uint32_t t = region.firstTriangle * 3; t < g.triangles.size(); t += 3) {
        if (turns.sign(g.triangles[t], g.triangles[t + 1], g.triangles[t + 2]) < 0)
            return fail(report, "the tessellator turned a triangle clockwise");
    }
    ZeroAreaRemover<GridTurns> remover(turns, w.edges, w.scratch);
    if (!remover.run(g.triangles, region.firstTriangle * 3))
        return fail(report, "zero-area triangles remain in a region of level %u",
                    static_cast<unsigned>(region.level));
    return true;
}

/* Whether d lies inside the circle through the counter-clockwise a, b, c, by a margin
 * that keeps points on one circle (a flattened arc) from being flipped back and forth.
 * Only the quality of the triangles depends on it, never their validity, so doubles do. */
bool inCircle(GridPoint a, GridPoint b, GridPoint c, GridPoint d)
{
    const double ax = double(a.x) - d.x, ay = double(a.y) - d.y;
    const double bx = double(b.x) - d.x, by = double(b.y) - d.y;
    const double cx = double(c.x) - d.x, cy = double(c.y) - d.y;
    const double a2 = ax * ax + ay * ay, b2 = bx * bx + by * by, c2 = cx * cx + cy * cy;
    const double t1 = a2 * (bx * cy - cx * by), t2 = b2 * (cx * ay - ax * cy),
                 t3 = c2 * (ax * by - bx * ay);
    return t1 + t2 + t3 > 1e-9 * (fabs(t1) + fabs(t2) + fabs(t3));
}

/* Lawson's flips towards the constrained Delaunay triangulation of a region: GLU's sweep
 * leaves slivers and, along a convex chain of a bevel band, triangles with all three
 * corners on one ring, which would lie flat as notches in the slope. Their circumcircles
 * reach over the other ring, so flipping removes them. An edge is flipped only when both
 * new triangles turn counter-clockwise exactly, and the ring edges have no triangle
 * across, so the triangulation stays valid whatever the circle tests say; the number of
 * flips is bounded. */
class DelaunayFlipper
{
  public:
    DelaunayFlipper(const Geometry &g, KeyIndex &edges, Array<uint32_t> &stack)
        : g_(g), edges_(edges), stack_(stack)
    {
    }

    bool run(uint32_t *triangles, uint32_t count)
    {
        tri_ = triangles;
        if (!edges_.reset(3 * count) || !stack_.reserve(uint64_t{6} * count))
            return false;
        stack_.clear();
        for (uint32_t slot = 0; slot < 3 * count; ++slot) {
            uint32_t existing;
            if (!edges_.insert(key(slot), slot, &existing))
                return false;
            stack_.push(slot);
        }
        uint64_t budget = uint64_t{16} * count + 64;
        while (!stack_.empty() && budget > 0) {
            const uint32_t slot = stack_.back();
            stack_.resize(stack_.size() - 1);
            uint32_t other;
            if (flip(slot, &other) && !pushTriangles(slot / 3, other))
                return false;
            --budget;
        }
        return true;
    }

  private:
    uint32_t corner(uint32_t slot, uint32_t k) const { return tri_[slot / 3 * 3 + (slot + k) % 3]; }
    uint64_t key(uint32_t slot) const { return pairKey(corner(slot, 0), corner(slot, 1)); }
    GridPoint at(uint32_t point) const { return g_.points[point]; }
    /* Whether the slot is the edge from a to b: the index may have missed an update when
     * memory ran out, and a stale entry must not pass for a neighbour. */
    bool holds(uint32_t slot, uint32_t a, uint32_t b) const
    {
        return slot != KeyIndex::kMissing && corner(slot, 0) == a && corner(slot, 1) == b;
    }

    /* The edge a-b of triangle (a, b, c), with (b, a, d) across, becomes c-d. */
    bool flip(uint32_t slot, uint32_t *other)
    {
        const uint32_t a = corner(slot, 0), b = corner(slot, 1), c = corner(slot, 2);
        const uint32_t across = edges_.find(pairKey(b, a));
        if (!holds(across, b, a) || edges_.find(pairKey(a, b)) != slot)
            return false;
        const uint32_t d = corner(across, 2);
        if (!inCircle(at(a), at(b), at(c), at(d)) || orient(at(a), at(d), at(c)) <= 0 ||
            orient(at(b), at(c), at(d)) <= 0)
            return false;
        edges_.remove(pairKey(a, b));
        edges_.remove(pairKey(b, a));
        place(slot / 3, a, d, c);
        place(across / 3, b, c, d);
        *other = across / 3;
        return true;
    }

    void place(uint32_t t, uint32_t a, uint32_t b, uint32_t c)
    {
        tri_[3 * t] = a;
        tri_[3 * t + 1] = b;
        tri_[3 * t + 2] = c;
        for (uint32_t k = 0; k < 3; ++k)
            edges_.set(key(3 * t + k), 3 * t + k);
    }

    /* The edges around a flip may now fail the circle test. */
    bool pushTriangles(uint32_t t, uint32_t u)
    {
        for (uint32_t k = 0; k < 3; ++k) {
            if (!stack_.push(3 * t + k) || !stack_.push(3 * u + k))
                return false;
        }
        return true;
    }

    const Geometry &g_;
    KeyIndex &edges_;
    Array<uint32_t> &stack_;
    uint32_t *tri_ = nullptr;
};

bool flipToDelaunay(Workspace &w, const Region &region, Report *report)
{
    Geometry &g = w.geometry;
    DelaunayFlipper flipper(g, w.edges, w.scratch);
    const uint32_t first = region.firstTriangle * 3;
    if (!flipper.run(g.triangles.data() + first, (g.triangles.size() - first) / 3))
        return fail(report, "out of memory improving a region's triangles");
    return true;
}

} // namespace

bool triangulateRegion(Workspace &w, uint32_t index, Report *report)
{
    Geometry &g = w.geometry;
    Region &region = g.regions[index];
    region.firstTriangle = g.triangles.size() / 3;
    if (!tessellateRegion(w, region, report) || !removeFlatTriangles(w, region, report))
        return false;
    /* A face is flat: any triangulation of it looks the same. */
    if (region.kind == RegionKind::kBand && !flipToDelaunay(w, region, report))
        return false;
    region.triangleCount = g.triangles.size() / 3 - region.firstTriangle;
    return true;
}

void releaseTessellator(Workspace &w)
{
    if (w.tess)
        gluDeleteTess(w.tess);
    w.tess = nullptr;
}

} // namespace solid
} // namespace glyva
