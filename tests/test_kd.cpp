#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "support/support.hh"
#include "util/emuKD/kd.h"
#include "util/emuKD/kdFile.hh"

/* The platform layer: error code, files, memory, strings, maths and the log, against
 * libc's own behaviour and the layer's error-code rules. */

using namespace glyva_test;

namespace
{

/* Stands for "no code recorded": no failure of the layer records this value. */
constexpr KDint kUntouched = 4711;

/* Read before main, while no test has run: what loading the library left. */
const KDint kErrorAtStart = kdGetError();

/* The look-up's lines with their line numbers taken out. */
std::string withoutLineNumbers(std::string text)
{
    for (size_t open = text.find('('); open != std::string::npos; open = text.find('(', open + 1))
        while (open + 1 < text.size() && std::isdigit(static_cast<unsigned char>(text[open + 1])))
            text.erase(open + 1, 1);
    return text;
}

int sign(int v)
{
    return (v > 0) - (v < 0);
}

/* A handle as kdFopen never makes one, for the null-stream paths. */
KDFile *bare()
{
    static KDFile handle;
    handle.stream = nullptr;
    return &handle;
}

/* The read end of a fresh pipe opened through the layer: it cannot seek. */
KDFile *pipeFile()
{
    int fds[2];
    if (pipe(fds) != 0)
        return nullptr;
    KDFile *file = kdFopen(("/proc/self/fd/" + std::to_string(fds[0])).c_str(), "r");
    close(fds[0]);
    close(fds[1]);
    return file;
}

} // namespace

/* Modes are matched by their first character and reach fopen unchanged ("rw" reads
 * only, "e" is glibc's close-on-exec flag); refusals give null and KD_EACCES. The code
 * starts at 0, and successes leave it as it is. */
TEST(KdFile, OpenModes)
{
    EXPECT_EQ(kErrorAtStart, 0);
    TempFile tmp("abc"), scratch("abc");
    for (const char *mode : {"r", "rb", "r+", "rb+", "r+b", "rw", "rx+", "a", "ab", "a+", "ab+",
                             "a+b", "w+", "wb+", "w+b", "w", "wb", "a!?"}) {
        kdSetError(kUntouched);
        KDFile *file = kdFopen(scratch.path(), mode);
        EXPECT_TRUE(file && file->stream && kdGetError() == kUntouched) << mode;
        kdFclose(file);
    }
    const struct {
        const char *mode;
        int access, descriptorFlags;
    } passed[] = {{"rw", O_RDONLY, 0}, {"r+", O_RDWR, 0}, {"re", O_RDONLY, FD_CLOEXEC}};
    for (const auto &p : passed) {
        KDFile *file = kdFopen(tmp.path(), p.mode);
        EXPECT_EQ(fcntl(fileno(file->stream), F_GETFL) & O_ACCMODE, p.access) << p.mode;
        EXPECT_EQ(fcntl(fileno(file->stream), F_GETFD) & FD_CLOEXEC, p.descriptorFlags) << p.mode;
        kdFclose(file);
    }
    EXPECT_EQ(fileContents(tmp.path()), "abc");
    const std::pair<const char *, const char *> refused[] = {
        {tmp.path(), "x"},     {tmp.path(), "R"},  {tmp.path(), ""},
        {tmp.path(), "+r"},    {tmp.path(), " r"}, {tmp.path(), "b"},
        {tmp.path(), nullptr}, {nullptr, "r"},     {"/nonexistent/glyva/font.ttf", "r"}};
    for (const auto &r : refused) {
        kdSetError(0);
        EXPECT_TRUE(kdFopen(r.first, r.second) == nullptr && kdGetError() == KD_EACCES)
            << &r - refused;
    }
    GLYVA_REQUIRE_FAILING_ALLOC();
    for (long k = 1; k <= 2; ++k) { /* the handle, then libc's stream */
        kdSetError(0);
        KDFile *file = reinterpret_cast<KDFile *>(1);
        failAllocation(
            k, [&] { file = kdFopen(tmp.path(), "rb"); }, false, AllocScope::kAll);
        EXPECT_TRUE(file == nullptr && kdGetError() == KD_EACCES) << k;
    }
}

/* Each failure gives the call's failure value and records its code: a null handle
 * KD_ENOMEM, a handle without a stream KD_EBADF, libc's EBADF and EIO their codes, and
 * errors without a code of their own (ESPIPE) nothing. */
TEST(KdFile, FailureValuesAndCodes)
{
    TempFile tmp("0123456789");
    char buf[8];
    KDFile *appending = kdFopen(tmp.path(), "a"), *reading = kdFopen(tmp.path(), "rb"),
           *closed = kdFopen(tmp.path(), "r"), *unflushed = kdFopen(tmp.path(), "a"),
           *pipe = pipeFile();
    close(fileno(closed->stream));
    fputc('z', unflushed->stream);
    close(fileno(unflushed->stream));
    auto n = [](size_t v) { return static_cast<long>(v); };
    auto p = [](const char *v) { return v ? 1L : 0L; };
    const struct {
        const char *what;
        std::function<long()> call;
        long failure;
        KDint code;
    } cases[] = {
        {"fclose null", [] { return kdFclose(nullptr); }, KD_EOF, kUntouched},
        {"fclose bare",
         [] {
             auto *handle = static_cast<KDFile *>(kdMalloc(sizeof(KDFile)));
             handle->stream = nullptr;
             return kdFclose(handle);
         },
         KD_EOF, kUntouched},
        {"fflush null", [] { return kdFflush(nullptr); }, KD_EOF, KD_ENOMEM},
        {"fflush bare", [] { return kdFflush(bare()); }, KD_EOF, KD_ENOMEM},
        {"fflush closed", [&] { return kdFflush(unflushed); }, KD_EOF, KD_EIO},
        {"fread null", [&] { return n(kdFread(buf, 1, 4, nullptr)); }, 0, KD_ENOMEM},
        {"fread no buffer", [&] { return n(kdFread(nullptr, 1, 4, reading)); }, 0, KD_ENOMEM},
        {"fread bare", [&] { return n(kdFread(buf, 1, 4, bare())); }, 0, KD_EBADF},
        {"fread write-only", [&] { return n(kdFread(buf, 1, 4, appending)); }, 0, KD_EBADF},
        {"getc null", [] { return kdGetc(nullptr); }, KD_EOF, KD_ENOMEM},
        {"getc bare", [] { return kdGetc(bare()); }, KD_EOF, KD_EBADF},
        {"fgets null", [&] { return p(kdFgets(buf, sizeof buf, nullptr)); }, 0, KD_ENOMEM},
        {"fgets bare", [&] { return p(kdFgets(buf, sizeof buf, bare())); }, 0, KD_EBADF},
        {"fgets no buffer", [&] { return p(kdFgets(nullptr, 8, appending)); }, 0, KD_ENOMEM},
        {"fgets write-only", [&] { return p(kdFgets(buf, 8, appending)); }, 0, KD_EBADF},
        {"feof null", [] { return kdFEOF(nullptr); }, KD_EOF, KD_ENOMEM},
        {"feof bare", [] { return kdFEOF(bare()); }, KD_EOF, KD_EBADF},
        {"fseek null", [] { return kdFseek(nullptr, 0, KD_SEEK_SET); }, KD_EOF, KD_ENOMEM},
        {"fseek bare", [] { return kdFseek(bare(), 0, KD_SEEK_SET); }, KD_EOF, KD_EBADF},
        {"fseek before the start", [&] { return kdFseek(reading, -1, KD_SEEK_SET); }, KD_EOF,
         KD_EINVAL},
        {"fseek pipe", [&] { return kdFseek(pipe, 0, KD_SEEK_SET); }, KD_EOF, kUntouched},
        {"ftell null", [] { return long(kdFtell(nullptr)); }, -1, KD_ENOMEM},
        {"ftell bare", [] { return long(kdFtell(bare())); }, -1, KD_EBADF},
        {"ftell pipe", [&] { return long(kdFtell(pipe)); }, -1, kUntouched},
        {"fwrite writes nothing", [&] { return n(kdFwrite("zz", 1, 2, reading)); }, 0, kUntouched},
        {"putc writes nothing", [&] { return long(kdPutc('z', appending)); }, 0, kUntouched},
        {"fclose closed", [&] { return kdFclose(closed); }, KD_EOF, KD_EBADF},
    };
    for (const auto &c : cases) {
        kdSetError(kUntouched);
        EXPECT_EQ(c.call(), c.failure) << c.what;
        EXPECT_EQ(kdGetError(), c.code) << c.what;
    }
    for (KDFile *file : {appending, reading, unflushed, pipe})
        kdFclose(file);
    EXPECT_EQ(fileContents(tmp.path()), "0123456789");
}

TEST(KdFile, ReadsPositionsAndTheEnd)
{
    TempFile tmp(std::string("0123456789\nab\xff", 14));
    KDFile *file = kdFopen(tmp.path(), "rb");
    kdSetError(kUntouched);
    uint32_t items[10];
    char line[16];
    EXPECT_TRUE(kdFread(items, 4, 2, file) == 2 && std::memcmp(items, "01234567", 8) == 0);
    EXPECT_EQ(kdFtell(file), 8);
    EXPECT_TRUE(kdFgets(line, 3, file) == line && std::string(line) == "89");
    EXPECT_TRUE(kdFgets(line, sizeof line, file) == line && std::string(line) == "\n");
    EXPECT_EQ(kdGetc(file), 'a');
    EXPECT_EQ(kdFEOF(file), 0);
    EXPECT_EQ(kdFread(items, 4, 10, file), 0u) << "whole items only";
    EXPECT_EQ(kdFEOF(file), KD_EOF);
    EXPECT_EQ(kdGetc(file), KD_EOF);
    EXPECT_EQ(kdFgets(line, sizeof line, file), nullptr);
    errno = EIO; /* a stale errno is not this read's error */
    EXPECT_TRUE(kdFread(items, 1, 1, file) == 0 && kdGetError() == kUntouched);
    /* Origins; an unknown one moves from the current position; seeking clears the end. */
    const struct {
        KDoff offset;
        KDint origin;
        KDoff position;
    } seeks[] = {
        {4, KD_SEEK_SET, 4}, {2, KD_SEEK_CUR, 6}, {-3, KD_SEEK_END, 11}, {1, 7, 12}, {-12, -1, 0}};
    for (const auto &s : seeks)
        EXPECT_TRUE(kdFseek(file, s.offset, s.origin) == 0 && kdFtell(file) == s.position)
            << s.offset << " from " << s.origin;
    EXPECT_TRUE(kdFEOF(file) == 0 && kdGetc(file) == '0');
    EXPECT_TRUE(kdFseek(file, 13, KD_SEEK_SET) == 0 && kdGetc(file) == 255) << "read unsigned";
    EXPECT_EQ(kdGetError(), kUntouched) << "successes record nothing";
    /* fseek takes a long: where that is 32 bits, a farther position is refused rather
     * than wrapped; where it is 64 bits, the position is reachable. A size beyond
     * fgets' int is a buffer at least that large. */
    const KDoff far = (static_cast<KDoff>(1) << 32) + 3;
    kdSetError(0);
    if (sizeof(long) < sizeof(KDoff)) {
        EXPECT_EQ(kdFseek(file, far, KD_SEEK_SET), KD_EOF);
        EXPECT_EQ(kdFseek(file, -far, KD_SEEK_END), KD_EOF);
        EXPECT_EQ(kdGetError(), KD_EINVAL);
    } else {
        EXPECT_EQ(kdFseek(file, far, KD_SEEK_SET), 0);
        EXPECT_EQ(kdFtell(file), far);
        kdFseek(file, 0, KD_SEEK_SET);
        EXPECT_EQ(kdFgets(line, static_cast<KDsize>(UINT_MAX) + 1, file), line);
        EXPECT_STREQ(line, "0123456789\n");
    }
    EXPECT_EQ(kdFclose(file), 0);
}

TEST(KdLocalRootName, IsTheExecutablesDirectoryCachedUntilShutdown)
{
    char exe[4096];
    const std::string path(exe, static_cast<size_t>(readlink("/proc/self/exe", exe, sizeof exe)));
    const std::string dir = path.substr(0, path.rfind('/'));
    const std::string lines =
        "util/emuKD/kdFile.cpp(): link file " + path +
        "\nutil/emuKD/kdFile.cpp(): slashpa: " + path.substr(path.rfind('/')) + "\n";
    __kdShutdowLocalRootName();
    const char *first = nullptr, *second = nullptr;
    EXPECT_EQ(withoutLineNumbers(captureStderr([&] { first = __kdGetLocalRootName(); })), lines);
    EXPECT_EQ(captureStderr([&] { second = __kdGetLocalRootName(); }), "");
    ASSERT_TRUE(first && first == dir && second == first);
    __kdShutdowLocalRootName();
    __kdShutdowLocalRootName();
    EXPECT_EQ(withoutLineNumbers(captureStderr([&] { first = __kdGetLocalRootName(); })), lines);
    EXPECT_TRUE(first && first == dir);
    __kdShutdowLocalRootName();
    GLYVA_REQUIRE_FAILING_ALLOC();
    const char *name = reinterpret_cast<const char *>(1);
    std::string err =
        captureStderr([&] { failAllocation(1, [&] { name = __kdGetLocalRootName(); }); });
    EXPECT_EQ(name, nullptr);
    EXPECT_EQ(withoutLineNumbers(err), "util/emuKD/kdFile.cpp(): link file " + path + "\n");
    EXPECT_EQ(std::string(__kdGetLocalRootName()), dir) << "nothing cached after the failure";
    __kdShutdowLocalRootName();
}

TEST(KdMemory, IsLibcsWithNullBuffersRefused)
{
    char *p = static_cast<char *>(kdMalloc(4));
    std::memcpy(p, "abc", 4);
    p = static_cast<char *>(kdRealloc(p, 4096));
    EXPECT_STREQ(p, "abc");
    kdFree(p);
    kdFree(kdRealloc(nullptr, 16));
    kdFree(nullptr);
    const unsigned char bytes[] = {0x10, 0x41, 0xff, 0x41, 0x00};
    EXPECT_EQ(kdMemchr(bytes, 0x141, sizeof bytes), &bytes[1]) << "the byte as unsigned char";
    EXPECT_EQ(kdMemchr(bytes, 0xff, 2), nullptr);
    EXPECT_GT(kdMemcmp("\x80", "\x01", 1), 0) << "bytes compare unsigned";
    EXPECT_TRUE(kdMemcmp("abd", "abc", 3) > 0 && kdMemcmp("abd", "abc", 2) == 0);
    char dst[8] = "-------", overlap[] = "abcdef";
    EXPECT_EQ(kdMemcpy(dst, "abc", 3), dst);
    EXPECT_EQ(kdMemmove(overlap + 2, overlap, 4), overlap + 2);
    EXPECT_STREQ(overlap, "ababcd");
    EXPECT_EQ(kdMemset(dst, 'z', 2), dst);
    EXPECT_STREQ(dst, "zzc----");
    for (void *none :
         {kdMemchr(nullptr, 'a', 3), kdMemcpy(nullptr, dst, 3), kdMemcpy(dst, nullptr, 3),
          kdMemmove(nullptr, dst, 3), kdMemmove(dst, nullptr, 3), kdMemset(nullptr, 0, 3)})
        EXPECT_EQ(none, nullptr);
    EXPECT_TRUE(kdMemcmp(nullptr, dst, 3) == -1 && kdMemcmp(dst, nullptr, 3) == -1);
    EXPECT_STREQ(dst, "zzc----");
    GLYVA_REQUIRE_FAILING_ALLOC();
    kdSetError(4242);
    void *none = reinterpret_cast<void *>(1);
    failAllocation(
        1, [&] { none = kdMalloc(64); }, false, AllocScope::kAll);
    EXPECT_EQ(none, nullptr);
    char *block = static_cast<char *>(kdMalloc(8));
    std::memcpy(block, "kept", 5);
    failAllocation(
        1, [&] { none = kdRealloc(block, 1 << 20); }, false, AllocScope::kAll);
    EXPECT_EQ(none, nullptr);
    EXPECT_STREQ(block, "kept");
    kdFree(block);
    EXPECT_EQ(kdGetError(), 4242) << "exhaustion records no code";
}

/* libc's answers on every text and pair of texts; null texts refused. */
TEST(KdString, SearchLengthAndCompare)
{
    const char *texts[] = {"", "a", "abc", "abd", "abcx", "abcy", "hello", "\xe9"};
    for (const char *a : texts) {
        EXPECT_EQ(kdStrlen(a), std::strlen(a)) << a;
        for (int c : {0, int('a'), int('l'), int('z'), 0xe9})
            EXPECT_EQ(kdStrchr(a, c), std::strchr(a, c)) << a << " " << c;
        for (const char *b : texts)
            for (KDsize n = 0; n < 6; ++n) {
                EXPECT_EQ(kdStrnlen(a, n), strnlen(a, n)) << a << " " << n;
                EXPECT_EQ(sign(kdStrcmp(a, b)), sign(std::strcmp(a, b))) << a << " " << b;
                EXPECT_EQ(sign(kdStrncmp(a, b, n)), sign(std::strncmp(a, b, n))) << a << " " << b;
            }
    }
    const char unterminated[3] = {'a', 'b', 'c'};
    EXPECT_EQ(kdStrnlen(unterminated, sizeof unterminated), 3u);
    EXPECT_EQ(kdStrchr(nullptr, 'a'), nullptr);
    EXPECT_EQ(kdStrlen(nullptr) + kdStrnlen(nullptr, 10), 0u);
    EXPECT_TRUE(kdStrcmp(nullptr, "a") == -1 && kdStrcmp("a", nullptr) == -1 &&
                kdStrncmp(nullptr, "a", 1) == -1);
}

/* tests/cases/bounded_copies.txt: the result, the text, the message, and nothing written
 * past the buffer. (A text appended to itself is the strings fuzzer's seed.) */
TEST(KdString, BoundedCopies)
{
    for (const auto &row : caseRows("bounded_copies.txt")) {
        SCOPED_TRACE(row[0] + ": " + row[8]);
        const char *src = row[3] == "<null>" ? nullptr : row[3].c_str();
        const KDsize size = std::stoul(row[2]), count = std::stoul(row[4]);
        char dst[32];
        std::memset(dst, 'X', sizeof dst);
        std::memcpy(dst, row[1].c_str(), row[1].size() + 1);
        KDint result = -1;
        std::string err = captureStderr([&] {
            result = row[0] == "kdStrcpy_s"    ? kdStrcpy_s(dst, size, src)
                     : row[0] == "kdStrncpy_s" ? kdStrncpy_s(dst, size, src, count)
                                               : kdStrncat_s(dst, size, src, count);
        });
        EXPECT_EQ(result, std::stoi(row[5]));
        EXPECT_EQ(dst, row[6]);
        EXPECT_EQ(err, row[7] == "-" ? "" : row[7] + "\n");
        for (size_t i = std::max<size_t>(size, row[1].size() + 1); i < sizeof dst; ++i)
            ASSERT_EQ(dst[i], 'X') << "byte " << i;
    }
    const char raw[2] = {'x', 'y'};
    char bounded[8];
    EXPECT_EQ(kdStrncpy_s(bounded, 8, raw, 2), 0) << "reads no further than count";
    EXPECT_STREQ(bounded, "xy");
    EXPECT_EQ(kdStrcpy_s(nullptr, 4, "abc") + kdStrncpy_s(nullptr, 8, "abc", 3) +
                  kdStrncat_s(nullptr, 8, "d", 1),
              3);
}

/* Bit for bit libm's result, NaN sign included, and libm's errno; no code recorded.
 * Inputs are read through volatile so that nothing is folded at build time. */
TEST(KdMath, EveryFunctionIsLibms)
{
    volatile float inputs[] = {0.0f,     -0.0f,   0.5f,     -0.5f,     1.0f,   -1.0f,  1.5f,
                               -1.5f,    2.0f,    3.14159f, -7.25f,    100.0f, 1e-30f, 1e30f,
                               -3.4e38f, 3.4e38f, INFINITY, -INFINITY, NAN,    -NAN};
    using Unary = float (*)(float);
    using Binary = float (*)(float, float);
    const std::pair<Unary, Unary> unary[] = {
        {kdAcosf, acosf}, {kdAsinf, asinf}, {kdAtanf, atanf}, {kdCosf, cosf},
        {kdSinf, sinf},   {kdTanf, tanf},   {kdExpf, expf},   {kdLogf, logf},
        {kdFabsf, fabsf}, {kdSqrtf, sqrtf}, {kdCeilf, ceilf}, {kdFloorf, floorf}};
    const std::pair<Binary, Binary> binary[] = {
        {kdAtan2f, atan2f}, {kdPowf, powf}, {kdFmodf, fmodf}};
    kdSetError(77);
    for (size_t f = 0; f < 15; ++f)
        for (float a : inputs)
            for (float b : inputs) {
                errno = 0;
                float expected = f < 12 ? unary[f].second(a) : binary[f - 12].second(a, b);
                int expectedErrno = errno;
                errno = 0;
                float got = f < 12 ? unary[f].first(a) : binary[f - 12].first(a, b);
                ASSERT_TRUE(std::memcmp(&got, &expected, sizeof got) == 0 && errno == expectedErrno)
                    << "function " << f << " (" << a << ", " << b << "): " << got;
            }
    EXPECT_EQ(kdGetError(), 77);
}

/* One line, the missing newline added, the text never a format; no memory needed. */
TEST(KdLogMessage, WritesOneLine)
{
    const std::pair<const char *, const char *> cases[] = {
        {"abc", "abc\n"}, {"abc\n", "abc\n"}, {"a\nb", "a\nb\n"}, {"\n", "\n"},
        {"", ""},         {nullptr, ""},      {"%d", "%d\n"},     {"100%s %n\n", "100%s %n\n"}};
    for (const auto &c : cases)
        EXPECT_EQ(captureStdout([&] { kdLogMessage(c.first); }), c.second)
            << (c.first ? c.first : "null");
    GLYVA_REQUIRE_FAILING_ALLOC();
    EXPECT_EQ(countAllocations([] { captureStdout([] { kdLogMessage("abc"); }); }), 0);
    const auto all = [] {
        failAllocation(
            1, [] { kdLogMessage("xyz"); }, true);
    };
    EXPECT_EQ(captureStdout(all), "xyz\n") << "every allocation failing";
}
