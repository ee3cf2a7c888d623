// Distinct font handles and distinct Tesselator objects share nothing, so threads using
// them at once must get exactly the results of one thread (and, under
// ThreadSanitizer, no report).
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "Skrib/GlyvaInterface.h"
#include "glyph/Tesselator.h"
#include "support/support.hh"

namespace
{

constexpr int kThreads = 4;

uint64_t mix(uint64_t h, const void *data, size_t bytes)
{
    const auto *p = static_cast<const unsigned char *>(data);
    for (size_t i = 0; i < bytes; ++i)
        h = (h ^ p[i]) * 1099511628211ull;
    return h;
}

/* A digest of every mesh and contour of a text, as one host thread would take them. */
uint64_t meshText(const char *path, const char *text, uint32_t quality)
{
    uint64_t h = 1469598103934665603ull;
    tavixInternalFontData *font = OpenFont(path);
    if (!font)
        return 0;
    SetQuality(font, quality);
    for (const char *c = text; *c; ++c) {
        uint32_t code = static_cast<uint8_t>(*c);
        glyphInfoRecord info;
        if (!GetGlyphInfo(&info, font, code))
            continue;
        float *vertices = nullptr;
        int32_t *indices = nullptr;
        int32_t nv = GetGlyphVertices(&vertices, font, code);
        int32_t ni = GetGlyphTriangleIndices(&indices, font, code);
        if (nv > 0)
            h = mix(h, vertices, sizeof(float) * 2 * nv);
        if (ni > 0)
            h = mix(h, indices, sizeof(int32_t) * ni);
        float *points = nullptr;
        uint8_t evenOdd, postScript;
        for (int k = 0; k < info.contourCount; ++k) {
            int32_t n = GetGlyphContour(&points, font, code, k, &evenOdd, &postScript);
            if (n > 0)
                h = mix(h, points, sizeof(float) * 3 * n);
        }
        ClearGlyphData(font, code);
    }
    float kern[2];
    if (GetKerning(kern, font, 'A', 'V'))
        h = mix(h, kern, sizeof kern);
    CloseFont(font);
    return h;
}

uint64_t tessellateStar(int points)
{
    Tesselator tess(100131.0f, 3);
    tess.BeginContour();
    for (int i = 0; i < points; ++i) {
        /* A self-crossing star: every edge crosses others, so combine runs too. */
        double angle = 6.283185307179586 * ((i * (points / 2 - 1)) % points) / points;
        float v[3] = {static_cast<float>(std::cos(angle)), static_cast<float>(std::sin(angle)), 0};
        tess.Vertex(v);
    }
    tess.EndContour();
    tessInfo *r = tess.Finish();
    uint64_t h = mix(1469598103934665603ull, &r->error, sizeof r->error);
    if (r->vertices.count)
        h = mix(h, r->vertices.values, sizeof(float) * 3 * r->vertices.count);
    if (r->indices.count)
        h = mix(h, r->indices.values, sizeof(int32_t) * r->indices.count);
    return h;
}

const char kText[] = "Glyva AVATAR 0123456789 @&%$ quick brown fox jumps";

} // namespace

TEST(Threads, FontHandlesInParallelGiveTheSingleThreadMeshes)
{
    const char *fonts[] = {glyva_test::kDejaVuSans, glyva_test::kFreeSans,
                           glyva_test::kLiberationSans, glyva_test::kDejaVuSans};
    uint64_t expected[kThreads], got[kThreads];
    for (int t = 0; t < kThreads; ++t) {
        expected[t] = meshText(fonts[t], kText, 25u * t);
        ASSERT_NE(expected[t], 0u);
    }
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] { got[t] = meshText(fonts[t], kText, 25u * t); });
    for (std::thread &thread : threads)
        thread.join();
    for (int t = 0; t < kThreads; ++t)
        EXPECT_EQ(got[t], expected[t]) << "thread " << t;
}

TEST(Threads, TesselatorsInParallelGiveTheSingleThreadResults)
{
    uint64_t expected[kThreads], got[kThreads];
    for (int t = 0; t < kThreads; ++t)
        expected[t] = tessellateStar(41 + 10 * t);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] { got[t] = tessellateStar(41 + 10 * t); });
    for (std::thread &thread : threads)
        thread.join();
    for (int t = 0; t < kThreads; ++t)
        EXPECT_EQ(got[t], expected[t]) << "thread " << t;
}
