#include "util/mfArrays.hh"
#include "util/plyxUtil.h"

/* The exported names of the array operations; the behaviour lives in mfArrays.hh. */

int sizeMFBool(MFBool *array, uint32_t count)
{
    return glyva::mf::resize(array, count);
}

int sizeMFInt32(MFInt32 *array, uint32_t count)
{
    return glyva::mf::resize(array, count);
}

int sizeMFFloat(MFFloat *array, uint32_t count)
{
    return glyva::mf::resize(array, count);
}

int sizeMFVec2f(MFVec2f *array, uint32_t count)
{
    return glyva::mf::resize(array, count);
}

int sizeMFVec3f(MFVec3f *array, uint32_t count)
{
    return glyva::mf::resize(array, count);
}

int sizeMFRotation(MFRotation *array, uint32_t count)
{
    return glyva::mf::resize(array, count);
}

int sizeMFColor(MFColor *array, uint32_t count)
{
    return glyva::mf::resize(array, count);
}

int sizeMFColorRGBA(MFColorRGBA *array, uint32_t count)
{
    return glyva::mf::resize(array, count);
}

void clearMFBool(MFBool *array)
{
    glyva::mf::clear(array);
}

void clearMFInt32(MFInt32 *array)
{
    glyva::mf::clear(array);
}

void clearMFFloat(MFFloat *array)
{
    glyva::mf::clear(array);
}

void clearMFVec2f(MFVec2f *array)
{
    glyva::mf::clear(array);
}

void clearMFVec3f(MFVec3f *array)
{
    glyva::mf::clear(array);
}

void clearMFRotation(MFRotation *array)
{
    glyva::mf::clear(array);
}

void clearMFColor(MFColor *array)
{
    glyva::mf::clear(array);
}

void clearMFColorRGBA(MFColorRGBA *array)
{
    glyva::mf::clear(array);
}

int assignMFBool(MFBool *dst, const MFBool *src)
{
    return glyva::mf::assign(dst, src);
}

int assignMFInt32(MFInt32 *dst, const MFInt32 *src)
{
    return glyva::mf::assign(dst, src);
}

int assignMFFloat(MFFloat *dst, const MFFloat *src)
{
    return glyva::mf::assign(dst, src);
}

int assignMFVec2f(MFVec2f *dst, const MFVec2f *src)
{
    return glyva::mf::assign(dst, src);
}

int assignMFVec3f(MFVec3f *dst, const MFVec3f *src)
{
    return glyva::mf::assign(dst, src);
}

int assignMFRotation(MFRotation *dst, const MFRotation *src)
{
    return glyva::mf::assign(dst, src);
}

int assignMFColor(MFColor *dst, const MFColor *src)
{
    return glyva::mf::assign(dst, src);
}

int assignMFColorRGBA(MFColorRGBA *dst, const MFColorRGBA *src)
{
    return glyva::mf::assign(dst, src);
}

int equalMFBool(const MFBool *a, const MFBool *b)
{
    return glyva::mf::equal(a, b);
}

int equalMFInt32(const MFInt32 *a, const MFInt32 *b)
{
    return glyva::mf::equal(a, b);
}

int equalMFFloat(const MFFloat *a, const MFFloat *b)
{
    return glyva::mf::equal(a, b);
}

int equalMFVec2f(const MFVec2f *a, const MFVec2f *b)
{
    return glyva::mf::equal(a, b);
}

int equalMFVec3f(const MFVec3f *a, const MFVec3f *b)
{
    return glyva::mf::equal(a, b);
}

int equalMFRotation(const MFRotation *a, const MFRotation *b)
{
    return glyva::mf::equal(a, b);
}

int equalMFColor(const MFColor *a, const MFColor *b)
{
    return glyva::mf::equal(a, b);
}

int equalMFColorRGBA(const MFColorRGBA *a, const MFColorRGBA *b)
{
    return glyva::mf::equal(a, b);
}

int appendMFInt32(MFInt32 *array, int32_t value)
{
    return glyva::mf::append(array, &value);
}

int appendMFVec2f(MFVec2f *array, const float *value)
{
    return glyva::mf::append(array, value);
}

int appendMFVec3f(MFVec3f *array, const float *value)
{
    return glyva::mf::append(array, value);
}

/* Contour points are 2D; they are stored as 3D points on the plane z = 0. */
int appendMFVec3fVec2(MFVec3f *array, const float *value)
{
    if (!value)
        return 0;
    const float point[3] = {value[0], value[1], 0.0f};
    return glyva::mf::append(array, point);
}

int32_t searchInsertMFVec2f(MFVec2f *array, const float *value)
{
    return glyva::mf::searchInsert(array, value);
}

int32_t searchInsertMFVec3f(MFVec3f *array, const float *value)
{
    return glyva::mf::searchInsert(array, value);
}
