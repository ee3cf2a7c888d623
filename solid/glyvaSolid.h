#ifndef SOLID_GLYVASOLID_H
#define SOLID_GLYVASOLID_H

#include <stdint.h>

#include "shape/glyvaShape.h"
#include "util/glyvaExport.h"

/* Solids and clean flat meshes of single glyphs, for scene engines and printers.
 *
 * Everything is built for ONE glyph in the glyph's own coordinates: ems, origin at the
 * pen position on the baseline, x to the right, y up, z towards the viewer. A host
 * meshes each distinct glyph once and places it as often as its text uses it, adding
 * the glyph's text offset to the positions (the glyph's texture coordinates stay as
 * they are, or get the same offset added to the cap coordinates when one texture
 * should run across a merged text).
 *
 * A solid is closed, 2-manifold, consistently wound (counter-clockwise seen from
 * outside), with outward normals, without self-intersections and without zero-area
 * triangles. Its back face lies at z = 0 and its front face at z = depth. A bevel cuts
 * the edge between a face and the side walls: it reaches bevelSize ems into the glyph
 * and bevelDepth ems along z, as a straight chamfer (1 segment) or a rounded
 * quarter-ellipse profile (more segments). The inset outlines come from polygon
 * offsetting, so a bevel wider than a stroke, or a counter smaller than the bevel,
 * ends in a flat plateau at the height the inset reached, never in a fold.
 *
 * Vertices carry a position, a normal and texture coordinates: the front and back
 * faces and the bevels are mapped by position, (u, v) = (x, y) in ems; the side walls
 * by (distance along the outline in ems, z). Normals of the faces are the faces' own
 * (0, 0, +-1); walls and bevels are shaded smoothly across turns of less than 35
 * degrees and keep hard edges at sharper corners, so one position may appear as
 * several vertices with different normals or texture coordinates.
 *
 * Arrays handed out are views into the builder's storage, valid until the builder's
 * next build call, glyvaSolidRelease or glyvaSolidDestroy. Output arguments are
 * written only on success. One builder serves one thread at a time. */

#ifdef __cplusplus
struct glyvaSolid;
#else
typedef struct glyvaSolid glyvaSolid;
#endif

/* How a solid is built; all lengths in ems. A zeroed record is not valid (depth must
 * be positive); bevelSize 0 asks for no bevel. The record is 20 bytes with the same
 * layout on 32-bit and 64-bit builds. */
typedef struct glyvaSolidOptions {
    float depth;           /* > 0: the front face lies at z = depth */
    float bevelSize;       /* >= 0: how far the bevel reaches into the glyph */
    float bevelDepth;      /* >= 0: how far the bevel reaches along z; 0 means bevelSize */
    int32_t bevelSegments; /* 1 (or 0) for a chamfer, up to 32 for a rounded bevel */
    int32_t frontOnly;     /* nonzero: bevel the front face only, keep the back flat */
} glyvaSolidOptions;

/* One vertex: 32 bytes, the same layout on 32-bit and 64-bit builds. */
typedef struct glyvaSolidVertex {
    float position[3]; /* ems, glyph-local */
    float normal[3];   /* unit length */
    float texCoord[2]; /* ems, as described above */
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

/* The solid of glyph glyphIndex of font, at the font's current quality: vertices and
 * triangle indices (3 per triangle). 1, or 0 on failure with glyvaSolidError telling
 * why: a null argument, options out of range (depth not positive, bevel depth not
 * below the depth on each bevelled face, more than 32 segments, a bevel too fine for
 * the glyph's size), a glyph the font cannot outline, or one whose outline exceeds
 * the points a solid takes. A glyph without outline (a space) gives counts of 0. */
GLYVA_API int32_t glyvaSolidBuild(struct glyvaSolid *solid, struct glyvaShapeFont *font,
                                  uint32_t glyphIndex, const glyvaSolidOptions *options,
                                  const glyvaSolidVertex **vertices, uint32_t *vertexCount,
                                  const uint32_t **indices, uint32_t *indexCount);

/* The flat mesh of the glyph at z = 0, normals (0, 0, 1), texture coordinates (x, y):
 * the font's own triangles (as glyvaShapeGlyphMesh gives them) with equal positions
 * shared and zero-area triangles removed by turning the edge they share with a
 * neighbour, so that the covered area and the outline stay exactly the same. 1, or 0
 * on failure as glyvaSolidBuild. */
GLYVA_API int32_t glyvaSolidFlat(struct glyvaSolid *solid, struct glyvaShapeFont *font,
                                 uint32_t glyphIndex, const glyvaSolidVertex **vertices,
                                 uint32_t *vertexCount, const uint32_t **indices,
                                 uint32_t *indexCount);

GLYVA_END_DECLS

#endif
