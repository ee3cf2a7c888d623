#ifndef UTIL_EMUKD_KDFILE_HH
#define UTIL_EMUKD_KDFILE_HH

#include <stdio.h>

/* The handle behind the opaque KDFile of kd.h. kdFopen never returns one with a null
 * stream; the file functions still accept such a handle and report it as EBADF. */
struct KDFile {
    FILE *stream;
};

#endif
