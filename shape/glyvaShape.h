#ifndef SHAPE_GLYVASHAPE_H
#define SHAPE_GLYVASHAPE_H

#include <stdint.h>

#include "Skrib/GlyvaInterface.h"
#include "util/glyvaExport.h"

/* Text layout beside the font API: HarfBuzz shapes UTF-8 text on a face of a font
 * file (a face of a collection, an instance of a variable font), and the glyphs it
 * picks are meshed and outlined by glyph index with the same flattening,
 * tessellation and quality rules as the font API's character queries.
 *
 * Positions from shaping are doubles in ems at full precision (font units divided by
 * units per em). Meshes and contours are 32-bit floats in ems exactly as the font
 * API hands them out. Arrays handed out are views into the handle's storage, valid
 * until the next call that rebuilds them, or glyvaShapeClose. */

#ifdef __cplusplus
struct glyvaShapeFont;
#else
typedef struct glyvaShapeFont glyvaShapeFont;
#endif

/* Results of glyvaShapeOpen. */
enum {
    GLYVA_SHAPE_OK = 0,
    GLYVA_SHAPE_BAD_ARGUMENT = 1, /* null handle pointer or path */
    GLYVA_SHAPE_BAD_FILE = 2,     /* unreadable, or not a font FreeType and HarfBuzz read */
    GLYVA_SHAPE_BAD_FACE = 3,     /* face index outside the file's faces */
    GLYVA_SHAPE_BAD_INSTANCE = 4, /* unknown axis or instance, malformed variation text */
    GLYVA_SHAPE_NO_MEMORY = 5
};

/* Text direction for shaping; AUTO guesses it from the text's script. */
enum {
    GLYVA_SHAPE_DIRECTION_AUTO = 0,
    GLYVA_SHAPE_DIRECTION_LTR = 1,
    GLYVA_SHAPE_DIRECTION_RTL = 2,
    GLYVA_SHAPE_DIRECTION_TTB = 3,
    GLYVA_SHAPE_DIRECTION_BTT = 4
};

/* What shaping is told; a zeroed record asks for automatic detection throughout. */
typedef struct glyvaShapeOptions {
    const char *script;   /* ISO 15924 tag such as "Arab", or null / "" to detect */
    const char *language; /* BCP 47 tag such as "fa", or null / "" for the default */
    const char *features; /* comma-separated HarfBuzz feature texts, e.g. "liga=0,+smcp" */
    int32_t direction;    /* GLYVA_SHAPE_DIRECTION_* */
} glyvaShapeOptions;

/* One output glyph, in visual order (right-to-left runs come out reversed). cluster
 * is the byte offset into the text of the first character the glyph stands for.
 * The record is 40 bytes with the same layout on 32-bit and 64-bit builds. */
typedef struct glyvaShapedGlyph {
    uint32_t glyphIndex;
    uint32_t cluster;
    double xAdvance;
    double yAdvance;
    double xOffset;
    double yOffset;
} glyvaShapedGlyph;

GLYVA_BEGIN_DECLS

/* Opens face faceIndex of the file at path. instance is null or "" for the default
 * instance, "AXIS=VALUE,..." for axis values (axes not named keep their defaults),
 * or the name of one of the font's named instances ("Bold"). On success *font is the
 * handle and GLYVA_SHAPE_OK is returned; otherwise *font is null and, when
 * messageSize > 0, message holds why (cut to messageSize - 1 bytes). */
GLYVA_API int32_t glyvaShapeOpen(struct glyvaShapeFont **font, const char *path, int32_t faceIndex,
                                 const char *instance, char *message, uint32_t messageSize);
GLYVA_API void glyvaShapeClose(struct glyvaShapeFont *font);

/* Why the handle's last failed call failed; "" when none has. */
GLYVA_API const char *glyvaShapeError(const struct glyvaShapeFont *font);

/* Count of glyph indices in the face (valid indices are below it); 0 for null. */
GLYVA_API int32_t glyvaShapeGlyphCount(const struct glyvaShapeFont *font);
/* Units per em of the face, the divisor of every shaped position; 0 for null. */
GLYVA_API int32_t glyvaShapeUnitsPerEm(const struct glyvaShapeFont *font);
/* Ascender and descender in ems, as the font API reports them for the instance;
 * 1, or 0 for a null handle. Either pointer may be null. */
GLYVA_API int32_t glyvaShapeFontMetrics(const struct glyvaShapeFont *font, float *ascender,
                                        float *descender);

/* Curve subdivision, 0 to 100 as SetQuality (default 50); larger values are ignored. */
GLYVA_API void glyvaShapeSetQuality(struct glyvaShapeFont *font, uint32_t percent);
GLYVA_API int32_t glyvaShapeGetQuality(const struct glyvaShapeFont *font);

/* Shapes byteLength bytes of UTF-8 (byteLength < 0: up to the terminating NUL).
 * The count of glyphs, with *glyphs pointing at them (null for 0), or -1 for a null
 * argument, invalid UTF-8, an unknown script, language, direction or feature text,
 * or a shaping failure; glyvaShapeError then tells which. options may be null. */
GLYVA_API int32_t glyvaShapeText(struct glyvaShapeFont *font, const char *utf8, int32_t byteLength,
                                 const glyvaShapeOptions *options, const glyvaShapedGlyph **glyphs);

/* Metrics of a glyph by index, as GetGlyphInfo gives them for a character: 1, or 0
 * for a glyph index the face does not have or that FreeType cannot load. */
GLYVA_API int32_t glyvaShapeGlyphInfo(glyphInfoRecord *info, struct glyvaShapeFont *font,
                                      uint32_t glyphIndex);

/* Meshes a glyph by index: the vertices (2 floats each, ems, relative to the pen)
 * and triangle indices (3 per triangle) of that glyph alone. 1, or 0 on failure
 * with nothing written. A glyph without contours gives counts of 0. */
GLYVA_API int32_t glyvaShapeGlyphMesh(struct glyvaShapeFont *font, uint32_t glyphIndex,
                                      const float **vertices, int32_t *vertexCount,
                                      const int32_t **indices, int32_t *indexCount);

/* Points (x, y, 0) of flattened contour contourIndex of a glyph and their count, or
 * 0, as GetGlyphContour. Valid until the next contour query or glyvaShapeClose. */
GLYVA_API int32_t glyvaShapeGlyphContour(const float **points, struct glyvaShapeFont *font,
                                         uint32_t glyphIndex, int32_t contourIndex,
                                         uint8_t *evenOddFill, uint8_t *postScriptOrientation);

GLYVA_END_DECLS

#endif
