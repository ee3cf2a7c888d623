#include "solid.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <map>
#include <unordered_map>

namespace glyvamesh
{
namespace
{

/* Wall normals are shared across a vertex where the outline turns by less than this,
 * so that flattened curves shade round and corners stay sharp. */
const float kCreaseCosine = std::cos(35.0f * 3.14159265f / 180.0f);
/* How far, in ems, a wall edge may lie from the outline segment it came from. */
constexpr float kOutlineTolerance = 1e-4f;

uint32_t floatBits(float f)
{
    f += 0.0f; /* -0.0 and +0.0 are the same point */
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}

uint64_t pointKey(Vec2 p)
{
    return (uint64_t{floatBits(p.x)} << 32) | floatBits(p.y);
}

struct Edge {
    uint32_t from;
    uint32_t to;
};

/* The front cap over welded points in output units: equal positions become one
 * point, and triangles that welding collapsed are dropped. Welding after placing,
 * not before, matters: points a few units in the last place apart in ems can round
 * to one output position, and a reader welding the written file would then find
 * edges the solid does not close. */
struct Cap {
    std::vector<Vec2> points;
    std::vector<uint32_t> triangles;
};

Cap weldCap(const PlacedGlyph &g)
{
    const GlyphMesh &mesh = g.shape->mesh;
    Cap cap;
    std::unordered_map<uint64_t, uint32_t> index;
    std::vector<uint32_t> remap(mesh.vertices.size());
    for (size_t i = 0; i < mesh.vertices.size(); ++i) {
        const Vec2 p = place(g, mesh.vertices[i]);
        auto inserted = index.emplace(pointKey(p), cap.points.size());
        if (inserted.second)
            cap.points.push_back(p);
        remap[i] = inserted.first->second;
    }
    for (size_t t = 0; t + 2 < mesh.triangles.size(); t += 3) {
        const uint32_t a = remap[mesh.triangles[t]];
        const uint32_t b = remap[mesh.triangles[t + 1]];
        const uint32_t c = remap[mesh.triangles[t + 2]];
        if (a != b && b != c && c != a)
            cap.triangles.insert(cap.triangles.end(), {a, b, c});
    }
    return cap;
}

/* Uses of each undirected edge, forwards (low to high index) and backwards. */
using EdgeUses = std::map<std::pair<uint32_t, uint32_t>, std::pair<int, int>>;

EdgeUses countEdgeUses(const std::vector<uint32_t> &triangles)
{
    EdgeUses uses;
    for (size_t t = 0; t + 2 < triangles.size(); t += 3) {
        for (int k = 0; k < 3; ++k) {
            const uint32_t a = triangles[t + k];
            const uint32_t b = triangles[t + (k + 1) % 3];
            auto &use = uses[{std::min(a, b), std::max(a, b)}];
            (a < b ? use.first : use.second) += 1;
        }
    }
    return uses;
}

/* Inner edges cancel out, one use each way; what is left is the cap's boundary,
 * running counter-clockwise around the filled area. */
std::vector<Edge> boundaryEdges(const EdgeUses &uses, bool *manifold)
{
    std::vector<Edge> edges;
    for (const auto &[ends, use] : uses) {
        const int net = use.first - use.second;
        if (use.first > 1 || use.second > 1)
            *manifold = false;
        for (int k = 0; k < std::abs(net); ++k)
            edges.push_back(net > 0 ? Edge{ends.first, ends.second}
                                    : Edge{ends.second, ends.first});
    }
    return edges;
}

Vec2 outwardNormal(Vec2 a, Vec2 b)
{
    const float dx = b.x - a.x;
    const float dy = b.y - a.y;
    const float len = std::sqrt(dx * dx + dy * dy);
    return len > 0.0f ? Vec2{dy / len, -dx / len} : Vec2{0.0f, 0.0f};
}

/* Collects triangles as (position, normal) corners and shares equal corners. */
class SolidBuilder
{
  public:
    explicit SolidBuilder(Mesh *mesh) : mesh_(mesh) {}
    void triangle(const Vec3 p[3], const Vec3 n[3])
    {
        for (int k = 0; k < 3; ++k)
            mesh_->triangles.push_back(corner(p[k], n[k]));
    }

  private:
    uint32_t corner(Vec3 p, Vec3 n)
    {
        const std::array<uint32_t, 6> key{floatBits(p.x), floatBits(p.y), floatBits(p.z),
                                          floatBits(n.x), floatBits(n.y), floatBits(n.z)};
        auto inserted = index_.emplace(key, static_cast<uint32_t>(mesh_->positions.size()));
        if (inserted.second) {
            mesh_->positions.push_back(p);
            mesh_->normals.push_back(n);
        }
        return inserted.first->second;
    }
    Mesh *mesh_;
    std::map<std::array<uint32_t, 6>, uint32_t> index_;
};

void addCaps(const Cap &cap, float depth, SolidBuilder &out)
{
    const Vec3 up[3] = {{0, 0, 1}, {0, 0, 1}, {0, 0, 1}};
    const Vec3 down[3] = {{0, 0, -1}, {0, 0, -1}, {0, 0, -1}};
    for (size_t t = 0; t + 2 < cap.triangles.size(); t += 3) {
        Vec3 front[3];
        Vec3 back[3];
        for (int k = 0; k < 3; ++k) {
            const Vec2 p = cap.points[cap.triangles[t + k]];
            front[k] = {p.x, p.y, depth};
            back[2 - k] = {p.x, p.y, 0.0f}; /* mirrored: the winding reverses */
        }
        out.triangle(front, up);
        out.triangle(back, down);
    }
}

/* The wall normal at an edge's end: averaged with the neighbouring edge's where the
 * outline turns gently, the edge's own at a corner or where edges meet ambiguously. */
Vec3 wallNormal(Vec2 own, const Vec2 *neighbour)
{
    if (neighbour && own.x * neighbour->x + own.y * neighbour->y > kCreaseCosine) {
        const float x = own.x + neighbour->x;
        const float y = own.y + neighbour->y;
        const float len = std::sqrt(x * x + y * y);
        return {x / len, y / len, 0.0f};
    }
    return {own.x, own.y, 0.0f};
}

void addWalls(const Cap &cap, const std::vector<Edge> &edges, float depth, SolidBuilder &out,
              bool *manifold)
{
    std::vector<Vec2> normals;
    std::unordered_map<uint32_t, std::vector<size_t>> leaving;
    std::unordered_map<uint32_t, std::vector<size_t>> arriving;
    for (size_t e = 0; e < edges.size(); ++e) {
        normals.push_back(outwardNormal(cap.points[edges[e].from], cap.points[edges[e].to]));
        leaving[edges[e].from].push_back(e);
        arriving[edges[e].to].push_back(e);
    }
    auto single = [&normals](const std::vector<size_t> &list) {
        return list.size() == 1 ? &normals[list[0]] : nullptr;
    };
    for (size_t e = 0; e < edges.size(); ++e) {
        const std::vector<size_t> &before = arriving[edges[e].from];
        const std::vector<size_t> &after = leaving[edges[e].to];
        if (before.size() != 1 || after.size() != 1)
            *manifold = false; /* the outline touches itself at a point */
        const Vec3 na = wallNormal(normals[e], single(before));
        const Vec3 nb = wallNormal(normals[e], single(after));
        const Vec2 a = cap.points[edges[e].from];
        const Vec2 b = cap.points[edges[e].to];
        const Vec3 lowA{a.x, a.y, 0.0f}, lowB{b.x, b.y, 0.0f};
        const Vec3 highA{a.x, a.y, depth}, highB{b.x, b.y, depth};
        const Vec3 p1[3] = {lowA, lowB, highB};
        const Vec3 n1[3] = {na, nb, nb};
        const Vec3 p2[3] = {lowA, highB, highA};
        const Vec3 n2[3] = {na, nb, na};
        out.triangle(p1, n1);
        out.triangle(p2, n2);
    }
}

bool onSegment(Vec2 p, Vec2 a, Vec2 b, float tolerance)
{
    const float dx = b.x - a.x, dy = b.y - a.y;
    const float len2 = dx * dx + dy * dy;
    const float t = len2 > 0.0f ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / len2 : 0.0f;
    if (t < -1e-3f || t > 1.0f + 1e-3f)
        return false;
    const float ex = a.x + t * dx - p.x, ey = a.y + t * dy - p.y;
    return ex * ex + ey * ey <= tolerance * tolerance;
}

/* The font's contours, turned so that the filled side is on the left: TrueType outer
 * contours run clockwise, CFF ones counter-clockwise, and the orientation flag says
 * which convention this glyph follows. */
bool edgeFollowsOutline(Vec2 a, Vec2 b, const PlacedGlyph &g)
{
    const float tolerance = kOutlineTolerance * g.scale;
    for (const Contour &c : g.shape->contours) {
        for (size_t i = 0; i < c.size(); ++i) {
            Vec2 p = place(g, c[i]), q = place(g, c[(i + 1) % c.size()]);
            if (!g.shape->postScriptOrientation)
                std::swap(p, q);
            const bool along = (b.x - a.x) * (q.x - p.x) + (b.y - a.y) * (q.y - p.y) > 0.0f;
            if (along && onSegment(a, p, q, tolerance) && onSegment(b, p, q, tolerance))
                return true;
        }
    }
    return false;
}

size_t countEdgesOffOutline(const Cap &cap, const std::vector<Edge> &edges, const PlacedGlyph &g)
{
    if (g.shape->contours.empty())
        return 0;
    size_t off = 0;
    for (const Edge &e : edges) {
        if (!edgeFollowsOutline(cap.points[e.from], cap.points[e.to], g))
            ++off;
    }
    return off;
}

} // namespace

Mesh flatGlyph(const PlacedGlyph &g)
{
    Mesh mesh;
    for (const Vec2 &v : g.shape->mesh.vertices) {
        const Vec2 p = place(g, v);
        mesh.positions.push_back({p.x, p.y, 0.0f});
        mesh.normals.push_back({0.0f, 0.0f, 1.0f});
    }
    /* A triangle whose corners the output grid rounded into one point covers nothing. */
    const std::vector<uint32_t> &t = g.shape->mesh.triangles;
    auto same = [&mesh](uint32_t a, uint32_t b) {
        return mesh.positions[a].x == mesh.positions[b].x &&
               mesh.positions[a].y == mesh.positions[b].y;
    };
    for (size_t k = 0; k + 2 < t.size(); k += 3)
        if (!same(t[k], t[k + 1]) && !same(t[k + 1], t[k + 2]) && !same(t[k + 2], t[k]))
            mesh.triangles.insert(mesh.triangles.end(), {t[k], t[k + 1], t[k + 2]});
    return mesh;
}

Mesh extrudeGlyph(const PlacedGlyph &glyph, float depth, SolidReport *report)
{
    Mesh mesh;
    const Cap cap = weldCap(glyph);
    if (cap.triangles.empty())
        return mesh;
    bool manifold = true;
    const std::vector<Edge> edges = boundaryEdges(countEdgeUses(cap.triangles), &manifold);
    SolidBuilder builder(&mesh);
    addCaps(cap, depth, builder);
    addWalls(cap, edges, depth, builder, &manifold);
    report->watertight = manifold;
    report->edgesOffOutline = countEdgesOffOutline(cap, edges, glyph);
    return mesh;
}

} // namespace glyvamesh
