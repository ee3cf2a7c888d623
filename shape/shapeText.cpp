#include "shape/shapeFont.hh"

#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "util/emuKD/kd.h"

namespace glyva
{
namespace shape
{

/* HarfBuzz would replace malformed bytes silently and shape something else. */
size_t firstInvalidUtf8(const unsigned char *s, size_t length)
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

bool parseFeatures(const char *text, hb_feature_t **features, unsigned int *count, char *why,
                   size_t whySize)
{
    *features = nullptr;
    *count = 0;
    if (!text || !*text)
        return true;
    const unsigned int capacity = ListItems::count(text);
    auto *list = static_cast<hb_feature_t *>(kdMalloc(capacity * sizeof(hb_feature_t)));
    if (!list) {
        snprintf(why, whySize, "out of memory reading the features");
        return false;
    }
    ListItems items(text);
    const char *item;
    int length;
    while (items.take(&item, &length)) {
        if (length == 0 || !hb_feature_from_string(item, length, &list[*count])) {
            snprintf(why, whySize,
                     "bad feature '%.*s': use HarfBuzz feature texts such as liga=0 or +kern",
                     length, item);
            kdFree(list);
            *count = 0;
            return false;
        }
        ++*count;
    }
    *features = list;
    return true;
}

} // namespace shape
} // namespace glyva

namespace
{

using glyva::shape::plainTag;
using glyva::shape::setError;

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

bool reserveGlyphs(glyvaShapeFont *font, unsigned int count)
{
    if (count <= font->glyphCapacity)
        return true;
    if (static_cast<uint64_t>(count) > SIZE_MAX / sizeof(glyvaShapedGlyph))
        return false;
    void *grown = kdRealloc(font->glyphs, count * sizeof(glyvaShapedGlyph));
    if (!grown)
        return false;
    font->glyphs = static_cast<glyvaShapedGlyph *>(grown);
    font->glyphCapacity = count;
    return true;
}

} // namespace

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
    const size_t bad =
        glyva::shape::firstInvalidUtf8(reinterpret_cast<const unsigned char *>(utf8), length);
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
    if (!glyva::shape::parseFeatures(options ? options->features : nullptr, &features,
                                     &featureCount, font->error, sizeof font->error))
        return -1;
    const hb_bool_t shaped =
        hb_shape_full(font->font, font->buffer, features, featureCount, nullptr);
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
    const double upem = font->scale;
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
