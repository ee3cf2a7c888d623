#ifndef TOOLS_GLYVA_MESH_PERSPECTIVE_H
#define TOOLS_GLYVA_MESH_PERSPECTIVE_H

#include <vector>

#include "geometry.h"

namespace glyvamesh
{

/* A triangle as a picture paints it: its corners projected onto the picture plane (x to
 * the right, y up, in the view's own units), their colours for smooth shading and one
 * colour for flat shading. */
struct ShadedTriangle {
    Vec2 corners[3];
    Rgb cornerColors[3];
    Rgb color;
};

/* The scene's meshes seen in perspective from slightly above and to the right of the
 * text's middle, far enough for all of it to fit a moderate angle of view: only the
 * triangles that face the viewer, each corner shaded by its normal (and the triangle
 * by their mean, for flat shading) under a fixed light from the upper left (so that walls and
 * bevels stand apart from the faces), in the order to paint them: glyph by glyph from the farthest,
 * and within a glyph first the walls from the farthest, then the rest upwards along z. Nothing of a
 * glyph lies in front of its front face and the viewer is in front of every face, so a triangle can
 * only be hidden by triangles higher up, or by a nearer glyph: painting in this order removes
 * hidden surfaces of extruded glyphs without a depth buffer. */
std::vector<ShadedTriangle> perspectiveView(const Scene &scene, Rgb color);

} // namespace glyvamesh

#endif
