#ifndef GLYPH_GLUTESS_HH
#define GLYPH_GLUTESS_HH

#include <GL/glu.h>

#include "util/plyxTypes.h"

namespace glyva
{

/* The six GLU callbacks of a tessellation module, in their data forms: the last
 * argument of each is the polygon data handed to gluTessBeginPolygon. */
struct TessCallbacks {
    void (*begin)(GLenum type, void *info);
    void (*vertex)(void *vertexData, void *info);
    void (*combine)(GLdouble coords[3], void *neighbours[4], GLfloat weights[4], void **outData,
                    void *info);
    void (*end)(void *info);
    void (*error)(GLenum error, void *info);
    void (*edge)(GLboolean flag, void *info);
};

/* A new GLU tessellator with the callbacks registered in the library's fixed order,
 * or null. The edge-flag callback being registered is what makes GLU deliver
 * independent triangles only, never strips or fans. */
GLUtesselator *newTessellator(const TessCallbacks &callbacks);

/* An error that stops GLU part way through a triangle must leave whole triangles only:
 * a trailing one or two indices would shift every later reader's triangles. */
void dropPartialTriangle(MFInt32 &indices);

} // namespace glyva

#endif
