#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/support.hh"
#include "util/emuKD/kd.h"
#include "util/emuKD/kdFile.hh"

using glyva_test::captureStderr;
using glyva_test::TempFile;

namespace
{

/* Stands for "no code recorded": no failure of the layer records this value. */
const KDint kUntouched = 4711;

std::string contentsOf(const char *path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

/* A handle as kdFopen never makes one, for the null-stream paths. */
KDFile *handleWithoutStream()
{
    KDFile *file = static_cast<KDFile *>(kdMalloc(sizeof(KDFile)));
    file->stream = nullptr;
    return file;
}

/* Opens the read end of a fresh pipe through the layer; the write end is returned. */
KDFile *openPipe(int *writeEnd)
{
    int fds[2];
    if (pipe(fds) != 0)
        return nullptr;
    std::string path = "/proc/self/fd/" + std::to_string(fds[0]);
    KDFile *file = kdFopen(path.c_str(), "r");
    close(fds[0]);
    *writeEnd = fds[1];
    return file;
}

int accessModeOf(KDFile *file)
{
    return fcntl(fileno(file->stream), F_GETFL) & O_ACCMODE;
}

} // namespace

/* Read before main, while no test has run: what loading the library left. */
const KDint kErrorAtStart = kdGetError();

TEST(KdError, IsZeroWhenTheLibraryIsLoaded)
{
    EXPECT_EQ(kErrorAtStart, 0);
}

TEST(KdError, StoresAnyValueAndReadingDoesNotClearIt)
{
    kdSetError(-5);
    EXPECT_EQ(kdGetError(), -5);
    EXPECT_EQ(kdGetError(), -5);
    kdSetError(123456);
    EXPECT_EQ(kdGetError(), 123456);
}

TEST(KdError, SurvivesLaterSuccessfulCalls)
{
    TempFile tmp("data");
    kdSetError(0);
    EXPECT_EQ(kdFopen("/nonexistent/glyva", "r"), nullptr);
    KDFile *file = kdFopen(tmp.path(), "r");
    ASSERT_NE(file, nullptr);
    char buf[4];
    EXPECT_EQ(kdFread(buf, 1, 4, file), 4u);
    EXPECT_EQ(kdFseek(file, 0, KD_SEEK_SET), 0);
    EXPECT_EQ(kdFclose(file), 0);
    EXPECT_EQ(kdGetError(), KD_EACCES);
}

TEST(KdFopen, AcceptsModesByTheirFirstCharacter)
{
    TempFile tmp("abc");
    const char *modes[] = {"r",  "rb",  "r+",  "rb+", "r+b", "rw",  "rx+", "a",  "ab",
                           "a+", "ab+", "a+b", "w+",  "wb+", "w+b", "w",   "wb", "a!?"};
    for (const char *mode : modes) {
        kdSetError(kUntouched);
        KDFile *file = kdFopen(tmp.path(), mode);
        EXPECT_NE(file, nullptr) << mode;
        EXPECT_EQ(kdGetError(), kUntouched) << mode;
        if (file) {
            EXPECT_NE(file->stream, nullptr) << mode;
        }
        kdFclose(file);
    }
}

/* What reaches fopen is the caller's string itself, not the matched table entry. */
TEST(KdFopen, PassesTheModeToLibcUnchanged)
{
    TempFile tmp("abc");
    KDFile *readOnly = kdFopen(tmp.path(), "rw");
    ASSERT_NE(readOnly, nullptr);
    EXPECT_EQ(accessModeOf(readOnly), O_RDONLY);
    kdFclose(readOnly);

    KDFile *update = kdFopen(tmp.path(), "r+");
    ASSERT_NE(update, nullptr);
    EXPECT_EQ(accessModeOf(update), O_RDWR);
    kdFclose(update);

    /* "e" is glibc's close-on-exec flag: it is honoured only if the string got there. */
    KDFile *cloexec = kdFopen(tmp.path(), "re");
    ASSERT_NE(cloexec, nullptr);
    EXPECT_TRUE(fcntl(fileno(cloexec->stream), F_GETFD) & FD_CLOEXEC);
    kdFclose(cloexec);
    EXPECT_EQ(contentsOf(tmp.path()), "abc");
}

TEST(KdFopen, RefusalsGiveNullAndEacces)
{
    TempFile tmp("abc");
    const char *modes[] = {"x", "R", "", "+r", " r", "b"};
    for (const char *mode : modes) {
        kdSetError(0);
        EXPECT_EQ(kdFopen(tmp.path(), mode), nullptr) << "'" << mode << "'";
        EXPECT_EQ(kdGetError(), KD_EACCES) << "'" << mode << "'";
    }
    kdSetError(0);
    EXPECT_EQ(kdFopen("/nonexistent/glyva/font.ttf", "r"), nullptr);
    EXPECT_EQ(kdGetError(), KD_EACCES);
    kdSetError(0);
    EXPECT_EQ(kdFopen(nullptr, "r"), nullptr);
    EXPECT_EQ(kdGetError(), KD_EACCES);
    kdSetError(0);
    EXPECT_EQ(kdFopen(tmp.path(), nullptr), nullptr);
    EXPECT_EQ(kdGetError(), KD_EACCES);
}

/* Counting every allocation of the process: the first is the handle, the second libc's
 * stream. */
TEST(KdFopen, ExhaustedMemoryGivesNullAndEacces)
{
    GLYVA_REQUIRE_FAILING_ALLOC();
    TempFile tmp("abc");
    for (long k = 1; k <= 2; ++k) {
        kdSetError(0);
        KDFile *file = reinterpret_cast<KDFile *>(1);
        glyva_test::failAllocation(
            k, [&] { file = kdFopen(tmp.path(), "rb"); }, false, glyva_test::AllocScope::kAll);
        EXPECT_EQ(file, nullptr) << k;
        EXPECT_EQ(kdGetError(), KD_EACCES) << k;
    }
}

TEST(KdFclose, ResultsAndCodes)
{
    kdSetError(kUntouched);
    EXPECT_EQ(kdFclose(nullptr), KD_EOF);
    EXPECT_EQ(kdFclose(handleWithoutStream()), KD_EOF);
    EXPECT_EQ(kdGetError(), kUntouched);

    TempFile tmp("abc");
    KDFile *file = kdFopen(tmp.path(), "r");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(kdFclose(file), 0);
    EXPECT_EQ(kdGetError(), kUntouched);

    /* The descriptor under the stream is gone: close reports EBADF. */
    file = kdFopen(tmp.path(), "r");
    ASSERT_NE(file, nullptr);
    close(fileno(file->stream));
    EXPECT_EQ(kdFclose(file), KD_EOF);
    EXPECT_EQ(kdGetError(), KD_EBADF);
}

TEST(KdFflush, ResultsAndCodes)
{
    kdSetError(0);
    EXPECT_EQ(kdFflush(nullptr), KD_EOF);
    EXPECT_EQ(kdGetError(), KD_ENOMEM);
    KDFile *bare = handleWithoutStream();
    kdSetError(0);
    EXPECT_EQ(kdFflush(bare), KD_EOF);
    EXPECT_EQ(kdGetError(), KD_ENOMEM);
    kdFree(bare);

    TempFile tmp("abc");
    KDFile *file = kdFopen(tmp.path(), "r");
    ASSERT_NE(file, nullptr);
    kdSetError(kUntouched);
    EXPECT_EQ(kdFflush(file), 0);
    EXPECT_EQ(kdGetError(), kUntouched);
    kdFclose(file);

    /* Pending output over a closed descriptor cannot be flushed. */
    file = kdFopen(tmp.path(), "a");
    ASSERT_NE(file, nullptr);
    fputc('z', file->stream);
    close(fileno(file->stream));
    EXPECT_EQ(kdFflush(file), KD_EOF);
    EXPECT_EQ(kdGetError(), KD_EIO);
    kdFclose(file);
}

TEST(KdFread, RefusalsAndTheirCodes)
{
    char buf[8];
    kdSetError(0);
    EXPECT_EQ(kdFread(buf, 1, 4, nullptr), 0u);
    EXPECT_EQ(kdGetError(), KD_ENOMEM);

    TempFile tmp("abcdefgh");
    KDFile *file = kdFopen(tmp.path(), "r");
    ASSERT_NE(file, nullptr);
    kdSetError(0);
    EXPECT_EQ(kdFread(nullptr, 1, 4, file), 0u);
    EXPECT_EQ(kdGetError(), KD_ENOMEM);
    kdFclose(file);

    KDFile *bare = handleWithoutStream();
    kdSetError(0);
    EXPECT_EQ(kdFread(buf, 1, 4, bare), 0u);
    EXPECT_EQ(kdGetError(), KD_EBADF);
    kdFclose(bare);

    /* A stream open for writing only: libc fails the read with EBADF. */
    file = kdFopen(tmp.path(), "a");
    ASSERT_NE(file, nullptr);
    kdSetError(0);
    EXPECT_EQ(kdFread(buf, 1, 4, file), 0u);
    EXPECT_EQ(kdGetError(), KD_EBADF);
    kdFclose(file);
}

TEST(KdFread, CountsWholeItemsAndEndsQuietly)
{
    TempFile tmp("123456789");
    KDFile *file = kdFopen(tmp.path(), "rb");
    ASSERT_NE(file, nullptr);
    kdSetError(kUntouched);
    uint32_t items[10];
    EXPECT_EQ(kdFread(items, 4, 10, file), 2u);
    EXPECT_EQ(memcmp(items, "12345678", 8), 0);
    EXPECT_EQ(kdFread(items, 4, 10, file), 0u);
    /* A stale errno from before the call must not be taken for this read's error. */
    errno = EIO;
    EXPECT_EQ(kdFread(items, 1, 1, file), 0u);
    EXPECT_EQ(kdGetError(), kUntouched);
    kdFclose(file);

    file = kdFopen(tmp.path(), "rb");
    ASSERT_NE(file, nullptr);
    char all[9];
    EXPECT_EQ(kdFread(all, 1, 9, file), 9u);
    EXPECT_EQ(kdFread(all, 1, 0, file), 0u);
    EXPECT_EQ(kdGetError(), kUntouched);
    kdFclose(file);
}

TEST(KdFwriteAndPutc, WriteNothing)
{
    TempFile tmp("abc");
    KDFile *file = kdFopen(tmp.path(), "r+");
    ASSERT_NE(file, nullptr);
    kdSetError(kUntouched);
    EXPECT_EQ(kdFwrite("zz", 1, 2, file), 0u);
    EXPECT_EQ(kdPutc('z', file), 0);
    EXPECT_EQ(kdFwrite(nullptr, 1, 2, nullptr), 0u);
    EXPECT_EQ(kdPutc('z', nullptr), 0);
    EXPECT_EQ(kdFclose(file), 0);
    EXPECT_EQ(kdGetError(), kUntouched);
    EXPECT_EQ(contentsOf(tmp.path()), "abc");
}

TEST(KdGetc, ReturnsBytesAsUnsignedThenEof)
{
    TempFile tmp(std::string("a\xff\0", 3));
    KDFile *file = kdFopen(tmp.path(), "rb");
    ASSERT_NE(file, nullptr);
    kdSetError(kUntouched);
    EXPECT_EQ(kdGetc(file), 'a');
    EXPECT_EQ(kdGetc(file), 255);
    EXPECT_EQ(kdGetc(file), 0);
    EXPECT_EQ(kdGetc(file), KD_EOF);
    EXPECT_EQ(kdGetError(), kUntouched);
    kdFclose(file);

    kdSetError(0);
    EXPECT_EQ(kdGetc(nullptr), KD_EOF);
    EXPECT_EQ(kdGetError(), KD_ENOMEM);
    KDFile *bare = handleWithoutStream();
    EXPECT_EQ(kdGetc(bare), KD_EOF);
    EXPECT_EQ(kdGetError(), KD_EBADF);
    kdFclose(bare);
}

TEST(KdFgets, ReadsLinesAsLibcDoes)
{
    TempFile tmp("ab\ncdef");
    KDFile *file = kdFopen(tmp.path(), "r");
    ASSERT_NE(file, nullptr);
    kdSetError(kUntouched);
    char buf[16];
    EXPECT_EQ(kdFgets(buf, sizeof buf, file), buf);
    EXPECT_STREQ(buf, "ab\n");
    EXPECT_EQ(kdFgets(buf, 3, file), buf);
    EXPECT_STREQ(buf, "cd");
    EXPECT_EQ(kdFgets(buf, sizeof buf, file), buf);
    EXPECT_STREQ(buf, "ef");
    EXPECT_EQ(kdFgets(buf, sizeof buf, file), nullptr);
    EXPECT_EQ(kdGetError(), kUntouched);
    kdFclose(file);

    /* A size beyond fgets' int is a buffer at least that large, not a negative one. */
    file = kdFopen(tmp.path(), "r");
    ASSERT_NE(file, nullptr);
    if (sizeof(KDsize) > sizeof(int)) {
        EXPECT_EQ(kdFgets(buf, static_cast<KDsize>(UINT_MAX) + 1, file), buf);
        EXPECT_STREQ(buf, "ab\n");
    }
    kdFclose(file);
}

TEST(KdFgets, RefusalsAndTheirCodes)
{
    char buf[8];
    kdSetError(0);
    EXPECT_EQ(kdFgets(buf, sizeof buf, nullptr), nullptr);
    EXPECT_EQ(kdGetError(), KD_ENOMEM);
    KDFile *bare = handleWithoutStream();
    kdSetError(0);
    EXPECT_EQ(kdFgets(buf, sizeof buf, bare), nullptr);
    EXPECT_EQ(kdGetError(), KD_EBADF);
    kdFclose(bare);

    TempFile tmp("abc");
    KDFile *file = kdFopen(tmp.path(), "a");
    ASSERT_NE(file, nullptr);
    kdSetError(0);
    EXPECT_EQ(kdFgets(nullptr, sizeof buf, file), nullptr);
    EXPECT_EQ(kdGetError(), KD_ENOMEM);
    kdSetError(0);
    EXPECT_EQ(kdFgets(buf, sizeof buf, file), nullptr);
    EXPECT_EQ(kdGetError(), KD_EBADF);
    kdFclose(file);
}

TEST(KdFEOF, SetOnlyOnceAReadWentPastTheEnd)
{
    TempFile tmp("abcd");
    KDFile *file = kdFopen(tmp.path(), "rb");
    ASSERT_NE(file, nullptr);
    char buf[8];
    EXPECT_EQ(kdFEOF(file), 0);
    EXPECT_EQ(kdFread(buf, 1, 4, file), 4u);
    EXPECT_EQ(kdFEOF(file), 0);
    EXPECT_EQ(kdFread(buf, 1, 1, file), 0u);
    EXPECT_EQ(kdFEOF(file), KD_EOF);
    kdFclose(file);

    kdSetError(0);
    EXPECT_EQ(kdFEOF(nullptr), KD_EOF);
    EXPECT_EQ(kdGetError(), KD_ENOMEM);
    KDFile *bare = handleWithoutStream();
    EXPECT_EQ(kdFEOF(bare), KD_EOF);
    EXPECT_EQ(kdGetError(), KD_EBADF);
    kdFclose(bare);
}

TEST(KdFseek, OriginsAndPositions)
{
    TempFile tmp("0123456789");
    KDFile *file = kdFopen(tmp.path(), "rb");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(kdFseek(file, 4, KD_SEEK_SET), 0);
    EXPECT_EQ(kdFtell(file), 4);
    EXPECT_EQ(kdGetc(file), '4');
    EXPECT_EQ(kdFseek(file, 2, KD_SEEK_CUR), 0);
    EXPECT_EQ(kdGetc(file), '7');
    EXPECT_EQ(kdFseek(file, -3, KD_SEEK_END), 0);
    EXPECT_EQ(kdFtell(file), 7);
    /* An unknown origin moves from the current position. */
    EXPECT_EQ(kdFseek(file, 1, 7), 0);
    EXPECT_EQ(kdFtell(file), 8);
    EXPECT_EQ(kdFseek(file, -8, -1), 0);
    EXPECT_EQ(kdFtell(file), 0);
    /* Seeking clears the end-of-file indicator, as fseek does. */
    char buf[16];
    EXPECT_EQ(kdFread(buf, 1, sizeof buf, file), 10u);
    EXPECT_EQ(kdFEOF(file), KD_EOF);
    EXPECT_EQ(kdFseek(file, 0, KD_SEEK_SET), 0);
    EXPECT_EQ(kdFEOF(file), 0);
    kdFclose(file);
}

TEST(KdFseek, FailuresAndTheirCodes)
{
    kdSetError(0);
    EXPECT_EQ(kdFseek(nullptr, 0, KD_SEEK_SET), KD_EOF);
    EXPECT_EQ(kdGetError(), KD_ENOMEM);
    KDFile *bare = handleWithoutStream();
    EXPECT_EQ(kdFseek(bare, 0, KD_SEEK_SET), KD_EOF);
    EXPECT_EQ(kdGetError(), KD_EBADF);
    kdFclose(bare);

    TempFile tmp("0123456789");
    KDFile *file = kdFopen(tmp.path(), "rb");
    ASSERT_NE(file, nullptr);
    kdSetError(0);
    EXPECT_EQ(kdFseek(file, -1, KD_SEEK_SET), KD_EOF);
    EXPECT_EQ(kdGetError(), KD_EINVAL);
    kdFclose(file);

    /* ESPIPE has no code of its own. */
    int writeEnd = -1;
    KDFile *pipeFile = openPipe(&writeEnd);
    ASSERT_NE(pipeFile, nullptr);
    kdSetError(kUntouched);
    EXPECT_EQ(kdFseek(pipeFile, 0, KD_SEEK_SET), KD_EOF);
    EXPECT_EQ(kdGetError(), kUntouched);
    kdFclose(pipeFile);
    close(writeEnd);
}

/* fseek takes a long: where that is 32 bits, a farther position is refused rather than
 * wrapped; where it is 64 bits, the position is reachable. */
TEST(KdFseek, OffsetsBeyondLongAreRefused)
{
    TempFile tmp("0123456789");
    KDFile *file = kdFopen(tmp.path(), "rb");
    ASSERT_NE(file, nullptr);
    const KDoff far = (static_cast<KDoff>(1) << 32) + 3;
    kdSetError(0);
    if (sizeof(long) < sizeof(KDoff)) {
        EXPECT_EQ(kdFseek(file, far, KD_SEEK_SET), KD_EOF);
        EXPECT_EQ(kdGetError(), KD_EINVAL);
        EXPECT_EQ(kdFtell(file), 0);
        EXPECT_EQ(kdFseek(file, -far, KD_SEEK_END), KD_EOF);
        EXPECT_EQ(kdGetError(), KD_EINVAL);
    } else {
        EXPECT_EQ(kdFseek(file, far, KD_SEEK_SET), 0);
        EXPECT_EQ(kdFtell(file), far);
    }
    kdFclose(file);
}

TEST(KdFtell, PositionsAndFailures)
{
    TempFile tmp("0123456789");
    KDFile *file = kdFopen(tmp.path(), "rb");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(kdFtell(file), 0);
    char buf[3];
    kdFread(buf, 1, 3, file);
    EXPECT_EQ(kdFtell(file), 3);
    kdFclose(file);

    kdSetError(0);
    EXPECT_EQ(kdFtell(nullptr), -1);
    EXPECT_EQ(kdGetError(), KD_ENOMEM);
    KDFile *bare = handleWithoutStream();
    EXPECT_EQ(kdFtell(bare), -1);
    EXPECT_EQ(kdGetError(), KD_EBADF);
    kdFclose(bare);

    int writeEnd = -1;
    KDFile *pipeFile = openPipe(&writeEnd);
    ASSERT_NE(pipeFile, nullptr);
    kdSetError(kUntouched);
    EXPECT_EQ(kdFtell(pipeFile), -1);
    EXPECT_EQ(kdGetError(), kUntouched);
    kdFclose(pipeFile);
    close(writeEnd);
}

namespace
{

/* The executable's path, found independently of the library. */
std::string executablePath()
{
    char target[4096];
    ssize_t n = readlink("/proc/self/exe", target, sizeof target);
    return n > 0 ? std::string(target, static_cast<size_t>(n)) : std::string();
}

/* Splits one diagnostic line of the look-up into the line number the library printed
 * and the text after its "name(line): " prefix; false when the line has another shape. */
bool splitDiagnostic(const std::string &text, size_t *pos, std::string *number, std::string *rest)
{
    const std::string source = "util/emuKD/kdFile.cpp(";
    size_t end = text.find('\n', *pos);
    if (end == std::string::npos || text.compare(*pos, source.size(), source) != 0)
        return false;
    size_t digits = *pos + source.size();
    size_t close = text.find("): ", digits);
    if (close == std::string::npos || close == digits || close > end ||
        text.find_first_not_of("0123456789", digits) != close)
        return false;
    *number = text.substr(digits, close - digits);
    *rest = text.substr(close + 3, end - close - 3);
    *pos = end + 1;
    return true;
}

/* The two diagnostic lines of a look-up, with the line numbers the library printed. */
std::string expectedLookupLines(const std::string &err, const std::string &path)
{
    size_t pos = 0;
    std::string first, second, text;
    if (!splitDiagnostic(err, &pos, &first, &text) || !splitDiagnostic(err, &pos, &second, &text))
        return "<unexpected shape>";
    std::string base = path.substr(path.rfind('/'));
    return "util/emuKD/kdFile.cpp(" + first + "): link file " + path + "\n" +
           "util/emuKD/kdFile.cpp(" + second + "): slashpa: " + base + "\n";
}

} // namespace

TEST(KdLocalRootName, IsTheExecutablesDirectoryAndIsCached)
{
    __kdShutdowLocalRootName();
    const std::string path = executablePath();
    ASSERT_FALSE(path.empty());
    const std::string dir = path.substr(0, path.rfind('/'));

    const char *first = nullptr;
    std::string err = captureStderr([&] { first = __kdGetLocalRootName(); });
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(std::string(first), dir);
    EXPECT_EQ(err, expectedLookupLines(err, path));

    const char *second = nullptr;
    err = captureStderr([&] { second = __kdGetLocalRootName(); });
    EXPECT_EQ(second, first);
    EXPECT_EQ(err, "");

    __kdShutdowLocalRootName();
    __kdShutdowLocalRootName();
    const char *again = nullptr;
    err = captureStderr([&] { again = __kdGetLocalRootName(); });
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(std::string(again), dir);
    EXPECT_EQ(err, expectedLookupLines(err, path));
    __kdShutdowLocalRootName();
}

TEST(KdLocalRootName, ExhaustedMemoryCachesNothing)
{
    GLYVA_REQUIRE_FAILING_ALLOC();
    __kdShutdowLocalRootName();
    const std::string path = executablePath();
    const char *name = reinterpret_cast<const char *>(1);
    std::string err = captureStderr(
        [&] { glyva_test::failAllocation(1, [&] { name = __kdGetLocalRootName(); }); });
    EXPECT_EQ(name, nullptr);
    size_t pos = 0;
    std::string number, text;
    ASSERT_TRUE(splitDiagnostic(err, &pos, &number, &text)) << err;
    EXPECT_EQ(pos, err.size()) << err;
    EXPECT_EQ(text, "link file " + path);

    err = captureStderr([&] { name = __kdGetLocalRootName(); });
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(std::string(name), path.substr(0, path.rfind('/')));
    EXPECT_NE(err, "");
    __kdShutdowLocalRootName();
}
