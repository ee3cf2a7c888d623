#include <stdint.h>

#include <GL/glu.h>

#include "Skrib/fontData.hh"
#include "glyph/glyphMesh.hh"
#include "util/emuKD/kd.h"
#include "util/plyxUtil.h"
#include FT_OUTLINE_H

namespace
{

/* The messages name the interface: it is where hosts meet them. */
constexpr const char *kSource = "Skrib/GlyvaInterface";

/* FT_Set_Char_Size argument: 640 in 26.6 at 72 dpi is 10 pixels per em. */
constexpr FT_F26Dot6 kCharSize = 640;

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

/* Steps after the library exists; each failure leaves the handle in the state it has
 * reached, which the glyph queries then refuse. */
void openFace(tavixInternalFontData *font, const char *path, FT_Long faceIndex)
{
    uint32_t size = 0;
    font->fontData = readBinaryFileToMemory(path, &size);
    if (!font->fontData) {
        plyxErrorMessage(kSource, 249, "unable to read font %s\n", path);
        return;
    }
    FT_Face face = nullptr;
    if (FT_New_Memory_Face(*font->ftLibrary, static_cast<const FT_Byte *>(font->fontData),
                           static_cast<FT_Long>(size), faceIndex, &face))
        return;
    font->ftFace = face;
    if (!hasUnicodeCharmap(face))
        return;
    FT_Set_Char_Size(face, 0, kCharSize, 72, 72);
    storeFaceMetrics(font);
    font->glyphData = newGlyphTable(face->num_glyphs);
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

tavixInternalFontData *newFont(const char *path, FT_Long faceIndex)
{
    if (!path)
        return nullptr;
    auto *font = static_cast<tavixInternalFontData *>(kdMalloc(sizeof(tavixInternalFontData)));
    if (!font)
        return nullptr;
    setCreationValues(font);
    font->ftLibrary = static_cast<FT_Library *>(kdMalloc(sizeof(FT_Library)));
    if (!font->ftLibrary)
        return font;
    *font->ftLibrary = nullptr;
    if (FT_Init_FreeType(font->ftLibrary)) {
        plyxErrorMessage(kSource, 157, "init TAVIX_FT_Library %p FAILED\n",
                         static_cast<void *>(*font->ftLibrary));
        kdFree(font->ftLibrary);
        font->ftLibrary = nullptr;
        return font;
    }
    openFace(font, path, faceIndex);
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
    clearMFVec2f(&font->glyphVertices);
    clearContours(font);
    if (font->tessellator)
        gluDeleteTess(font->tessellator);
    font->tessellator = nullptr;
    if (font->ftLibrary) {
        FT_Done_FreeType(*font->ftLibrary);
        kdFree(font->ftLibrary);
        font->ftLibrary = nullptr;
    }
    kdFree(font);
}

void refreshFaceMetrics(tavixInternalFontData *font)
{
    if (!font || !font->ftFace || !font->ftFace->size)
        return;
    FT_Set_Char_Size(font->ftFace, 0, kCharSize, 72, 72);
    storeFaceMetrics(font);
}

void clearContours(tavixInternalFontData *font)
{
    if (!font || !font->glyphContours)
        return;
    for (int32_t k = 0; k < font->glyphContourCount; ++k)
        clearMFVec3f(&font->glyphContours[k]);
    kdFree(font->glyphContours);
    font->glyphContours = nullptr;
    font->glyphContourCount = 0;
}

/* Flattens every contour of the outline into freshly allocated handle arrays. */
Flattened flattenAllContours(tavixInternalFontData *font, const FT_Outline *outline)
{
    clearContours(font);
    size_t n = static_cast<size_t>(outline->n_contours);
    auto *lists = static_cast<SimpleVec3Array *>(kdMalloc(n * sizeof(SimpleVec3Array)));
    if (!lists)
        return Flattened::kOutOfMemory;
    kdMemset(lists, 0, n * sizeof(SimpleVec3Array));
    font->glyphContours = lists;
    font->glyphContourCount = outline->n_contours;
    for (int k = 0; k < outline->n_contours; ++k) {
        int first;
        uint16_t count;
        contourSpan(outline, k, &first, &count);
        Flattened result =
            flattenContour(font->quality, outline->points + first,
                           reinterpret_cast<const char *>(outline->tags + first), count, lists[k]);
        if (result != Flattened::kPoints)
            return result;
    }
    return Flattened::kPoints;
}

Contour flattenedContour(tavixInternalFontData *font, FT_UInt glyphIndex, int32_t k,
                         const SimpleVec3Array **contour, uint8_t *evenOddFill,
                         uint8_t *postScriptOrientation)
{
    const FT_Outline *outline = checkedOutline(loadGlyph(font, glyphIndex, nullptr));
    if (!outline || k < 0 || k >= outline->n_contours)
        return Contour::kNone;
    if (evenOddFill)
        *evenOddFill = (outline->flags & FT_OUTLINE_EVEN_ODD_FILL) ? 1 : 0;
    if (postScriptOrientation)
        *postScriptOrientation = FT_Outline_Get_Orientation(const_cast<FT_Outline *>(outline)) ==
                                         FT_ORIENTATION_POSTSCRIPT
                                     ? 1
                                     : 0;
    switch (flattenAllContours(font, outline)) {
    case Flattened::kPoints:
        *contour = &font->glyphContours[k];
        return Contour::kFound;
    case Flattened::kNothing:
        return Contour::kNone;
    default:
        return Contour::kOutOfMemory;
    }
}

void copyMetrics(glyphInfoRecord *info, const internalGlyphData *record)
{
    info->width = record->width;
    info->height = record->height;
    info->horiAdvance = record->horiAdvance;
    info->vertAdvance = record->vertAdvance;
    info->horiBearingX = record->horiBearingX;
    info->horiBearingY = record->horiBearingY;
    info->vertBearingX = record->vertBearingX;
    info->vertBearingY = record->vertBearingY;
    info->contourCount = record->contourCount;
}

void setQuality(tavixInternalFontData *font, uint32_t percent)
{
    if (font && percent <= 100)
        font->quality = static_cast<float>(percent) / 100.0f;
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
    FT_UInt g = FT_Get_Char_Index(font->ftFace, charCode);
    /* The table has num_glyphs + 1 records; a charmap pointing past it is corrupt. */
    if (static_cast<FT_Long>(g) > font->ftFace->num_glyphs)
        g = 0;
    if (glyphIndex)
        *glyphIndex = g;
    return &font->glyphData[g];
}

FT_GlyphSlot loadGlyph(tavixInternalFontData *font, FT_UInt glyphIndex, internalGlyphData *record)
{
    if (FT_Load_Glyph(font->ftFace, glyphIndex, FT_LOAD_NO_HINTING))
        return nullptr;
    FT_GlyphSlot slot = font->ftFace->glyph;
    if (!slot || !record)
        return slot;
    const FT_Glyph_Metrics &m = slot->metrics;
    record->width = scaled(m.width);
    record->height = scaled(m.height);
    record->horiAdvance = scaled(m.horiAdvance);
    record->vertAdvance = scaled(m.vertAdvance);
    record->horiBearingX = scaled(m.horiBearingX);
    record->horiBearingY = scaled(m.horiBearingY);
    record->vertBearingX = scaled(m.vertBearingX);
    record->vertBearingY = scaled(m.vertBearingY);
    record->contourCount = slot->format == FT_GLYPH_FORMAT_OUTLINE ? slot->outline.n_contours : 0;
    record->valid = 1;
    return slot;
}

const FT_Outline *checkedOutline(FT_GlyphSlot slot)
{
    if (!slot || slot->format != FT_GLYPH_FORMAT_OUTLINE)
        return nullptr;
    const FT_Outline *outline = &slot->outline;
    if (outline->n_contours < 0 || outline->n_points < 0)
        return nullptr;
    if (outline->n_contours > 0 && (!outline->contours || !outline->points || !outline->tags))
        return nullptr;
    /* Each contour ends at or after the previous end (an empty contour repeats it) and
     * inside the point array, so every span read later stays in bounds. */
    int previous = -1;
    for (int k = 0; k < outline->n_contours; ++k) {
        int last = outline->contours[k];
        if (last < previous || last >= outline->n_points)
            return nullptr;
        previous = last;
    }
    return outline;
}

void contourSpan(const FT_Outline *outline, int k, int *first, uint16_t *count)
{
    *first = k == 0 ? 0 : outline->contours[k - 1] + 1;
    *count = static_cast<uint16_t>(outline->contours[k] - *first + 1);
}

} // namespace glyva
