#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "support/support.hh"
#include "util/plyxUtil.h"

using glyva_test::countAllocations;
using glyva_test::failAllocation;

namespace
{

/* The exported members of one array type, and the element width the layout rule
 * gives it, so that the typed tests below run over all eight. */
#define GLYVA_ARRAY_OPS(Type, Width)                                                               \
    struct Type##Ops {                                                                             \
        using Record = Type;                                                                       \
        static constexpr size_t kWidth = Width;                                                    \
        static int size(Record *a, uint32_t n) { return size##Type(a, n); }                        \
        static void clear(Record *a) { clear##Type(a); }                                           \
        static int assign(Record *d, const Record *s) { return assign##Type(d, s); }               \
        static int equal(const Record *a, const Record *b) { return equal##Type(a, b); }           \
    };

GLYVA_ARRAY_OPS(MFBool, 1)
GLYVA_ARRAY_OPS(MFInt32, 4)
GLYVA_ARRAY_OPS(MFFloat, 4)
GLYVA_ARRAY_OPS(MFVec2f, 8)
GLYVA_ARRAY_OPS(MFVec3f, 12)
GLYVA_ARRAY_OPS(MFRotation, 16)
GLYVA_ARRAY_OPS(MFColor, 12)
GLYVA_ARRAY_OPS(MFColorRGBA, 16)

#undef GLYVA_ARRAY_OPS

template <typename Ops> unsigned char *bytesOf(typename Ops::Record &array)
{
    return reinterpret_cast<unsigned char *>(array.values);
}

/* Fills the storage with a pattern that depends on the byte's position and a seed. */
template <typename Ops> void fillPattern(typename Ops::Record &array, unsigned seed)
{
    for (size_t i = 0; i < array.count * Ops::kWidth; ++i)
        bytesOf<Ops>(array)[i] = static_cast<unsigned char>(i * 7 + seed);
}

template <typename Ops> bool holdsPattern(typename Ops::Record &array, size_t bytes, unsigned seed)
{
    for (size_t i = 0; i < bytes; ++i) {
        if (bytesOf<Ops>(array)[i] != static_cast<unsigned char>(i * 7 + seed))
            return false;
    }
    return true;
}

template <typename Ops> class MFArrayFamily : public ::testing::Test
{
};

using AllArrays = ::testing::Types<MFBoolOps, MFInt32Ops, MFFloatOps, MFVec2fOps, MFVec3fOps,
                                   MFRotationOps, MFColorOps, MFColorRGBAOps>;
TYPED_TEST_SUITE(MFArrayFamily, AllArrays);

} // namespace

TYPED_TEST(MFArrayFamily, ElementWidthIsTheLayoutRule)
{
    typename TypeParam::Record array{};
    EXPECT_EQ(sizeof(*array.values), TypeParam::kWidth);
    EXPECT_EQ(sizeof(array.count), 4u);
}

TYPED_TEST(MFArrayFamily, ZeroedRecordIsAnEmptyArray)
{
    typename TypeParam::Record a{}, b{};
    EXPECT_EQ(TypeParam::equal(&a, &b), 1);
    EXPECT_EQ(TypeParam::assign(&a, &b), 1);
    EXPECT_EQ(TypeParam::size(&a, 0), 1);
    TypeParam::clear(&a);
    EXPECT_EQ(a.count, 0u);
    EXPECT_EQ(a.values, nullptr);
}

TYPED_TEST(MFArrayFamily, AbsentArgumentsFailAndChangeNothing)
{
    typename TypeParam::Record a{};
    ASSERT_EQ(TypeParam::size(&a, 2), 1);
    auto *storage = a.values;
    EXPECT_EQ(TypeParam::size(nullptr, 3), 0);
    TypeParam::clear(nullptr);
    EXPECT_EQ(TypeParam::assign(nullptr, &a), 0);
    EXPECT_EQ(TypeParam::assign(&a, nullptr), 0);
    EXPECT_EQ(TypeParam::equal(&a, nullptr), 0);
    EXPECT_EQ(TypeParam::equal(nullptr, &a), 0);
    EXPECT_EQ(TypeParam::equal(nullptr, nullptr), 0);
    EXPECT_EQ(a.count, 2u);
    EXPECT_EQ(a.values, storage);
    TypeParam::clear(&a);
}

TYPED_TEST(MFArrayFamily, SizeToCurrentCountKeepsTheStorage)
{
    typename TypeParam::Record a{};
    ASSERT_EQ(TypeParam::size(&a, 5), 1);
    auto *storage = a.values;
    long allocations = countAllocations([&] { EXPECT_EQ(TypeParam::size(&a, 5), 1); });
    EXPECT_EQ(allocations, 0);
    EXPECT_EQ(a.values, storage);
    EXPECT_EQ(a.count, 5u);
    TypeParam::clear(&a);
}

TYPED_TEST(MFArrayFamily, SizeToZeroReleasesTheStorage)
{
    typename TypeParam::Record a{};
    ASSERT_EQ(TypeParam::size(&a, 3), 1);
    EXPECT_NE(a.values, nullptr);
    EXPECT_EQ(TypeParam::size(&a, 0), 1);
    EXPECT_EQ(a.count, 0u);
    EXPECT_EQ(a.values, nullptr);
}

TYPED_TEST(MFArrayFamily, GrowingKeepsValuesAndShrinkingKeepsThePrefix)
{
    typename TypeParam::Record a{};
    ASSERT_EQ(TypeParam::size(&a, 4), 1);
    fillPattern<TypeParam>(a, 3);
    ASSERT_EQ(TypeParam::size(&a, 100), 1);
    EXPECT_EQ(a.count, 100u);
    EXPECT_TRUE(holdsPattern<TypeParam>(a, 4 * TypeParam::kWidth, 3));
    ASSERT_EQ(TypeParam::size(&a, 2), 1);
    EXPECT_EQ(a.count, 2u);
    EXPECT_TRUE(holdsPattern<TypeParam>(a, 2 * TypeParam::kWidth, 3));
    TypeParam::clear(&a);
    EXPECT_EQ(a.count, 0u);
    EXPECT_EQ(a.values, nullptr);
}

TYPED_TEST(MFArrayFamily, EveryChangeOfSizeIsOneExactAllocation)
{
    GLYVA_REQUIRE_FAILING_ALLOC();
    typename TypeParam::Record a{};
    EXPECT_EQ(countAllocations([&] { TypeParam::size(&a, 1); }), 1);
    EXPECT_EQ(countAllocations([&] { TypeParam::size(&a, 2); }), 1);
    EXPECT_EQ(countAllocations([&] { TypeParam::size(&a, 1); }), 1);
    TypeParam::clear(&a);
}

TYPED_TEST(MFArrayFamily, CountsWhoseByteSizeOverflowsAreRefused)
{
    if (TypeParam::kWidth == 1)
        GTEST_SKIP() << "every 32-bit count of one-byte elements has a 32-bit byte size";
    const uint32_t largest = UINT32_MAX / TypeParam::kWidth;
    for (uint32_t count : {largest + 1, largest + 2, UINT32_MAX}) {
        typename TypeParam::Record a{};
        ASSERT_EQ(TypeParam::size(&a, 3), 1);
        long allocations = countAllocations([&] { EXPECT_EQ(TypeParam::size(&a, count), 0); });
        EXPECT_EQ(allocations, 0) << count;
        EXPECT_EQ(a.count, 0u);
        EXPECT_EQ(a.values, nullptr);
    }
}

/* The largest accepted count reaches the allocator, the next one does not: with the
 * first allocation failing, a later small sizing succeeds only if the large one used
 * that failure up. */
TYPED_TEST(MFArrayFamily, LargestCountReachesTheAllocator)
{
    GLYVA_REQUIRE_FAILING_ALLOC();
    const uint32_t largest = UINT32_MAX / TypeParam::kWidth;
    typename TypeParam::Record big{}, small{};
    int bigResult = -1, smallResult = -1;
    failAllocation(1, [&] {
        bigResult = TypeParam::size(&big, largest);
        smallResult = TypeParam::size(&small, 1);
    });
    EXPECT_EQ(bigResult, 0);
    EXPECT_EQ(smallResult, 1);
    TypeParam::clear(&small);
    if (TypeParam::kWidth == 1)
        return; /* no 32-bit count lies beyond */

    failAllocation(1, [&] {
        bigResult = TypeParam::size(&big, largest + 1);
        smallResult = TypeParam::size(&small, 1);
    });
    EXPECT_EQ(bigResult, 0);
    EXPECT_EQ(smallResult, 0);
    EXPECT_EQ(big.count, 0u);
}

TYPED_TEST(MFArrayFamily, FailedGrowthLeavesTheArrayEmpty)
{
    GLYVA_REQUIRE_FAILING_ALLOC();
    typename TypeParam::Record a{};
    int result = -1;
    failAllocation(1, [&] { result = TypeParam::size(&a, 4); });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(a.count, 0u);
    EXPECT_EQ(a.values, nullptr);

    ASSERT_EQ(TypeParam::size(&a, 4), 1);
    failAllocation(1, [&] { result = TypeParam::size(&a, 9); });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(a.count, 0u);
    EXPECT_EQ(a.values, nullptr);
}

TYPED_TEST(MFArrayFamily, AssignCopiesEveryByte)
{
    typename TypeParam::Record src{}, dst{};
    ASSERT_EQ(TypeParam::size(&src, 6), 1);
    fillPattern<TypeParam>(src, 11);
    ASSERT_EQ(TypeParam::size(&dst, 2), 1);
    EXPECT_EQ(TypeParam::assign(&dst, &src), 1);
    EXPECT_EQ(dst.count, 6u);
    EXPECT_NE(dst.values, src.values);
    EXPECT_TRUE(holdsPattern<TypeParam>(dst, 6 * TypeParam::kWidth, 11));
    EXPECT_EQ(TypeParam::equal(&dst, &src), 1);
    TypeParam::clear(&src);
    TypeParam::clear(&dst);
}

TYPED_TEST(MFArrayFamily, AssignOntoTheSameCountReusesTheStorage)
{
    typename TypeParam::Record src{}, dst{};
    ASSERT_EQ(TypeParam::size(&src, 3), 1);
    ASSERT_EQ(TypeParam::size(&dst, 3), 1);
    fillPattern<TypeParam>(src, 5);
    auto *storage = dst.values;
    long allocations = countAllocations([&] { EXPECT_EQ(TypeParam::assign(&dst, &src), 1); });
    EXPECT_EQ(allocations, 0);
    EXPECT_EQ(dst.values, storage);
    EXPECT_TRUE(holdsPattern<TypeParam>(dst, 3 * TypeParam::kWidth, 5));
    TypeParam::clear(&src);
    TypeParam::clear(&dst);
}

TYPED_TEST(MFArrayFamily, AssignFromAnEmptySourceEmptiesTheDestination)
{
    typename TypeParam::Record src{}, dst{};
    ASSERT_EQ(TypeParam::size(&dst, 3), 1);
    EXPECT_EQ(TypeParam::assign(&dst, &src), 1);
    EXPECT_EQ(dst.count, 0u);
    EXPECT_EQ(dst.values, nullptr);
}

TYPED_TEST(MFArrayFamily, AssignOntoItselfChangesNothing)
{
    typename TypeParam::Record a{};
    ASSERT_EQ(TypeParam::size(&a, 3), 1);
    fillPattern<TypeParam>(a, 9);
    auto *storage = a.values;
    EXPECT_EQ(TypeParam::assign(&a, &a), 1);
    EXPECT_EQ(a.values, storage);
    EXPECT_TRUE(holdsPattern<TypeParam>(a, 3 * TypeParam::kWidth, 9));
    TypeParam::clear(&a);
}

TYPED_TEST(MFArrayFamily, FailedAssignLeavesTheDestinationEmpty)
{
    GLYVA_REQUIRE_FAILING_ALLOC();
    typename TypeParam::Record src{}, dst{};
    ASSERT_EQ(TypeParam::size(&src, 4), 1);
    fillPattern<TypeParam>(src, 1);
    ASSERT_EQ(TypeParam::size(&dst, 2), 1);
    int result = -1;
    failAllocation(1, [&] { result = TypeParam::assign(&dst, &src); });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(dst.count, 0u);
    EXPECT_EQ(dst.values, nullptr);
    EXPECT_EQ(src.count, 4u);
    EXPECT_TRUE(holdsPattern<TypeParam>(src, 4 * TypeParam::kWidth, 1));
    TypeParam::clear(&src);
}

TYPED_TEST(MFArrayFamily, EqualComparesCountsThenBytes)
{
    typename TypeParam::Record a{}, b{}, empty{};
    ASSERT_EQ(TypeParam::size(&a, 2), 1);
    ASSERT_EQ(TypeParam::size(&b, 2), 1);
    fillPattern<TypeParam>(a, 0);
    fillPattern<TypeParam>(b, 0);
    EXPECT_EQ(TypeParam::equal(&a, &b), 1);
    EXPECT_EQ(TypeParam::equal(&a, &empty), 0);
    EXPECT_EQ(TypeParam::equal(&empty, &a), 0);

    /* The same two elements in the other order. */
    std::vector<unsigned char> first(bytesOf<TypeParam>(b),
                                     bytesOf<TypeParam>(b) + TypeParam::kWidth);
    std::memmove(bytesOf<TypeParam>(b), bytesOf<TypeParam>(b) + TypeParam::kWidth,
                 TypeParam::kWidth);
    std::memcpy(bytesOf<TypeParam>(b) + TypeParam::kWidth, first.data(), TypeParam::kWidth);
    EXPECT_EQ(TypeParam::equal(&a, &b), 0);

    /* One flipped bit in the last byte. */
    fillPattern<TypeParam>(b, 0);
    bytesOf<TypeParam>(b)[2 * TypeParam::kWidth - 1] ^= 1;
    EXPECT_EQ(TypeParam::equal(&a, &b), 0);

    ASSERT_EQ(TypeParam::size(&b, 3), 1);
    EXPECT_EQ(TypeParam::equal(&a, &b), 0);
    TypeParam::clear(&a);
    TypeParam::clear(&b);
}

TEST(MFArrayEqual, FloatsCompareByTheirBits)
{
    const float minusZero = -0.0f;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    MFFloat a{}, b{};
    ASSERT_TRUE(sizeMFFloat(&a, 2) && sizeMFFloat(&b, 2));
    a.values[0] = 1.0f;
    a.values[1] = 0.0f;
    b.values[0] = 1.0f;
    b.values[1] = minusZero;
    EXPECT_EQ(equalMFFloat(&a, &b), 0);
    a.values[1] = nan;
    b.values[1] = nan;
    EXPECT_EQ(equalMFFloat(&a, &b), 1);
    clearMFFloat(&a);
    clearMFFloat(&b);
}

TEST(MFArrayLayout, ElementsArePackedComponents)
{
    MFVec3f points{};
    const float p[3] = {1, 2, 3};
    const float q[3] = {4, 5, 6};
    ASSERT_EQ(appendMFVec3f(&points, p), 1);
    ASSERT_EQ(appendMFVec3f(&points, q), 1);
    const float *flat = &points.values[0][0];
    const float expected[6] = {1, 2, 3, 4, 5, 6};
    EXPECT_EQ(std::memcmp(flat, expected, sizeof expected), 0);
    clearMFVec3f(&points);
}

TEST(MFArrayAppend, Int32AppendsOneValueAtTheEnd)
{
    MFInt32 list{};
    EXPECT_EQ(appendMFInt32(&list, 7), 1);
    EXPECT_EQ(appendMFInt32(&list, -3), 1);
    EXPECT_EQ(appendMFInt32(&list, INT32_MIN), 1);
    ASSERT_EQ(list.count, 3u);
    EXPECT_EQ(list.values[0], 7);
    EXPECT_EQ(list.values[1], -3);
    EXPECT_EQ(list.values[2], INT32_MIN);
    EXPECT_EQ(appendMFInt32(nullptr, 1), 0);
    clearMFInt32(&list);
}

TEST(MFArrayAppend, VectorsAppendTheirComponents)
{
    MFVec2f flat{};
    MFVec3f space{};
    const float v2[2] = {0.5f, -1.25f};
    const float v3[3] = {3.0f, -0.0f, 1e30f};
    EXPECT_EQ(appendMFVec2f(&flat, v2), 1);
    EXPECT_EQ(appendMFVec3f(&space, v3), 1);
    ASSERT_EQ(flat.count, 1u);
    ASSERT_EQ(space.count, 1u);
    EXPECT_EQ(std::memcmp(flat.values[0], v2, sizeof v2), 0);
    EXPECT_EQ(std::memcmp(space.values[0], v3, sizeof v3), 0);
    clearMFVec2f(&flat);
    clearMFVec3f(&space);
}

TEST(MFArrayAppend, AbsentArgumentsFailAndChangeNothing)
{
    MFVec2f flat{};
    MFVec3f space{};
    const float v[3] = {1, 2, 3};
    EXPECT_EQ(appendMFVec2f(nullptr, v), 0);
    EXPECT_EQ(appendMFVec2f(&flat, nullptr), 0);
    EXPECT_EQ(appendMFVec3f(nullptr, v), 0);
    EXPECT_EQ(appendMFVec3f(&space, nullptr), 0);
    EXPECT_EQ(appendMFVec3fVec2(nullptr, v), 0);
    EXPECT_EQ(appendMFVec3fVec2(&space, nullptr), 0);
    EXPECT_EQ(flat.count, 0u);
    EXPECT_EQ(flat.values, nullptr);
    EXPECT_EQ(space.count, 0u);
    EXPECT_EQ(space.values, nullptr);
}

TEST(MFArrayAppend, PlanePointGetsPositiveZeroDepth)
{
    MFVec3f points{};
    const float v[2] = {1.5f, -2.0f};
    ASSERT_EQ(appendMFVec3fVec2(&points, v), 1);
    ASSERT_EQ(points.count, 1u);
    EXPECT_EQ(points.values[0][0], 1.5f);
    EXPECT_EQ(points.values[0][1], -2.0f);
    EXPECT_EQ(points.values[0][2], 0.0f);
    EXPECT_FALSE(std::signbit(points.values[0][2]));
    clearMFVec3f(&points);
}

/* The element to append may live in the storage that the append moves. */
TEST(MFArrayAppend, AnElementOfTheArrayItselfCanBeAppended)
{
    MFVec3f points{};
    const float v[3] = {7, 8, 9};
    ASSERT_EQ(appendMFVec3f(&points, v), 1);
    for (int i = 0; i < 20; ++i)
        ASSERT_EQ(appendMFVec3f(&points, points.values[0]), 1);
    ASSERT_EQ(points.count, 21u);
    EXPECT_EQ(std::memcmp(points.values[20], v, sizeof v), 0);
    clearMFVec3f(&points);
}

TEST(MFArrayAppend, EachAppendIsOneExactAllocation)
{
    GLYVA_REQUIRE_FAILING_ALLOC();
    MFInt32 list{};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(countAllocations([&] { appendMFInt32(&list, i); }), 1);
    clearMFInt32(&list);
}

TEST(MFArrayAppend, FailedAppendEmptiesTheArray)
{
    GLYVA_REQUIRE_FAILING_ALLOC();
    MFInt32 list{};
    MFVec2f flat{};
    MFVec3f space{};
    const float v[3] = {1, 2, 3};
    ASSERT_EQ(appendMFInt32(&list, 1), 1);
    ASSERT_EQ(appendMFVec2f(&flat, v), 1);
    ASSERT_EQ(appendMFVec3f(&space, v), 1);
    int results[4] = {-1, -1, -1, -1};
    failAllocation(1, [&] { results[0] = appendMFInt32(&list, 2); });
    failAllocation(1, [&] { results[1] = appendMFVec2f(&flat, v); });
    failAllocation(1, [&] { results[2] = appendMFVec3f(&space, v); });
    EXPECT_EQ(results[0], 0);
    EXPECT_EQ(results[1], 0);
    EXPECT_EQ(results[2], 0);
    EXPECT_TRUE(list.count == 0 && list.values == nullptr);
    EXPECT_TRUE(flat.count == 0 && flat.values == nullptr);
    EXPECT_TRUE(space.count == 0 && space.values == nullptr);
    failAllocation(1, [&] { results[3] = appendMFVec3fVec2(&space, v); });
    EXPECT_EQ(results[3], 0);
    EXPECT_TRUE(space.count == 0 && space.values == nullptr);
}

namespace
{

/* The two search-insert members behind one interface, so that the window rules are
 * tested on both. */
struct Vec2Ops {
    using Record = MFVec2f;
    static constexpr int kComponents = 2;
    static int32_t searchInsert(Record *a, const float *v) { return searchInsertMFVec2f(a, v); }
    static int append(Record *a, const float *v) { return appendMFVec2f(a, v); }
    static void clear(Record *a) { clearMFVec2f(a); }
};

struct Vec3Ops {
    using Record = MFVec3f;
    static constexpr int kComponents = 3;
    static int32_t searchInsert(Record *a, const float *v) { return searchInsertMFVec3f(a, v); }
    static int append(Record *a, const float *v) { return appendMFVec3f(a, v); }
    static void clear(Record *a) { clearMFVec3f(a); }
};

template <typename Ops> class MFSearchInsert : public ::testing::Test
{
  protected:
    /* n distinct points (i, 100, 200) for i = 0 .. n-1. */
    void fill(uint32_t n)
    {
        for (uint32_t i = 0; i < n; ++i) {
            const float v[3] = {static_cast<float>(i), 100, 200};
            ASSERT_EQ(Ops::append(&array, v), 1);
        }
    }
    void TearDown() override { Ops::clear(&array); }
    typename Ops::Record array{};
};

using SearchInsertTypes = ::testing::Types<Vec2Ops, Vec3Ops>;
TYPED_TEST_SUITE(MFSearchInsert, SearchInsertTypes);

} // namespace

TYPED_TEST(MFSearchInsert, FirstValueIsAppendedAndThenFound)
{
    const float v[3] = {1, 2, 3};
    EXPECT_EQ(TypeParam::searchInsert(&this->array, v), 0);
    EXPECT_EQ(TypeParam::searchInsert(&this->array, v), 0);
    EXPECT_EQ(this->array.count, 1u);
    const float w[3] = {2, 1, 3};
    EXPECT_EQ(TypeParam::searchInsert(&this->array, w), 1);
    EXPECT_EQ(this->array.count, 2u);
    EXPECT_EQ(std::memcmp(this->array.values[1], w, TypeParam::kComponents * sizeof(float)), 0);
}

TYPED_TEST(MFSearchInsert, AbsentArgumentsGiveMinusOne)
{
    const float v[3] = {1, 2, 3};
    EXPECT_EQ(TypeParam::searchInsert(nullptr, v), -1);
    EXPECT_EQ(TypeParam::searchInsert(&this->array, nullptr), -1);
    EXPECT_EQ(this->array.count, 0u);
}

TYPED_TEST(MFSearchInsert, WindowOf65StillReachesIndexZero)
{
    this->fill(65);
    const float first[3] = {0, 100, 200};
    EXPECT_EQ(TypeParam::searchInsert(&this->array, first), 0);
    EXPECT_EQ(this->array.count, 65u);
}

TYPED_TEST(MFSearchInsert, WindowOf66MissesIndexZero)
{
    this->fill(66);
    const float first[3] = {0, 100, 200};
    const float second[3] = {1, 100, 200};
    const float last[3] = {65, 100, 200};
    EXPECT_EQ(TypeParam::searchInsert(&this->array, second), 1);
    EXPECT_EQ(TypeParam::searchInsert(&this->array, last), 65);
    EXPECT_EQ(this->array.count, 66u);
    EXPECT_EQ(TypeParam::searchInsert(&this->array, first), 66);
    EXPECT_EQ(this->array.count, 67u);
    /* The duplicate is the one found from now on. */
    EXPECT_EQ(TypeParam::searchInsert(&this->array, first), 66);
}

TYPED_TEST(MFSearchInsert, FirstMatchInTheWindowWins)
{
    const float v[3] = {4, 4, 4};
    const float other[3] = {5, 5, 5};
    ASSERT_EQ(TypeParam::append(&this->array, other), 1);
    ASSERT_EQ(TypeParam::append(&this->array, v), 1);
    ASSERT_EQ(TypeParam::append(&this->array, v), 1);
    EXPECT_EQ(TypeParam::searchInsert(&this->array, v), 1);
    EXPECT_EQ(this->array.count, 3u);
}

TYPED_TEST(MFSearchInsert, EveryComponentMustMatch)
{
    const float v[3] = {1, 2, 3};
    ASSERT_EQ(TypeParam::searchInsert(&this->array, v), 0);
    for (int c = 0; c < TypeParam::kComponents; ++c) {
        float w[3] = {1, 2, 3};
        w[c] = std::nextafter(w[c], 10.0f);
        EXPECT_EQ(TypeParam::searchInsert(&this->array, w), c + 1) << "component " << c;
    }
}

TYPED_TEST(MFSearchInsert, NaNIsAppendedOnEveryCall)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (int c = 0; c < TypeParam::kComponents; ++c) {
        float v[3] = {1, 2, 3};
        v[c] = nan;
        const int32_t base = static_cast<int32_t>(this->array.count);
        EXPECT_EQ(TypeParam::searchInsert(&this->array, v), base);
        EXPECT_EQ(TypeParam::searchInsert(&this->array, v), base + 1);
    }
}

TYPED_TEST(MFSearchInsert, SignedZerosMatchEachOther)
{
    const float plus[3] = {0.0f, 1, 0.0f};
    const float minus[3] = {-0.0f, 1, -0.0f};
    ASSERT_EQ(TypeParam::searchInsert(&this->array, plus), 0);
    EXPECT_EQ(TypeParam::searchInsert(&this->array, minus), 0);
    EXPECT_EQ(this->array.count, 1u);
    EXPECT_FALSE(std::signbit(this->array.values[0][0]));
}

TYPED_TEST(MFSearchInsert, HostileNumbersAreStoredExactly)
{
    const float big[3] = {3.4e38f, -3.4e38f, std::numeric_limits<float>::infinity()};
    const float tiny[3] = {std::numeric_limits<float>::denorm_min(), -1e-45f, 1e-38f};
    EXPECT_EQ(TypeParam::searchInsert(&this->array, big), 0);
    EXPECT_EQ(TypeParam::searchInsert(&this->array, tiny), 1);
    EXPECT_EQ(TypeParam::searchInsert(&this->array, big), 0);
    EXPECT_EQ(TypeParam::searchInsert(&this->array, tiny), 1);
}

TYPED_TEST(MFSearchInsert, FailedAppendGivesMinusOneAndEmptiesTheArray)
{
    GLYVA_REQUIRE_FAILING_ALLOC();
    this->fill(3);
    const float known[3] = {2, 100, 200};
    const float fresh[3] = {9, 9, 9};
    int32_t found = 0, inserted = 0;
    failAllocation(1, [&] {
        found = TypeParam::searchInsert(&this->array, known);
        inserted = TypeParam::searchInsert(&this->array, fresh);
    });
    EXPECT_EQ(found, 2);
    EXPECT_EQ(inserted, -1);
    EXPECT_EQ(this->array.count, 0u);
    EXPECT_EQ(this->array.values, nullptr);
}
