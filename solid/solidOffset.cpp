/* The one file that calls the polygon clipping library. Clipper takes and returns its
 * paths in standard vectors and reports overflow and exhaustion by exceptions, so this
 * file alone is built with exceptions: every entry catches everything, and only the
 * builder's own records leave it. */
#include <math.h>

#include <clipper.hpp>

#include "solid/solidGeometry.hh"

namespace glyva
{
namespace solid
{
namespace
{

using ClipperLib::Clipper;
using ClipperLib::ClipperOffset;
using ClipperLib::IntPoint;
using ClipperLib::Path;
using ClipperLib::Paths;
using ClipperLib::PolyNode;
using ClipperLib::PolyTree;

/* Miter joins keep the inset outline's inner corners sharp, so that a chamfer shows a
 * crisp crease where a stem meets a bowl; a miter longer than four times the step is cut
 * square, which only the spikes of hostile outlines reach. */
constexpr double kMiterLimit = 4.0;

/* Points closer than this many grid units to a neighbour, or to the line through their
 * neighbours, are dropped: rounding leaves steps of a unit or two on inset rings, whose
 * direction is noise and which no triangle of a band could lean on. */
constexpr double kCleanDistance = 4.0;

/* Attempts at a level whose rings touch, each inset by a further few grid units. */
constexpr int kTouchAttempts = 4;

enum class Added { kDone, kTouching, kNoMemory };

Path ringPath(const Geometry &g, uint32_t ring)
{
    const Ring &r = g.rings[ring];
    Path path;
    path.reserve(r.count);
    for (uint32_t i = 0; i < r.count; ++i) {
        const GridPoint p = g.points[r.first + i];
        path.push_back(IntPoint(p.x, p.y));
    }
    return path;
}

Paths levelPaths(const Geometry &g, uint32_t level)
{
    Paths paths;
    for (uint32_t ring = g.levelFirstRing[level]; ring < g.levelFirstRing[level + 1]; ++ring)
        paths.push_back(ringPath(g, ring));
    return paths;
}

/* Appends the ring running with its filled side on the left: counter-clockwise for an
 * outer boundary, clockwise for a hole. */
Added addRing(Geometry *g, const Path &path, uint32_t level, bool hole)
{
    const bool forwards = (ClipperLib::Area(path) > 0.0) != hole;
    const uint32_t ring = g->rings.size();
    const uint32_t first = g->points.size();
    const uint32_t count = static_cast<uint32_t>(path.size());
    if (!g->rings.push(Ring{first, count, level}) || !g->points.reserve(uint64_t{first} + count) ||
        !g->pointRing.reserve(uint64_t{first} + count))
        return Added::kNoMemory;
    for (uint32_t i = 0; i < count; ++i) {
        const IntPoint &q = path[forwards ? i : count - 1 - i];
        const GridPoint p{static_cast<int32_t>(q.X), static_cast<int32_t>(q.Y)};
        uint32_t existing;
        if (!g->pointAt.insert(positionKey(p), g->points.size(), &existing))
            return Added::kNoMemory;
        if (existing != g->points.size())
            return Added::kTouching;
        g->points.push(p);
        g->pointRing.push(ring);
    }
    return Added::kDone;
}

bool addRegionRing(Geometry *g, uint32_t ring)
{
    g->regions.back().count += 1;
    return g->regionRings.push(RegionRing{ring, 0});
}

/* Each outer boundary of the tree with its holes is one face region of the level. */
Added addTree(Geometry *g, const PolyNode &node, uint32_t level)
{
    for (const PolyNode *outer : node.Childs) {
        if (outer->Contour.size() < 3)
            continue;
        const Region region{g->regionRings.size(), 0, level, RegionKind::kFace, 0, 0};
        if (!g->regions.push(region))
            return Added::kNoMemory;
        Added added = addRing(g, outer->Contour, level, false);
        if (added != Added::kDone || !addRegionRing(g, g->rings.size() - 1))
            return added == Added::kDone ? Added::kNoMemory : added;
        for (const PolyNode *hole : outer->Childs) {
            if (hole->Contour.size() < 3)
                continue;
            added = addRing(g, hole->Contour, level, true);
            if (added != Added::kDone || !addRegionRing(g, g->rings.size() - 1))
                return added == Added::kDone ? Added::kNoMemory : added;
        }
        /* Islands inside the holes are regions of their own, after this one is whole. */
        for (const PolyNode *hole : outer->Childs) {
            added = addTree(g, *hole, level);
            if (added != Added::kDone)
                return added;
        }
    }
    return Added::kDone;
}

/* What the geometry held before a level was tried, to go back to when it touches. */
struct Mark {
    uint32_t points, rings, regionRings, regions;
};

Mark markOf(const Geometry &g)
{
    return Mark{g.points.size(), g.rings.size(), g.regionRings.size(), g.regions.size()};
}

bool rollBack(Geometry *g, const Mark &mark)
{
    g->points.resize(mark.points);
    g->pointRing.resize(mark.points);
    g->rings.resize(mark.rings);
    g->regionRings.resize(mark.regionRings);
    g->regions.resize(mark.regions);
    if (!g->pointAt.reset(g->points.size()))
        return false;
    for (uint32_t i = 0; i < g->points.size(); ++i) {
        uint32_t ignored;
        g->pointAt.insert(positionKey(g->points[i]), i, &ignored);
    }
    return true;
}

/* The paths' union as non-touching rings: Clipper's strictly simple output splits a
 * ring that touches itself or another at a point. */
void simpleUnion(const Paths &paths, ClipperLib::PolyFillType fill, PolyTree *tree)
{
    Clipper clipper;
    clipper.StrictlySimple(true);
    clipper.AddPaths(paths, ClipperLib::ptSubject, true);
    clipper.Execute(ClipperLib::ctUnion, *tree, fill, fill);
}

void inset(const Paths &paths, double distance, Paths *out)
{
    ClipperOffset offset(kMiterLimit);
    offset.AddPaths(paths, ClipperLib::jtMiter, ClipperLib::etClosedPolygon);
    offset.Execute(*out, -distance);
}

/* Adds the tree's rings as the next level, or leaves the geometry as it was: kTouching
 * when two of them share a point. */
Added addLevel(Geometry *g, const PolyTree &tree, uint32_t level)
{
    const Mark mark = markOf(*g);
    const Added added = addTree(g, tree, level);
    if (added == Added::kDone && !g->levelFirstRing.push(g->rings.size()))
        return Added::kNoMemory;
    if (added != Added::kDone && !rollBack(g, mark))
        return Added::kNoMemory;
    return added;
}

/* Adds level from base inset by distance grid units. Where the rings of the result
 * touch (two strokes exactly twice the distance apart, contours meeting at a point),
 * the level is tried again a few units further in, which parts them. */
bool makeLevel(Geometry *g, uint32_t level, const Paths &base, double distance, int firstAttempt,
               Report *report)
{
    for (int attempt = firstAttempt; attempt < kTouchAttempts; ++attempt) {
        const double further = attempt ? ldexp(1.0, attempt) : 0.0;
        Paths paths = base;
        if (distance + further > 0.0)
            inset(base, distance + further, &paths);
        ClipperLib::CleanPolygons(paths, kCleanDistance);
        PolyTree tree;
        simpleUnion(paths, ClipperLib::pftNonZero, &tree);
        const Added added = addLevel(g, tree, level);
        if (added == Added::kDone)
            return true;
        if (added == Added::kNoMemory)
            return fail(report, "out of memory offsetting the outline");
    }
    return fail(report, "the outline's rings touch at level %u however they are inset",
                static_cast<unsigned>(level));
}

Paths outlinePaths(const Outline &o)
{
    Paths paths;
    uint32_t start = 0;
    for (uint32_t c = 0; c < o.ends.size(); ++c) {
        Path path;
        for (uint32_t i = start; i < o.ends[c]; ++i)
            path.push_back(IntPoint(llround(o.xy[2 * i] * o.unitsPerEm),
                                    llround(o.xy[2 * i + 1] * o.unitsPerEm)));
        start = o.ends[c];
        paths.push_back(path);
    }
    return paths;
}

} // namespace

bool outlineLevel(const Outline &outline, Geometry *g, Report *report)
{
    try {
        g->points.clear();
        g->pointRing.clear();
        g->rings.clear();
        g->levelFirstRing.clear();
        g->regionRings.clear();
        g->regions.clear();
        g->triangles.clear();
        if (!g->levelFirstRing.push(0) || !g->pointAt.reset(outline.xy.size() / 2))
            return fail(report, "out of memory");
        /* The outline's own points first; only where its rings touch is it inset. */
        PolyTree tree;
        simpleUnion(outlinePaths(outline),
                    outline.evenOdd ? ClipperLib::pftEvenOdd : ClipperLib::pftNonZero, &tree);
        const Added added = addLevel(g, tree, 0);
        if (added != Added::kTouching)
            return added == Added::kDone || fail(report, "out of memory clipping the outline");
        Paths clean;
        ClipperLib::PolyTreeToPaths(tree, clean);
        return makeLevel(g, 0, clean, 0.0, 1, report);
    } catch (...) {
        return fail(report, "the outline cannot be clipped (out of memory or range)");
    }
}

bool insetLevel(Geometry *g, uint32_t level, double step, Report *report)
{
    try {
        return makeLevel(g, level + 1, levelPaths(*g, level), step, 0, report);
    } catch (...) {
        return fail(report, "the outline cannot be inset (out of memory or range)");
    }
}

} // namespace solid
} // namespace glyva
