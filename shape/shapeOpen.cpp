#include "shape/shapeFont.hh"

#include <math.h>
#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <hb-ft.h>
#include <hb-ot.h>

#include "glyph/glyphMesh.hh"
#include "shape/meshCache.hh"
#include "util/emuKD/kd.h"
#include "util/plyxUtil.h"
#include FT_FONT_FORMATS_H
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
    /* HarfBuzz held a reference of its own, dropped with its font above. */
    if (font->shapingFace)
        FT_Done_Face(font->shapingFace);
    kdFree(font->metricsData);
    glyva::shape::releaseMeshCache(font);
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

bool harfBuzzReadsFace(const glyvaShapeFont *font)
{
    return hb_face_get_upem(font->face) != 0 &&
           hb_face_get_glyph_count(font->face) ==
               static_cast<unsigned int>(font->core->ftFace->num_glyphs);
}

/* The bytes FreeType reads the face from: the file itself, or for WOFF and WOFF2 the
 * plain font FreeType unpacked it into, which lives as long as the face. */
bool faceBytes(const glyvaShapeFont *font, const FT_Byte **bytes, unsigned int *size)
{
    const FT_Stream stream = font->core->ftFace->stream;
    if (!stream || !stream->base || stream->size > UINT32_MAX)
        return false;
    *bytes = stream->base;
    *size = static_cast<unsigned int>(stream->size);
    return true;
}

/* Type 1 fonts keep their kerning in an AFM file beside them; HarfBuzz reads it
 * through FreeType when it is there. */
void attachMetrics(glyvaShapeFont *font, const char *path)
{
    const char *format = FT_Get_Font_Format(font->shapingFace);
    const size_t length = strlen(path);
    if (!format || strcmp(format, "Type 1") != 0 || length < 3 || length > 4096)
        return;
    char afm[4100];
    const char *dot = strrchr(path, '.');
    const size_t stem = dot && !strchr(dot, '/') ? static_cast<size_t>(dot - path) : length;
    snprintf(afm, sizeof afm, "%.*s.afm", static_cast<int>(stem), path);
    uint32_t size = 0;
    font->metricsData = readBinaryFileToMemory(afm, &size);
    if (!font->metricsData)
        return;
    FT_Open_Args args = {};
    args.flags = FT_OPEN_MEMORY;
    args.memory_base = static_cast<const FT_Byte *>(font->metricsData);
    args.memory_size = static_cast<FT_Long>(size);
    FT_Attach_Stream(font->shapingFace, &args);
}

/* For files whose tables HarfBuzz cannot read itself (Type 1), HarfBuzz reads the
 * font through a FreeType face of its own on the same bytes. Sized at one pixel per
 * font unit, its 26.6 positions are exact font units times 64, unhinted as HarfBuzz
 * loads them by default. */
int32_t openThroughFreeType(glyvaShapeFont *font, const char *path, int32_t faceIndex)
{
    hb_font_destroy(font->font);
    hb_face_destroy(font->face);
    font->font = nullptr;
    font->face = nullptr;
    const FT_Byte *bytes = nullptr;
    unsigned int size = 0;
    FT_Face face = nullptr;
    if (!faceBytes(font, &bytes, &size) ||
        FT_New_Memory_Face(*font->core->ftLibrary, bytes, static_cast<FT_Long>(size), faceIndex,
                           &face) != 0) {
        setError(font, "HarfBuzz cannot read face %d of font %s", static_cast<int>(faceIndex),
                 path);
        return GLYVA_SHAPE_BAD_FILE;
    }
    font->shapingFace = face;
    const FT_UShort upem = face->units_per_EM;
    if (!FT_IS_SCALABLE(face) || upem == 0 ||
        FT_Set_Char_Size(face, 0, static_cast<FT_F26Dot6>(upem) * 64, 72, 72) != 0) {
        setError(font, "cannot shape face %d of font %s: no scalable outlines",
                 static_cast<int>(faceIndex), path);
        return GLYVA_SHAPE_BAD_FILE;
    }
    attachMetrics(font, path);
    font->font = hb_ft_font_create_referenced(face);
    font->face = hb_face_reference(hb_font_get_face(font->font));
    if (font->font == hb_font_get_empty()) {
        setError(font, "out of memory opening %s", path);
        return GLYVA_SHAPE_NO_MEMORY;
    }
    int xScale = 0, yScale = 0;
    hb_font_get_scale(font->font, &xScale, &yScale);
    font->scale = xScale > 0 ? xScale : 64.0 * upem;
    return GLYVA_SHAPE_OK;
}

/* HarfBuzz on the very bytes FreeType reads, so that both see one face. */
int32_t openHarfBuzz(glyvaShapeFont *font, const char *path, int32_t faceIndex)
{
    const FT_Byte *bytes = nullptr;
    unsigned int size = 0;
    if (!faceBytes(font, &bytes, &size)) {
        setError(font, "font %s is too large", path);
        return GLYVA_SHAPE_BAD_FILE;
    }
    font->blob = hb_blob_create(reinterpret_cast<const char *>(bytes), size,
                                HB_MEMORY_MODE_READONLY, nullptr, nullptr);
    /* The plain font FreeType unpacked a WOFF file into holds its one face at 0. */
    const bool unpacked = bytes != font->core->fontData;
    font->face = hb_face_create(font->blob, unpacked ? 0u : static_cast<unsigned int>(faceIndex));
    font->font = hb_font_create(font->face);
    font->buffer = hb_buffer_create();
    if (font->font == hb_font_get_empty() || !hb_buffer_allocation_successful(font->buffer)) {
        setError(font, "out of memory opening %s", path);
        return GLYVA_SHAPE_NO_MEMORY;
    }
    if (!harfBuzzReadsFace(font))
        return openThroughFreeType(font, path, faceIndex);
    font->scale = hb_face_get_upem(font->face);
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
            if (FT_Set_Named_Instance(font->core->ftFace, i + 1) != 0 ||
                (font->shapingFace && FT_Set_Named_Instance(font->shapingFace, i + 1) != 0)) {
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
    if (error == 0 && font->shapingFace)
        error = FT_Set_Var_Design_Coordinates(font->shapingFace, mm->num_axis, coords);
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
    /* HarfBuzz through FreeType reads the instance off the FreeType face. */
    if (status == GLYVA_SHAPE_OK && font->shapingFace)
        hb_ft_font_changed(font->font);
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

uint32_t glyvaShapeCharacterGlyph(glyvaShapeFont *font, uint32_t code)
{
    FT_UInt glyph = 0;
    if (font)
        glyva::glyphRecord(font->core, code, &glyph);
    return glyph;
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

int32_t glyvaShapeLineMetrics(const glyvaShapeFont *font, double *ascender, double *descender,
                              double *lineGap)
{
    if (!font)
        return 0;
    hb_position_t above = 0, below = 0, gap = 0;
    hb_ot_metrics_get_position_with_fallback(font->font, HB_OT_METRICS_TAG_HORIZONTAL_ASCENDER,
                                             &above);
    hb_ot_metrics_get_position_with_fallback(font->font, HB_OT_METRICS_TAG_HORIZONTAL_DESCENDER,
                                             &below);
    hb_ot_metrics_get_position_with_fallback(font->font, HB_OT_METRICS_TAG_HORIZONTAL_LINE_GAP,
                                             &gap);
    if (ascender)
        *ascender = above / font->scale;
    if (descender)
        *descender = below / font->scale;
    if (lineGap)
        *lineGap = gap / font->scale;
    return 1;
}

void glyvaShapeSetQuality(glyvaShapeFont *font, uint32_t percent)
{
    if (!font)
        return;
    const int32_t before = glyva::quality(font->core);
    glyva::setQuality(font->core, percent);
    if (glyva::quality(font->core) != before)
        glyva::shape::clearMeshCache(font);
}

int32_t glyvaShapeGetQuality(const glyvaShapeFont *font)
{
    return font ? glyva::quality(font->core) : 0;
}
