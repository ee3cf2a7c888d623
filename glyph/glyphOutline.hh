#ifndef GLYPH_GLYPHOUTLINE_HH
#define GLYPH_GLYPHOUTLINE_HH

#include <stdint.h>

#include "glyph/glyphFont.hh"

/* A glyph's outline as FreeType loads it, checked before anything walks it. */
namespace glyva
{

/* Loads the glyph unhinted at the handle's size; with a record, refreshes its metrics
 * and marks it valid. The glyph slot, or null when FreeType cannot load the glyph. */
FT_GlyphSlot loadGlyph(tavixInternalFontData *font, FT_UInt glyphIndex, internalGlyphData *record);

/* The slot's outline when it is one whose contour ends can be walked safely: ends
 * non-decreasing and inside the point array. Null otherwise. */
const FT_Outline *checkedOutline(FT_GlyphSlot slot);

/* Contour k of a checked outline: its points and their FreeType tags. */
struct ContourPoints {
    const FT_Vector *points;
    const char *tags;
    uint16_t count;
};
ContourPoints contourPoints(const FT_Outline *outline, int k);

} // namespace glyva

#endif
