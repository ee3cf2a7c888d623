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

void *vertexRef(VertexStore store, uint32_t index)
{
    return reinterpret_cast<void *>(((static_cast<uintptr_t>(index) + 1) << 1) | store);
}

/* While GLU sweeps, the callbacks only log what it delivers into the record they are
 * handed: the vertices it combines, as it makes them, into info.vertices, and one event
 * per combined vertex and per corner into info.indices. Finish then merges the log
 * into the result, so the callbacks need nothing but that record. An event is 0 for a
 * combined vertex, else the corner's reference: bits 2 and up its index + 1, bit 1
 * set for a triangle corner, bit 0 its store. */
constexpr int32_t kCombineEvent = 0;
constexpr uint32_t kTriangleCorner = 2;
constexpr uint32_t kMaxEventIndex = (UINT32_MAX >> 2) - 1;

int32_t cornerEvent(uintptr_t ref, bool triangle)
{
    uint32_t store = static_cast<uint32_t>(ref & 1);
    uint32_t index = static_cast<uint32_t>((ref >> 1) - 1);
    uint32_t event = ((index + 1) << 2) | (triangle ? kTriangleCorner : 0) | store;
    return static_cast<int32_t>(event);
}

bool discarded(const tessInfo *info)
{
    return info->error == kOutOfMemory;
}

/* Storage ran out mid-polygon: the partial mesh could name vertices that are gone, so
 * nothing of it is kept and the record says why. Nothing is stored after it. */
void discard(tessInfo *info)
{
    clearMFInt32(&info->indices);
    clearMFVec3f(&info->vertices);
    info->error = kOutOfMemory;
}

/* GLU hands no record once the polygon is over: calls after Finish find none. */
tessInfo *openRecord(void *data)
{
    auto *info = static_cast<tessInfo *>(data);
    return info && !discarded(info) ? info : nullptr;
}

void logEvent(tessInfo *info, int32_t event)
{
    if (!glyva::mf::appendDoubling(info->indices, &event))
        discard(info);
}

void jglBegin(GLenum type, void *data)
{
    if (tessInfo *info = openRecord(data))
        info->type = static_cast<uint16_t>(type);
}

void jglVertex(void *vertexData, void *data)
{
    tessInfo *info = openRecord(data);
    uintptr_t ref = reinterpret_cast<uintptr_t>(vertexData);
    if (!info)
        return;
    if (ref < 2 || (ref >> 1) - 1 > kMaxEventIndex)
        return discard(info);
    logEvent(info, cornerEvent(ref, info->type == GL_TRIANGLES));
}

void jglCombine(GLdouble coords[3], void *[4], GLfloat[4], void **outData, void *data)
{
    tessInfo *info = openRecord(data);
    *outData = nullptr;
    if (!info)
        return;
    const float xyz[3] = {static_cast<float>(coords[0]), static_cast<float>(coords[1]),
                          static_cast<float>(coords[2])};
    const uint32_t index = info->vertices.count;
    if (index > kMaxEventIndex || !glyva::mf::appendDoubling(info->vertices, xyz))
        return discard(info);
    logEvent(info, kCombineEvent);
    if (!discarded(info))
        *outData = vertexRef(kCombined, index);
}

void jglEnd(void *data)
{
    if (tessInfo *info = openRecord(data))
        info->type = 0;
}

/* A discarded mesh keeps its reason. */
void jglError(GLenum error, void *data)
{
    if (tessInfo *info = openRecord(data))
        info->error = static_cast<uint16_t>(error & 0xFFFF);
}

void jglEdge(GLboolean, void *) {}

constexpr glyva::TessCallbacks kCallbacks = {jglBegin, jglVertex, jglCombine,
                                             jglEnd,   jglError,  jglEdge};

/* The logged sweep merged into the result, in the order GLU delivered it, through a
 * position index of the search window: exactly what merging each vertex on arrival
 * would have stored. The outputs grow by reserves and end at exact fit. */
class Merge
{
  public:
    Merge(const MFVec3f &input, const MFVec3f &combined, MFVec3f &vertices, MFInt32 &indices)
        : input_(input), combined_(combined), vertices_(vertices), indices_(indices)
    {
        window_.seed(vertices);
    }
    ~Merge() { clearMFInt32(&merged_); }

    /* False when storage ran out. */
    bool run(const MFInt32 &events)
    {
        if (!sizeMFInt32(&merged_, combined_.count))
            return false;
        uint32_t combinedSeen = 0;
        for (uint32_t e = 0; e < events.count; ++e) {
            bool stored = events.values[e] == kCombineEvent ? combine(combinedSeen++)
                                                            : corner(events.values[e]);
            if (!stored)
                return false;
        }
        return true;
    }

  private:
    bool combine(uint32_t k)
    {
        if (k >= combined_.count)
            return false;
        merged_.values[k] = window_.searchInsert(vertices_, combined_.values[k]);
        return merged_.values[k] >= 0;
    }

    /* A combined corner is the merged vertex its combine stored, as GLU was told. */
    bool corner(int32_t event)
    {
        uint32_t bits = static_cast<uint32_t>(event), index = (bits >> 2) - 1;
        const MFVec3f &store = (bits & 1) == kCombined ? vertices_.array() : input_;
        if ((bits & 1) == kCombined)
            index = index < merged_.count ? static_cast<uint32_t>(merged_.values[index]) : ~0u;
        if (index >= store.count)
            return false;
        /* A copy: the search may append and move the storage it points into. */
        const float *v = store.values[index];
        const float xyz[3] = {v[0], v[1], v[2]};
        int32_t stored = window_.searchInsert(vertices_, xyz);
        if (stored < 0)
            return false;
        return !(bits & kTriangleCorner) || indices_.append(&stored);
    }

    const MFVec3f &input_;
    const MFVec3f &combined_;
    glyva::mf::Reserve<MFVec3f> vertices_;
    glyva::mf::Reserve<MFInt32> indices_;
    glyva::VertexWindow<MFVec3f, 3> window_;
    MFInt32 merged_ = {0, nullptr};
};

/* Replaces the log in info by the merged result; discards it when storage runs out. */
void mergeLog(tessInfo *info, const MFVec3f &input)
{
    MFVec3f combined = info->vertices;
    MFInt32 events = info->indices;
    info->vertices = {0, nullptr};
    info->indices = {0, nullptr};
    bool complete = Merge(input, combined, info->vertices, info->indices).run(events);
    clearMFVec3f(&combined);
    clearMFInt32(&events);
    if (!complete)
        discard(info);
}

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
    gluTessVertex(tess, xyz, vertexRef(kInput, static_cast<uint32_t>(index)));
}

void Tesselator::EndContour()
{
    if (tess)
        gluTessEndContour(tess);
}

/* A result, or a discarded one, is final. After the sweep GLU hands later calls no
 * record, so contours added after Finish, and a second Finish, leave the result as it
 * is; only a first Finish finds both arrays empty. A discarded polygon is never swept:
 * after running out of memory GLU's mesh may be half built (an edge without its
 * vertex), and sweeping it is unsafe. */
tessInfo *Tesselator::Finish()
{
    if (!tess || discarded(&info) || info.vertices.count > 0 || info.indices.count > 0)
        return &info;
    gluTessEndPolygon(tess);
    /* GLU's own memory ran out during the sweep: its log is incomplete. */
    if (discarded(&info)) {
        discard(&info);
        return &info;
    }
    mergeLog(&info, input);
    glyva::dropPartialTriangle(info.indices);
    return &info;
}
