#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "fuzz/fuzzSupport.hh"
#include "util/plyxUtil.h"

/* Arbitrary bytes through every binary reader. The first byte tells how many of the
 * following bytes are a script; each script byte picks a reader (and its arguments),
 * and the rest of the input is the file the readers work on, through a KDFile. After
 * every step the results are checked against the record rules and released, so that
 * the sanitizers see every path through to its end. */

namespace
{

enum Step {
    kUShort,
    kInt,
    kUInt,
    kUIntBig,
    kUInt64,
    kTime,
    kFloat,
    kIntArray,
    kFloatArray,
    kString,
    kMFString,
    kMFBool,
    kMFFloat,
    kRewind,
    kStepCount
};

constexpr size_t kMaxScript = 32;
constexpr size_t kMaxArray = 16;

/* A field count or text length that asks for more than this is not run: the readers
 * size first and read after, as they must, so a corrupt count from a short input
 * would otherwise make a multi-gigabyte allocation that the fuzzer's malloc limit
 * reports as a crash. Counts that sizing refuses outright are still run. The unit
 * tests cover the huge counts. */
constexpr uint64_t kMaxAllocation = 1u << 22;

using fuzzsupport::check;

/* The file's bytes, for looking ahead at counts without disturbing the stream. */
struct Content {
    const uint8_t *bytes;
    size_t size;
};

bool peekInt(const Content &content, uint64_t at, int32_t *value)
{
    if (at + 4 > content.size)
        return false;
    const uint8_t *b = content.bytes + at;
    const uint32_t bits = b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<uint32_t>(b[3]) << 24);
    memcpy(value, &bits, 4);
    return true;
}

/* Whether count elements of width bytes are refused by sizing or fit the cap. */
bool countIsBounded(int32_t count, uint64_t width)
{
    if (count <= 0)
        return true;
    const uint64_t bytes = static_cast<uint64_t>(count) * width;
    return bytes > UINT32_MAX || bytes > SIZE_MAX || bytes <= kMaxAllocation;
}

bool textIsBounded(const Content &content, uint64_t at)
{
    int32_t length = 0;
    return !peekInt(content, at, &length) || length <= 0 ||
           static_cast<uint64_t>(length) < kMaxAllocation;
}

/* Follows the entries of a string field as far as the file holds them. */
bool stringFieldIsBounded(const Content &content, uint64_t at)
{
    int32_t count = 0;
    if (!peekInt(content, at, &count))
        return true;
    if (!countIsBounded(count, sizeof(char *)))
        return false;
    /* A refused count reads no entries. */
    if (count <= 0 || static_cast<uint64_t>(count) * sizeof(char *) > UINT32_MAX)
        return true;
    at += 4;
    for (int32_t i = 0; i < count && at + 4 <= content.size; ++i) {
        int32_t length = 0;
        peekInt(content, at, &length);
        if (!textIsBounded(content, at))
            return false;
        at += 4 + (length > 0 ? static_cast<uint64_t>(length) : 0);
    }
    return true;
}

bool stepIsBounded(Step step, const Content &content, uint64_t at)
{
    int32_t count = 0;
    switch (step) {
    case kString:
        return textIsBounded(content, at);
    case kMFString:
        return stringFieldIsBounded(content, at);
    case kMFBool:
        return !peekInt(content, at, &count) || countIsBounded(count, 1);
    case kMFFloat:
        return !peekInt(content, at, &count) || countIsBounded(count, 4);
    default:
        return true;
    }
}

template <typename Record> void checkRecord(const Record &array)
{
    check((array.count == 0) == (array.values == nullptr));
}

/* A scalar read consumes its whole item on success and never more than it on failure. */
template <typename T> void runScalar(KDFile *file, int (*read)(KDFile *, T *), bool nullTarget)
{
    const KDoff before = kdFtell(file);
    T value;
    const int ok = read(file, nullTarget ? nullptr : &value);
    const KDoff consumed = kdFtell(file) - before;
    check(ok ? consumed == static_cast<KDoff>(sizeof(T))
             : consumed <= static_cast<KDoff>(sizeof(T)));
    check(!(ok && nullTarget));
}

void runArray(KDFile *file, bool floats, uint32_t count, bool nullTarget)
{
    const KDoff before = kdFtell(file);
    int32_t ints[kMaxArray];
    float reals[kMaxArray];
    const int ok = floats ? readFloatArrayLE(file, nullTarget ? nullptr : reals, count)
                          : readIntArrayLE(file, nullTarget ? nullptr : ints, count);
    const KDoff consumed = kdFtell(file) - before;
    check(consumed <= static_cast<KDoff>(4 * count));
    check(!ok || consumed == static_cast<KDoff>(4 * count));
}

/* Exercises the list operations on what the reader produced. */
void useList(const MFString &list)
{
    char *joined = toStringMFString(&list);
    kdFree(joined);
    MFString copy{};
    if (assignMFString(&copy, &list))
        check(!notEqualMFString(&copy, &list));
    clearMFString(&copy);
}

void runMFString(KDFile *file)
{
    MFString list{};
    readMFStringLE(file, &list);
    checkRecord(list);
    useList(list);
    clearMFString(&list);
}

void runMFBool(KDFile *file)
{
    MFBool array{};
    const int ok = readMFBoolLE(file, &array);
    checkRecord(array);
    check(!ok || array.count > 0);
    clearMFBool(&array);
}

void runMFFloat(KDFile *file)
{
    MFFloat array{};
    const int ok = readMFFloatLE(file, &array);
    checkRecord(array);
    check(!ok || array.count > 0);
    clearMFFloat(&array);
}

void runString(KDFile *file, bool nullTarget)
{
    char *text = nullptr;
    const int ok = readUtf8StringLE(file, nullTarget ? nullptr : &text);
    check(!(ok && nullTarget));
    kdFree(text);
}

void runStep(KDFile *file, uint8_t code)
{
    const Step step = static_cast<Step>(code % kStepCount);
    const uint32_t argument = code / kStepCount;
    const bool nullTarget = argument == 0;
    switch (step) {
    case kUShort:
        return runScalar<uint16_t>(file, readUShortLE, nullTarget);
    case kInt:
        return runScalar<int32_t>(file, readIntLE, nullTarget);
    case kUInt:
        return runScalar<uint32_t>(file, readUIntLE, nullTarget);
    case kUIntBig:
        return runScalar<uint32_t>(file, readUInt, nullTarget);
    case kUInt64:
        return runScalar<uint64_t>(file, readUInt64LE, nullTarget);
    case kTime:
        return runScalar<int64_t>(file, readTimeLE, nullTarget);
    case kFloat:
        return runScalar<float>(file, readFloatLE, nullTarget);
    case kIntArray:
    case kFloatArray:
        return runArray(file, step == kFloatArray, argument % (kMaxArray + 1),
                        argument > kMaxArray);
    case kString:
        return runString(file, nullTarget);
    case kMFString:
        return runMFString(file);
    case kMFBool:
        return runMFBool(file);
    case kMFFloat:
        return runMFFloat(file);
    case kRewind:
    case kStepCount:
        kdFseek(file, argument, KD_SEEK_SET);
        return;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    size_t scriptSize = data[0] % (kMaxScript + 1);
    if (scriptSize > size - 1)
        scriptSize = size - 1;
    const uint8_t *script = data + 1;
    const Content content = {script + scriptSize, size - 1 - scriptSize};

    char path[] = "/tmp/glyva-fuzz-XXXXXX";
    if (!fuzzsupport::writeTempFile(content.bytes, content.size, path)) {
        unlink(path);
        return 0;
    }
    KDFile *file = kdFopen(path, "rb");
    unlink(path);
    if (!file)
        return 0;
    for (size_t i = 0; i < scriptSize; ++i) {
        const Step step = static_cast<Step>(script[i] % kStepCount);
        const KDoff at = kdFtell(file);
        if (at >= 0 && stepIsBounded(step, content, static_cast<uint64_t>(at)))
            runStep(file, script[i]);
    }
    kdFclose(file);
    return 0;
}
