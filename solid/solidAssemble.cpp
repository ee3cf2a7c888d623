#include <math.h>

#include "solid/solidGeometry.hh"

namespace glyva
{
namespace solid
{
namespace
{

/* Builds the surface triangle by triangle, sharing one vertex per point and layer. */
class SurfaceBuilder
{
  public:
    SurfaceBuilder(Workspace &w, const Plan &plan)
        : g_(w.geometry), s_(w.surface), index_(w.index), plan_(plan),
          unitsPerEm_(w.outline.unitsPerEm), scale_(w.outline.scale)
    {
    }

    bool start()
    {
        s_.vertices.clear();
        s_.corners.clear();
        s_.facets.clear();
        s_.layerZ.clear();
        for (uint32_t k = 0; k < plan_.levels; ++k) {
            if (!s_.layerZ.push(plan_.frontZ[k]))
                return false;
        }
        for (uint32_t k = 0; k < plan_.levels; ++k) {
            if (!s_.layerZ.push(plan_.backZ[k]))
                return false;
        }
        return index_.reset(g_.points.size() * 2);
    }

    uint32_t frontLayer(uint32_t point) const { return levelOf(point); }
    uint32_t backLayer(uint32_t point) const { return plan_.levels + levelOf(point); }

    /* A triangle of a face or a bevel, mapped by position in ems. */
    bool placed(Facet facet, const uint32_t point[3], const uint32_t layer[3])
    {
        Corner corners[3];
        for (int k = 0; k < 3; ++k) {
            const GridPoint p = g_.points[point[k]];
            corners[k] = Corner{0, float(p.x / unitsPerEm_), float(p.y / unitsPerEm_)};
            if (!vertex(point[k], layer[k], &corners[k].vertex))
                return false;
        }
        return triangle(facet, corners);
    }

    /* A wall triangle, mapped by distance along the outline and height, in ems. */
    bool wall(const uint32_t point[3], const uint32_t layer[3], const double along[3])
    {
        Corner corners[3];
        for (int k = 0; k < 3; ++k) {
            corners[k] = Corner{0, float(along[k]), float(s_.layerZ[layer[k]] / scale_)};
            if (!vertex(point[k], layer[k], &corners[k].vertex))
                return false;
        }
        return triangle(Facet::kWall, corners);
    }

    double length(uint32_t a, uint32_t b) const
    {
        const double dx = double(g_.points[b].x) - g_.points[a].x;
        const double dy = double(g_.points[b].y) - g_.points[a].y;
        return sqrt(dx * dx + dy * dy) / unitsPerEm_;
    }

    uint32_t level(uint32_t point) const { return levelOf(point); }

  private:
    uint32_t levelOf(uint32_t point) const { return g_.rings[g_.pointRing[point]].level; }

    bool vertex(uint32_t point, uint32_t layer, uint32_t *id)
    {
        if (!index_.insert(pairKey(point, layer), s_.vertices.size(), id))
            return false;
        return *id != s_.vertices.size() || s_.vertices.push(SolidVertex{point, layer});
    }

    bool triangle(Facet facet, const Corner corners[3])
    {
        return s_.corners.push(corners[0]) && s_.corners.push(corners[1]) &&
               s_.corners.push(corners[2]) && s_.facets.push(facet);
    }

    const Geometry &g_;
    Surface &s_;
    KeyIndex &index_;
    const Plan &plan_;
    double unitsPerEm_;
    double scale_;
};

bool addFace(SurfaceBuilder &b, const Geometry &g, const Plan &plan, bool front)
{
    const bool bevelled = front ? plan.bevelFront : plan.bevelBack;
    for (uint32_t r = 0; r < g.regions.size(); ++r) {
        const Region &region = g.regions[r];
        if (!regionOnFace(region, plan, bevelled))
            continue;
        const Facet face = front ? Facet::kFront : Facet::kBack;
        for (uint32_t t = region.firstTriangle; t < region.firstTriangle + region.triangleCount;
             ++t) {
            const uint32_t *tri = &g.triangles[3 * t];
            const Facet facet =
                region.kind != RegionKind::kBand ? face
                : b.level(tri[0]) == b.level(tri[1]) && b.level(tri[1]) == b.level(tri[2])
                    ? Facet::kStep
                    : Facet::kBevel;
            /* The back sees the same triangles from below: their turn reverses. */
            const uint32_t point[3] = {tri[0], front ? tri[1] : tri[2], front ? tri[2] : tri[1]};
            uint32_t layer[3];
            for (int k = 0; k < 3; ++k)
                layer[k] = front ? b.frontLayer(point[k]) : b.backLayer(point[k]);
            if (!b.placed(facet, point, layer))
                return false;
        }
    }
    return true;
}

/* Two triangles per outline edge from the back's level 0 up to the front's; with the
 * filled side on the ring's left, they face outwards. */
bool addWalls(SurfaceBuilder &b, const Geometry &g, const Plan &plan)
{
    const uint32_t low = plan.levels, high = 0;
    for (uint32_t ring = g.levelFirstRing[0]; ring < g.levelFirstRing[1]; ++ring) {
        const Ring &r = g.rings[ring];
        double along = 0.0;
        for (uint32_t i = 0; i < r.count; ++i) {
            const uint32_t p = r.first + i, q = r.first + (i + 1) % r.count;
            const double next = along + b.length(p, q);
            const uint32_t pt1[3] = {p, q, q}, layer1[3] = {low, low, high};
            const double along1[3] = {along, next, next};
            const uint32_t pt2[3] = {p, q, p}, layer2[3] = {low, high, high};
            const double along2[3] = {along, next, along};
            if (!b.wall(pt1, layer1, along1) || !b.wall(pt2, layer2, along2))
                return false;
            along = next;
        }
    }
    return true;
}

/* Every directed edge once, and its reverse once: closed, 2-manifold along every edge
 * and consistently wound. */
bool closed(Workspace &w)
{
    const Surface &s = w.surface;
    const uint32_t triangles = s.facets.size();
    if (!w.edges.reset(3 * triangles))
        return false;
    for (uint32_t t = 0; t < triangles; ++t) {
        for (uint32_t k = 0; k < 3; ++k) {
            const uint32_t a = s.corners[3 * t + k].vertex;
            const uint32_t b = s.corners[3 * t + (k + 1) % 3].vertex;
            uint32_t existing;
            if (a == b || !w.edges.insert(pairKey(a, b), t, &existing) || existing != t)
                return false;
        }
    }
    for (uint32_t t = 0; t < triangles; ++t) {
        for (uint32_t k = 0; k < 3; ++k) {
            const uint32_t a = s.corners[3 * t + k].vertex;
            const uint32_t b = s.corners[3 * t + (k + 1) % 3].vertex;
            if (w.edges.find(pairKey(b, a)) == KeyIndex::kMissing)
                return false;
        }
    }
    return true;
}

} // namespace

bool assembleSurface(Workspace &w, const Plan &plan, Report *report)
{
    SurfaceBuilder builder(w, plan);
    if (!builder.start() || !addFace(builder, w.geometry, plan, true) ||
        !addFace(builder, w.geometry, plan, false) || !addWalls(builder, w.geometry, plan))
        return fail(report, "out of memory assembling the solid");
    if (!closed(w))
        return fail(report, "the solid does not close (an internal fault)");
    return true;
}

} // namespace solid
} // namespace glyva
