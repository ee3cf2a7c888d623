#include <stdint.h>

#include "util/emuKD/kd.h"
#include "util/plyxUtil.h"

namespace
{

/* Bytes read per call; the buffer grows by exactly what each read gave. */
const KDsize kReadChunk = 131072;

/* Appends len bytes to the exact-fit buffer of total bytes. On failure the old buffer is
 * released and null returned. The 32-bit total must not wrap: a file of 4 GiB or more
 * cannot be described by the caller's count. */
unsigned char *appendBytes(unsigned char *buffer, uint32_t total, const unsigned char *bytes,
                           KDsize len)
{
    if (len > UINT32_MAX - total) {
        kdFree(buffer);
        return nullptr;
    }
    KDsize grown = static_cast<KDsize>(total) + len;
    void *bigger = buffer ? kdRealloc(buffer, grown) : kdMalloc(grown);
    if (!bigger) {
        kdFree(buffer);
        return nullptr;
    }
    buffer = static_cast<unsigned char *>(bigger);
    kdMemcpy(buffer + total, bytes, len);
    return buffer;
}

} // namespace

/* A read that stops before the end of the file is a failure, not a shorter file: the
 * partial bytes are released. */
void *readBinaryFileToMemory(const char *path, uint32_t *size)
{
    if (!size || !path)
        return nullptr;
    KDFile *file = kdFopen(path, "rb");
    if (!file)
        return nullptr;
    unsigned char chunk[kReadChunk];
    unsigned char *buffer = nullptr;
    uint32_t total = 0;
    KDsize got;
    while ((got = kdFread(chunk, 1, sizeof chunk, file)) > 0) {
        buffer = appendBytes(buffer, total, chunk, got);
        if (!buffer) {
            kdFclose(file);
            return nullptr;
        }
        total += static_cast<uint32_t>(got);
    }
    bool complete = kdFEOF(file) != 0;
    kdFclose(file);
    if (!complete) {
        kdFree(buffer);
        return nullptr;
    }
    *size = total;
    return buffer;
}
