#include "placement.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace glyvamesh
{

std::vector<PlacedGlyph>
placeLayout(const std::string &utf8, const Paragraphs &layout,
            const std::function<const GlyphShape *(const glyvaLayoutGlyph &)> &shapeOf, float size)
{
    const std::vector<uint32_t> codes = clusterCodes(utf8, layout);
    const std::vector<std::string> texts = clusterTexts(utf8, layout);
    std::vector<PlacedGlyph> placed;
    for (size_t i = 0; i < layout.glyphs.size(); ++i) {
        const glyvaLayoutGlyph &g = layout.glyphs[i];
        const Vec2 origin{static_cast<float>(g.x * size), static_cast<float>(g.y * size)};
        placed.push_back({codes[i], shapeOf(g), origin, size, texts[i]});
    }
    dropEmpty(placed);
    return placed;
}

void dropEmpty(std::vector<PlacedGlyph> &placed)
{
    placed.erase(
        std::remove_if(placed.begin(), placed.end(),
                       [](const PlacedGlyph &g) { return g.shape->mesh.triangles.empty(); }),
        placed.end());
}

float outputGrid(const std::vector<PlacedGlyph> &placed, float depth)
{
    double extent = depth;
    std::map<const GlyphShape *, double> reach;
    for (const PlacedGlyph &g : placed) {
        auto known = reach.emplace(g.shape, 0.0);
        if (known.second)
            for (const Vec2 &v : g.shape->mesh.vertices)
                known.first->second =
                    std::max({known.first->second, std::fabs(double(v.x)), std::fabs(double(v.y))});
        extent = std::max(extent,
                          std::max(std::fabs(double(g.origin.x)), std::fabs(double(g.origin.y))) +
                              known.first->second * g.scale);
    }
    int exponent = 0;
    std::frexp(std::max(extent, 1e-30), &exponent); /* extent < 2^exponent */
    return static_cast<float>(std::ldexp(1.0, exponent - 23));
}

namespace
{

/* A mesh moved by translation into the text's coordinates, its texture with it. */
Mesh movedMesh(const Mesh &mesh, Vec3 t, float unitsPerEm)
{
    Mesh moved = mesh;
    for (size_t i = 0; i < mesh.positions.size(); ++i) {
        const Vec3 &p = mesh.positions[i];
        moved.positions[i] = {p.x + t.x, p.y + t.y, p.z + t.z};
        moved.uvs[i] = textUv(mesh, i, t, unitsPerEm);
    }
    return moved;
}

/* Every placed glyph its own mesh, already where it is. */
void placeInText(Scene *scene)
{
    std::vector<Mesh> meshes;
    meshes.reserve(scene->instances.size());
    for (Instance &instance : scene->instances) {
        meshes.push_back(
            movedMesh(scene->meshes[instance.mesh], instance.translation, scene->unitsPerEm));
        meshes.back().name = instance.text;
        instance.mesh = static_cast<uint32_t>(meshes.size() - 1);
        instance.translation = {};
    }
    scene->meshes = std::move(meshes);
}

} // namespace

bool buildScene(const std::vector<PlacedGlyph> &placed, const MeshMaking &how, Scene *scene,
                std::string *error)
{
    *scene = Scene();
    std::map<const GlyphShape *, uint32_t> meshOf;
    const float grid = outputGrid(placed, how.solid.depth);
    GlyphMesher mesher(how.solid);
    scene->flat = how.solid.depth <= 0.0f;
    scene->unitsPerEm = placed.empty() ? 1.0f : placed.front().scale;
    for (size_t i = 0; i < placed.size(); ++i) {
        const PlacedGlyph &g = placed[i];
        auto known = meshOf.emplace(g.shape, static_cast<uint32_t>(scene->meshes.size()));
        if (known.second) {
            const PlacedGlyph local{g.code, g.shape, {0.0f, 0.0f}, g.scale, g.text, grid};
            scene->meshes.emplace_back();
            if (!mesher.make(local, &scene->meshes.back(), error))
                return false;
        }
        if (scene->meshes[known.first->second].triangles.empty())
            continue;
        scene->instances.push_back({known.first->second,
                                    {snap(g.origin.x, grid), snap(g.origin.y, grid), 0.0f},
                                    g.text,
                                    g.code});
        if (how.progress)
            how.progress(i + 1);
    }
    if (!how.glyphOrigin)
        placeInText(scene);
    return true;
}

} // namespace glyvamesh
