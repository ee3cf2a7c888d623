#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <ft2build.h>
#include FT_OUTLINE_H

#include "Skrib/GlyvaInterface.h"
#include "support/mesh.hh"
#include "support/raster.hh"
#include "support/support.hh"

/* Every glyph of three real fonts meshed by the library and compared with FreeType's
 * own view of the same glyph: its rasteriser's coverage and areas, and the exact
 * area of the flattened contours the library hands out. */

using namespace glyva_test;

namespace
{

/* The size at which meshes and FreeType's renderings are compared. */
constexpr int kPixelsPerEm = 64;
/* The library's outline: 640 26.6 units per em, 10 pixels per em. */
constexpr FT_F26Dot6 kLibrarySize = 640;
constexpr int kLibraryPpem = 10;
/* FreeType flattens curves to within 1/16 of its pixel, too coarse for a 1 % comparison
 * at 64 px/em; so it renders 10 times larger and its coverage is summed back into the
 * comparison grid: its curves then deviate at most 1/160 pixel of the grid. */
constexpr int kSupersampling = 10;
/* Coverage comparisons count for glyphs covering at least this many pixels. */
constexpr double kMinComparedArea = 100.0;
constexpr double kMinIoU = 0.99;
/* Mesh area against FreeType's coverage sum: FreeType's curves may lie 1/160 pixel
 * inside the true ones (above), so the areas may differ by 1/160 pixel times the
 * outline's length. */
constexpr double kRasterAreaPerLength = 1.0 / 160.0;
/* The library's outline is FreeType's at 10 pixels per em, each point rounded to 1/640
 * em, twice for components of composite glyphs: 0.1 pixel at 64 pixels per em, plus
 * 1/128 pixel for the rounding of FreeType's own outline at 64 pixels per em. Against
 * that outline the mesh's boundary can move that far, sweeping as much area per unit
 * of length. */
constexpr double kQuantisationShift =
    2.0 * 0.5 * kPixelsPerEm / 640.0 + 0.5 / 64.0 + kRasterAreaPerLength;
/* Contours that neither cross nor nest the same way round enclose exactly their
 * shoelace area, and triangulating them must lose nothing: mesh area and shoelace
 * area agree up to double rounding. */
constexpr double kExactRelative = 1e-6;

struct FontCase {
    const char *name;
    const char *path;
};

/* Test names show the font, not the bytes of the parameter. */
void PrintTo(const FontCase &font, std::ostream *os)
{
    *os << font.name;
}

const FontCase kFonts[] = {
    {"DejaVuSans", kDejaVuSans}, {"FreeSans", kFreeSans}, {"LiberationSans", kLiberationSans}};

struct GlyphResult {
    FT_UInt glyph;
    uint32_t code;
    double rasterArea; /* FreeType's coverage sum of the library's outline, px^2 */
    double meshArea;   /* px^2 */
    double outlineLength;
    double iou;         /* mesh against FreeType rendering the library's outline */
    double faceIoU;     /* mesh against FreeType's outline at 64 px/em */
    double faceSymDiff; /* px^2 */
    bool exact;         /* contours neither cross nor overlap: the fill is their area */
    double exactError;  /* relative, mesh against the contours' shoelace area */
};

double areaError(const GlyphResult &r)
{
    return std::fabs(r.meshArea - r.rasterArea) / std::max(r.rasterArea, 1.0);
}

/* Cell bounds around every point of the outline (26.6 at outlinePpem) and the mesh, in
 * pixels at kPixelsPerEm. */
CoverageGrid gridAround(const FT_Outline &outline, int outlinePpem, const Mesh &mesh)
{
    FT_BBox box;
    FT_Outline_Get_CBox(&outline, &box);
    const double toGrid = static_cast<double>(kPixelsPerEm) / outlinePpem / 64.0;
    double minX = box.xMin * toGrid, maxX = box.xMax * toGrid;
    double minY = box.yMin * toGrid, maxY = box.yMax * toGrid;
    for (const Point2 &v : mesh.vertices) {
        minX = std::min(minX, v.x * kPixelsPerEm);
        maxX = std::max(maxX, v.x * kPixelsPerEm);
        minY = std::min(minY, v.y * kPixelsPerEm);
        maxY = std::max(maxY, v.y * kPixelsPerEm);
    }
    int x0 = static_cast<int>(std::floor(minX)) - 1, y0 = static_cast<int>(std::floor(minY)) - 1;
    return CoverageGrid(x0, y0, static_cast<int>(std::ceil(maxX)) + 1 - x0,
                        static_cast<int>(std::ceil(maxY)) + 1 - y0);
}

double symmetricDifference(const CoverageGrid &a, const CoverageGrid &b)
{
    double sum = 0.0;
    for (int j = 0; j < a.height(); ++j)
        for (int i = 0; i < a.width(); ++i)
            sum += std::fabs(std::clamp(a.at(i, j), 0.0, 1.0) - std::clamp(b.at(i, j), 0.0, 1.0));
    return sum;
}

class FontSweep
{
  public:
    FontSweep(const char *path, uint32_t quality)
        : path_(path), font_(OpenFont(path)), own_(path, kLibrarySize),
          large_(path, kPixelsPerEm * 64)
    {
        SetQuality(font_, quality);
    }
    ~FontSweep() { CloseFont(font_); }

    bool ok() const { return font_ && own_.ok() && large_.ok(); }
    std::vector<MappedGlyph> glyphs() const { return mappedGlyphs(own_.face()); }

    /* False (with a failure recorded) when the glyph has an outline and no mesh. */
    bool measure(const MappedGlyph &mapped, GlyphResult *result);

  private:
    const char *path_;
    tavixInternalFontData *font_;
    FreeTypeFace own_;
    FreeTypeFace large_;
};

bool FontSweep::measure(const MappedGlyph &mapped, GlyphResult *result)
{
    FT_Outline *outline = own_.load(mapped.glyph);
    if (!outline || outline->n_contours <= 0)
        return false;
    const int contourCount = outline->n_contours;
    Mesh mesh;
    if (!readMesh(font_, mapped.code, &mesh)) {
        ADD_FAILURE() << codeName(mapped.code) << " (glyph " << mapped.glyph << ") has no mesh";
        return false;
    }
    EXPECT_TRUE(meshInvariants(mesh)) << codeName(mapped.code) << " glyph " << mapped.glyph;
    std::vector<std::vector<Point2>> contours;
    EXPECT_TRUE(readContours(font_, mapped.code, contourCount, &contours)) << codeName(mapped.code);

    /* FreeType renders the very outline the library flattened (10 px/em), 64 times
     * larger: exactly 10 times the comparison grid. */
    CoverageGrid same = gridAround(*outline, kLibraryPpem, mesh);
    CoverageGrid ours(same.x0(), same.y0(), same.width(), same.height());
    own_.render(same, kLibraryPpem, kPixelsPerEm, kSupersampling);
    rasterizeMesh(mesh, kPixelsPerEm, ours);

    FT_Outline *large = large_.load(mapped.glyph);
    CoverageGrid face = gridAround(*large, kPixelsPerEm, mesh);
    CoverageGrid oursOnFace(face.x0(), face.y0(), face.width(), face.height());
    large_.render(face, kPixelsPerEm, kPixelsPerEm, kSupersampling);
    rasterizeMesh(mesh, kPixelsPerEm, oursOnFace);

    double shoelace = 0.0;
    for (const auto &contour : contours)
        shoelace += polygonArea(contour);
    shoelace = std::fabs(shoelace) * kPixelsPerEm * kPixelsPerEm;

    GlyphResult r;
    r.glyph = mapped.glyph;
    r.code = mapped.code;
    r.rasterArea = same.total();
    r.meshArea = meshArea(mesh) * kPixelsPerEm * kPixelsPerEm;
    r.outlineLength = contoursLength(contours) * kPixelsPerEm;
    r.iou = coverageIoU(ours, same);
    r.faceIoU = coverageIoU(oursOnFace, face);
    r.faceSymDiff = symmetricDifference(oursOnFace, face);
    r.exact = !contoursCross(contours) && contoursNestAlternately(contours);
    r.exactError = std::fabs(r.meshArea - shoelace) / std::max(shoelace, 1e-12);
    *result = r;
    return true;
}

std::vector<GlyphResult> sweepFont(const char *path, uint32_t quality, size_t stride)
{
    std::vector<GlyphResult> results;
    FontSweep sweep(path, quality);
    EXPECT_TRUE(sweep.ok()) << path;
    if (!sweep.ok())
        return results;
    std::vector<MappedGlyph> glyphs = sweep.glyphs();
    for (size_t n = 0; n < glyphs.size(); n += stride) {
        GlyphResult r;
        if (sweep.measure(glyphs[n], &r))
            results.push_back(r);
    }
    return results;
}

template <typename Key> GlyphResult worstBy(const std::vector<GlyphResult> &results, Key key)
{
    return *std::max_element(
        results.begin(), results.end(),
        [&](const GlyphResult &a, const GlyphResult &b) { return key(a) < key(b); });
}

/* The report: the five lowest IoUs among compared glyphs, the worst area errors, and
 * how close the worst glyph came to each bound. */
void printWorst(const char *font, uint32_t quality, std::vector<GlyphResult> results,
                bool followsCurves)
{
    std::printf("%s quality %u: %zu glyphs with outlines, compared at %d px/em\n", font, quality,
                results.size(), kPixelsPerEm);
    if (results.empty())
        return;
    size_t exact =
        std::count_if(results.begin(), results.end(), [](const GlyphResult &r) { return r.exact; });
    GlyphResult tight =
        worstBy(results, [](const GlyphResult &r) { return r.exact ? r.exactError : 0.0; });
    std::printf("  %zu with contours that do not overlap: worst mesh/shoelace error %.3g, glyph "
                "%u %s\n",
                exact, tight.exactError, tight.glyph, codeName(tight.code).c_str());
    if (!followsCurves)
        return;
    std::sort(results.begin(), results.end(),
              [](const GlyphResult &a, const GlyphResult &b) { return a.iou < b.iou; });
    int shown = 0;
    for (const GlyphResult &r : results) {
        if (r.rasterArea < kMinComparedArea)
            continue;
        if (shown++ == 5)
            break;
        std::printf("  glyph %5u %-7s IoU %.5f  area %.2f px (FreeType %.2f, error %.4f%%)\n",
                    r.glyph, codeName(r.code).c_str(), r.iou, r.meshArea, r.rasterArea,
                    100.0 * areaError(r));
    }
    GlyphResult area = worstBy(results, [](const GlyphResult &r) { return areaError(r); });
    GlyphResult perLength = worstBy(results, [](const GlyphResult &r) {
        return std::fabs(r.meshArea - r.rasterArea) / r.outlineLength;
    });
    std::printf("  worst area error %.4f%% glyph %u %s (mesh %.3f, FreeType %.3f px); per length "
                "%.5f px of %.5f allowed, %s\n",
                100.0 * areaError(area), area.glyph, codeName(area.code).c_str(), area.meshArea,
                area.rasterArea,
                std::fabs(perLength.meshArea - perLength.rasterArea) / perLength.outlineLength,
                kRasterAreaPerLength, codeName(perLength.code).c_str());
    GlyphResult face = worstBy(results, [](const GlyphResult &r) {
        return r.rasterArea < kMinComparedArea ? 0.0 : 1.0 - r.faceIoU;
    });
    GlyphResult shift =
        worstBy(results, [](const GlyphResult &r) { return r.faceSymDiff / r.outlineLength; });
    std::printf("  against FreeType's own outline at %d px/em: worst IoU %.5f glyph %u %s; "
                "difference per length %.4f px of %.4f allowed, %s\n",
                kPixelsPerEm, face.faceIoU, face.glyph, codeName(face.code).c_str(),
                shift.faceSymDiff / shift.outlineLength, kQuantisationShift,
                codeName(shift.code).c_str());
}

/* What every glyph must satisfy; coverage only where the mesh follows the curves. */
void checkGlyph(const char *font, uint32_t quality, const GlyphResult &r, bool followsCurves)
{
    std::string name = std::string(font) + " quality " + std::to_string(quality) + " glyph " +
                       std::to_string(r.glyph) + " " + codeName(r.code);
    if (r.exact) {
        EXPECT_LE(r.exactError, kExactRelative) << name << ": mesh " << r.meshArea << " px";
    }
    if (!followsCurves)
        return;
    EXPECT_LE(std::fabs(r.meshArea - r.rasterArea), kRasterAreaPerLength * r.outlineLength)
        << name << ": mesh " << r.meshArea << " px, FreeType " << r.rasterArea;
    EXPECT_LE(r.faceSymDiff, kQuantisationShift * r.outlineLength)
        << name << ": against FreeType at " << kPixelsPerEm << " px/em";
    if (r.rasterArea >= kMinComparedArea) {
        EXPECT_GE(r.iou, kMinIoU) << name << ": area " << r.rasterArea << " px";
    }
}

class EveryGlyph : public testing::TestWithParam<FontCase>
{
};

} // namespace

TEST_P(EveryGlyph, MatchesFreeTypeAtQuality50)
{
    const FontCase &font = GetParam();
    std::vector<GlyphResult> results = sweepFont(font.path, 50, quickRun() ? 10 : 1);
    printWorst(font.name, 50, results, true);
    EXPECT_GT(results.size(), 100u);
    for (const GlyphResult &r : results)
        checkGlyph(font.name, 50, r, true);
}

/* At quality 0 every curve is its chord, so only the invariants and the exact area hold;
 * at quality 100 everything holds. */
TEST_P(EveryGlyph, SampleMatchesAtQualities0And100)
{
    const FontCase &font = GetParam();
    for (uint32_t quality : {0u, 100u}) {
        std::vector<GlyphResult> results = sweepFont(font.path, quality, quickRun() ? 100 : 10);
        printWorst(font.name, quality, results, quality == 100);
        EXPECT_GT(results.size(), 10u);
        for (const GlyphResult &r : results)
            checkGlyph(font.name, quality, r, quality == 100);
    }
}

INSTANTIATE_TEST_SUITE_P(RealFonts, EveryGlyph, testing::ValuesIn(kFonts),
                         [](const testing::TestParamInfo<FontCase> &info) {
                             return std::string(info.param.name);
                         });

/* The reference tools themselves, against cases whose answers are known by hand. */

TEST(ReferenceTools, TriangleCoverageEqualsCellByCellClipping)
{
    std::mt19937 random(12345);
    std::uniform_real_distribution<double> coordinate(-3.0, 9.0);
    for (int trial = 0; trial < 200; ++trial) {
        Point2 a{coordinate(random), coordinate(random)}, b{coordinate(random), coordinate(random)},
            c{coordinate(random), coordinate(random)};
        CoverageGrid grid(-4, -4, 14, 14);
        grid.addTriangle(a, b, c);
        for (int j = 0; j < grid.height(); ++j)
            for (int i = 0; i < grid.width(); ++i)
                ASSERT_NEAR(grid.at(i, j), triangleCellArea(a, b, c, i - 4.0, j - 4.0), 1e-12)
                    << "trial " << trial << " cell " << i << "," << j;
        EXPECT_NEAR(grid.total(), 0.5 * std::fabs(cross(a, b, c)), 1e-12);
    }
}

TEST(ReferenceTools, HandComputedCoverage)
{
    CoverageGrid grid(0, 0, 3, 3);
    /* Half of the unit square below its diagonal, and a square straddling four cells. */
    grid.addTriangle({0, 0}, {1, 0}, {1, 1});
    EXPECT_DOUBLE_EQ(grid.at(0, 0), 0.5);
    grid.addTriangle({1.5, 1.5}, {2.5, 1.5}, {2.5, 2.5});
    grid.addTriangle({1.5, 1.5}, {2.5, 2.5}, {1.5, 2.5});
    EXPECT_DOUBLE_EQ(grid.at(1, 1), 0.25);
    EXPECT_DOUBLE_EQ(grid.at(2, 1), 0.25);
    EXPECT_DOUBLE_EQ(grid.at(1, 2), 0.25);
    EXPECT_DOUBLE_EQ(grid.at(2, 2), 0.25);
    EXPECT_DOUBLE_EQ(grid.total(), 1.5);
    CoverageGrid empty(0, 0, 3, 3);
    EXPECT_DOUBLE_EQ(coverageIoU(grid, grid), 1.0);
    EXPECT_DOUBLE_EQ(coverageIoU(grid, empty), 0.0);
}

/* fixtures.ttf has 640 units per em, so its 26.6 coordinates equal its font units. */
TEST(ReferenceTools, CurveAreaFormulasOnFixtures)
{
    FreeTypeFace tt(fixture("fixtures.ttf").c_str(), kLibrarySize);
    ASSERT_TRUE(tt.ok());
    auto area = [&](FreeTypeFace &face, uint32_t code) {
        FT_Outline *outline = face.load(FT_Get_Char_Index(face.face(), code));
        return outline ? outlineArea(*outline) : 0.0;
    };
    /* TrueType outer contours run clockwise: negative areas. */
    EXPECT_DOUBLE_EQ(area(tt, 'A'), -320.0 * 320.0);
    EXPECT_DOUBLE_EQ(area(tt, 'B'), -(640.0 * 640.0 - 320.0 * 320.0));
    /* A parabolic arch over its chord encloses 2/3 of the control triangle:
     * 2/3 * (640 * 640 / 2). */
    EXPECT_DOUBLE_EQ(area(tt, 'G'), -640.0 * 640.0 / 3.0);
    /* Four arcs between the implied midpoints (160..480)^2: that square plus four caps,
     * each 2/3 of its control triangle (base 320, height 160). */
    EXPECT_DOUBLE_EQ(area(tt, 'C'), -(320.0 * 320.0 + 4.0 * (2.0 / 3.0) * 320.0 * 160.0 / 2.0));

    FreeTypeFace cff(fixture("cubic.otf").c_str(), kLibrarySize);
    ASSERT_TRUE(cff.ok());
    /* The cubic from (0,0) over (0,h), (w,h) to (w,0), closed by the baseline, clockwise:
     * x = w (3t^2 - 2t^3), y = 3h t(1 - t), so the integral of y dx is
     * 18 w h * integral of t^2 (1 - t)^2 = 0.6 w h, with w = h = 500 units * 0.64. */
    EXPECT_NEAR(area(cff, 'S'), -320.0 * 320.0 * 0.6, 1e-9);
}

TEST(ReferenceTools, FreeTypeRenderingLinesUpWithExactCoverage)
{
    FreeTypeFace face(fixture("fixtures.ttf").c_str(), kLibrarySize);
    ASSERT_TRUE(face.ok());
    /* The square with a square hole, (0..640)^2 minus (160..480)^2 in 26.6 at 10 px/em:
     * 64 px minus 32 px at 64 px/em, all edges on cell boundaries. */
    ASSERT_TRUE(face.load(FT_Get_Char_Index(face.face(), 'B')));
    CoverageGrid rendered(-2, -2, 70, 70), exact(-2, -2, 70, 70);
    ASSERT_TRUE(face.render(rendered, kLibraryPpem, kPixelsPerEm, kSupersampling));
    for (auto [x0, y0, x1, y1] : {std::array<double, 4>{0, 0, 64, 16},
                                  {0, 48, 64, 64},
                                  {0, 16, 16, 48},
                                  {48, 16, 64, 48}}) {
        exact.addTriangle({x0, y0}, {x1, y0}, {x1, y1});
        exact.addTriangle({x0, y0}, {x1, y1}, {x0, y1});
    }
    EXPECT_DOUBLE_EQ(rendered.total(), 64.0 * 64.0 - 32.0 * 32.0);
    EXPECT_DOUBLE_EQ(coverageIoU(rendered, exact), 1.0);
}

TEST(ReferenceTools, CrossingEdgesAreFound)
{
    std::vector<std::vector<Point2>> bowTie = {{{0, 0}, {1, 1}, {1, 0}, {0, 1}}};
    std::vector<std::vector<Point2>> squareWithHole = {{{0, 0}, {0, 4}, {4, 4}, {4, 0}},
                                                       {{1, 1}, {3, 1}, {3, 3}, {1, 3}}};
    std::vector<std::vector<Point2>> overlapping = {{{0, 0}, {0, 2}, {2, 2}, {2, 0}},
                                                    {{1, 1}, {1, 3}, {3, 3}, {3, 1}}};
    std::vector<std::vector<Point2>> touching = {{{0, 0}, {0, 1}, {1, 1}, {1, 0}},
                                                 {{1, 1}, {1, 2}, {2, 2}, {2, 1}}};
    EXPECT_TRUE(contoursCross(bowTie));
    EXPECT_FALSE(contoursCross(squareWithHole));
    EXPECT_TRUE(contoursCross(overlapping));
    EXPECT_FALSE(contoursCross(touching));
    EXPECT_DOUBLE_EQ(contoursLength(squareWithHole), 16.0 + 8.0);

    /* The hole of squareWithHole runs the other way round; run the same way, the inner
     * square is covered twice under non-zero. An island inside the hole again runs
     * like the outer contour. */
    EXPECT_TRUE(contoursNestAlternately(squareWithHole));
    std::vector<std::vector<Point2>> sameWay = {{{0, 0}, {0, 4}, {4, 4}, {4, 0}},
                                                {{1, 1}, {1, 3}, {3, 3}, {3, 1}}};
    EXPECT_FALSE(contoursNestAlternately(sameWay));
    std::vector<std::vector<Point2>> island = squareWithHole;
    island.push_back({{1.5, 1.5}, {1.5, 2.5}, {2.5, 2.5}, {2.5, 1.5}});
    EXPECT_TRUE(contoursNestAlternately(island));
    EXPECT_TRUE(contoursNestAlternately(touching));
    std::vector<std::vector<Point2>> copied = {squareWithHole[0], squareWithHole[0]};
    EXPECT_FALSE(contoursNestAlternately(copied));
}
