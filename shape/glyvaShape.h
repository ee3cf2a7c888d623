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
    GLYVA_SHAPE_NO_MEMORY = 5,
    GLYVA_SHAPE_BAD_TEXT = 6,  /* null or invalid UTF-8 text */
    GLYVA_SHAPE_BAD_OPTION = 7 /* a layout option out of range or unreadable */
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
/* The glyph index the font API draws character code with (its cmap entry, as
 * GetGlyphInfo finds it): 0, the missing glyph, for a character the face does not map
 * or a null handle. */
GLYVA_API uint32_t glyvaShapeCharacterGlyph(struct glyvaShapeFont *font, uint32_t code);
/* Units per em of the face, the divisor of every shaped position; 0 for null. */
GLYVA_API int32_t glyvaShapeUnitsPerEm(const struct glyvaShapeFont *font);
/* The font's own line metrics in ems at full precision: ascender (above the
 * baseline, positive), descender (below it, negative) and line gap, from OS/2's
 * typographic values when the font sets USE_TYPO_METRICS, otherwise from hhea (with
 * HarfBuzz's fallbacks for fonts that lack both). The line pitch of the layout is
 * ascender - descender + lineGap. 1, or 0 for a null handle; any pointer may be null. */
GLYVA_API int32_t glyvaShapeLineMetrics(const struct glyvaShapeFont *font, double *ascender,
                                        double *descender, double *lineGap);
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
 * with nothing written. A glyph without contours gives counts of 0. Each glyph is
 * meshed once per quality and kept by the handle (a bounded cache), so asking again
 * costs nothing; the arrays stay valid until the next glyvaShapeGlyphMesh,
 * glyvaShapeSetQuality or glyvaShapeClose. */
GLYVA_API int32_t glyvaShapeGlyphMesh(struct glyvaShapeFont *font, uint32_t glyphIndex,
                                      const float **vertices, int32_t *vertexCount,
                                      const int32_t **indices, int32_t *indexCount);

/* Points (x, y, 0) of flattened contour contourIndex of a glyph and their count, or
 * 0, as GetGlyphContour. Valid until the next contour query or glyvaShapeClose. */
GLYVA_API int32_t glyvaShapeGlyphContour(const float **points, struct glyvaShapeFont *font,
                                         uint32_t glyphIndex, int32_t contourIndex,
                                         uint8_t *evenOddFill, uint8_t *postScriptOrientation);

/* Paragraph layout: UTF-8 text in, positioned glyphs out.
 *
 * The text is split into paragraphs at paragraph separators (LF, CR, CR LF, NEL,
 * U+2029 and the other characters of bidirectional class B) and into lines at line
 * separators (VT, FF, U+2028) and, when options->width > 0, at the line-break
 * opportunities of UAX #14 so that each line fits the width. Each paragraph's
 * embedding levels follow the Unicode Bidirectional Algorithm (UAX #9), and each line
 * is reordered on its own. Lines are split into runs of one level, one script and one
 * face, and each run is shaped with HarfBuzz. A character takes the first of the given
 * faces that maps it (marks, joiners and common characters such as spaces and
 * punctuation stay with the face of the character before them when it has them).
 *
 * Positions are doubles in ems, x to the right and y up: the first line's baseline at
 * y = 0, each further line one line pitch (of the first face, times lineSpacing)
 * lower. A tab advances as four spaces of its face; line and paragraph separators
 * are zero-width glyphs at their line's end. Every character of the text belongs to
 * the cluster of exactly one glyph record. */

/* The paragraph's base direction. AUTO takes it from the first strong character of
 * each paragraph (left to right when there is none). */
enum {
    GLYVA_LAYOUT_DIRECTION_AUTO = 0,
    GLYVA_LAYOUT_DIRECTION_LTR = 1,
    GLYVA_LAYOUT_DIRECTION_RTL = 2
};

/* Where each line goes along x. With a width W > 0 the line is set within [0, W];
 * without, LEFT puts its left end at x = 0, RIGHT its right end and CENTER its middle.
 * START is LEFT in a left-to-right paragraph and RIGHT in a right-to-left one; END the
 * opposite. Whitespace at a line's end hangs outside its extent. */
enum {
    GLYVA_LAYOUT_ALIGN_START = 0,
    GLYVA_LAYOUT_ALIGN_LEFT = 1,
    GLYVA_LAYOUT_ALIGN_CENTER = 2,
    GLYVA_LAYOUT_ALIGN_RIGHT = 3,
    GLYVA_LAYOUT_ALIGN_END = 4
};

/* Notices of a layout that succeeded but is not all the text asked for. */
enum {
    GLYVA_LAYOUT_MISSING_GLYPHS = 1, /* characters no face maps: drawn as glyph 0 */
    GLYVA_LAYOUT_OVERFLOW = 2        /* a line wider than the width: nowhere to break */
};

/* A zeroed record asks for the defaults throughout. */
typedef struct glyvaLayoutOptions {
    const char *script;   /* ISO 15924 tag for every run, or null / "" to detect per run */
    const char *language; /* BCP 47 tag, or null / "" for none */
    const char *features; /* comma-separated HarfBuzz feature texts */
    int32_t direction;    /* GLYVA_LAYOUT_DIRECTION_* */
    int32_t align;        /* GLYVA_LAYOUT_ALIGN_* */
    double width;         /* line width in ems to wrap at; 0 for no wrapping */
    double lineSpacing;   /* factor on the line pitch; 0 means 1 */
    double letterSpacing; /* ems added after every cluster; may be negative */
} glyvaLayoutOptions;

/* One glyph, in visual order, line by line, left to right. x and y are where the
 * glyph's origin goes (pen position plus HarfBuzz's offset); advance is the pen's
 * move to the next glyph, letter spacing included. 40 bytes, the same layout on
 * 32-bit and 64-bit builds. */
typedef struct glyvaLayoutGlyph {
    uint32_t face;       /* index into the faces of the layout */
    uint32_t glyphIndex; /* glyph of that face */
    uint32_t cluster;    /* byte offset of the first character the glyph stands for */
    uint32_t line;
    double x;
    double y;
    double advance;
} glyvaLayoutGlyph;

/* One line. Its glyphs are glyphs[firstGlyph] to glyphs[firstGlyph + glyphCount - 1];
 * its text the bytes firstByte to firstByte + byteLength - 1, separators included.
 * left and width give its extent along x without hanging whitespace; ascender and
 * descender are those of the first face. 64 bytes, the same layout on 32-bit and
 * 64-bit builds. */
typedef struct glyvaLayoutLine {
    uint32_t firstGlyph;
    uint32_t glyphCount;
    uint32_t firstByte;
    uint32_t byteLength;
    double baseline;
    double left;
    double width;
    double ascender;
    double descender;
    int32_t paragraphLevel; /* 0: left-to-right paragraph, 1: right-to-left */
    uint32_t paragraph;     /* index of the paragraph, from 0 */
} glyvaLayoutLine;

#ifdef __cplusplus
struct glyvaShapeLayout;
#else
typedef struct glyvaShapeLayout glyvaShapeLayout;
#endif

/* Lays out byteLength bytes of UTF-8 (byteLength < 0: up to the terminating NUL) with
 * faces[0] to faces[faceCount - 1] in order of preference. On success *layout is the
 * result (free it with glyvaShapeLayoutDestroy) and GLYVA_SHAPE_OK is returned;
 * otherwise *layout is null, the status says why (BAD_ARGUMENT for a null pointer or
 * face, BAD_TEXT for invalid UTF-8, BAD_OPTION, NO_MEMORY) and, when messageSize > 0,
 * message holds the reason. options may be null. The faces must outlive the call only. */
GLYVA_API int32_t glyvaShapeLayoutText(struct glyvaShapeLayout **layout,
                                       struct glyvaShapeFont *const *faces, uint32_t faceCount,
                                       const char *utf8, int32_t byteLength,
                                       const glyvaLayoutOptions *options, char *message,
                                       uint32_t messageSize);
GLYVA_API void glyvaShapeLayoutDestroy(struct glyvaShapeLayout *layout);

/* The glyphs and their count (0 and null for a null layout), valid until the layout
 * is destroyed. */
GLYVA_API int32_t glyvaShapeLayoutGlyphs(const struct glyvaShapeLayout *layout,
                                         const glyvaLayoutGlyph **glyphs);
/* The lines and their count, as glyvaShapeLayoutGlyphs. */
GLYVA_API int32_t glyvaShapeLayoutLines(const struct glyvaShapeLayout *layout,
                                        const glyvaLayoutLine **lines);
/* GLYVA_LAYOUT_* notices (0 for none or a null layout) and, when message is not null,
 * a sentence naming them ("" when none). */
GLYVA_API uint32_t glyvaShapeLayoutNotices(const struct glyvaShapeLayout *layout,
                                           const char **message);

GLYVA_END_DECLS

#endif
