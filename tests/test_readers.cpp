#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <string>

#include <gtest/gtest.h>

#include "support/support.hh"
#include "util/plyxUtil.h"

/* The binary readers on files of hand-written bytes (tests/cases/readers.txt):
 * little-endian scalars and arrays, the one big-endian reader, length-prefixed texts
 * and fields; then what no byte sequence shows: null arguments and exhausted memory. */

using namespace glyva_test;

namespace
{

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

std::string hex(const void *data, size_t bytes)
{
    std::string text;
    char pair[3];
    for (size_t i = 0; i < bytes; ++i) {
        std::snprintf(pair, sizeof pair, "%02x", static_cast<const unsigned char *>(data)[i]);
        text += pair;
    }
    return text;
}

/* The value's bits as a number, "kept" when the destination was not written. */
template <typename T> std::string scalar(int (*read)(KDFile *, T *), KDFile *file, int *result)
{
    T value, untouched;
    std::memset(&value, 0xA5, sizeof value);
    untouched = value;
    *result = read(file, &value);
    uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof value);
    char text[24];
    std::snprintf(text, sizeof text, "%llx", static_cast<unsigned long long>(bits));
    return std::memcmp(&value, &untouched, sizeof value) ? text : "kept";
}

std::string entries(const MFString &list)
{
    std::string s = std::to_string(list.count) + ":";
    for (uint32_t i = 0; i < list.count; ++i)
        s += (i ? "," : "") +
             (list.values[i] ? hex(list.values[i], std::strlen(list.values[i])) : "-");
    return s;
}

/* What one reader makes of the bytes, as tests/cases/readers.txt writes it. */
std::string answer(const std::string &reader, const std::string &bytes)
{
    Stream s(bytes);
    KDFile *f = s.file();
    int r = 0;
    std::string value;
    uint32_t words[3] = {0, 0, 0};
    char sentinel = 0, *text = &sentinel;
    MFString list{};
    MFBool flags{};
    MFFloat numbers{};
    sizeMFBool(&flags, 2);
    int32_t length = 0;
    std::memcpy(&length, bytes.data(), std::min<size_t>(4, bytes.size()));
    const std::map<std::string, std::function<std::string()>> scalars = {
        {"readUShortLE", [&] { return scalar(readUShortLE, f, &r); }},
        {"readIntLE", [&] { return scalar(readIntLE, f, &r); }},
        {"readUIntLE", [&] { return scalar(readUIntLE, f, &r); }},
        {"readUInt", [&] { return scalar(readUInt, f, &r); }},
        {"readUInt64LE", [&] { return scalar(readUInt64LE, f, &r); }},
        {"readTimeLE", [&] { return scalar(readTimeLE, f, &r); }},
        {"readFloatLE", [&] { return scalar(readFloatLE, f, &r); }}};
    if (scalars.count(reader))
        value = scalars.at(reader)();
    else if (reader == "readUtf8StringLE") {
        r = readUtf8StringLE(f, &text);
        value = text == &sentinel ? "kept" : text ? hex(text, static_cast<size_t>(length)) : "null";
        if (text != &sentinel)
            kdFree(text);
    } else if (reader == "readMFStringLE") {
        r = readMFStringLE(f, &list);
        value = entries(list);
    } else if (reader == "readMFBoolLE") {
        r = readMFBoolLE(f, &flags);
        const size_t read = bytes.size() >= 4 ? std::min<size_t>(flags.count, bytes.size() - 4) : 0;
        value = std::to_string(flags.count) + ":" + hex(flags.values, read);
    } else if (reader == "readMFFloatLE") {
        r = readMFFloatLE(f, &numbers);
        value =
            std::to_string(numbers.count) + ":" + (r ? hex(numbers.values, 4 * numbers.count) : "");
    } else {
        const uint32_t count = static_cast<uint32_t>(reader.back() - '0');
        r = reader[4] == 'I' ? readIntArrayLE(f, reinterpret_cast<int32_t *>(words), count)
                             : readFloatArrayLE(f, reinterpret_cast<float *>(words), count);
        char three[40];
        std::snprintf(three, sizeof three, "%x,%x,%x", words[0], words[1], words[2]);
        value = r ? three : "kept";
    }
    const std::string got = std::to_string(r) + " " + value + " @" + std::to_string(s.position());
    clearMFString(&list);
    clearMFBool(&flags);
    clearMFFloat(&numbers);
    return got;
}

} // namespace

TEST(Readers, CaseTable)
{
    for (const auto &row : caseRows("readers.txt"))
        EXPECT_EQ(answer(row[0], hexBytes(row[1].c_str())), row[2]) << row[0] << " " << row[1];
}

/* Null files and destinations read nothing; a null destination reaches the platform
 * read, which refuses it with its code. (That fields follow one another in a stream is
 * the case table's: each row says where the stream stands after it.) */
TEST(Readers, AbsentArguments)
{
    Stream s(std::string(16, '\x01'));
    uint16_t s16;
    int32_t i32;
    uint32_t u32;
    uint64_t u64;
    int64_t i64;
    float f;
    char *text = nullptr;
    MFString list{};
    MFBool flags{};
    MFFloat numbers{};
    EXPECT_EQ(readUShortLE(nullptr, &s16) + readIntLE(nullptr, &i32) + readUIntLE(nullptr, &u32) +
                  readUInt(nullptr, &u32) + readUInt64LE(nullptr, &u64) +
                  readTimeLE(nullptr, &i64) + readFloatLE(nullptr, &f) +
                  readIntArrayLE(nullptr, &i32, 1) + readFloatArrayLE(nullptr, &f, 1) +
                  readUtf8StringLE(nullptr, &text) + readMFStringLE(nullptr, &list) +
                  readMFBoolLE(nullptr, &flags) + readMFFloatLE(nullptr, &numbers),
              0);
    kdSetError(0);
    EXPECT_EQ(readUShortLE(s.file(), nullptr) + readIntLE(s.file(), nullptr) +
                  readUIntLE(s.file(), nullptr) + readUInt64LE(s.file(), nullptr) +
                  readTimeLE(s.file(), nullptr) + readFloatLE(s.file(), nullptr),
              0);
    EXPECT_EQ(kdGetError(), KD_ENOMEM);
    EXPECT_EQ(readUInt(s.file(), nullptr) + readIntArrayLE(s.file(), nullptr, 1) +
                  readFloatArrayLE(s.file(), nullptr, 1) + readUtf8StringLE(s.file(), nullptr) +
                  readMFStringLE(s.file(), nullptr) + readMFBoolLE(s.file(), nullptr) +
                  readMFFloatLE(s.file(), nullptr),
              0);
    EXPECT_EQ(s.position(), 0);
    /* The largest length: length + 1 must not overflow; the text cannot be allocated
     * (32-bit builds) or read (64-bit ones). */
    Stream largest(hexBytes("ffffff7f 616263"));
    char sentinel = 0, *kept = &sentinel;
    EXPECT_TRUE(readUtf8StringLE(largest.file(), &kept) == 0 && kept == &sentinel);
}

/* A failed text allocation keeps the destination; a failed entry is left absent and
 * the next entries are still read (its text byte and the next ones make the second
 * entry); a failed entry array or field empties the list or field and reads no more. */
TEST(Readers, ExhaustedMemory)
{
    GLYVA_REQUIRE_FAILING_ALLOC();
    Stream text(hexBytes("03000000 616263")), tried(hexBytes("02000000 01000000 02000000 6869")),
        refused(hexBytes("02000000 01000000 61")), huge(hexBytes("ffffff7f 010203")),
        one(hexBytes("01000000 0000803f"));
    for (Stream *s : {&text, &tried, &refused, &huge, &one})
        s->prime();
    char sentinel = 0, *kept = &sentinel;
    MFString list{};
    MFBool flags{};
    MFFloat numbers{};
    int r[5] = {-1, -1, -1, -1, -1};
    failAllocation(1, [&] { r[0] = readUtf8StringLE(text.file(), &kept); });
    failAllocation(2, [&] { r[1] = readMFStringLE(tried.file(), &list); });
    EXPECT_EQ(entries(list), "2:-,6869");
    clearMFString(&list);
    failAllocation(1, [&] { r[2] = readMFStringLE(refused.file(), &list); });
    failAllocation(1, [&] { r[3] = readMFBoolLE(huge.file(), &flags); });
    failAllocation(1, [&] { r[4] = readMFFloatLE(one.file(), &numbers); });
    EXPECT_EQ(r[0] + r[1] + r[2] + r[3] + r[4], 0);
    EXPECT_TRUE(kept == &sentinel && list.count == 0 && flags.count == 0 && numbers.count == 0);
    for (Stream *s : {&text, &refused, &huge, &one})
        EXPECT_EQ(s->position(), 4);
}
