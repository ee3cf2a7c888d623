#include "support/support.hh"

#include <cstddef>
#include <cstring>
#include <dlfcn.h>

/* Interposes the C allocator of the test process. The library itself carries no test
 * hooks: it calls libc, and libc's entry points are these while a test is linked with
 * this file. */

#if defined(GLYVA_SANITIZED)

namespace glyva_test
{
bool allocationFailureAvailable()
{
    return false;
}
long countAllocations(const std::function<void()> &fn, AllocScope)
{
    fn();
    return 0;
}
void failAllocation(long, const std::function<void()> &fn, bool, AllocScope)
{
    fn();
}
} // namespace glyva_test

#else

#if __has_include(<valgrind/valgrind.h>)
#include <valgrind/valgrind.h>
#else
#define RUNNING_ON_VALGRIND 0
#endif

extern "C" {
void *__libc_malloc(size_t size);
void *__libc_calloc(size_t count, size_t size);
void *__libc_realloc(void *ptr, size_t size);
}

namespace
{

bool g_armed = false;
bool g_always = false;
bool g_libraryOnly = true;
bool g_inside = false;
long g_seen = 0;
long g_failAt = 0;

/* Whether the allocation was asked for by code inside libGlyva. */
bool fromLibrary(void *caller)
{
    Dl_info where;
    if (!dladdr(caller, &where) || !where.dli_fname)
        return false;
    return std::strstr(where.dli_fname, "libGlyva") != nullptr;
}

/* True when the current allocation must fail. */
bool failHere(void *caller)
{
    if (!g_armed || g_inside)
        return false;
    if (g_libraryOnly) {
        g_inside = true; /* dladdr itself must not be counted */
        bool ours = fromLibrary(caller);
        g_inside = false;
        if (!ours)
            return false;
    }
    ++g_seen;
    if (g_failAt <= 0)
        return false;
    return g_always ? g_seen >= g_failAt : g_seen == g_failAt;
}

} // namespace

extern "C" void *malloc(size_t size)
{
    return failHere(__builtin_return_address(0)) ? nullptr : __libc_malloc(size);
}

extern "C" void *calloc(size_t count, size_t size)
{
    return failHere(__builtin_return_address(0)) ? nullptr : __libc_calloc(count, size);
}

extern "C" void *realloc(void *ptr, size_t size)
{
    /* realloc(p, 0) frees; refusing it would leak rather than model exhaustion. */
    if (ptr && size == 0)
        return __libc_realloc(ptr, size);
    return failHere(__builtin_return_address(0)) ? nullptr : __libc_realloc(ptr, size);
}

namespace glyva_test
{

/* Valgrind replaces the allocator too, and then these entry points never run. */
bool allocationFailureAvailable()
{
    return !RUNNING_ON_VALGRIND;
}

long countAllocations(const std::function<void()> &fn, AllocScope scope)
{
    g_libraryOnly = scope == AllocScope::kLibrary;
    g_seen = 0;
    g_failAt = 0;
    g_armed = true;
    fn();
    g_armed = false;
    return g_seen;
}

void failAllocation(long k, const std::function<void()> &fn, bool always, AllocScope scope)
{
    g_libraryOnly = scope == AllocScope::kLibrary;
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
