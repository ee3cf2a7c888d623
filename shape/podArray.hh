#ifndef SHAPE_PODARRAY_HH
#define SHAPE_PODARRAY_HH

#include <stddef.h>
#include <stdint.h>

#include <type_traits>

#include "util/emuKD/kd.h"

namespace glyva
{
namespace shape
{

/* A growable array of plain records on the library's allocator. Counts stay below
 * 2^32 so that they fit the 32-bit fields hosts read; every growth is checked
 * before it is made, and a failed one leaves the array as it was. */
template <typename T> class PodArray
{
    static_assert(std::is_trivially_copyable<T>::value, "plain records only");

  public:
    PodArray() = default;
    ~PodArray() { kdFree(values_); }
    PodArray(const PodArray &) = delete;
    PodArray &operator=(const PodArray &) = delete;

    uint32_t size() const { return count_; }
    T *data() { return values_; }
    const T *data() const { return values_; }
    T &operator[](uint32_t i) { return values_[i]; }
    const T &operator[](uint32_t i) const { return values_[i]; }
    void clear() { count_ = 0; }

    bool push(const T &value)
    {
        if (!reserve(static_cast<uint64_t>(count_) + 1))
            return false;
        values_[count_++] = value;
        return true;
    }

    /* New elements are zeroed. */
    bool resize(uint64_t count)
    {
        if (!reserve(count))
            return false;
        if (count > count_)
            kdMemset(values_ + count_, 0, static_cast<KDsize>((count - count_) * sizeof(T)));
        count_ = static_cast<uint32_t>(count);
        return true;
    }

    /* Hands the storage to the caller, who frees it with kdFree; the array is empty. */
    T *release()
    {
        T *values = values_;
        values_ = nullptr;
        count_ = capacity_ = 0;
        return values;
    }

  private:
    bool reserve(uint64_t count)
    {
        constexpr uint64_t kMax = (SIZE_MAX < UINT32_MAX ? SIZE_MAX : UINT32_MAX) / sizeof(T);
        if (count <= capacity_)
            return true;
        if (count > kMax)
            return false;
        uint64_t grown = capacity_ + capacity_ / 2 + 16;
        grown = grown < count ? count : grown > kMax ? kMax : grown;
        void *storage = kdRealloc(values_, static_cast<KDsize>(grown * sizeof(T)));
        if (!storage)
            return false;
        values_ = static_cast<T *>(storage);
        capacity_ = static_cast<uint32_t>(grown);
        return true;
    }

    T *values_ = nullptr;
    uint32_t count_ = 0;
    uint32_t capacity_ = 0;
};

} // namespace shape
} // namespace glyva

#endif
