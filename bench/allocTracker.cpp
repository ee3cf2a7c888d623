#include "allocTracker.hh"

#include <errno.h>
#include <malloc.h>
#include <string.h>

/* glibc's own entry points, so that the definitions below can forward to the real
 * allocator without dlsym (which may itself allocate). */
extern "C" {
void *__libc_malloc(size_t size);
void *__libc_calloc(size_t count, size_t size);
void *__libc_realloc(void *ptr, size_t size);
void *__libc_memalign(size_t alignment, size_t size);
void __libc_free(void *ptr);
}

namespace
{

/* Single-threaded benchmarks: plain counters are enough. */
bool g_on = false;
uint64_t g_calls = 0;
int64_t g_live = 0;
int64_t g_peak = 0;

inline void added(void *p)
{
    ++g_calls;
    if (!p)
        return;
    g_live += static_cast<int64_t>(malloc_usable_size(p));
    if (g_live > g_peak)
        g_peak = g_live;
}

inline void removed(void *p)
{
    if (p)
        g_live -= static_cast<int64_t>(malloc_usable_size(p));
}

} // namespace

namespace bench
{

void trackAllocations(bool on)
{
    g_on = on;
}

AllocStats allocStats()
{
    return {g_calls, g_live, g_peak};
}

void resetAllocStats()
{
    g_calls = 0;
    g_live = 0;
    g_peak = 0;
}

void restartPeak()
{
    g_peak = g_live;
}

} // namespace bench

extern "C" {

void *malloc(size_t size)
{
    void *p = __libc_malloc(size);
    if (g_on)
        added(p);
    return p;
}

void *calloc(size_t count, size_t size)
{
    void *p = __libc_calloc(count, size);
    if (g_on)
        added(p);
    return p;
}

void *realloc(void *ptr, size_t size)
{
    if (!g_on)
        return __libc_realloc(ptr, size);
    int64_t before = ptr ? static_cast<int64_t>(malloc_usable_size(ptr)) : 0;
    void *p = __libc_realloc(ptr, size);
    ++g_calls;
    if (p) {
        g_live += static_cast<int64_t>(malloc_usable_size(p)) - before;
        if (g_live > g_peak)
            g_peak = g_live;
    } else if (size == 0 && ptr) {
        g_live -= before; /* realloc(p, 0) freed p */
    }
    return p;
}

void free(void *ptr)
{
    if (g_on)
        removed(ptr);
    __libc_free(ptr);
}

void *memalign(size_t alignment, size_t size)
{
    void *p = __libc_memalign(alignment, size);
    if (g_on)
        added(p);
    return p;
}

void *aligned_alloc(size_t alignment, size_t size)
{
    return memalign(alignment, size);
}

int posix_memalign(void **out, size_t alignment, size_t size)
{
    if (alignment % sizeof(void *) != 0 || (alignment & (alignment - 1)) != 0)
        return EINVAL;
    void *p = memalign(alignment, size);
    if (!p && size)
        return ENOMEM;
    *out = p;
    return 0;
}

} // extern "C"
