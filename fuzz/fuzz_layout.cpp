#include <math.h>
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "shape/glyvaShape.h"

/* The paragraph layout on hostile text and options: byte 0 picks which of the fixed
 * faces take part and in which order, byte 1 the paragraph direction (2 bits), the
 * alignment (3 bits) and whether lines wrap, byte 2 the width in eighths of an em,
 * byte 3 the letter and line spacing; the rest is the text, valid UTF-8 or not. The
 * faces stay open across inputs: opening them is not what is tested here. */

namespace
{

constexpr const char *kFonts[] = {
    GLYVA_FIXTURE_DIR "/bidi.ttf",
    "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
    "/usr/share/fonts/truetype/noto/NotoSansArabic-Regular.ttf",
    GLYVA_FIXTURE_DIR "/fixtures.ttf",
};
constexpr size_t kFontCount = sizeof kFonts / sizeof kFonts[0];

void check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

glyvaShapeFont **openFaces()
{
    static glyvaShapeFont *faces[kFontCount];
    static bool opened = false;
    if (!opened) {
        for (size_t i = 0; i < kFontCount; ++i)
            glyvaShapeOpen(&faces[i], kFonts[i], 0, nullptr, nullptr, 0);
        opened = true;
    }
    return faces;
}

/* Lines cover the text in order; every glyph lies in its line's bytes at a finite
 * place. */
void checkLayout(const glyvaShapeLayout *layout, size_t length, uint32_t faceCount)
{
    const glyvaLayoutGlyph *glyphs = nullptr;
    const glyvaLayoutLine *lines = nullptr;
    const int32_t glyphCount = glyvaShapeLayoutGlyphs(layout, &glyphs);
    const int32_t lineCount = glyvaShapeLayoutLines(layout, &lines);
    check(glyphCount >= 0 && lineCount >= 0);
    uint32_t next = 0;
    for (int32_t l = 0; l < lineCount; ++l) {
        check(lines[l].firstByte == next);
        next += lines[l].byteLength;
        check(isfinite(lines[l].left) && isfinite(lines[l].width) && isfinite(lines[l].baseline));
        for (uint32_t g = lines[l].firstGlyph; g < lines[l].firstGlyph + lines[l].glyphCount; ++g) {
            check(g < static_cast<uint32_t>(glyphCount));
            check(glyphs[g].line == static_cast<uint32_t>(l) && glyphs[g].face < faceCount);
            check(glyphs[g].cluster >= lines[l].firstByte && glyphs[g].cluster < next);
            check(isfinite(glyphs[g].x) && isfinite(glyphs[g].y) && isfinite(glyphs[g].advance));
        }
    }
    check(next == length);
    const char *notice = nullptr;
    glyvaShapeLayoutNotices(layout, &notice);
    check(notice != nullptr);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 4)
        return 0;
    glyvaShapeFont **all = openFaces();
    glyvaShapeFont *faces[kFontCount];
    uint32_t faceCount = 0;
    for (size_t i = 0; i < kFontCount; ++i)
        if ((data[0] >> i) & 1)
            faces[faceCount++] = all[(i + (data[0] >> 4)) % kFontCount];
    if (faceCount == 0)
        faces[faceCount++] = all[0];
    glyvaLayoutOptions options{};
    options.direction = data[1] & 3; /* 3 is not a direction */
    options.align = (data[1] >> 2) & 7;
    options.width = (data[1] & 0x20) ? data[2] / 8.0 : 0.0;
    options.letterSpacing = static_cast<int8_t>(data[3] & 0xF0) / 64.0;
    options.lineSpacing = (data[3] & 0x0F) / 4.0;
    const char *text = reinterpret_cast<const char *>(data + 4);
    const size_t length = size - 4;
    glyvaShapeLayout *layout = nullptr;
    char message[128];
    const int32_t status =
        glyvaShapeLayoutText(&layout, faces, faceCount, text, static_cast<int32_t>(length),
                             &options, message, sizeof message);
    if (status != GLYVA_SHAPE_OK) {
        check(layout == nullptr && message[0] != '\0');
        return 0;
    }
    checkLayout(layout, length, faceCount);
    glyvaShapeLayoutDestroy(layout);
    return 0;
}
