#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include <gtest/gtest.h>

#include "util/emuKD/kd.h"

namespace
{

uint32_t bitsOf(float f)
{
    uint32_t b;
    memcpy(&b, &f, sizeof b);
    return b;
}

/* Inputs read through volatile so that the compiler cannot fold libm's calls at
 * build time with a rounding of its own. */
volatile float kInputs[] = {0.0f,     -0.0f,   0.5f,     -0.5f,     1.0f,   -1.0f,  1.5f,
                            -1.5f,    2.0f,    3.14159f, -7.25f,    100.0f, 1e-30f, 1e30f,
                            -3.4e38f, 3.4e38f, INFINITY, -INFINITY, NAN};

using Unary = float (*)(float);
using Binary = float (*)(float, float);

struct UnaryPair {
    const char *name;
    Unary kd;
    Unary libm;
};

struct BinaryPair {
    const char *name;
    Binary kd;
    Binary libm;
};

float libmAcos(float x)
{
    return acosf(x);
}
float libmAsin(float x)
{
    return asinf(x);
}
float libmAtan(float x)
{
    return atanf(x);
}
float libmCos(float x)
{
    return cosf(x);
}
float libmSin(float x)
{
    return sinf(x);
}
float libmTan(float x)
{
    return tanf(x);
}
float libmExp(float x)
{
    return expf(x);
}
float libmLog(float x)
{
    return logf(x);
}
float libmFabs(float x)
{
    return fabsf(x);
}
float libmSqrt(float x)
{
    return sqrtf(x);
}
float libmCeil(float x)
{
    return ceilf(x);
}
float libmFloor(float x)
{
    return floorf(x);
}
float libmAtan2(float y, float x)
{
    return atan2f(y, x);
}
float libmPow(float x, float y)
{
    return powf(x, y);
}
float libmFmod(float x, float y)
{
    return fmodf(x, y);
}

const UnaryPair kUnary[] = {
    {"acos", kdAcosf, libmAcos}, {"asin", kdAsinf, libmAsin}, {"atan", kdAtanf, libmAtan},
    {"cos", kdCosf, libmCos},    {"sin", kdSinf, libmSin},    {"tan", kdTanf, libmTan},
    {"exp", kdExpf, libmExp},    {"log", kdLogf, libmLog},    {"fabs", kdFabsf, libmFabs},
    {"sqrt", kdSqrtf, libmSqrt}, {"ceil", kdCeilf, libmCeil}, {"floor", kdFloorf, libmFloor},
};

const BinaryPair kBinary[] = {
    {"atan2", kdAtan2f, libmAtan2},
    {"pow", kdPowf, libmPow},
    {"fmod", kdFmodf, libmFmod},
};

} // namespace

/* Bit for bit, NaN sign included, and the same errno as libm leaves. */
TEST(KdMath, EveryFunctionGivesLibmsResultAndErrno)
{
    for (const UnaryPair &f : kUnary) {
        for (float x : kInputs) {
            errno = 0;
            float expected = f.libm(x);
            int expectedErrno = errno;
            errno = 0;
            float got = f.kd(x);
            EXPECT_EQ(bitsOf(got), bitsOf(expected)) << f.name << "(" << x << ")";
            EXPECT_EQ(errno, expectedErrno) << f.name << "(" << x << ")";
        }
    }
    for (const BinaryPair &f : kBinary) {
        for (float a : kInputs) {
            for (float b : kInputs) {
                errno = 0;
                float expected = f.libm(a, b);
                int expectedErrno = errno;
                errno = 0;
                float got = f.kd(a, b);
                EXPECT_EQ(bitsOf(got), bitsOf(expected)) << f.name << "(" << a << ", " << b << ")";
                EXPECT_EQ(errno, expectedErrno) << f.name << "(" << a << ", " << b << ")";
            }
        }
    }
}

TEST(KdMath, RecordsNoPlatformErrorCode)
{
    kdSetError(77);
    (void)kdSqrtf(-1.0f);
    (void)kdLogf(0.0f);
    (void)kdFmodf(1.0f, 0.0f);
    (void)kdAcosf(2.0f);
    EXPECT_EQ(kdGetError(), 77);
}

TEST(KdMath, DomainEdges)
{
    EXPECT_TRUE(std::isnan(kdSqrtf(-1.0f)));
    EXPECT_EQ(bitsOf(kdSqrtf(0.0f)), bitsOf(0.0f));
    EXPECT_EQ(bitsOf(kdSqrtf(-0.0f)), bitsOf(-0.0f));
    EXPECT_TRUE(std::isnan(kdFmodf(1.0f, 0.0f)));
    EXPECT_EQ(kdLogf(0.0f), -std::numeric_limits<float>::infinity());
}

TEST(KdMath, ArgumentOrderOfTheBinaryFunctions)
{
    EXPECT_FLOAT_EQ(kdAtan2f(1.0f, 0.0f), 1.5707964f);
    /* y first: (1, -1) lies in the second quadrant. */
    EXPECT_FLOAT_EQ(kdAtan2f(1.0f, -1.0f), 2.3561945f);
    EXPECT_EQ(kdPowf(2.0f, 10.0f), 1024.0f);
    EXPECT_EQ(kdPowf(10.0f, 2.0f), 100.0f);
    EXPECT_EQ(kdFmodf(5.5f, 2.0f), 1.5f);
    EXPECT_EQ(kdFmodf(-5.5f, 2.0f), -1.5f);
    EXPECT_EQ(kdFmodf(2.0f, 5.5f), 2.0f);
}

TEST(KdMath, RoundingAndAbsoluteValue)
{
    EXPECT_EQ(kdCeilf(-1.5f), -1.0f);
    EXPECT_EQ(kdFloorf(-1.5f), -2.0f);
    EXPECT_EQ(kdCeilf(1.25f), 2.0f);
    EXPECT_EQ(kdFloorf(1.75f), 1.0f);

    EXPECT_EQ(bitsOf(kdFabsf(-0.0f)), bitsOf(0.0f));
    EXPECT_EQ(kdFabsf(-3.25f), 3.25f);
    EXPECT_EQ(kdFabsf(3.25f), 3.25f);
    EXPECT_EQ(kdFabsf(-INFINITY), INFINITY);
    float negativeNan = -std::numeric_limits<float>::quiet_NaN();
    float cleared = kdFabsf(negativeNan);
    EXPECT_TRUE(std::isnan(cleared));
    EXPECT_EQ(bitsOf(cleared), bitsOf(negativeNan) & 0x7fffffffu);
}
