// A scripted host session run with every allocation of it failing in turn: each run
// must end cleanly, and every answer must be the one of an undisturbed run or the
// failure value of its entry point.
#include <cstdint>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "Skrib/GlyvaInterface.h"
#include "glyph/Tesselator.h"
#include "support/support.hh"

namespace
{

/* Answers of one session, in fixed storage: nothing may allocate while the failing
 * allocator is armed, the test's own bookkeeping included. */
struct Answer {
    int32_t result;
    uint32_t digest; /* of the data the call handed out; 0 for none */
    bool failed;     /* the call gave its documented failure value */
};

struct Session {
    Answer answers[256];
    int count;
    bool indicesNameVertices;

    void record(int32_t result, uint32_t digest, bool failed)
    {
        if (count < 256)
            answers[count++] = {result, digest, failed};
    }
};

uint32_t digestOf(const void *data, size_t bytes)
{
    /* FNV-1a: any change in the handed-out bytes changes the digest. */
    uint32_t h = 2166136261u;
    const auto *p = static_cast<const unsigned char *>(data);
    for (size_t i = 0; i < bytes; ++i)
        h = (h ^ p[i]) * 16777619u;
    return h;
}

void meshGlyph(Session &s, tavixInternalFontData *font, uint32_t code)
{
    glyphInfoRecord info;
    int32_t ok = GetGlyphInfo(&info, font, code);
    s.record(ok, ok ? digestOf(&info, sizeof info) : 0, ok == 0);
    float *vertices = nullptr;
    int32_t *indices = nullptr;
    int32_t nv = GetGlyphVertices(&vertices, font, code);
    s.record(nv, nv > 0 ? digestOf(vertices, sizeof(float) * 2 * nv) : 0, nv == -1);
    int32_t ni = GetGlyphTriangleIndices(&indices, font, code);
    /* After a failed tessellation the list is empty, as before any tessellation. */
    s.record(ni, ni > 0 ? digestOf(indices, sizeof(int32_t) * ni) : 0, ni <= 0);
    if (ni > 0 && ni % 3 != 0)
        s.indicesNameVertices = false;
    for (int32_t i = 0; i < ni; ++i)
        if (indices[i] < 0 || indices[i] >= nv)
            s.indicesNameVertices = false;
    ClearGlyphData(font, code);
}

void contoursOf(Session &s, tavixInternalFontData *font, uint32_t code, int contours)
{
    for (int k = 0; k < contours; ++k) {
        float *points = nullptr;
        uint8_t evenOdd = 9, postScript = 9;
        int32_t n = GetGlyphContour(&points, font, code, k, &evenOdd, &postScript);
        s.record(n, n > 0 ? digestOf(points, sizeof(float) * 3 * n) : 0, n == 0);
    }
    ClearGlyphContour(font);
}

void fontSession(Session &s, const std::string &path, const char *text, int contoursOfFirst)
{
    tavixInternalFontData *font = OpenFont(path.c_str());
    s.record(font != nullptr, 0, font == nullptr);
    if (!font) {
        /* Keep the answers of later calls in their places. */
        int skipped = 2 + 3 * static_cast<int>(std::strlen(text)) + contoursOfFirst + 1;
        for (int i = 0; i < skipped; ++i)
            s.record(0, 0, true);
        return;
    }
    /* A handle whose face could not be set up keeps its creation values. */
    float bounds[4] = {0, 0, 0, 0};
    const float zeros[4] = {0, 0, 0, 0};
    s.record(GetFontBounds(bounds, font), digestOf(bounds, sizeof bounds),
             std::memcmp(bounds, zeros, sizeof zeros) == 0);
    s.record(static_cast<int32_t>(GetAscender(font) * 640), 0, GetAscender(font) == 1.0f);
    SetQuality(font, 50);
    for (const char *c = text; *c; ++c)
        meshGlyph(s, font, static_cast<uint8_t>(*c));
    contoursOf(s, font, static_cast<uint8_t>(text[0]), contoursOfFirst);
    float kern[2] = {0, 0};
    int32_t kerned =
        GetKerning(kern, font, static_cast<uint8_t>(text[0]), static_cast<uint8_t>(text[1]));
    s.record(kerned, digestOf(kern, sizeof kern), kerned == 0);
    CloseFont(font);
}

void polygonSession(Session &s)
{
    Tesselator tess(100131.0f, 3);
    /* Two overlapping squares: the crossings go through the combine callback. */
    const float a[4][3] = {{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {0, 2, 0}};
    const float b[4][3] = {{1, 1, 0}, {3, 1, 0}, {3, 3, 0}, {1, 3, 0}};
    for (const auto *contour : {a, b}) {
        tess.BeginContour();
        for (int i = 0; i < 4; ++i)
            tess.Vertex(contour[i]);
        tess.EndContour();
    }
    tessInfo *r = tess.Finish();
    const bool whole = r->indices.count % 3 == 0;
    bool inRange = whole;
    for (uint32_t i = 0; i < r->indices.count; ++i)
        inRange = inRange && r->indices.values[i] >= 0 &&
                  static_cast<uint32_t>(r->indices.values[i]) < r->vertices.count;
    if (!inRange)
        s.indicesNameVertices = false;
    const uint16_t outOfMemory = 100902 & 0xFFFF;
    s.record(r->error, digestOf(r->indices.values, sizeof(int32_t) * r->indices.count),
             r->error == outOfMemory || tess.tess == nullptr);
}

/* Built before the allocator is armed. */
const std::string kTrueType = glyva_test::fixture("fixtures.ttf");
const std::string kCff = glyva_test::fixture("cubic.otf");

void hostSession(Session &s)
{
    s.count = 0;
    s.indicesNameVertices = true;
    fontSession(s, kTrueType, "BAE V", 2);
    fontSession(s, kCff, "OSA", 2);
    polygonSession(s);
}

} // namespace

TEST(HostSession, EveryAllocationFailureEndsCleanlyWithCorrectOrFailedAnswers)
{
    GLYVA_REQUIRE_FAILING_ALLOC();
    static Session reference, disturbed;
    long total = glyva_test::countAllocations([] { hostSession(reference); });
    ASSERT_TRUE(reference.indicesNameVertices);
    ASSERT_GT(total, 50);
    ASSERT_GT(reference.count, 30);

    long degraded = 0;
    for (long k = 1; k <= total; ++k) {
        glyva_test::failAllocation(k, [] { hostSession(disturbed); });
        ASSERT_TRUE(disturbed.indicesNameVertices) << "allocation " << k;
        ASSERT_LE(disturbed.count, reference.count) << "allocation " << k;
        for (int i = 0; i < disturbed.count; ++i) {
            const Answer &got = disturbed.answers[i], &want = reference.answers[i];
            bool identical = got.result == want.result && got.digest == want.digest;
            ASSERT_TRUE(identical || got.failed) << "allocation " << k << ", answer " << i << ": "
                                                 << got.result << " instead of " << want.result;
            degraded += !identical;
        }
    }
    std::printf("swept %ld allocation points; %ld answers degraded to failure values\n", total,
                degraded);
}

TEST(HostSession, PersistentExhaustionEndsCleanly)
{
    GLYVA_REQUIRE_FAILING_ALLOC();
    static Session s;
    for (long k : {1L, 2L, 5L, 20L, 100L}) {
        glyva_test::failAllocation(
            k, [] { hostSession(s); }, true);
        EXPECT_TRUE(s.indicesNameVertices) << "from allocation " << k;
    }
}
