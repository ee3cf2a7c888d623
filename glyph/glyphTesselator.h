#ifndef GLYPH_GLYPHTESSELATOR_H
#define GLYPH_GLYPHTESSELATOR_H

#include <stdint.h>

#include <ft2build.h>
#include FT_FREETYPE_H

#include "Skrib/GlyvaInterface.h"
#include "util/glyvaExport.h"
#include "util/plyxTypes.h"

GLYVA_BEGIN_DECLS

/* Appends the flattened polyline of one closed outline contour (26.6 points and
 * FreeType tags) to out, in ems with z = 0, curves subdivided by the font's quality.
 * Nonzero when out holds at least one point afterwards. */
GLYVA_API int fillContour(struct tavixInternalFontData *font, const FT_Vector *points,
                          const char *tags, uint16_t count, SimpleVec3Array *out);

/* Meshes the character's glyph into the handle's shared vertex array and the glyph's
 * triangle list. The glyph index, or 0 on failure (glyph 0 always reads as 0). */
GLYVA_API uint32_t tavixTesselateGlyph(struct tavixInternalFontData *font, uint32_t charCode);

GLYVA_END_DECLS

#endif
