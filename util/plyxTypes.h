#ifndef UTIL_PLYXTYPES_H
#define UTIL_PLYXTYPES_H

#include <stdint.h>

/* Field value types shared with the host engine. Hosts read these records at fixed
 * offsets: a 32-bit count, then the pointer to exactly count packed elements (null
 * when the array is empty). A zeroed record is an empty array. */

typedef float SFVec2f[2];
typedef float SFVec3f[3];
typedef float SFVec4f[4];
typedef float SFColor[3];
typedef float SFColorRGBA[4];
typedef float SFRotation[4];

typedef struct MFBool {
    uint32_t count;
    uint8_t *values;
} MFBool;

typedef struct MFInt32 {
    uint32_t count;
    int32_t *values;
} MFInt32;

typedef struct MFFloat {
    uint32_t count;
    float *values;
} MFFloat;

typedef struct MFVec2f {
    uint32_t count;
    SFVec2f *values;
} MFVec2f;

typedef struct MFVec3f {
    uint32_t count;
    SFVec3f *values;
} MFVec3f;

typedef struct MFRotation {
    uint32_t count;
    SFRotation *values;
} MFRotation;

typedef struct MFColor {
    uint32_t count;
    SFColor *values;
} MFColor;

typedef struct MFColorRGBA {
    uint32_t count;
    SFColorRGBA *values;
} MFColorRGBA;

/* Entries are owned texts or null; null is how a list holds an empty text. */
typedef struct MFString {
    uint32_t count;
    char **values;
} MFString;

/* The point list of one flattened contour: (x, y, 0) per point, worked on by the
 * MFVec3f operations. */
typedef MFVec3f SimpleVec3Array;

#endif
