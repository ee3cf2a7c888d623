#include "util/mfArrays.hh"
#include "util/plyxUtil.h"

namespace
{

const char *const kSource = "plyxUtil";
constexpr int kSetFailedLine = 1107;
constexpr int kSizeMismatchLine = 1167;

/* Two quotes, then a separator or the terminator. */
constexpr KDsize kJoinOverhead = 3;

/* Releases every present text and leaves the entries absent; the entry array stays. */
void releaseTexts(MFString *list)
{
    if (!list->values)
        return;
    for (uint32_t i = 0; i < list->count; ++i) {
        kdFree(list->values[i]);
        list->values[i] = nullptr;
    }
}

/* Gives dst exactly count absent entries, reusing its entry array when it fits. */
int prepareEntries(MFString *dst, uint32_t count)
{
    if (dst->values && dst->count == count)
        return 1;
    if (!glyva::mf::resize(dst, count)) {
        plyxErrorMessage(kSource, kSizeMismatchLine, "size mismatch %u != %u\n", dst->count, count);
        return 0;
    }
    for (uint32_t i = 0; i < count; ++i)
        dst->values[i] = nullptr;
    return 1;
}

/* Copies the source entries in order, stopping at the first text it cannot copy. */
int copyEntries(MFString *dst, const MFString *src)
{
    for (uint32_t i = 0; i < src->count; ++i) {
        if (!src->values[i])
            continue;
        dst->values[i] = plyxStrdup(src->values[i]);
        if (!dst->values[i])
            return 0;
    }
    return 1;
}

/* Absent entries equal each other; a present one equals only the same text. */
bool sameEntry(const char *a, const char *b)
{
    if (!a || !b)
        return a == b;
    return kdStrcmp(a, b) == 0;
}

/* The buffer size of the join, or 0 when no entry is present or the size would not fit.
 * An absent entry among present ones is written as an empty quoted pair, so it keeps
 * its position in the text, and is counted here like a text of length 0. */
KDsize joinedSize(const MFString &list)
{
    KDsize size = 0;
    bool anyPresent = false;
    for (uint32_t i = 0; i < list.count; ++i) {
        const KDsize length = list.values[i] ? kdStrlen(list.values[i]) : 0;
        if (size > SIZE_MAX - kJoinOverhead || length > SIZE_MAX - kJoinOverhead - size)
            return 0;
        size += length + kJoinOverhead;
        anyPresent = anyPresent || list.values[i];
    }
    return anyPresent ? size : 0;
}

/* Appends at the known end of the text, so that a join stays linear in its length. */
void appendPiece(char *buffer, KDsize size, KDsize *used, const char *piece)
{
    kdStrncat_s(buffer + *used, size - *used, piece, kdStrlen(piece));
    *used += kdStrlen(buffer + *used);
}

void joinEntries(char *buffer, KDsize size, const MFString &list)
{
    KDsize used = 0;
    buffer[0] = '\0';
    for (uint32_t i = 0; i < list.count; ++i) {
        appendPiece(buffer, size, &used, "\"");
        if (list.values[i])
            appendPiece(buffer, size, &used, list.values[i]);
        appendPiece(buffer, size, &used, "\"");
        if (i + 1 < list.count)
            appendPiece(buffer, size, &used, ",");
    }
}

} // namespace

int sizeMFString(MFString *list, uint32_t count)
{
    return glyva::mf::resize(list, count);
}

void clearMFString(MFString *list)
{
    if (!list)
        return;
    releaseTexts(list);
    glyva::mf::release(list);
}

int setMFString(MFString *list, uint32_t index, const char *text)
{
    if (!list || !list->values || index >= list->count) {
        /* %s must never see a null text. */
        plyxErrorMessage(kSource, kSetFailedLine, "MFString set %u %s FAILED\n", index,
                         text ? text : "(null)");
        return 0;
    }
    /* The copy is made before the old text goes, so that text may be that entry. */
    char *copy = text ? plyxStrdup(text) : nullptr;
    kdFree(list->values[index]);
    list->values[index] = copy;
    return !text || copy;
}

int assignMFString(MFString *dst, const MFString *src)
{
    if (!dst)
        return 0;
    /* Releasing the destination's texts first would release the source's. */
    if (dst == src)
        return 1;
    releaseTexts(dst);
    if (!src) {
        glyva::mf::release(dst);
        return 0;
    }
    if (src->count == 0) {
        glyva::mf::release(dst);
        return 1;
    }
    if (!prepareEntries(dst, src->count))
        return 0;
    return copyEntries(dst, src);
}

int notEqualMFString(const MFString *a, const MFString *b)
{
    if (!a || !b)
        return a != b;
    if (a->count != b->count)
        return 1;
    for (uint32_t i = 0; i < a->count; ++i) {
        if (!sameEntry(a->values[i], b->values[i]))
            return 1;
    }
    return 0;
}

char *toStringMFString(const MFString *list)
{
    if (!list || list->count == 0 || !list->values)
        return nullptr;
    const KDsize size = joinedSize(*list);
    if (size == 0)
        return nullptr;
    char *buffer = static_cast<char *>(kdMalloc(size));
    if (!buffer)
        return nullptr;
    joinEntries(buffer, size, *list);
    return buffer;
}
