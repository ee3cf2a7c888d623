#include <math.h>

#include "solid/solidGeometry.hh"

namespace glyva
{
namespace solid
{
namespace
{

/* Glyphs reaching further than this many ems from their origin are refused: the grid
 * would leave fewer than 256 units per em. */
constexpr double kMaxExtent = kGridLimit / 256.0;

/* The largest power of two that keeps every coordinate within the grid, at most 2^24
 * units per em: finer than the 32-bit floats the outline arrives in. */
double gridScale(double extent)
{
    if (extent <= 0.0)
        return 16777216.0;
    int exponent;
    frexp(kGridLimit / extent, &exponent);
    const double scale = ldexp(1.0, exponent - 1);
    return scale > 16777216.0 ? 16777216.0 : scale;
}

bool appendContour(Outline *o, const float *points, int32_t count, double *extent)
{
    if (!o->xy.reserve(o->xy.size() + uint64_t{2} * static_cast<uint32_t>(count)))
        return false;
    for (int32_t i = 0; i < count; ++i) {
        const float x = points[3 * i];
        const float y = points[3 * i + 1];
        if (!isfinite(x) || !isfinite(y))
            return false;
        o->xy.push(x);
        o->xy.push(y);
        *extent = fmax(*extent, fmax(fabs(x), fabs(y)));
    }
    return o->ends.push(o->xy.size() / 2);
}

/* The host's grid is taken as it is, as long as the glyph stays within the grid's
 * range; without one, the finest power of two that fits. */
bool chooseGrid(Outline *o, double extent, double scale, double grid, uint32_t glyph,
                Report *report)
{
    o->scale = scale;
    if (grid <= 0.0) {
        o->unitsPerEm = gridScale(extent);
        o->unit = scale / o->unitsPerEm;
        return true;
    }
    o->unitsPerEm = scale / grid;
    o->unit = grid;
    if (extent * o->unitsPerEm > kGridLimit)
        return fail(report, "glyph %u spans more than 2^23 steps of a grid of %g", glyph, grid);
    return true;
}

} // namespace

bool readOutline(glyvaShapeFont *font, uint32_t glyph, double scale, double grid, Outline *o,
                 Report *report)
{
    o->xy.clear();
    o->ends.clear();
    glyphInfoRecord info;
    if (!glyvaShapeGlyphInfo(&info, font, glyph))
        return fail(report, "%s", glyvaShapeError(font));
    if (info.contourCount > kMaxOutlineContours)
        return fail(report, "glyph %u has %d contours, more than the %d a solid takes", glyph,
                    static_cast<int>(info.contourCount), static_cast<int>(kMaxOutlineContours));
    double extent = 0.0;
    for (int32_t k = 0; k < info.contourCount; ++k) {
        const float *points = nullptr;
        uint8_t evenOdd = 0;
        const int32_t count = glyvaShapeGlyphContour(&points, font, glyph, k, &evenOdd, nullptr);
        if (count <= 0)
            return fail(report, "%s", glyvaShapeError(font));
        if (o->xy.size() / 2 + uint64_t{static_cast<uint32_t>(count)} > kMaxOutlinePoints)
            return fail(report, "glyph %u has more than the %u outline points a solid takes", glyph,
                        static_cast<unsigned>(kMaxOutlinePoints));
        o->evenOdd = evenOdd != 0;
        if (!appendContour(o, points, count, &extent))
            return fail(report, "glyph %u has a non-finite outline point or memory ran out", glyph);
    }
    if (extent > kMaxExtent)
        return fail(report,
                    "glyph %u reaches %g ems from its origin, more than the %g a solid "
                    "takes",
                    glyph, extent, kMaxExtent);
    return chooseGrid(o, extent, scale, grid, glyph, report);
}

} // namespace solid
} // namespace glyva
