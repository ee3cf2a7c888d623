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

/* width 1 to kMaxPictureSide, height 0 to kMaxPictureSide. */
struct PictureOptions {
    int width = 1200;
    /* 0: follows the text's proportions. */
    int height = 0;
    bool edges = false;
};

/* The flat glyphs seen from the front, filled, framed to the picture with a margin,
 * optionally with every triangle's edges drawn; written through cairo. The picture's
 * size in pixels (points for SVG) comes back in width and height. */
bool writePicture(const std::vector<PlacedGlyph> &glyphs, const PictureOptions &options,
                  PictureFormat format, const std::string &path, int *width, int *height,
                  std::string *error);

} // namespace glyvamesh

#endif
