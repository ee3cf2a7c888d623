#include <math.h>
#include <stddef.h>
#include <stdint.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <tuple>
#include <utility>
#include <vector>

#include "fuzz/fuzzSupport.hh"
#include "solid/glyvaSolid.h"

/* Arbitrary bytes opened as a font, the first glyphs built as solids with options taken
 * from a four-byte header, and as flat meshes. Input layout: byte 0 the bevel segments
 * (0 to 32, more are refused), byte 1 the bevel size and byte 2 the bevel depth (each
 * n / 1280 ems), byte 3 front-only (bit 0) and the quality (bits 1 to 3, times 16); the
 * rest is the font file. Every solid handed out must be closed, every index must name a
 * vertex, every number must be finite. */

namespace
{

constexpr uint32_t kMaxGlyphs = 6;

void check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

using Position = std::tuple<float, float, float>;

/* Indices in range, finite numbers, and (for solids) each directed edge between welded
 * positions used once, its reverse once. */
void checkMesh(const glyvaSolidVertex *v, uint32_t vertexCount, const uint32_t *ix,
               uint32_t indexCount, bool closed)
{
    check(indexCount % 3 == 0);
    for (uint32_t i = 0; i < vertexCount; ++i) {
        for (int k = 0; k < 3; ++k)
            check(isfinite(v[i].position[k]) && isfinite(v[i].normal[k]));
        check(isfinite(v[i].texCoord[0]) && isfinite(v[i].texCoord[1]));
    }
    std::map<std::pair<Position, Position>, int> edges;
    for (uint32_t t = 0; t < indexCount; t += 3) {
        for (uint32_t k = 0; k < 3; ++k) {
            check(ix[t + k] < vertexCount);
            const float *a = v[ix[t + k]].position, *b = v[ix[t + (k + 1) % 3]].position;
            edges[{Position{a[0], a[1], a[2]}, Position{b[0], b[1], b[2]}}] += 1;
        }
    }
    if (!closed)
        return;
    for (const auto &edge : edges) {
        check(edge.second == 1);
        const auto reverse = edges.find({edge.first.second, edge.first.first});
        check(reverse != edges.end() && reverse->second == 1);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 4)
        return 0;
    char path[] = "/tmp/glyva_fuzz_solid_XXXXXX";
    if (!fuzzsupport::writeTempFile(data + 4, size - 4, path)) {
        unlink(path);
        return 0;
    }
    glyvaShapeFont *font = nullptr;
    char message[128];
    const int32_t opened = glyvaShapeOpen(&font, path, 0, nullptr, message, sizeof message);
    unlink(path);
    if (opened != GLYVA_SHAPE_OK)
        return 0;
    glyvaShapeSetQuality(font, ((data[3] >> 1) & 7) * 16);
    /* Bit 4 puts the solids on a host's grid of 2^-16 ems, coarser than the library's. */
    const float grid = (data[3] & 0x10) ? 1.0f / 65536 : 0.0f;
    const glyvaSolidOptions options = {
        0.3f, data[1] / 1280.0f, data[2] / 1280.0f, data[0], data[3] & 1, 0.0f, grid};
    glyvaSolid *solid = glyvaSolidCreate();
    const uint32_t glyphs = std::min<uint32_t>(glyvaShapeGlyphCount(font), kMaxGlyphs);
    for (uint32_t g = 0; solid && g < glyphs; ++g) {
        const glyvaSolidVertex *v;
        const uint32_t *ix;
        uint32_t vc, ic;
        if (glyvaSolidBuild(solid, font, g, &options, &v, &vc, &ix, &ic))
            checkMesh(v, vc, ix, ic, true);
        else
            check(glyvaSolidError(solid)[0] != '\0');
        if (glyvaSolidFlat(solid, font, g, 0.0f, grid, &v, &vc, &ix, &ic))
            checkMesh(v, vc, ix, ic, false);
    }
    glyvaSolidDestroy(solid);
    glyvaShapeClose(font);
    return 0;
}
