#ifndef TOOLS_GLYVA_MESH_PERSPECTIVE_H
#define TOOLS_GLYVA_MESH_PERSPECTIVE_H

#include <cstddef>
#include <cstdint>
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
 * by their mean, for flat shading) under a fixed light from the upper left, so that
 * walls and bevels stand apart from the faces. They come in the order to paint them:
 * glyph by glyph from the farthest, within a glyph first the walls from the farthest,
 * then the rest upwards along z. Nothing of a glyph lies in front of its front face and
 * the viewer is in front of every face, so a face or a bevel is hidden only by
 * triangles higher up or by a nearer glyph: painting in this order removes hidden
 * surfaces of extruded glyphs without a depth buffer. The view keeps 16 bytes per
 * visible triangle and projects and shades each one when it is asked for, so that a
 * page of solids stays within memory. */
class PerspectiveView
{
  public:
    PerspectiveView(const Scene &scene, Rgb color);

    size_t size() const { return order_.size(); }
    /* The i-th triangle in painting order. */
    ShadedTriangle triangle(size_t i) const;

  private:
    struct Camera {
        double eye[3], right[3], up[3], forward[3];
    };
    /* A visible triangle: what orders it (its glyph's distance, walls before the rest,
     * then distance or height) and where it is (instance, first index). */
    struct Entry {
        float glyphDepth;
        float key;
        uint32_t instance;
        uint32_t first; /* the top bit set for a wall */
    };
    static constexpr uint32_t kWall = 0x80000000u;

    void addGlyph(uint32_t instance);
    Vec2 project(const Vec3 &p, Vec3 t, double *depth) const;

    const Scene &scene_;
    Rgb color_;
    Camera camera_;
    std::vector<Entry> order_;
};

} // namespace glyvamesh

#endif
