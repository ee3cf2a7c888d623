#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "support/support.hh"
#include "util/plyxUtil.h"

/* The binary readers on files of hand-written bytes: little-endian scalars and arrays,
 * the one big-endian reader, length-prefixed texts and fields. */

using namespace glyva_test;

namespace
{

/* The 4-byte little-endian form of a 32-bit value, written out by hand. */
std::string le32(uint32_t v)
{
    return std::string{static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                       static_cast<char>(v >> 24)};
}

/* A temporary file holding data, opened for reading. */
class Stream
{
  public:
    explicit Stream(const std::string &data) : temp_(data), file_(kdFopen(temp_.path(), "rb")) {}
    ~Stream() { kdFclose(file_); }
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

/* A reader's answer on the bytes, as text: the result, the value's bits in hex (or
 * "kept" when the destination was not written) and where the stream stands. */
template <typename T> std::string scalar(int (*read)(KDFile *, T *), const std::string &bytes)
{
    Stream s(bytes);
    T value;
    std::memset(&value, 0xA5, sizeof value);
    const T untouched = value;
    int result = read(s.file(), &value);
    uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof value);
    char text[64];
    std::snprintf(text, sizeof text, "%d %llx @%lld", result, static_cast<unsigned long long>(bits),
                  static_cast<long long>(s.position()));
    return std::memcmp(&value, &untouched, sizeof value)
               ? text
               : std::to_string(result) + " kept @" + std::to_string(s.position());
}

} // namespace

TEST(ReadScalar, AssembledFromTheirBytes)
{
    const std::string mixed = hexBytes("78 56 34 12 11 22"),
                      ones = hexBytes("ff ff ff ff ff ff ff ff");
    const std::pair<std::string, std::string> cases[] = {
        {scalar(readUShortLE, hexBytes("01 02 ff")), "1 201 @2"},
        {scalar(readUShortLE, ones), "1 ffff @2"},
        {scalar(readIntLE, hexBytes("01 00 00 00")), "1 1 @4"},
        {scalar(readIntLE, hexBytes("00 00 00 80")), "1 80000000 @4"},
        {scalar(readUIntLE, mixed), "1 12345678 @4"},
        {scalar(readUInt, mixed), "1 78563412 @4"},
        {scalar(readUInt, hexBytes("01 00 00 00")), "1 1000000 @4"},
        {scalar(readUInt64LE, hexBytes("01 02 03 04 05 06 07 08")), "1 807060504030201 @8"},
        {scalar(readTimeLE, ones), "1 ffffffffffffffff @8"},
        {scalar(readTimeLE, hexBytes("00 00 00 00 00 00 00 80")), "1 8000000000000000 @8"},
        {scalar(readFloatLE, hexBytes("00 00 80 3f")), "1 3f800000 @4"},
        {scalar(readFloatLE, hexBytes("01 00 c0 7f")), "1 7fc00001 @4"}, /* NaN payload kept */
        {scalar(readFloatLE, hexBytes("00 00 00 80")), "1 80000000 @4"}, /* -0.0 */
        /* A short stream fails at its end and writes nothing. */
        {scalar(readIntLE, hexBytes("01 02 03")), "0 kept @3"},
        {scalar(readUInt, hexBytes("01 02 03")), "0 kept @3"},
        {scalar(readUInt64LE, hexBytes("01 02 03 04 05 06 07")), "0 kept @7"},
        {scalar(readUShortLE, ""), "0 kept @0"},
        {scalar(readFloatLE, ""), "0 kept @0"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.first, c.second);
}

/* A null file or destination reads nothing; a null destination reaches the platform
 * read, which refuses it with its code. */
TEST(ReadScalar, AbsentFileOrDestination)
{
    Stream s(std::string(16, '\x01'));
    uint16_t s16;
    int32_t i32;
    uint32_t u32;
    uint64_t u64;
    int64_t i64;
    float f;
    EXPECT_EQ(readUShortLE(nullptr, &s16) + readIntLE(nullptr, &i32) + readUIntLE(nullptr, &u32) +
                  readUInt(nullptr, &u32) + readUInt64LE(nullptr, &u64) +
                  readTimeLE(nullptr, &i64) + readFloatLE(nullptr, &f),
              0);
    kdSetError(0);
    EXPECT_EQ(readUShortLE(s.file(), nullptr) + readIntLE(s.file(), nullptr) +
                  readUIntLE(s.file(), nullptr) + readUInt64LE(s.file(), nullptr) +
                  readTimeLE(s.file(), nullptr) + readFloatLE(s.file(), nullptr),
              0);
    EXPECT_EQ(kdGetError(), KD_ENOMEM);
    EXPECT_EQ(readUInt(s.file(), nullptr), 0);
    EXPECT_EQ(s.position(), 0);
}

TEST(ReadArray, ExactlyCountItems)
{
    Stream s(le32(1) + le32(0xFFFFFFFE) + le32(0x80000000) + le32(7) +
             hexBytes("00 00 80 3f 00 00 00 c0"));
    int32_t values[3] = {0, 0, 0}, next = 0;
    float floats[2] = {0, 0};
    EXPECT_EQ(readIntArrayLE(s.file(), values, 0), 0);
    EXPECT_EQ(readIntArrayLE(s.file(), values, 3), 1);
    EXPECT_TRUE(values[0] == 1 && values[1] == -2 && values[2] == INT32_MIN);
    EXPECT_TRUE(readIntLE(s.file(), &next) && next == 7);
    EXPECT_EQ(readFloatArrayLE(s.file(), floats, 2), 1);
    EXPECT_TRUE(floats[0] == 1.0f && floats[1] == -2.0f);
    EXPECT_EQ(readFloatArrayLE(s.file(), floats, 1), 0) << "short stream";
    Stream t(le32(1));
    EXPECT_EQ(readIntArrayLE(nullptr, values, 1) + readFloatArrayLE(nullptr, floats, 1) +
                  readIntArrayLE(t.file(), nullptr, 1) + readFloatArrayLE(t.file(), nullptr, 1) +
                  readFloatArrayLE(t.file(), floats, 0),
              0);
    EXPECT_EQ(t.position(), 0);
}

/* Length, then that many bytes, unvalidated and terminated; zero or negative lengths are
 * no text; a short text fails and keeps the destination, even at the largest length. */
TEST(ReadString, LengthThenText)
{
    const std::string raw = hexBytes("ff fe 80 c0 c3 28 ed a0 80");
    const struct {
        std::string bytes;
        int result;
        const char *text; /* "kept": the destination untouched */
        std::string whole;
        KDoff position;
    } cases[] = {
        {le32(3) + "abcrest", 1, "abc", "abc", 7},
        {le32(9) + raw, 1, "", raw, 13},
        {le32(3) + std::string("a\0b", 3), 1, "a", std::string("a\0b", 3), 7},
        {le32(0) + "abc", 1, nullptr, "", 4},
        {le32(0xFFFFFFFF) + "abc", 1, nullptr, "", 4},
        {le32(0x80000000) + "abc", 1, nullptr, "", 4},
        {le32(5) + "abc", 0, "kept", "", 7},
        {hexBytes("03 00"), 0, "kept", "", 2},
        {le32(0x7FFFFFFF) + "abc", 0, "kept", "", 7},
    };
    for (const auto &c : cases) {
        Stream s(c.bytes);
        char sentinel = 0, *text = &sentinel;
        EXPECT_EQ(readUtf8StringLE(s.file(), &text), c.result) << c.bytes;
        EXPECT_EQ(s.position(), c.position) << c.bytes;
        if (c.text && std::strcmp(c.text, "kept") == 0) {
            EXPECT_EQ(text, &sentinel) << c.bytes;
        } else if (!c.text) {
            EXPECT_EQ(text, nullptr);
        } else {
            ASSERT_NE(text, nullptr);
            EXPECT_EQ(std::string(text, c.whole.size() + 1), c.whole + '\0');
            kdFree(text);
        }
    }
    char *text = nullptr;
    Stream s(le32(1) + "x");
    EXPECT_EQ(readUtf8StringLE(nullptr, &text) + readUtf8StringLE(s.file(), nullptr), 0);
    EXPECT_EQ(s.position(), 0);
    GLYVA_REQUIRE_FAILING_ALLOC();
    Stream t(le32(3) + "abc");
    t.prime();
    char sentinel = 0, *kept = &sentinel;
    int result = -1;
    failAllocation(1, [&] { result = readUtf8StringLE(t.file(), &kept); });
    EXPECT_TRUE(result == 0 && kept == &sentinel && t.position() == 4);
}

namespace
{

std::string entries(const MFString &list)
{
    std::string s = std::to_string(list.count) + ":";
    for (uint32_t i = 0; i < list.count; ++i)
        s += std::string(i ? "," : "") + (list.values[i] ? list.values[i] : "-");
    return s;
}

} // namespace

/* A count, then each entry as a text; a list holds count entries whatever fails, every
 * entry is tried; negative and unallocatable counts are refused before any allocation. */
TEST(ReadFields, StringLists)
{
    const struct {
        std::string bytes;
        int result;
        const char *list;
        KDoff position;
    } cases[] = {
        {le32(3) + le32(1) + "a" + le32(0) + le32(2) + "bc", 1, "3:a,-,bc", 19},
        {le32(2) + le32(3) + "abc", 0, "2:abc,-", 11},
        {le32(3) + le32(2) + "ab" + le32(5) + "cd", 0, "3:ab,-,-", 16},
        {le32(0), 1, "0:", 4},
        {le32(0xFFFFFFFF) + le32(1) + "a", 0, "0:", 4},
        {le32(0x80000000) + le32(1) + "a", 0, "0:", 4},
        {le32(0x7FFFFFFF) + le32(1) + "a", 0, "0:", 4},
    };
    for (const auto &c : cases) {
        Stream s(c.bytes);
        MFString list{};
        long allocations =
            countAllocations([&] { EXPECT_EQ(readMFStringLE(s.file(), &list), c.result); });
        EXPECT_EQ(entries(list), c.list);
        EXPECT_EQ(s.position(), c.position);
        if (list.count == 0) {
            EXPECT_TRUE(list.values == nullptr && allocations == 0);
        }
        clearMFString(&list);
    }
    MFString list{};
    Stream s(le32(1) + le32(1) + "a");
    EXPECT_EQ(readMFStringLE(nullptr, &list) + readMFStringLE(s.file(), nullptr), 0);
    EXPECT_EQ(s.position(), 0);
    GLYVA_REQUIRE_FAILING_ALLOC();
    /* The first entry's text fails; its byte and the next ones are read as the second
     * entry, which proves that every entry is tried. Then the entry array itself. */
    Stream tried(le32(2) + le32(1) + hexBytes("02 00 00 00") + "hi"),
        refused(le32(2) + le32(1) + "a");
    tried.prime();
    refused.prime();
    int result = -1;
    failAllocation(2, [&] { result = readMFStringLE(tried.file(), &list); });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(entries(list), "2:-,hi");
    clearMFString(&list);
    failAllocation(1, [&] { result = readMFStringLE(refused.file(), &list); });
    EXPECT_TRUE(result == 0 && list.count == 0 && refused.position() == 4);
}

/* Byte and float fields: a count, then the values; a count of 0 or less fails and
 * empties the field; a truncated one fails keeping its count; one whose byte size
 * overflows, or cannot be allocated, reads no values. */
TEST(ReadFields, BytesAndFloats)
{
    const struct {
        bool floats;
        std::string bytes;
        int result;
        uint32_t count;
        std::string values;
        KDoff position;
    } cases[] = {
        {false, le32(4) + hexBytes("01 00 07 ff"), 1, 4, hexBytes("01 00 07 ff"), 8},
        {false, le32(0) + hexBytes("01 01"), 0, 0, "", 4},
        {false, le32(0xFFFFFFFF) + hexBytes("01 01"), 0, 0, "", 4},
        {false, le32(0x80000000) + hexBytes("01 01"), 0, 0, "", 4},
        {false, le32(3) + hexBytes("05 06"), 0, 3, hexBytes("05 06"), 6},
        {false, hexBytes("01 00"), 0, 2, "", 2}, /* no count: the field is left as it was */
        {true, le32(2) + hexBytes("00 00 80 3f 00 00 20 c1"), 1, 2,
         hexBytes("00 00 80 3f 00 00 20 c1"), 12},
        {true, le32(0) + le32(0), 0, 0, "", 4},
        {true, le32(0xFFFFFFFF) + le32(0), 0, 0, "", 4},
        {true, le32(2) + hexBytes("00 00 80 3f 00 00 20"), 0, 2, "", 11},
        {true, le32(0x40000000) + le32(0), 0, 0, "", 4},
        {true, le32(0x7FFFFFFF) + le32(0), 0, 0, "", 4},
    };
    for (const auto &c : cases) {
        Stream s(c.bytes);
        MFBool flags{};
        MFFloat numbers{};
        sizeMFBool(&flags, 2);
        sizeMFFloat(&numbers, 3);
        int result = c.floats ? readMFFloatLE(s.file(), &numbers) : readMFBoolLE(s.file(), &flags);
        const uint32_t count = c.floats ? numbers.count : flags.count;
        const void *values = c.floats ? static_cast<void *>(numbers.values) : flags.values;
        EXPECT_EQ(result, c.result) << c.bytes;
        EXPECT_EQ(count, c.count) << c.bytes;
        EXPECT_EQ(count == 0, values == nullptr);
        EXPECT_EQ(s.position(), c.position) << c.bytes;
        if (!c.values.empty()) {
            EXPECT_EQ(std::memcmp(values, c.values.data(), c.values.size()), 0);
        }
        clearMFBool(&flags);
        clearMFFloat(&numbers);
    }
    MFBool flags{};
    MFFloat numbers{};
    Stream s(le32(1) + le32(0));
    EXPECT_EQ(readMFBoolLE(nullptr, &flags) + readMFBoolLE(s.file(), nullptr) +
                  readMFFloatLE(nullptr, &numbers) + readMFFloatLE(s.file(), nullptr),
              0);
    EXPECT_EQ(s.position(), 0);
    GLYVA_REQUIRE_FAILING_ALLOC();
    Stream huge(le32(0x7FFFFFFF) + hexBytes("01 02 03")), one(le32(1) + le32(0x3F800000));
    huge.prime();
    one.prime();
    int result = -1;
    failAllocation(1, [&] { result = readMFBoolLE(huge.file(), &flags); });
    EXPECT_TRUE(result == 0 && flags.count == 0 && huge.position() == 4);
    failAllocation(1, [&] { result = readMFFloatLE(one.file(), &numbers); });
    EXPECT_TRUE(result == 0 && numbers.count == 0 && one.position() == 4);
}

TEST(ReadFields, FollowOneAnother)
{
    Stream s(le32(2) + le32(1) + "x" + le32(2) + "yz" + le32(1) + hexBytes("09") + le32(1) +
             le32(0x40400000) + hexBytes("34 12"));
    MFString strings{};
    MFBool flags{};
    MFFloat numbers{};
    uint16_t tail = 0;
    EXPECT_TRUE(readMFStringLE(s.file(), &strings) && readMFBoolLE(s.file(), &flags) &&
                readMFFloatLE(s.file(), &numbers) && readUShortLE(s.file(), &tail));
    EXPECT_TRUE(entries(strings) == "2:x,yz" && flags.values[0] == 9 && numbers.values[0] == 3.0f &&
                tail == 0x1234);
    EXPECT_EQ(kdGetc(s.file()), KD_EOF);
    clearMFString(&strings);
    clearMFBool(&flags);
    clearMFFloat(&numbers);
}
