#ifndef TOOLS_GLYVA_MESH_SOLID_H
#define TOOLS_GLYVA_MESH_SOLID_H

#include <cstddef>
#include <vector>

#include "geometry.h"

namespace glyvamesh
{

/* What building one glyph's solid found out about it. */
struct SolidReport {
    /* Every edge of the solid is used once in each direction. */
    bool watertight = true;
    /* Side-wall edges that lie on no segment of the glyph's outline as the font
     * orients it; non-zero means the caps and the outline disagree. */
    size_t edgesOffOutline = 0;
};

/* The glyph's flat mesh at z = 0 facing +z, vertices as the library gave them, placed
 * by the glyph's origin and scale. */
Mesh flatGlyph(const PlacedGlyph &glyph);

/* The glyph extruded into a closed solid from z = 0 (back) to z = depth (front), in
 * output units, with outward normals; empty for a glyph without triangles. The side
 * walls are built on the edges that only one front triangle uses, after welding equal
 * positions, so that they meet the caps exactly wherever the tessellator split or
 * merged outline points. */
Mesh extrudeGlyph(const PlacedGlyph &glyph, float depth, SolidReport *report);

} // namespace glyvamesh

#endif
