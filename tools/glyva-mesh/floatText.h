#ifndef TOOLS_GLYVA_MESH_FLOATTEXT_H
#define TOOLS_GLYVA_MESH_FLOATTEXT_H

#include <cstddef>

namespace glyvamesh
{

/* The longest text of a float: a sign, nine digits, a point and an exponent of four. */
constexpr size_t kFloatTextSize = 15;
/* What the formatting may write over, past the text, which it moves in whole blocks. */
constexpr size_t kFloatTextRoom = 32;

/* Writes the text std::to_chars writes for value (the shortest that reads back as the
 * same float, fixed or scientific, whichever is shorter) at at, which has room for
 * kFloatTextRoom bytes, and returns its end. Magnitudes a text mesh uses are formatted
 * here, several times faster; others by std::to_chars. */
char *floatText(char *at, float value);

} // namespace glyvamesh

#endif
