#ifndef UTIL_PLYXUTIL_H
#define UTIL_PLYXUTIL_H

#include <stdint.h>

#include "util/emuKD/kd.h"
#include "util/glyvaExport.h"
#include "util/plyxTypes.h"

#if defined(__GNUC__) || defined(__clang__)
#define GLYVA_PRINTF(f, a) __attribute__((format(printf, f, a)))
#else
#define GLYVA_PRINTF(f, a)
#endif

GLYVA_BEGIN_DECLS

/* Diagnostics: "%s(%d): %s" with the caller's source name and line, through
 * kdLogMessage. Nothing is returned; what cannot be composed is dropped. */
GLYVA_API void plyxDebugMessage(const char *file, int line, const char *format, ...)
    GLYVA_PRINTF(3, 4);
GLYVA_API void plyxWarnMessage(const char *file, int line, const char *format, ...)
    GLYVA_PRINTF(3, 4);
GLYVA_API void plyxErrorMessage(const char *file, int line, const char *format, ...)
    GLYVA_PRINTF(3, 4);
GLYVA_API void plyxScriptMessage(const char *file, int line, const char *format, ...)
    GLYVA_PRINTF(3, 4);

/* A new copy owned by the caller (kdFree); null for a null or empty text. */
GLYVA_API char *plyxStrdup(const char *text);

/* The whole file in a new buffer owned by the caller (kdFree), its length in *size.
 * Null on any failure; an empty file gives null with *size set to 0. */
GLYVA_API void *readBinaryFileToMemory(const char *path, uint32_t *size);

/* Little-endian binary readers (readUInt is big-endian): 1 on success, 0 on failure.
 * They read at the stream's position and never past what is asked. */
GLYVA_API int readUShortLE(KDFile *file, uint16_t *value);
GLYVA_API int readIntLE(KDFile *file, int32_t *value);
GLYVA_API int readUInt(KDFile *file, uint32_t *value);
GLYVA_API int readUIntLE(KDFile *file, uint32_t *value);
GLYVA_API int readUInt64LE(KDFile *file, uint64_t *value);
GLYVA_API int readTimeLE(KDFile *file, int64_t *value);
GLYVA_API int readFloatLE(KDFile *file, float *value);
GLYVA_API int readIntArrayLE(KDFile *file, int32_t *values, uint32_t count);
GLYVA_API int readFloatArrayLE(KDFile *file, float *values, uint32_t count);
/* *string receives a new text owned by the caller, or null for a length <= 0. */
GLYVA_API int readUtf8StringLE(KDFile *file, char **string);
GLYVA_API int readMFStringLE(KDFile *file, MFString *list);
GLYVA_API int readMFBoolLE(KDFile *file, MFBool *array);
GLYVA_API int readMFFloatLE(KDFile *file, MFFloat *array);

/* Numeric multi-value arrays: exact-fit storage through kdMalloc/kdRealloc/kdFree.
 * 1 for success or equality, 0 otherwise; an allocation failure leaves the array
 * empty. Element addresses are valid until the next change of size. */
GLYVA_API int sizeMFBool(MFBool *array, uint32_t count);
GLYVA_API int sizeMFInt32(MFInt32 *array, uint32_t count);
GLYVA_API int sizeMFFloat(MFFloat *array, uint32_t count);
GLYVA_API int sizeMFVec2f(MFVec2f *array, uint32_t count);
GLYVA_API int sizeMFVec3f(MFVec3f *array, uint32_t count);
GLYVA_API int sizeMFRotation(MFRotation *array, uint32_t count);
GLYVA_API int sizeMFColor(MFColor *array, uint32_t count);
GLYVA_API int sizeMFColorRGBA(MFColorRGBA *array, uint32_t count);

GLYVA_API void clearMFBool(MFBool *array);
GLYVA_API void clearMFInt32(MFInt32 *array);
GLYVA_API void clearMFFloat(MFFloat *array);
GLYVA_API void clearMFVec2f(MFVec2f *array);
GLYVA_API void clearMFVec3f(MFVec3f *array);
GLYVA_API void clearMFRotation(MFRotation *array);
GLYVA_API void clearMFColor(MFColor *array);
GLYVA_API void clearMFColorRGBA(MFColorRGBA *array);

GLYVA_API int assignMFBool(MFBool *dst, const MFBool *src);
GLYVA_API int assignMFInt32(MFInt32 *dst, const MFInt32 *src);
GLYVA_API int assignMFFloat(MFFloat *dst, const MFFloat *src);
GLYVA_API int assignMFVec2f(MFVec2f *dst, const MFVec2f *src);
GLYVA_API int assignMFVec3f(MFVec3f *dst, const MFVec3f *src);
GLYVA_API int assignMFRotation(MFRotation *dst, const MFRotation *src);
GLYVA_API int assignMFColor(MFColor *dst, const MFColor *src);
GLYVA_API int assignMFColorRGBA(MFColorRGBA *dst, const MFColorRGBA *src);

/* Byte-wise: +0.0 and -0.0 differ, identical NaNs are equal. */
GLYVA_API int equalMFBool(const MFBool *a, const MFBool *b);
GLYVA_API int equalMFInt32(const MFInt32 *a, const MFInt32 *b);
GLYVA_API int equalMFFloat(const MFFloat *a, const MFFloat *b);
GLYVA_API int equalMFVec2f(const MFVec2f *a, const MFVec2f *b);
GLYVA_API int equalMFVec3f(const MFVec3f *a, const MFVec3f *b);
GLYVA_API int equalMFRotation(const MFRotation *a, const MFRotation *b);
GLYVA_API int equalMFColor(const MFColor *a, const MFColor *b);
GLYVA_API int equalMFColorRGBA(const MFColorRGBA *a, const MFColorRGBA *b);

GLYVA_API int appendMFInt32(MFInt32 *array, int32_t value);
GLYVA_API int appendMFVec2f(MFVec2f *array, const float *value);
GLYVA_API int appendMFVec3f(MFVec3f *array, const float *value);
/* Appends (value[0], value[1], +0.0). */
GLYVA_API int appendMFVec3fVec2(MFVec3f *array, const float *value);

/* Index of the first element among the last 65 equal to value (float comparison:
 * NaN matches nothing, -0.0 equals +0.0), else value appended; -1 on failure. */
GLYVA_API int32_t searchInsertMFVec2f(MFVec2f *array, const float *value);
GLYVA_API int32_t searchInsertMFVec3f(MFVec3f *array, const float *value);

/* String lists: entries are owned copies (plyxStrdup) or null. */
GLYVA_API int sizeMFString(MFString *list, uint32_t count);
GLYVA_API void clearMFString(MFString *list);
GLYVA_API int setMFString(MFString *list, uint32_t index, const char *text);
GLYVA_API int assignMFString(MFString *dst, const MFString *src);
GLYVA_API int notEqualMFString(const MFString *a, const MFString *b);
/* "a","bc" joined in a new text owned by the caller (kdFree); null when empty. */
GLYVA_API char *toStringMFString(const MFString *list);

/* Exact inequality of single values: 1 when any component differs as a float. */
GLYVA_API int notEqualSFVec2f(const float *a, const float *b);
GLYVA_API int notEqualSFVec3f(const float *a, const float *b);
GLYVA_API int notEqualSFVec4f(const float *a, const float *b);
GLYVA_API int notEqualSFColor(const float *a, const float *b);
GLYVA_API int notEqualSFColorRGBA(const float *a, const float *b);
GLYVA_API int notEqualSFRotation(const float *a, const float *b);

/* Constant texts of the library; never released. */
GLYVA_API const char *getNodeTypeName(int32_t type);
GLYVA_API const char *getGLErrorString(uint32_t error);

GLYVA_END_DECLS

#endif
