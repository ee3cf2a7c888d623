#include <limits.h>
#include <stdarg.h>
#include <stdio.h>

#include "util/emuKD/kd.h"
#include "util/plyxUtil.h"

namespace
{

/* Each local text buffer: a message, or a prefixed message, of at most 2047 characters
 * is composed without touching the heap beyond its one result copy. */
const int kLocalBufferSize = 2048;
/* Room added for the source name and line when a long message is prefixed. */
const int kPrefixRoom = 256;

/* printf's %s of a null pointer is undefined; this is the text glibc would print. */
const char *printableName(const char *file)
{
    return file ? file : "(null)";
}

void reportNullMessage(const char *file, int line)
{
    fprintf(stderr, "NULL Msg for %s/%d)\n", printableName(file), line);
}

/* A message that fits the local buffer: prefixed in a second local buffer, and dropped
 * when the prefix pushes it past that buffer. */
char *composeShort(const char *file, int line, const char *message)
{
    if (!file)
        return plyxStrdup(message);
    char prefixed[kLocalBufferSize];
    int m = snprintf(prefixed, sizeof prefixed, "%s(%d): %s", file, line, message);
    if (m < 0)
        return nullptr;
    if (m >= kLocalBufferSize) {
        fprintf(stderr, "NEED expand2 n: %d\n", m);
        return nullptr;
    }
    return plyxStrdup(prefixed);
}

/* Prefixes a long message of length n into a buffer of n + 256 bytes, cutting what does
 * not fit. The long message is released in every case. */
char *prefixLong(const char *file, int line, char *message, int n)
{
    if (n > INT_MAX - kPrefixRoom) {
        kdFree(message);
        return nullptr;
    }
    int buflen = n + kPrefixRoom;
    fprintf(stderr, "expand n: %d buflen: %d\n", n, buflen);
    char *prefixed = static_cast<char *>(kdMalloc(static_cast<KDsize>(buflen)));
    fprintf(stderr, "expand2 n: %d\n", n);
    if (prefixed &&
        snprintf(prefixed, static_cast<KDsize>(buflen), "%s(%d): %s", file, line, message) < 0) {
        kdFree(prefixed);
        prefixed = nullptr;
    }
    kdFree(message);
    return prefixed;
}

/* A message of n >= 2048 characters is formatted again, whole, into the heap. The size
 * is counted in KDsize, where n + 1 cannot overflow. */
char *composeLong(const char *file, int line, const char *format, va_list args, int n)
{
    KDsize size = static_cast<KDsize>(n) + 1;
    char *message = static_cast<char *>(kdMalloc(size));
    if (!message)
        return nullptr;
    if (vsnprintf(message, size, format, args) != n) {
        kdFree(message);
        return nullptr;
    }
    if (!file)
        return message;
    return prefixLong(file, line, message, n);
}

/* The composed text, "%s(%d): %s" with a source name and the bare message without one;
 * null for a null format, an empty or unformattable message, a dropped one, or no
 * memory. The caller owns the result. */
char *createMessageString(const char *file, int line, const char *format, va_list args)
{
    if (!format)
        return nullptr;
    va_list again;
    va_copy(again, args);
    char message[kLocalBufferSize];
    int n = vsnprintf(message, sizeof message, format, args);
    char *composed = nullptr;
    if (n >= kLocalBufferSize)
        composed = composeLong(file, line, format, again, n);
    else if (n > 0)
        composed = composeShort(file, line, message);
    va_end(again);
    return composed;
}

/* The three levels that log only a composed message and report only a missing format. */
void logIfFormatted(const char *file, int line, const char *format, va_list args)
{
    if (!format) {
        reportNullMessage(file, line);
        return;
    }
    char *message = createMessageString(file, line, format, args);
    if (!message)
        return;
    kdLogMessage(message);
    kdFree(message);
}

} // namespace

char *plyxStrdup(const char *text)
{
    KDsize n = kdStrlen(text);
    if (n == 0)
        return nullptr;
    char *copy = static_cast<char *>(kdMalloc(n + 1));
    if (!copy)
        return nullptr;
    kdStrcpy_s(copy, n + 1, text);
    return copy;
}

/* Unlike the other levels, debug reports every message it could not compose. */
void plyxDebugMessage(const char *file, int line, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    char *message = createMessageString(file, line, format, args);
    va_end(args);
    if (!message) {
        reportNullMessage(file, line);
        return;
    }
    kdLogMessage(message);
    kdFree(message);
}

void plyxWarnMessage(const char *file, int line, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    logIfFormatted(file, line, format, args);
    va_end(args);
}

void plyxErrorMessage(const char *file, int line, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    logIfFormatted(file, line, format, args);
    va_end(args);
}

void plyxScriptMessage(const char *file, int line, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    logIfFormatted(file, line, format, args);
    va_end(args);
}
