#ifndef GLYPH_GLYPHMESH_HH
#define GLYPH_GLYPHMESH_HH

#include <stdint.h>

#include "Skrib/fontData.hh"
#include "util/plyxTypes.h"

/* The glyph path below the interfaces: every library that meshes glyphs links this
 * one copy of it. */
namespace glyva {

enum class Flattened { kPoints, kNothing, kOutOfMemory };

/* Appends the flattened polyline of one closed outline contour (26.6 points and
 * FreeType tags) to out, in ems with z = 0, curves subdivided by quality (0 to 1). */
Flattened flattenContour(float quality, const FT_Vector *points, const char *tags,
                         uint16_t count, SimpleVec3Array &out);

/* Loads glyph glyphIndex (refreshing record's metrics) and meshes it into the handle's
 * shared vertex array and record's triangle list. glyphIndex, or 0 on failure. */
uint32_t tesselateGlyph(tavixInternalFontData *font, FT_UInt glyphIndex,
                        internalGlyphData *record);

} // namespace glyva

#endif
