#include <cmath>
#include <cstdint>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/glyph.hh"
#include "support/support.hh"

/* Distinct font handles and distinct Tesselator objects share nothing, so threads using
 * them at once must get exactly the results of one thread (and, under ThreadSanitizer,
 * no report). */

using namespace glyva_test;

namespace
{

constexpr int kThreads = 4;

uint64_t meshText(int t)
{
    const char *fonts[] = {kDejaVuSans, kFreeSans, kLiberationSans, kDejaVuSans};
    std::vector<uint32_t> codes;
    for (const char *c = "Glyva AVATAR 0123456789 @&%$ quick brown fox jumps"; *c; ++c)
        codes.push_back(static_cast<uint8_t>(*c));
    tavixInternalFontData *font = OpenFont(fonts[t]);
    SetQuality(font, 25u * t);
    uint64_t h = digestGlyphs(font, codes);
    CloseFont(font);
    return h;
}

/* A self-crossing star: every edge crosses others, so combine runs too. */
uint64_t tessellateStar(int t)
{
    const int points = 41 + 10 * t;
    Tesselator tess(100131.0f, 3);
    tess.BeginContour();
    for (int i = 0; i < points; ++i) {
        double angle = 6.283185307179586 * ((i * (points / 2 - 1)) % points) / points;
        float v[3] = {static_cast<float>(std::cos(angle)), static_cast<float>(std::sin(angle)), 0};
        tess.Vertex(v);
    }
    tess.EndContour();
    tessInfo *r = tess.Finish();
    uint64_t h = fnv(kFnvStart, &r->error, sizeof r->error);
    h = fnv(h, r->vertices.values, sizeof(float) * 3 * r->vertices.count);
    return fnv(h, r->indices.values, sizeof(int32_t) * r->indices.count);
}

void expectSameInThreads(uint64_t (*work)(int))
{
    uint64_t expected[kThreads], got[kThreads];
    for (int t = 0; t < kThreads; ++t)
        expected[t] = work(t);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] { got[t] = work(t); });
    for (std::thread &thread : threads)
        thread.join();
    for (int t = 0; t < kThreads; ++t)
        EXPECT_EQ(got[t], expected[t]) << "thread " << t;
}

} // namespace

TEST(Threads, FontHandlesAndTesselatorsInParallelGiveTheSingleThreadResults)
{
    expectSameInThreads(meshText);
    expectSameInThreads(tessellateStar);
}
