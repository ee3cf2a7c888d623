#ifndef SHAPE_MESHCACHE_HH
#define SHAPE_MESHCACHE_HH

#include <stddef.h>
#include <stdint.h>

#include "shape/shapeFont.hh"

namespace glyva
{
namespace shape
{

/* Each glyph is meshed once per handle and quality: the handle keeps a copy of every
 * mesh it handed out, in a slot per glyph index, up to a bounded number of bytes.
 * The instance of a variable font is fixed for the handle's life, and a change of
 * quality empties the cache, so the glyph index is the whole key. */
const CachedMesh *cachedMesh(const glyvaShapeFont *font, uint32_t glyph);

/* Copies a mesh into the glyph's slot; null when memory runs out. */
const CachedMesh *storeMesh(glyvaShapeFont *font, uint32_t glyph, const float *vertices,
                            uint32_t vertexCount, const int32_t *indices, uint32_t indexCount);

void clearMeshCache(glyvaShapeFont *font);
/* The cache and its slots, for closing the handle. */
void releaseMeshCache(glyvaShapeFont *font);

} // namespace shape
} // namespace glyva

#endif
