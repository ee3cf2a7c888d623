#include "perspective.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

namespace glyvamesh
{
namespace
{

struct V3 {
    double x, y, z;
};

V3 operator-(V3 a, V3 b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
V3 operator+(V3 a, V3 b)
{
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
V3 operator*(V3 a, double k)
{
    return {a.x * k, a.y * k, a.z * k};
}
double dot(V3 a, V3 b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
V3 cross(V3 a, V3 b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
V3 unit(V3 a)
{
    const double length = std::sqrt(dot(a, a));
    return length > 0.0 ? a * (1.0 / length) : a;
}
V3 toV3(Vec3 v)
{
    return {v.x, v.y, v.z};
}

/* Where the viewer stands, from the text's middle: a little to the right, a little
 * above, mostly in front. */
const V3 kViewFrom = {0.35, 0.2, 1.0};
/* Where the light comes from: the upper left, in front. */
const V3 kLightFrom = {-0.45, 0.6, 0.65};
/* The viewer's distance in text radii: a field of view of about 30 degrees. */
constexpr double kDistance = 4.0;
/* Unlit share of the colour, and how much the light adds at most. */
constexpr double kAmbient = 0.35, kDiffuse = 0.85;

Rgb shade(Rgb color, V3 normal)
{
    const double light = kAmbient + kDiffuse * std::max(0.0, dot(unit(normal), unit(kLightFrom)));
    auto channel = [light](float c) { return float(std::min(1.0, c * light)); };
    return {channel(color.r), channel(color.g), channel(color.b)};
}

void store(double out[3], V3 v)
{
    out[0] = v.x, out[1] = v.y, out[2] = v.z;
}

V3 load(const double in[3])
{
    return {in[0], in[1], in[2]};
}

} // namespace

PerspectiveView::PerspectiveView(const Scene &scene, Rgb color) : scene_(scene), color_(color)
{
    V3 low{DBL_MAX, DBL_MAX, DBL_MAX}, high{-DBL_MAX, -DBL_MAX, -DBL_MAX};
    for (const Instance &instance : scene.instances) {
        for (const Vec3 &p : scene.meshes[instance.mesh].positions) {
            const V3 q = toV3(p) + toV3(instance.translation);
            low = {std::min(low.x, q.x), std::min(low.y, q.y), std::min(low.z, q.z)};
            high = {std::max(high.x, q.x), std::max(high.y, q.y), std::max(high.z, q.z)};
        }
    }
    const V3 middle = (low + high) * 0.5;
    const double radius = std::max(std::sqrt(dot(high - low, high - low)) * 0.5, 1e-6);
    const V3 eye = middle + unit(kViewFrom) * (kDistance * radius);
    const V3 forward = unit(middle - eye);
    const V3 right = unit(cross(forward, {0.0, 1.0, 0.0}));
    store(camera_.eye, eye);
    store(camera_.forward, forward);
    store(camera_.right, right);
    store(camera_.up, cross(right, forward));
    for (uint32_t i = 0; i < scene.instances.size(); ++i)
        addGlyph(i);
    std::stable_sort(order_.begin(), order_.end(), [](const Entry &a, const Entry &b) {
        if (a.glyphDepth != b.glyphDepth)
            return a.glyphDepth > b.glyphDepth;
        if ((a.first & kWall) != (b.first & kWall))
            return (a.first & kWall) != 0;
        return a.key < b.key;
    });
}

Vec2 PerspectiveView::project(const Vec3 &p, Vec3 t, double *depth) const
{
    const V3 d = toV3(p) + toV3(t) - load(camera_.eye);
    *depth = dot(d, load(camera_.forward));
    return {float(dot(d, load(camera_.right)) / *depth), float(dot(d, load(camera_.up)) / *depth)};
}

/* The glyph's triangles that face the viewer, with their place in the order. */
void PerspectiveView::addGlyph(uint32_t i)
{
    const Instance &instance = scene_.instances[i];
    const Mesh &mesh = scene_.meshes[instance.mesh];
    V3 low{DBL_MAX, DBL_MAX, DBL_MAX}, high{-DBL_MAX, -DBL_MAX, -DBL_MAX};
    for (const Vec3 &p : mesh.positions) {
        low = {std::min(low.x, double(p.x)), std::min(low.y, double(p.y)),
               std::min(low.z, double(p.z))};
        high = {std::max(high.x, double(p.x)), std::max(high.y, double(p.y)),
                std::max(high.z, double(p.z))};
    }
    const V3 middle = (low + high) * 0.5;
    double glyphDepth = 0.0;
    project({float(middle.x), float(middle.y), float(middle.z)}, instance.translation, &glyphDepth);
    for (uint32_t t = 0; t + 2 < mesh.triangles.size(); t += 3) {
        Vec2 c[3];
        double depth = 0.0;
        for (int k = 0; k < 3; ++k) {
            double d;
            c[k] = project(mesh.positions[mesh.triangles[t + k]], instance.translation, &d);
            depth += d / 3.0;
        }
        const double turn = double(c[1].x - c[0].x) * (c[2].y - c[0].y) -
                            double(c[1].y - c[0].y) * (c[2].x - c[0].x);
        if (!(turn > 0.0))
            continue; /* turned away from the viewer */
        const Vec3 &a = mesh.positions[mesh.triangles[t]],
                   &b = mesh.positions[mesh.triangles[t + 1]],
                   &e = mesh.positions[mesh.triangles[t + 2]];
        const bool wall = cross(toV3(b) - toV3(a), toV3(e) - toV3(a)).z == 0.0;
        const double height = (double(a.z) + b.z + e.z) / 3.0;
        order_.push_back(
            {float(glyphDepth), float(wall ? -depth : height), i, t | (wall ? kWall : 0)});
    }
}

ShadedTriangle PerspectiveView::triangle(size_t i) const
{
    const Entry &entry = order_[i];
    const Instance &instance = scene_.instances[entry.instance];
    const Mesh &mesh = scene_.meshes[instance.mesh];
    const uint32_t first = entry.first & ~kWall;
    ShadedTriangle out;
    V3 normal{0.0, 0.0, 0.0};
    for (int k = 0; k < 3; ++k) {
        const uint32_t v = mesh.triangles[first + k];
        double depth;
        out.corners[k] = project(mesh.positions[v], instance.translation, &depth);
        out.cornerColors[k] = shade(color_, toV3(mesh.normals[v]));
        normal = normal + toV3(mesh.normals[v]);
    }
    out.color = shade(color_, normal);
    return out;
}

} // namespace glyvamesh
