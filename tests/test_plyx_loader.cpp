#include <cstdint>
#include <cstring>
#include <dirent.h>
#include <string>

#include <gtest/gtest.h>

#include "support/support.hh"
#include "util/emuKD/kd.h"
#include "util/plyxUtil.h"

using glyva_test::TempFile;

namespace
{

const uint32_t kUnset = 0xdeadbeefu;
const size_t kChunk = 131072;

/* Bytes that differ from one position to the next, so a misplaced chunk shows. */
std::string pattern(size_t n)
{
    std::string s(n, '\0');
    uint32_t x = 2463534242u;
    for (size_t i = 0; i < n; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        s[i] = static_cast<char>(x);
    }
    return s;
}

int openDescriptors()
{
    DIR *dir = opendir("/proc/self/fd");
    int n = 0;
    while (readdir(dir))
        ++n;
    closedir(dir);
    return n;
}

struct Loaded {
    void *data = nullptr;
    uint32_t size = kUnset;
};

Loaded load(const char *path)
{
    Loaded l;
    l.data = readBinaryFileToMemory(path, &l.size);
    return l;
}

bool holds(const Loaded &l, const std::string &bytes)
{
    return l.data && l.size == bytes.size() && memcmp(l.data, bytes.data(), bytes.size()) == 0;
}

long allocationsToLoad(const char *path)
{
    return glyva_test::countAllocations([&] { kdFree(load(path).data); });
}

} // namespace

TEST(ReadBinaryFile, RefusalsLeaveTheSizeUnwritten)
{
    TempFile tmp("abc");
    EXPECT_EQ(readBinaryFileToMemory(tmp.path(), nullptr), nullptr);
    Loaded none = load(nullptr);
    EXPECT_EQ(none.data, nullptr);
    EXPECT_EQ(none.size, kUnset);
    Loaded missing = load("/nonexistent/glyva/font.ttf");
    EXPECT_EQ(missing.data, nullptr);
    EXPECT_EQ(missing.size, kUnset);
}

TEST(ReadBinaryFile, EmptyFileGivesNullAndSizeZero)
{
    TempFile tmp("");
    Loaded l = load(tmp.path());
    EXPECT_EQ(l.data, nullptr);
    EXPECT_EQ(l.size, 0u);
}

/* A directory opens but cannot be read: a read error is no empty file. */
TEST(ReadBinaryFile, ReadErrorIsAFailure)
{
    Loaded l = load("/tmp");
    EXPECT_EQ(l.data, nullptr);
    EXPECT_EQ(l.size, kUnset);
}

TEST(ReadBinaryFile, ReturnsEveryByteAcrossChunks)
{
    const size_t sizes[] = {1, 5, kChunk - 1, kChunk, kChunk + 1, 3 * kChunk + 17};
    for (size_t n : sizes) {
        const std::string bytes = pattern(n);
        TempFile tmp(bytes);
        Loaded l = load(tmp.path());
        EXPECT_TRUE(holds(l, bytes)) << n;
        kdFree(l.data);
    }
}

/* Exact-fit growth: the handle, one allocation for the first chunk and one
 * reallocation for each further chunk, and nothing else of the library's own. */
TEST(ReadBinaryFile, OneAllocationPerChunk)
{
    GLYVA_REQUIRE_FAILING_ALLOC();
    TempFile one(pattern(kChunk));
    TempFile two(pattern(kChunk + 1));
    TempFile four(pattern(3 * kChunk + 1));
    EXPECT_EQ(allocationsToLoad(one.path()), 2);
    EXPECT_EQ(allocationsToLoad(two.path()), 3);
    EXPECT_EQ(allocationsToLoad(four.path()), 5);
}

/* Failing each allocation of the loader in turn: the handle, the first chunk's buffer,
 * its growth. Each gives null, leaves the size unwritten and leaks no descriptor. */
TEST(ReadBinaryFile, ExhaustedMemoryAtEachOwnAllocation)
{
    GLYVA_REQUIRE_FAILING_ALLOC();
    TempFile tmp(pattern(kChunk + 1));
    const int descriptors = openDescriptors();
    for (long k = 1; k <= 3; ++k) {
        Loaded l;
        glyva_test::failAllocation(k, [&] { l = load(tmp.path()); });
        EXPECT_EQ(l.data, nullptr) << k;
        EXPECT_EQ(l.size, kUnset) << k;
        EXPECT_EQ(openDescriptors(), descriptors) << k;
    }
}

/* Counting libc's stream allocations too: wherever memory runs out, the result is the
 * whole file or null with the size unwritten (libc may fall back to an unbuffered
 * stream), and no descriptor leaks. */
TEST(ReadBinaryFile, ExhaustedMemoryAnywhereInTheProcess)
{
    GLYVA_REQUIRE_FAILING_ALLOC();
    const std::string bytes = pattern(kChunk + 1);
    TempFile tmp(bytes);
    const long total = glyva_test::countAllocations([&] { kdFree(load(tmp.path()).data); },
                                                    glyva_test::AllocScope::kAll);
    ASSERT_GE(total, 3);
    const int descriptors = openDescriptors();
    for (long k = 1; k <= total; ++k) {
        Loaded l;
        glyva_test::failAllocation(
            k, [&] { l = load(tmp.path()); }, false, glyva_test::AllocScope::kAll);
        if (l.data) {
            EXPECT_TRUE(holds(l, bytes)) << k;
        } else {
            EXPECT_EQ(l.size, kUnset) << k;
        }
        kdFree(l.data);
        EXPECT_EQ(openDescriptors(), descriptors) << k;
    }
}
