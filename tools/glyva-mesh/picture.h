#ifndef TOOLS_GLYVA_MESH_PICTURE_H
#define TOOLS_GLYVA_MESH_PICTURE_H

#include <string>
#include <vector>

#include "geometry.h"

namespace glyvamesh
{

enum class PictureFormat { Png, Svg };

/* The longest side of a picture, well inside cairo's limit for image surfaces. */
constexpr int kMaxPictureSide = 16384;

/* Front: the glyphs' outlines seen straight on. Perspective: the scene's meshes seen
 * from slightly above and to the right, shaded by a fixed light. Automatic: perspective
 * for solids, front for flat text. */
enum class View { Automatic, Front, Perspective };

/* width 1 to kMaxPictureSide, height 0 to kMaxPictureSide. */
struct PictureOptions {
    int width = 1200;
    /* 0: follows the text's proportions. */
    int height = 0;
    bool edges = false;
    View view = View::Automatic;
    Rgb color;
};

/* A colour written #RRGGBB or RRGGBB (sRGB); false for anything else. */
bool parseColor(const std::string &text, Rgb *color);

/* The glyphs drawn as the view asks, framed to the picture with a margin, optionally
 * with every triangle's edges drawn; PNG through cairo, SVG written directly. The front
 * view fills the placed glyphs' outlines; the perspective view draws the scene's
 * triangles. The picture's size in pixels (points for SVG) comes back in width and
 * height. */
bool writePicture(const std::vector<PlacedGlyph> &glyphs, const Scene &scene,
                  const PictureOptions &options, PictureFormat format, const std::string &path,
                  int *width, int *height, std::string *error);

} // namespace glyvamesh

#endif
