#include "shape/shapeFont.hh"

#include <math.h>
#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <hb-ot.h>

#include "glyph/glyphMesh.hh"
#include "util/emuKD/kd.h"
#include "util/plyxUtil.h"
#include FT_MULTIPLE_MASTERS_H

namespace glyva
{
namespace shape
{

void setError(glyvaShapeFont *font, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    vsnprintf(font->error, sizeof font->error, format, args);
    va_end(args);
}

} // namespace shape
} // namespace glyva

namespace
{

using glyva::shape::setError;

void release(glyvaShapeFont *font)
{
    if (font->buffer)
        hb_buffer_destroy(font->buffer);
    if (font->font)
        hb_font_destroy(font->font);
    if (font->face)
        hb_face_destroy(font->face);
    /* The blob is a view of the core's file bytes: gone before them. */
    if (font->blob)
        hb_blob_destroy(font->blob);
    glyva::deleteFont(font->core);
    kdFree(font->glyphs);
    kdFree(font);
}

/* "the 2 faces of the collection" for the message on a face index past the file's. */
int32_t faceIndexFailure(glyvaShapeFont *font, const char *path, int32_t faceIndex)
{
    FT_Face probe = nullptr;
    if (FT_New_Face(*font->core->ftLibrary, path, -1, &probe) != 0) {
        setError(font, "cannot open font %s: not a font file FreeType reads", path);
        return GLYVA_SHAPE_BAD_FILE;
    }
    const FT_Long faces = probe->num_faces;
    FT_Done_Face(probe);
    if (faceIndex < faces) {
        setError(font, "cannot open face %d of font %s", static_cast<int>(faceIndex), path);
        return GLYVA_SHAPE_BAD_FILE;
    }
    if (faces == 1)
        setError(font, "face index %d is past the single face of the font",
                 static_cast<int>(faceIndex));
    else
        setError(font, "face index %d is past the %ld faces of the collection",
                 static_cast<int>(faceIndex), static_cast<long>(faces));
    return GLYVA_SHAPE_BAD_FACE;
}

int32_t openCore(glyvaShapeFont *font, const char *path, int32_t faceIndex)
{
    glyva::FontStatus status;
    font->core = glyva::newFont(path, faceIndex, &status);
    switch (status) {
    case glyva::FontStatus::kOk:
        return GLYVA_SHAPE_OK;
    case glyva::FontStatus::kUnreadable:
        setError(font, "cannot read font file %s", path);
        return GLYVA_SHAPE_BAD_FILE;
    case glyva::FontStatus::kNoFace:
        return faceIndexFailure(font, path, faceIndex);
    case glyva::FontStatus::kNoUnicodeCharmap:
        setError(font, "the font has no Unicode character map");
        return GLYVA_SHAPE_BAD_FILE;
    default:
        setError(font, "out of memory opening %s", path);
        return GLYVA_SHAPE_NO_MEMORY;
    }
}

/* HarfBuzz on the very bytes FreeType reads, so that both see one face. */
int32_t openHarfBuzz(glyvaShapeFont *font, const char *path, int32_t faceIndex)
{
    const FT_Face ft = font->core->ftFace;
    if (!ft->stream || ft->stream->size > UINT32_MAX) {
        setError(font, "font %s is too large", path);
        return GLYVA_SHAPE_BAD_FILE;
    }
    font->blob = hb_blob_create(static_cast<const char *>(font->core->fontData),
                                static_cast<unsigned int>(ft->stream->size),
                                HB_MEMORY_MODE_READONLY, nullptr, nullptr);
    font->face = hb_face_create(font->blob, static_cast<unsigned int>(faceIndex));
    font->font = hb_font_create(font->face);
    font->buffer = hb_buffer_create();
    if (font->font == hb_font_get_empty() || !hb_buffer_allocation_successful(font->buffer)) {
        setError(font, "out of memory opening %s", path);
        return GLYVA_SHAPE_NO_MEMORY;
    }
    if (hb_face_get_upem(font->face) == 0 ||
        hb_face_get_glyph_count(font->face) != static_cast<unsigned int>(ft->num_glyphs)) {
        setError(font, "HarfBuzz cannot read face %d of font %s", static_cast<int>(faceIndex),
                 path);
        return GLYVA_SHAPE_BAD_FILE;
    }
    return GLYVA_SHAPE_OK;
}

bool sameNameIgnoringCase(const char *a, const char *b)
{
    for (; *a && *b; ++a, ++b) {
        char x = *a >= 'A' && *a <= 'Z' ? static_cast<char>(*a - 'A' + 'a') : *a;
        char y = *b >= 'A' && *b <= 'Z' ? static_cast<char>(*b - 'A' + 'a') : *b;
        if (x != y)
            return false;
    }
    return *a == *b;
}

void instanceName(hb_face_t *face, unsigned int i, char *name, unsigned int size)
{
    unsigned int length = size;
    hb_ot_name_id_t id = hb_ot_var_named_instance_get_subfamily_name_id(face, i);
    name[0] = '\0';
    hb_ot_name_get_utf8(face, id, HB_LANGUAGE_INVALID, &length, name);
}

int32_t applyNamedInstance(glyvaShapeFont *font, const char *wanted)
{
    const unsigned int count = hb_ot_var_get_named_instance_count(font->face);
    char list[160] = "";
    for (unsigned int i = 0; i < count; ++i) {
        char name[64];
        instanceName(font->face, i, name, sizeof name);
        if (sameNameIgnoringCase(name, wanted)) {
            hb_font_set_var_named_instance(font->font, i);
            /* FreeType numbers named instances from 1; 0 is the default instance. */
            if (FT_Set_Named_Instance(font->core->ftFace, i + 1) != 0) {
                setError(font, "FreeType cannot select instance '%s'", wanted);
                return GLYVA_SHAPE_BAD_INSTANCE;
            }
            return GLYVA_SHAPE_OK;
        }
        size_t used = strlen(list);
        snprintf(list + used, sizeof list - used, "%s%s", i ? ", " : "", name);
    }
    if (count == 0)
        setError(font, "no instance named '%s': the font has no named instances", wanted);
    else
        setError(font, "no instance named '%s' (the font has: %s)", wanted, list);
    return GLYVA_SHAPE_BAD_INSTANCE;
}

/* Design coordinates for FreeType: every axis at its default but those given. */
int32_t applyDesignCoordinates(glyvaShapeFont *font, const hb_variation_t *values,
                               unsigned int count)
{
    FT_Library library = *font->core->ftLibrary;
    FT_Face face = font->core->ftFace;
    FT_MM_Var *mm = nullptr;
    if (FT_Get_MM_Var(face, &mm) != 0) {
        setError(font, "FreeType cannot read the font's variation axes");
        return GLYVA_SHAPE_BAD_INSTANCE;
    }
    auto *coords = static_cast<FT_Fixed *>(kdMalloc(mm->num_axis * sizeof(FT_Fixed) + 1));
    if (!coords) {
        FT_Done_MM_Var(library, mm);
        setError(font, "out of memory applying the variation");
        return GLYVA_SHAPE_NO_MEMORY;
    }
    for (FT_UInt a = 0; a < mm->num_axis; ++a)
        coords[a] = mm->axis[a].def;
    for (unsigned int v = 0; v < count; ++v) {
        for (FT_UInt a = 0; a < mm->num_axis; ++a) {
            if (mm->axis[a].tag != values[v].tag)
                continue;
            double fixed = static_cast<double>(values[v].value) * 65536.0;
            FT_Fixed c = static_cast<FT_Fixed>(fixed < 0 ? fixed - 0.5 : fixed + 0.5);
            coords[a] = c < mm->axis[a].minimum   ? mm->axis[a].minimum
                        : c > mm->axis[a].maximum ? mm->axis[a].maximum
                                                  : c;
        }
    }
    FT_Error error = FT_Set_Var_Design_Coordinates(face, mm->num_axis, coords);
    kdFree(coords);
    FT_Done_MM_Var(library, mm);
    if (error != 0) {
        setError(font, "FreeType cannot apply the variation");
        return GLYVA_SHAPE_BAD_INSTANCE;
    }
    return GLYVA_SHAPE_OK;
}

/* Finite and inside the range of a 16.16 number, so that no conversion of it overflows. */
bool fitsFixed(float value)
{
    const double fixed = static_cast<double>(value) * 65536.0;
    return isfinite(value) && fixed >= INT32_MIN && fixed <= INT32_MAX;
}

/* "AXIS=VALUE,..." applied to both HarfBuzz and FreeType; every axis must exist, and
 * every value is clamped to its axis before it is converted. */
int32_t applyVariations(glyvaShapeFont *font, const char *text)
{
    const unsigned int items = glyva::shape::ListItems::count(text);
    auto *values = static_cast<hb_variation_t *>(kdMalloc(items * sizeof(hb_variation_t)));
    if (!values) {
        setError(font, "out of memory applying the variation");
        return GLYVA_SHAPE_NO_MEMORY;
    }
    int32_t status = GLYVA_SHAPE_OK;
    unsigned int count = 0;
    const unsigned int axes = hb_ot_var_get_axis_count(font->face);
    glyva::shape::ListItems list(text);
    const char *item;
    int length;
    while (status == GLYVA_SHAPE_OK && list.take(&item, &length)) {
        hb_variation_t v;
        hb_ot_var_axis_info_t info;
        if (length == 0 || !memchr(item, '=', static_cast<size_t>(length)) ||
            !hb_variation_from_string(item, length, &v)) {
            setError(font, "bad variation '%.*s': use AXIS=VALUE, e.g. wght=700", length, item);
            status = GLYVA_SHAPE_BAD_INSTANCE;
        } else if (axes == 0) {
            setError(font, "the font has no variation axes (asked for '%.*s')", length, item);
            status = GLYVA_SHAPE_BAD_INSTANCE;
        } else if (!hb_ot_var_find_axis_info(font->face, v.tag, &info)) {
            char tag[5] = {0};
            hb_tag_to_string(v.tag, tag);
            setError(font, "unknown axis '%s'", tag);
            status = GLYVA_SHAPE_BAD_INSTANCE;
        } else if (!fitsFixed(v.value)) {
            setError(font, "bad variation '%.*s': the value is not a number a font can hold",
                     length, item);
            status = GLYVA_SHAPE_BAD_INSTANCE;
        } else {
            v.value = fminf(fmaxf(v.value, info.min_value), info.max_value);
            values[count++] = v;
        }
    }
    if (status == GLYVA_SHAPE_OK) {
        hb_font_set_variations(font->font, values, count);
        status = applyDesignCoordinates(font, values, count);
    }
    kdFree(values);
    return status;
}

int32_t applyInstance(glyvaShapeFont *font, const char *instance)
{
    if (!instance || !*instance)
        return GLYVA_SHAPE_OK;
    int32_t status = strchr(instance, '=') ? applyVariations(font, instance)
                                           : applyNamedInstance(font, instance);
    if (status == GLYVA_SHAPE_OK)
        glyva::refreshFaceMetrics(font->core);
    return status;
}

} // namespace

int32_t glyvaShapeOpen(glyvaShapeFont **handle, const char *path, int32_t faceIndex,
                       const char *instance, char *message, uint32_t messageSize)
{
    if (message && messageSize > 0)
        message[0] = '\0';
    if (handle)
        *handle = nullptr;
    if (!handle || !path) {
        if (message && messageSize > 0)
            snprintf(message, messageSize, "%s", !handle ? "no handle pointer" : "no font path");
        return GLYVA_SHAPE_BAD_ARGUMENT;
    }
    auto *font = static_cast<glyvaShapeFont *>(kdMalloc(sizeof(glyvaShapeFont)));
    if (!font) {
        if (message && messageSize > 0)
            snprintf(message, messageSize, "out of memory opening %s", path);
        return GLYVA_SHAPE_NO_MEMORY;
    }
    kdMemset(font, 0, sizeof *font);
    int32_t status = GLYVA_SHAPE_OK;
    if (faceIndex < 0 || faceIndex > 0xFFFF) {
        /* FreeType reads the high bits of a face index as a named instance. */
        setError(font, "face index %d is not a face index (0 to 65535)",
                 static_cast<int>(faceIndex));
        status = GLYVA_SHAPE_BAD_FACE;
    }
    if (status == GLYVA_SHAPE_OK)
        status = openCore(font, path, faceIndex);
    if (status == GLYVA_SHAPE_OK)
        status = openHarfBuzz(font, path, faceIndex);
    if (status == GLYVA_SHAPE_OK)
        status = applyInstance(font, instance);
    if (status != GLYVA_SHAPE_OK) {
        if (message && messageSize > 0)
            snprintf(message, messageSize, "%s", font->error);
        release(font);
        return status;
    }
    *handle = font;
    return GLYVA_SHAPE_OK;
}

void glyvaShapeClose(glyvaShapeFont *font)
{
    if (font)
        release(font);
}

const char *glyvaShapeError(const glyvaShapeFont *font)
{
    return font ? font->error : "no font handle";
}

int32_t glyvaShapeGlyphCount(const glyvaShapeFont *font)
{
    return font ? static_cast<int32_t>(font->core->ftFace->num_glyphs) : 0;
}

int32_t glyvaShapeUnitsPerEm(const glyvaShapeFont *font)
{
    return font ? static_cast<int32_t>(hb_face_get_upem(font->face)) : 0;
}

int32_t glyvaShapeFontMetrics(const glyvaShapeFont *font, float *ascender, float *descender)
{
    if (!font)
        return 0;
    if (ascender)
        *ascender = font->core->ascender;
    if (descender)
        *descender = font->core->descender;
    return 1;
}

void glyvaShapeSetQuality(glyvaShapeFont *font, uint32_t percent)
{
    if (font)
        glyva::setQuality(font->core, percent);
}

int32_t glyvaShapeGetQuality(const glyvaShapeFont *font)
{
    return font ? glyva::quality(font->core) : 0;
}
