#ifndef TOOLS_GLYVA_MESH_GEOMETRY_H
#define TOOLS_GLYVA_MESH_GEOMETRY_H

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

struct glyvaShapeFont;

namespace glyvamesh
{

struct Vec2 {
    float x = 0.0f;
    float y = 0.0f;
};

struct Vec3 {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
};

/* One glyph's flat tessellation in ems, relative to its pen position, as the library
 * hands it out: three indices per counter-clockwise triangle. */
struct GlyphMesh {
    std::vector<Vec2> vertices;
    std::vector<uint32_t> triangles;
};

/* A flattened outline contour, closing point not repeated. */
using Contour = std::vector<Vec2>;

/* What the tool knows about one character of the font. */
struct GlyphShape {
    GlyphMesh mesh;
    std::vector<Contour> contours;
    /* The font's contour convention: outer contours counter-clockwise (CFF) when set,
     * clockwise (TrueType) otherwise. */
    bool postScriptOrientation = false;
    float advance = 0.0f;
    bool missing = false;
    /* Where the solid library finds the glyph: the face's handle and the glyph's index. */
    glyvaShapeFont *font = nullptr;
    uint32_t glyphIndex = 0;
};

/* A glyph placed in the output, in output units. */
struct PlacedGlyph {
    uint32_t code = 0;
    const GlyphShape *shape = nullptr;
    Vec2 origin;
    float scale = 1.0f;
    /* The characters of its cluster. */
    std::string text;
    /* When positive, placed points are rounded to multiples of it (see outputGrid). */
    float grid = 0.0f;
};

/* An output mesh with per-vertex normals and texture coordinates, three indices per
 * triangle, in its own coordinates: output units with the origin at its glyph's pen
 * position. Texture coordinates are in ems: faces and bevels by position, walls (where
 * alongOutline is set) by distance along the outline and height. */
struct Mesh {
    std::string name;
    std::vector<Vec3> positions;
    std::vector<Vec3> normals;
    std::vector<Vec2> uvs;
    std::vector<uint8_t> alongOutline;
    std::vector<uint32_t> triangles;
};

/* One placement of a mesh in the output. */
struct Instance {
    uint32_t mesh = 0;
    Vec3 translation;
    /* The characters the glyph stands for, and the first of them. */
    std::string text;
    uint32_t code = 0;
};

/* What the mesh writers write: every distinct mesh once, placed by the instances in
 * the order of the text. */
struct Scene {
    std::vector<Mesh> meshes;
    std::vector<Instance> instances;
    /* Flat meshes face +z only; solids are closed. */
    bool flat = true;
    /* Output units per em, which texture coordinates (in ems) are measured against. */
    float unitsPerEm = 1.0f;
};

/* Vertex i's texture coordinates once its mesh is moved by translation into the text's
 * coordinates: those mapped by position (faces and bevels) move with it, so that one
 * texture runs across the whole text; the walls' stay with their outline. */
inline Vec2 textUv(const Mesh &mesh, size_t i, Vec3 translation, float unitsPerEm)
{
    const Vec2 uv = mesh.uvs[i];
    if (mesh.alongOutline[i])
        return uv;
    return {uv.x + translation.x / unitsPerEm, uv.y + translation.y / unitsPerEm};
}

/* A colour in sRGB, each channel 0 to 1. */
struct Rgb {
    float r = 0.17f;
    float g = 0.34f;
    float b = 0.59f;
};

inline float snap(float value, float grid)
{
    return grid > 0.0f ? std::nearbyint(value / grid) * grid : value;
}

inline Vec2 place(const PlacedGlyph &g, Vec2 v)
{
    return {snap(g.origin.x + v.x * g.scale, g.grid), snap(g.origin.y + v.y * g.scale, g.grid)};
}

} // namespace glyvamesh

#endif
