#ifndef TOOLS_GLYVA_MESH_LAYOUT_H
#define TOOLS_GLYVA_MESH_LAYOUT_H

#include <cstdint>
#include <functional>
#include <vector>

#include "geometry.h"

namespace glyvamesh
{

/* Start and End follow the paragraph's direction: left and right for left-to-right
 * text, the other way round for right-to-left. */
enum class Align { Start, Left, Center, Right, End };

using Line = std::vector<uint32_t>;

/* Splits decoded text at line feeds (a carriage return before one is dropped) and at
 * U+2028; a leading byte-order mark and one final line break are dropped. */
std::vector<Line> splitLines(const std::vector<uint32_t> &codes);

struct LayoutFont {
    std::function<const GlyphShape *(uint32_t)> glyph;
    std::function<float(uint32_t, uint32_t)> kerning;
    float lineHeight = 1.0f;
};

/* Pen positions in output units: the first baseline at y = 0, later lines one line
 * height lower each; x = 0 is the left end, the middle or the right end of every line,
 * following align. A tab advances as four spaces. */
std::vector<PlacedGlyph> layoutLines(const std::vector<Line> &lines, const LayoutFont &font,
                                     Align align, float size);

/* A grid of the given characters, about as wide as tall, in reading order. */
std::vector<PlacedGlyph> layoutGrid(const std::vector<uint32_t> &codes, const LayoutFont &font,
                                    float size);

} // namespace glyvamesh

#endif
