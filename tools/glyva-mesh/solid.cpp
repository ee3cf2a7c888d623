#include "solid.h"

#include <cmath>
#include <cstdio>

#include "solid/glyvaSolid.h"

namespace glyvamesh
{
namespace
{

std::string number(float value)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", double(value));
    return buf;
}

glyvaSolidOptions solidOptions(const SolidSettings &s, float scale, float grid)
{
    return {s.depth, s.bevel, s.bevelDepth, s.bevelSegments, s.frontOnly, scale, grid};
}

} // namespace

std::string solidSettingsRefusal(const SolidSettings &s)
{
    /* Beyond 1e9 output units a float no longer holds the text's detail. */
    for (float length : {s.depth, s.bevel, s.bevelDepth}) {
        if (!std::isfinite(length) || length < 0.0f || length > 1e9f)
            return "depths and bevels take numbers from 0 to 1e9, not " + number(length);
    }
    if (s.depth <= 0.0f)
        return s.bevel > 0.0f || s.bevelDepth > 0.0f ? "a bevel needs a solid: give --depth too"
                                                     : "";
    const glyvaSolidOptions options = solidOptions(s, 0.0f, 0.0f);
    const char *why = glyvaSolidOptionsError(&options);
    return why ? std::string(why) + " (see --depth, --bevel-depth, --bevel-front-only)" : "";
}

GlyphMesher::GlyphMesher(const SolidSettings &settings)
    : settings_(settings), solid_(glyvaSolidCreate())
{
}

GlyphMesher::~GlyphMesher()
{
    glyvaSolidDestroy(solid_);
}

bool GlyphMesher::make(const PlacedGlyph &local, Mesh *mesh, std::string *error)
{
    const GlyphShape &shape = *local.shape;
    const glyvaSolidVertex *vertices = nullptr;
    const uint32_t *indices = nullptr;
    uint32_t vertexCount = 0, indexCount = 0;
    int32_t built = 0;
    if (!solid_) {
        *error = "out of memory";
        return false;
    }
    if (settings_.depth > 0.0f) {
        const glyvaSolidOptions options = {settings_.depth,
                                           settings_.bevel,
                                           settings_.bevelDepth,
                                           settings_.bevelSegments,
                                           settings_.frontOnly,
                                           local.scale,
                                           local.grid};
        built = glyvaSolidBuild(solid_, shape.font, shape.glyphIndex, &options, &vertices,
                                &vertexCount, &indices, &indexCount);
    } else {
        built = glyvaSolidFlat(solid_, shape.font, shape.glyphIndex, local.scale, local.grid,
                               &vertices, &vertexCount, &indices, &indexCount);
    }
    if (!built) {
        *error = "the solid library cannot mesh glyph " + std::to_string(shape.glyphIndex) + " ('" +
                 local.text + "'): " + glyvaSolidError(solid_);
        return false;
    }
    *mesh = Mesh();
    mesh->name = local.text;
    for (uint32_t i = 0; i < vertexCount; ++i) {
        const glyvaSolidVertex &v = vertices[i];
        mesh->positions.push_back({v.position[0], v.position[1], v.position[2]});
        mesh->normals.push_back({v.normal[0], v.normal[1], v.normal[2]});
        mesh->uvs.push_back({v.texCoord[0], v.texCoord[1]});
        mesh->alongOutline.push_back(v.mapping == GLYVA_SOLID_UV_ALONG_OUTLINE);
    }
    mesh->triangles.assign(indices, indices + indexCount);
    return true;
}

} // namespace glyvamesh
