#ifndef SOLID_SOLIDARRAY_HH
#define SOLID_SOLIDARRAY_HH

#include <stddef.h>
#include <stdint.h>

#include <type_traits>

#include "util/emuKD/kd.h"

/* The builder's storage: growable arrays of plain records on the library's allocator,
 * and an index from 64-bit keys to 32-bit values. Nothing throws; a failed growth
 * reports false and leaves the contents as they were. Capacity is kept between builds,
 * so that a host meshing glyph after glyph allocates only while its largest glyph
 * grows. */
namespace glyva
{
namespace solid
{

template <typename T> class Array
{
    static_assert(std::is_trivially_copyable<T>::value, "plain records only");

  public:
    Array() = default;
    ~Array() { kdFree(data_); }
    Array(const Array &) = delete;
    Array &operator=(const Array &) = delete;

    uint32_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    T *data() { return data_; }
    const T *data() const { return data_; }
    T &operator[](uint32_t i) { return data_[i]; }
    const T &operator[](uint32_t i) const { return data_[i]; }
    T &back() { return data_[size_ - 1]; }

    /* Room for count elements; counts past the 32-bit size rule are refused. */
    bool reserve(uint64_t count)
    {
        if (count <= capacity_)
            return true;
        const uint64_t limit = (SIZE_MAX < UINT32_MAX ? SIZE_MAX : UINT32_MAX) / sizeof(T);
        if (count > limit)
            return false;
        uint64_t grown = capacity_ < 16 ? 16 : uint64_t{capacity_} * 2;
        grown = grown < count ? count : grown;
        grown = grown > limit ? limit : grown;
        void *storage = kdRealloc(data_, static_cast<KDsize>(grown * sizeof(T)));
        if (!storage)
            return false;
        data_ = static_cast<T *>(storage);
        capacity_ = static_cast<uint32_t>(grown);
        return true;
    }
    bool push(const T &value)
    {
        if (!reserve(uint64_t{size_} + 1))
            return false;
        data_[size_++] = value;
        return true;
    }
    /* New elements are zeroed. */
    bool resize(uint64_t count)
    {
        if (!reserve(count))
            return false;
        if (count > size_)
            kdMemset(data_ + size_, 0, static_cast<KDsize>((count - size_) * sizeof(T)));
        size_ = static_cast<uint32_t>(count);
        return true;
    }
    void clear() { size_ = 0; }
    void release()
    {
        kdFree(data_);
        data_ = nullptr;
        size_ = capacity_ = 0;
    }

  private:
    T *data_ = nullptr;
    uint32_t size_ = 0;
    uint32_t capacity_ = 0;
};

/* Open addressing with linear probing over a power-of-two table, at most half full. */
class KeyIndex
{
  public:
    static constexpr uint32_t kMissing = UINT32_MAX;
    /* A removed key keeps its slot, so that probing past it still finds later keys. */
    static constexpr uint32_t kRemoved = UINT32_MAX - 1;

    /* Empties the index and makes room for count keys. */
    bool reset(uint32_t count)
    {
        uint64_t slots = 16;
        while (slots < uint64_t{count} * 2)
            slots *= 2;
        if (!slots_.resize(0) || !slots_.resize(slots))
            return false;
        for (uint32_t i = 0; i < slots_.size(); ++i)
            slots_[i].value = kMissing;
        used_ = 0;
        return true;
    }
    /* The value of key, or kMissing. */
    uint32_t find(uint64_t key) const
    {
        if (slots_.empty())
            return kMissing;
        const Slot &slot = slots_[probe(key)];
        return slot.value == kRemoved ? kMissing : slot.value;
    }
    /* Stores value under key unless the key is present; *existing is the value the
     * key has afterwards. False when the table cannot grow. */
    bool insert(uint64_t key, uint32_t value, uint32_t *existing)
    {
        if ((uint64_t{used_} + 1) * 2 > slots_.size() && !grow())
            return false;
        Slot &slot = slots_[probe(key)];
        if (slot.value == kMissing)
            ++used_;
        if (slot.value == kMissing || slot.value == kRemoved) {
            slot.key = key;
            slot.value = value;
        }
        *existing = slot.value;
        return true;
    }
    /* Stores value under key whether or not the key is present. */
    bool set(uint64_t key, uint32_t value)
    {
        uint32_t existing;
        if (!insert(key, value, &existing))
            return false;
        slots_[probe(key)].value = value;
        return true;
    }
    void remove(uint64_t key)
    {
        if (slots_.empty())
            return;
        Slot &slot = slots_[probe(key)];
        if (slot.value != kMissing)
            slot.value = kRemoved;
    }
    void release() { slots_.release(), used_ = 0; }

  private:
    struct Slot {
        uint64_t key;
        uint32_t value;
    };

    static uint64_t mix(uint64_t key)
    {
        key ^= key >> 33;
        key *= 0xff51afd7ed558ccdull;
        key ^= key >> 33;
        return key;
    }
    uint32_t probe(uint64_t key) const
    {
        const uint32_t mask = slots_.size() - 1;
        uint32_t i = static_cast<uint32_t>(mix(key)) & mask;
        while (slots_[i].value != kMissing && slots_[i].key != key)
            i = (i + 1) & mask;
        return i;
    }
    bool grow()
    {
        Array<Slot> old;
        const uint32_t count = slots_.size();
        if (!old.resize(count))
            return false;
        if (count)
            kdMemcpy(old.data(), slots_.data(), static_cast<KDsize>(count * sizeof(Slot)));
        if (!reset(used_ + 16 > count ? used_ + 16 : count))
            return false;
        for (uint32_t i = 0; i < old.size(); ++i) {
            uint32_t ignored;
            if (old[i].value != kMissing && old[i].value != kRemoved)
                insert(old[i].key, old[i].value, &ignored);
        }
        return true;
    }

    Array<Slot> slots_;
    uint32_t used_ = 0;
};

inline uint64_t pairKey(uint32_t a, uint32_t b)
{
    return (uint64_t{a} << 32) | b;
}

} // namespace solid
} // namespace glyva

#endif
