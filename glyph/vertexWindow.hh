#ifndef GLYPH_VERTEXWINDOW_HH
#define GLYPH_VERTEXWINDOW_HH

#include <stdint.h>
#include <string.h>

#include "util/mfArrays.hh"
#include "util/plyxUtil.h"

namespace glyva
{

/* The search-insert of the multi-value arrays, answered through a hash of element
 * indices instead of a scan of the array's search window. Results and growth are those
 * of searchInsertMFVec2f/3f exactly:
 * - every element appended since the table was last started is in it, so every element
 *   of the window is;
 * - entries are never removed: an entry whose element has left the window is passed
 *   over, and the table is started afresh (holding the window alone) before such
 *   entries fill it;
 * - equal elements share a probe chain, in which the older lies first, so the first
 *   match found is the oldest in the window, as the scan's is;
 * - an element with a NaN equals nothing, not even itself: its entry is never found.
 * Keys are read from the array itself, so the array must change only through this
 * object (and the Reserve it appends through) while it is in use. */
template <typename MF, int N> class VertexWindow
{
  public:
    static constexpr uint32_t kWindow = mf::kSearchWindow;

    /* Indexes the window of an array that may already hold elements. */
    void seed(const MF &array)
    {
        memset(slots_, 0, sizeof slots_);
        generation_ = 0;
        restart(array);
    }

    /* As seed, for a table seeded before or all zeros, whose entries are then all of
     * earlier generations: nothing needs clearing. */
    void resume(const MF &array) { restart(array); }

    /* The index of v in the window, else v appended; -1 when the array cannot grow
     * (it is then empty, and the window index with it). */
    int32_t searchInsert(mf::Reserve<MF> &store, const float *v)
    {
        MF &array = store.array();
        const uint32_t n = array.count;
        /* Read before the stores below, which the compiler must assume could change it:
         * a caller that asked roomToPlace() then has the restart compiled away. */
        const uint32_t placed = placed_ + 1;
        const uint32_t first = n > kWindow ? n - kWindow : 0;
        uint32_t s = hash(v) & (kSlots - 1);
        for (; slots_[s].generation == generation_; s = (s + 1) & (kSlots - 1)) {
            const uint32_t index = slots_[s].index;
            if (index >= first && matches(array.values[index], v))
                return static_cast<int32_t>(index);
        }
        if (!store.append(v)) { /* which copies v before the storage it may be in moves */
            restart(array);
            return -1;
        }
        slots_[s] = {generation_, n};
        placed_ = placed;
        if (placed == kPlacedLimit)
            restart(array);
        return static_cast<int32_t>(n);
    }

    /* Whether searchInsert can append without starting the table afresh. */
    bool roomToPlace() const { return placed_ + 1 < kPlacedLimit; }

  private:
    /* A power of two; the table is started afresh after kPlacedLimit entries, so that
     * probe chains stay short. */
    static constexpr uint32_t kSlots = 1024;
    static constexpr uint32_t kPlacedLimit = kSlots * 3 / 8;
    static_assert(kPlacedLimit > 2 * kWindow, "a fresh table must have room to fill");

    struct Slot {
        uint32_t generation; /* the entry is live only in the table's current one */
        uint32_t index;
    };

    static bool matches(const float *a, const float *b)
    {
        for (int c = 0; c < N; ++c)
            if (!(a[c] == b[c]))
                return false;
        return true;
    }

    /* +0.0 and -0.0 are equal, so they must hash alike. */
    static uint32_t hash(const float *v)
    {
        static const uint32_t kFactors[3] = {0x9e3779b1u, 0x85ebca77u, 0xc2b2ae3du};
        uint32_t h = 0;
        for (int c = 0; c < N; ++c) {
            float f = v[c] + 0.0f;
            uint32_t bits;
            memcpy(&bits, &f, sizeof bits);
            h ^= bits * kFactors[c];
        }
        return h ^ (h >> 16);
    }

    /* A new generation holding the window's elements alone, oldest first. */
    void restart(const MF &array)
    {
        if (++generation_ == 0) {
            memset(slots_, 0, sizeof slots_);
            generation_ = 1;
        }
        placed_ = 0;
        const uint32_t first = array.count > kWindow ? array.count - kWindow : 0;
        for (uint32_t i = first; i < array.count; ++i) {
            uint32_t s = hash(array.values[i]) & (kSlots - 1);
            while (slots_[s].generation == generation_)
                s = (s + 1) & (kSlots - 1);
            slots_[s] = {generation_, i};
            ++placed_;
        }
    }

    Slot slots_[kSlots];
    uint32_t generation_;
    uint32_t placed_; /* entries of the current generation */
};

} // namespace glyva

#endif
