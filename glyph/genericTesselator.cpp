#include "glyph/Tesselator.h"

#include <math.h>
#include <stddef.h>
#include <stdint.h>

#include "glyph/gluTess.hh"
#include "glyph/vertexWindow.hh"
#include "util/emuKD/kd.h"
#include "util/mfArrays.hh"
#include "util/plyxUtil.h"

namespace
{

/* GLU_OUT_OF_MEMORY as the record holds it; also marks a mesh discarded because the
 * library's own storage ran out. */
constexpr uint16_t kOutOfMemory = static_cast<uint16_t>(GLU_OUT_OF_MEMORY & 0xFFFF);

/* Vertex data handed to GLU names a stored vertex by array and index, never by
 * address: both arrays move as they grow while GLU still holds the references. */
enum VertexStore : uintptr_t { kInput = 0, kCombined = 1 };

void *vertexRef(VertexStore store, int32_t index)
{
    return reinterpret_cast<void *>(((static_cast<uintptr_t>(index) + 1) << 1) | store);
}

Tesselator *owner(tessInfo *info)
{
    return reinterpret_cast<Tesselator *>(reinterpret_cast<char *>(info) -
                                          offsetof(Tesselator, info));
}

/* The three coordinates a reference designates, or null when its array no longer
 * holds the element (emptied by a failed store). */
const float *resolve(Tesselator *t, void *ref)
{
    uintptr_t raw = reinterpret_cast<uintptr_t>(ref);
    if (raw < 2)
        return nullptr;
    const MFVec3f &array = (raw & 1) == kCombined ? t->info.vertices : t->input;
    uintptr_t index = (raw >> 1) - 1;
    return index < array.count ? array.values[index] : nullptr;
}

/* The output of one sweep: merged through a position index of the search window, and
 * grown by reserves that Finish trims back to exact fit. GLU delivers every output
 * vertex inside gluTessEndPolygon, so the sweep lives in Finish's frame. */
struct Sweep {
    explicit Sweep(tessInfo &info) : vertices(info.vertices), indices(info.indices)
    {
        window.seed(info.vertices);
    }

    glyva::mf::Reserve<MFVec3f> vertices;
    glyva::mf::Reserve<MFInt32> indices;
    glyva::VertexWindow<MFVec3f, 3> window;
};

/* While the sweep runs, GLU's handle is held by Finish and the object's handle field
 * carries the sweep, tagged in its low bit (GLU's handles are heap blocks, so never
 * odd). Only these callbacks run until Finish puts the handle back; GLU calls the
 * vertex and combine callbacks from gluTessEndPolygon alone, so they always find it. */
GLUtesselator *sweepHandle(Sweep *sweep)
{
    return reinterpret_cast<GLUtesselator *>(reinterpret_cast<uintptr_t>(sweep) | 1);
}

Sweep *sweepOf(Tesselator *t)
{
    uintptr_t raw = reinterpret_cast<uintptr_t>(t->tess);
    return (raw & 1) ? reinterpret_cast<Sweep *>(raw & ~static_cast<uintptr_t>(1)) : nullptr;
}

bool discarded(const tessInfo *info)
{
    return info->error == kOutOfMemory;
}

/* Storage ran out mid-polygon: the partial mesh could name vertices that are gone,
 * so nothing of it is kept and the record says why. Nothing is stored after it. */
void discard(tessInfo *info)
{
    clearMFInt32(&info->indices);
    clearMFVec3f(&info->vertices);
    info->error = kOutOfMemory;
    if (Sweep *sweep = sweepOf(owner(info))) {
        sweep->vertices.forget();
        sweep->indices.forget();
    }
}

void jglBegin(GLenum type, void *data)
{
    static_cast<tessInfo *>(data)->type = static_cast<uint16_t>(type);
}

void jglVertex(void *vertexData, void *data)
{
    auto *info = static_cast<tessInfo *>(data);
    if (discarded(info))
        return;
    Tesselator *t = owner(info);
    Sweep *sweep = sweepOf(t);
    const float *v = resolve(t, vertexData);
    if (!sweep || !v)
        return discard(info);
    /* A copy: the search may append and move the storage v points into. */
    const float xyz[3] = {v[0], v[1], v[2]};
    int32_t index = sweep->window.searchInsert(sweep->vertices, xyz);
    if (index < 0)
        return discard(info);
    if (info->type == GL_TRIANGLES && !sweep->indices.append(&index))
        discard(info);
}

void jglCombine(GLdouble coords[3], void *[4], GLfloat[4], void **outData, void *data)
{
    auto *info = static_cast<tessInfo *>(data);
    *outData = nullptr;
    if (discarded(info))
        return;
    const float xyz[3] = {static_cast<float>(coords[0]), static_cast<float>(coords[1]),
                          static_cast<float>(coords[2])};
    Sweep *sweep = sweepOf(owner(info));
    int32_t index = sweep ? sweep->window.searchInsert(sweep->vertices, xyz) : -1;
    if (index < 0)
        return discard(info);
    *outData = vertexRef(kCombined, index);
}

void jglEnd(void *data)
{
    static_cast<tessInfo *>(data)->type = 0;
}

/* Without an open polygon GLU passes no record; a discarded mesh keeps its reason. */
void jglError(GLenum error, void *data)
{
    auto *info = static_cast<tessInfo *>(data);
    if (info && !discarded(info))
        info->error = static_cast<uint16_t>(error & 0xFFFF);
}

void jglEdge(GLboolean, void *) {}

constexpr glyva::TessCallbacks kCallbacks = {jglBegin, jglVertex, jglCombine,
                                             jglEnd,   jglError,  jglEdge};

/* normalAxis 1..3 and -1..-3 name an axis and its direction; others let GLU decide. */
void setNormal(GLUtesselator *tess, int normalAxis)
{
    if (normalAxis == 0 || normalAxis < -3 || normalAxis > 3)
        return;
    GLdouble normal[3] = {0.0, 0.0, 0.0};
    normal[(normalAxis < 0 ? -normalAxis : normalAxis) - 1] = normalAxis < 0 ? -1.0 : 1.0;
    gluTessNormal(tess, normal[0], normal[1], normal[2]);
}

/* GLU's sweep is only defined for finite coordinates. */
bool finite3(const float *v)
{
    return isfinite(v[0]) && isfinite(v[1]) && isfinite(v[2]);
}

} // namespace

Tesselator::Tesselator(float windingRule, int normalAxis)
    : tess(nullptr), info{0, 0, {0, nullptr}, {0, nullptr}}, input{0, nullptr}
{
    tess = glyva::newTessellator(kCallbacks);
    if (!tess)
        return;
    gluTessProperty(tess, GLU_TESS_WINDING_RULE, windingRule);
    /* GLU's setter falls through from a rejected whole-number rule into the
     * boundary-only property and switches triangle output off; put back its default. */
    gluTessProperty(tess, GLU_TESS_BOUNDARY_ONLY, GL_FALSE);
    setNormal(tess, normalAxis);
    gluTessBeginPolygon(tess, &info);
}

/* The arrays are released whether or not the tessellator is still held: Finish lets go
 * of it once the result is complete. */
Tesselator::~Tesselator()
{
    clearMFVec3f(&info.vertices);
    clearMFInt32(&info.indices);
    clearMFVec3f(&input);
    if (tess)
        gluDeleteTess(tess);
    tess = nullptr;
}

void Tesselator::BeginContour()
{
    if (tess)
        gluTessBeginContour(tess);
}

void Tesselator::Vertex(const float *v)
{
    if (!tess || !v || !finite3(v) || discarded(&info))
        return;
    /* A failed store empties input, and GLU's earlier references with it. */
    int32_t index = searchInsertMFVec3f(&input, v);
    if (index < 0)
        return discard(&info);
    const float *stored = input.values[index];
    GLdouble xyz[3] = {stored[0], stored[1], stored[2]};
    gluTessVertex(tess, xyz, vertexRef(kInput, index));
}

void Tesselator::EndContour()
{
    if (tess)
        gluTessEndContour(tess);
}

/* The tessellator is deleted here, so that later calls, a second Finish included, find
 * the object finished and leave the result as it is. */
tessInfo *Tesselator::Finish()
{
    if (!tess)
        return &info;
    /* After running out of memory GLU's mesh may be half built (an edge without its
     * vertex), and sweeping it is unsafe: the polygon, discarded anyway, is only
     * deleted. */
    if (!discarded(&info)) {
        GLUtesselator *handle = tess;
        {
            Sweep sweep(info);
            tess = sweepHandle(&sweep);
            gluTessEndPolygon(handle);
        }
        tess = handle;
    }
    gluDeleteTess(tess);
    tess = nullptr;
    if (discarded(&info))
        discard(&info);
    glyva::dropPartialTriangle(info.indices);
    return &info;
}
