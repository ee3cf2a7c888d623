#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "support/support.hh"
#include "util/emuKD/kd.h"

using glyva_test::captureStderr;

namespace
{

/* A destination with guard bytes after its stated size, to prove nothing is written
 * past it. */
struct Guarded {
    char bytes[32];
    explicit Guarded(const char *initial)
    {
        memset(bytes, 'X', sizeof bytes);
        memcpy(bytes, initial, strlen(initial) + 1);
    }
    bool untouchedFrom(size_t from) const
    {
        for (size_t i = from; i < sizeof bytes; ++i)
            if (bytes[i] != 'X')
                return false;
        return true;
    }
};

int sign(int v)
{
    return (v > 0) - (v < 0);
}

} // namespace

TEST(KdMemory, AllocatesResizesAndFreesThroughLibc)
{
    char *p = static_cast<char *>(kdMalloc(4));
    ASSERT_NE(p, nullptr);
    memcpy(p, "abc", 4);
    char *q = static_cast<char *>(kdRealloc(p, 4096));
    ASSERT_NE(q, nullptr);
    EXPECT_STREQ(q, "abc");
    kdFree(q);

    void *fresh = kdRealloc(nullptr, 16);
    EXPECT_NE(fresh, nullptr);
    kdFree(fresh);
    kdFree(nullptr);
}

TEST(KdMemory, ExhaustionGivesNullKeepsTheOldBlockAndRecordsNothing)
{
    GLYVA_REQUIRE_FAILING_ALLOC();
    kdSetError(4242);
    void *p = reinterpret_cast<void *>(1);
    /* Called straight from here, kdMalloc is libc's allocation seen from the test. */
    glyva_test::failAllocation(
        1, [&] { p = kdMalloc(64); }, false, glyva_test::AllocScope::kAll);
    EXPECT_EQ(p, nullptr);

    char *block = static_cast<char *>(kdMalloc(8));
    ASSERT_NE(block, nullptr);
    memcpy(block, "kept", 5);
    void *grown = reinterpret_cast<void *>(1);
    glyva_test::failAllocation(
        1, [&] { grown = kdRealloc(block, 1 << 20); }, false, glyva_test::AllocScope::kAll);
    ASSERT_EQ(grown, nullptr);
    EXPECT_STREQ(block, "kept");
    kdFree(block);
    EXPECT_EQ(kdGetError(), 4242);
}

TEST(KdMemory, NullBuffersAreRefused)
{
    char buf[4] = "abc";
    EXPECT_EQ(kdMemchr(nullptr, 'a', 3), nullptr);
    EXPECT_EQ(kdMemcmp(nullptr, buf, 3), -1);
    EXPECT_EQ(kdMemcmp(buf, nullptr, 3), -1);
    EXPECT_EQ(kdMemcpy(nullptr, buf, 3), nullptr);
    EXPECT_EQ(kdMemmove(nullptr, buf, 3), nullptr);
    EXPECT_EQ(kdMemset(nullptr, 0, 3), nullptr);

    char dst[4] = "xyz";
    EXPECT_EQ(kdMemcpy(dst, nullptr, 3), nullptr);
    EXPECT_EQ(kdMemmove(dst, nullptr, 3), nullptr);
    EXPECT_STREQ(dst, "xyz");
}

TEST(KdMemory, OperationsMatchLibc)
{
    const unsigned char bytes[] = {0x10, 0x41, 0xff, 0x41, 0x00};
    EXPECT_EQ(kdMemchr(bytes, 0x41, sizeof bytes), memchr(bytes, 0x41, sizeof bytes));
    /* The byte value is converted to unsigned char, as memchr does. */
    EXPECT_EQ(kdMemchr(bytes, 0x141, sizeof bytes), &bytes[1]);
    EXPECT_EQ(kdMemchr(bytes, 0xff, 2), nullptr);

    /* Bytes compare as unsigned: 0x80 is above 0x01. */
    EXPECT_GT(kdMemcmp("\x80", "\x01", 1), 0);
    EXPECT_EQ(sign(kdMemcmp("abd", "abc", 3)), sign(memcmp("abd", "abc", 3)));
    EXPECT_EQ(kdMemcmp("abd", "abc", 2), 0);

    char dst[8] = "-------";
    EXPECT_EQ(kdMemcpy(dst, "abc", 3), dst);
    EXPECT_STREQ(dst, "abc----");

    char overlap[] = "abcdef";
    EXPECT_EQ(kdMemmove(overlap + 2, overlap, 4), overlap + 2);
    EXPECT_STREQ(overlap, "ababcd");

    EXPECT_EQ(kdMemset(dst, 'z', 2), dst);
    EXPECT_STREQ(dst, "zzc----");
}

TEST(KdString, SearchLengthAndCompare)
{
    const char *s = "hello";
    EXPECT_EQ(kdStrchr(s, 'l'), s + 2);
    EXPECT_EQ(kdStrchr(s, 0), s + 5);
    EXPECT_EQ(kdStrchr(s, 'z'), nullptr);
    EXPECT_EQ(kdStrchr(nullptr, 'a'), nullptr);

    EXPECT_EQ(kdStrlen(nullptr), 0u);
    EXPECT_EQ(kdStrlen(s), 5u);
    EXPECT_EQ(kdStrnlen(nullptr, 10), 0u);
    EXPECT_EQ(kdStrnlen(s, 3), 3u);
    EXPECT_EQ(kdStrnlen(s, 10), 5u);
    /* No terminator within the bound: nothing past it may be read. */
    const char unterminated[3] = {'a', 'b', 'c'};
    EXPECT_EQ(kdStrnlen(unterminated, sizeof unterminated), 3u);

    EXPECT_EQ(kdStrcmp(nullptr, "a"), -1);
    EXPECT_EQ(kdStrcmp("a", nullptr), -1);
    EXPECT_EQ(kdStrcmp("abc", "abc"), 0);
    EXPECT_EQ(sign(kdStrcmp("abc", "abd")), sign(strcmp("abc", "abd")));
    EXPECT_GT(kdStrcmp("\xe9", "a"), 0);

    EXPECT_EQ(kdStrncmp("abcx", "abcy", 3), 0);
    EXPECT_EQ(sign(kdStrncmp("abcx", "abcy", 4)), sign(strncmp("abcx", "abcy", 4)));
    EXPECT_EQ(kdStrncmp(nullptr, "a", 1), -1);
}

TEST(KdStrcpy, CopiesTruncatesAndRefuses)
{
    Guarded four("");
    EXPECT_EQ(kdStrcpy_s(four.bytes, 4, "abcdef"), 0);
    EXPECT_STREQ(four.bytes, "abc");
    EXPECT_TRUE(four.untouchedFrom(4));

    Guarded kept("keep");
    EXPECT_EQ(kdStrcpy_s(kept.bytes, 8, nullptr), 1);
    EXPECT_STREQ(kept.bytes, "keep");

    Guarded none("keep");
    EXPECT_EQ(kdStrcpy_s(none.bytes, 0, "abc"), 1);
    EXPECT_STREQ(none.bytes, "keep");

    EXPECT_EQ(kdStrcpy_s(nullptr, 4, "abc"), 1);

    Guarded one("keep");
    EXPECT_EQ(kdStrcpy_s(one.bytes, 1, "abc"), 0);
    EXPECT_STREQ(one.bytes, "");
    EXPECT_EQ(one.bytes[1], 'e');

    Guarded fits("");
    EXPECT_EQ(kdStrcpy_s(fits.bytes, 4, "abc"), 0);
    EXPECT_STREQ(fits.bytes, "abc");
}

TEST(KdStrncpy, CopiesTheSmallestOfCountSourceAndRoom)
{
    Guarded four("");
    EXPECT_EQ(kdStrncpy_s(four.bytes, 4, "abcdef", 10), 0);
    EXPECT_STREQ(four.bytes, "abc");
    EXPECT_TRUE(four.untouchedFrom(4));

    Guarded eight("");
    EXPECT_EQ(kdStrncpy_s(eight.bytes, 8, "abcdef", 2), 0);
    EXPECT_STREQ(eight.bytes, "ab");
    EXPECT_TRUE(eight.untouchedFrom(3));

    Guarded zero("keep");
    EXPECT_EQ(kdStrncpy_s(zero.bytes, 8, "abcdef", 0), 0);
    EXPECT_STREQ(zero.bytes, "");

    Guarded kept("keep");
    EXPECT_EQ(kdStrncpy_s(kept.bytes, 8, nullptr, 3), 1);
    EXPECT_EQ(kdStrncpy_s(kept.bytes, 0, "abc", 3), 1);
    EXPECT_EQ(kdStrncpy_s(nullptr, 8, "abc", 3), 1);
    EXPECT_STREQ(kept.bytes, "keep");

    /* A source that is not terminated within count is read no further. */
    const char raw[2] = {'x', 'y'};
    Guarded bounded("");
    EXPECT_EQ(kdStrncpy_s(bounded.bytes, 8, raw, 2), 0);
    EXPECT_STREQ(bounded.bytes, "xy");
}

TEST(KdStrncat, AppendsWithinTheDestinationSize)
{
    Guarded all("abc");
    EXPECT_EQ(kdStrncat_s(all.bytes, 8, "defghijk", 100), 0);
    EXPECT_STREQ(all.bytes, "abcdefg");
    EXPECT_TRUE(all.untouchedFrom(8));

    Guarded two("abc");
    EXPECT_EQ(kdStrncat_s(two.bytes, 8, "defghijk", 2), 0);
    EXPECT_STREQ(two.bytes, "abcde");

    Guarded nothing("abc");
    EXPECT_EQ(kdStrncat_s(nothing.bytes, 8, nullptr, 2), 0);
    EXPECT_STREQ(nothing.bytes, "abc");

    EXPECT_EQ(kdStrncat_s(nullptr, 8, "d", 1), 1);
    Guarded sizeZero("abc");
    EXPECT_EQ(kdStrncat_s(sizeZero.bytes, 0, "d", 1), 1);
    EXPECT_STREQ(sizeZero.bytes, "abc");

    /* Exactly full: the terminator fills the last byte and nothing is appended. */
    Guarded full("abc");
    EXPECT_EQ(kdStrncat_s(full.bytes, 4, "d", 1), 0);
    EXPECT_STREQ(full.bytes, "abc");

    Guarded self("abc");
    EXPECT_EQ(kdStrncat_s(self.bytes, 16, self.bytes, 16), 0);
    EXPECT_STREQ(self.bytes, "abcabc");
}

TEST(KdStrncat, StatedSizeBelowTheCurrentLengthIsReported)
{
    Guarded dst("abc");
    int result = 0;
    std::string err = captureStderr([&] { result = kdStrncat_s(dst.bytes, 2, "defghijk", 100); });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(err, "ILLEGAL len 3 8 max: 2\n");
    EXPECT_STREQ(dst.bytes, "abc");
    EXPECT_TRUE(dst.untouchedFrom(4));

    /* A size equal to the length fails silently: there is no room for a terminator. */
    err = captureStderr([&] { result = kdStrncat_s(dst.bytes, 3, "defghijk", 100); });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(err, "");
    EXPECT_STREQ(dst.bytes, "abc");
}
