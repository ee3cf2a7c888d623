#include "shape/shapeFont.hh"

#include <stdint.h>

#include "glyph/glyphMesh.hh"
#include "glyph/glyphOutline.hh"
#include "util/plyxUtil.h"

namespace
{

using glyva::shape::setError;

/* The glyph index when the face has it; otherwise the error is set. */
bool knownGlyph(glyvaShapeFont *font, uint32_t glyphIndex)
{
    const FT_Long glyphs = font->core->ftFace->num_glyphs;
    if (static_cast<FT_Long>(glyphIndex) < glyphs && glyphIndex <= INT32_MAX)
        return true;
    setError(font, "glyph index %u is past the %ld glyphs of the face",
             static_cast<unsigned>(glyphIndex), static_cast<long>(glyphs));
    return false;
}

void releaseLastMesh(glyvaShapeFont *font)
{
    if (font->haveLastMeshed)
        clearMFInt32(&font->core->glyphData[font->lastMeshed].triangleIndices);
    font->haveLastMeshed = false;
    clearMFVec2f(&font->core->glyphVertices);
}

} // namespace

int32_t glyvaShapeGlyphInfo(glyphInfoRecord *info, glyvaShapeFont *font, uint32_t glyphIndex)
{
    if (!font)
        return 0;
    if (!info) {
        setError(font, "no output record");
        return 0;
    }
    if (!knownGlyph(font, glyphIndex))
        return 0;
    internalGlyphData *record = &font->core->glyphData[glyphIndex];
    if (!record->valid && !glyva::loadGlyph(font->core, glyphIndex, record)) {
        setError(font, "FreeType cannot load glyph %u", static_cast<unsigned>(glyphIndex));
        return 0;
    }
    *info = record->metrics;
    return 1;
}

int32_t glyvaShapeGlyphMesh(glyvaShapeFont *font, uint32_t glyphIndex, const float **vertices,
                            int32_t *vertexCount, const int32_t **indices, int32_t *indexCount)
{
    if (!font)
        return 0;
    if (!vertices || !vertexCount || !indices || !indexCount) {
        setError(font, "no output pointer");
        return 0;
    }
    if (!knownGlyph(font, glyphIndex))
        return 0;
    tavixInternalFontData *core = font->core;
    internalGlyphData *record = &core->glyphData[glyphIndex];
    /* The glyph's mesh alone: the shared vertex array starts empty, as after
     * ClearGlyphData, so that the same glyph meshes the same way by either route. */
    releaseLastMesh(font);
    clearMFInt32(&record->triangleIndices);
    if (!glyva::tesselateGlyph(core, glyphIndex, record)) {
        setError(font, "cannot mesh glyph %u", static_cast<unsigned>(glyphIndex));
        clearMFInt32(&record->triangleIndices);
        clearMFVec2f(&core->glyphVertices);
        return 0;
    }
    font->lastMeshed = glyphIndex;
    font->haveLastMeshed = true;
    const bool empty = record->triangleIndices.count == 0;
    *vertices = empty || !core->glyphVertices.values ? nullptr : core->glyphVertices.values[0];
    *vertexCount = empty ? 0 : static_cast<int32_t>(core->glyphVertices.count);
    *indices = empty ? nullptr : record->triangleIndices.values;
    *indexCount = static_cast<int32_t>(record->triangleIndices.count);
    return 1;
}

int32_t glyvaShapeGlyphContour(const float **points, glyvaShapeFont *font, uint32_t glyphIndex,
                               int32_t contourIndex, uint8_t *evenOddFill,
                               uint8_t *postScriptOrientation)
{
    if (!font)
        return 0;
    if (!points) {
        setError(font, "no output pointer");
        return 0;
    }
    if (!knownGlyph(font, glyphIndex))
        return 0;
    const SimpleVec3Array *contour = nullptr;
    switch (glyva::flattenedContour(font->core, glyphIndex, contourIndex, &contour, evenOddFill,
                                    postScriptOrientation)) {
    case glyva::Contour::kFound:
        *points = contour->values[0];
        return static_cast<int32_t>(contour->count);
    case glyva::Contour::kOverBudget:
        setError(font, "glyph %u is too complex to outline: over the glyph budget",
                 static_cast<unsigned>(glyphIndex));
        return 0;
    case glyva::Contour::kNone:
        setError(font, "glyph %u has no contour %d", static_cast<unsigned>(glyphIndex),
                 static_cast<int>(contourIndex));
        return 0;
    default:
        setError(font, "out of memory flattening glyph %u", static_cast<unsigned>(glyphIndex));
        return 0;
    }
}
