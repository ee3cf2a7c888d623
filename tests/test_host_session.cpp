#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "support/glyph.hh"
#include "support/support.hh"

/* A scripted host session run with every allocation of it failing in turn: each run
 * must end cleanly, and every answer must be the one of an undisturbed run or the
 * failure value of its entry point. Leaks are the sanitizer build's to find. */

using namespace glyva_test;

namespace
{

/* Answers of one session, in fixed storage: nothing may allocate while the failing
 * allocator is armed, the test's own bookkeeping included. */
struct Answer {
    int32_t result;
    uint64_t digest; /* of the data the call handed out */
    bool failed;     /* the call gave its documented failure value */
};

/* Every answer has its slot, so that a query left out after an earlier failure (a
 * glyph whose metrics failed is not meshed) keeps the later answers in their places;
 * a slot not answered reads as a failure. */
constexpr int kSlots = 512, kGlyphSlots = 16;

struct Session {
    Answer answers[kSlots];
    int next;
    bool indicesNameVertices;
    int32_t vertices;
    void start(int slot)
    {
        for (next = slot; slot == 0 && next < kSlots; ++next)
            answers[next] = {0, 0, true};
        next = slot;
    }
    void record(int32_t result, uint64_t digest, bool failed)
    {
        if (next < kSlots)
            answers[next++] = {result, digest, failed};
    }
    /* After a failed tessellation the index list is empty, as before any. */
    void see(Query query, int32_t result, const void *data, size_t bytes)
    {
        const bool failed = query == Query::kVertices ? result == -1 : result <= 0;
        if (query == Query::kVertices)
            vertices = result;
        for (size_t i = 0; query == Query::kIndices && i < bytes / 4; ++i) {
            int32_t index = static_cast<const int32_t *>(data)[i];
            indicesNameVertices &= index >= 0 && index < vertices && result % 3 == 0;
        }
        record(result, fnv(kFnvStart, data, bytes), failed);
    }
};

/* Built before the allocator is armed. */
const std::string kTrueType = fixture("fixtures.ttf");
const std::string kCff = fixture("cubic.otf");

void fontSession(Session &s, const std::string &path, const char *text, int base)
{
    s.start(base);
    tavixInternalFontData *font = OpenFont(path.c_str());
    s.record(font != nullptr, 0, font == nullptr);
    if (!font)
        return;
    float bounds[4] = {0, 0, 0, 0};
    GetFontBounds(bounds, font);
    /* A handle whose face could not be set up keeps its creation values. */
    s.record(0, fnv(kFnvStart, bounds, sizeof bounds), bounds[1] == 0.0f && GetAscender(font) == 1);
    for (int i = 0; text[i]; ++i) {
        s.start(base + 2 + kGlyphSlots * i);
        queryGlyph(font, static_cast<uint8_t>(text[i]),
                   [&](Query q, int32_t result, const void *data, size_t bytes) {
                       s.see(q, result, data, bytes);
                   });
    }
    s.start(base + 2 + kGlyphSlots * static_cast<int>(std::strlen(text)));
    float kern[2] = {0, 0};
    int32_t kerned =
        GetKerning(kern, font, static_cast<uint8_t>(text[0]), static_cast<uint8_t>(text[1]));
    s.record(kerned, fnv(kFnvStart, kern, sizeof kern), kerned == 0);
    CloseFont(font);
}

/* Two overlapping squares: the crossings go through the combine callback. */
void polygonSession(Session &s)
{
    s.start(kSlots - 2);
    Tesselator tess(100131.0f, 3);
    addContours(tess, {{{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {0, 2, 0}},
                       {{1, 1, 0}, {3, 1, 0}, {3, 3, 0}, {1, 3, 0}}});
    const tessInfo *r = tess.Finish();
    s.vertices = static_cast<int32_t>(r->vertices.count);
    s.see(Query::kIndices, static_cast<int32_t>(r->indices.count), r->indices.values,
          sizeof(int32_t) * r->indices.count);
    s.record(r->error, 0, r->error == (100902 & 0xFFFF) || tess.tess == nullptr);
}

void hostSession(Session &s)
{
    s.start(0);
    s.indicesNameVertices = true;
    fontSession(s, kTrueType, "BAEF V", 0);
    fontSession(s, kCff, "OSA", 200);
    polygonSession(s);
}

} // namespace

TEST(HostSession, EveryAllocationFailureEndsCleanlyWithCorrectOrFailedAnswers)
{
    GLYVA_REQUIRE_FAILING_ALLOC();
    static Session reference, disturbed;
    long total = countAllocations([] { hostSession(reference); });
    ASSERT_TRUE(reference.indicesNameVertices);
    ASSERT_GT(total, 50);
    long degraded = 0;
    for (long k = 1; k <= total; ++k) {
        failAllocation(k, [] { hostSession(disturbed); });
        ASSERT_TRUE(disturbed.indicesNameVertices) << "allocation " << k;
        for (int i = 0; i < kSlots; ++i) {
            const Answer &got = disturbed.answers[i], &want = reference.answers[i];
            bool identical = got.result == want.result && got.digest == want.digest;
            ASSERT_TRUE(identical || got.failed) << "allocation " << k << ", answer " << i << ": "
                                                 << got.result << " instead of " << want.result;
            degraded += !identical;
        }
    }
    std::printf("swept %ld allocation points; %ld answers degraded\n", total, degraded);
    for (long k : {1L, 2L, 5L, 20L, 100L}) {
        failAllocation(
            k, [] { hostSession(disturbed); }, true);
        EXPECT_TRUE(disturbed.indicesNameVertices) << "from allocation " << k;
    }
}
