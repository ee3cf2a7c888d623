#ifndef SKRIB_FONTDATA_HH
#define SKRIB_FONTDATA_HH

#include <stdint.h>

#include <ft2build.h>
#include FT_FREETYPE_H

#include "Skrib/GlyvaInterface.h"
#include "util/plyxTypes.h"

class GLUtesselator;

/* Every FreeType value becomes a length by this divisor: 26.6 values at 640 units per
 * em become ems, font units become font units / 640. */
constexpr float kFontScale = 640.0f;

/* Per-glyph cache, indexed by FreeType glyph index. */
struct internalGlyphData {
    float width;
    float height;
    float horiAdvance;
    float vertAdvance;
    float horiBearingX;
    float horiBearingY;
    float vertBearingX;
    float vertBearingY;
    MFInt32 triangleIndices;
    uint32_t valid;
    /* Kept beside the metrics so that a cached GetGlyphInfo can report it without
     * loading the glyph again. */
    int32_t contourCount;
};

struct tavixInternalFontData {
    FT_Library *ftLibrary;
    FT_Face ftFace;
    float ascender;
    float descender;
    float maxAdvanceX;
    float maxAdvanceY;
    float boundsXMax;
    float boundsXMin;
    float boundsYMax;
    float boundsYMin;
    float quality;
    void *fontData;
    internalGlyphData *glyphData;
    MFVec2f glyphVertices;
    int32_t glyphContourCount;
    SimpleVec3Array *glyphContours;
    /* The glyph path's GLU tessellator, kept between glyphs; null until the first
     * mesh and after one that failed. */
    GLUtesselator *tessellator;
};

namespace glyva
{

inline float scaled(FT_Pos value)
{
    return static_cast<float>(value) / kFontScale;
}

/* A handle on face faceIndex of the file: null only for a null path or when the handle
 * cannot be allocated; otherwise the handle, in the state its opening reached (a face
 * that cannot be used leaves ftFace or glyphData null). */
tavixInternalFontData *newFont(const char *path, FT_Long faceIndex);
void deleteFont(tavixInternalFontData *font);

/* Sets the handle's size again and re-reads the face metrics, for a face whose
 * variation coordinates changed after opening; before any glyph is loaded, since the
 * glyph records keep the metrics they were loaded with. */
void refreshFaceMetrics(tavixInternalFontData *font);

/* The handed-out contour lists of the last flattened glyph. */
void clearContours(tavixInternalFontData *font);
/* Metrics of a loaded record as the interfaces hand them out. */
void copyMetrics(glyphInfoRecord *info, const internalGlyphData *record);

/* Quality in percent, 0 to 100 (larger values are ignored), and back. */
void setQuality(tavixInternalFontData *font, uint32_t percent);
int32_t quality(const tavixInternalFontData *font);

/* The face is ready for glyph queries: opened, Unicode charmap, glyph table. */
inline bool fontReady(const tavixInternalFontData *font)
{
    return font && font->ftFace && font->glyphData;
}

/* The record addressed by a character code; characters without a glyph share 0. */
internalGlyphData *glyphRecord(tavixInternalFontData *font, uint32_t charCode, FT_UInt *glyphIndex);

/* Loads the glyph unhinted at the handle's size; with a record, refreshes its metrics
 * and marks it valid. The glyph slot, or null when FreeType cannot load the glyph. */
FT_GlyphSlot loadGlyph(tavixInternalFontData *font, FT_UInt glyphIndex, internalGlyphData *record);

/* The slot's outline when it is one whose contour ends can be walked safely: ends
 * non-decreasing and inside the point array. Null otherwise. */
const FT_Outline *checkedOutline(FT_GlyphSlot slot);

/* Contour k's first point and point count inside a checked outline. */
void contourSpan(const FT_Outline *outline, int k, int *first, uint16_t *count);

} // namespace glyva

#endif
