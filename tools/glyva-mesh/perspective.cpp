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

struct Camera {
    V3 eye, right, up, forward;
    /* The point's place on the picture plane and its distance along the view. */
    Vec2 project(V3 p, double *depth) const
    {
        const V3 d = p - eye;
        *depth = dot(d, forward);
        return {float(dot(d, right) / *depth), float(dot(d, up) / *depth)};
    }
};

Camera cameraFor(const Scene &scene)
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
    Camera c;
    c.eye = middle + unit(kViewFrom) * (kDistance * radius);
    c.forward = unit(middle - c.eye);
    c.right = unit(cross(c.forward, {0.0, 1.0, 0.0}));
    c.up = cross(c.right, c.forward);
    return c;
}

Rgb shade(Rgb color, V3 normal)
{
    const double light = kAmbient + kDiffuse * std::max(0.0, dot(unit(normal), unit(kLightFrom)));
    auto channel = [light](float c) { return float(std::min(1.0, c * light)); };
    return {channel(color.r), channel(color.g), channel(color.b)};
}

/* A visible triangle with what orders it: its glyph's distance, walls before the rest,
 * then height or distance. */
struct Painted {
    ShadedTriangle triangle;
    double glyphDepth;
    int group;
    double key;
};

void addGlyph(const Mesh &mesh, V3 at, const Camera &camera, Rgb color, double glyphDepth,
              std::vector<Painted> *out)
{
    for (size_t t = 0; t + 2 < mesh.triangles.size(); t += 3) {
        Painted p;
        V3 corner[3], normal{0.0, 0.0, 0.0};
        double depth = 0.0;
        for (int k = 0; k < 3; ++k) {
            const uint32_t v = mesh.triangles[t + k];
            double d;
            corner[k] = toV3(mesh.positions[v]) + at;
            p.triangle.corners[k] = camera.project(corner[k], &d);
            p.triangle.cornerColors[k] = shade(color, toV3(mesh.normals[v]));
            normal = normal + toV3(mesh.normals[v]);
            depth += d / 3.0;
        }
        const Vec2 *c = p.triangle.corners;
        const double turn = double(c[1].x - c[0].x) * (c[2].y - c[0].y) -
                            double(c[1].y - c[0].y) * (c[2].x - c[0].x);
        if (!(turn > 0.0))
            continue; /* turned away from the viewer */
        const V3 facet = cross(corner[1] - corner[0], corner[2] - corner[0]);
        p.triangle.color = shade(color, normal);
        p.glyphDepth = glyphDepth;
        p.group = facet.z == 0.0 ? 0 : 1;
        p.key = p.group == 0 ? -depth : (corner[0].z + corner[1].z + corner[2].z) / 3.0;
        out->push_back(p);
    }
}

} // namespace

std::vector<ShadedTriangle> perspectiveView(const Scene &scene, Rgb color)
{
    const Camera camera = cameraFor(scene);
    std::vector<Painted> painted;
    for (const Instance &instance : scene.instances) {
        const Mesh &mesh = scene.meshes[instance.mesh];
        V3 low{DBL_MAX, DBL_MAX, DBL_MAX}, high{-DBL_MAX, -DBL_MAX, -DBL_MAX};
        for (const Vec3 &p : mesh.positions) {
            low = {std::min(low.x, double(p.x)), std::min(low.y, double(p.y)),
                   std::min(low.z, double(p.z))};
            high = {std::max(high.x, double(p.x)), std::max(high.y, double(p.y)),
                    std::max(high.z, double(p.z))};
        }
        double depth = 0.0;
        const V3 at = toV3(instance.translation);
        camera.project((low + high) * 0.5 + at, &depth);
        addGlyph(mesh, at, camera, color, depth, &painted);
    }
    std::stable_sort(painted.begin(), painted.end(), [](const Painted &a, const Painted &b) {
        if (a.glyphDepth != b.glyphDepth)
            return a.glyphDepth > b.glyphDepth;
        if (a.group != b.group)
            return a.group < b.group;
        return a.key < b.key;
    });
    std::vector<ShadedTriangle> triangles;
    triangles.reserve(painted.size());
    for (const Painted &p : painted)
        triangles.push_back(p.triangle);
    return triangles;
}

} // namespace glyvamesh
