#ifndef TOOLS_GLYVA_MESH_PLACEMENT_H
#define TOOLS_GLYVA_MESH_PLACEMENT_H

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "geometry.h"
#include "shapedFace.h"
#include "solid.h"

namespace glyvamesh
{

/* The glyphs of a paragraph layout in output units (size per em), in the layout's
 * order, each with the first character and all the characters of its cluster, the
 * ones without triangles (spaces) left out. shapeOf gives each layout glyph's shape,
 * loaded before. */
std::vector<PlacedGlyph>
placeLayout(const std::string &utf8, const Paragraphs &layout,
            const std::function<const GlyphShape *(const glyvaLayoutGlyph &)> &shapeOf, float size);

/* Leaves out the glyphs without triangles: nothing of them reaches an output. */
void dropEmpty(std::vector<PlacedGlyph> &placed);

/* A power of two so fine that every output coordinate is a whole multiple of it below
 * 2^23: a glyph's points and its translation, both on this grid, then add up exactly
 * in float, so that a glyph placed in a merged file is exactly its distinct mesh
 * moved, and no two of its points can round into one. */
float outputGrid(const std::vector<PlacedGlyph> &placed, float depth);

/* How each distinct glyph becomes an output mesh. */
struct MeshMaking {
    /* The mesh of one distinct glyph in its own coordinates, given the glyph with its
     * origin at 0, its scale and the output grid set: flatGlyph for flat text, a solid
     * builder for solids (the caller owns the shapes, so it knows which glyph of which
     * face each one is). */
    std::function<Mesh(const PlacedGlyph &local)> make = flatGlyph;
    /* How far the meshes reach along z (output units), which the grid must span. */
    float depth = 0.0f;
    bool flat = true;
    /* Called with the count of placed glyphs done, for a progress bar. */
    std::function<void(size_t)> progress;
};

/* Each distinct glyph meshed once in its own coordinates, every placed glyph an
 * instance of it translated on the output grid; a glyph whose mesh has no triangles
 * left on the grid places nothing. */
Scene buildScene(const std::vector<PlacedGlyph> &placed, const MeshMaking &how);

} // namespace glyvamesh

#endif
