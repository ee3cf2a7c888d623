#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/support.hh"
#include "util/plyxUtil.h"

/* The multi-value arrays and string lists, the library's own container. */

using namespace glyva_test;

namespace
{

/* The exported members of one array type and the element width the layout rule gives
 * it, so that every family is run through the same checks. */
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

template <typename Ops> class MFArrayFamily : public testing::Test
{
  protected:
    using Record = typename Ops::Record;
    static unsigned char *bytes(Record &a) { return reinterpret_cast<unsigned char *>(a.values); }
    /* Bytes that depend on their position and a seed. */
    static void fill(Record &a, unsigned seed)
    {
        for (size_t i = 0; i < a.count * Ops::kWidth; ++i)
            bytes(a)[i] = static_cast<unsigned char>(i * 7 + seed);
    }
    static bool holds(Record &a, uint32_t count, unsigned seed)
    {
        for (size_t i = 0; i < count * Ops::kWidth; ++i)
            if (bytes(a)[i] != static_cast<unsigned char>(i * 7 + seed))
                return false;
        return true;
    }
};

using AllArrays = testing::Types<MFBoolOps, MFInt32Ops, MFFloatOps, MFVec2fOps, MFVec3fOps,
                                 MFRotationOps, MFColorOps, MFColorRGBAOps>;
TYPED_TEST_SUITE(MFArrayFamily, AllArrays);

} // namespace

/* A zeroed record is empty; sizes keep the prefix, 0 releases, the same count keeps the
 * storage; null arguments fail and change nothing. Assign copies every byte into storage
 * of its own, reusing it for the same count; an empty source empties; onto itself nothing
 * changes. Equal compares counts, then bytes: the same elements in another order, or one
 * flipped bit, differ. */
TYPED_TEST(MFArrayFamily, SizeAssignAndEqual)
{
    using Ops = TypeParam;
    const size_t w = Ops::kWidth;
    typename Ops::Record a{}, b{}, src{}, dst{}, empty{};
    EXPECT_EQ(sizeof(*a.values), Ops::kWidth);
    EXPECT_TRUE(Ops::equal(&a, &b) && Ops::assign(&a, &b) && Ops::size(&a, 0));
    ASSERT_EQ(Ops::size(&a, 4), 1);
    this->fill(a, 3);
    auto *storage = a.values;
    EXPECT_TRUE(Ops::size(&a, 4) == 1 && a.values == storage);
    EXPECT_EQ(Ops::size(nullptr, 3), 0);
    EXPECT_EQ(Ops::assign(nullptr, &a) + Ops::assign(&a, nullptr), 0);
    EXPECT_EQ(Ops::equal(&a, nullptr) + Ops::equal(nullptr, &a) + Ops::equal(nullptr, nullptr), 0);
    Ops::clear(nullptr);
    EXPECT_EQ(a.count, 4u);
    ASSERT_EQ(Ops::size(&a, 100), 1);
    EXPECT_TRUE(this->holds(a, 4, 3));
    ASSERT_EQ(Ops::size(&a, 2), 1);
    EXPECT_TRUE(a.count == 2 && this->holds(a, 2, 3));
    EXPECT_TRUE(Ops::size(&a, 0) == 1 && a.count == 0 && a.values == nullptr);
    ASSERT_TRUE(Ops::size(&src, 6) && Ops::size(&dst, 2));
    this->fill(src, 11);
    EXPECT_EQ(Ops::assign(&dst, &src), 1);
    EXPECT_TRUE(dst.count == 6 && dst.values != src.values && this->holds(dst, 6, 11));
    EXPECT_EQ(Ops::equal(&dst, &src), 1);
    storage = dst.values;
    this->fill(src, 5);
    EXPECT_TRUE(Ops::assign(&dst, &src) == 1 && dst.values == storage && this->holds(dst, 6, 5));
    EXPECT_TRUE(Ops::assign(&dst, &dst) == 1 && dst.values == storage && this->holds(dst, 6, 5));
    std::vector<unsigned char> first(this->bytes(dst), this->bytes(dst) + w);
    std::memmove(this->bytes(dst), this->bytes(dst) + w, w);
    std::memcpy(this->bytes(dst) + w, first.data(), w);
    EXPECT_EQ(Ops::equal(&dst, &src), 0);
    this->fill(dst, 5);
    this->bytes(dst)[6 * w - 1] ^= 1;
    EXPECT_EQ(Ops::equal(&src, &dst), 0);
    EXPECT_EQ(Ops::equal(&src, &empty) + Ops::equal(&empty, &src), 0);
    ASSERT_EQ(Ops::size(&dst, 7), 1);
    EXPECT_EQ(Ops::equal(&src, &dst), 0);
    EXPECT_TRUE(Ops::assign(&dst, &empty) == 1 && dst.count == 0 && dst.values == nullptr);
    Ops::clear(&src);
}

/* Each change of size is one exact allocation; a count whose byte size passes 32 bits
 * is refused before any, and the array emptied; the largest accepted count reaches the
 * allocator. A failed growth or assign leaves the array empty. */
TYPED_TEST(MFArrayFamily, Allocation)
{
    using Ops = TypeParam;
    GLYVA_REQUIRE_FAILING_ALLOC();
    typename Ops::Record a{}, small{}, src{};
    for (uint32_t n : {1u, 2u, 1u})
        EXPECT_EQ(countAllocations([&] { Ops::size(&a, n); }), 1);
    const uint32_t largest = UINT32_MAX / Ops::kWidth;
    for (uint32_t count : {largest + 1, largest + 2, UINT32_MAX}) {
        if (Ops::kWidth == 1)
            break; /* every 32-bit count of one-byte elements has a 32-bit byte size */
        ASSERT_EQ(Ops::size(&a, 3), 1);
        EXPECT_EQ(countAllocations([&] { EXPECT_EQ(Ops::size(&a, count), 0); }), 0) << count;
        EXPECT_TRUE(a.count == 0 && a.values == nullptr);
    }
    int big = -1, smallResult = -1;
    failAllocation(1, [&] { big = Ops::size(&a, largest), smallResult = Ops::size(&small, 1); });
    EXPECT_TRUE(big == 0 && smallResult == 1) << "the largest count used the failure up";
    Ops::clear(&small);
    ASSERT_EQ(Ops::size(&a, 4), 1);
    failAllocation(1, [&] { big = Ops::size(&a, 9); });
    EXPECT_TRUE(big == 0 && a.count == 0 && a.values == nullptr);
    failAllocation(1, [&] { big = Ops::size(&a, 4); });
    EXPECT_TRUE(big == 0 && a.count == 0 && a.values == nullptr);
    ASSERT_TRUE(Ops::size(&src, 4) && Ops::size(&a, 2));
    this->fill(src, 1);
    failAllocation(1, [&] { big = Ops::assign(&a, &src); });
    EXPECT_TRUE(big == 0 && a.count == 0 && a.values == nullptr);
    EXPECT_TRUE(this->holds(src, 4, 1));
    Ops::clear(&src);
}

/* Floats compare by their bits in equal, by value in search-insert: -0.0 is no 0.0 to
 * the first and matches it in the second; a NaN equals its own bits and matches
 * nothing. */
TEST(MFArrays, AppendAndTheFloatRules)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    MFFloat a{}, b{};
    ASSERT_TRUE(sizeMFFloat(&a, 2) && sizeMFFloat(&b, 2));
    a.values[0] = b.values[0] = 1.0f;
    a.values[1] = 0.0f, b.values[1] = -0.0f;
    EXPECT_EQ(equalMFFloat(&a, &b), 0);
    a.values[1] = b.values[1] = nan;
    EXPECT_EQ(equalMFFloat(&a, &b), 1);
    clearMFFloat(&a);
    clearMFFloat(&b);
    MFInt32 list{};
    for (int32_t v : {7, -3, INT32_MIN})
        EXPECT_EQ(appendMFInt32(&list, v), 1);
    EXPECT_EQ(std::vector<int32_t>(list.values, list.values + list.count),
              (std::vector<int32_t>{7, -3, INT32_MIN}));
    EXPECT_EQ(appendMFInt32(nullptr, 1), 0);
    MFVec2f flat{};
    MFVec3f space{};
    const float v[3] = {3.0f, -0.0f, 1e30f}, plane[2] = {1.5f, -2.0f};
    EXPECT_TRUE(appendMFVec2f(&flat, v) && appendMFVec3f(&space, v) &&
                appendMFVec3fVec2(&space, plane));
    EXPECT_EQ(std::memcmp(flat.values[0], v, 8), 0);
    const float packed[6] = {3.0f, -0.0f, 1e30f, 1.5f, -2.0f, 0.0f};
    EXPECT_EQ(std::memcmp(space.values, packed, sizeof packed), 0) << "packed, z = +0";
    for (int i = 0; i < 20; ++i) /* the element may live in the storage that moves */
        ASSERT_EQ(appendMFVec3f(&space, space.values[0]), 1);
    EXPECT_EQ(std::memcmp(space.values[21], v, sizeof v), 0);
    EXPECT_EQ(appendMFVec2f(nullptr, v) + appendMFVec2f(&flat, nullptr) +
                  appendMFVec3f(nullptr, v) + appendMFVec3f(&space, nullptr) +
                  appendMFVec3fVec2(nullptr, v) + appendMFVec3fVec2(&space, nullptr),
              0);
    EXPECT_TRUE(flat.count == 1 && space.count == 22);
    if (allocationFailureAvailable()) {
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(countAllocations([&] { appendMFInt32(&list, i); }), 1) << "exact fit";
        /* Every type appends through one template: one type, and the packing wrapper. */
        int results = 0;
        failAllocation(1, [&] { results += appendMFInt32(&list, 2); });
        failAllocation(1, [&] { results += appendMFVec3fVec2(&space, plane); });
        EXPECT_TRUE(results == 0 && !list.values && !list.count && !space.values && !space.count);
    }
    clearMFInt32(&list);
    clearMFVec2f(&flat);
    clearMFVec3f(&space);
}

namespace
{

struct Vec2Ops : MFVec2fOps {
    static int32_t searchInsert(Record *a, const float *v) { return searchInsertMFVec2f(a, v); }
};
struct Vec3Ops : MFVec3fOps {
    static int32_t searchInsert(Record *a, const float *v) { return searchInsertMFVec3f(a, v); }
};

template <typename Ops> class MFSearchInsert : public testing::Test
{
};

using SearchInsertTypes = testing::Types<Vec2Ops, Vec3Ops>;
TYPED_TEST_SUITE(MFSearchInsert, SearchInsertTypes);

} // namespace

/* The index of the first equal element among the last 65, every component compared,
 * else the value appended; NaN matches nothing, -0.0 matches 0.0, and hostile numbers
 * are stored exactly. A failed append gives -1 and empties the array. */
TYPED_TEST(MFSearchInsert, FindsWithinTheLast65)
{
    using Ops = TypeParam;
    typename Ops::Record a{};
    auto insert = [&](float x, float y, float z) {
        const float v[3] = {x, y, z};
        return Ops::searchInsert(&a, v);
    };
    const float nan = std::numeric_limits<float>::quiet_NaN(), big = 3.4e38f;
    EXPECT_EQ(Ops::searchInsert(nullptr, &big) + Ops::searchInsert(&a, nullptr), -2);
    for (int i = 0; i < 65; ++i)
        ASSERT_EQ(insert(static_cast<float>(i), 100, 200), i);
    EXPECT_EQ(insert(0, 100, 200), 0) << "65 back is still in the window";
    EXPECT_EQ(insert(65, 100, 200), 65);
    EXPECT_EQ(insert(0, 100, 200), 66) << "66 back is not";
    EXPECT_EQ(insert(0, 100, 200), 66) << "the first match in the window wins";
    EXPECT_EQ(insert(1, 100, 200), 67);
    for (size_t c = 0; c < Ops::kWidth / 4; ++c) {
        float w[3] = {1, 100, 200};
        w[c] = std::nextafter(w[c], 1000.0f);
        EXPECT_EQ(Ops::searchInsert(&a, w), 68 + c) << "component " << c;
    }
    const int32_t n = static_cast<int32_t>(a.count);
    EXPECT_EQ(insert(nan, 2, 3), n);
    EXPECT_EQ(insert(nan, 2, 3), n + 1);
    EXPECT_EQ(insert(1, nan, nan), n + 2);
    EXPECT_EQ(insert(0.0f, 7, 0.0f), n + 3);
    EXPECT_EQ(insert(-0.0f, 7, -0.0f), n + 3);
    EXPECT_FALSE(std::signbit(a.values[n + 3][0]));
    EXPECT_EQ(insert(big, -big, INFINITY), n + 4);
    EXPECT_EQ(insert(std::numeric_limits<float>::denorm_min(), -1e-45f, 1e-38f), n + 5);
    EXPECT_EQ(insert(big, -big, INFINITY), n + 4);
    if (allocationFailureAvailable()) {
        int32_t found = 0, inserted = 0;
        failAllocation(1, [&] { found = insert(big, -big, INFINITY), inserted = insert(9, 9, 9); });
        EXPECT_TRUE(found == n + 4 && inserted == -1 && a.count == 0 && a.values == nullptr);
    }
    Ops::clear(&a);
}

namespace
{

/* A list owning copies of the texts; null stands for an absent entry, "" for a present
 * empty text, which plyxStrdup never makes. */
MFString makeList(std::initializer_list<const char *> texts)
{
    MFString list{};
    EXPECT_EQ(sizeMFString(&list, static_cast<uint32_t>(texts.size())), 1);
    uint32_t i = 0;
    for (const char *text : texts) {
        list.values[i] = text && *text ? plyxStrdup(text) : nullptr;
        if (text && !*text)
            list.values[i] = static_cast<char *>(kdMalloc(1)), list.values[i][0] = '\0';
        ++i;
    }
    return list;
}

/* The entries as one text, "-" for an absent one. */
std::string entries(const MFString &list)
{
    std::string s;
    for (uint32_t i = 0; i < list.count; ++i)
        s += std::string(i ? "," : "") + (list.values[i] ? list.values[i] : "-");
    return s;
}

std::string joined(const MFString *list)
{
    char *text = toStringMFString(list);
    std::string result = text ? text : "<absent>";
    kdFree(text);
    return result;
}

} // namespace

/* set stores a copy; an absent text releases the entry, an empty one too and fails; an
 * index out of range is reported. assign copies every entry, absent ones absent, stops
 * at an empty present text, and on a null source empties and fails. */
TEST(MFString, SetAndAssign)
{
    MFString list = makeList({nullptr, "old"}), dst = makeList({"old", "older", "oldest"}), none{};
    char text[] = "new";
    EXPECT_TRUE(setMFString(&list, 0, text) && setMFString(&list, 1, text));
    text[0] = 'X';
    EXPECT_EQ(entries(list), "new,new");
    EXPECT_NE(list.values[0], list.values[1]);
    EXPECT_EQ(setMFString(&list, 0, list.values[0]), 1) << "its own text";
    EXPECT_EQ(captureStdout([&] { EXPECT_EQ(setMFString(&list, 0, nullptr), 1); }), "");
    EXPECT_EQ(captureStdout([&] { EXPECT_EQ(setMFString(&list, 1, ""), 0); }), "");
    EXPECT_EQ(entries(list), "-,-");
    const struct {
        MFString *list;
        uint32_t index;
        const char *text;
    } refused[] = {{&list, 2, "abc"},
                   {&list, UINT32_MAX, "z"},
                   {nullptr, 0, "t"},
                   {&none, 0, "t"},
                   {&none, 7, nullptr}};
    for (const auto &r : refused)
        EXPECT_EQ(captureStdout([&] { EXPECT_EQ(setMFString(r.list, r.index, r.text), 0); }),
                  "plyxUtil(1107): MFString set " + std::to_string(r.index) + " " +
                      (r.text ? r.text : "(null)") + " FAILED\n");
    MFString src = makeList({nullptr, "a", nullptr, "bc"});
    EXPECT_EQ(assignMFString(&dst, &src), 1);
    EXPECT_TRUE(entries(dst) == "-,a,-,bc" && dst.values[1] != src.values[1]);
    char **storage = dst.values;
    EXPECT_TRUE(assignMFString(&dst, &src) == 1 && dst.values == storage) << "the same count";
    EXPECT_TRUE(assignMFString(&dst, &dst) == 1 && entries(dst) == "-,a,-,bc");
    MFString emptyText = makeList({"a", nullptr, "", "d"});
    EXPECT_TRUE(assignMFString(&dst, &emptyText) == 0 && entries(dst) == "a,-,-,-");
    EXPECT_EQ(assignMFString(nullptr, &src), 0);
    EXPECT_EQ(assignMFString(&dst, nullptr), 0);
    EXPECT_TRUE(dst.count == 0 && dst.values == nullptr);
    EXPECT_TRUE(assignMFString(&src, &dst) == 1 && src.count == 0 && src.values == nullptr);
    MFString broken{3, nullptr};
    clearMFString(&broken);
    EXPECT_EQ(broken.count, 0u);
    for (MFString *l : {&list, &emptyText})
        clearMFString(l);
    clearMFString(nullptr);
    const uint32_t largest = UINT32_MAX / sizeof(char *);
    EXPECT_EQ(sizeMFString(nullptr, 2) + sizeMFString(&list, largest + 1) +
                  sizeMFString(&list, UINT32_MAX),
              0);
}

/* Presence, then text; and the join: every entry quoted and separated, absent and empty
 * ones as "", nothing escaped, no text when nothing is present. */
TEST(MFString, CompareAndJoin)
{
    MFString a = makeList({nullptr, "a"}), b = makeList({nullptr, "b"}),
             c = makeList({nullptr, "a"}), upper = makeList({nullptr, "A"}),
             shorter = makeList({nullptr}), absentFirst = makeList({"x", "a"}), empty{}, other{};
    EXPECT_EQ(notEqualMFString(&a, &c) + notEqualMFString(&empty, &other) +
                  notEqualMFString(nullptr, nullptr),
              0);
    for (MFString *x : {&b, &upper, &shorter, &absentFirst})
        EXPECT_TRUE(notEqualMFString(&a, x) && notEqualMFString(x, &a)) << entries(*x);
    EXPECT_TRUE(notEqualMFString(&empty, nullptr) && notEqualMFString(nullptr, &empty));
    const std::pair<MFString, const char *> joins[] = {
        {makeList({"a", "bc"}), "\"a\",\"bc\""},
        {makeList({"say \"hi\"", "a,b", "\\"}), "\"say \"hi\"\",\"a,b\",\"\\\""},
        {makeList({"a", nullptr, "b"}), "\"a\",\"\",\"b\""},
        {makeList({nullptr, "a", nullptr}), "\"\",\"a\",\"\""},
        {makeList({nullptr, nullptr, nullptr, nullptr, "z"}), "\"\",\"\",\"\",\"\",\"z\""},
        {makeList({""}), "\"\""},
        {makeList({nullptr, nullptr}), "<absent>"},
    };
    for (auto j : joins) {
        EXPECT_EQ(joined(&j.first), j.second);
        clearMFString(&j.first);
    }
    EXPECT_EQ(joined(&empty), "<absent>");
    EXPECT_EQ(joined(nullptr), "<absent>");
    MFString many{};
    std::string expected;
    ASSERT_EQ(sizeMFString(&many, 5000), 1);
    for (uint32_t i = 0; i < 5000; ++i) {
        many.values[i] = i % 7 == 3 ? nullptr : plyxStrdup(std::to_string(i).c_str());
        expected += (i ? ",\"" : "\"") + (many.values[i] ? std::to_string(i) : "") + "\"";
    }
    EXPECT_EQ(joined(&many), expected);
    for (MFString *l : {&a, &b, &c, &upper, &shorter, &absentFirst, &many})
        clearMFString(l);
}

/* Allocation failures: the entry array (the list empties), a text copy (the entry stays
 * absent, earlier copies kept, a failed entry array reported with the sizes), the join. */
TEST(MFString, Allocation)
{
    GLYVA_REQUIRE_FAILING_ALLOC();
    MFString list{}, src = makeList({"a", "b", "c"}), dst = makeList({"x"});
    int result = -1;
    failAllocation(1, [&] { result = sizeMFString(&list, 3); });
    EXPECT_TRUE(result == 0 && list.count == 0 && list.values == nullptr);
    MFString one = makeList({"old"});
    failAllocation(1, [&] { result = setMFString(&one, 0, "new"); });
    EXPECT_TRUE(result == 0 && one.count == 1 && one.values[0] == nullptr);
    std::string out =
        captureStdout([&] { failAllocation(1, [&] { result = assignMFString(&dst, &src); }); });
    EXPECT_EQ(out, "plyxUtil(1167): size mismatch 0 != 3\n");
    EXPECT_TRUE(result == 0 && dst.count == 0);
    EXPECT_EQ(countAllocations([&] { assignMFString(&dst, &src); }), 4);
    clearMFString(&dst);
    out = captureStdout([&] { failAllocation(3, [&] { result = assignMFString(&dst, &src); }); });
    EXPECT_TRUE(result == 0 && out.empty());
    EXPECT_EQ(entries(dst), "a,-,-");
    char *text = reinterpret_cast<char *>(1);
    failAllocation(1, [&] { text = toStringMFString(&src); });
    EXPECT_EQ(text, nullptr);
    EXPECT_EQ(entries(src), "a,b,c");
    for (MFString *l : {&src, &dst, &one})
        clearMFString(l);
}
