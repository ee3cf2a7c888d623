#include <type_traits>

#include "util/plyxUtil.h"

namespace
{

/* Scalars are always assembled from their bytes, which is right on any byte order.
 * Arrays are read straight into the caller's storage, and need a second pass only where
 * memory order differs from the data's; without a known order the pass always runs. */
#if defined(__BYTE_ORDER__) && defined(__ORDER_LITTLE_ENDIAN__) &&                                 \
    __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
constexpr bool kMemoryIsLittleEndian = true;
#else
constexpr bool kMemoryIsLittleEndian = false;
#endif

constexpr KDsize kWordSize = 4;
constexpr uint64_t kMaxWords = SIZE_MAX / kWordSize;

uint64_t decodeLittleEndian(const uint8_t *bytes, KDsize size)
{
    uint64_t value = 0;
    for (KDsize i = size; i > 0; --i)
        value = (value << 8) | bytes[i - 1];
    return value;
}

uint32_t decodeBigEndian32(const uint8_t *bytes)
{
    return (static_cast<uint32_t>(bytes[0]) << 24) | (static_cast<uint32_t>(bytes[1]) << 16) |
           (static_cast<uint32_t>(bytes[2]) << 8) | bytes[3];
}

template <typename T>
using BitsOf = std::conditional_t<sizeof(T) == 2, uint16_t,
                                  std::conditional_t<sizeof(T) == 4, uint32_t, uint64_t>>;

/* Stores the bit pattern in memory order, which also gives signed and float values
 * their exact bits. */
template <typename Bits> void storeBits(void *destination, uint64_t bits)
{
    const Bits value = static_cast<Bits>(bits);
    kdMemcpy(destination, &value, sizeof value);
}

/* A null destination is handed to kdFread as it is, so that kdFread refuses it and
 * records its error code as for any null buffer. */
int readItem(KDFile *file, const void *destination, uint8_t *bytes, KDsize size)
{
    if (!file)
        return 0;
    return kdFread(destination ? bytes : nullptr, size, 1, file) == 1;
}

/* The destination is written only after the whole item has arrived. */
template <typename T> int readScalarLE(KDFile *file, T *destination)
{
    uint8_t bytes[sizeof(T)];
    if (!readItem(file, destination, bytes, sizeof(T)))
        return 0;
    static_assert(sizeof(T) == sizeof(BitsOf<T>), "no unsigned type of this width");
    storeBits<BitsOf<T>>(destination, decodeLittleEndian(bytes, sizeof(T)));
    return 1;
}

void reorderWords(void *values, uint32_t count)
{
    uint8_t *bytes = static_cast<uint8_t *>(values);
    for (uint32_t i = 0; i < count; ++i, bytes += kWordSize)
        storeBits<uint32_t>(bytes, decodeLittleEndian(bytes, kWordSize));
}

/* count little-endian 4-byte items in one read, then put into memory order. */
int readWordArray(KDFile *file, void *values, uint32_t count)
{
    if (count == 0 || !file)
        return 0;
    /* No buffer of that many words can exist; the byte count would wrap inside fread. */
    if (static_cast<uint64_t>(count) > kMaxWords)
        return 0;
    if (kdFread(values, kWordSize, count, file) != count)
        return 0;
    if (!kMemoryIsLittleEndian)
        reorderWords(values, count);
    return 1;
}

/* length is positive; widening before the + 1 keeps INT32_MAX from overflowing. */
char *readText(KDFile *file, int32_t length)
{
    const KDsize size = static_cast<KDsize>(length);
    char *text = static_cast<char *>(kdMalloc(size + 1));
    if (!text)
        return nullptr;
    if (kdFread(text, 1, size, file) != size) {
        kdFree(text);
        return nullptr;
    }
    text[size] = '\0';
    return text;
}

/* Tries every entry, so that a list always holds count entries, each a text or null. */
int readEntries(KDFile *file, MFString *list)
{
    int complete = 1;
    for (uint32_t i = 0; i < list->count; ++i) {
        list->values[i] = nullptr;
        if (!readUtf8StringLE(file, &list->values[i]))
            complete = 0;
    }
    return complete;
}

int readBytes(KDFile *file, MFBool *array)
{
    for (uint32_t i = 0; i < array->count; ++i) {
        const KDint byte = kdGetc(file);
        if (byte == KD_EOF)
            return 0;
        array->values[i] = static_cast<uint8_t>(byte);
    }
    return 1;
}

} // namespace

int readUShortLE(KDFile *file, uint16_t *value)
{
    return readScalarLE(file, value);
}

int readIntLE(KDFile *file, int32_t *value)
{
    return readScalarLE(file, value);
}

int readUIntLE(KDFile *file, uint32_t *value)
{
    return readScalarLE(file, value);
}

int readUInt64LE(KDFile *file, uint64_t *value)
{
    return readScalarLE(file, value);
}

int readTimeLE(KDFile *file, int64_t *value)
{
    return readScalarLE(file, value);
}

int readFloatLE(KDFile *file, float *value)
{
    return readScalarLE(file, value);
}

/* The one big-endian reader. */
int readUInt(KDFile *file, uint32_t *value)
{
    if (!file || !value)
        return 0;
    uint8_t bytes[kWordSize];
    if (kdFread(bytes, kWordSize, 1, file) != 1)
        return 0;
    *value = decodeBigEndian32(bytes);
    return 1;
}

int readIntArrayLE(KDFile *file, int32_t *values, uint32_t count)
{
    return readWordArray(file, values, count);
}

int readFloatArrayLE(KDFile *file, float *values, uint32_t count)
{
    return readWordArray(file, values, count);
}

int readUtf8StringLE(KDFile *file, char **string)
{
    if (!string)
        return 0;
    int32_t length = 0;
    if (!readIntLE(file, &length))
        return 0;
    if (length <= 0) {
        *string = nullptr;
        return 1;
    }
    char *text = readText(file, length);
    if (!text)
        return 0;
    *string = text;
    return 1;
}

int readMFStringLE(KDFile *file, MFString *list)
{
    if (!list)
        return 0;
    int32_t count = 0;
    if (!readIntLE(file, &count))
        return 0;
    /* A negative count is refused like a size that cannot be allocated. */
    if (count < 0) {
        sizeMFString(list, 0);
        return 0;
    }
    if (!sizeMFString(list, static_cast<uint32_t>(count)))
        return 0;
    if (count == 0)
        return 1;
    return readEntries(file, list);
}

int readMFBoolLE(KDFile *file, MFBool *array)
{
    if (!array || !file)
        return 0;
    int32_t count = 0;
    if (!readIntLE(file, &count))
        return 0;
    if (count <= 0) {
        clearMFBool(array);
        return 0;
    }
    if (!sizeMFBool(array, static_cast<uint32_t>(count)))
        return 0;
    return readBytes(file, array);
}

int readMFFloatLE(KDFile *file, MFFloat *array)
{
    if (!array || !file)
        return 0;
    int32_t count = 0;
    if (!readIntLE(file, &count))
        return 0;
    if (count <= 0) {
        clearMFFloat(array);
        return 0;
    }
    /* A failed sizing leaves no storage, which the read then refuses. */
    sizeMFFloat(array, static_cast<uint32_t>(count));
    return readFloatArrayLE(file, array->values, static_cast<uint32_t>(count));
}
