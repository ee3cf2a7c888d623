#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "support/support.hh"
#include "util/plyxUtil.h"

using glyva_test::countAllocations;
using glyva_test::failAllocation;
using glyva_test::TempFile;

namespace
{

std::string bytes(std::initializer_list<int> values)
{
    std::string result;
    for (int v : values)
        result += static_cast<char>(v);
    return result;
}

/* The 4-byte little-endian form of a signed 32-bit value, written out by hand. */
std::string le32(uint32_t v)
{
    return bytes({static_cast<int>(v & 0xFF), static_cast<int>((v >> 8) & 0xFF),
                  static_cast<int>((v >> 16) & 0xFF), static_cast<int>(v >> 24)});
}

/* A temporary file holding data, opened for reading. */
class Stream
{
  public:
    explicit Stream(const std::string &data) : temp_(data), file_(kdFopen(temp_.path(), "rb"))
    {
        EXPECT_NE(file_, nullptr);
    }
    ~Stream() { kdFclose(file_); }
    Stream(const Stream &) = delete;
    Stream &operator=(const Stream &) = delete;

    KDFile *file() const { return file_; }
    KDoff position() const { return kdFtell(file_); }
    /* Makes the stream allocate its buffer now, so that allocation counts in a test see
     * only the reader's own. */
    void prime()
    {
        kdGetc(file_);
        kdFseek(file_, 0, KD_SEEK_SET);
    }

  private:
    TempFile temp_;
    KDFile *file_;
};

} // namespace

TEST(ReadScalar, UnsignedShortIsLittleEndian)
{
    Stream s(bytes({0x01, 0x02, 0xFF, 0xFF}));
    uint16_t v = 0;
    EXPECT_EQ(readUShortLE(s.file(), &v), 1);
    EXPECT_EQ(v, 513);
    EXPECT_EQ(s.position(), 2);
    EXPECT_EQ(readUShortLE(s.file(), &v), 1);
    EXPECT_EQ(v, 65535);
}

TEST(ReadScalar, OneInTheFirstByte)
{
    const std::string one = bytes({0x01, 0x00, 0x00, 0x00});
    Stream s(one + one + one);
    int32_t i = 0;
    uint32_t u = 0, big = 0;
    EXPECT_EQ(readIntLE(s.file(), &i), 1);
    EXPECT_EQ(readUIntLE(s.file(), &u), 1);
    EXPECT_EQ(readUInt(s.file(), &big), 1);
    EXPECT_EQ(i, 1);
    EXPECT_EQ(u, 1u);
    EXPECT_EQ(big, 16777216u);
    EXPECT_EQ(s.position(), 12);
}

TEST(ReadScalar, AllBitsSet)
{
    const std::string ones = bytes({0xFF, 0xFF, 0xFF, 0xFF});
    Stream s(ones + ones + ones);
    int32_t i = 0;
    uint32_t u = 0, big = 0;
    EXPECT_EQ(readIntLE(s.file(), &i), 1);
    EXPECT_EQ(readUIntLE(s.file(), &u), 1);
    EXPECT_EQ(readUInt(s.file(), &big), 1);
    EXPECT_EQ(i, -1);
    EXPECT_EQ(u, 4294967295u);
    EXPECT_EQ(big, 4294967295u);
}

TEST(ReadScalar, ByteOrderOfMixedBytes)
{
    Stream s(bytes({0x78, 0x56, 0x34, 0x12, 0x12, 0x34, 0x56, 0x78, 0x00, 0x00, 0x00, 0x80}));
    uint32_t little = 0, big = 0;
    int32_t lowest = 0;
    EXPECT_EQ(readUIntLE(s.file(), &little), 1);
    EXPECT_EQ(readUInt(s.file(), &big), 1);
    EXPECT_EQ(readIntLE(s.file(), &lowest), 1);
    EXPECT_EQ(little, 0x12345678u);
    EXPECT_EQ(big, 0x12345678u);
    EXPECT_EQ(lowest, INT32_MIN);
}

TEST(ReadScalar, SixtyFourBitValues)
{
    Stream s(bytes({0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0xFF, 0xFF, 0xFF, 0xFF,
                    0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x80}));
    uint64_t u = 0;
    int64_t t = 0;
    EXPECT_EQ(readUInt64LE(s.file(), &u), 1);
    EXPECT_EQ(u, 0x0807060504030201ull);
    EXPECT_EQ(readTimeLE(s.file(), &t), 1);
    EXPECT_EQ(t, -1);
    EXPECT_EQ(readTimeLE(s.file(), &t), 1);
    EXPECT_EQ(t, INT64_MIN);
    EXPECT_EQ(s.position(), 24);
}

TEST(ReadScalar, FloatsKeepTheirBits)
{
    Stream s(bytes({0x00, 0x00, 0x80, 0x3F, 0x00, 0x00, 0x00, 0x80, 0x01, 0x00, 0xC0, 0x7F, 0x00,
                    0x00, 0x80, 0xFF}));
    float one = 0, minusZero = 1, nan = 0, minusInf = 0;
    EXPECT_EQ(readFloatLE(s.file(), &one), 1);
    EXPECT_EQ(readFloatLE(s.file(), &minusZero), 1);
    EXPECT_EQ(readFloatLE(s.file(), &nan), 1);
    EXPECT_EQ(readFloatLE(s.file(), &minusInf), 1);
    EXPECT_EQ(one, 1.0f);
    EXPECT_EQ(minusZero, 0.0f);
    EXPECT_TRUE(std::signbit(minusZero));
    uint32_t nanBits = 0;
    std::memcpy(&nanBits, &nan, 4);
    EXPECT_EQ(nanBits, 0x7FC00001u);
    EXPECT_TRUE(std::isinf(minusInf) && minusInf < 0);
}

TEST(ReadScalar, TruncatedStreamFailsAtTheEnd)
{
    Stream s(bytes({0x01, 0x02, 0x03}));
    int32_t v = 42;
    EXPECT_EQ(readIntLE(s.file(), &v), 0);
    EXPECT_EQ(s.position(), 3);
    /* Beyond what is required: a failed read leaves the destination as it was. */
    EXPECT_EQ(v, 42);

    Stream t(bytes({0x01, 0x02, 0x03}));
    uint32_t big = 42;
    EXPECT_EQ(readUInt(t.file(), &big), 0);
    EXPECT_EQ(big, 42u);

    Stream u(bytes({1, 2, 3, 4, 5, 6, 7}));
    uint64_t wide = 42;
    EXPECT_EQ(readUInt64LE(u.file(), &wide), 0);
    EXPECT_EQ(wide, 42u);

    Stream e("");
    uint16_t shortValue = 42;
    float f = 42;
    EXPECT_EQ(readUShortLE(e.file(), &shortValue), 0);
    EXPECT_EQ(readFloatLE(e.file(), &f), 0);
    EXPECT_EQ(shortValue, 42);
    EXPECT_EQ(f, 42.0f);
}

TEST(ReadScalar, AbsentFileOrDestination)
{
    uint16_t s16 = 0;
    int32_t i32 = 0;
    uint32_t u32 = 0;
    uint64_t u64 = 0;
    int64_t i64 = 0;
    float f = 0;
    EXPECT_EQ(readUShortLE(nullptr, &s16), 0);
    EXPECT_EQ(readIntLE(nullptr, &i32), 0);
    EXPECT_EQ(readUIntLE(nullptr, &u32), 0);
    EXPECT_EQ(readUInt(nullptr, &u32), 0);
    EXPECT_EQ(readUInt64LE(nullptr, &u64), 0);
    EXPECT_EQ(readTimeLE(nullptr, &i64), 0);
    EXPECT_EQ(readFloatLE(nullptr, &f), 0);

    Stream s(std::string(16, '\x01'));
    kdSetError(0);
    EXPECT_EQ(readUShortLE(s.file(), nullptr), 0);
    EXPECT_EQ(readIntLE(s.file(), nullptr), 0);
    EXPECT_EQ(readUIntLE(s.file(), nullptr), 0);
    EXPECT_EQ(readUInt64LE(s.file(), nullptr), 0);
    EXPECT_EQ(readTimeLE(s.file(), nullptr), 0);
    EXPECT_EQ(readFloatLE(s.file(), nullptr), 0);
    /* The null destination reaches the platform read, which refuses it. */
    EXPECT_EQ(kdGetError(), KD_ENOMEM);
    EXPECT_EQ(readUInt(s.file(), nullptr), 0);
    EXPECT_EQ(s.position(), 0);
}

TEST(ReadArray, ReadsExactlyCountItems)
{
    Stream s(le32(1) + le32(0xFFFFFFFE) + le32(0x80000000) + le32(7));
    int32_t values[3] = {0, 0, 0};
    EXPECT_EQ(readIntArrayLE(s.file(), values, 3), 1);
    EXPECT_EQ(values[0], 1);
    EXPECT_EQ(values[1], -2);
    EXPECT_EQ(values[2], INT32_MIN);
    EXPECT_EQ(s.position(), 12);
    int32_t next = 0;
    EXPECT_EQ(readIntLE(s.file(), &next), 1);
    EXPECT_EQ(next, 7);
}

TEST(ReadArray, FloatsInOrder)
{
    Stream s(bytes({0x00, 0x00, 0x80, 0x3F, 0x00, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00, 0x3F}));
    float values[3] = {0, 0, 0};
    EXPECT_EQ(readFloatArrayLE(s.file(), values, 3), 1);
    EXPECT_EQ(values[0], 1.0f);
    EXPECT_EQ(values[1], -2.0f);
    EXPECT_EQ(values[2], 0.5f);
}

TEST(ReadArray, CountZeroReadsNothing)
{
    Stream s(le32(5));
    int32_t i = 0;
    float f = 0;
    EXPECT_EQ(readIntArrayLE(s.file(), &i, 0), 0);
    EXPECT_EQ(readFloatArrayLE(s.file(), &f, 0), 0);
    EXPECT_EQ(s.position(), 0);
}

TEST(ReadArray, ShortStreamFails)
{
    Stream s(le32(1) + le32(2) + bytes({3}));
    int32_t values[3] = {0, 0, 0};
    EXPECT_EQ(readIntArrayLE(s.file(), values, 3), 0);
    Stream t(le32(1));
    float f[2] = {0, 0};
    EXPECT_EQ(readFloatArrayLE(t.file(), f, 2), 0);
}

TEST(ReadArray, AbsentFileOrDestination)
{
    int32_t i = 0;
    float f = 0;
    EXPECT_EQ(readIntArrayLE(nullptr, &i, 1), 0);
    EXPECT_EQ(readFloatArrayLE(nullptr, &f, 1), 0);
    Stream s(le32(1));
    EXPECT_EQ(readIntArrayLE(s.file(), nullptr, 1), 0);
    EXPECT_EQ(readFloatArrayLE(s.file(), nullptr, 1), 0);
    EXPECT_EQ(s.position(), 0);
}

TEST(ReadString, LengthThenText)
{
    Stream s(le32(3) + "abc" + "rest");
    char *text = nullptr;
    EXPECT_EQ(readUtf8StringLE(s.file(), &text), 1);
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "abc");
    EXPECT_EQ(s.position(), 7);
    kdFree(text);
}

TEST(ReadString, ZeroOrNegativeLengthIsNoString)
{
    char sentinel = 0;
    for (uint32_t length : {0u, 0xFFFFFFFFu, 0x80000000u}) {
        Stream s(le32(length) + "abc");
        char *text = &sentinel;
        EXPECT_EQ(readUtf8StringLE(s.file(), &text), 1) << length;
        EXPECT_EQ(text, nullptr);
        EXPECT_EQ(s.position(), 4);
    }
}

TEST(ReadString, TruncatedTextFailsAndKeepsTheDestination)
{
    Stream s(le32(5) + "abc");
    char sentinel = 0;
    char *text = &sentinel;
    EXPECT_EQ(readUtf8StringLE(s.file(), &text), 0);
    EXPECT_EQ(text, &sentinel);

    Stream t(bytes({3, 0}));
    EXPECT_EQ(readUtf8StringLE(t.file(), &text), 0);
    EXPECT_EQ(text, &sentinel);
}

/* L + 1 must not overflow: the read is tried and fails for lack of bytes. */
TEST(ReadString, LargestLengthFailsCleanly)
{
    Stream s(le32(0x7FFFFFFF) + "abc");
    char sentinel = 0;
    char *text = &sentinel;
    EXPECT_EQ(readUtf8StringLE(s.file(), &text), 0);
    EXPECT_EQ(text, &sentinel);
}

TEST(ReadString, BytesAreNotValidated)
{
    const std::string raw = bytes({0xFF, 0xFE, 0x80, 0xC0, 0xC3, 0x28, 0xED, 0xA0, 0x80});
    Stream s(le32(static_cast<uint32_t>(raw.size())) + raw);
    char *text = nullptr;
    ASSERT_EQ(readUtf8StringLE(s.file(), &text), 1);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::string(text), raw);
    kdFree(text);
}

TEST(ReadString, ZeroByteInsideIsKept)
{
    Stream s(le32(3) + bytes({'a', 0, 'b'}));
    char *text = nullptr;
    ASSERT_EQ(readUtf8StringLE(s.file(), &text), 1);
    EXPECT_EQ(std::memcmp(text, "a\0b\0", 4), 0);
    EXPECT_STREQ(text, "a");
    kdFree(text);
}

TEST(ReadString, AbsentFileOrDestination)
{
    char *text = nullptr;
    EXPECT_EQ(readUtf8StringLE(nullptr, &text), 0);
    Stream s(le32(1) + "x");
    EXPECT_EQ(readUtf8StringLE(s.file(), nullptr), 0);
    EXPECT_EQ(s.position(), 0);
}

TEST(ReadString, FailedAllocationKeepsTheDestination)
{
    GLYVA_REQUIRE_FAILING_ALLOC();
    Stream s(le32(3) + "abc");
    s.prime();
    char sentinel = 0;
    char *text = &sentinel;
    int result = -1;
    failAllocation(1, [&] { result = readUtf8StringLE(s.file(), &text); });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(text, &sentinel);
    EXPECT_EQ(s.position(), 4);
}

TEST(ReadMFString, EntriesInOrder)
{
    Stream s(le32(3) + le32(1) + "a" + le32(0) + le32(2) + "bc");
    MFString list{};
    EXPECT_EQ(readMFStringLE(s.file(), &list), 1);
    ASSERT_EQ(list.count, 3u);
    EXPECT_STREQ(list.values[0], "a");
    EXPECT_EQ(list.values[1], nullptr);
    EXPECT_STREQ(list.values[2], "bc");
    EXPECT_EQ(s.position(), 4 + 5 + 4 + 6);
    clearMFString(&list);
}

TEST(ReadMFString, MissingEntryStaysAbsent)
{
    Stream s(le32(2) + le32(3) + "abc");
    MFString list{};
    EXPECT_EQ(readMFStringLE(s.file(), &list), 0);
    ASSERT_EQ(list.count, 2u);
    EXPECT_STREQ(list.values[0], "abc");
    EXPECT_EQ(list.values[1], nullptr);
    clearMFString(&list);
}

TEST(ReadMFString, TruncatedTextThenEnd)
{
    Stream s(le32(3) + le32(2) + "ab" + le32(5) + "cd");
    MFString list{};
    EXPECT_EQ(readMFStringLE(s.file(), &list), 0);
    ASSERT_EQ(list.count, 3u);
    EXPECT_STREQ(list.values[0], "ab");
    EXPECT_EQ(list.values[1], nullptr);
    EXPECT_EQ(list.values[2], nullptr);
    clearMFString(&list);
}

TEST(ReadMFString, CountZeroIsAnEmptyList)
{
    Stream s(le32(0));
    MFString list{};
    EXPECT_EQ(readMFStringLE(s.file(), &list), 1);
    EXPECT_EQ(list.count, 0u);
    EXPECT_EQ(list.values, nullptr);
}

TEST(ReadMFString, NegativeAndHugeCountsAreRefused)
{
    for (uint32_t count : {0xFFFFFFFFu, 0x80000000u, 0x7FFFFFFFu}) {
        Stream s(le32(count) + le32(1) + "a");
        MFString list{};
        long allocations = 0;
        allocations =
            countAllocations([&] { EXPECT_EQ(readMFStringLE(s.file(), &list), 0) << count; });
        EXPECT_EQ(list.count, 0u);
        EXPECT_EQ(list.values, nullptr);
        EXPECT_EQ(s.position(), 4);
        EXPECT_EQ(allocations, 0);
    }
}

TEST(ReadMFString, AbsentFileOrList)
{
    MFString list{};
    EXPECT_EQ(readMFStringLE(nullptr, &list), 0);
    EXPECT_EQ(list.count, 0u);
    Stream s(le32(1) + le32(1) + "a");
    EXPECT_EQ(readMFStringLE(s.file(), nullptr), 0);
    EXPECT_EQ(s.position(), 0);
}

/* The text allocation of the first entry fails; its text byte and the next bytes are
 * then read as the second entry, which proves that every entry is tried. */
TEST(ReadMFString, ReadingGoesOnAfterAFailedEntry)
{
    GLYVA_REQUIRE_FAILING_ALLOC();
    Stream s(le32(2) + le32(1) + bytes({0x02, 0x00, 0x00, 0x00}) + "hi");
    s.prime();
    MFString list{};
    int result = -1;
    failAllocation(2, [&] { result = readMFStringLE(s.file(), &list); });
    EXPECT_EQ(result, 0);
    ASSERT_EQ(list.count, 2u);
    EXPECT_EQ(list.values[0], nullptr);
    EXPECT_STREQ(list.values[1], "hi");
    clearMFString(&list);
}

TEST(ReadMFString, FailedEntryArrayLeavesTheListEmpty)
{
    GLYVA_REQUIRE_FAILING_ALLOC();
    Stream s(le32(2) + le32(1) + "a" + le32(1) + "b");
    s.prime();
    MFString list{};
    int result = -1;
    failAllocation(1, [&] { result = readMFStringLE(s.file(), &list); });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(list.count, 0u);
    EXPECT_EQ(list.values, nullptr);
    EXPECT_EQ(s.position(), 4);
}

TEST(ReadMFBool, BytesAreStoredUnchanged)
{
    Stream s(le32(4) + bytes({0x01, 0x00, 0x07, 0xFF}));
    MFBool array{};
    EXPECT_EQ(readMFBoolLE(s.file(), &array), 1);
    ASSERT_EQ(array.count, 4u);
    EXPECT_EQ(array.values[0], 1);
    EXPECT_EQ(array.values[1], 0);
    EXPECT_EQ(array.values[2], 7);
    EXPECT_EQ(array.values[3], 255);
    EXPECT_EQ(s.position(), 8);
    clearMFBool(&array);
}

TEST(ReadMFBool, EmptyOrNegativeFieldFailsAndEmpties)
{
    for (uint32_t count : {0u, 0xFFFFFFFFu, 0x80000000u}) {
        Stream s(le32(count) + bytes({1, 1}));
        MFBool array{};
        ASSERT_EQ(sizeMFBool(&array, 2), 1);
        EXPECT_EQ(readMFBoolLE(s.file(), &array), 0) << count;
        EXPECT_EQ(array.count, 0u);
        EXPECT_EQ(array.values, nullptr);
        EXPECT_EQ(s.position(), 4);
    }
}

TEST(ReadMFBool, TruncatedFieldKeepsItsCount)
{
    Stream s(le32(3) + bytes({0x05, 0x06}));
    MFBool array{};
    EXPECT_EQ(readMFBoolLE(s.file(), &array), 0);
    ASSERT_EQ(array.count, 3u);
    EXPECT_EQ(array.values[0], 5);
    EXPECT_EQ(array.values[1], 6);
    clearMFBool(&array);
}

TEST(ReadMFBool, AbsentFileOrArray)
{
    MFBool array{};
    EXPECT_EQ(readMFBoolLE(nullptr, &array), 0);
    Stream s(le32(1) + bytes({1}));
    EXPECT_EQ(readMFBoolLE(s.file(), nullptr), 0);
    EXPECT_EQ(s.position(), 0);
    Stream t(bytes({1, 0}));
    EXPECT_EQ(readMFBoolLE(t.file(), &array), 0);
}

TEST(ReadMFBool, HugeCountThatCannotBeAllocatedFails)
{
    GLYVA_REQUIRE_FAILING_ALLOC();
    Stream s(le32(0x7FFFFFFF) + bytes({1, 2, 3}));
    s.prime();
    MFBool array{};
    int result = -1;
    failAllocation(1, [&] { result = readMFBoolLE(s.file(), &array); });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(array.count, 0u);
    EXPECT_EQ(array.values, nullptr);
    EXPECT_EQ(s.position(), 4);
}

TEST(ReadMFFloat, CountThenFloats)
{
    Stream s(le32(2) + bytes({0x00, 0x00, 0x80, 0x3F, 0x00, 0x00, 0x20, 0xC1}));
    MFFloat array{};
    EXPECT_EQ(readMFFloatLE(s.file(), &array), 1);
    ASSERT_EQ(array.count, 2u);
    EXPECT_EQ(array.values[0], 1.0f);
    EXPECT_EQ(array.values[1], -10.0f);
    EXPECT_EQ(s.position(), 12);
    clearMFFloat(&array);
}

TEST(ReadMFFloat, EmptyOrNegativeFieldFailsAndEmpties)
{
    for (uint32_t count : {0u, 0xFFFFFFFFu}) {
        Stream s(le32(count) + le32(0));
        MFFloat array{};
        ASSERT_EQ(sizeMFFloat(&array, 3), 1);
        EXPECT_EQ(readMFFloatLE(s.file(), &array), 0) << count;
        EXPECT_EQ(array.count, 0u);
        EXPECT_EQ(array.values, nullptr);
        EXPECT_EQ(s.position(), 4);
    }
}

TEST(ReadMFFloat, TruncatedFieldFails)
{
    Stream s(le32(2) + bytes({0x00, 0x00, 0x80, 0x3F, 0x00, 0x00, 0x20}));
    MFFloat array{};
    EXPECT_EQ(readMFFloatLE(s.file(), &array), 0);
    EXPECT_EQ(array.count, 2u);
    clearMFFloat(&array);
}

/* 0x40000000 floats are 2^32 bytes: refused before any allocation, no float read. */
TEST(ReadMFFloat, CountWhoseByteSizeOverflowsIsRefused)
{
    for (uint32_t count : {0x40000000u, 0x7FFFFFFFu}) {
        Stream s(le32(count) + le32(0));
        MFFloat array{};
        EXPECT_EQ(readMFFloatLE(s.file(), &array), 0);
        EXPECT_EQ(array.count, 0u);
        EXPECT_EQ(array.values, nullptr);
        EXPECT_EQ(s.position(), 4);
    }
}

TEST(ReadMFFloat, FailedSizingReadsNoFloats)
{
    GLYVA_REQUIRE_FAILING_ALLOC();
    Stream s(le32(1) + le32(0x3F800000));
    s.prime();
    MFFloat array{};
    int result = -1;
    failAllocation(1, [&] { result = readMFFloatLE(s.file(), &array); });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(array.count, 0u);
    EXPECT_EQ(s.position(), 4);
}

TEST(ReadMFFloat, AbsentFileOrArray)
{
    MFFloat array{};
    EXPECT_EQ(readMFFloatLE(nullptr, &array), 0);
    Stream s(le32(1) + le32(0));
    EXPECT_EQ(readMFFloatLE(s.file(), nullptr), 0);
    EXPECT_EQ(s.position(), 0);
}

TEST(ReadSequence, FieldsFollowOneAnother)
{
    Stream s(le32(2) + le32(1) + "x" + le32(2) + "yz" + le32(1) + bytes({9}) + le32(1) +
             le32(0x40400000) + bytes({0x34, 0x12}));
    MFString strings{};
    MFBool flags{};
    MFFloat numbers{};
    uint16_t tail = 0;
    EXPECT_EQ(readMFStringLE(s.file(), &strings), 1);
    EXPECT_EQ(readMFBoolLE(s.file(), &flags), 1);
    EXPECT_EQ(readMFFloatLE(s.file(), &numbers), 1);
    EXPECT_EQ(readUShortLE(s.file(), &tail), 1);
    EXPECT_STREQ(strings.values[1], "yz");
    EXPECT_EQ(flags.values[0], 9);
    EXPECT_EQ(numbers.values[0], 3.0f);
    EXPECT_EQ(tail, 0x1234);
    EXPECT_EQ(kdGetc(s.file()), KD_EOF);
    clearMFString(&strings);
    clearMFBool(&flags);
    clearMFFloat(&numbers);
}
