#include "glyph/glyphMesh.hh"

#include <stdint.h>
#include <string.h>

#include "glyph/flatten.hh"
#include "glyph/gluTess.hh"
#include "glyph/glyphBudget.hh"
#include "glyph/glyphOutline.hh"
#include "glyph/vertexWindow.hh"
#include "util/emuKD/kd.h"
#include "util/mfArrays.hh"
#include "util/plyxUtil.h"

namespace
{

constexpr const char *kSource = "glyph/glyphTesselator";

/* A vertex GLU creates at an intersection or merge: its position, and the shared
 * array's index it last received in the place a submitted point keeps it (see
 * submitContour). */
struct CombinedVertex {
    float xy[2];
    int32_t index;
};

/* Combined vertices, at fixed addresses until the tessellator is gone: chunks that are
 * never moved, released together. */
struct CombinedChunk {
    CombinedChunk *next;
    uint32_t used;
    CombinedVertex vertices[64];
};

/* Context of one glyph tessellation, handed to every callback. The shared vertex array
 * and the glyph's list grow through reserves for the length of the tessellation. */
struct tessInfo {
    tessInfo(MFVec2f &shared, internalGlyphData *record, GlyphScratch &scratch)
        : vertices(shared), indices(record->triangleIndices), glyph(record), window(scratch.window)
    {
        window.resume(shared);
        moveWindow();
    }

    /* After the shared array's count changed. */
    void moveWindow()
    {
        const uint32_t n = vertices.array().count;
        windowStart =
            static_cast<int32_t>(n > glyva::mf::kSearchWindow ? n - glyva::mf::kSearchWindow : 0);
    }
    void storeFailed()
    {
        vertexStoreFailed = true;
        quick = false;
    }
    void lost()
    {
        incomplete = true;
        quick = false;
    }

    uint16_t type = 0;
    /* Corners may take jglVertex's quick path: inside a triangle list, with nothing
     * failed. One flag for what that path would otherwise ask three of. */
    bool quick = false;
    /* The shared array's first index inside the search window (never negative, so that
     * the -1 of a vertex without an index is always outside). */
    int32_t windowStart = 0;
    glyva::mf::Reserve<MFVec2f> vertices;
    glyva::mf::Reserve<MFInt32> indices;
    internalGlyphData *glyph;
    CombinedChunk *combined = nullptr;
    /* The shared vertex array could not grow and was emptied. */
    bool vertexStoreFailed = false;
    /* Memory ran out elsewhere (index list, flattening, GLU itself): the mesh lacks
     * parts of the glyph and is discarded. */
    bool incomplete = false;
    /* GLU reported an error: its tessellator may hold a half-swept mesh and is not
     * kept for the next glyph. */
    bool reported = false;
    /* Merges corners with the shared array's last 65 vertices without scanning them. */
    glyva::VertexWindow<MFVec2f, 2> &window;
};

/* GLU hands a vertex back by the address it was given, once for every triangle that
 * uses it: a flattened point or a combined vertex, each of which keeps the index it
 * last received in its third float (-1 before its first). */
int32_t lastIndex(const float *v)
{
    int32_t index;
    memcpy(&index, v + 2, sizeof index);
    return index;
}

void keepIndex(float *v, int32_t index)
{
    memcpy(v + 2, &index, sizeof index);
}

float *newCombinedVertex(tessInfo *info)
{
    CombinedChunk *chunk = info->combined;
    if (!chunk || chunk->used == 64) {
        chunk = static_cast<CombinedChunk *>(kdMalloc(sizeof(CombinedChunk)));
        if (!chunk)
            return nullptr;
        chunk->next = info->combined;
        chunk->used = 0;
        info->combined = chunk;
    }
    CombinedVertex *vertex = &chunk->vertices[chunk->used++];
    vertex->index = -1;
    return vertex->xy;
}

void releaseCombined(tessInfo *info)
{
    while (info->combined) {
        CombinedChunk *next = info->combined->next;
        kdFree(info->combined);
        info->combined = next;
    }
}

void jglBegin(GLenum type, void *data)
{
    auto *info = static_cast<tessInfo *>(data);
    info->type = static_cast<uint16_t>(type);
    info->quick = type == GL_TRIANGLES && !info->vertexStoreFailed && !info->incomplete;
}

/* Whether the index v last received is the one the window search would give it now.
 * The index an address last received stands while it is inside the window: the window holds no
 * other element equal to it, so its search would find the same. Addresses hold their coordinates
 * unchanged until the polygon is over. */
bool lastStands(const tessInfo *info, int32_t last)
{
    return last >= info->windowStart;
}

/* The index the window search gives v, which merges it or appends it, kept in v for its
 * next corners; -1 when the shared array could not grow. */
inline int32_t searchedIndex(tessInfo *info, float *v)
{
    const int32_t index = info->window.searchInsert(info->vertices, v);
    info->moveWindow();
    /* A NaN equals nothing, not even itself: the search appends it every time. */
    if (index >= 0 && v[0] == v[0] && v[1] == v[1])
        keepIndex(v, index);
    return index;
}

/* Every corner jglVertex leaves: one that finds an array full or the window's table due
 * for a restart, and every case out of the ordinary. */
__attribute__((noinline)) void searchedCorner(tessInfo *info, float *v)
{
    if (info->vertexStoreFailed || info->incomplete)
        return;
    if (!v) {
        info->storeFailed();
        return;
    }
    int32_t index = lastIndex(v);
    if (!lastStands(info, index) && (index = searchedIndex(info, v)) < 0) {
        info->storeFailed();
        return;
    }
    if (info->type == GL_TRIANGLES && !info->indices.append(&index))
        info->lost();
}

/* The common corners are a leaf: in a triangle, with room in the index list, a vertex
 * whose index stands, or one the window search merges or appends with room for it,
 * where nothing can grow or fail. Whenever quick is set the vertex is one GLU was given
 * or a combined one, never null (a failed combine clears quick). */
void jglVertex(void *vertexData, void *data)
{
    auto *info = static_cast<tessInfo *>(data);
    auto *v = static_cast<float *>(vertexData);
    if (info->quick && info->indices.hasRoom()) {
        int32_t index = lastIndex(v);
        const bool stands = lastStands(info, index);
        if (stands || (info->vertices.hasRoom() && info->window.roomToPlace())) {
            if (!stands)
                index = searchedIndex(info, v);
            info->indices.appendInRoom(&index);
            return;
        }
    }
    searchedCorner(info, v);
}

/* Without storage no vertex is returned; GLU then reports the polygon's error and the
 * mesh is discarded. */
void jglCombine(GLdouble coords[3], void *[4], GLfloat[4], void **outData, void *data)
{
    auto *info = static_cast<tessInfo *>(data);
    float *v = newCombinedVertex(info);
    if (!v) {
        info->storeFailed();
        *outData = nullptr;
        return;
    }
    v[0] = static_cast<float>(coords[0]);
    v[1] = static_cast<float>(coords[1]);
    *outData = v;
}

void jglEnd(void *data)
{
    auto *info = static_cast<tessInfo *>(data);
    info->type = 0;
    info->quick = false;
}

/* GLU goes on after most errors, but after running out of memory it has dropped
 * vertices or the whole polygon, so the glyph's mesh cannot be trusted. */
void jglError(GLenum error, void *data)
{
    if (!data)
        return;
    auto *info = static_cast<tessInfo *>(data);
    info->reported = true;
    if (error == GLU_OUT_OF_MEMORY)
        info->lost();
}

void jglEdge(GLboolean, void *) {}

constexpr glyva::TessCallbacks kCallbacks = {jglBegin, jglVertex, jglCombine,
                                             jglEnd,   jglError,  jglEdge};

/* Hands a flattened contour to the open polygon, without a closing repeat. The
 * tessellator keeps the points' addresses as vertex data: they must not move until the
 * polygon is over. It copies the coordinates it is given, and the points lie on the
 * plane z = 0, so a submitted point's z is free to hold the index it last received. */
void submitContour(GLUtesselator *tess, const glyva::BudgetContour &contour)
{
    uint32_t m = contour.count;
    if (m < 2)
        return;
    float *points = const_cast<float *>(contour.xy);
    const float *lastPoint = points + 3 * (m - 1);
    if (points[0] == lastPoint[0] && points[1] == lastPoint[1])
        --m;
    gluTessBeginContour(tess);
    for (uint32_t p = 0; p < m; ++p) {
        float *point = points + 3 * p;
        GLdouble xyz[3] = {point[0], point[1], point[2]};
        gluTessVertex(tess, xyz, point);
        keepIndex(point, -1);
    }
    gluTessEndContour(tess);
}

/* Room for count elements in a block of the scratch; its contents need not be kept. */
template <typename T> bool room(T *&block, uint32_t &capacity, uint64_t count)
{
    if (count <= capacity)
        return true;
    const uint64_t grown = count + count / 2;
    if (grown > UINT32_MAX || grown > SIZE_MAX / sizeof(T))
        return false;
    kdFree(block);
    block = static_cast<T *>(kdMalloc(static_cast<size_t>(grown) * sizeof(T)));
    capacity = block ? static_cast<uint32_t>(grown) : 0;
    return block != nullptr;
}

/* Every contour flattened into the scratch's points, one after another, as long as the
 * glyph keeps to its point budget; contours[k] then says where contour k lies. */
glyva::Budget flattenContours(float quality, const FT_Outline *outline, GlyphScratch &scratch)
{
    scratch.points.count = 0;
    glyva::mf::Reserve<SimpleVec3Array> points(scratch.points, scratch.pointCapacity);
    glyva::Budget result = glyva::Budget::kWithin;
    uint32_t start = 0;
    for (int k = 0; k < outline->n_contours && result == glyva::Budget::kWithin; ++k) {
        switch (glyva::flattenContour(quality, outline, k, points, glyva::kMaxGlyphPoints)) {
        case glyva::Flattened::kOutOfMemory:
            result = glyva::Budget::kOutOfMemory;
            break;
        case glyva::Flattened::kTooMany:
            result = glyva::Budget::kTooManyPoints;
            break;
        default:
            scratch.contours[k] = {nullptr, points.array().count - start, 3};
            start = points.array().count;
        }
    }
    scratch.pointCapacity = points.capacity();
    if (result != glyva::Budget::kWithin)
        return result;
    start = 0;
    for (int k = 0; k < outline->n_contours; ++k) {
        glyva::BudgetContour &contour = scratch.contours[k];
        contour.xy = contour.count ? scratch.points.values[start] : nullptr;
        start += contour.count;
    }
    return result;
}

/* Blocks only a hostile glyph makes this large are not kept until the handle closes. */
constexpr uint64_t kKeptPoints = 16384;

void trimScratch(GlyphScratch &scratch)
{
    if (scratch.pointCapacity > kKeptPoints) {
        clearMFVec3f(&scratch.points);
        scratch.pointCapacity = 0;
    }
}

/* Once the vertex array has been emptied by a failed store, every index list that
 * referred to it names nothing: all of them are emptied with it. */
void discardMeshes(tavixInternalFontData *font, tessInfo &info)
{
    if (info.vertexStoreFailed) {
        for (FT_Long g = 0; g <= font->ftFace->num_glyphs; ++g)
            clearMFInt32(&font->glyphData[g].triangleIndices);
        clearMFVec2f(&font->glyphVertices);
        return;
    }
    clearMFInt32(&info.glyph->triangleIndices);
}

/* The handle keeps one tessellator between glyphs: creating one costs about as much as
 * sweeping a small glyph. Only a tessellator whose last polygon ended without any
 * error is kept; GLU leaves nothing of a finished polygon behind in it. */
GLUtesselator *takeTessellator(tavixInternalFontData *font)
{
    GLUtesselator *tess = font->tessellator;
    font->tessellator = nullptr;
    if (tess)
        return tess;
    tess = glyva::newTessellator(kCallbacks);
    if (tess)
        gluTessNormal(tess, 0.0, 0.0, 1.0);
    return tess;
}

void returnTessellator(tavixInternalFontData *font, GLUtesselator *tess, bool clean)
{
    if (clean && !font->tessellator)
        font->tessellator = tess;
    else
        gluDeleteTess(tess);
}

/* Sweeps the flattened contours; false when memory ran out, for the tessellator as for
 * the mesh, which is then discarded: a glyph whose mesh could not be made must not read
 * as a glyph without a mesh. */
bool sweep(tavixInternalFontData *font, const FT_Outline *outline, internalGlyphData *record)
{
    GlyphScratch &scratch = font->scratch;
    const uint32_t points = scratch.points.count;
    GLUtesselator *tess = takeTessellator(font);
    if (!tess)
        return false;
    gluTessProperty(tess, GLU_TESS_WINDING_RULE,
                    (outline->flags & FT_OUTLINE_EVEN_ODD_FILL) ? GLU_TESS_WINDING_ODD
                                                                : GLU_TESS_WINDING_NONZERO);
    tessInfo info(font->glyphVertices, record, scratch);
    gluTessBeginPolygon(tess, &info);
    for (int k = 0; k < outline->n_contours; ++k) {
        if (scratch.contours[k].count == 0)
            plyxWarnMessage(kSource, 595, "fill Contour %u failed\n", static_cast<unsigned>(k));
        submitContour(tess, scratch.contours[k]);
    }
    /* After running out of memory GLU's mesh may be half built, and sweeping it is
     * unsafe: the polygon is abandoned and only deleted. */
    /* Each point becomes at most one vertex (intersections aside), and a polygon of p
     * points in c contours, an outline and c - 1 holes, exactly p + 2c - 4 triangles
     * (fewer when contours lie apart): both arrays grow once instead of step by step, and
     * mostly settle without a block to split. They grow only now, after GLU took the
     * points: a large block makes the allocator merge the small blocks GLU freed with the
     * last glyph, and GLU's many small blocks for the points are then carved from the
     * merged space, which is slower than taking them back as they were. */
    const int64_t triangles = static_cast<int64_t>(points) + 2 * outline->n_contours - 4;
    info.vertices.expect(info.vertices.array().count + points);
    info.indices.expect(info.indices.array().count +
                        3 * static_cast<uint64_t>(triangles > 0 ? triangles : 0));
    if (!info.incomplete)
        gluTessEndPolygon(tess);
    bool clean = !info.incomplete && !info.vertexStoreFailed && !info.reported;
    returnTessellator(font, tess, clean);
    releaseCombined(&info);
    info.vertices.settle();
    info.indices.settle();
    if (info.vertexStoreFailed || info.incomplete) {
        discardMeshes(font, info);
        return false;
    }
    glyva::dropPartialTriangle(record->triangleIndices);
    return true;
}

/* Triangulates a checked outline with at least one contour, unless it is over the
 * glyph budget; false when it cannot be meshed. */
bool tessellateOutline(tavixInternalFontData *font, const FT_Outline *outline, FT_UInt glyphIndex,
                       internalGlyphData *record)
{
    GlyphScratch &scratch = font->scratch;
    size_t n = static_cast<size_t>(outline->n_contours);
    if (!room(scratch.contours, scratch.contourCapacity, n))
        return false;
    glyva::GlyphCost cost = {glyva::kMaxGlyphPoints + 1ull, 0};
    glyva::Budget budget = flattenContours(font->quality, outline, scratch);
    if (budget == glyva::Budget::kWithin)
        budget = glyva::glyphBudget(font, glyphIndex, [&] {
            return glyva::fitsBudget(scratch.contours, n, &cost, &scratch.budget);
        });
    bool meshed = budget == glyva::Budget::kWithin && sweep(font, outline, record);
    trimScratch(scratch);
    if (budget != glyva::Budget::kWithin) {
        glyva::reportOverBudget(glyphIndex, budget, cost);
        clearMFInt32(&record->triangleIndices);
    }
    return meshed;
}

} // namespace

namespace glyva
{

bool tesselateGlyph(tavixInternalFontData *font, FT_UInt glyphIndex, internalGlyphData *record)
{
    FT_GlyphSlot slot = loadGlyph(font, glyphIndex, record);
    if (!slot)
        return false;
    const FT_Outline *outline = checkedOutline(slot);
    if (!outline) /* a bitmap glyph has no mesh; a corrupt outline is refused */
        return slot->format != FT_GLYPH_FORMAT_OUTLINE;
    if (outline->n_contours <= 0)
        return true;
    return tessellateOutline(font, outline, glyphIndex, record);
}

} // namespace glyva
