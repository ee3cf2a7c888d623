#include <string>

#include <gtest/gtest.h>

#include "support/support.hh"
#include "util/emuKD/kd.h"

using glyva_test::captureStdout;

namespace
{

std::string logged(const char *text)
{
    return captureStdout([&] { kdLogMessage(text); });
}

} // namespace

TEST(KdLogMessage, WritesOneLineAddingTheMissingNewline)
{
    EXPECT_EQ(logged("abc"), "abc\n");
    EXPECT_EQ(logged("abc\n"), "abc\n");
    EXPECT_EQ(logged("a\nb"), "a\nb\n");
    EXPECT_EQ(logged("\n"), "\n");
}

TEST(KdLogMessage, EmptyAndNullWriteNothing)
{
    EXPECT_EQ(logged(""), "");
    EXPECT_EQ(logged(nullptr), "");
}

TEST(KdLogMessage, TextIsNeverAFormat)
{
    EXPECT_EQ(logged("%d"), "%d\n");
    EXPECT_EQ(logged("100%s %n\n"), "100%s %n\n");
}

/* Logging must neither end the host nor lose the line when memory is exhausted. */
TEST(KdLogMessage, NeedsNoMemory)
{
    GLYVA_REQUIRE_FAILING_ALLOC();
    std::string out;
    long allocations = -1;
    out = captureStdout(
        [&] { allocations = glyva_test::countAllocations([] { kdLogMessage("abc"); }); });
    EXPECT_EQ(allocations, 0);
    EXPECT_EQ(out, "abc\n");

    out = captureStdout([] {
        glyva_test::failAllocation(
            1, [] { kdLogMessage("xyz"); }, true);
    });
    EXPECT_EQ(out, "xyz\n");
}
