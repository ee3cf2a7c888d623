#include "shape/shapeFont.hh"

#include <stdint.h>

#include "glyph/glyphMesh.hh"
#include "glyph/glyphOutline.hh"
#include "shape/meshCache.hh"
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

/* The glyph's mesh alone, meshed afresh into the handle's cache: the shared vertex
 * array starts empty, as after ClearGlyphData, so that the same glyph meshes the same
 * way by either route, and both arrays are emptied again once copied. */
const CachedMesh *meshAfresh(glyvaShapeFont *font, uint32_t glyphIndex)
{
    tavixInternalFontData *core = font->core;
    internalGlyphData *record = &core->glyphData[glyphIndex];
    clearMFVec2f(&core->glyphVertices);
    clearMFInt32(&record->triangleIndices);
    const CachedMesh *mesh = nullptr;
    if (!glyva::tesselateGlyph(core, glyphIndex, record)) {
        setError(font, "cannot mesh glyph %u", static_cast<unsigned>(glyphIndex));
    } else {
        const bool empty = record->triangleIndices.count == 0;
        const float *vertices = empty ? nullptr : core->glyphVertices.values[0];
        mesh = glyva::shape::storeMesh(
            font, glyphIndex, vertices, empty ? 0 : core->glyphVertices.count,
            record->triangleIndices.values, record->triangleIndices.count);
        if (!mesh)
            setError(font, "out of memory meshing glyph %u", static_cast<unsigned>(glyphIndex));
    }
    clearMFInt32(&record->triangleIndices);
    clearMFVec2f(&core->glyphVertices);
    return mesh;
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
    const CachedMesh *mesh = glyva::shape::cachedMesh(font, glyphIndex);
    if (!mesh)
        mesh = meshAfresh(font, glyphIndex);
    if (!mesh)
        return 0;
    *vertices = mesh->vertices;
    *vertexCount = mesh->vertexCount;
    *indices = mesh->indices;
    *indexCount = mesh->indexCount;
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
