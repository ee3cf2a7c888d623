#ifndef TOOLS_GLYVA_MESH_LAYOUTEXPORT_H
#define TOOLS_GLYVA_MESH_LAYOUTEXPORT_H

#include <string>
#include <vector>

#include "shapedFace.h"

namespace glyvamesh
{

/* The layout as JSON, for people and tests to read the way they read hb-shape's
 * output: {"lines": N, "glyphs": [...]}, one object per glyph the layout placed
 * (spaces and other glyphs without an outline included), in visual order, line by
 * line, left to right, with "line", "cluster" (byte offset of the cluster's first
 * character in text), "text" (the cluster's characters), "font" (the face's file),
 * "glyph", and "x", "y" and "advance" in output units (size per em). */
bool writeLayout(const std::string &path, const std::string &text, const Paragraphs &layout,
                 const std::vector<std::string> &fonts, float size, std::string *error);

} // namespace glyvamesh

#endif
