#include <stdio.h>
#include <string.h>

#include "util/emuKD/kd.h"

namespace
{

/* Copies at most limit bytes of src and terminates them; the caller guarantees room for
 * limit + 1 bytes. strnlen keeps the scan of src within the bytes that may be copied,
 * and memmove keeps an append of a string to itself well defined. */
void copyBounded(char *dst, const char *src, KDsize limit)
{
    KDsize len = strnlen(src, limit);
    memmove(dst, src, len);
    dst[len] = '\0';
}

} // namespace

char *kdStrchr(const char *str, KDint ch)
{
    if (!str)
        return nullptr;
    return const_cast<char *>(strchr(str, ch));
}

KDint kdStrcmp(const char *a, const char *b)
{
    if (!a || !b)
        return -1;
    return strcmp(a, b);
}

KDsize kdStrlen(const char *str)
{
    if (!str)
        return 0;
    return strlen(str);
}

KDsize kdStrnlen(const char *str, KDsize maxlen)
{
    if (!str)
        return 0;
    return strnlen(str, maxlen);
}

/* Null is outside the contract; it is refused like kdStrcmp refuses it rather than
 * dereferenced. */
KDint kdStrncmp(const char *a, const char *b, KDsize maxlen)
{
    if (!a || !b)
        return -1;
    return strncmp(a, b, maxlen);
}

KDint kdStrcpy_s(char *dst, KDsize dstsize, const char *src)
{
    if (!dst || dstsize == 0 || !src)
        return 1;
    copyBounded(dst, src, dstsize - 1);
    return 0;
}

KDint kdStrncpy_s(char *dst, KDsize dstsize, const char *src, KDsize count)
{
    if (!dst || dstsize == 0 || !src)
        return 1;
    copyBounded(dst, src, count < dstsize - 1 ? count : dstsize - 1);
    return 0;
}

KDint kdStrncat_s(char *dst, KDsize dstsize, const char *src, KDsize count)
{
    if (!dst || dstsize == 0)
        return 1;
    if (!src)
        return 0;
    KDsize used = strlen(dst);
    KDsize srclen = strlen(src);
    if (dstsize < used) {
        /* unsigned long is as wide as size_t on both Linux targets; the casts keep
         * the varargs right on i386 too. */
        fprintf(stderr, "ILLEGAL len %lu %lu max: %lu\n", static_cast<unsigned long>(used),
                static_cast<unsigned long>(srclen), static_cast<unsigned long>(dstsize));
        return 1;
    }
    return kdStrncpy_s(dst + used, dstsize - used, src, srclen < count ? srclen : count);
}
