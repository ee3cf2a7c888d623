#include "solid/solidGeometry.hh"

namespace glyva
{
namespace solid
{
namespace
{

constexpr uint32_t kNoParent = UINT32_MAX;

/* Twice the ring's signed area, exactly: the true value fits 64 bits, so the sum may
 * wrap on the way (unsigned arithmetic) and still end right. */
int64_t ringArea2(const Geometry &g, const Ring &r)
{
    uint64_t sum = 0;
    for (uint32_t i = 0; i < r.count; ++i) {
        const GridPoint a = g.points[r.first + i];
        const GridPoint b = g.points[r.first + (i + 1) % r.count];
        sum += static_cast<uint64_t>(int64_t{a.x} * b.y - int64_t{b.x} * a.y);
    }
    return static_cast<int64_t>(sum);
}

BandRing bandRing(const Geometry &g, uint32_t ring, bool reversed)
{
    const Ring &r = g.rings[ring];
    BandRing band{
        ring, reversed ? 1u : 0u, ringArea2(g, r), g.points[r.first], g.points[r.first], kNoParent};
    band.area2 = reversed ? -band.area2 : band.area2;
    for (uint32_t i = 1; i < r.count; ++i) {
        const GridPoint p = g.points[r.first + i];
        band.low =
            GridPoint{p.x < band.low.x ? p.x : band.low.x, p.y < band.low.y ? p.y : band.low.y};
        band.high =
            GridPoint{p.x > band.high.x ? p.x : band.high.x, p.y > band.high.y ? p.y : band.high.y};
    }
    return band;
}

/* Whether p lies inside the ring (non-zero winding, exact). No point of one ring lies on
 * another, so the boundary case never arises. */
bool inside(const Geometry &g, const Ring &r, GridPoint p)
{
    int winding = 0;
    for (uint32_t i = 0; i < r.count; ++i) {
        const GridPoint a = g.points[r.first + i];
        const GridPoint b = g.points[r.first + (i + 1) % r.count];
        if (a.y <= p.y && b.y > p.y && orient(a, b, p) > 0)
            ++winding;
        else if (a.y > p.y && b.y <= p.y && orient(a, b, p) < 0)
            --winding;
    }
    return winding != 0;
}

bool boxWithin(const BandRing &inner, const BandRing &outer)
{
    return inner.low.x >= outer.low.x && inner.low.y >= outer.low.y &&
           inner.high.x <= outer.high.x && inner.high.y <= outer.high.y;
}

int64_t magnitude(int64_t v)
{
    return v < 0 ? -v : v;
}

/* The rings of both levels nest without crossing, so a ring lies inside another as soon
 * as its first point does; the smallest ring around it is its parent. */
void findParents(const Geometry &g, Array<BandRing> &rings)
{
    for (uint32_t i = 0; i < rings.size(); ++i) {
        const GridPoint p = g.points[g.rings[rings[i].ring].first];
        for (uint32_t j = 0; j < rings.size(); ++j) {
            if (j == i || !boxWithin(rings[i], rings[j]))
                continue;
            const uint32_t best = rings[i].parent;
            if (best != kNoParent && magnitude(rings[j].area2) >= magnitude(rings[best].area2))
                continue;
            if (inside(g, g.rings[rings[j].ring], p))
                rings[i].parent = j;
        }
    }
}

bool collectRings(const Geometry &g, uint32_t level, Array<BandRing> &rings)
{
    rings.clear();
    for (uint32_t ring = g.levelFirstRing[level]; ring < g.levelFirstRing[level + 2]; ++ring) {
        if (!rings.push(bandRing(g, ring, g.rings[ring].level != level)))
            return false;
    }
    return true;
}

/* A ring with the band on its left that turns counter-clockwise bounds a region from
 * outside; the rings it immediately encloses, all clockwise, are the region's holes. */
bool addRegions(Geometry &g, const Array<BandRing> &rings, uint32_t level, bool *consistent)
{
    for (uint32_t i = 0; i < rings.size(); ++i) {
        const bool outer = rings[i].area2 > 0;
        const uint32_t parent = rings[i].parent;
        if (outer == (parent != kNoParent && rings[parent].area2 > 0))
            *consistent = false;
        if (!outer)
            continue;
        const Region region{g.regionRings.size(), 1, level, RegionKind::kBand, 0, 0};
        if (!g.regions.push(region) ||
            !g.regionRings.push(RegionRing{rings[i].ring, rings[i].reversed}))
            return false;
        for (uint32_t j = 0; j < rings.size(); ++j) {
            if (rings[j].parent != i)
                continue;
            g.regions.back().count += 1;
            if (!g.regionRings.push(RegionRing{rings[j].ring, rings[j].reversed}))
                return false;
        }
    }
    return true;
}

} // namespace

bool bandRegions(Workspace &w, uint32_t level, Report *report)
{
    Geometry &g = w.geometry;
    if (!collectRings(g, level, w.bandRings))
        return fail(report, "out of memory finding the bevel bands");
    findParents(g, w.bandRings);
    bool consistent = true;
    if (!addRegions(g, w.bandRings, level, &consistent))
        return fail(report, "out of memory finding the bevel bands");
    if (!consistent)
        return fail(report, "the rings of levels %u and %u do not nest",
                    static_cast<unsigned>(level), static_cast<unsigned>(level + 1));
    return true;
}

} // namespace solid
} // namespace glyva
