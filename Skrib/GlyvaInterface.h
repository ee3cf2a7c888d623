#ifndef SKRIB_GLYVAINTERFACE_H
#define SKRIB_GLYVAINTERFACE_H

#include <stdint.h>

#include "util/glyvaExport.h"

/* The font API. Lengths are 32-bit floats in ems (FreeType 26.6 values at 640 units
 * per em, divided by 640), except the face bounding box and maximal advance, which
 * are font units divided by 640. Arrays handed out are views into the handle's
 * storage: copy them; they stay valid until the next call that rebuilds or clears
 * them, or CloseFont. Output arguments are written only on success. */

#ifdef __cplusplus
struct tavixInternalFontData;
#else
typedef struct tavixInternalFontData tavixInternalFontData;
#endif

typedef struct glyphInfoRecord {
    float width;
    float height;
    float horiAdvance;
    float vertAdvance;
    float horiBearingX;
    float horiBearingY;
    float vertBearingX;
    float vertBearingY;
    int32_t contourCount;
} glyphInfoRecord;

GLYVA_BEGIN_DECLS

/* Null only for a null path or when the handle cannot be allocated; a font that
 * cannot be used is told by the first glyph query failing. */
GLYVA_API struct tavixInternalFontData *OpenFont(const char *path);
GLYVA_API void CloseFont(struct tavixInternalFontData *font);
GLYVA_API const char *GetDescription(void);

/* Ems; a null handle gives 0.0. */
GLYVA_API float GetAscender(struct tavixInternalFontData *font);
GLYVA_API float GetDescender(struct tavixInternalFontData *font);
/* bounds = xMin, xMax, yMin, yMax in font units / 640; 1, or 0 for a null handle. */
GLYVA_API int32_t GetFontBounds(float *bounds, struct tavixInternalFontData *font);
/* 0 to 100; larger values leave the quality unchanged. */
GLYVA_API void SetQuality(struct tavixInternalFontData *font, uint32_t percent);
GLYVA_API int32_t GetQuality(struct tavixInternalFontData *font);

/* 1 with info filled, 0 on failure. Marks the glyph ready for the other queries. */
GLYVA_API int32_t GetGlyphInfo(glyphInfoRecord *info, struct tavixInternalFontData *font,
                               uint32_t charCode);

/* Tessellates the glyph now; the count of the shared vertex array (2 floats each)
 * or -1. */
GLYVA_API int32_t GetGlyphVertices(float **vertices, struct tavixInternalFontData *font,
                                   uint32_t charCode);
/* The glyph's triangle list, three indices per triangle, or -1. */
GLYVA_API int32_t GetGlyphTriangleIndices(int32_t **indices, struct tavixInternalFontData *font,
                                          uint32_t charCode);
/* Empties the glyph's triangle list and the shared vertex array. */
GLYVA_API void ClearGlyphData(struct tavixInternalFontData *font, uint32_t charCode);

/* Points (x, y, 0) of one flattened contour and its count, or 0. The pointer is
 * valid until the next GetGlyphContour, ClearGlyphContour or CloseFont. */
GLYVA_API int32_t GetGlyphContour(float **points, struct tavixInternalFontData *font,
                                  uint32_t charCode, int32_t contourIndex, uint8_t *evenOddFill,
                                  uint8_t *postScriptOrientation);
GLYVA_API void ClearGlyphContour(struct tavixInternalFontData *font);

/* Kerning of a pair in ems (x then y): 1, or 0 with nothing written. */
GLYVA_API int32_t GetKerning(float *kerning, struct tavixInternalFontData *font, uint32_t leftChar,
                             uint32_t rightChar);
GLYVA_API int32_t GetKerning2(float *x, float *y, struct tavixInternalFontData *font,
                              uint32_t leftChar, uint32_t rightChar);

GLYVA_END_DECLS

/* Hosts bind to the C++ symbol _Z14GetMaxAdvanceXP21tavixInternalFontData, so this
 * one entry point stands outside the C linkage block on purpose. C callers reach it
 * through the same symbol. */
#ifdef __cplusplus
GLYVA_API float GetMaxAdvanceX(tavixInternalFontData *font);
#elif defined(__GNUC__)
GLYVA_API float
GetMaxAdvanceX(tavixInternalFontData *font) __asm__("_Z14GetMaxAdvanceXP21tavixInternalFontData");
#endif

#endif
