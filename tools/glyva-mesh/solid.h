#ifndef TOOLS_GLYVA_MESH_SOLID_H
#define TOOLS_GLYVA_MESH_SOLID_H

#include <string>

#include "geometry.h"

struct glyvaSolid;

namespace glyvamesh
{

/* How glyphs become meshes; lengths in output units. A depth of 0 makes flat glyphs. */
struct SolidSettings {
    float depth = 0.0f;
    /* How far the bevel reaches into the glyph; 0 for none. */
    float bevel = 0.0f;
    /* How far it reaches along z; 0 for as far as into the glyph. */
    float bevelDepth = 0.0f;
    /* 1 for a chamfer, more for a rounded profile. */
    int bevelSegments = 1;
    bool frontOnly = false;
};

/* Why the settings make no solid (a length negative, not finite or past 1e9, a bevel
 * without a depth, and whatever the solid library refuses in any glyph: a bevel as deep
 * as the solid, segments out of range), or empty. */
std::string solidSettingsRefusal(const SolidSettings &settings);

/* Each distinct glyph's mesh through the solid library, one builder for a whole run:
 * flat glyphs without zero-area triangles, or closed solids with their bevels. */
class GlyphMesher
{
  public:
    explicit GlyphMesher(const SolidSettings &settings);
    ~GlyphMesher();
    GlyphMesher(const GlyphMesher &) = delete;
    GlyphMesher &operator=(const GlyphMesher &) = delete;

    /* The glyph's mesh in its own coordinates, scaled by its scale and built on its
     * grid, named by its characters; false with error set when the library refuses. */
    bool make(const PlacedGlyph &local, Mesh *mesh, std::string *error);

  private:
    SolidSettings settings_;
    glyvaSolid *solid_;
};

} // namespace glyvamesh

#endif
