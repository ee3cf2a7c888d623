// Hosts read these records at fixed offsets and bind to the library as loaded, so the
// layouts and the library's load-time behaviour are part of the interface.
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "Skrib/GlyvaInterface.h"
#include "glyph/Tesselator.h"
#include "support/support.hh"
#include "util/plyxTypes.h"

namespace
{

constexpr size_t kPtr = sizeof(void *);

template <typename MF> constexpr bool twoFieldRecord()
{
    return offsetof(MF, count) == 0 && offsetof(MF, values) == kPtr && sizeof(MF) == 2 * kPtr &&
           sizeof(MF::count) == 4;
}

static_assert(twoFieldRecord<MFBool>() && twoFieldRecord<MFInt32>() && twoFieldRecord<MFFloat>() &&
                  twoFieldRecord<MFVec2f>() && twoFieldRecord<MFVec3f>() &&
                  twoFieldRecord<MFRotation>() && twoFieldRecord<MFColor>() &&
                  twoFieldRecord<MFColorRGBA>() && twoFieldRecord<MFString>(),
              "multi-value arrays are a 32-bit count then a pointer");
static_assert(sizeof(SimpleVec3Array) == sizeof(MFVec3f), "contour lists are MFVec3f");

static_assert(sizeof(SFVec2f) == 8 && sizeof(SFVec3f) == 12 && sizeof(SFVec4f) == 16 &&
                  sizeof(SFColor) == 12 && sizeof(SFColorRGBA) == 16 && sizeof(SFRotation) == 16,
              "single values are packed floats");

static_assert(sizeof(glyphInfoRecord) == 36 && offsetof(glyphInfoRecord, horiAdvance) == 8 &&
                  offsetof(glyphInfoRecord, vertBearingY) == 28 &&
                  offsetof(glyphInfoRecord, contourCount) == 32,
              "glyph info is nine consecutive 32-bit values");

static_assert(offsetof(tessInfo, type) == 0 && offsetof(tessInfo, error) == 2 &&
                  sizeof(tessInfo::type) == 2 && sizeof(tessInfo::error) == 2 &&
                  offsetof(tessInfo, vertices) == kPtr &&
                  offsetof(tessInfo, indices) == kPtr + sizeof(MFVec3f) &&
                  sizeof(tessInfo) == kPtr + 2 * sizeof(MFVec3f),
              "tessInfo: two 16-bit fields, then the vertex and index arrays");

static_assert(offsetof(Tesselator, tess) == 0 && offsetof(Tesselator, info) == kPtr &&
                  offsetof(Tesselator, input) == kPtr + sizeof(tessInfo) &&
                  sizeof(Tesselator) == kPtr + sizeof(tessInfo) + sizeof(MFVec3f),
              "Tesselator: tessellator, result record, input store");

std::string run(const std::string &command)
{
    return glyva_test::captureStdout([&] { EXPECT_GE(std::system(command.c_str()), 0); });
}

} // namespace

// Nothing of the library runs when a host loads it: no static constructors, no guarded
// statics, no exit handlers; the one .init_array entry is the toolchain's frame_dummy.
TEST(LoadTime, NothingRunsWhenTheLibraryIsLoaded)
{
    const std::string lib = GLYVA_LIBRARY_FILE;
    std::string symbols = run("nm " + lib);
    ASSERT_FALSE(symbols.empty());
    EXPECT_EQ(symbols.find("_GLOBAL__sub_I"), std::string::npos);
    EXPECT_EQ(symbols.find("__cxa_guard_acquire"), std::string::npos);
    EXPECT_EQ(symbols.find("__cxa_atexit"), std::string::npos);

    const std::string sections = run("readelf -SW " + lib + " | grep -w INIT_ARRAY");
    const size_t type = sections.find("INIT_ARRAY");
    ASSERT_NE(type, std::string::npos);
    unsigned long address = 0, offset = 0, size = 0;
    ASSERT_EQ(std::sscanf(sections.c_str() + type + 10, "%lx %lx %lx", &address, &offset, &size),
              3);
#if !defined(GLYVA_SANITIZED)
    /* The sanitizers' instrumentation registers constructors of its own. */
    EXPECT_EQ(size, sizeof(void *));
#endif
}

TEST(LoadTime, NoThreadsOrEnvironment)
{
    std::string imports = run("nm -D --undefined-only " + std::string(GLYVA_LIBRARY_FILE));
    ASSERT_FALSE(imports.empty());
    for (const char *name : {" getenv", " secure_getenv", " pthread_create", " setenv"})
        EXPECT_EQ(imports.find(name), std::string::npos) << name;
}
