#include "layout.h"

#include <algorithm>
#include <cmath>

namespace glyvamesh
{
namespace
{

constexpr uint32_t kLineFeed = 0x0A;
constexpr uint32_t kCarriageReturn = 0x0D;
constexpr uint32_t kTab = 0x09;
constexpr uint32_t kLineSeparator = 0x2028;
constexpr uint32_t kByteOrderMark = 0xFEFF;

float advanceOf(const LayoutFont &font, uint32_t code)
{
    if (code == kTab)
        return 4.0f * advanceOf(font, ' ');
    const GlyphShape *shape = font.glyph(code);
    return shape ? shape->advance : 0.0f;
}

/* Pen x of every character of a line in ems, and the line's width after the last
 * advance. Tabs are pen moves only: no glyph and no kerning across them. */
std::vector<float> penPositions(const Line &line, const LayoutFont &font, float *width)
{
    std::vector<float> pen;
    float x = 0.0f;
    for (size_t i = 0; i < line.size(); ++i) {
        if (i > 0 && line[i] != kTab && line[i - 1] != kTab)
            x += font.kerning(line[i - 1], line[i]);
        pen.push_back(x);
        x += advanceOf(font, line[i]);
    }
    *width = x;
    return pen;
}

float alignShift(Align align, float width)
{
    switch (align) {
    case Align::Center:
        return -0.5f * width;
    case Align::Right:
    case Align::End:
        return -width;
    case Align::Start:
    case Align::Left:
        break;
    }
    return 0.0f;
}

} // namespace

std::vector<Line> splitLines(const std::vector<uint32_t> &codes)
{
    std::vector<Line> lines(1);
    size_t first = !codes.empty() && codes[0] == kByteOrderMark ? 1 : 0;
    for (size_t i = first; i < codes.size(); ++i) {
        const uint32_t c = codes[i];
        const bool crlf = c == kCarriageReturn && i + 1 < codes.size() && codes[i + 1] == kLineFeed;
        if (crlf)
            continue;
        if (c == kLineFeed || c == kLineSeparator)
            lines.emplace_back();
        else
            lines.back().push_back(c);
    }
    if (lines.size() > 1 && lines.back().empty())
        lines.pop_back();
    return lines;
}

std::vector<PlacedGlyph> layoutLines(const std::vector<Line> &lines, const LayoutFont &font,
                                     Align align, float size)
{
    std::vector<PlacedGlyph> placed;
    for (size_t row = 0; row < lines.size(); ++row) {
        float width = 0.0f;
        const std::vector<float> pen = penPositions(lines[row], font, &width);
        const float shift = alignShift(align, width);
        const float baseline = -static_cast<float>(row) * font.lineHeight;
        for (size_t i = 0; i < lines[row].size(); ++i) {
            const uint32_t code = lines[row][i];
            const GlyphShape *shape = code == kTab ? nullptr : font.glyph(code);
            if (!shape)
                continue;
            placed.push_back({code, shape, {(pen[i] + shift) * size, baseline * size}, size, {}});
        }
    }
    return placed;
}

std::vector<PlacedGlyph> layoutGrid(const std::vector<uint32_t> &codes, const LayoutFont &font,
                                    float size)
{
    float widest = 0.5f;
    for (uint32_t code : codes)
        widest = std::max(widest, std::min(advanceOf(font, code), 2.5f));
    const float cell = widest + 0.25f;
    const double n = static_cast<double>(codes.size());
    const auto columns =
        static_cast<size_t>(std::max(1.0, std::ceil(std::sqrt(n * font.lineHeight / cell))));
    std::vector<PlacedGlyph> placed;
    for (size_t i = 0; i < codes.size(); ++i) {
        const GlyphShape *shape = font.glyph(codes[i]);
        if (!shape)
            continue;
        const float x = static_cast<float>(i % columns) * cell + 0.5f * (cell - shape->advance);
        const float y = -static_cast<float>(i / columns) * font.lineHeight;
        placed.push_back({codes[i], shape, {x * size, y * size}, size, {}});
    }
    return placed;
}

} // namespace glyvamesh
