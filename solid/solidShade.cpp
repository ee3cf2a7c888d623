#include <math.h>
#include <string.h>

#include "solid/solidGeometry.hh"

namespace glyva
{
namespace solid
{
namespace
{

/* Where the outline or the bevel's profile turns by less than this, the normals on
 * either side are shared, so that a flattened curve and a rounded bevel shade round;
 * sharper corners stay hard. */
const double kCreaseCosine = 0.8191520442889918; /* cos 35 degrees */

/* A swept normal more than 60 degrees from its triangle's own does not describe it. */
const double kLeanCosine = 0.5;

struct Vec3 {
    double x, y, z;
};

Vec3 sub(Vec3 a, Vec3 b)
{
    return Vec3{a.x - b.x, a.y - b.y, a.z - b.z};
}
Vec3 cross(Vec3 a, Vec3 b)
{
    return Vec3{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
double dot(Vec3 a, Vec3 b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
double norm(Vec3 a)
{
    return sqrt(dot(a, a));
}

struct Vec2 {
    double out, up;
};

Vec2 unit(Vec2 v)
{
    const double length = sqrt(v.out * v.out + v.up * v.up);
    return Vec2{v.out / length, v.up / length};
}

/* Normals from the shape rather than from the triangles: a wall or a bevel strip is an
 * outline swept along a profile, so its normal at a corner is the outline's outward
 * normal tilted by the profile's slope. That keeps the shading smooth along curves and
 * down rounded bevels however the strips were split into triangles, and hard where
 * the outline or the profile turns by 35 degrees or more. Faces keep (0, 0, +-1);
 * steps (band regions where the inset changed shape) keep their triangles' own. */
class Shader
{
  public:
    Shader(Workspace &w, const Profile &profile, const Plan &plan,
           Array<glyvaSolidVertex> *vertices, Array<uint32_t> *indices)
        : w_(w), g_(w.geometry), s_(w.surface), profile_(profile), plan_(plan), out_(*vertices),
          indices_(*indices)
    {
    }

    bool run()
    {
        if (!facetNormals() || !incidence())
            return false;
        out_.clear();
        if (!indices_.resize(s_.corners.size()))
            return false;
        for (uint32_t v = 0; v < s_.vertices.size(); ++v) {
            if (!emitVertex(v))
                return false;
        }
        return true;
    }

  private:
    /* Grid points within 2^23 units times the grid: exact as floats when the grid is a
     * power of two. */
    Vec3 position(uint32_t vertex) const
    {
        const SolidVertex &sv = s_.vertices[vertex];
        const GridPoint p = g_.points[sv.point];
        const double unit = w_.outline.unit;
        return Vec3{double(float(p.x * unit)), double(float(p.y * unit)),
                    double(s_.layerZ[sv.layer])};
    }
    Vec3 cornerPosition(uint32_t corner) const { return position(s_.corners[corner].vertex); }
    Vec3 facetNormal(uint32_t t) const
    {
        const float *n = &w_.facetNormals[3 * t];
        return Vec3{n[0], n[1], n[2]};
    }
    uint32_t pointOf(uint32_t corner) const { return s_.vertices[s_.corners[corner].vertex].point; }
    uint32_t levelOf(uint32_t corner) const
    {
        return s_.vertices[s_.corners[corner].vertex].layer % plan_.levels;
    }
    bool onFront(uint32_t corner) const
    {
        return s_.vertices[s_.corners[corner].vertex].layer < plan_.levels;
    }

    bool facetNormals()
    {
        if (!w_.facetNormals.resize(uint64_t{3} * s_.facets.size()))
            return false;
        for (uint32_t t = 0; t < s_.facets.size(); ++t) {
            Vec3 n = cross(sub(cornerPosition(3 * t + 1), cornerPosition(3 * t)),
                           sub(cornerPosition(3 * t + 2), cornerPosition(3 * t)));
            const double length = norm(n);
            w_.facetNormals[3 * t] = float(n.x / length);
            w_.facetNormals[3 * t + 1] = float(n.y / length);
            w_.facetNormals[3 * t + 2] = float(n.z / length);
        }
        return true;
    }

    /* The corners around each vertex, grouped by vertex. */
    bool incidence()
    {
        Array<uint32_t> &start = w_.incidenceStart;
        Array<uint32_t> &list = w_.incidence;
        if (!start.resize(0) || !start.resize(uint64_t{s_.vertices.size()} + 1) ||
            !list.resize(s_.corners.size()))
            return false;
        for (uint32_t c = 0; c < s_.corners.size(); ++c)
            start[s_.corners[c].vertex + 1] += 1;
        for (uint32_t v = 0; v < s_.vertices.size(); ++v)
            start[v + 1] += start[v];
        Array<uint32_t> &fill = w_.scratch;
        if (!fill.resize(0) || !fill.resize(s_.vertices.size()))
            return false;
        for (uint32_t c = 0; c < s_.corners.size(); ++c) {
            const uint32_t v = s_.corners[c].vertex;
            list[start[v] + fill[v]++] = c;
        }
        return true;
    }

    /* The outward normal of the ring edge from a to b: the filled side is on the left. */
    Vec3 edgeNormal(uint32_t a, uint32_t b) const
    {
        const double dx = double(g_.points[b].x) - g_.points[a].x;
        const double dy = double(g_.points[b].y) - g_.points[a].y;
        const double length = sqrt(dx * dx + dy * dy);
        return Vec3{dy / length, -dx / length, 0.0};
    }

    /* The outline's outward normal at the corner's point: shared by both edges where the
     * ring turns gently, else the edge the facet lies along (a wall) or faces most (a
     * bevel). */
    Vec3 outlineNormal(uint32_t corner) const
    {
        const uint32_t p = pointOf(corner);
        const Ring &r = g_.rings[g_.pointRing[p]];
        const uint32_t i = p - r.first;
        const uint32_t prev = r.first + (i + r.count - 1) % r.count;
        const uint32_t next = r.first + (i + 1) % r.count;
        const Vec3 before = edgeNormal(prev, p), after = edgeNormal(p, next);
        if (dot(before, after) >= kCreaseCosine) {
            const Vec3 sum{before.x + after.x, before.y + after.y, 0.0};
            const double length = norm(sum);
            return Vec3{sum.x / length, sum.y / length, 0.0};
        }
        const uint32_t t = corner / 3;
        if (s_.facets[t] == Facet::kWall) {
            for (uint32_t k = 0; k < 3; ++k) {
                if (pointOf(3 * t + k) == next)
                    return after;
            }
            return before;
        }
        const Vec3 own = facetNormal(t);
        return dot(own, after) >= dot(own, before) ? after : before;
    }

    /* The profile's (outward, up) normal of band b, the wall below band 0 and the face
     * above the last band. */
    Vec2 segment(int64_t band) const
    {
        if (band < 0)
            return Vec2{1.0, 0.0};
        if (band >= int64_t{plan_.levels} - 1)
            return Vec2{0.0, 1.0};
        const auto b = static_cast<uint32_t>(band);
        return unit(Vec2{profile_.rise[b + 1] - profile_.rise[b],
                         profile_.inset[b + 1] - profile_.inset[b]});
    }

    /* The profile normal where band meets the band (or wall, or face) on the other side
     * of level: their mean where they turn gently, band's own otherwise. */
    Vec2 profileNormal(int64_t band, uint32_t level) const
    {
        const Vec2 own = segment(band);
        const Vec2 other = segment(level == band ? band - 1 : band + 1);
        if (own.out * other.out + own.up * other.up < kCreaseCosine)
            return own;
        return unit(Vec2{own.out + other.out, own.up + other.up});
    }

    /* Where an inset ran out of room, a band triangle may reach across a stroke and
     * lean far from the swept shape; it keeps its own normal. */
    Vec3 sweptNormal(uint32_t corner, Vec2 profile) const
    {
        const Vec3 outline = outlineNormal(corner);
        const double up = onFront(corner) ? profile.up : -profile.up;
        const Vec3 swept{outline.x * profile.out, outline.y * profile.out, up};
        const Vec3 own = facetNormal(corner / 3);
        return dot(swept, own) >= kLeanCosine * norm(swept) ? swept : own;
    }

    /* A wall's profile is vertical; it leans towards the bevel above a bevelled face
     * when the two meet gently. */
    Vec2 wallProfile(uint32_t corner) const
    {
        const bool bevelled = onFront(corner) ? plan_.bevelFront : plan_.bevelBack;
        return bevelled ? profileNormal(-1, 0) : Vec2{1.0, 0.0};
    }

    uint32_t bandOf(uint32_t t) const
    {
        uint32_t band = levelOf(3 * t);
        for (uint32_t k = 1; k < 3; ++k)
            band = levelOf(3 * t + k) < band ? levelOf(3 * t + k) : band;
        return band;
    }

    Vec3 cornerNormal(uint32_t corner) const
    {
        const uint32_t t = corner / 3;
        switch (s_.facets[t]) {
        case Facet::kFront:
            return Vec3{0.0, 0.0, 1.0};
        case Facet::kBack:
            return Vec3{0.0, 0.0, -1.0};
        case Facet::kStep:
            return facetNormal(t);
        case Facet::kWall:
            return sweptNormal(corner, wallProfile(corner));
        default:
            return sweptNormal(corner, profileNormal(bandOf(t), levelOf(corner)));
        }
    }

    /* One output vertex per distinct normal and texture coordinate at the vertex. */
    bool emitVertex(uint32_t v)
    {
        const uint32_t first = out_.size();
        const Vec3 p = position(v);
        const Array<uint32_t> &start = w_.incidenceStart;
        for (uint32_t i = start[v]; i < start[v + 1]; ++i) {
            const uint32_t corner = w_.incidence[i];
            Vec3 n = cornerNormal(corner);
            const double length = norm(n);
            n = Vec3{n.x / length, n.y / length, n.z / length};
            const Corner &c = s_.corners[corner];
            const uint32_t mapping = s_.facets[corner / 3] == Facet::kWall
                                         ? GLYVA_SOLID_UV_ALONG_OUTLINE
                                         : GLYVA_SOLID_UV_BY_POSITION;
            const glyvaSolidVertex out = {{float(p.x), float(p.y), float(p.z)},
                                          {float(n.x), float(n.y), float(n.z)},
                                          {c.u, c.v},
                                          mapping};
            uint32_t at = first;
            while (at < out_.size() && memcmp(&out_[at], &out, sizeof out) != 0)
                ++at;
            if (at == out_.size() && !out_.push(out))
                return false;
            indices_[corner] = at;
        }
        return true;
    }

    Workspace &w_;
    const Geometry &g_;
    const Surface &s_;
    const Profile &profile_;
    const Plan &plan_;
    Array<glyvaSolidVertex> &out_;
    Array<uint32_t> &indices_;
};

} // namespace

bool shadeSurface(Workspace &w, const Profile &profile, const Plan &plan,
                  Array<glyvaSolidVertex> *vertices, Array<uint32_t> *indices, Report *report)
{
    Shader shader(w, profile, plan, vertices, indices);
    if (!shader.run())
        return fail(report, "out of memory shading the solid");
    return true;
}

} // namespace solid
} // namespace glyva
