// Empty formats are part of what is tested.
#pragma GCC diagnostic ignored "-Wformat-zero-length"

#include <cstring>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "support/support.hh"
#include "util/emuKD/kd.h"
#include "util/plyxUtil.h"

using glyva_test::captureStderr;
using glyva_test::captureStdout;

namespace
{

using MessageFn = void (*)(const char *, int, const char *, ...);

struct Level {
    const char *name;
    MessageFn fn;
};

const Level kLevels[] = {
    {"debug", plyxDebugMessage},
    {"warn", plyxWarnMessage},
    {"error", plyxErrorMessage},
    {"script", plyxScriptMessage},
};

/* The three levels that stay silent about messages that come out empty or dropped. */
const Level kQuietLevels[] = {
    {"warn", plyxWarnMessage},
    {"error", plyxErrorMessage},
    {"script", plyxScriptMessage},
};

struct Output {
    std::string out;
    std::string err;
};

Output run(const std::function<void()> &fn)
{
    Output o;
    o.err = captureStderr([&] { o.out = captureStdout(fn); });
    return o;
}

} // namespace

TEST(PlyxStrdup, CopiesOnlyNonEmptyTexts)
{
    EXPECT_EQ(plyxStrdup(nullptr), nullptr);
    EXPECT_EQ(plyxStrdup(""), nullptr);
    const char text[] = "abc";
    char *copy = plyxStrdup(text);
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy, text);
    EXPECT_STREQ(copy, "abc");
    kdFree(copy);
}

TEST(PlyxStrdup, ExhaustedMemoryGivesNull)
{
    GLYVA_REQUIRE_FAILING_ALLOC();
    char *copy = reinterpret_cast<char *>(1);
    glyva_test::failAllocation(1, [&] { copy = plyxStrdup("abc"); });
    EXPECT_EQ(copy, nullptr);
}

TEST(PlyxMessage, EveryLevelPrefixesSourceAndLineAlike)
{
    for (const Level &level : kLevels) {
        Output o = run(
            [&] { level.fn("Skrib/GlyvaInterface", 249, "unable to read font %s\n", "x.ttf"); });
        EXPECT_EQ(o.out, "Skrib/GlyvaInterface(249): unable to read font x.ttf\n") << level.name;
        EXPECT_EQ(o.err, "") << level.name;
    }
}

TEST(PlyxMessage, FormattingAndTheAddedNewline)
{
    Output o = run([] { plyxErrorMessage("plyxUtil", -3, "%d of %u", -7, 9u); });
    EXPECT_EQ(o.out, "plyxUtil(-3): -7 of 9\n");
    o = run([] { plyxWarnMessage(nullptr, 12, "no source %s\n", "here"); });
    EXPECT_EQ(o.out, "no source here\n");
    /* The composed text is logged as it stands, never formatted a second time. */
    o = run([] { plyxErrorMessage("plyxUtil", 1, "%s", "100%d %s"); });
    EXPECT_EQ(o.out, "plyxUtil(1): 100%d %s\n");
    EXPECT_EQ(o.err, "");
}

TEST(PlyxMessage, EmptyMessagesAreReportedOnlyByDebug)
{
    static const char *const empty = "";
    Output o = run([] { plyxDebugMessage("plyxUtil", 12, empty); });
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.err, "NULL Msg for plyxUtil/12)\n");
    o = run([] { plyxDebugMessage("plyxUtil", 12, "%s", ""); });
    EXPECT_EQ(o.err, "NULL Msg for plyxUtil/12)\n");
    for (const Level &level : kQuietLevels) {
        o = run([&] { level.fn("plyxUtil", 12, empty); });
        EXPECT_EQ(o.out, "") << level.name;
        EXPECT_EQ(o.err, "") << level.name;
    }
}

TEST(PlyxMessage, NullFormatIsReportedByEveryLevel)
{
    for (const Level &level : kLevels) {
        Output o = run([&] { level.fn("glyph/glyphTesselator", 88, nullptr); });
        EXPECT_EQ(o.out, "") << level.name;
        EXPECT_EQ(o.err, "NULL Msg for glyph/glyphTesselator/88)\n") << level.name;
    }
    /* A null source name is shown as glibc shows it, without relying on printf's
     * undefined treatment of a null %s. */
    Output o = run([] { plyxDebugMessage(nullptr, 5, nullptr); });
    EXPECT_EQ(o.err, "NULL Msg for (null)/5)\n");
}

/* A conversion that vsnprintf cannot perform: a non-ASCII wide character in the C
 * locale. */
TEST(PlyxMessage, FormattingErrorsComposeNothing)
{
    Output o = run([] { plyxDebugMessage("plyxUtil", 4, "%ls", L"\u00e9"); });
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.err, "NULL Msg for plyxUtil/4)\n");
    o = run([] { plyxErrorMessage("plyxUtil", 4, "%ls", L"\u00e9"); });
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.err, "");
}

TEST(PlyxMessage, At2047CharactersTheShortPathKeepsTheWholeMessage)
{
    const std::string message(2047, 'm');
    long allocations = 0;
    Output o = run([&] {
        allocations = glyva_test::countAllocations(
            [&] { plyxScriptMessage(nullptr, 1, "%s", message.c_str()); });
    });
    EXPECT_EQ(o.out, message + "\n");
    EXPECT_EQ(o.err, "");
    if (glyva_test::allocationFailureAvailable()) {
        EXPECT_EQ(allocations, 1);
    }
}

/* The prefixed text must fit the second local buffer: 2047 characters pass, 2048 are
 * dropped with their length on standard error. */
TEST(PlyxMessage, PrefixedShortMessagesAreDroppedAt2048)
{
    const std::string source = "glyph/glyphTesselator";
    const std::string prefix = source + "(10): ";
    const std::string fits(2047 - prefix.size(), 'f');
    Output o = run([&] { plyxWarnMessage(source.c_str(), 10, "%s", fits.c_str()); });
    EXPECT_EQ(o.out, prefix + fits + "\n");
    EXPECT_EQ(o.err, "");

    const std::string over(2048 - prefix.size(), 'o');
    o = run([&] { plyxWarnMessage(source.c_str(), 10, "%s", over.c_str()); });
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.err, "NEED expand2 n: 2048\n");

    const std::string near(2040, 'n');
    o = run([&] { plyxDebugMessage(source.c_str(), 10, "%s", near.c_str()); });
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.err, "NEED expand2 n: 2067\nNULL Msg for glyph/glyphTesselator/10)\n");
}

TEST(PlyxMessage, At2048CharactersTheLongPathKeepsTheWholeMessage)
{
    const std::string message(2048, 'L');
    long allocations = 0;
    Output o = run([&] {
        allocations = glyva_test::countAllocations(
            [&] { plyxErrorMessage("plyxUtil", 77, "%s", message.c_str()); });
    });
    EXPECT_EQ(o.out, "plyxUtil(77): " + message + "\n");
    EXPECT_EQ(o.err, "expand n: 2048 buflen: 2304\nexpand2 n: 2048\n");
    if (glyva_test::allocationFailureAvailable()) {
        EXPECT_EQ(allocations, 2);
    }

    o = run([&] {
        allocations = glyva_test::countAllocations(
            [&] { plyxErrorMessage(nullptr, 77, "%s\n", message.c_str()); });
    });
    EXPECT_EQ(o.out, message + "\n");
    EXPECT_EQ(o.err, "");
    if (glyva_test::allocationFailureAvailable()) {
        EXPECT_EQ(allocations, 1);
    }
}

/* The long path reserves 256 bytes for the prefix; a longer source name cuts the end of
 * the message off instead of growing the buffer. */
TEST(PlyxMessage, LongMessagesAreCutToTheirBufferLength)
{
    const std::string source(300, 's');
    const std::string message(3000, 'x');
    Output o = run([&] { plyxWarnMessage(source.c_str(), 1, "%s", message.c_str()); });
    const std::string whole = source + "(1): " + message;
    EXPECT_EQ(o.out, whole.substr(0, 3000 + 256 - 1) + "\n");
    EXPECT_EQ(o.err, "expand n: 3000 buflen: 3256\nexpand2 n: 3000\n");
}

TEST(PlyxMessage, ExhaustedMemoryDropsTheMessage)
{
    GLYVA_REQUIRE_FAILING_ALLOC();
    Output o = run(
        [] { glyva_test::failAllocation(1, [] { plyxErrorMessage("plyxUtil", 3, "short\n"); }); });
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.err, "");
    o = run(
        [] { glyva_test::failAllocation(1, [] { plyxDebugMessage("plyxUtil", 3, "short\n"); }); });
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.err, "NULL Msg for plyxUtil/3)\n");

    const std::string message(2500, 'L');
    /* First the whole message: nothing is announced before it exists. */
    o = run([&] {
        glyva_test::failAllocation(1,
                                   [&] { plyxWarnMessage("plyxUtil", 3, "%s", message.c_str()); });
    });
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.err, "");
    /* Then the prefixed buffer: both announcements come, the message does not. */
    o = run([&] {
        glyva_test::failAllocation(2,
                                   [&] { plyxDebugMessage("plyxUtil", 3, "%s", message.c_str()); });
    });
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.err, "expand n: 2500 buflen: 2756\nexpand2 n: 2500\nNULL Msg for plyxUtil/3)\n");
}
