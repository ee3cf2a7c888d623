#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "support/glyph.hh"
#include "support/raster.hh"
#include "support/support.hh"

#include FT_OUTLINE_H

/* Every glyph of three real fonts meshed by the library and compared with FreeType's
 * own view of the same glyph: its rasteriser's coverage and areas, and the exact area
 * of the flattened contours the library hands out. */

using namespace glyva_test;

namespace
{

/* The size at which meshes and FreeType's renderings are compared. */
constexpr int kPixelsPerEm = 64;
/* The library's outline: 640 26.6 units per em, 10 pixels per em. */
constexpr FT_F26Dot6 kLibrarySize = 640;
/* FreeType renders 10 times finer than the grid: its curves then deviate at most 1/160
 * pixel of the grid, and the areas may differ by that much per unit of length. */
constexpr int kSupersampling = 10;
constexpr double kRasterAreaPerLength = 1.0 / 160.0;
/* Coverage comparisons count for glyphs covering at least this many pixels, and may
 * differ by this part of the area FreeType covers. */
constexpr double kMinComparedArea = 100.0;
constexpr double kMaxMiss = 0.01;
/* The library's outline is FreeType's at 10 pixels per em, each point rounded to 1/640
 * em, twice for components of composite glyphs: 0.1 pixel at 64 pixels per em, plus
 * 1/128 pixel for the rounding of FreeType's own outline at 64 pixels per em. Against
 * that outline the mesh's boundary can move that far, sweeping as much area per unit
 * of length. */
constexpr double kQuantisationShift =
    2.0 * 0.5 * kPixelsPerEm / 640.0 + 0.5 / 64.0 + kRasterAreaPerLength;
/* Triangulating must lose nothing of the area the contours fill; crossings GLU makes
 * are rounded to float when stored. */
constexpr double kExactRelative = 1e-6;

/* Cells around the outline (26.6 at `scale` pixels per 26.6 pixel), a cell to spare on
 * each side for the mesh's quantisation. A mesh reaching further out loses the part the
 * grid clips, but not its area, which is compared separately. */
CoverageGrid gridAround(const FT_Outline &outline, double scale)
{
    FT_BBox box;
    FT_Outline_Get_CBox(&outline, &box);
    const int x0 = static_cast<int>(std::floor(box.xMin * scale / 64)) - 1;
    const int y0 = static_cast<int>(std::floor(box.yMin * scale / 64)) - 1;
    return CoverageGrid(x0, y0, static_cast<int>(std::ceil(box.xMax * scale / 64)) + 1 - x0,
                        static_cast<int>(std::ceil(box.yMax * scale / 64)) + 1 - y0);
}

/* One font at one quality, every stride-th glyph; the worst figures printed. */
void sweep(const RealFont &font, uint32_t quality, size_t stride)
{
    tavixInternalFontData *handle = OpenFont(font.path);
    SetQuality(handle, quality);
    FreeTypeFace own(font.path, kLibrarySize), large(font.path, kPixelsPerEm * 64);
    const std::vector<MappedGlyph> glyphs = mappedGlyphs(font.path);
    int checked = 0;
    double worstMiss = 0.0, worstArea = 0.0, worstShift = 0.0, worstExact = 0.0;
    for (size_t n = 0; n < glyphs.size(); n += stride) {
        const MappedGlyph &g = glyphs[n];
        FT_Outline *outline = own.load(g.glyph);
        if (!outline || outline->n_contours <= 0)
            continue;
        const std::string name = std::string(font.name) + " q" + std::to_string(quality) + " " +
                                 codeName(g.code) + " glyph " + std::to_string(g.glyph);
        Mesh mesh;
        Contours contours;
        ASSERT_TRUE(readMesh(handle, g.code, &mesh)) << name;
        ASSERT_TRUE(meshInvariants(mesh)) << name;
        ASSERT_TRUE(readContours(handle, g.code, outline->n_contours, &contours)) << name;
        ++checked;
        const double px2 = kPixelsPerEm * kPixelsPerEm, area = meshArea(mesh) * px2;
        /* The filled area of the contours the library hands out, integrated exactly: the
         * mesh must lose nothing of it. */
        const double exact = windingArea(contours, nonZero) * px2;
        worstExact = std::max(worstExact, std::fabs(area - exact) / exact);
        EXPECT_LE(std::fabs(area - exact), kExactRelative * exact)
            << name << ": mesh " << area << " px";
        /* At quality 0 every curve is its chord: only the invariants and the exact area. */
        if (quality == 0)
            continue;
        const double length = contoursLength(contours) * kPixelsPerEm;
        CoverageGrid same = gridAround(*outline, kPixelsPerEm / 10.0), ours = same;
        own.render(*outline, kPixelsPerEm / 10.0, kSupersampling, same);
        own.renderMesh(mesh, kPixelsPerEm, ours);
        FT_Outline *scaled = large.load(g.glyph);
        CoverageGrid face = gridAround(*scaled, 1.0), oursOnFace = face;
        large.render(*scaled, 1.0, kSupersampling, face);
        large.renderMesh(mesh, kPixelsPerEm, oursOnFace);
        worstArea = std::max(worstArea, std::fabs(area - same.total()) / length);
        worstShift = std::max(worstShift, oursOnFace.difference(face) / length);
        EXPECT_LE(std::fabs(area - same.total()), kRasterAreaPerLength * length)
            << name << ": mesh " << area << " px, FreeType " << same.total();
        EXPECT_LE(oursOnFace.difference(face), kQuantisationShift * length) << name;
        if (same.total() >= kMinComparedArea) {
            worstMiss = std::max(worstMiss, ours.difference(same) / same.total());
            EXPECT_LE(ours.difference(same), kMaxMiss * same.total())
                << name << ": area " << same.total() << " px";
        }
    }
    CloseFont(handle);
    std::printf("%s q%u: %d glyphs; worst miss %.5f, area error per length %.5f px (of %.5f), "
                "difference per length %.4f px (of %.4f), exact-area error %.2g\n",
                font.name, quality, checked, worstMiss, worstArea, kRasterAreaPerLength, worstShift,
                kQuantisationShift, worstExact);
    EXPECT_GT(checked, 10);
}

class EveryGlyph : public testing::TestWithParam<RealFont>
{
};

} // namespace

/* Every glyph at quality 50; every tenth at 0 and 100. */
TEST_P(EveryGlyph, MatchesFreeType)
{
    for (uint32_t quality : {50u, 0u, 100u})
        sweep(GetParam(), quality, (quality == 50 ? 1 : 10) * (quickRun() ? 10 : 1));
}

INSTANTIATE_TEST_SUITE_P(RealFonts, EveryGlyph, testing::ValuesIn(realFonts()), realFontName);

/* The oracles themselves, on cases whose answers are known by hand. fixtures.ttf has 640
 * units per em, so its 26.6 coordinates equal its font units. */
TEST(ReferenceTools, AgreeWithHandComputedAnswers)
{
    FreeTypeFace tt(fixture("fixtures.ttf").c_str(), kLibrarySize);
    auto area = [](FT_Outline *outline) { return outline ? outlineArea(*outline) : 0.0; };
    /* TrueType outer contours run clockwise. A parabolic arch encloses 2/3 of its control
     * triangle; C is the square of its implied midpoints plus four such caps. */
    EXPECT_DOUBLE_EQ(area(tt.loadCode('A')), -320.0 * 320.0);
    EXPECT_DOUBLE_EQ(area(tt.loadCode('B')), -(640.0 * 640.0 - 320.0 * 320.0));
    EXPECT_DOUBLE_EQ(area(tt.loadCode('G')), -640.0 * 640.0 / 3.0);
    EXPECT_DOUBLE_EQ(area(tt.loadCode('C')), -(320.0 * 320.0 + 4 * (2.0 / 3.0) * 320 * 160 / 2));
    /* The cubic from (0,0) over (0,h), (w,h) to (w,0) closed by the baseline: 0.6 w h. */
    FreeTypeFace cff(fixture("cubic.otf").c_str(), kLibrarySize);
    EXPECT_NEAR(area(cff.loadCode('S')), -320.0 * 320.0 * 0.6, 1e-9);

    /* B at 64 px/em is 64 px minus a 32 px hole, every edge on a cell boundary; its mesh
     * of the same square and hole covers exactly the same cells. */
    CoverageGrid rendered(-2, -2, 70, 70), meshed = rendered;
    tt.render(*tt.loadCode('B'), kPixelsPerEm / 10.0, kSupersampling, rendered);
    Mesh b{{{0, 0}, {1, 0}, {1, 1}, {0, 1}, {.25, .25}, {.75, .25}, {.75, .75}, {.25, .75}},
           {0, 1, 5, 0, 5, 4, 1, 2, 6, 1, 6, 5, 2, 3, 7, 2, 7, 6, 3, 0, 4, 3, 4, 7}};
    tt.renderMesh(b, kPixelsPerEm, meshed);
    EXPECT_DOUBLE_EQ(rendered.total(), 64.0 * 64.0 - 32.0 * 32.0);
    EXPECT_NEAR(rendered.difference(meshed), 0.0, 1e-12);
}
