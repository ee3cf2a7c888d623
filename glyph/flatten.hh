#ifndef GLYPH_FLATTEN_HH
#define GLYPH_FLATTEN_HH

#include <stdint.h>

#include "glyph/glyphOutline.hh"
#include "util/mfArrays.hh"
#include "util/plyxTypes.h"

namespace glyva
{

/* kTooMany: the list would hold more points than its limit; the walk stopped there. */
enum class Flattened { kPoints, kNothing, kTooMany, kOutOfMemory };

/* Appends the flattened polyline of one closed outline contour (26.6 points and
 * FreeType tags) to out, in ems with z = 0, curves subdivided by quality (0 to 1).
 * kPoints when out holds at least one point afterwards; kOutOfMemory, with out
 * emptied, when it could not grow; kTooMany when it would hold more than limit points. */
Flattened flattenContour(float quality, const FT_Vector *points, const char *tags, uint16_t count,
                         SimpleVec3Array &out, uint32_t limit = UINT32_MAX);

/* The same for contour k of a checked outline. */
Flattened flattenContour(float quality, const FT_Outline *outline, int k, SimpleVec3Array &out,
                         uint32_t limit = UINT32_MAX);

/* The same appending to storage that grows through out and is not trimmed: kPoints
 * when the contour added at least one point. The limit counts every point out holds. */
Flattened flattenContour(float quality, const FT_Vector *points, const char *tags, uint16_t count,
                         mf::Reserve<SimpleVec3Array> &out, uint32_t limit);
Flattened flattenContour(float quality, const FT_Outline *outline, int k,
                         mf::Reserve<SimpleVec3Array> &out, uint32_t limit);

} // namespace glyva

#endif
