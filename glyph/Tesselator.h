#ifndef GLYPH_TESSELATOR_H
#define GLYPH_TESSELATOR_H

#include <stdint.h>

#include "util/glyvaExport.h"
#include "util/plyxTypes.h"

#ifdef __cplusplus

class GLUtesselator;

/* The result of one polygon; hosts read it at fixed offsets. error holds the low 16
 * bits of the last GLU error code reported for the open polygon. */
struct tessInfo {
    uint16_t type;
    uint16_t error;
    MFVec3f vertices;
    MFInt32 indices;
};

/* Triangulates planar polygons of 3-D vertices through the GLU tessellator. Hosts
 * bind to the members' C++ symbols and read the object's layout, so the class has
 * no virtual members and its fields keep this order. The polygon comes from the host,
 * not from a file: its size and crossings are not bounded here, and GLU's sweep takes
 * as long as they make it. */
class GLYVA_API Tesselator
{
  public:
    /* windingRule: a GLU_TESS_WINDING_* value; normalAxis: +-1, +-2, +-3 for the
     * x, y, z axis, anything else lets GLU find the normal. */
    Tesselator(float windingRule, int normalAxis);
    ~Tesselator();
    Tesselator(const Tesselator &) = delete;
    Tesselator &operator=(const Tesselator &) = delete;
    void BeginContour();
    /* v: x, y, z. Non-finite vertices are dropped. */
    void Vertex(const float *v);
    void EndContour();
    /* The result, owned by the object and valid until it is destroyed. Calls after
     * the first Finish leave it as it is. */
    tessInfo *Finish();

    /* Held from construction to destruction; null only when it could not be made,
     * which leaves the object inert. */
    GLUtesselator *tess;
    tessInfo info;
    MFVec3f input;
};

#endif

#endif
