#include "glyph/glyphTesselator.h"

#include "glyph/flatten.hh"
#include "glyph/glyphMesh.hh"

int fillContour(tavixInternalFontData *font, const FT_Vector *points, const char *tags,
                uint16_t count, SimpleVec3Array *out)
{
    if (!font || !out)
        return 0;
    return glyva::flattenContour(font->quality, points, tags, count, *out) ==
           glyva::Flattened::kPoints;
}

uint32_t tavixTesselateGlyph(tavixInternalFontData *font, uint32_t charCode)
{
    if (!glyva::fontReady(font))
        return 0;
    FT_UInt g;
    internalGlyphData *record = glyva::glyphRecord(font, charCode, &g);
    if (!record->valid)
        return 0;
    return glyva::meshCharacterGlyph(font, g, record);
}
