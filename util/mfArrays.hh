#ifndef UTIL_MFARRAYS_HH
#define UTIL_MFARRAYS_HH

#include <stdint.h>
#include <string.h>

#include <type_traits>

#include "util/emuKD/kd.h"

/* The one implementation of the multi-value array operations. Every record is the
 * two-field layout { uint32_t count; Element *values; }; the element type, and with it
 * the element width, is read off the record's `values` field, so one template serves
 * all eight numeric types and the string list's entry array. Storage is exact-fit
 * between operations. */
namespace glyva
{
namespace mf
{

template <typename Record> using Element = std::remove_pointer_t<decltype(Record::values)>;

template <typename Record> constexpr KDsize kWidth = sizeof(Element<Record>);

/* A byte size must fit the 32-bit size rule of the records and the platform's size
 * type, so that a corrupt count can never leave count larger than its storage. */
constexpr uint64_t kMaxBytes = SIZE_MAX < UINT32_MAX ? SIZE_MAX : UINT32_MAX;

template <typename Record> constexpr uint64_t kMaxCount = kMaxBytes / kWidth<Record>;

/* Search-insert compares with the most recent elements only, which bounds its cost. */
constexpr uint32_t kSearchWindow = 65;

template <typename Record> KDsize byteSize(uint64_t count)
{
    return static_cast<KDsize>(count) * kWidth<Record>;
}

/* Drops the storage; the record becomes the empty array. */
template <typename Record> void release(Record *array)
{
    kdFree(array->values);
    array->values = nullptr;
    array->count = 0;
}

template <typename Record> int allocate(Record *array, uint64_t count)
{
    array->count = 0;
    if (count == 0)
        return 1;
    void *storage = kdMalloc(byteSize<Record>(count));
    if (!storage)
        return 0;
    array->values = static_cast<Element<Record> *>(storage);
    array->count = static_cast<uint32_t>(count);
    return 1;
}

/* A failed reallocation loses the elements anyway, so the old storage is released
 * rather than leaked. */
template <typename Record> int reallocate(Record *array, uint64_t count)
{
    void *storage = kdRealloc(array->values, byteSize<Record>(count));
    if (!storage) {
        release(array);
        return 0;
    }
    array->values = static_cast<Element<Record> *>(storage);
    array->count = static_cast<uint32_t>(count);
    return 1;
}

/* Takes a 64-bit count so that count + 1 of an append is checked, not wrapped. */
template <typename Record> int resize(Record *array, uint64_t count)
{
    if (!array)
        return 0;
    if (count > kMaxCount<Record>) {
        release(array);
        return 0;
    }
    if (!array->values)
        return allocate(array, count);
    if (count == 0) {
        release(array);
        return 1;
    }
    if (count == array->count)
        return 1;
    return reallocate(array, count);
}

template <typename Record> void clear(Record *array)
{
    if (!array)
        return;
    release(array);
}

template <typename Record> int assign(Record *dst, const Record *src)
{
    if (!dst || !src)
        return 0;
    /* Copying an array onto itself would pass overlapping blocks to the copy. */
    if (dst == src)
        return 1;
    if (src->count == 0) {
        release(dst);
        return 1;
    }
    if (dst->count != src->count && !resize(dst, src->count))
        return 0;
    kdMemcpy(dst->values, src->values, byteSize<Record>(src->count));
    return 1;
}

/* Byte-wise, so floats compare by bit pattern. */
template <typename Record> int equal(const Record *a, const Record *b)
{
    if (!a || !b)
        return 0;
    if (a->count != b->count)
        return 0;
    if (a->count == 0)
        return 1;
    return kdMemcmp(a->values, b->values, byteSize<Record>(a->count)) == 0;
}

/* element points to one element's bytes. It is copied before the storage moves, so it
 * may point into the array itself. Elements are copied by the compiler's own memcpy of
 * a fixed width, which it inlines: an append is on every glyph's hottest path. */
template <typename Record> int append(Record *array, const void *element)
{
    if (!array || !element)
        return 0;
    Element<Record> copy;
    memcpy(&copy, element, kWidth<Record>);
    const uint32_t index = array->count;
    if (!resize(array, static_cast<uint64_t>(index) + 1))
        return 0;
    memcpy(&array->values[index], &copy, kWidth<Record>);
    return 1;
}

/* Appends for the length of one operation whose storage grows by half again, so that
 * n appends cost O(log n) reallocations instead of n. The record stays a valid
 * exact-fit record in count and contents throughout; only its block may be larger
 * than count until Reserve::settle() (or the destructor) trims it, after which it is
 * the record that plain appends would have built. While a Reserve is alive the record
 * must change only through it. */
template <typename Record> class Reserve
{
  public:
    explicit Reserve(Record &array) : array_(array), capacity_(array.count) {}
    /* For working storage kept between operations, never handed out: its block holds
     * capacity elements (at least count) and is not trimmed when the Reserve ends;
     * capacity() then tells how large it has become. */
    Reserve(Record &array, uint64_t capacity) : array_(array), capacity_(capacity), trim_(false) {}
    ~Reserve()
    {
        if (trim_)
            settle();
    }
    Reserve(const Reserve &) = delete;
    Reserve &operator=(const Reserve &) = delete;

    Record &array() { return array_; }
    uint64_t capacity() const { return capacity_; }

    /* Room for count elements in one step, for an operation that knows roughly how many
     * it appends. Only a hint: when the allocator refuses, appends grow as usual. */
    void expect(uint64_t count)
    {
        count = count > kMaxCount<Record> ? kMaxCount<Record> : count;
        if (count <= capacity_)
            return;
        if (void *storage = kdRealloc(array_.values, byteSize<Record>(count))) {
            array_.values = static_cast<Element<Record> *>(storage);
            capacity_ = count;
        }
    }

    /* Whether an append needs no growth. */
    bool hasRoom() const { return array_.count < capacity_; }

    /* As append(): 0 when the record cannot grow, which then leaves it empty. */
    int append(const void *element)
    {
        Element<Record> copy; /* element may point into the block that moves */
        memcpy(&copy, element, kWidth<Record>);
        if (array_.count == capacity_ && !grow())
            return 0;
        memcpy(&array_.values[array_.count++], &copy, kWidth<Record>);
        return 1;
    }

    /* append() after hasRoom() said yes, with nothing in between that could have
     * changed the record: for the hottest paths, where the compiler cannot see that. */
    void appendInRoom(const void *element)
    {
        memcpy(&array_.values[array_.count++], element, kWidth<Record>);
    }

    /* Back to exact fit. A trim the allocator refuses keeps the larger block, which is
     * still the record's valid storage. */
    void settle()
    {
        if (capacity_ == array_.count)
            return;
        capacity_ = array_.count;
        if (array_.count == 0) {
            release(&array_);
            return;
        }
        if (void *storage = kdRealloc(array_.values, byteSize<Record>(array_.count)))
            array_.values = static_cast<Element<Record> *>(storage);
    }

    /* After something else emptied the record. */
    void forget() { capacity_ = array_.count; }

  private:
    /* Half again, else exactly one more under memory pressure, else the record is lost
     * as a failed exact-fit append loses it. Out of line: kept apart, it leaves the
     * appends on the hottest paths a few instructions without saved registers. */
    __attribute__((noinline)) bool grow()
    {
        const uint64_t count = array_.count;
        if (count + 1 > kMaxCount<Record>) {
            release(&array_);
            capacity_ = 0;
            return false;
        }
        uint64_t wanted = count < 32 ? 32 : count + (count >> 1);
        if (wanted > kMaxCount<Record>)
            wanted = kMaxCount<Record>;
        const uint64_t sizes[2] = {wanted, count + 1};
        for (uint64_t capacity : sizes) {
            if (void *storage = kdRealloc(array_.values, byteSize<Record>(capacity))) {
                array_.values = static_cast<Element<Record> *>(storage);
                capacity_ = capacity;
                return true;
            }
        }
        release(&array_);
        capacity_ = 0;
        return false;
    }

    Record &array_;
    uint64_t capacity_;
    bool trim_ = true;
};

/* Appends to a record whose block doubles from 32 elements, so that its capacity
 * follows from its count alone: for appenders that can keep nothing beside the record.
 * The block stays larger than count until the record is released. 0 when the record
 * cannot grow, which then leaves it empty. */
template <typename Record> int appendDoubling(Record &array, const void *element)
{
    const uint64_t count = array.count;
    Element<Record> copy; /* element may point into the block that moves */
    memcpy(&copy, element, kWidth<Record>);
    if (count >= kMaxCount<Record>) {
        release(&array);
        return 0;
    }
    if (count == 0 || (count >= 32 && (count & (count - 1)) == 0)) {
        uint64_t capacity = count == 0 ? 32 : 2 * count;
        capacity = capacity > kMaxCount<Record> ? kMaxCount<Record> : capacity;
        void *storage = kdRealloc(array.values, byteSize<Record>(capacity));
        if (!storage) {
            release(&array);
            return 0;
        }
        array.values = static_cast<Element<Record> *>(storage);
    }
    memcpy(&array.values[count], &copy, kWidth<Record>);
    array.count = static_cast<uint32_t>(count + 1);
    return 1;
}

template <typename Record> constexpr uint32_t kComponents = kWidth<Record> / sizeof(float);

/* Float comparison: a NaN matches nothing and -0.0 matches +0.0. */
template <typename Record> bool sameComponents(const float *element, const float *value)
{
    for (uint32_t i = 0; i < kComponents<Record>; ++i) {
        if (!(element[i] == value[i]))
            return false;
    }
    return true;
}

/* Index of the first match among the last kSearchWindow elements, or -1. */
template <typename Record> int32_t findRecent(const Record &array, const float *value)
{
    const uint32_t first = array.count > kSearchWindow ? array.count - kSearchWindow : 0;
    for (uint32_t i = first; i < array.count; ++i) {
        if (sameComponents<Record>(array.values[i], value))
            return static_cast<int32_t>(i);
    }
    return -1;
}

template <typename Record> int32_t searchInsert(Record *array, const float *value)
{
    static_assert(std::is_same_v<std::remove_all_extents_t<Element<Record>>, float>,
                  "search-insert compares float components");
    /* Every index of a sized array must be representable in the signed result. */
    static_assert(kMaxCount<Record> - 1 <= INT32_MAX, "index must fit the result");
    if (!array || !value)
        return -1;
    const int32_t found = findRecent(*array, value);
    if (found >= 0)
        return found;
    if (!append(array, value))
        return -1;
    return static_cast<int32_t>(array->count - 1);
}

} // namespace mf
} // namespace glyva

#endif
