#include <math.h>
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "fuzz/fuzzSupport.hh"
#include "shape/glyvaShape.h"

/* The shaping library's text surfaces: the instance text, feature list, script,
 * language, direction, face index and the UTF-8 text itself, on fixed fonts (the
 * fixtures with a variation axis and two faces, and a large real font). Input layout:
 * byte 0 picks the font, byte 1 the face index (low 2 bits), the direction (next 3)
 * and the quality (top 3); the rest is five fields separated by NUL bytes: instance,
 * features, script, language, text. Every glyph shaping gives is meshed and its
 * first contour read, and every array handed out is read whole. */

namespace
{

constexpr const char *kFonts[] = {
    GLYVA_FIXTURE_DIR "/variable.ttf",
    GLYVA_FIXTURE_DIR "/collection.ttc",
    GLYVA_FIXTURE_DIR "/fixtures.ttf",
    "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
};
constexpr int kFields = 5;
constexpr int32_t kMaxMeshed = 16;

using fuzzsupport::check;

/* The fields, each NUL-terminated in a copy of the input; missing ones are empty. */
struct Fields {
    char storage[4096 + kFields];
    const char *field[kFields];
};

void split(const uint8_t *data, size_t size, Fields &f)
{
    if (size > sizeof f.storage - kFields)
        size = sizeof f.storage - kFields;
    memcpy(f.storage, data, size);
    memset(f.storage + size, 0, kFields);
    const char *p = f.storage;
    const char *end = f.storage + size;
    for (int i = 0; i < kFields; ++i) {
        f.field[i] = p <= end ? p : end;
        p += strlen(f.field[i]) + 1;
    }
}

void meshGlyphs(glyvaShapeFont *font, const glyvaShapedGlyph *glyphs, int32_t count,
                size_t textLength)
{
    const int32_t glyphCount = glyvaShapeGlyphCount(font);
    for (int32_t i = 0; i < count; ++i) {
        check(glyphs[i].glyphIndex < static_cast<uint32_t>(glyphCount));
        check(glyphs[i].cluster <= textLength);
        check(isfinite(glyphs[i].xAdvance) && isfinite(glyphs[i].yOffset));
        if (i >= kMaxMeshed)
            continue;
        const float *vertices;
        const int32_t *indices;
        int32_t nv, ni;
        if (glyvaShapeGlyphMesh(font, glyphs[i].glyphIndex, &vertices, &nv, &indices, &ni)) {
            check(ni % 3 == 0);
            for (int32_t k = 0; k < ni; ++k)
                check(indices[k] >= 0 && indices[k] < nv);
            for (int32_t k = 0; k < 2 * nv; ++k)
                check(!isnan(vertices[k]));
        }
        const float *points;
        int32_t np =
            glyvaShapeGlyphContour(&points, font, glyphs[i].glyphIndex, 0, nullptr, nullptr);
        for (int32_t k = 0; k < 3 * np; ++k)
            check(!isnan(points[k]));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const char *path = kFonts[data[0] % (sizeof kFonts / sizeof kFonts[0])];
    const int32_t face = data[1] & 3;
    const int32_t direction = (data[1] >> 2) & 7; /* 5 to 7 are not directions */
    const uint32_t quality = ((data[1] >> 5) & 7) * 16;
    Fields f;
    split(data + 2, size - 2, f);
    char message[128];
    glyvaShapeFont *font = nullptr;
    if (glyvaShapeOpen(&font, path, face, f.field[0], message, sizeof message) != GLYVA_SHAPE_OK) {
        check(font == nullptr && message[0] != '\0');
        return 0;
    }
    glyvaShapeSetQuality(font, quality);
    glyvaShapeOptions options = {f.field[2], f.field[3], f.field[1], direction};
    const glyvaShapedGlyph *glyphs = nullptr;
    const size_t textLength = strlen(f.field[4]);
    int32_t count = glyvaShapeText(font, f.field[4], -1, &options, &glyphs);
    if (count < 0)
        check(glyvaShapeError(font)[0] != '\0');
    else
        meshGlyphs(font, glyphs, count, textLength);
    glyvaShapeClose(font);
    return 0;
}
