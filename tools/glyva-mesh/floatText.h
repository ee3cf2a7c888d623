#ifndef TOOLS_GLYVA_MESH_FLOATTEXT_H
#define TOOLS_GLYVA_MESH_FLOATTEXT_H

#include <cstddef>

namespace glyvamesh
{

/* Room that any float's text fits in. */
constexpr size_t kFloatTextRoom = 32;

/* Writes the text std::to_chars writes for value (the shortest that reads back as the
 * same float, fixed or scientific, whichever is shorter) at at, which has
 * kFloatTextRoom bytes, and returns its end. Magnitudes a text mesh uses are formatted
 * here, several times faster; others by std::to_chars. */
char *floatText(char *at, float value);

} // namespace glyvamesh

#endif
