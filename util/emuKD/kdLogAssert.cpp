#include <stdio.h>
#include <string.h>

#include "util/emuKD/kd.h"

/* The missing newline is written after the text instead of into a copy of it, so that
 * logging needs no memory and cannot fail for want of it. The stream lock keeps the two
 * writes together against other threads' stdio output. */
void kdLogMessage(const char *string)
{
    if (!string || string[0] == '\0')
        return;
    KDsize len = strlen(string);
    flockfile(stdout);
    fputs(string, stdout);
    if (string[len - 1] != '\n')
        putc('\n', stdout);
    funlockfile(stdout);
}
