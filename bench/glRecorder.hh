#ifndef BENCH_GLRECORDER_HH
#define BENCH_GLRECORDER_HH

#include <stddef.h>
#include <stdint.h>

#include <vector>

namespace bench
{

/* What the GL stubs received since the last clear(): the vertices as the caller
 * passed them, x, y, z each, and the primitives (mode, first vertex, count). This is
 * the peer's equivalent of a host copying the mesh out. */
struct GlPrimitive {
    unsigned mode;
    size_t first;
    size_t count;
};

struct GlRecorder {
    std::vector<float> vertices;
    std::vector<GlPrimitive> primitives;
    unsigned mode = 0;
    size_t first = 0;
    bool open = false;
    uint64_t beginCalls = 0; /* lifetime totals: proof that the stubs are the ones bound */
    uint64_t vertexCalls = 0;
    uint64_t otherPrimitives = 0; /* anything but triangles, strips and fans */
    void clear()
    {
        vertices.clear();
        primitives.clear();
        open = false;
    }
};

GlRecorder &glRecorder();

} // namespace bench

#endif
