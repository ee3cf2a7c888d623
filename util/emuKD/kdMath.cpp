#include <math.h>
#include <stdint.h>
#include <string.h>

#include "util/emuKD/kd.h"

/* Each function is libm's single-precision one, arguments in the same order and the
 * result untouched, so that hosts get exactly libm's values and error reporting. */

KDfloat32 kdAcosf(KDfloat32 x)
{
    return acosf(x);
}

KDfloat32 kdAsinf(KDfloat32 x)
{
    return asinf(x);
}

KDfloat32 kdAtanf(KDfloat32 x)
{
    return atanf(x);
}

KDfloat32 kdAtan2f(KDfloat32 y, KDfloat32 x)
{
    return atan2f(y, x);
}

KDfloat32 kdCosf(KDfloat32 x)
{
    return cosf(x);
}

KDfloat32 kdSinf(KDfloat32 x)
{
    return sinf(x);
}

KDfloat32 kdTanf(KDfloat32 x)
{
    return tanf(x);
}

KDfloat32 kdExpf(KDfloat32 x)
{
    return expf(x);
}

KDfloat32 kdLogf(KDfloat32 x)
{
    return logf(x);
}

/* Clearing the sign bit needs no call, turns -0 into +0 and keeps a NaN a NaN. */
KDfloat32 kdFabsf(KDfloat32 x)
{
    uint32_t bits;
    memcpy(&bits, &x, sizeof bits);
    bits &= 0x7fffffffu;
    memcpy(&x, &bits, sizeof x);
    return x;
}

KDfloat32 kdPowf(KDfloat32 x, KDfloat32 y)
{
    return powf(x, y);
}

KDfloat32 kdSqrtf(KDfloat32 x)
{
    return sqrtf(x);
}

KDfloat32 kdCeilf(KDfloat32 x)
{
    return ceilf(x);
}

KDfloat32 kdFloorf(KDfloat32 x)
{
    return floorf(x);
}

KDfloat32 kdFmodf(KDfloat32 x, KDfloat32 y)
{
    return fmodf(x, y);
}
