#include "glyph/glyphOutline.hh"

namespace glyva
{

FT_GlyphSlot loadGlyph(tavixInternalFontData *font, FT_UInt glyphIndex, internalGlyphData *record)
{
    if (!font->slotKnown || font->slotGlyph != glyphIndex) {
        font->slotKnown = false;
        if (FT_Load_Glyph(font->ftFace, glyphIndex, FT_LOAD_NO_HINTING))
            return nullptr;
        font->slotKnown = true;
        font->slotGlyph = glyphIndex;
    }
    FT_GlyphSlot slot = font->ftFace->glyph;
    if (!slot || !record)
        return slot;
    const FT_Glyph_Metrics &m = slot->metrics;
    glyphInfoRecord &metrics = record->metrics;
    metrics.width = scaled(m.width);
    metrics.height = scaled(m.height);
    metrics.horiAdvance = scaled(m.horiAdvance);
    metrics.vertAdvance = scaled(m.vertAdvance);
    metrics.horiBearingX = scaled(m.horiBearingX);
    metrics.horiBearingY = scaled(m.horiBearingY);
    metrics.vertBearingX = scaled(m.vertBearingX);
    metrics.vertBearingY = scaled(m.vertBearingY);
    metrics.contourCount = slot->format == FT_GLYPH_FORMAT_OUTLINE ? slot->outline.n_contours : 0;
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

ContourPoints contourPoints(const FT_Outline *outline, int k)
{
    int first = k == 0 ? 0 : outline->contours[k - 1] + 1;
    return {outline->points + first, reinterpret_cast<const char *>(outline->tags + first),
            static_cast<uint16_t>(outline->contours[k] - first + 1)};
}

} // namespace glyva
