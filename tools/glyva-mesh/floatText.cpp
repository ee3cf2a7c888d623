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

constexpr uint64_t kPowersOf5[] = {1,         5,          25,         125,        625,     3125,
                                   15625,     78125,      390625,     1953125,    9765625, 48828125,
                                   244140625, 1220703125, 6103515625, 30517578125};

/* floor(e * log10 2), exact for the exponents formatted here. */
constexpr int floorLog10Pow2(int e)
{
    return e >= 0 ? (e * 78913) >> 18 : -((-e * 78913 + (1 << 18) - 1) >> 18);
}
static_assert(floorLog10Pow2(19) == 5 && floorLog10Pow2(-20) == -7, "log10 of powers of two");

/* A float as a decimal: digits (no trailing zero) times ten to the power exponent. */
struct Decimal {
    uint64_t digits;
    int exponent;
};

/* The shortest decimal inside the float's rounding interval, the nearest to the float
 * among those (ties to an even last digit), as every reader rounds: the interval
 * reaches halfway to each neighbour and holds its ends when the float's significand is
 * even. Everything is counted in 2^-shift units of 10^-k, with 10^k = 5^k 2^k, so that
 * it is exact in 64 bits. */
Decimal shortestDecimal(uint32_t significand, int binaryExponent)
{
    const uint64_t m = significand | 0x800000u;
    const int exponent = binaryExponent - 23; /* the float is m 2^exponent */
    /* Scaled by 10^k the float has at least nine digits before the point, all a float
     * needs. */
    const int k = 8 - floorLog10Pow2(binaryExponent);
    const uint64_t five = kPowersOf5[k];
    const int shift = 2 - exponent - k;
    const uint64_t mask = (uint64_t{1} << shift) - 1;
    /* The gap below 2^n is half the one above. */
    const uint64_t lowerGap = significand == 0 ? 1 : 2;
    const uint64_t value = 4 * m * five;
    const uint64_t lower = value - lowerGap * five, upper = value + 2 * five;
    const bool closed = (m & 1) == 0;
    uint64_t low = (lower + mask) >> shift, high = upper >> shift;
    if (!closed && (lower & mask) == 0)
        ++low;
    if (!closed && (upper & mask) == 0)
        --high;
    /* The widest power of ten with a multiple in [low, high]. */
    uint64_t below = low - 1, digits = value >> shift;
    int power = 0;
    while (high / 10 > below / 10) {
        high /= 10;
        below /= 10;
        digits /= 10;
        ++power;
    }
    /* Of those multiples (below, high], the nearest to the float. */
    const uint64_t unit = kPowersOf10[power];
    const uint64_t rest = value - ((digits * unit) << shift);
    const uint64_t half = (unit << shift);
    if (2 * rest > half || (2 * rest == half && (digits & 1) != 0))
        ++digits;
    if (digits <= below)
        digits = below + 1;
    if (digits > high)
        digits = high;
    return {digits, power - k};
}

/* The decimal digits of value, right-aligned to end; their count. */
int writeDigits(char *end, uint64_t value)
{
    static constexpr char kPairs[] = "00010203040506070809101112131415161718192021222324"
                                     "25262728293031323334353637383940414243444546474849"
                                     "50515253545556575859606162636465666768697071727374"
                                     "75767778798081828384858687888990919293949596979899";
    char *at = end;
    while (value >= 100) {
        at -= 2;
        std::memcpy(at, kPairs + 2 * (value % 100), 2);
        value /= 100;
    }
    if (value >= 10) {
        at -= 2;
        std::memcpy(at, kPairs + 2 * value, 2);
    } else {
        *--at = static_cast<char>('0' + value);
    }
    return static_cast<int>(end - at);
}

/* As printf's %e with the digits given: one before the point, an exponent of at least
 * two digits. */
char *writeScientific(char *at, const char *digits, int count, int exponent)
{
    *at++ = digits[0];
    if (count > 1) {
        *at++ = '.';
        std::memcpy(at, digits + 1, static_cast<size_t>(count - 1));
        at += count - 1;
    }
    *at++ = 'e';
    *at++ = exponent < 0 ? '-' : '+';
    const int magnitude = exponent < 0 ? -exponent : exponent;
    *at++ = static_cast<char>('0' + magnitude / 10);
    *at++ = static_cast<char>('0' + magnitude % 10);
    return at;
}

/* As printf's %f with the digits given, which stand for digits 10^exponent. */
char *writeFixed(char *at, const char *digits, int count, int exponent)
{
    const int point = count + exponent; /* digits before the point */
    if (point <= 0) {
        *at++ = '0';
        *at++ = '.';
        std::memset(at, '0', static_cast<size_t>(-point));
        at += -point;
        std::memcpy(at, digits, static_cast<size_t>(count));
        return at + count;
    }
    if (point >= count) {
        std::memcpy(at, digits, static_cast<size_t>(count));
        std::memset(at + count, '0', static_cast<size_t>(point - count));
        return at + point;
    }
    std::memcpy(at, digits, static_cast<size_t>(point));
    at[point] = '.';
    std::memcpy(at + point + 1, digits + point, static_cast<size_t>(count - point));
    return at + count + 1;
}

} // namespace

char *floatText(char *at, float value)
{
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    const int binaryExponent = static_cast<int>((bits >> 23) & 0xFF) - 127;
    if (binaryExponent < kLowestExponent || binaryExponent >= kEndExponent)
        return std::to_chars(at, at + kFloatTextRoom, value).ptr;
    if (bits >> 31)
        *at++ = '-';
    const Decimal d = shortestDecimal(bits & 0x7FFFFF, binaryExponent);
    char buffer[20];
    char *const end = buffer + sizeof buffer;
    const int count = writeDigits(end, d.digits);
    const char *digits = end - count;
    /* The shorter of the two notations, the fixed one on a tie. */
    const int scientificExponent = count - 1 + d.exponent;
    const int scientificSize = count + (count > 1) + 4;
    const int fixedSize =
        scientificExponent >= 0
            ? (count > scientificExponent + 1 ? count + 1 : scientificExponent + 1)
            : count + 1 - scientificExponent;
    if (fixedSize <= scientificSize)
        return writeFixed(at, digits, count, d.exponent);
    return writeScientific(at, digits, count, scientificExponent);
}

} // namespace glyvamesh
