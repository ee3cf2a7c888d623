#include "Skrib/GlyvaInterface.h"

#include <stdint.h>

#include "glyph/glyphMesh.hh"
#include "glyph/glyphOutline.hh"
#include "util/plyxUtil.h"

namespace
{

constexpr const char *kDescription = "Corvalen Glyva interface 1.1";

/* The record of a character, only when it has been prepared by GetGlyphInfo. */
internalGlyphData *validRecord(tavixInternalFontData *font, uint32_t charCode, FT_UInt *glyphIndex)
{
    internalGlyphData *record = glyva::glyphRecord(font, charCode, glyphIndex);
    return record->valid ? record : nullptr;
}

/* Kerning of a pair of prepared glyphs in 26.6 pixels at the handle's size. */
bool pairKerning(tavixInternalFontData *font, uint32_t leftChar, uint32_t rightChar,
                 FT_Vector *kerning)
{
    if (!glyva::fontReady(font))
        return false;
    if (!FT_HAS_KERNING(font->ftFace))
        return false;
    FT_UInt left, right;
    if (!validRecord(font, leftChar, &left) || !validRecord(font, rightChar, &right))
        return false;
    return FT_Get_Kerning(font->ftFace, left, right, FT_KERNING_DEFAULT, kerning) == 0;
}

} // namespace

tavixInternalFontData *OpenFont(const char *path)
{
    return glyva::newFont(path, 0, nullptr);
}

void CloseFont(tavixInternalFontData *font)
{
    glyva::deleteFont(font);
}

const char *GetDescription(void)
{
    return kDescription;
}

float GetAscender(tavixInternalFontData *font)
{
    return font ? font->ascender : 0.0f;
}

float GetDescender(tavixInternalFontData *font)
{
    return font ? font->descender : 0.0f;
}

int32_t GetFontBounds(float *bounds, tavixInternalFontData *font)
{
    if (!font || !bounds)
        return 0;
    bounds[0] = font->boundsXMin;
    bounds[1] = font->boundsXMax;
    bounds[2] = font->boundsYMin;
    bounds[3] = font->boundsYMax;
    return 1;
}

void SetQuality(tavixInternalFontData *font, uint32_t percent)
{
    glyva::setQuality(font, percent);
}

int32_t GetQuality(tavixInternalFontData *font)
{
    return glyva::quality(font);
}

int32_t GetGlyphInfo(glyphInfoRecord *info, tavixInternalFontData *font, uint32_t charCode)
{
    if (!info || !glyva::fontReady(font))
        return 0;
    FT_UInt g;
    internalGlyphData *record = glyva::glyphRecord(font, charCode, &g);
    if (!record->valid && !glyva::loadGlyph(font, g, record))
        return 0;
    *info = record->metrics;
    return 1;
}

int32_t GetGlyphVertices(float **vertices, tavixInternalFontData *font, uint32_t charCode)
{
    if (!vertices || !glyva::fontReady(font))
        return -1;
    FT_UInt g;
    internalGlyphData *record = validRecord(font, charCode, &g);
    if (!record || glyva::meshCharacterGlyph(font, g, record) == 0)
        return -1;
    *vertices = font->glyphVertices.values ? font->glyphVertices.values[0] : nullptr;
    return static_cast<int32_t>(font->glyphVertices.count);
}

int32_t GetGlyphTriangleIndices(int32_t **indices, tavixInternalFontData *font, uint32_t charCode)
{
    if (!indices || !glyva::fontReady(font))
        return -1;
    FT_UInt g;
    internalGlyphData *record = validRecord(font, charCode, &g);
    if (!record)
        return -1;
    *indices = record->triangleIndices.values;
    return static_cast<int32_t>(record->triangleIndices.count);
}

void ClearGlyphData(tavixInternalFontData *font, uint32_t charCode)
{
    if (!glyva::fontReady(font))
        return;
    FT_UInt g;
    internalGlyphData *record = validRecord(font, charCode, &g);
    if (!record)
        return;
    clearMFInt32(&record->triangleIndices);
    clearMFVec2f(&font->glyphVertices);
}

int32_t GetGlyphContour(float **points, tavixInternalFontData *font, uint32_t charCode,
                        int32_t contourIndex, uint8_t *evenOddFill, uint8_t *postScriptOrientation)
{
    if (!points || !glyva::fontReady(font))
        return 0;
    FT_UInt g;
    if (!validRecord(font, charCode, &g))
        return 0;
    const SimpleVec3Array *contour = nullptr;
    if (glyva::flattenedContour(font, g, contourIndex, &contour, evenOddFill,
                                postScriptOrientation) != glyva::Contour::kFound)
        return 0;
    *points = contour->values[0];
    return static_cast<int32_t>(contour->count);
}

void ClearGlyphContour(tavixInternalFontData *font)
{
    glyva::clearContours(font);
}

int32_t GetKerning(float *kerning, tavixInternalFontData *font, uint32_t leftChar,
                   uint32_t rightChar)
{
    FT_Vector vector;
    if (!kerning || !pairKerning(font, leftChar, rightChar, &vector))
        return 0;
    kerning[0] = glyva::scaled(vector.x);
    kerning[1] = glyva::scaled(vector.y);
    return 1;
}

int32_t GetKerning2(float *x, float *y, tavixInternalFontData *font, uint32_t leftChar,
                    uint32_t rightChar)
{
    FT_Vector vector;
    if (!pairKerning(font, leftChar, rightChar, &vector))
        return 0;
    if (x)
        *x = glyva::scaled(vector.x);
    if (y)
        *y = glyva::scaled(vector.y);
    return 1;
}

float GetMaxAdvanceX(tavixInternalFontData *font)
{
    return font ? font->maxAdvanceX : 0.0f;
}
