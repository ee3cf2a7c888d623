#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "fuzz/fuzzSupport.hh"
#include "util/emuKD/kd.h"

/* The bounded string and the memory functions with arbitrary sizes and counts. Every
 * destination lies in a real buffer followed by guard bytes; after each call the
 * whole buffer is compared with what the function may do by its contract, so any
 * byte written at or past the stated size, or any other difference, traps. Reads go
 * through heap blocks of exactly the size the call may look at, so that the address
 * sanitizer reports a read past them. */

namespace
{

constexpr size_t kCapacity = 64;
constexpr size_t kGuard = 16;
constexpr size_t kMaxSteps = 32;
constexpr uint8_t kFill = 0xA5;

using fuzzsupport::check;

int sign(int v)
{
    return (v > 0) - (v < 0);
}

using fuzzsupport::Reader;

/* A count: mostly small, sometimes one of the sizes where arithmetic wraps. */
KDsize count(Reader &in)
{
    static const KDsize kLarge[] = {SIZE_MAX,    SIZE_MAX - 1, SIZE_MAX / 2, 0x80000000u,
                                    0xFFFFFFFFu, kCapacity,    kCapacity + 1};
    const uint8_t b = in.byte();
    if (b < 224)
        return b % (kCapacity + 8);
    return kLarge[b % (sizeof kLarge / sizeof kLarge[0])];
}

/* The destination buffer: a string of the input's bytes, then fill, then guard bytes,
 * with a zero byte at the very end so that a source inside it is always terminated. */
struct Buffer {
    char bytes[kCapacity + kGuard];
    void fill(Reader &in)
    {
        memset(bytes, kFill, sizeof bytes);
        const size_t length = in.byte() % kCapacity;
        for (size_t i = 0; i < length; ++i) {
            const uint8_t b = in.byte();
            bytes[i] = static_cast<char>(b ? b : 'z');
        }
        bytes[length] = '\0';
        bytes[sizeof bytes - 1] = '\0';
    }
};

/* A heap string of the input's bytes holding exactly its length and terminator. */
char *heapString(Reader &in)
{
    const size_t length = in.byte() % (kCapacity + 16);
    char *s = static_cast<char *>(malloc(length + 1));
    check(s != nullptr);
    for (size_t i = 0; i < length; ++i) {
        const uint8_t b = in.byte();
        s[i] = static_cast<char>(b ? b : 'y');
    }
    s[length] = '\0';
    return s;
}

/* A heap block of exactly length raw bytes (malloc(0) is avoided: it may be null). */
uint8_t *heapBlock(Reader &in, size_t length)
{
    uint8_t *block = static_cast<uint8_t *>(malloc(length ? length : 1));
    check(block != nullptr);
    for (size_t i = 0; i < length; ++i)
        block[i] = in.byte();
    return block;
}

size_t minimum(size_t a, size_t b)
{
    return a < b ? a : b;
}

/* The expected result of a bounded copy of n bytes of src to dst: those bytes and a
 * terminator, nothing else. */
void expectCopy(char *expected, size_t at, const char *src, size_t n)
{
    memcpy(expected + at, src, n);
    expected[at + n] = '\0';
}

struct Step {
    Buffer buffer;
    char expected[sizeof(Buffer::bytes)];
    char *dst;
    size_t at;   /* the destination's offset in the buffer */
    KDsize size; /* its stated size, never past the buffer's capacity */
    void begin(Reader &in)
    {
        buffer.fill(in);
        at = in.byte() % 8;
        size = in.byte() % (kCapacity - at + 1);
        dst = buffer.bytes + at;
        memcpy(expected, buffer.bytes, sizeof expected);
    }
    void finish() const { check(memcmp(expected, buffer.bytes, sizeof expected) == 0); }
};

/* The source of a copy: null, a string inside the destination buffer, or a heap one. */
const char *source(Reader &in, uint8_t flags, Step &step, char **owned)
{
    *owned = nullptr;
    if (flags & 1)
        return nullptr;
    if (flags & 2)
        return step.buffer.bytes + in.byte() % sizeof step.buffer.bytes;
    *owned = heapString(in);
    return *owned;
}

void stringCopy(Reader &in, uint8_t kind, uint8_t flags)
{
    static Step step;
    step.begin(in);
    char *owned;
    const bool nullDst = (flags & 4) != 0;
    const char *src = source(in, flags, step, &owned);
    const KDsize n = count(in);
    /* The source as it was: it may lie in the destination buffer. */
    char before[sizeof step.buffer.bytes];
    const size_t s = src ? strlen(src) : 0;
    if (src)
        memcpy(before, src, minimum(s + 1, sizeof before));
    char *dst = nullDst ? nullptr : step.dst;

    KDint result;
    KDint expectedResult = 1;
    if (kind == 0) {
        result = kdStrcpy_s(dst, step.size, src);
        if (dst && step.size > 0 && src) {
            expectCopy(step.expected, step.at, before, minimum(s, step.size - 1));
            expectedResult = 0;
        }
    } else if (kind == 1) {
        result = kdStrncpy_s(dst, step.size, src, n);
        if (dst && step.size > 0 && src) {
            expectCopy(step.expected, step.at, before, minimum(minimum(s, n), step.size - 1));
            expectedResult = 0;
        }
    } else {
        const size_t d = strlen(step.dst);
        result = kdStrncat_s(dst, step.size, src, n);
        if (dst && step.size > 0 && !src) {
            expectedResult = 0;
        } else if (dst && step.size > 0 && step.size > d) {
            const size_t room = step.size - d - 1;
            expectCopy(step.expected, step.at + d, before, minimum(minimum(s, n), room));
            expectedResult = 0;
        }
    }
    check(result == expectedResult);
    step.finish();
    free(owned);
}

void memoryStep(Reader &in, uint8_t kind, uint8_t flags)
{
    static Step step;
    step.begin(in);
    const size_t room = step.size;
    const size_t len = in.byte() % (room + 1);
    const size_t offset = room - len ? in.byte() % (room - len + 1) : 0;
    char *dst = (flags & 4) ? nullptr : step.dst + offset;
    if (kind == 0) {
        uint8_t *src = (flags & 1) ? nullptr : heapBlock(in, len);
        void *result = kdMemcpy(dst, src, len);
        check(result == (dst && src ? dst : nullptr));
        if (dst && src)
            memcpy(step.expected + step.at + offset, src, len);
        free(src);
    } else if (kind == 1) {
        const size_t from = room - len ? in.byte() % (room - len + 1) : 0;
        const char *src = step.dst + from;
        void *result = kdMemmove(dst, src, len);
        check(result == dst);
        if (dst)
            memmove(step.expected + step.at + offset, step.expected + step.at + from, len);
    } else {
        const int value = static_cast<int8_t>(in.byte()) * 3;
        void *result = kdMemset(dst, value, len);
        check(result == dst);
        if (dst)
            memset(step.expected + step.at + offset, value, len);
    }
    step.finish();
}

/* The reading functions: results equal libc's, reads stay in the given bounds. */
void readStep(Reader &in, uint8_t kind, uint8_t flags)
{
    const size_t len = in.byte() % (kCapacity + 1);
    uint8_t *a = (flags & 1) ? nullptr : heapBlock(in, len);
    uint8_t *b = (flags & 2) ? nullptr : heapBlock(in, len);
    const int value = static_cast<int8_t>(in.byte());
    switch (kind) {
    case 0:
        check(kdMemchr(a, value, len) == (a ? memchr(a, value, len) : nullptr));
        break;
    case 1:
        check(a && b ? sign(kdMemcmp(a, b, len)) == sign(memcmp(a, b, len))
                     : kdMemcmp(a, b, len) == -1);
        break;
    default:
        /* Unterminated blocks: only a length bound keeps the scan inside them. */
        check(kdStrnlen(reinterpret_cast<char *>(a), len) ==
              (a ? strnlen(reinterpret_cast<char *>(a), len) : 0));
        if (a && b)
            check(sign(kdStrncmp(reinterpret_cast<char *>(a), reinterpret_cast<char *>(b), len)) ==
                  sign(strncmp(reinterpret_cast<char *>(a), reinterpret_cast<char *>(b), len)));
        break;
    }
    free(a);
    free(b);
}

void textStep(Reader &in, uint8_t flags)
{
    char *a = (flags & 1) ? nullptr : heapString(in);
    char *b = (flags & 2) ? nullptr : heapString(in);
    const int ch = (flags & 4) ? static_cast<int8_t>(in.byte()) : 0;
    check(kdStrlen(a) == (a ? strlen(a) : 0));
    check(kdStrnlen(a, SIZE_MAX) == (a ? strlen(a) : 0));
    check(kdStrchr(a, ch) == (a ? strchr(a, ch) : nullptr));
    check(a && b ? sign(kdStrcmp(a, b)) == sign(strcmp(a, b)) : kdStrcmp(a, b) == -1);
    free(a);
    free(b);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Reader in = {data, size, 0};
    for (size_t steps = 0; in.more() && steps < kMaxSteps; ++steps) {
        const uint8_t op = in.byte();
        const uint8_t kind = op % 10, flags = op / 10;
        if (kind < 3)
            stringCopy(in, kind, flags);
        else if (kind < 6)
            memoryStep(in, kind - 3, flags);
        else if (kind < 9)
            readStep(in, kind - 6, flags);
        else
            textStep(in, flags);
    }
    return 0;
}
