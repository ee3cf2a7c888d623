#include <errno.h>
#include <limits.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <sys/types.h>
#include <unistd.h>

#include "util/emuKD/kd.h"
#include "util/emuKD/kdFile.hh"

namespace
{

/* Named in the diagnostics instead of __FILE__, which depends on the build tree. */
const char kSourceName[] = "util/emuKD/kdFile.cpp";

/* Matched as prefixes in this order; since "r", "w" and "a" come first in their groups,
 * only the first character of a mode decides. The mode itself reaches fopen unchanged. */
const char *const validModes[] = {"r",   "rb",  "r+", "rb+", "r+b", "w",   "wb",  "w+",
                                  "wb+", "w+b", "a",  "ab",  "a+",  "ab+", "a+b", nullptr};

/* Link and target buffers of __kdGetLocalRootName. */
const KDsize kPathBufferSize = 1024;

/* The executable's directory, owned here from the first successful look-up until
 * __kdShutdowLocalRootName. */
char *localRootName;

bool modeAccepted(const char *mode)
{
    for (const char *const *entry = validModes; *entry; ++entry) {
        if (strncmp(mode, *entry, strlen(*entry)) == 0)
            return true;
    }
    return false;
}

KDFile *refuseOpen()
{
    kdSetError(KD_EACCES);
    return nullptr;
}

/* After a failed close, read or line read only these two errno values have a code. */
void recordReadErrno()
{
    if (errno == EIO)
        kdSetError(KD_EIO);
    else if (errno == EBADF)
        kdSetError(KD_EBADF);
}

/* Records why a handle cannot be used: a null handle and a null stream differ. */
bool streamUsable(const KDFile *file)
{
    if (!file) {
        kdSetError(KD_ENOMEM);
        return false;
    }
    if (!file->stream) {
        kdSetError(KD_EBADF);
        return false;
    }
    return true;
}

int libcOrigin(KDint origin)
{
    if (origin == KD_SEEK_SET)
        return SEEK_SET;
    if (origin == KD_SEEK_END)
        return SEEK_END;
    return SEEK_CUR;
}

/* fseek takes a long, 32 bits on i386: a 64-bit offset beyond it must be refused, not
 * wrapped into some other position. */
bool offsetFitsLong(KDoff offset)
{
#if LONG_MAX < INT64_MAX
    return offset >= LONG_MIN && offset <= LONG_MAX;
#else
    (void)offset;
    return true;
#endif
}

/* The target of the process's executable link, terminated; its length, or -1 when it
 * cannot be read. */
ssize_t readExecutableLink(char *target, KDsize size)
{
    char linkPath[kPathBufferSize];
    snprintf(linkPath, sizeof linkPath, "/proc/%d/exe", static_cast<int>(getpid()));
    ssize_t len = readlink(linkPath, target, size - 1);
    target[len > 0 ? len : 0] = '\0';
    return len;
}

/* Cuts the executable's name off a heap copy of its path, leaving its directory. */
char *directoryOf(const char *path, KDsize len)
{
    char *copy = static_cast<char *>(kdMalloc(len + 1));
    if (!copy)
        return nullptr;
    kdStrcpy_s(copy, len + 1, path);
    char *slash = strrchr(copy, '/');
    if (!slash)
        return copy;
    fprintf(stderr, "%s(%d): slashpa: %s\n", kSourceName, __LINE__, slash);
    *slash = '\0';
    return copy;
}

} // namespace

KDFile *kdFopen(const char *pathname, const char *mode)
{
    if (!pathname || !mode || !modeAccepted(mode))
        return refuseOpen();
    KDFile *file = static_cast<KDFile *>(kdMalloc(sizeof *file));
    if (!file)
        return refuseOpen();
    file->stream = fopen(pathname, mode);
    if (!file->stream) {
        kdFree(file);
        return refuseOpen();
    }
    return file;
}

/* The handle is released whatever the close gives: the caller must not retry. */
KDint kdFclose(KDFile *file)
{
    if (!file)
        return KD_EOF;
    FILE *stream = file->stream;
    kdFree(file);
    if (!stream)
        return KD_EOF;
    errno = 0;
    if (fclose(stream) == 0)
        return 0;
    recordReadErrno();
    return KD_EOF;
}

KDint kdFflush(KDFile *file)
{
    if (!file || !file->stream) {
        kdSetError(KD_ENOMEM);
        return KD_EOF;
    }
    if (fflush(file->stream) == 0)
        return 0;
    kdSetError(KD_EIO);
    return KD_EOF;
}

/* errno is cleared first so that only this read's failure can record a code. */
KDsize kdFread(void *buffer, KDsize size, KDsize count, KDFile *file)
{
    if (!file || !buffer) {
        kdSetError(KD_ENOMEM);
        return 0;
    }
    if (!file->stream) {
        kdSetError(KD_EBADF);
        return 0;
    }
    errno = 0;
    KDsize got = fread(buffer, size, count, file->stream);
    if (got < count)
        recordReadErrno();
    return got;
}

/* Read-only layer: nothing is written and nothing recorded. */
KDsize kdFwrite(const void *, KDsize, KDsize, KDFile *)
{
    return 0;
}

KDint kdGetc(KDFile *file)
{
    if (!streamUsable(file))
        return KD_EOF;
    return getc(file->stream);
}

KDint kdPutc(KDint, KDFile *)
{
    return 0;
}

/* fgets counts in int; a larger buffer still holds the INT_MAX bytes it is given. */
char *kdFgets(char *buffer, KDsize buflen, KDFile *file)
{
    if (!file || !buffer) {
        kdSetError(KD_ENOMEM);
        return nullptr;
    }
    if (!file->stream) {
        kdSetError(KD_EBADF);
        return nullptr;
    }
    int limit = buflen > static_cast<KDsize>(INT_MAX) ? INT_MAX : static_cast<int>(buflen);
    errno = 0;
    char *line = fgets(buffer, limit, file->stream);
    if (!line)
        recordReadErrno();
    return line;
}

KDint kdFEOF(KDFile *file)
{
    if (!streamUsable(file))
        return KD_EOF;
    return feof(file->stream) ? KD_EOF : 0;
}

KDint kdFseek(KDFile *file, KDoff offset, KDint origin)
{
    if (!streamUsable(file))
        return KD_EOF;
    if (!offsetFitsLong(offset)) {
        kdSetError(KD_EINVAL);
        return KD_EOF;
    }
    errno = 0;
    if (fseek(file->stream, static_cast<long>(offset), libcOrigin(origin)) == 0)
        return 0;
    if (errno == EBADF)
        kdSetError(KD_EBADF);
    else if (errno == EINVAL)
        kdSetError(KD_EINVAL);
    return KD_EOF;
}

/* A failing ftell already gives -1, which is passed on without a code. */
KDoff kdFtell(KDFile *file)
{
    if (!streamUsable(file))
        return KD_EOF;
    return ftell(file->stream);
}

/* A target that fills the buffer may have been cut short by readlink; it is refused
 * rather than cached as a wrong directory. Nothing is cached on failure, so a later
 * call tries again. */
const char *__kdGetLocalRootName(void)
{
    if (localRootName)
        return localRootName;
    char target[kPathBufferSize];
    ssize_t len = readExecutableLink(target, sizeof target);
    fprintf(stderr, "%s(%d): link file %s\n", kSourceName, __LINE__, target);
    if (len <= 0 || static_cast<KDsize>(len) >= sizeof target - 1)
        return nullptr;
    localRootName = directoryOf(target, static_cast<KDsize>(len));
    return localRootName;
}

void __kdShutdowLocalRootName(void)
{
    kdFree(localRootName);
    localRootName = nullptr;
}
