#include <stdint.h>

#include "glyph/flatten.hh"
#include "glyph/glyphBudget.hh"
#include "glyph/glyphMesh.hh"
#include "glyph/glyphOutline.hh"
#include "util/emuKD/kd.h"
#include "util/plyxUtil.h"
#include FT_OUTLINE_H

namespace
{

/* Flattens every contour of the outline into freshly allocated handle arrays, as long
 * as the glyph keeps to its point budget. */
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
    uint32_t points = 0;
    for (int k = 0; k < outline->n_contours; ++k) {
        glyva::Flattened result = glyva::flattenContour(font->quality, outline, k, lists[k],
                                                        glyva::kMaxGlyphPoints - points);
        if (result != glyva::Flattened::kPoints)
            return result;
        points += lists[k].count;
    }
    return glyva::Flattened::kPoints;
}

uint8_t postScriptOrientation(const FT_Outline *outline)
{
    FT_Orientation orientation = FT_Outline_Get_Orientation(const_cast<FT_Outline *>(outline));
    return orientation == FT_ORIENTATION_POSTSCRIPT ? 1 : 0;
}

/* The glyph's flattened lists pass its budget, or are released. */
glyva::Contour budgetedContour(tavixInternalFontData *font, FT_UInt glyphIndex, int32_t k,
                               const SimpleVec3Array **contour)
{
    glyva::GlyphCost cost = {0, 0};
    glyva::Budget budget = glyva::glyphBudget(font, glyphIndex, [&] {
        return glyva::fitsBudget(font->glyphContours, static_cast<size_t>(font->glyphContourCount),
                                 &cost);
    });
    if (budget == glyva::Budget::kWithin) {
        *contour = &font->glyphContours[k];
        return glyva::Contour::kFound;
    }
    glyva::reportOverBudget(glyphIndex, budget, cost);
    glyva::clearContours(font);
    return budget == glyva::Budget::kOutOfMemory ? glyva::Contour::kOutOfMemory
                                                 : glyva::Contour::kOverBudget;
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
        return budgetedContour(font, glyphIndex, k, contour);
    case Flattened::kNothing:
        return Contour::kNone;
    case Flattened::kTooMany:
        reportOverBudget(glyphIndex, Budget::kTooManyPoints, {kMaxGlyphPoints + 1ull, 0});
        clearContours(font);
        return Contour::kOverBudget;
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
