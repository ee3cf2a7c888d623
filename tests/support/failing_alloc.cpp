#include "support/support.hh"

#include <cstddef>

/* Interposes the C allocator of the test process. The library itself carries no test
 * hooks: it calls libc, and libc's entry points are these while a test is linked with
 * this file. */

#if defined(GLYVA_SANITIZED)

namespace glyva_test {
bool allocationFailureAvailable() { return false; }
long countAllocations(const std::function<void()> &fn)
{
    fn();
    return 0;
}
void failAllocation(long, const std::function<void()> &fn, bool) { fn(); }
} // namespace glyva_test

#else

extern "C" {
void *__libc_malloc(size_t size);
void *__libc_calloc(size_t count, size_t size);
void *__libc_realloc(void *ptr, size_t size);
}

namespace {

bool g_armed = false;
bool g_always = false;
long g_seen = 0;
long g_failAt = 0;

/* True when the current allocation must fail. */
bool failHere()
{
    if (!g_armed)
        return false;
    ++g_seen;
    if (g_failAt <= 0)
        return false;
    return g_always ? g_seen >= g_failAt : g_seen == g_failAt;
}

} // namespace

extern "C" void *malloc(size_t size)
{
    return failHere() ? nullptr : __libc_malloc(size);
}

extern "C" void *calloc(size_t count, size_t size)
{
    return failHere() ? nullptr : __libc_calloc(count, size);
}

extern "C" void *realloc(void *ptr, size_t size)
{
    /* realloc(p, 0) frees; refusing it would leak rather than model exhaustion. */
    if (ptr && size == 0)
        return __libc_realloc(ptr, size);
    return failHere() ? nullptr : __libc_realloc(ptr, size);
}

namespace glyva_test {

bool allocationFailureAvailable() { return true; }

long countAllocations(const std::function<void()> &fn)
{
    g_seen = 0;
    g_failAt = 0;
    g_armed = true;
    fn();
    g_armed = false;
    return g_seen;
}

void failAllocation(long k, const std::function<void()> &fn, bool always)
{
    g_seen = 0;
    g_failAt = k;
    g_always = always;
    g_armed = true;
    fn();
    g_armed = false;
    g_always = false;
}

} // namespace glyva_test

#endif
