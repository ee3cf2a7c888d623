#ifndef GLYPH_VERTEXWINDOW_HH
#define GLYPH_VERTEXWINDOW_HH

#include <stdint.h>
#include <string.h>

#include "util/mfArrays.hh"
#include "util/plyxUtil.h"

namespace glyva
{

/* The search-insert of the multi-value arrays, answered through a position index of
 * the array's search window instead of a scan of it. Results and growth are those of
 * searchInsertMFVec2f/3f exactly:
 * - an element is appended only when no equal one lies in the window, so the window
 *   never holds two equal elements and one index per position is enough;
 * - the index holds exactly the window's elements: each append removes the element
 *   that leaves the window, so at most kWindow entries live in kSlots slots.
 * The array must change only through this object (and the Reserve it appends through)
 * while it is in use. */
template <typename MF, int N> class VertexWindow
{
  public:
    static constexpr uint32_t kWindow = mf::kSearchWindow;

    /* Indexes the window of an array that may already hold elements. */
    void seed(const MF &array)
    {
        memset(slots_, 0, sizeof slots_);
        uint32_t first = array.count > kWindow ? array.count - kWindow : 0;
        for (uint32_t i = first; i < array.count; ++i)
            insert(array.values[i], i);
    }

    /* The index of v in the window, else v appended; -1 when the array cannot grow
     * (it is then empty, and the window index with it). */
    int32_t searchInsert(mf::Reserve<MF> &store, const float *v)
    {
        MF &array = store.array();
        const bool usable = indexable(v);
        const uint32_t h = usable ? hash(v) : 0;
        if (usable) {
            const Slot &slot = slots_[probe(v, h)];
            if (slot.next)
                return static_cast<int32_t>(slot.next - 1);
        }
        float copy[N];
        memcpy(copy, v, sizeof copy); /* v may point into the storage that moves */
        uint32_t n = array.count;
        if (!store.append(copy)) {
            memset(slots_, 0, sizeof slots_);
            return -1;
        }
        if (n >= kWindow)
            remove(array.values[n - kWindow], n - kWindow);
        if (usable)
            place(copy, h, n);
        return static_cast<int32_t>(n);
    }

  private:
    static constexpr uint32_t kSlots = 256; /* a power of two, over 3 x kWindow */

    struct Slot {
        float key[N];
        uint32_t next; /* element index + 1, so that a zeroed slot is free */
        uint32_t hash; /* of key, kept for the moves of a removal */
    };

    static bool matches(const float *a, const float *b)
    {
        for (int c = 0; c < N; ++c)
            if (!(a[c] == b[c]))
                return false;
        return true;
    }

    /* NaN equals nothing: such elements are never indexed nor found. */
    static bool indexable(const float *v)
    {
        for (int c = 0; c < N; ++c)
            if (v[c] != v[c])
                return false;
        return true;
    }

    /* +0.0 and -0.0 are equal, so they must hash alike. */
    static uint32_t hash(const float *v)
    {
        uint32_t h = 2166136261u;
        for (int c = 0; c < N; ++c) {
            float f = v[c] + 0.0f;
            uint32_t bits;
            memcpy(&bits, &f, sizeof bits);
            h = (h ^ bits) * 16777619u;
        }
        return h ^ (h >> 15);
    }

    /* The slot holding v (whose hash is h), or the free slot where its probe chain ends. */
    uint32_t probe(const float *v, uint32_t h) const
    {
        uint32_t s = h & (kSlots - 1);
        while (slots_[s].next != 0 && !matches(slots_[s].key, v))
            s = (s + 1) & (kSlots - 1);
        return s;
    }

    void insert(const float *v, uint32_t index)
    {
        if (indexable(v))
            place(v, hash(v), index);
    }

    void place(const float *v, uint32_t h, uint32_t index)
    {
        Slot &slot = slots_[probe(v, h)];
        memcpy(slot.key, v, sizeof slot.key);
        slot.next = index + 1;
        slot.hash = h;
        hashes_[index % kWindow] = h;
    }

    /* Backward-shift deletion keeps every probe chain unbroken without tombstones. The
     * element leaving the window is found by the hash it was placed with. */
    void remove(const float *v, uint32_t index)
    {
        if (!indexable(v))
            return;
        uint32_t hole = probe(v, hashes_[index % kWindow]);
        if (slots_[hole].next != index + 1)
            return;
        for (uint32_t s = (hole + 1) & (kSlots - 1);; s = (s + 1) & (kSlots - 1)) {
            if (slots_[s].next == 0) {
                slots_[hole].next = 0;
                return;
            }
            uint32_t home = slots_[s].hash & (kSlots - 1);
            /* The entry at s stays unless its home lies cyclically outside (hole, s]. */
            bool stays = hole <= s ? (home > hole && home <= s) : (home > hole || home <= s);
            if (!stays) {
                slots_[hole] = slots_[s];
                hole = s;
            }
        }
    }

    Slot slots_[kSlots];
    /* The hash of the window's element i at i % kWindow. */
    uint32_t hashes_[kWindow];
};

} // namespace glyva

#endif
