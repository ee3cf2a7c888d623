#include "shape/meshCache.hh"

#include "util/emuKD/kd.h"

namespace glyva
{
namespace shape
{
namespace
{

/* Beyond this many bytes of cached meshes the cache starts afresh: a host walking
 * every glyph of a large CJK face keeps a bounded footprint, while a text's few dozen
 * distinct glyphs stay cached for as long as it is laid out. */
constexpr size_t kCacheBytes = size_t{48} << 20;

void dropEntry(CachedMesh &entry)
{
    kdFree(entry.vertices);
    kdFree(entry.indices);
    entry = CachedMesh{};
}

template <typename T> T *copyOf(const T *values, size_t count)
{
    if (count == 0)
        return nullptr;
    auto *copy = static_cast<T *>(kdMalloc(count * sizeof(T)));
    if (copy)
        kdMemcpy(copy, values, count * sizeof(T));
    return copy;
}

} // namespace

void clearMeshCache(glyvaShapeFont *font)
{
    for (uint32_t g = 0; font->meshCache && g < font->meshCacheSlots; ++g)
        dropEntry(font->meshCache[g]);
    font->meshCacheBytes = 0;
}

void releaseMeshCache(glyvaShapeFont *font)
{
    clearMeshCache(font);
    kdFree(font->meshCache);
    font->meshCache = nullptr;
    font->meshCacheSlots = 0;
}

const CachedMesh *cachedMesh(const glyvaShapeFont *font, uint32_t glyph)
{
    if (!font->meshCache || glyph >= font->meshCacheSlots || !font->meshCache[glyph].present)
        return nullptr;
    return &font->meshCache[glyph];
}

const CachedMesh *storeMesh(glyvaShapeFont *font, uint32_t glyph, const float *vertices,
                            uint32_t vertexCount, const int32_t *indices, uint32_t indexCount)
{
    const uint32_t slots = static_cast<uint32_t>(font->core->ftFace->num_glyphs);
    if (!font->meshCache) {
        font->meshCache = static_cast<CachedMesh *>(kdMalloc(slots * sizeof(CachedMesh)));
        if (!font->meshCache)
            return nullptr;
        kdMemset(font->meshCache, 0, slots * sizeof(CachedMesh));
        font->meshCacheSlots = slots;
    }
    if (glyph >= font->meshCacheSlots)
        return nullptr;
    const size_t bytes = size_t{vertexCount} * 2 * sizeof(float) + indexCount * sizeof(int32_t);
    if (font->meshCacheBytes + bytes > kCacheBytes)
        clearMeshCache(font);
    CachedMesh entry;
    entry.vertices = copyOf(vertices, size_t{vertexCount} * 2);
    entry.indices = copyOf(indices, indexCount);
    if ((vertexCount && !entry.vertices) || (indexCount && !entry.indices)) {
        dropEntry(entry);
        return nullptr;
    }
    entry.vertexCount = static_cast<int32_t>(vertexCount);
    entry.indexCount = static_cast<int32_t>(indexCount);
    entry.present = 1;
    dropEntry(font->meshCache[glyph]);
    font->meshCache[glyph] = entry;
    font->meshCacheBytes += bytes;
    return &font->meshCache[glyph];
}

} // namespace shape
} // namespace glyva
