#include "util/emuKD/kd.h"

/* One code for the whole process, unsynchronised by design: concurrent failures
 * overwrite each other. Static storage keeps it zero from load without any
 * initialiser running. */
static KDint __kdError;

KDint kdGetError(void)
{
    return __kdError;
}

void kdSetError(KDint error)
{
    __kdError = error;
}
