#include <math.h>
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <GL/glu.h>

#include "fuzz/fuzzSupport.hh"
#include "glyph/Tesselator.h"

/* Arbitrary contours into the Tesselator. Byte 0 picks the winding rule, byte 1 the
 * normal axis as a signed number (0, the six axes and the ones GLU must ignore); the
 * rest is a stream of commands: begin or end a contour, or a vertex in one of three
 * encodings. Raw floats reach NaN, infinities, huge and denormal values; grid
 * coordinates make the coincident and collinear vertices where a sweep is fragile;
 * palette values mix both. Commands may come in any order, contours may be empty or
 * hold one point. After Finish the record is checked and the object is driven past
 * its end. */

namespace
{

/* The Tesselator is not bounded: GLU's sweep takes as long as the polygon's crossings
 * make it, growing with the square of random vertices. 600 of them take about 3 s under
 * the sanitizers, well inside the run's 10 s limit for one input, beyond which a slow
 * input would be reported. */
constexpr int kMaxVertices = 600;

using fuzzsupport::check;
using fuzzsupport::Reader;

float windingRule(Reader &in)
{
    static const float kRules[] = {
        GLU_TESS_WINDING_ODD,
        GLU_TESS_WINDING_NONZERO,
        GLU_TESS_WINDING_POSITIVE,
        GLU_TESS_WINDING_NEGATIVE,
        GLU_TESS_WINDING_ABS_GEQ_TWO,
        100129.0f, /* rejected whole numbers and a fraction */
        5.0f,
        100130.5f,
    };
    uint8_t pick = in.byte();
    if (pick < 8 * (sizeof kRules / sizeof kRules[0]))
        return kRules[pick % (sizeof kRules / sizeof kRules[0])];
    /* Whole numbers only: GLU converts the value to an enum, which is undefined for
     * values out of range, before it checks it. */
    return static_cast<float>(in.byte() | (in.byte() << 8)) + 100000.0f;
}

float paletteValue(uint8_t pick)
{
    static const float kValues[] = {
        0.0f,        -0.0f,    1.0f,        -1.0f,   0.5f,     2.0f,
        3.4e38f,     -3.4e38f, 1e-40f,      -1e-40f, 1.4e-45f, 1.17549435e-38f,
        NAN,         INFINITY, -INFINITY,   1e20f,   -1e20f,   16777216.0f,
        16777217.0f, 0.1f,     1.0f / 3.0f, 1e-7f,
    };
    return kValues[pick % (sizeof kValues / sizeof kValues[0])];
}

/* One vertex; the low two bits of op choose the encoding. */
void readVertex(Reader &in, uint8_t op, float v[3])
{
    switch (op & 3) {
    case 0:
        for (int i = 0; i < 3; ++i)
            v[i] = in.rawFloat();
        return;
    case 1:
        /* a 16 x 16 grid in the plane z = 0, or a slanted one */
        v[0] = static_cast<float>(in.byte() % 16);
        v[1] = static_cast<float>(in.byte() % 16);
        v[2] = (op & 4) ? v[0] - v[1] : 0.0f;
        return;
    default:
        for (int i = 0; i < 3; ++i)
            v[i] = paletteValue(in.byte());
        return;
    }
}

/* The record's promises: three indices per triangle, each naming a stored vertex,
 * storage present exactly when a count is. */
void checkRecord(const tessInfo *info)
{
    check(info->indices.count % 3 == 0);
    check((info->indices.count == 0) == (info->indices.values == nullptr));
    check((info->vertices.count == 0) == (info->vertices.values == nullptr));
    for (uint32_t i = 0; i < info->indices.count; ++i) {
        const int32_t index = info->indices.values[i];
        check(index >= 0 && static_cast<uint32_t>(index) < info->vertices.count);
    }
    for (uint32_t i = 0; i < info->vertices.count; ++i)
        for (int k = 0; k < 3; ++k)
            check(!isnan(info->vertices.values[i][k]));
}

/* Byte copies of the result, to prove later calls leave it as it is. */
struct Copy {
    tessInfo record;
    uint8_t vertices[sizeof(float) * 3 * 4096];
    uint8_t indices[sizeof(int32_t) * 4096];
    bool whole;
};

void take(const tessInfo *info, Copy &copy)
{
    copy.record = *info;
    const size_t vertexBytes = sizeof(SFVec3f) * info->vertices.count;
    const size_t indexBytes = sizeof(int32_t) * info->indices.count;
    copy.whole = vertexBytes <= sizeof copy.vertices && indexBytes <= sizeof copy.indices;
    if (!copy.whole)
        return;
    if (vertexBytes)
        memcpy(copy.vertices, info->vertices.values, vertexBytes);
    if (indexBytes)
        memcpy(copy.indices, info->indices.values, indexBytes);
}

bool same(const tessInfo *info, const Copy &copy)
{
    if (memcmp(info, &copy.record, sizeof copy.record) != 0)
        return false;
    if (!copy.whole)
        return true;
    return (info->vertices.count == 0 || memcmp(copy.vertices, info->vertices.values,
                                                sizeof(SFVec3f) * info->vertices.count) == 0) &&
           (info->indices.count == 0 ||
            memcmp(copy.indices, info->indices.values, sizeof(int32_t) * info->indices.count) == 0);
}

bool knownError(uint16_t error)
{
    static const GLenum kErrors[] = {
        GLU_TESS_MISSING_BEGIN_POLYGON,
        GLU_TESS_MISSING_BEGIN_CONTOUR,
        GLU_TESS_MISSING_END_POLYGON,
        GLU_TESS_MISSING_END_CONTOUR,
        GLU_TESS_COORD_TOO_LARGE,
        GLU_TESS_NEED_COMBINE_CALLBACK,
        GLU_OUT_OF_MEMORY,
        GLU_INVALID_VALUE,
        GLU_INVALID_ENUM,
    };
    if (error == 0)
        return true;
    for (GLenum known : kErrors)
        if (error == (known & 0xFFFF))
            return true;
    return false;
}

Copy g_copy;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Reader in = {data, size, 0};
    const float rule = windingRule(in);
    const int axis = static_cast<int8_t>(in.byte());
    Tesselator t(rule, axis);
    int vertices = 0;
    while (in.more() && vertices < kMaxVertices) {
        const uint8_t op = in.byte();
        if (op < 0x10) {
            t.BeginContour();
        } else if (op < 0x20) {
            t.EndContour();
        } else {
            float v[3];
            readVertex(in, op, v);
            t.Vertex(v);
            ++vertices;
        }
    }
    const tessInfo *info = t.Finish();
    check(info == &t.info);
    check(info->type == 0);
    check(knownError(info->error));
    checkRecord(info);

    take(info, g_copy);
    const float extra[3] = {1.0f, 2.0f, 0.0f};
    t.BeginContour();
    t.Vertex(extra);
    t.EndContour();
    check(t.Finish() == info);
    check(same(info, g_copy));
    return 0;
}
