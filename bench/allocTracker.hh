#ifndef BENCH_ALLOCTRACKER_HH
#define BENCH_ALLOCTRACKER_HH

#include <stddef.h>
#include <stdint.h>

/* Counts heap calls and live bytes of the whole process (libGlyva, FreeType, GLU,
 * FTGL and libstdc++ all allocate through the malloc family, which this executable
 * interposes). Off by default so that timed passes pay one branch per call; turn it
 * on only around untimed passes, and free inside the window only what was allocated
 * inside it, or live bytes go wrong. */
namespace bench
{

struct AllocStats {
    uint64_t calls;    /* malloc, calloc, realloc and aligned allocations */
    int64_t liveBytes; /* usable bytes allocated and not yet freed */
    int64_t peakBytes; /* highest liveBytes since the last reset */
};

void trackAllocations(bool on);
AllocStats allocStats();
/* Starts a new window: calls and live bytes from 0, peak = 0. */
void resetAllocStats();
/* Peak from now on counts from the current live bytes. */
void restartPeak();

/* Scoped window. */
class AllocWindow
{
  public:
    AllocWindow()
    {
        resetAllocStats();
        trackAllocations(true);
    }
    ~AllocWindow() { trackAllocations(false); }
    AllocStats now() const { return allocStats(); }
};

} // namespace bench

#endif
