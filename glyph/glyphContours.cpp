#include <stdint.h>

#include "glyph/flatten.hh"
#include "glyph/glyphMesh.hh"
#include "glyph/glyphOutline.hh"
#include "util/emuKD/kd.h"
#include "util/plyxUtil.h"
#include FT_OUTLINE_H

namespace
{

/* Flattens every contour of the outline into freshly allocated handle arrays. */
glyva::Flattened flattenAllContours(tavixInternalFontData *font, const FT_Outline *outline)
{
    glyva::clearContours(font);
    size_t n = static_cast<size_t>(outline->n_contours);
    auto *lists = static_cast<SimpleVec3Array *>(kdMalloc(n * sizeof(SimpleVec3Array)));
    if (!lists)
        return glyva::Flattened::kOutOfMemory;
    kdMemset(lists, 0, n * sizeof(SimpleVec3Array));
    font->glyphContours = lists;
    font->glyphContourCount = outline->n_contours;
    for (int k = 0; k < outline->n_contours; ++k) {
        glyva::Flattened result = glyva::flattenContour(font->quality, outline, k, lists[k]);
        if (result != glyva::Flattened::kPoints)
            return result;
    }
    return glyva::Flattened::kPoints;
}

uint8_t postScriptOrientation(const FT_Outline *outline)
{
    FT_Orientation orientation = FT_Outline_Get_Orientation(const_cast<FT_Outline *>(outline));
    return orientation == FT_ORIENTATION_POSTSCRIPT ? 1 : 0;
}

} // namespace

namespace glyva
{

Contour flattenedContour(tavixInternalFontData *font, FT_UInt glyphIndex, int32_t k,
                         const SimpleVec3Array **contour, uint8_t *evenOddFill, uint8_t *postScript)
{
    const FT_Outline *outline = checkedOutline(loadGlyph(font, glyphIndex, nullptr));
    if (!outline || k < 0 || k >= outline->n_contours)
        return Contour::kNone;
    if (evenOddFill)
        *evenOddFill = (outline->flags & FT_OUTLINE_EVEN_ODD_FILL) ? 1 : 0;
    if (postScript)
        *postScript = postScriptOrientation(outline);
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

} // namespace glyva
