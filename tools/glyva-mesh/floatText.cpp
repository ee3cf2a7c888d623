#include "floatText.h"

#include <charconv>
#include <cstdint>
#include <cstring>

namespace glyvamesh
{
namespace
{

/* Binary exponents formatted here: magnitudes from 2^-20 up to 2^20, where every
 * quantity below fits 64 bits and every text is short. */
constexpr int kLowestExponent = -20, kEndExponent = 20;

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
constexpr bool kLittleEndian = true;
#else
constexpr bool kLittleEndian = false;
#endif

constexpr uint64_t kPowersOf10[] = {1,
                                    10,
                                    100,
                                    1000,
                                    10000,
                                    100000,
                                    1000000,
                                    10000000,
                                    100000000,
                                    1000000000,
                                    10000000000,
                                    100000000000,
                                    1000000000000,
                                    10000000000000,
                                    100000000000000,
                                    1000000000000000};

/* How a binade is scaled: by 10^k = 5^k 2^k, the smallest power that makes its floats'
 * rounding intervals two units wide at least, so that one always holds a whole number
 * inside and seldom more than one multiple of 10 (all shorter texts are coarser than
 * these); counted in units of 2^-shift, where the midpoints between neighbours fall on
 * whole units. Scaled, its floats have digits or digits + 1 digits before the point,
 * the latter from 10^digits. */
struct Scale {
    uint64_t five = 1;
    int shift = 0;
    int k = 0;
    int digits = 0;
};

constexpr Scale scaleOf(int binaryExponent)
{
    Scale s;
    /* The float is m 2^(binaryExponent - 23), 2^23 <= m < 2^24, its interval as wide as
     * 2^(binaryExponent - 23). */
    for (uint64_t ten = 1; ten < uint64_t{1} << (24 - binaryExponent); ten *= 10) {
        s.five *= 5;
        ++s.k;
    }
    /* Its midpoints are (4m +- 2) 2^(binaryExponent - 25). */
    s.shift = 2 - (binaryExponent - 23) - s.k;
    const int twos = binaryExponent + s.k;
    const uint64_t least = twos >= 0 ? s.five << twos : s.five >> -twos;
    for (uint64_t ten = 1; ten <= least; ten *= 10)
        ++s.digits;
    return s;
}

struct Scales {
    Scale of[kEndExponent - kLowestExponent];
    constexpr Scales() : of()
    {
        for (int e = kLowestExponent; e < kEndExponent; ++e)
            of[e - kLowestExponent] = scaleOf(e);
    }
};
constexpr Scales kScales;
static_assert(kScales.of[0].five < (uint64_t{1} << 37) &&
                  kScales.of[kEndExponent - kLowestExponent - 1].shift > 0,
              "4m 5^k fits 64 bits, midpoints fall on units");

/* A float as a decimal: digits (no trailing zero) times ten to the power exponent, and
 * their count. */
struct Decimal {
    uint32_t digits;
    int exponent;
    int count;
};

/* Whether (below, high] holds a multiple of Power, with high - below = width. */
template <uint32_t Power> uint32_t holdsMultiple(uint32_t high, uint32_t width)
{
    return high % Power < width;
}

/* The shortest decimal inside the float's rounding interval, the nearest to the float
 * among those (ties to an even last digit), as every reader rounds: the interval
 * reaches halfway to each neighbour and holds its ends when the float's significand is
 * even. The significand is not zero: then the interval is even about the float, and the
 * nearest multiple of a power of ten is inside whenever one is. */
Decimal shortestDecimal(uint32_t significand, int binaryExponent)
{
    const Scale &s = kScales.of[binaryExponent - kLowestExponent];
    const uint64_t m = significand | 0x800000u;
    const uint64_t value = 4 * m * s.five;
    const uint64_t lower = value - 2 * s.five, upper = value + 2 * s.five;
    const uint64_t mask = (uint64_t{1} << s.shift) - 1, open = m & 1;
    /* The interval's whole numbers, (below, high]. */
    const uint64_t below = ((lower + mask) >> s.shift) - 1 + (open & ((lower & mask) == 0));
    const uint64_t high = (upper >> s.shift) - (open & ((upper & mask) == 0));
    /* Scaled, the floats are below 10 2^25: 32 bits, where division by a constant is
     * cheaper. */
    const uint32_t whole = static_cast<uint32_t>(value >> s.shift);
    const uint32_t top = static_cast<uint32_t>(high), width = static_cast<uint32_t>(high - below);
    /* The widest power of ten with a multiple there: the first two tested side by side
     * and chosen by masks, as a branch on them is a guess the processor often loses;
     * wider ones, where a round number falls in, one by one. */
    const uint32_t by10 = holdsMultiple<10>(top, width), by100 = holdsMultiple<100>(top, width);
    int power = static_cast<int>(by10 + by100);
    uint32_t shortest = whole;
    shortest ^= (shortest ^ whole / 10) & (0 - by10);
    shortest ^= (shortest ^ whole / 100) & (0 - by100);
    if (by100 && holdsMultiple<1000>(top, width)) {
        while (top % kPowersOf10[power + 1] < width)
            ++power;
        shortest = static_cast<uint32_t>(whole / kPowersOf10[power]);
    }
    uint64_t digits = shortest;
    const uint64_t unit = kPowersOf10[power];
    const uint64_t rest2 = 2 * (value - ((digits * unit) << s.shift)), unit2 = unit << s.shift;
    digits += (rest2 > unit2) | ((rest2 == unit2) & digits);
    /* As many digits as the float had to the power, one more where rounding up carried
     * (0.0099999998 to 0.01). */
    int count = s.digits + (whole >= kPowersOf10[s.digits]) - power;
    count += digits >= kPowersOf10[count];
    return {static_cast<uint32_t>(digits), power - s.k, count};
}

/* Eight digits of value (below 10^8) as text, the first in the lowest byte: the halves,
 * then their pairs, then single digits are split in the lanes of one integer. */
uint64_t eightDigits(uint32_t value)
{
    uint64_t lanes = (value / 10000) | (uint64_t{value % 10000} << 32);
    const uint64_t hundreds = ((lanes * 10486) >> 20) & 0x0000007F0000007Full;
    lanes = hundreds | ((lanes - hundreds * 100) << 16);
    const uint64_t tens = ((lanes * 103) >> 10) & 0x000F000F000F000Full;
    lanes = tens | ((lanes - tens * 10) << 8);
    return lanes | 0x3030303030303030ull;
}

/* The digits of value (below 10^9) at the end of nine bytes at text. */
void writeDigits(char *text, uint32_t value)
{
    text[0] = static_cast<char>('0' + value / 100000000);
    const uint64_t rest = eightDigits(value % 100000000);
    std::memcpy(text + 1, &rest, sizeof rest);
}

/* Digits are moved in blocks of this many bytes, past their end. */
constexpr size_t kBlock = 16;

/* As printf's %e with the digits given: one before the point, an exponent of at least
 * two digits. */
char *writeScientific(char *at, const char *digits, int count, int exponent)
{
    std::memcpy(at, digits, kBlock);
    std::memcpy(at + 2, digits + 1, kBlock);
    at[1] = '.';
    at += count > 1 ? count + 1 : 1;
    const int magnitude = exponent < 0 ? -exponent : exponent;
    const char text[4] = {'e', exponent < 0 ? '-' : '+', static_cast<char>('0' + magnitude / 10),
                          static_cast<char>('0' + magnitude % 10)};
    std::memcpy(at, text, sizeof text);
    return at + sizeof text;
}

/* As printf's %f with the digits given, which stand for digits 10^exponent. */
char *writeFixed(char *at, const char *digits, int count, int exponent)
{
    const int point = count + exponent; /* digits before the point */
    if (point <= 0) {
        std::memcpy(at, "0.000000", 8);
        std::memcpy(at + 2 - point, digits, kBlock);
        return at + 2 - point + count;
    }
    if (point >= count) {
        std::memcpy(at, digits, kBlock);
        std::memset(at + count, '0', kBlock);
        return at + point;
    }
    std::memcpy(at, digits, kBlock);
    std::memcpy(at + point + 1, digits + point, kBlock);
    at[point] = '.';
    return at + count + 1;
}

} // namespace

char *floatText(char *at, float value)
{
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    const int binaryExponent = static_cast<int>((bits >> 23) & 0xFF) - 127;
    /* Powers of two have a narrower gap below: few enough to be left to the library, as
     * is everything where digits do not go to memory first in the lowest byte. */
    if (binaryExponent < kLowestExponent || binaryExponent >= kEndExponent ||
        (bits & 0x7FFFFF) == 0 || !kLittleEndian)
        return std::to_chars(at, at + kFloatTextSize, value).ptr;
    *at = '-';
    at += bits >> 31;
    const Decimal d = shortestDecimal(bits & 0x7FFFFF, binaryExponent);
    char text[9 + kBlock] = {};
    writeDigits(text, d.digits);
    const char *const digits = text + 9 - d.count;
    /* The shorter of the two notations, the fixed one on a tie: %e spends a point (with
     * more than one digit) and four characters of exponent, %f the zeros after the point
     * or before it. */
    const int scientificExponent = d.count - 1 + d.exponent;
    const int spare = 3 + (d.count > 1);
    if (scientificExponent >= -spare && scientificExponent <= d.count + spare)
        return writeFixed(at, digits, d.count, d.exponent);
    return writeScientific(at, digits, d.count, scientificExponent);
}

} // namespace glyvamesh
