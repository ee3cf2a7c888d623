#ifndef UTIL_EMUKD_KD_H
#define UTIL_EMUKD_KD_H

#include <stddef.h>
#include <stdint.h>

#include "util/glyvaExport.h"

/* Portable platform layer under OpenKODE's names: thin libc wrappers that accept null
 * pointers and report failures by result and through one process-wide error code. */

#define KD_EACCES 1
#define KD_EBADF 7
#define KD_EINVAL 17
#define KD_EIO 18
#define KD_ENOMEM 25

#define KD_EOF (-1)

#define KD_SEEK_SET 0
#define KD_SEEK_CUR 1
#define KD_SEEK_END 2

typedef int32_t KDint;
typedef uint32_t KDuint;
typedef int64_t KDint64;
typedef int64_t KDoff;
typedef size_t KDsize;
typedef float KDfloat32;
typedef struct KDFile KDFile;

GLYVA_BEGIN_DECLS

/* Memory: libc's allocator unchanged; kdFree ignores null. */
GLYVA_API void *kdMalloc(KDsize size);
GLYVA_API void *kdRealloc(void *ptr, KDsize size);
GLYVA_API void kdFree(void *ptr);

/* Memory operations: a null buffer gives null (-1 for kdMemcmp). */
GLYVA_API void *kdMemchr(const void *src, KDint byte, KDsize len);
GLYVA_API KDint kdMemcmp(const void *a, const void *b, KDsize len);
GLYVA_API void *kdMemcpy(void *dst, const void *src, KDsize len);
GLYVA_API void *kdMemmove(void *dst, const void *src, KDsize len);
GLYVA_API void *kdMemset(void *dst, KDint byte, KDsize len);

/* Strings. The bounded copies take the whole destination size, terminator included,
 * never write past it, return 0 on success (truncation included) and 1 on failure. */
GLYVA_API char *kdStrchr(const char *str, KDint ch);
GLYVA_API KDint kdStrcmp(const char *a, const char *b);
GLYVA_API KDsize kdStrlen(const char *str);
GLYVA_API KDsize kdStrnlen(const char *str, KDsize maxlen);
GLYVA_API KDint kdStrncmp(const char *a, const char *b, KDsize maxlen);
GLYVA_API KDint kdStrcpy_s(char *dst, KDsize dstsize, const char *src);
GLYVA_API KDint kdStrncpy_s(char *dst, KDsize dstsize, const char *src, KDsize count);
GLYVA_API KDint kdStrncat_s(char *dst, KDsize dstsize, const char *src, KDsize count);

/* Read-only files. Status results are 0 or KD_EOF; failures record an error code. */
GLYVA_API KDFile *kdFopen(const char *pathname, const char *mode);
GLYVA_API KDint kdFclose(KDFile *file);
GLYVA_API KDint kdFflush(KDFile *file);
GLYVA_API KDsize kdFread(void *buffer, KDsize size, KDsize count, KDFile *file);
GLYVA_API KDsize kdFwrite(const void *buffer, KDsize size, KDsize count, KDFile *file);
GLYVA_API KDint kdGetc(KDFile *file);
GLYVA_API KDint kdPutc(KDint c, KDFile *file);
GLYVA_API char *kdFgets(char *buffer, KDsize buflen, KDFile *file);
GLYVA_API KDint kdFEOF(KDFile *file);
GLYVA_API KDint kdFseek(KDFile *file, KDoff offset, KDint origin);
GLYVA_API KDoff kdFtell(KDFile *file);

/* The process-wide error code: set by failures, never reset by successes. */
GLYVA_API KDint kdGetError(void);
GLYVA_API void kdSetError(KDint error);

/* Writes one line to standard output, adding the newline when the text lacks it. */
GLYVA_API void kdLogMessage(const char *string);

/* Directory of the running executable, cached until __kdShutdowLocalRootName; owned
 * by the library. Null on failure. */
GLYVA_API const char *__kdGetLocalRootName(void);
GLYVA_API void __kdShutdowLocalRootName(void);

/* Single-precision maths: exactly libm's result for the same arguments. */
GLYVA_API KDfloat32 kdAcosf(KDfloat32 x);
GLYVA_API KDfloat32 kdAsinf(KDfloat32 x);
GLYVA_API KDfloat32 kdAtanf(KDfloat32 x);
GLYVA_API KDfloat32 kdAtan2f(KDfloat32 y, KDfloat32 x);
GLYVA_API KDfloat32 kdCosf(KDfloat32 x);
GLYVA_API KDfloat32 kdSinf(KDfloat32 x);
GLYVA_API KDfloat32 kdTanf(KDfloat32 x);
GLYVA_API KDfloat32 kdExpf(KDfloat32 x);
GLYVA_API KDfloat32 kdLogf(KDfloat32 x);
GLYVA_API KDfloat32 kdFabsf(KDfloat32 x);
GLYVA_API KDfloat32 kdPowf(KDfloat32 x, KDfloat32 y);
GLYVA_API KDfloat32 kdSqrtf(KDfloat32 x);
GLYVA_API KDfloat32 kdCeilf(KDfloat32 x);
GLYVA_API KDfloat32 kdFloorf(KDfloat32 x);
GLYVA_API KDfloat32 kdFmodf(KDfloat32 x, KDfloat32 y);

GLYVA_END_DECLS

#endif
