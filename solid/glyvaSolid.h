#ifndef SOLID_GLYVASOLID_H
#define SOLID_GLYVASOLID_H

#include <stdint.h>

#include "shape/glyvaShape.h"
#include "util/glyvaExport.h"

/* Solids and clean flat meshes of single glyphs, for scene engines and printers.
 *
 * Everything is built for ONE glyph in the glyph's own coordinates: output units (ems
 * times the options' scale, ems when it is 0), origin at the pen position on the
 * baseline, x to the right, y up, z towards the viewer. A host meshes each distinct
 * glyph once and places it as often as its text uses it, adding the glyph's text
 * offset to the positions. Positions lie on a grid: x, y and z are whole multiples of
 * the options' grid when the host gives one (a power of two keeps them exact as floats,
 * so that a position plus an offset on the same grid is exact too); without one, x and
 * y are multiples of a power of two fine enough for the glyph. The solid is built on
 * that grid, so no triangle collapses on it.
 *
 * A solid is closed, 2-manifold, consistently wound (counter-clockwise seen from
 * outside), with outward normals, without self-intersections and without zero-area
 * triangles. Its back face lies at z = 0 and its front face at z = depth. A bevel cuts
 * the edge between a face and the side walls: it reaches bevelSize into the glyph and
 * bevelDepth along z, as a straight chamfer (1 segment) or a rounded quarter-ellipse
 * profile (more segments). The inset outlines come from polygon offsetting, so a bevel
 * wider than a stroke, or a counter smaller than the bevel, ends in a flat plateau at
 * the height the inset reached, never in a fold.
 *
 * Vertices carry a position, a normal and texture coordinates, always in ems whatever
 * the scale, and say how the latter are mapped: the front and back faces and the bevels
 * by position, (u, v) = (x, y) / scale; the side walls by (distance along the outline,
 * z / scale). A host that wants one texture across a whole text adds the glyph's offset
 * in ems to the (u, v) of the vertices mapped by position. Normals of the faces are the faces' own
 * (0, 0, +-1); walls and bevels are shaded smoothly across turns of less than 35 degrees and keep
 * hard edges at sharper corners, so one position may appear as several vertices with different
 * normals or texture coordinates.
 *
 * Arrays handed out are views into the builder's storage, valid until the builder's
 * next build call, glyvaSolidRelease or glyvaSolidDestroy. Output arguments are
 * written only on success. One builder serves one thread at a time. */

#ifdef __cplusplus
struct glyvaSolid;
#else
typedef struct glyvaSolid glyvaSolid;
#endif

/* The most segments a bevel's profile may have. */
enum { GLYVA_SOLID_MAX_SEGMENTS = 32 };

/* How a solid is built; lengths in output units (ems times scale). A zeroed record is
 * not valid (depth must be positive); bevelSize 0 asks for no bevel. The record is 28
 * bytes with the same layout on 32-bit and 64-bit builds. */
typedef struct glyvaSolidOptions {
    float depth;           /* > 0: the front face lies at z = depth */
    float bevelSize;       /* >= 0: how far the bevel reaches into the glyph */
    float bevelDepth;      /* >= 0: how far the bevel reaches along z; 0 means bevelSize */
    int32_t bevelSegments; /* 1 (or 0) for a chamfer, up to 32 for a rounded bevel */
    int32_t frontOnly;     /* nonzero: bevel the front face only, keep the back flat */
    float scale;           /* >= 0: output units per em; 0 means 1 (ems) */
    float grid;            /* >= 0: positions are whole multiples of it; 0: the library's */
} glyvaSolidOptions;

/* How a vertex's texture coordinates are mapped. */
enum { GLYVA_SOLID_UV_BY_POSITION = 0, GLYVA_SOLID_UV_ALONG_OUTLINE = 1 };

/* One vertex: 36 bytes, the same layout on 32-bit and 64-bit builds. */
typedef struct glyvaSolidVertex {
    float position[3]; /* output units, glyph-local */
    float normal[3];   /* unit length */
    float texCoord[2]; /* ems, as described above */
    uint32_t mapping;  /* GLYVA_SOLID_UV_BY_POSITION or GLYVA_SOLID_UV_ALONG_OUTLINE */
} glyvaSolidVertex;

GLYVA_BEGIN_DECLS

/* A new builder, or null when memory runs out. */
GLYVA_API struct glyvaSolid *glyvaSolidCreate(void);
/* Frees the builder and everything it handed out; null is ignored. */
GLYVA_API void glyvaSolidDestroy(struct glyvaSolid *solid);
/* Frees the arrays of the last build (ending their views) but keeps the builder. */
GLYVA_API void glyvaSolidRelease(struct glyvaSolid *solid);
/* Why the builder's last failed call failed; "" when none has, or for null. */
GLYVA_API const char *glyvaSolidError(const struct glyvaSolid *solid);
/* Why no glyph can be built with these options (as glyvaSolidBuild would say), or null
 * when they are in range; a glyph, its grid or the bevel's fineness may still refuse
 * them. A constant string; null options give one too. */
GLYVA_API const char *glyvaSolidOptionsError(const glyvaSolidOptions *options);

/* The solid of glyph glyphIndex of font, at the font's current quality: vertices and
 * triangle indices (3 per triangle). 1, or 0 on failure with glyvaSolidError telling
 * why: a null argument, options out of range (depth not positive, bevel depth not
 * below the depth on each bevelled face, more than 32 segments, a bevel too fine for
 * the grid, a grid so fine that the glyph spans more than 2^23 of its steps or so
 * coarse that the depth leaves no wall), a glyph the font cannot outline, or one whose
 * outline exceeds the points a solid takes. A glyph without outline (a space) gives
 * counts of 0. */
GLYVA_API int32_t glyvaSolidBuild(struct glyvaSolid *solid, struct glyvaShapeFont *font,
                                  uint32_t glyphIndex, const glyvaSolidOptions *options,
                                  const glyvaSolidVertex **vertices, uint32_t *vertexCount,
                                  const uint32_t **indices, uint32_t *indexCount);

/* The flat mesh of the glyph at z = 0, normals (0, 0, 1), texture coordinates
 * (x, y) / scale: the glyph's filled area (its contours united under the font's fill
 * rule) triangulated on the grid exactly as an unbevelled solid's front face, every
 * triangle turning counter-clockwise with area. scale and grid as in the options (0
 * for ems and the library's own grid). 1, or 0 on failure as glyvaSolidBuild. The font
 * API's own meshes stay as the tessellator gives them; this is the clean one. */
GLYVA_API int32_t glyvaSolidFlat(struct glyvaSolid *solid, struct glyvaShapeFont *font,
                                 uint32_t glyphIndex, float scale, float grid,
                                 const glyvaSolidVertex **vertices, uint32_t *vertexCount,
                                 const uint32_t **indices, uint32_t *indexCount);

GLYVA_END_DECLS

#endif
