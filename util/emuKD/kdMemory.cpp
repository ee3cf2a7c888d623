#include <stdlib.h>
#include <string.h>

#include "util/emuKD/kd.h"

/* libc's allocator, unchanged: a size of 0 and exhaustion behave as malloc and realloc
 * define them, and no error code is recorded; callers decide what a null means. */

void *kdMalloc(KDsize size)
{
    return malloc(size);
}

void *kdRealloc(void *ptr, KDsize size)
{
    return realloc(ptr, size);
}

void kdFree(void *ptr)
{
    if (!ptr)
        return;
    free(ptr);
}

void *kdMemchr(const void *src, KDint byte, KDsize len)
{
    if (!src)
        return nullptr;
    return const_cast<void *>(memchr(src, byte, len));
}

KDint kdMemcmp(const void *a, const void *b, KDsize len)
{
    if (!a || !b)
        return -1;
    return memcmp(a, b, len);
}

void *kdMemcpy(void *dst, const void *src, KDsize len)
{
    if (!dst || !src)
        return nullptr;
    return memcpy(dst, src, len);
}

void *kdMemmove(void *dst, const void *src, KDsize len)
{
    if (!dst || !src)
        return nullptr;
    return memmove(dst, src, len);
}

void *kdMemset(void *dst, KDint byte, KDsize len)
{
    if (!dst)
        return nullptr;
    return memset(dst, byte, len);
}
