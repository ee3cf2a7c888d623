// Empty formats are part of what is tested.
#pragma GCC diagnostic ignored "-Wformat-zero-length"

#include <dirent.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <limits>
#include <random>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "support/support.hh"
#include "util/plyxUtil.h"

/* The utilities: messages, whole-file loading, the single-value comparisons and the
 * name tables. */

using namespace glyva_test;

namespace
{

using MessageFn = void (*)(const char *, int, const char *, ...);
const MessageFn kLevels[] = {plyxDebugMessage, plyxWarnMessage, plyxErrorMessage,
                             plyxScriptMessage};

/* Standard output and standard error of fn, joined by a '|'. */
std::string run(const std::function<void()> &fn)
{
    std::string out;
    std::string err = captureStderr([&] { out = captureStdout(fn); });
    return out + "|" + err;
}

} // namespace

TEST(PlyxMessage, EveryLevelWritesTheSameLine)
{
    const std::string m2047(2047, 'm'), m2048(2048, 'L'), long300(300, 's'), m3000(3000, 'x');
    const std::string fits(2047 - 27, 'f'), over(2048 - 27, 'o');
    const struct {
        std::function<void(MessageFn)> call;
        std::string expected, debugExpected; /* debug differs only where given */
    } cases[] = {
        {[](MessageFn f) { f("Skrib/GlyvaInterface", 249, "unable to read font %s\n", "x.ttf"); },
         "Skrib/GlyvaInterface(249): unable to read font x.ttf\n|", ""},
        {[](MessageFn f) { f("plyxUtil", -3, "%d of %u", -7, 9u); }, "plyxUtil(-3): -7 of 9\n|",
         ""},
        {[](MessageFn f) { f(nullptr, 12, "no source %s\n", "here"); }, "no source here\n|", ""},
        /* The composed text is logged as it stands, never formatted a second time. */
        {[](MessageFn f) { f("plyxUtil", 1, "%s", "100%d %s"); }, "plyxUtil(1): 100%d %s\n|", ""},
        /* Empty, unformattable (a non-ASCII wide character in the C locale) and null
         * formats: only debug reports the first two; every level the third. */
        {[](MessageFn f) { f("plyxUtil", 12, ""); }, "|", "|NULL Msg for plyxUtil/12)\n"},
        {[](MessageFn f) { f("plyxUtil", 4, "%ls", L"\u00e9"); }, "|",
         "|NULL Msg for plyxUtil/4)\n"},
        {[](MessageFn f) { f("glyph/glyphTesselator", 88, nullptr); },
         "|NULL Msg for glyph/glyphTesselator/88)\n", ""},
        {[](MessageFn f) { f(nullptr, 5, nullptr); }, "|NULL Msg for (null)/5)\n", ""},
        /* 2047 characters take the local buffers; prefixed, 2048 are dropped. */
        {[&](MessageFn f) { f(nullptr, 1, "%s", m2047.c_str()); }, m2047 + "\n|", ""},
        {[&](MessageFn f) { f("glyph/glyphTesselator", 10, "%s", fits.c_str()); },
         "glyph/glyphTesselator(10): " + fits + "\n|", ""},
        {[&](MessageFn f) { f("glyph/glyphTesselator", 10, "%s", over.c_str()); },
         "|NEED expand2 n: 2048\n",
         "|NEED expand2 n: 2048\nNULL Msg for glyph/glyphTesselator/10)\n"},
        /* Longer ones are formatted again into the heap with 256 bytes for the prefix,
         * and cut where a longer prefix does not fit. */
        {[&](MessageFn f) { f("plyxUtil", 77, "%s", m2048.c_str()); },
         "plyxUtil(77): " + m2048 + "\n|expand n: 2048 buflen: 2304\nexpand2 n: 2048\n", ""},
        {[&](MessageFn f) { f(nullptr, 77, "%s\n", m2048.c_str()); }, m2048 + "\n|", ""},
        {[&](MessageFn f) { f(long300.c_str(), 1, "%s", m3000.c_str()); },
         (long300 + "(1): " + m3000).substr(0, 3255) +
             "\n|expand n: 3000 buflen: 3256\nexpand2 n: 3000\n",
         ""},
    };
    for (size_t c = 0; c < sizeof cases / sizeof cases[0]; ++c)
        for (MessageFn level : kLevels) {
            const std::string &expected =
                level == plyxDebugMessage && !cases[c].debugExpected.empty()
                    ? cases[c].debugExpected
                    : cases[c].expected;
            EXPECT_EQ(run([&] { cases[c].call(level); }), expected) << "case " << c;
        }
}

/* The short path allocates the result only; the long one the message and its prefixed
 * copy. Running out of either drops the message: nothing is announced before the whole
 * message exists, and only debug reports the loss. */
TEST(PlyxMessage, Allocation)
{
    GLYVA_REQUIRE_FAILING_ALLOC();
    const std::string m2047(2047, 'm'), m2048(2048, 'L');
    auto count = [](const std::function<void()> &fn) { return countAllocations([&] { run(fn); }); };
    EXPECT_EQ(count([&] { plyxScriptMessage(nullptr, 1, "%s", m2047.c_str()); }), 1);
    EXPECT_EQ(count([&] { plyxErrorMessage("p", 7, "%s", m2048.c_str()); }), 2);
    EXPECT_EQ(count([&] { plyxErrorMessage(nullptr, 7, "%s", m2048.c_str()); }), 1);
    auto failing = [](long k, const std::function<void()> &fn) {
        return run([&] { failAllocation(k, fn); });
    };
    EXPECT_EQ(failing(1, [] { plyxErrorMessage("plyxUtil", 3, "short\n"); }), "|");
    EXPECT_EQ(failing(1, [] { plyxDebugMessage("plyxUtil", 3, "short\n"); }),
              "|NULL Msg for plyxUtil/3)\n");
    const std::string m2500(2500, 'L');
    EXPECT_EQ(failing(1, [&] { plyxWarnMessage("plyxUtil", 3, "%s", m2500.c_str()); }), "|");
    EXPECT_EQ(failing(2, [&] { plyxDebugMessage("plyxUtil", 3, "%s", m2500.c_str()); }),
              "|expand n: 2500 buflen: 2756\nexpand2 n: 2500\nNULL Msg for plyxUtil/3)\n");
    char *copy = reinterpret_cast<char *>(1);
    failAllocation(1, [&] { copy = plyxStrdup("abc"); });
    EXPECT_EQ(copy, nullptr);
}

namespace
{

/* Bytes that differ from one position to the next, so a misplaced chunk shows. */
std::string pattern(size_t n)
{
    std::mt19937 rng(2463534242u);
    std::string s(n, '\0');
    for (char &c : s)
        c = static_cast<char>(rng());
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

/* The loaded bytes, or "null" and the size when none came back; `load` runs the read,
 * so that allocation failures can be aimed at it alone. */
std::string load(
    const char *path, const std::function<void(const std::function<void()> &)> &around =
                          [](const std::function<void()> &read) { read(); })
{
    void *data = nullptr;
    uint32_t size = 0xdeadbeefu;
    around([&] { data = readBinaryFileToMemory(path, &size); });
    std::string got =
        data ? std::string(static_cast<char *>(data), size) : "null " + std::to_string(size);
    kdFree(data);
    return got;
}

} // namespace

/* Every byte across the 128 KiB read chunks, growing by exactly each read; the size is
 * written only with the bytes, and a read error (a directory opens but cannot be read)
 * is no empty file. Out of memory anywhere in the process, the result is the whole file
 * or null, and no descriptor leaks. */
TEST(ReadBinaryFile, WholeFileOrNothing)
{
    constexpr size_t kChunk = 131072;
    const std::string unset = "null " + std::to_string(0xdeadbeefu);
    EXPECT_EQ(readBinaryFileToMemory("/tmp", nullptr), nullptr);
    for (const char *path : {static_cast<const char *>(nullptr), "/nonexistent/glyva/font", "/tmp"})
        EXPECT_EQ(load(path), unset) << (path ? path : "null");
    TempFile empty("");
    EXPECT_EQ(load(empty.path()), "null 0");
    for (size_t n : {size_t(1), size_t(5), kChunk - 1, kChunk, kChunk + 1, 3 * kChunk + 17}) {
        TempFile file(pattern(n));
        EXPECT_TRUE(load(file.path()) == pattern(n)) << n;
        if (allocationFailureAvailable()) {
            EXPECT_EQ(countAllocations([&] { load(file.path()); }),
                      2 + static_cast<long>((n - 1) / kChunk));
        }
    }
    GLYVA_REQUIRE_FAILING_ALLOC();
    TempFile file(pattern(kChunk + 1));
    const int descriptors = openDescriptors();
    for (auto scope : {AllocScope::kLibrary, AllocScope::kAll}) {
        long total = 0;
        load(file.path(), [&](const auto &read) { total = countAllocations(read, scope); });
        for (long k = 1; k <= total; ++k) {
            std::string got =
                load(file.path(), [&](const auto &read) { failAllocation(k, read, false, scope); });
            EXPECT_TRUE(got == unset || (scope == AllocScope::kAll && got == pattern(kChunk + 1)))
                << k;
            EXPECT_EQ(openDescriptors(), descriptors) << k;
        }
    }
}

/* Exact comparison: a NaN differs even from itself, -0.0 equals +0.0, no tolerance;
 * each type compares its own components and none beyond. */
TEST(SingleValueNotEqual, ComparesEachComponentExactly)
{
    const struct {
        int (*notEqual)(const float *, const float *);
        int components;
    } types[] = {{notEqualSFVec2f, 2}, {notEqualSFVec3f, 3},     {notEqualSFVec4f, 4},
                 {notEqualSFColor, 3}, {notEqualSFColorRGBA, 4}, {notEqualSFRotation, 4}};
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (const auto &type : types) {
        const float zeros[5] = {0, 0, 0, 0, 0}, negative[5] = {-0.0f, -0.0f, -0.0f, -0.0f, 1};
        EXPECT_EQ(type.notEqual(zeros, negative), 0);
        for (int c = 0; c < 5; ++c) {
            const float a[5] = {1, 2, 3.4e38f, -INFINITY, 5};
            float b[5] = {1, 2, 3.4e38f, -INFINITY, 5}, n[5] = {1, 2, 3, 4, 5};
            b[c] = std::nextafter(b[c], 0.0f);
            n[c] = nan;
            EXPECT_EQ(type.notEqual(a, a), 0);
            EXPECT_EQ(type.notEqual(a, b), c < type.components ? 1 : 0) << c;
            EXPECT_EQ(type.notEqual(n, n), c < type.components ? 1 : 0) << c;
        }
    }
}

/* The node type names as the engine lists them (tests/goldens/node_types.txt); codes
 * are whole values, so neighbours of listed codes and listed codes with higher bits set
 * are unknown, reported once each. */
TEST(NameTables, NodeTypesAndGLErrors)
{
    std::ifstream in(std::string(GLYVA_SOURCE_DIR) + "/tests/goldens/node_types.txt");
    std::set<int32_t> listed;
    unsigned code;
    std::string name;
    while (in >> std::hex >> code >> name) {
        listed.insert(static_cast<int32_t>(code));
        EXPECT_EQ(
            run([&] { EXPECT_STREQ(getNodeTypeName(static_cast<int32_t>(code)), name.c_str()); }),
            "|");
    }
    EXPECT_EQ(listed.size(), 72u);
    std::set<int32_t> probes = {INT32_MIN, -0x0100, -2, -1, 3, 0x100D, 0x12345, INT32_MAX};
    for (int32_t c : listed)
        for (int32_t probe : {c - 1, c + 1, c | 0x10000, c | 0x1000000, c | INT32_MIN})
            probes.insert(probe);
    for (int32_t probe : probes) {
        if (listed.count(probe))
            continue;
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%04x", static_cast<unsigned>(probe));
        EXPECT_EQ(run([&] { EXPECT_STREQ(getNodeTypeName(probe), "Unknown"); }),
                  std::string("plyxUtil(346): type ") + hex + " not yet supported\n|");
    }
    const char *names[] = {"No error", "Invalid enum", "Invalid value", "Invalid operation",
                           "Out of memory"};
    const uint32_t codes[] = {0x0000, 0x0500, 0x0501, 0x0502, 0x0505};
    for (int k = 0; k < 5; ++k)
        EXPECT_STREQ(getGLErrorString(codes[k]), names[k]);
    for (uint32_t other : {0x0001u, 0x0503u, 0x0504u, 0x0506u, 0x8031u, 0x10500u, 0xFFFFFFFFu})
        EXPECT_EQ(run([&] { EXPECT_STREQ(getGLErrorString(other), "Unknown"); }), "|");
}
