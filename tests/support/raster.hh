#ifndef TESTS_SUPPORT_RASTER_HH
#define TESTS_SUPPORT_RASTER_HH

#include <cstdint>
#include <vector>

#include <ft2build.h>
#include FT_FREETYPE_H

/* Independent geometry for the glyph tests: exact areas, exact pixel coverage of
 * triangles, and FreeType's own view of a font (outlines, anti-aliased rendering)
 * called directly, never through the library. */

namespace glyva_test
{

struct Point2 {
    double x, y;
};

/* Twice the signed area of a, b, c; positive when they run counter-clockwise. */
double cross(Point2 a, Point2 b, Point2 c);

/* Signed area of the closed polygon (shoelace); positive counter-clockwise. */
double polygonArea(const std::vector<Point2> &polygon);

/* A pixel grid: cell (i, j) spans [x0 + i, x0 + i + 1] x [y0 + j, y0 + j + 1], y up.
 * Each cell holds the area covered inside it, in pixels (0 to 1 for a simple fill). */
class CoverageGrid
{
  public:
    CoverageGrid(int x0, int y0, int width, int height);

    int x0() const { return x0_; }
    int y0() const { return y0_; }
    int width() const { return width_; }
    int height() const { return height_; }
    double at(int i, int j) const { return cells_[static_cast<size_t>(j) * width_ + i]; }
    void set(int i, int j, double v) { cells_[static_cast<size_t>(j) * width_ + i] = v; }
    double total() const;

    /* Adds the exact area of the triangle (pixel coordinates) inside every cell,
     * whatever its orientation. Parts outside the grid are dropped. */
    void addTriangle(Point2 a, Point2 b, Point2 c);

  private:
    int x0_, y0_, width_, height_;
    std::vector<double> cells_;
};

/* The area of the triangle inside the unit cell whose lower left corner is (cx, cy),
 * by clipping the triangle against the cell's four sides: the slow, plain reference
 * that CoverageGrid::addTriangle is checked against. */
double triangleCellArea(Point2 a, Point2 b, Point2 c, double cx, double cy);

/* Fuzzy intersection over union of two grids of the same geometry, each cell clamped
 * to [0, 1]: sum of minima over sum of maxima. 1 for two empty grids, 0 for grids of
 * different geometry. */
double coverageIoU(const CoverageGrid &a, const CoverageGrid &b);

/* A FreeType library and face of its own, sized with
 * FT_Set_Char_Size(face, 0, charHeight, 72, 72): charHeight / 64 pixels per em. */
class FreeTypeFace
{
  public:
    FreeTypeFace(const char *path, FT_F26Dot6 charHeight);
    ~FreeTypeFace();
    FreeTypeFace(const FreeTypeFace &) = delete;
    FreeTypeFace &operator=(const FreeTypeFace &) = delete;

    bool ok() const { return face_ != nullptr; }
    FT_Face face() const { return face_; }
    FT_Library library() const { return library_; }
    /* Loads the glyph with FT_LOAD_NO_HINTING; its outline, or null when FreeType
     * fails or the glyph is not an outline. Valid until the next load. */
    FT_Outline *load(FT_UInt glyph);
    /* The outline of the last load, whose 26.6 coordinates are at outlinePpem pixels
     * per em, rendered anti-aliased by FreeType into the grid, whose cells are pixels at
     * gridPpem: coverage 0 to 1 per cell. FreeType renders supersampling times larger
     * than the grid and each cell gets the mean of its pixels, because FreeType
     * flattens curves to within 1/16 of its own pixel. gridPpem * supersampling must be
     * a multiple of outlinePpem, so that the outline is scaled exactly. The outline is
     * changed in place; load again before reusing it. */
    bool render(CoverageGrid &grid, int outlinePpem, int gridPpem, int supersampling);

  private:
    FT_Library library_ = nullptr;
    FT_Face face_ = nullptr;
};

/* Multiplies every point of the outline by numerator / denominator, rounded to the
 * nearest 26.6 unit: the same outline at another pixel size. */
void scaleOutline(FT_Outline &outline, long numerator, long denominator);

/* A glyph reachable through the face's Unicode charmap, with the first character
 * code that maps to it. */
struct MappedGlyph {
    FT_UInt glyph;
    uint32_t code;
};

/* Every distinct nonzero glyph the selected charmap reaches, in code order. */
std::vector<MappedGlyph> mappedGlyphs(FT_Face face);

/* Whether two edges of the closed polylines (within one or between two) cross at a
 * point inside both. Touching at a vertex or running along each other is not
 * crossing. */
bool contoursCross(const std::vector<std::vector<Point2>> &contours);

/* For contours that do not cross: whether each one with area winds opposite to the
 * contour that immediately contains it (outer contours all one way, holes the other,
 * islands in holes like outer contours), and none lies wholly on another (a copy of
 * it). Then the non-zero and the even-odd fill both
 * cover exactly the absolute sum of the contours' signed areas. */
bool contoursNestAlternately(const std::vector<std::vector<Point2>> &contours);

/* Total length of the closed polylines. */
double contoursLength(const std::vector<std::vector<Point2>> &contours);

/* GLYVA_QUICK=1 in the environment: long sweeps visit every 10th item only. */
bool quickRun();

/* The signed area of an outline's contours in 26.6 units squared, from the curve
 * formulas (a quadratic adds 2/3 of its control triangle, a cubic its exact Green
 * integral), so independent of any flattening. */
double outlineArea(const FT_Outline &outline);

} // namespace glyva_test

#endif
