#include "glyph/gluTess.hh"

#include "util/plyxUtil.h"

namespace glyva
{

namespace
{

/* GLU takes every callback as void (*)(void); the cast is its calling contract. */
template <typename F> _GLUfuncptr asGluCallback(F function)
{
    return reinterpret_cast<_GLUfuncptr>(function);
}

} // namespace

GLUtesselator *newTessellator(const TessCallbacks &callbacks)
{
    GLUtesselator *tess = gluNewTess();
    if (!tess)
        return nullptr;
    gluTessCallback(tess, GLU_TESS_BEGIN_DATA, asGluCallback(callbacks.begin));
    gluTessCallback(tess, GLU_TESS_VERTEX_DATA, asGluCallback(callbacks.vertex));
    gluTessCallback(tess, GLU_TESS_COMBINE_DATA, asGluCallback(callbacks.combine));
    gluTessCallback(tess, GLU_TESS_END_DATA, asGluCallback(callbacks.end));
    gluTessCallback(tess, GLU_TESS_ERROR_DATA, asGluCallback(callbacks.error));
    gluTessCallback(tess, GLU_TESS_EDGE_FLAG_DATA, asGluCallback(callbacks.edge));
    return tess;
}

void dropPartialTriangle(MFInt32 &indices)
{
    uint32_t whole = indices.count - indices.count % 3;
    if (whole != indices.count)
        sizeMFInt32(&indices, whole);
}

} // namespace glyva
