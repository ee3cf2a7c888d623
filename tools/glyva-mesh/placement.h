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
    /* Flat glyphs (depth 0) or solids, through the solid library. */
    SolidSettings solid;
    /* Each mesh in its glyph's own coordinates, placed by its instance's translation;
     * false: every placed glyph a mesh of its own in the text's coordinates, placed
     * where it is (texture coordinates then run across the text). */
    bool glyphOrigin = true;
    /* Called with the count of placed glyphs done, for a progress bar. */
    std::function<void(size_t)> progress;
};

/* Each distinct glyph meshed once in its own coordinates, every placed glyph an
 * instance of it translated on the output grid; a glyph whose mesh has no triangles
 * places nothing. False with error set when the solid library refuses a glyph. */
bool buildScene(const std::vector<PlacedGlyph> &placed, const MeshMaking &how, Scene *scene,
                std::string *error);

} // namespace glyvamesh

#endif
