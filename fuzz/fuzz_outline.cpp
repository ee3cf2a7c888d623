#include <math.h>
#include <stddef.h>
#include <stdint.h>
#include <string.h>
#include <unistd.h>

#include <vector>

#include "Skrib/GlyvaInterface.h"
#include "fuzz/fuzzSupport.hh"

/* Large and self-intersecting glyphs: the input describes one TrueType glyph, which is
 * written into a minimal font and meshed and outlined through the font API. Byte 0:
 * the point pattern (low 2 bits: the input's own coordinates, a circle with jitter,
 * random points, a star), the tags (next 2 bits: all on the curve, all off, mixed) and
 * the quality (top bits); bytes 1-2 the point count (little-endian, up to 32767), byte 3
 * the contour count, byte 4 the seed of the random patterns; the rest, int16 x,y pairs
 * for the first pattern. Whatever the glyph, each query must end quickly with its result
 * or failure value: run with a time limit, a slow input is a finding. */

namespace
{

using fuzzsupport::check;
using fuzzsupport::Reader;

constexpr uint32_t kQualities[] = {0, 8, 50, 100};

struct Outline {
    std::vector<int16_t> x, y;
    std::vector<uint8_t> on;
    std::vector<uint16_t> ends;
};

struct Random {
    uint32_t state;
    uint32_t next()
    {
        state ^= state << 13, state ^= state >> 17, state ^= state << 5;
        return state;
    }
};

Outline outlineOf(const uint8_t *data, size_t size)
{
    Reader in{data, size, 0};
    const uint8_t kind = in.byte();
    const uint32_t count = 3 + (in.byte() | in.byte() << 8) % 32765;
    const uint32_t contours = 1 + in.byte() % 8,
                   perContour = count / contours ? count / contours : 1;
    Random random{0x9E3779B9u ^ in.byte()};
    Outline o;
    for (uint32_t k = 0; k < count; ++k) {
        const double angle = 6.283185307179586 * k / count;
        double x, y;
        switch (kind & 3) {
        case 0:
            x = static_cast<int16_t>(in.byte() | in.byte() << 8);
            y = static_cast<int16_t>(in.byte() | in.byte() << 8);
            in.at = in.at >= size ? 5 : in.at; /* the coordinates repeat */
            break;
        case 1:
            x = 320 + (300 + random.next() % 41 - 20.0) * cos(angle);
            y = 320 + (300 + random.next() % 41 - 20.0) * sin(angle);
            break;
        case 2:
            x = random.next() % 640, y = random.next() % 640;
            break;
        default:
            x = 320 + (k % 2 ? 300 : 60) * cos(angle * 7),
            y = 320 + (k % 2 ? 300 : 60) * sin(angle * 7);
        }
        o.x.push_back(static_cast<int16_t>(x));
        o.y.push_back(static_cast<int16_t>(y));
        o.on.push_back((kind >> 2 & 3) == 0 || ((kind >> 2 & 3) == 2 && random.next() % 2));
        if ((k + 1) % perContour == 0 || k + 1 == count)
            o.ends.push_back(static_cast<uint16_t>(k));
    }
    if (o.ends.size() > 1 && o.ends[o.ends.size() - 2] == o.ends.back())
        o.ends.pop_back();
    return o;
}

void put16(std::vector<uint8_t> &b, uint32_t v)
{
    b.push_back(static_cast<uint8_t>(v >> 8));
    b.push_back(static_cast<uint8_t>(v));
}

void put32(std::vector<uint8_t> &b, uint32_t v)
{
    put16(b, v >> 16);
    put16(b, v & 0xFFFF);
}

/* Glyph 1 with its contours, flags and int16 coordinate deltas. */
std::vector<uint8_t> glyphRecord(const Outline &o)
{
    std::vector<uint8_t> g;
    put16(g, static_cast<uint32_t>(o.ends.size()));
    for (int k = 0; k < 4; ++k)
        put16(g, k < 2 ? 0 : 640);
    for (uint16_t end : o.ends)
        put16(g, end);
    put16(g, 0);
    for (uint8_t on : o.on)
        g.push_back(on);
    for (const std::vector<int16_t> *axis : {&o.x, &o.y})
        for (size_t k = 0; k < axis->size(); ++k)
            put16(g, static_cast<uint16_t>((*axis)[k] - (k ? (*axis)[k - 1] : 0)));
    return g;
}

/* A TrueType font of two glyphs, the second mapped to 'A': the tables FreeType needs. */
std::vector<uint8_t> fontOf(const Outline &o)
{
    const std::vector<uint8_t> glyph = glyphRecord(o);
    std::vector<std::vector<uint8_t>> tables(7);
    std::vector<uint8_t> &cmap = tables[0], &head = tables[2], &hhea = tables[3], &hmtx = tables[4],
                         &loca = tables[5], &maxp = tables[6];
    for (uint32_t v : {0u, 1u, 3u,    1u,      0u, 12u,   4u,      32u,           0u, 4u, 4u,
                       1u, 0u, 0x41u, 0xFFFFu, 0u, 0x41u, 0xFFFFu, 0x10000u - 64, 1u, 0u, 0u})
        put16(cmap, v);
    tables[1] = glyph;
    for (uint32_t v : {0x10000u, 0x10000u, 0u, 0x5F0F3CF5u})
        put32(head, v);
    for (uint32_t v :
         {0u, 640u, 0u, 0u, 0u, 0u, 0u, 0u, 0u, 0u, 0u, 0u, 640u, 640u, 0u, 8u, 2u, 1u, 0u})
        put16(head, v);
    put32(hhea, 0x10000);
    for (uint32_t v :
         {640u, 0x10000u - 160, 0u, 640u, 0u, 0u, 640u, 1u, 0u, 0u, 0u, 0u, 0u, 0u, 0u, 2u})
        put16(hhea, v);
    for (uint32_t v : {640u, 0u, 640u, 0u})
        put16(hmtx, v);
    for (uint32_t v : {0u, 0u, static_cast<uint32_t>(glyph.size())})
        put32(loca, v);
    put32(maxp, 0x10000);
    for (uint32_t v :
         {2u, static_cast<uint32_t>(o.x.size()), 8u, 0u, 0u, 2u, 0u, 0u, 0u, 0u, 0u, 0u, 0u, 0u})
        put16(maxp, v);
    std::vector<uint8_t> font;
    put32(font, 0x10000);
    for (uint32_t v : {7u, 64u, 2u, 48u})
        put16(font, v);
    const char *tags[] = {"cmap", "glyf", "head", "hhea", "hmtx", "loca", "maxp"};
    uint32_t offset = 12 + 16 * 7;
    for (size_t t = 0; t < 7; ++t) {
        font.insert(font.end(), tags[t], tags[t] + 4);
        put32(font, 0);
        put32(font, offset);
        put32(font, static_cast<uint32_t>(tables[t].size()));
        offset += (static_cast<uint32_t>(tables[t].size()) + 3) & ~3u;
    }
    for (std::vector<uint8_t> &table : tables) {
        table.resize((table.size() + 3) & ~size_t(3));
        font.insert(font.end(), table.begin(), table.end());
    }
    return font;
}

void queryGlyph(tavixInternalFontData *font, uint32_t quality)
{
    SetQuality(font, quality);
    glyphInfoRecord info;
    if (!GetGlyphInfo(&info, font, 'A'))
        return;
    float *vertices = nullptr;
    int32_t *indices = nullptr;
    const int32_t nv = GetGlyphVertices(&vertices, font, 'A');
    const int32_t ni = GetGlyphTriangleIndices(&indices, font, 'A');
    check(nv >= -1 && ni >= -1 && (nv != -1 || ni <= 0));
    for (int32_t i = 0; i < ni; ++i)
        check(indices[i] >= 0 && indices[i] < nv);
    ClearGlyphData(font, 'A');
    for (int32_t k = 0; k < info.contourCount; ++k) {
        float *points = nullptr;
        const int32_t n = GetGlyphContour(&points, font, 'A', k, nullptr, nullptr);
        check(n >= 0);
        for (int32_t p = 0; p < 3 * n; ++p)
            check(isfinite(points[p]));
    }
    ClearGlyphContour(font);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 5)
        return 0;
    const std::vector<uint8_t> bytes = fontOf(outlineOf(data, size));
    char path[] = "/tmp/glyva-fuzz-outline-XXXXXX";
    const bool written = fuzzsupport::writeTempFile(bytes.data(), bytes.size(), path);
    tavixInternalFontData *font = written ? OpenFont(path) : nullptr;
    unlink(path);
    if (!font)
        return 0;
    queryGlyph(font, kQualities[data[0] >> 6]);
    CloseFont(font);
    return 0;
}
