#include <math.h>
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <unistd.h>

#include <ft2build.h>
#include FT_FREETYPE_H

#include "Skrib/GlyvaInterface.h"
#include "fuzz/fuzzSupport.hh"

/* Arbitrary bytes opened as a font, with every query of the font API run over its
 * glyphs, each at one of three qualities in turn. The character codes come from the font's own
 * charmap, read through a separate FreeType face, plus a few fixed ones (a code without a glyph,
 * the largest code points); the results are checked against the promises of the interface and every
 * returned array is read whole, so the sanitizers see any access outside it. */

namespace
{

constexpr int kMaxCodes = 64;
constexpr uint32_t kFixedCodes[] = {0, 0x20, 'A', 'V', 0xFFFF, 0x10FFFF, 0xFFFFFFFFu};
constexpr uint32_t kQualities[] = {0, 50, 100};
/* Kerning is asked for the first few codes pairwise: the pairs grow quadratically. */
constexpr int kKerningCodes = 8;
constexpr int kGroup = 4;

using fuzzsupport::check;

/* Reads every float of an array the library handed out; the value must be a number. */
void readFloats(const float *values, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        check(!isnan(values[i]));
}

struct Codes {
    uint32_t values[kMaxCodes + sizeof kFixedCodes / sizeof kFixedCodes[0]];
    int count;
};

/* The first character codes of the font's selected charmap, as FreeType sees them. */
void charmapCodes(const uint8_t *data, size_t size, Codes &codes)
{
    codes.count = 0;
    FT_Library library;
    if (FT_Init_FreeType(&library) != 0)
        return;
    FT_Face face;
    if (FT_New_Memory_Face(library, data, static_cast<FT_Long>(size), 0, &face) == 0) {
        FT_UInt glyph = 0;
        FT_ULong code = FT_Get_First_Char(face, &glyph);
        while (glyph != 0 && codes.count < kMaxCodes) {
            codes.values[codes.count++] = static_cast<uint32_t>(code);
            code = FT_Get_Next_Char(face, code, &glyph);
        }
        FT_Done_Face(face);
    }
    FT_Done_FreeType(library);
}

void queryGlyph(tavixInternalFontData *font, uint32_t code)
{
    glyphInfoRecord info;
    if (!GetGlyphInfo(&info, font, code))
        return;
    check(info.contourCount >= 0);
    float *vertices = nullptr;
    const int32_t vertexCount = GetGlyphVertices(&vertices, font, code);
    check(vertexCount >= -1);
    if (vertexCount > 0) {
        check(vertices != nullptr);
        readFloats(vertices, 2 * static_cast<size_t>(vertexCount));
    }
    int32_t *indices = nullptr;
    const int32_t indexCount = GetGlyphTriangleIndices(&indices, font, code);
    check(indexCount >= -1);
    /* A code that maps to glyph 0 gives -1 for the vertices although glyph 0 was
     * tessellated: its indices are then read but have no count to be checked against. */
    if (indexCount > 0) {
        check(indices != nullptr && indexCount % 3 == 0);
        for (int32_t i = 0; i < indexCount; ++i)
            check(indices[i] >= 0 && (vertexCount < 0 || indices[i] < vertexCount));
    }
    /* One past the last contour and a negative index must be refused. */
    for (int32_t k = -1; k <= info.contourCount; ++k) {
        float *points = nullptr;
        uint8_t evenOdd = 2, postScript = 2;
        const int32_t count = GetGlyphContour(&points, font, code, k, &evenOdd, &postScript);
        check(count >= 0);
        if (k < 0 || k == info.contourCount)
            check(count == 0);
        if (count > 0) {
            check(points != nullptr && evenOdd <= 1 && postScript <= 1);
            readFloats(points, 3 * static_cast<size_t>(count));
        }
    }
    ClearGlyphContour(font);
}

void queryFont(tavixInternalFontData *font, const Codes &codes)
{
    float bounds[4];
    GetFontBounds(bounds, font);
    GetAscender(font);
    GetDescender(font);
    GetMaxAdvanceX(font);
    /* Each glyph is meshed once, the qualities taking turns, so that every input reaches
     * all three at a third of the work. Glyphs share the vertex array until it is
     * cleared, after every few of them; a glyph's indices must stay valid while later
     * glyphs add vertices. */
    for (int first = 0; first < codes.count; first += kGroup) {
        const int end = first + kGroup < codes.count ? first + kGroup : codes.count;
        for (int i = first; i < end; ++i) {
            const uint32_t quality = kQualities[i % 3];
            SetQuality(font, quality);
            check(GetQuality(font) == static_cast<int32_t>(quality));
            queryGlyph(font, codes.values[i]);
        }
        for (int i = first; i < end; ++i)
            ClearGlyphData(font, codes.values[i]);
    }
    const int pairs = codes.count < kKerningCodes ? codes.count : kKerningCodes;
    for (int i = 0; i < pairs; ++i)
        for (int j = 0; j < pairs; ++j) {
            float kerning[2], x, y;
            GetKerning(kerning, font, codes.values[i], codes.values[j]);
            GetKerning2(&x, &y, font, codes.values[i], codes.values[j]);
        }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    char path[] = "/tmp/glyva-fuzz-font-XXXXXX";
    const bool written = fuzzsupport::writeTempFile(data, size, path);
    tavixInternalFontData *font = written ? OpenFont(path) : nullptr;
    unlink(path);
    if (!font)
        return 0;
    Codes codes;
    charmapCodes(data, size, codes);
    for (uint32_t code : kFixedCodes)
        codes.values[codes.count++] = code;
    queryFont(font, codes);
    CloseFont(font);
    return 0;
}
