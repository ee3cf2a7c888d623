/* The tool's float text against the standard library's std::to_chars, which writes the
 * shortest text that reads back as the same float: a stride through all 2^32 bit
 * patterns, and the neighbourhoods where the text changes shape (the ends of binades and
 * of the magnitudes formatted without the library, powers of ten, the switch between
 * %f and %e), each float also negated; and nothing written past the room it is given. */
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "floatText.h"

namespace
{

using glyvamesh::floatText;
using glyvamesh::kFloatTextRoom;
using glyvamesh::kFloatTextSize;

float fromBits(uint32_t bits)
{
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

uint32_t bitsOf(float value)
{
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

/* The library's text and ours for the float with these bits, ours written into a
 * guarded room. */
::testing::AssertionResult sameText(uint32_t bits)
{
    const float value = fromBits(bits);
    char expected[64];
    const std::string library(expected,
                              std::to_chars(expected, expected + sizeof expected, value).ptr);
    char room[kFloatTextRoom + 16];
    std::memset(room, '#', sizeof room);
    const std::string ours(room, floatText(room, value));
    if (ours != library)
        return ::testing::AssertionFailure()
               << std::hex << bits << ": \"" << ours << "\" for \"" << library << "\"";
    if (ours.size() > kFloatTextSize)
        return ::testing::AssertionFailure() << library << " is longer than kFloatTextSize";
    for (size_t k = kFloatTextRoom; k < sizeof room; ++k)
        if (room[k] != '#')
            return ::testing::AssertionFailure() << library << ": written past the room";
    return ::testing::AssertionSuccess();
}

/* Every float with bits from first for count steps of step, and its negation; the first
 * few differences reported. */
void expectSameTexts(uint64_t first, uint64_t count, uint64_t step)
{
    int reported = 0;
    for (uint64_t k = 0; k < count && reported < 5; ++k) {
        const uint32_t bits = static_cast<uint32_t>(first + k * step);
        for (uint32_t sign : {0u, 0x80000000u}) {
            const ::testing::AssertionResult same = sameText(bits ^ sign);
            if (!same) {
                ADD_FAILURE() << same.message();
                ++reported;
            }
        }
    }
}

/* The floats around value, radius steps of one unit in the last place each way. */
void expectSameTextsAround(float value, uint32_t radius)
{
    expectSameTexts(bitsOf(std::fabs(value)) - radius, 2 * radius + 1, 1);
}

TEST(FloatText, MatchesTheLibraryThroughAllBitPatterns)
{
    /* A prime stride, so that every significand's low bits come round. */
    expectSameTexts(0, (uint64_t{1} << 32) / 4093, 4093);
}

TEST(FloatText, MatchesTheLibraryAtTheEndsOfEveryBinade)
{
    for (int exponent = -30; exponent <= 30; ++exponent)
        expectSameTextsAround(std::ldexp(1.0f, exponent), 300);
}

TEST(FloatText, MatchesTheLibraryAroundPowersOfTen)
{
    /* Where the digits round up to a power of ten (0.0099999998 is 0.01), and where %e
     * becomes shorter than %f: below 1e-4 and from 1e7 on. */
    for (int exponent = -9; exponent <= 9; ++exponent)
        expectSameTextsAround(std::pow(10.0f, static_cast<float>(exponent)), 300);
    for (float value : {0.001234f, 0.0001234f, 0.00001234f, 1234567.0f, 12345678.0f})
        expectSameTextsAround(value, 300);
}

TEST(FloatText, MatchesTheLibraryOnValuesOfEveryKind)
{
    /* Zero, signed zero, the smallest and largest floats, infinity, not-a-number, and
     * coordinates as a page of text has them. */
    const std::vector<uint32_t> kinds = {
        0x00000000u,        0x80000000u,          0x00000001u,      0x007FFFFFu,
        0x00800000u,        0x7F7FFFFFu,          0x7F800000u,      0xFF800000u,
        0x7FC00000u,        0xFFC00000u,          bitsOf(0.5f),     bitsOf(0.07040405f),
        bitsOf(10.070404f), bitsOf(-0.33621216f), bitsOf(123.456f), bitsOf(1.0f / 3.0f),
        bitsOf(2.5f)};
    for (uint32_t bits : kinds)
        EXPECT_TRUE(sameText(bits));
}

} // namespace
