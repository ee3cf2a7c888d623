#include "shape/glyvaShape.h"

#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <hb-ot.h>
#include <hb.h>

#include "Skrib/fontData.hh"
#include "glyph/glyphMesh.hh"
#include "util/emuKD/kd.h"
#include "util/plyxUtil.h"
#include FT_MULTIPLE_MASTERS_H
#include FT_OUTLINE_H

/* Hosts read the records at fixed offsets; i386 aligns doubles to 4 inside records,
 * which this layout never needs. */
static_assert(offsetof(glyvaShapedGlyph, glyphIndex) == 0, "shaped glyph layout");
static_assert(offsetof(glyvaShapedGlyph, cluster) == 4, "shaped glyph layout");
static_assert(offsetof(glyvaShapedGlyph, xAdvance) == 8, "shaped glyph layout");
static_assert(offsetof(glyvaShapedGlyph, yAdvance) == 16, "shaped glyph layout");
static_assert(offsetof(glyvaShapedGlyph, xOffset) == 24, "shaped glyph layout");
static_assert(offsetof(glyvaShapedGlyph, yOffset) == 32, "shaped glyph layout");
static_assert(sizeof(glyvaShapedGlyph) == 40, "shaped glyph layout");

struct glyvaShapeFont {
    tavixInternalFontData *core;
    hb_blob_t *blob;
    hb_face_t *face;
    hb_font_t *font;
    hb_buffer_t *buffer;
    glyvaShapedGlyph *glyphs;
    uint32_t glyphCapacity;
    /* The glyph whose triangle list was handed out last, released by the next mesh. */
    uint32_t lastMeshed;
    bool haveLastMeshed;
    char error[256];
};

namespace {

constexpr size_t kMessageSize = sizeof(glyvaShapeFont::error);

void setError(glyvaShapeFont *font, const char *format, ...) __attribute__((format(printf, 2, 3)));

void setError(glyvaShapeFont *font, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    vsnprintf(font->error, kMessageSize, format, args);
    va_end(args);
}

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
    font->core = glyva::newFont(path, faceIndex);
    tavixInternalFontData *core = font->core;
    if (!core || !core->ftLibrary) {
        setError(font, "out of memory opening %s", path);
        return GLYVA_SHAPE_NO_MEMORY;
    }
    if (!core->fontData) {
        setError(font, "cannot read font file %s", path);
        return GLYVA_SHAPE_BAD_FILE;
    }
    if (!core->ftFace)
        return faceIndexFailure(font, path, faceIndex);
    if (!core->glyphData) {
        const FT_CharMap map = core->ftFace->charmap;
        if (map && map->encoding == FT_ENCODING_UNICODE) {
            setError(font, "out of memory opening %s", path);
            return GLYVA_SHAPE_NO_MEMORY;
        }
        setError(font, "the font has no Unicode character map");
        return GLYVA_SHAPE_BAD_FILE;
    }
    return GLYVA_SHAPE_OK;
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

/* "AXIS=VALUE,..." applied to both HarfBuzz and FreeType; every axis must exist. */
int32_t applyVariations(glyvaShapeFont *font, const char *text)
{
    unsigned int items = 1;
    for (const char *c = text; *c; ++c)
        items += *c == ',' ? 1 : 0;
    auto *values = static_cast<hb_variation_t *>(kdMalloc(items * sizeof(hb_variation_t)));
    if (!values) {
        setError(font, "out of memory applying the variation");
        return GLYVA_SHAPE_NO_MEMORY;
    }
    int32_t status = GLYVA_SHAPE_OK;
    unsigned int count = 0;
    const unsigned int axes = hb_ot_var_get_axis_count(font->face);
    for (const char *item = text; status == GLYVA_SHAPE_OK;) {
        const char *end = strchr(item, ',');
        const int length = static_cast<int>(end ? end - item : static_cast<ptrdiff_t>(strlen(item)));
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
        } else {
            values[count++] = v;
        }
        if (!end)
            break;
        item = end + 1;
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

/* Offset of the first byte that does not belong to well-formed UTF-8 (no overlong
 * forms, no surrogates, nothing past U+10FFFF), or length when all are well formed.
 * HarfBuzz would replace such bytes silently and shape something else. */
size_t firstInvalidByte(const unsigned char *s, size_t length)
{
    size_t i = 0;
    while (i < length) {
        const unsigned char c = s[i];
        size_t need;
        unsigned char lo = 0x80, hi = 0xBF;
        if (c < 0x80) {
            ++i;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            need = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            need = 2;
            lo = c == 0xE0 ? 0xA0 : 0x80;
            hi = c == 0xED ? 0x9F : 0xBF;
        } else if (c >= 0xF0 && c <= 0xF4) {
            need = 3;
            lo = c == 0xF0 ? 0x90 : 0x80;
            hi = c == 0xF4 ? 0x8F : 0xBF;
        } else {
            return i;
        }
        if (length - i <= need || s[i + 1] < lo || s[i + 1] > hi)
            return i;
        for (size_t k = 2; k <= need; ++k)
            if (s[i + k] < 0x80 || s[i + k] > 0xBF)
                return i;
        i += need + 1;
    }
    return length;
}

bool plainTag(const char *text, size_t min, size_t max, bool allowDash)
{
    size_t n = strlen(text);
    if (n < min || n > max)
        return false;
    for (const char *c = text; *c; ++c) {
        bool letter = (*c >= 'a' && *c <= 'z') || (*c >= 'A' && *c <= 'Z');
        bool other = allowDash && ((*c >= '0' && *c <= '9') || *c == '-' || *c == '_');
        if (!letter && !other)
            return false;
    }
    return true;
}

bool setSegment(glyvaShapeFont *font, const glyvaShapeOptions *options)
{
    hb_buffer_t *buffer = font->buffer;
    if (options) {
        static const hb_direction_t kDirections[] = {HB_DIRECTION_INVALID, HB_DIRECTION_LTR,
                                                     HB_DIRECTION_RTL, HB_DIRECTION_TTB,
                                                     HB_DIRECTION_BTT};
        if (options->direction < 0 || options->direction > GLYVA_SHAPE_DIRECTION_BTT) {
            setError(font, "unknown direction %d", static_cast<int>(options->direction));
            return false;
        }
        hb_buffer_set_direction(buffer, kDirections[options->direction]);
        if (options->script && *options->script) {
            if (!plainTag(options->script, 4, 4, false)) {
                setError(font, "bad script '%s': use an ISO 15924 tag such as Latn or Arab",
                         options->script);
                return false;
            }
            hb_buffer_set_script(buffer, hb_script_from_string(options->script, 4));
        }
        if (options->language && *options->language) {
            if (!plainTag(options->language, 1, 63, true)) {
                setError(font, "bad language '%s': use a BCP 47 tag such as en or ar",
                         options->language);
                return false;
            }
            hb_buffer_set_language(buffer, hb_language_from_string(options->language, -1));
        }
    }
    hb_buffer_guess_segment_properties(buffer);
    return true;
}

/* The comma-separated feature texts as records for hb_shape_full; null with count 0
 * for none. False with the error set when one does not parse. */
bool parseFeatures(glyvaShapeFont *font, const char *text, hb_feature_t **features,
                   unsigned int *count)
{
    *features = nullptr;
    *count = 0;
    if (!text || !*text)
        return true;
    unsigned int items = 1;
    for (const char *c = text; *c; ++c)
        items += *c == ',' ? 1 : 0;
    auto *list = static_cast<hb_feature_t *>(kdMalloc(items * sizeof(hb_feature_t)));
    if (!list) {
        setError(font, "out of memory reading the features");
        return false;
    }
    for (const char *item = text;;) {
        const char *end = strchr(item, ',');
        const int length = static_cast<int>(end ? end - item : static_cast<ptrdiff_t>(strlen(item)));
        if (length == 0 || !hb_feature_from_string(item, length, &list[*count])) {
            setError(font, "bad feature '%.*s': use HarfBuzz feature texts such as liga=0 or +kern",
                     length, item);
            kdFree(list);
            *count = 0;
            return false;
        }
        ++*count;
        if (!end)
            break;
        item = end + 1;
    }
    *features = list;
    return true;
}

bool reserveGlyphs(glyvaShapeFont *font, unsigned int count)
{
    if (count <= font->glyphCapacity)
        return true;
    if (count > SIZE_MAX / sizeof(glyvaShapedGlyph))
        return false;
    void *grown = kdRealloc(font->glyphs, count * sizeof(glyvaShapedGlyph));
    if (!grown)
        return false;
    font->glyphs = static_cast<glyvaShapedGlyph *>(grown);
    font->glyphCapacity = count;
    return true;
}

/* The glyph index when the face has it; otherwise the error is set. */
bool knownGlyph(glyvaShapeFont *font, uint32_t glyphIndex)
{
    const FT_Long glyphs = font->core->ftFace->num_glyphs;
    if (static_cast<FT_Long>(glyphIndex) < glyphs && glyphIndex <= INT32_MAX)
        return true;
    setError(font, "glyph index %u is past the %ld glyphs of the face",
             static_cast<unsigned>(glyphIndex), static_cast<long>(glyphs));
    return false;
}

/* Glyph 0 is what the glyph path's 0 also means on failure: with its record freshly
 * invalidated, it succeeded when the glyph loaded and kept a mesh or has no contours
 * to mesh. */
bool meshedGlyphZero(tavixInternalFontData *core, const internalGlyphData *record)
{
    if (!record->valid)
        return false;
    if (record->triangleIndices.count > 0)
        return true;
    FT_GlyphSlot slot = core->ftFace->glyph;
    if (slot->format != FT_GLYPH_FORMAT_OUTLINE)
        return true;
    const FT_Outline *outline = glyva::checkedOutline(slot);
    return outline && outline->n_contours <= 0;
}

void releaseLastMesh(glyvaShapeFont *font)
{
    if (font->haveLastMeshed)
        clearMFInt32(&font->core->glyphData[font->lastMeshed].triangleIndices);
    font->haveLastMeshed = false;
    clearMFVec2f(&font->core->glyphVertices);
}

} // namespace

extern "C" {

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
    if (!font || percent > 100)
        return;
    font->core->quality = static_cast<float>(percent) / 100.0f;
}

/* A single-precision product, as GetQuality, so both read back alike. */
int32_t glyvaShapeGetQuality(const glyvaShapeFont *font)
{
    if (!font)
        return 0;
    float product = 100.0f * font->core->quality;
    return static_cast<int32_t>(product);
}

int32_t glyvaShapeText(glyvaShapeFont *font, const char *utf8, int32_t byteLength,
                       const glyvaShapeOptions *options, const glyvaShapedGlyph **glyphs)
{
    if (!font)
        return -1;
    font->error[0] = '\0';
    if (!utf8 || !glyphs) {
        setError(font, "no text or no output pointer");
        return -1;
    }
    const size_t length = byteLength < 0 ? strlen(utf8) : static_cast<size_t>(byteLength);
    if (length > static_cast<size_t>(INT32_MAX)) {
        setError(font, "text too long");
        return -1;
    }
    const size_t bad = firstInvalidByte(reinterpret_cast<const unsigned char *>(utf8), length);
    if (bad < length) {
        setError(font, "the text is not valid UTF-8 (byte %zu, 0x%02X)", bad,
                 static_cast<unsigned>(static_cast<unsigned char>(utf8[bad])));
        return -1;
    }
    hb_buffer_clear_contents(font->buffer);
    hb_buffer_add_utf8(font->buffer, utf8, static_cast<int>(length), 0, static_cast<int>(length));
    if (!setSegment(font, options))
        return -1;
    hb_feature_t *features = nullptr;
    unsigned int featureCount = 0;
    if (!parseFeatures(font, options ? options->features : nullptr, &features, &featureCount))
        return -1;
    const hb_bool_t shaped = hb_shape_full(font->font, font->buffer, features, featureCount, nullptr);
    kdFree(features);
    if (!shaped || !hb_buffer_allocation_successful(font->buffer)) {
        setError(font, "HarfBuzz could not shape the text");
        return -1;
    }
    unsigned int count = 0;
    const hb_glyph_info_t *info = hb_buffer_get_glyph_infos(font->buffer, &count);
    const hb_glyph_position_t *pos = hb_buffer_get_glyph_positions(font->buffer, nullptr);
    if (count > static_cast<unsigned int>(INT32_MAX) || !reserveGlyphs(font, count)) {
        setError(font, "out of memory storing %u shaped glyphs", count);
        return -1;
    }
    const double upem = static_cast<double>(hb_face_get_upem(font->face));
    for (unsigned int i = 0; i < count; ++i) {
        glyvaShapedGlyph &g = font->glyphs[i];
        g.glyphIndex = info[i].codepoint;
        g.cluster = info[i].cluster;
        g.xAdvance = pos[i].x_advance / upem;
        g.yAdvance = pos[i].y_advance / upem;
        g.xOffset = pos[i].x_offset / upem;
        g.yOffset = pos[i].y_offset / upem;
    }
    *glyphs = count ? font->glyphs : nullptr;
    return static_cast<int32_t>(count);
}

int32_t glyvaShapeGlyphInfo(glyphInfoRecord *info, glyvaShapeFont *font, uint32_t glyphIndex)
{
    if (!font)
        return 0;
    if (!info) {
        setError(font, "no output record");
        return 0;
    }
    if (!knownGlyph(font, glyphIndex))
        return 0;
    internalGlyphData *record = &font->core->glyphData[glyphIndex];
    if (!record->valid && !glyva::loadGlyph(font->core, glyphIndex, record)) {
        setError(font, "FreeType cannot load glyph %u", static_cast<unsigned>(glyphIndex));
        return 0;
    }
    info->width = record->width;
    info->height = record->height;
    info->horiAdvance = record->horiAdvance;
    info->vertAdvance = record->vertAdvance;
    info->horiBearingX = record->horiBearingX;
    info->horiBearingY = record->horiBearingY;
    info->vertBearingX = record->vertBearingX;
    info->vertBearingY = record->vertBearingY;
    info->contourCount = record->contourCount;
    return 1;
}

int32_t glyvaShapeGlyphMesh(glyvaShapeFont *font, uint32_t glyphIndex, const float **vertices,
                            int32_t *vertexCount, const int32_t **indices, int32_t *indexCount)
{
    if (!font)
        return 0;
    if (!vertices || !vertexCount || !indices || !indexCount) {
        setError(font, "no output pointer");
        return 0;
    }
    if (!knownGlyph(font, glyphIndex))
        return 0;
    tavixInternalFontData *core = font->core;
    internalGlyphData *record = &core->glyphData[glyphIndex];
    /* The glyph's mesh alone: the shared vertex array starts empty, as after
     * ClearGlyphData, so that the same glyph meshes the same way by either route. */
    releaseLastMesh(font);
    clearMFInt32(&record->triangleIndices);
    record->valid = 0;
    const uint32_t meshed = glyva::tesselateGlyph(core, glyphIndex, record);
    const bool ok = glyphIndex == 0 ? meshedGlyphZero(core, record) : meshed == glyphIndex;
    if (!ok) {
        setError(font, "cannot mesh glyph %u", static_cast<unsigned>(glyphIndex));
        clearMFInt32(&record->triangleIndices);
        clearMFVec2f(&core->glyphVertices);
        return 0;
    }
    font->lastMeshed = glyphIndex;
    font->haveLastMeshed = true;
    const bool empty = record->triangleIndices.count == 0;
    *vertices = empty || !core->glyphVertices.values ? nullptr : core->glyphVertices.values[0];
    *vertexCount = empty ? 0 : static_cast<int32_t>(core->glyphVertices.count);
    *indices = empty ? nullptr : record->triangleIndices.values;
    *indexCount = static_cast<int32_t>(record->triangleIndices.count);
    return 1;
}

int32_t glyvaShapeGlyphContour(const float **points, glyvaShapeFont *font, uint32_t glyphIndex,
                               int32_t contourIndex, uint8_t *evenOddFill,
                               uint8_t *postScriptOrientation)
{
    if (!font)
        return 0;
    if (!points) {
        setError(font, "no output pointer");
        return 0;
    }
    if (!knownGlyph(font, glyphIndex))
        return 0;
    const FT_Outline *outline = glyva::checkedOutline(glyva::loadGlyph(font->core, glyphIndex, nullptr));
    if (!outline || contourIndex < 0 || contourIndex >= outline->n_contours) {
        setError(font, "glyph %u has no contour %d", static_cast<unsigned>(glyphIndex),
                 static_cast<int>(contourIndex));
        return 0;
    }
    if (evenOddFill)
        *evenOddFill = (outline->flags & FT_OUTLINE_EVEN_ODD_FILL) ? 1 : 0;
    if (postScriptOrientation)
        *postScriptOrientation = FT_Outline_Get_Orientation(const_cast<FT_Outline *>(outline)) ==
                                         FT_ORIENTATION_POSTSCRIPT
                                     ? 1
                                     : 0;
    if (!glyva::flattenAllContours(font->core, outline)) {
        setError(font, "out of memory flattening glyph %u", static_cast<unsigned>(glyphIndex));
        return 0;
    }
    const SimpleVec3Array &wanted = font->core->glyphContours[contourIndex];
    *points = wanted.values ? wanted.values[0] : nullptr;
    return static_cast<int32_t>(wanted.count);
}

} // extern "C"
