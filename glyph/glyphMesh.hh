#ifndef GLYPH_GLYPHMESH_HH
#define GLYPH_GLYPHMESH_HH

#include <stdint.h>

#include "Skrib/fontData.hh"
#include "util/plyxTypes.h"

/* The glyph path below the interfaces: every library that meshes glyphs links this
 * one copy of it. */
namespace glyva
{

enum class Flattened { kPoints, kNothing, kOutOfMemory };

/* Appends the flattened polyline of one closed outline contour (26.6 points and
 * FreeType tags) to out, in ems with z = 0, curves subdivided by quality (0 to 1). */
Flattened flattenContour(float quality, const FT_Vector *points, const char *tags, uint16_t count,
                         SimpleVec3Array &out);

/* Flattens every contour of a checked outline into fresh contour lists of the handle;
 * kPoints when each has at least one point. */
Flattened flattenAllContours(tavixInternalFontData *font, const FT_Outline *outline);

/* Loads glyph glyphIndex (refreshing record's metrics) and meshes it into the handle's
 * shared vertex array and record's triangle list. False when the glyph cannot be
 * loaded or meshed; a glyph without contours (or a bitmap glyph) meshes to nothing. */
bool tesselateGlyph(tavixInternalFontData *font, FT_UInt glyphIndex, internalGlyphData *record);

enum class Contour { kFound, kNone, kOutOfMemory };

/* Flattens every contour of glyph glyphIndex into the handle's contour lists and
 * points *contour at list k, which holds at least one point. kNone when the glyph
 * cannot be loaded, its outline is unusable, one of its contours flattens to nothing,
 * or it has no contour k. The fill flags are written when found, where not null. */
Contour flattenedContour(tavixInternalFontData *font, FT_UInt glyphIndex, int32_t k,
                         const SimpleVec3Array **contour, uint8_t *evenOddFill,
                         uint8_t *postScriptOrientation);

} // namespace glyva

#endif
