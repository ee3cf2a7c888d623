#include <cstring>
#include <initializer_list>
#include <string>

#include <gtest/gtest.h>

#include "support/support.hh"
#include "util/plyxUtil.h"

using glyva_test::captureStdout;
using glyva_test::countAllocations;
using glyva_test::failAllocation;

namespace
{

/* A list owning copies of the given texts; null stands for an absent entry. */
MFString makeList(std::initializer_list<const char *> texts)
{
    MFString list{};
    EXPECT_EQ(sizeMFString(&list, static_cast<uint32_t>(texts.size())), 1);
    uint32_t i = 0;
    for (const char *text : texts) {
        list.values[i] = text ? plyxStrdup(text) : nullptr;
        ++i;
    }
    return list;
}

/* A present entry whose text is empty, which plyxStrdup never makes. */
char *emptyText()
{
    char *text = static_cast<char *>(kdMalloc(1));
    text[0] = '\0';
    return text;
}

std::string joined(const MFString &list)
{
    char *text = toStringMFString(&list);
    if (!text)
        return "<absent>";
    std::string result(text);
    kdFree(text);
    return result;
}

} // namespace

TEST(MFStringSize, ManagesTheEntryArrayOnly)
{
    MFString list{};
    EXPECT_EQ(sizeMFString(nullptr, 2), 0);
    EXPECT_EQ(sizeMFString(&list, 0), 1);
    EXPECT_EQ(list.values, nullptr);
    ASSERT_EQ(sizeMFString(&list, 2), 1);
    EXPECT_EQ(list.count, 2u);
    list.values[0] = plyxStrdup("keep");
    list.values[1] = nullptr;
    char **entries = list.values;
    EXPECT_EQ(sizeMFString(&list, 2), 1);
    EXPECT_EQ(list.values, entries);
    ASSERT_EQ(sizeMFString(&list, 5), 1);
    EXPECT_STREQ(list.values[0], "keep");
    for (uint32_t i = 2; i < 5; ++i)
        list.values[i] = nullptr;
    clearMFString(&list);
    EXPECT_EQ(list.count, 0u);
    EXPECT_EQ(list.values, nullptr);
}

TEST(MFStringSize, CountsWhoseByteSizeOverflowsAreRefused)
{
    const uint32_t largest = UINT32_MAX / sizeof(char *);
    MFString list = makeList({nullptr});
    long allocations = countAllocations([&] { EXPECT_EQ(sizeMFString(&list, largest + 1), 0); });
    EXPECT_EQ(allocations, 0);
    EXPECT_EQ(list.count, 0u);
    EXPECT_EQ(list.values, nullptr);
    EXPECT_EQ(sizeMFString(&list, UINT32_MAX), 0);
}

TEST(MFStringSize, FailedAllocationLeavesTheListEmpty)
{
    GLYVA_REQUIRE_FAILING_ALLOC();
    MFString list{};
    int result = -1;
    failAllocation(1, [&] { result = sizeMFString(&list, 3); });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(list.count, 0u);
    EXPECT_EQ(list.values, nullptr);
    ASSERT_EQ(sizeMFString(&list, 1), 1);
    failAllocation(1, [&] { result = sizeMFString(&list, 4); });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(list.count, 0u);
    EXPECT_EQ(list.values, nullptr);
}

TEST(MFStringClear, ReleasesPresentTextsAndTheEntryArray)
{
    MFString list = makeList({"a", nullptr, "b", nullptr});
    clearMFString(&list);
    EXPECT_EQ(list.count, 0u);
    EXPECT_EQ(list.values, nullptr);
    clearMFString(&list);
    clearMFString(nullptr);

    MFString broken{};
    broken.count = 3;
    clearMFString(&broken);
    EXPECT_EQ(broken.count, 0u);
}

TEST(MFStringSet, StoresACopy)
{
    MFString list = makeList({nullptr, "old"});
    char text[] = "new";
    EXPECT_EQ(setMFString(&list, 0, text), 1);
    EXPECT_EQ(setMFString(&list, 1, text), 1);
    text[0] = 'X';
    EXPECT_STREQ(list.values[0], "new");
    EXPECT_STREQ(list.values[1], "new");
    EXPECT_NE(list.values[0], list.values[1]);
    clearMFString(&list);
}

TEST(MFStringSet, AnEntryCanBeSetToItsOwnText)
{
    MFString list = makeList({"self"});
    EXPECT_EQ(setMFString(&list, 0, list.values[0]), 1);
    EXPECT_STREQ(list.values[0], "self");
    clearMFString(&list);
}

TEST(MFStringSet, AbsentTextReleasesTheEntry)
{
    MFString list = makeList({"a"});
    std::string out = captureStdout([&] { EXPECT_EQ(setMFString(&list, 0, nullptr), 1); });
    EXPECT_EQ(list.values[0], nullptr);
    EXPECT_EQ(out, "");
    clearMFString(&list);
}

TEST(MFStringSet, EmptyTextLeavesTheEntryAbsentWithoutAMessage)
{
    MFString list = makeList({"a"});
    std::string out = captureStdout([&] { EXPECT_EQ(setMFString(&list, 0, ""), 0); });
    EXPECT_EQ(list.values[0], nullptr);
    EXPECT_EQ(out, "");
    clearMFString(&list);
}

TEST(MFStringSet, IndexAtCountReportsAndChangesNothing)
{
    MFString list = makeList({"a", "b"});
    char **entries = list.values;
    std::string out = captureStdout([&] { EXPECT_EQ(setMFString(&list, 2, "abc"), 0); });
    EXPECT_EQ(out, "plyxUtil(1107): MFString set 2 abc FAILED\n");
    EXPECT_EQ(list.count, 2u);
    EXPECT_EQ(list.values, entries);
    EXPECT_STREQ(list.values[0], "a");
    EXPECT_STREQ(list.values[1], "b");
    out = captureStdout([&] { EXPECT_EQ(setMFString(&list, UINT32_MAX, "z"), 0); });
    EXPECT_EQ(out, "plyxUtil(1107): MFString set 4294967295 z FAILED\n");
    clearMFString(&list);
}

TEST(MFStringSet, MissingListOrEntriesReportWithAPrintableText)
{
    MFString empty{};
    std::string out = captureStdout([&] { EXPECT_EQ(setMFString(nullptr, 0, "t"), 0); });
    EXPECT_EQ(out, "plyxUtil(1107): MFString set 0 t FAILED\n");
    out = captureStdout([&] { EXPECT_EQ(setMFString(&empty, 0, "t"), 0); });
    EXPECT_EQ(out, "plyxUtil(1107): MFString set 0 t FAILED\n");
    out = captureStdout([&] { EXPECT_EQ(setMFString(&empty, 7, nullptr), 0); });
    EXPECT_EQ(out, "plyxUtil(1107): MFString set 7 (null) FAILED\n");
    EXPECT_EQ(empty.count, 0u);
    EXPECT_EQ(empty.values, nullptr);
}

TEST(MFStringSet, FailedCopyLeavesTheEntryAbsent)
{
    GLYVA_REQUIRE_FAILING_ALLOC();
    MFString list = makeList({"old"});
    int result = -1;
    failAllocation(1, [&] { result = setMFString(&list, 0, "new"); });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(list.values[0], nullptr);
    EXPECT_EQ(list.count, 1u);
    clearMFString(&list);
}

TEST(MFStringAssign, CopiesEveryEntryKeepingAbsentOnesAbsent)
{
    MFString src = makeList({nullptr, "a", nullptr, "bc"});
    MFString dst{};
    EXPECT_EQ(assignMFString(&dst, &src), 1);
    ASSERT_EQ(dst.count, 4u);
    EXPECT_EQ(dst.values[0], nullptr);
    EXPECT_STREQ(dst.values[1], "a");
    EXPECT_NE(dst.values[1], src.values[1]);
    EXPECT_EQ(dst.values[2], nullptr);
    EXPECT_STREQ(dst.values[3], "bc");
    EXPECT_EQ(notEqualMFString(&dst, &src), 0);
    clearMFString(&src);
    clearMFString(&dst);
}

TEST(MFStringAssign, ReplacesTheDestinationsTexts)
{
    MFString src = makeList({"x", "y"});
    MFString dst = makeList({"old", "older", "oldest"});
    EXPECT_EQ(assignMFString(&dst, &src), 1);
    ASSERT_EQ(dst.count, 2u);
    EXPECT_STREQ(dst.values[0], "x");
    EXPECT_STREQ(dst.values[1], "y");
    clearMFString(&src);
    clearMFString(&dst);
}

TEST(MFStringAssign, SameCountKeepsTheEntryArray)
{
    MFString src = makeList({"x", nullptr});
    MFString dst = makeList({nullptr, "z"});
    char **entries = dst.values;
    EXPECT_EQ(assignMFString(&dst, &src), 1);
    EXPECT_EQ(dst.values, entries);
    EXPECT_STREQ(dst.values[0], "x");
    EXPECT_EQ(dst.values[1], nullptr);
    clearMFString(&src);
    clearMFString(&dst);
}

TEST(MFStringAssign, EmptySourceEmptiesAndSucceeds)
{
    MFString src{};
    MFString dst = makeList({"a", "b"});
    EXPECT_EQ(assignMFString(&dst, &src), 1);
    EXPECT_EQ(dst.count, 0u);
    EXPECT_EQ(dst.values, nullptr);
}

TEST(MFStringAssign, AbsentSourceEmptiesAndFails)
{
    MFString dst = makeList({"a", "b"});
    EXPECT_EQ(assignMFString(&dst, nullptr), 0);
    EXPECT_EQ(dst.count, 0u);
    EXPECT_EQ(dst.values, nullptr);
    MFString src = makeList({"a"});
    EXPECT_EQ(assignMFString(nullptr, &src), 0);
    EXPECT_STREQ(src.values[0], "a");
    clearMFString(&src);
}

TEST(MFStringAssign, OntoItselfChangesNothing)
{
    MFString list = makeList({"a", nullptr, "b"});
    char **entries = list.values;
    char *first = list.values[0];
    EXPECT_EQ(assignMFString(&list, &list), 1);
    EXPECT_EQ(list.values, entries);
    EXPECT_EQ(list.values[0], first);
    EXPECT_STREQ(list.values[2], "b");
    clearMFString(&list);
}

TEST(MFStringAssign, EmptyPresentTextStopsTheCopy)
{
    MFString src = makeList({"a", nullptr, "c", "d"});
    kdFree(src.values[2]);
    src.values[2] = emptyText();
    MFString dst{};
    EXPECT_EQ(assignMFString(&dst, &src), 0);
    ASSERT_EQ(dst.count, 4u);
    EXPECT_STREQ(dst.values[0], "a");
    EXPECT_EQ(dst.values[1], nullptr);
    EXPECT_EQ(dst.values[2], nullptr);
    EXPECT_EQ(dst.values[3], nullptr);
    clearMFString(&src);
    clearMFString(&dst);
}

TEST(MFStringAssign, FailedEntryArrayReportsTheSizes)
{
    GLYVA_REQUIRE_FAILING_ALLOC();
    MFString src = makeList({"a", "b", "c"});
    MFString dst = makeList({"x"});
    int result = -1;
    std::string out =
        captureStdout([&] { failAllocation(1, [&] { result = assignMFString(&dst, &src); }); });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(out, "plyxUtil(1167): size mismatch 0 != 3\n");
    EXPECT_EQ(dst.count, 0u);
    EXPECT_EQ(dst.values, nullptr);
    clearMFString(&src);
}

TEST(MFStringAssign, FailedTextCopyKeepsTheEarlierEntries)
{
    GLYVA_REQUIRE_FAILING_ALLOC();
    MFString src = makeList({"a", "b", "c"});
    MFString dst{};
    /* Allocation 1 is the entry array, 2 to 4 the three copies. */
    EXPECT_EQ(countAllocations([&] { assignMFString(&dst, &src); }), 4);
    clearMFString(&dst);
    int result = -1;
    std::string out =
        captureStdout([&] { failAllocation(3, [&] { result = assignMFString(&dst, &src); }); });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(out, "");
    ASSERT_EQ(dst.count, 3u);
    EXPECT_STREQ(dst.values[0], "a");
    EXPECT_EQ(dst.values[1], nullptr);
    EXPECT_EQ(dst.values[2], nullptr);
    clearMFString(&src);
    clearMFString(&dst);
}

TEST(MFStringNotEqual, ComparesPresenceThenText)
{
    MFString a = makeList({nullptr, "a"});
    MFString b = makeList({nullptr, "b"});
    MFString c = makeList({nullptr, "a"});
    MFString upper = makeList({nullptr, "A"});
    MFString shorter = makeList({nullptr});
    MFString absentFirst = makeList({"x", "a"});
    MFString empty{}, otherEmpty{};
    EXPECT_EQ(notEqualMFString(&a, &b), 1);
    EXPECT_EQ(notEqualMFString(&a, &c), 0);
    EXPECT_EQ(notEqualMFString(&a, &upper), 1);
    EXPECT_EQ(notEqualMFString(&a, &shorter), 1);
    EXPECT_EQ(notEqualMFString(&a, &absentFirst), 1);
    EXPECT_EQ(notEqualMFString(&absentFirst, &a), 1);
    EXPECT_EQ(notEqualMFString(&empty, &otherEmpty), 0);
    EXPECT_EQ(notEqualMFString(&empty, nullptr), 1);
    EXPECT_EQ(notEqualMFString(nullptr, &empty), 1);
    EXPECT_EQ(notEqualMFString(nullptr, nullptr), 0);
    for (MFString *list : {&a, &b, &c, &upper, &shorter, &absentFirst})
        clearMFString(list);
}

TEST(MFStringJoin, QuotesAndSeparatesEveryEntry)
{
    MFString two = makeList({"a", "bc"});
    char *text = toStringMFString(&two);
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "\"a\",\"bc\"");
    EXPECT_EQ(std::strlen(text) + 1, 9u);
    kdFree(text);
    MFString one = makeList({"x"});
    EXPECT_EQ(joined(one), "\"x\"");
    clearMFString(&two);
    clearMFString(&one);
}

TEST(MFStringJoin, TextsAreNotEscaped)
{
    MFString list = makeList({"say \"hi\"", "a,b", "\\"});
    EXPECT_EQ(joined(list), "\"say \"hi\"\",\"a,b\",\"\\\"");
    clearMFString(&list);
}

TEST(MFStringJoin, NothingToJoinGivesNoText)
{
    MFString absent = makeList({nullptr, nullptr});
    MFString empty{};
    EXPECT_EQ(toStringMFString(&absent), nullptr);
    EXPECT_EQ(toStringMFString(&empty), nullptr);
    EXPECT_EQ(toStringMFString(nullptr), nullptr);
    clearMFString(&absent);
}

/* An absent entry among present ones keeps its place as an empty quoted pair, and the
 * buffer is sized for it (AddressSanitizer watches the bound). */
TEST(MFStringJoin, AbsentEntriesAmongPresentOnesAreEmptyPairs)
{
    MFString middle = makeList({"a", nullptr, "b"});
    MFString ends = makeList({nullptr, "a", nullptr});
    MFString many = makeList({nullptr, nullptr, nullptr, nullptr, "z"});
    EXPECT_EQ(joined(middle), "\"a\",\"\",\"b\"");
    EXPECT_EQ(joined(ends), "\"\",\"a\",\"\"");
    EXPECT_EQ(joined(many), "\"\",\"\",\"\",\"\",\"z\"");
    clearMFString(&middle);
    clearMFString(&ends);
    clearMFString(&many);
}

TEST(MFStringJoin, EmptyPresentTextIsAnEmptyPair)
{
    MFString list{};
    ASSERT_EQ(sizeMFString(&list, 1), 1);
    list.values[0] = emptyText();
    EXPECT_EQ(joined(list), "\"\"");
    clearMFString(&list);
}

TEST(MFStringJoin, LongListsJoinWhole)
{
    MFString list{};
    const uint32_t n = 5000;
    ASSERT_EQ(sizeMFString(&list, n), 1);
    std::string expected;
    for (uint32_t i = 0; i < n; ++i) {
        const std::string text = std::to_string(i);
        list.values[i] = i % 7 == 3 ? nullptr : plyxStrdup(text.c_str());
        expected += "\"" + (list.values[i] ? text : std::string()) + "\"";
        if (i + 1 < n)
            expected += ",";
    }
    EXPECT_EQ(joined(list), expected);
    clearMFString(&list);
}

TEST(MFStringJoin, FailedAllocationGivesNoText)
{
    GLYVA_REQUIRE_FAILING_ALLOC();
    MFString list = makeList({"a", "b"});
    char *text = reinterpret_cast<char *>(1);
    failAllocation(1, [&] { text = toStringMFString(&list); });
    EXPECT_EQ(text, nullptr);
    EXPECT_EQ(list.count, 2u);
    EXPECT_STREQ(list.values[0], "a");
    clearMFString(&list);
}
