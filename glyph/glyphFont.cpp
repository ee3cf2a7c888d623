#include "glyph/glyphFont.hh"

#include <stdint.h>

#include <GL/glu.h>

#include "glyph/glyphMesh.hh"
#include "util/emuKD/kd.h"
#include "util/plyxUtil.h"

namespace
{

/* The messages name the interface: it is where hosts meet them. */
constexpr const char *kSource = "Skrib/GlyvaInterface";

/* FT_Set_Char_Size argument: 640 in 26.6 at 72 dpi is 10 pixels per em. */
constexpr FT_F26Dot6 kCharSize = 640;

using glyva::FontStatus;
using glyva::scaled;

void setCreationValues(tavixInternalFontData *font)
{
    kdMemset(font, 0, sizeof *font);
    font->ascender = 1.0f;
    font->quality = 0.5f;
}

bool hasUnicodeCharmap(FT_Face face)
{
    return face->charmap && face->charmap->encoding == FT_ENCODING_UNICODE;
}

void storeFaceMetrics(tavixInternalFontData *font)
{
    FT_Face face = font->ftFace;
    font->ascender = scaled(face->size->metrics.ascender);
    font->descender = scaled(face->size->metrics.descender);
    font->boundsXMax = scaled(face->bbox.xMax);
    font->boundsYMax = scaled(face->bbox.yMax);
    font->boundsXMin = scaled(face->bbox.xMin);
    font->boundsYMin = scaled(face->bbox.yMin);
    font->maxAdvanceX = scaled(face->max_advance_width);
    font->maxAdvanceY = scaled(face->max_advance_height);
}

/* One record more than glyph indices reach, all zeroed: no metrics, not valid. */
internalGlyphData *newGlyphTable(FT_Long numGlyphs)
{
    if (numGlyphs < 0 ||
        static_cast<uint64_t>(numGlyphs) + 1 > SIZE_MAX / sizeof(internalGlyphData))
        return nullptr;
    size_t bytes = (static_cast<size_t>(numGlyphs) + 1) * sizeof(internalGlyphData);
    void *table = kdMalloc(bytes);
    if (table)
        kdMemset(table, 0, bytes);
    return static_cast<internalGlyphData *>(table);
}

FontStatus startFreeType(tavixInternalFontData *font)
{
    font->ftLibrary = static_cast<FT_Library *>(kdMalloc(sizeof(FT_Library)));
    if (!font->ftLibrary)
        return FontStatus::kNoMemory;
    *font->ftLibrary = nullptr;
    if (FT_Init_FreeType(font->ftLibrary) == 0)
        return FontStatus::kOk;
    plyxErrorMessage(kSource, 157, "init TAVIX_FT_Library %p FAILED\n",
                     static_cast<void *>(*font->ftLibrary));
    kdFree(font->ftLibrary);
    font->ftLibrary = nullptr;
    return FontStatus::kNoMemory;
}

/* Steps after the library exists; each failure leaves the handle in the state it has
 * reached. */
FontStatus openFace(tavixInternalFontData *font, const char *path, FT_Long faceIndex)
{
    uint32_t size = 0;
    font->fontData = readBinaryFileToMemory(path, &size);
    if (!font->fontData) {
        plyxErrorMessage(kSource, 249, "unable to read font %s\n", path);
        return FontStatus::kUnreadable;
    }
    FT_Face face = nullptr;
    if (FT_New_Memory_Face(*font->ftLibrary, static_cast<const FT_Byte *>(font->fontData),
                           static_cast<FT_Long>(size), faceIndex, &face))
        return FontStatus::kNoFace;
    font->ftFace = face;
    if (!hasUnicodeCharmap(face))
        return FontStatus::kNoUnicodeCharmap;
    FT_Set_Char_Size(face, 0, kCharSize, 72, 72);
    storeFaceMetrics(font);
    font->glyphData = newGlyphTable(face->num_glyphs);
    return font->glyphData ? FontStatus::kOk : FontStatus::kNoMemory;
}

size_t budgetBitBytes(const tavixInternalFontData *font)
{
    return (static_cast<size_t>(font->ftFace->num_glyphs) + 8) / 8;
}

/* The outlines may have changed: no glyph is known to be within its budget. */
void forgetBudgets(tavixInternalFontData *font)
{
    if (font->withinBudget)
        kdMemset(font->withinBudget, 0, budgetBitBytes(font));
}

void releaseGlyphTable(tavixInternalFontData *font)
{
    for (FT_Long g = 0; g <= font->ftFace->num_glyphs; ++g)
        clearMFInt32(&font->glyphData[g].triangleIndices);
    kdFree(font->glyphData);
    font->glyphData = nullptr;
}

} // namespace

namespace glyva
{

tavixInternalFontData *newFont(const char *path, FT_Long faceIndex, FontStatus *status)
{
    FontStatus unused;
    FontStatus &reached = status ? *status : unused;
    reached = path ? FontStatus::kNoMemory : FontStatus::kUnreadable;
    if (!path)
        return nullptr;
    auto *font = static_cast<tavixInternalFontData *>(kdMalloc(sizeof(tavixInternalFontData)));
    if (!font)
        return nullptr;
    setCreationValues(font);
    reached = startFreeType(font);
    if (reached == FontStatus::kOk)
        reached = openFace(font, path, faceIndex);
    return font;
}

void deleteFont(tavixInternalFontData *font)
{
    if (!font)
        return;
    if (font->ftFace) {
        if (font->glyphData)
            releaseGlyphTable(font);
        FT_Done_Face(font->ftFace);
        font->ftFace = nullptr;
    }
    kdFree(font->fontData);
    font->fontData = nullptr;
    kdFree(font->withinBudget);
    font->withinBudget = nullptr;
    clearMFVec2f(&font->glyphVertices);
    clearContours(font);
    if (font->tessellator)
        gluDeleteTess(font->tessellator);
    font->tessellator = nullptr;
    releaseScratch(&font->scratch);
    if (font->ftLibrary) {
        FT_Done_FreeType(*font->ftLibrary);
        kdFree(font->ftLibrary);
        font->ftLibrary = nullptr;
    }
    kdFree(font);
}

void releaseScratch(GlyphScratch *scratch)
{
    clearMFVec3f(&scratch->points);
    kdFree(scratch->contours);
    releaseBudgetScratch(&scratch->budget);
    kdMemset(scratch, 0, sizeof *scratch);
}

void refreshFaceMetrics(tavixInternalFontData *font)
{
    if (!font || !font->ftFace || !font->ftFace->size)
        return;
    FT_Set_Char_Size(font->ftFace, 0, kCharSize, 72, 72);
    storeFaceMetrics(font);
    forgetBudgets(font);
    font->slotKnown = false;
}

bool knownWithinBudget(const tavixInternalFontData *font, FT_UInt glyphIndex)
{
    return font->withinBudget && static_cast<FT_Long>(glyphIndex) <= font->ftFace->num_glyphs &&
           (font->withinBudget[glyphIndex / 8] >> (glyphIndex % 8) & 1) != 0;
}

void noteWithinBudget(tavixInternalFontData *font, FT_UInt glyphIndex)
{
    if (static_cast<FT_Long>(glyphIndex) > font->ftFace->num_glyphs)
        return;
    if (!font->withinBudget) {
        font->withinBudget = static_cast<uint8_t *>(kdMalloc(budgetBitBytes(font)));
        if (!font->withinBudget)
            return;
        forgetBudgets(font);
    }
    font->withinBudget[glyphIndex / 8] |= static_cast<uint8_t>(1u << (glyphIndex % 8));
}

void setQuality(tavixInternalFontData *font, uint32_t percent)
{
    if (!font || percent > 100)
        return;
    const float quality = static_cast<float>(percent) / 100.0f;
    if (quality != font->quality)
        forgetBudgets(font);
    font->quality = quality;
}

/* A single-precision product, so that nearly every percent reads back as stored. */
int32_t quality(const tavixInternalFontData *font)
{
    if (!font)
        return 0;
    float product = 100.0f * font->quality;
    return static_cast<int32_t>(product);
}

internalGlyphData *glyphRecord(tavixInternalFontData *font, uint32_t charCode, FT_UInt *glyphIndex)
{
    if (!font->lastKnown || font->lastCharCode != charCode) {
        FT_UInt found = FT_Get_Char_Index(font->ftFace, charCode);
        /* The table has num_glyphs + 1 records; a charmap pointing past it is corrupt. */
        if (static_cast<FT_Long>(found) > font->ftFace->num_glyphs)
            found = 0;
        font->lastCharCode = charCode;
        font->lastGlyphIndex = found;
        font->lastKnown = true;
    }
    const FT_UInt g = font->lastGlyphIndex;
    if (glyphIndex)
        *glyphIndex = g;
    return &font->glyphData[g];
}

} // namespace glyva
