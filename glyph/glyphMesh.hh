#ifndef GLYPH_GLYPHMESH_HH
#define GLYPH_GLYPHMESH_HH

#include <stdint.h>

#include "glyph/glyphFont.hh"
#include "util/plyxTypes.h"

/* The glyph queries below the interfaces: every library that meshes or outlines
 * glyphs links this one copy of them. */
namespace glyva
{

/* Loads glyph glyphIndex (refreshing record's metrics) and meshes it into the handle's
 * shared vertex array and record's triangle list. False when the glyph cannot be
 * loaded or meshed; a glyph without contours (or a bitmap glyph) meshes to nothing. */
bool tesselateGlyph(tavixInternalFontData *font, FT_UInt glyphIndex, internalGlyphData *record);

/* The character queries' form of it: the glyph index, or 0 on failure. A character
 * without a glyph maps to glyph 0 and so always reads as a failure, although its
 * mesh has been made. */
inline uint32_t meshCharacterGlyph(tavixInternalFontData *font, FT_UInt glyphIndex,
                                   internalGlyphData *record)
{
    return tesselateGlyph(font, glyphIndex, record) ? glyphIndex : 0;
}

/* kOverBudget: the glyph is refused by its budget (glyph/glyphBudget.hh). */
enum class Contour { kFound, kNone, kOverBudget, kOutOfMemory };

/* Flattens every contour of glyph glyphIndex into the handle's contour lists and
 * points *contour at list k, which holds at least one point. kNone when the glyph
 * cannot be loaded, its outline is unusable, one of its contours flattens to nothing,
 * or it has no contour k. The fill flags are written when found, where not null. A
 * glyph over its budget is refused with one diagnostic line and its lists released. */
Contour flattenedContour(tavixInternalFontData *font, FT_UInt glyphIndex, int32_t k,
                         const SimpleVec3Array **contour, uint8_t *evenOddFill,
                         uint8_t *postScriptOrientation);

/* Releases the handed-out contour lists of the last flattened glyph. */
void clearContours(tavixInternalFontData *font);

} // namespace glyva

#endif
