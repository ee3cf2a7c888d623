#ifndef TESTS_SUPPORT_RASTER_HH
#define TESTS_SUPPORT_RASTER_HH

#include <vector>

#include <ft2build.h>
#include FT_FREETYPE_H

#include "support/glyph.hh"

/* Independent geometry for the glyph tests: FreeType's own view of a font (outlines,
 * anti-aliased coverage) called directly, never through the library, exact curve
 * areas, and the shape of contour sets. */

namespace glyva_test
{

/* A pixel grid: cell (i, j) spans [x0 + i, x0 + i + 1] x [y0 + j, y0 + j + 1], y up,
 * holding the covered part of it, 0 to 1. */
struct CoverageGrid {
    int x0, y0, width, height;
    std::vector<double> cells;

    CoverageGrid(int x0, int y0, int width, int height);
    double total() const;
    /* Sum of the cells' differences, pixels. */
    double difference(const CoverageGrid &other) const;
};

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
    /* Loads the glyph with FT_LOAD_NO_HINTING; its outline, or null when FreeType
     * fails or the glyph is not an outline. Valid until the next load. */
    FT_Outline *load(FT_UInt glyph);
    FT_Outline *loadCode(uint32_t code) { return load(FT_Get_Char_Index(face_, code)); }
    /* FreeType's anti-aliased coverage of an outline whose 26.6 coordinates are scaled
     * by `scale` into pixels of the grid, rendered `supersampling` times finer and
     * averaged back, since FreeType flattens curves to 1/16 of its own pixel. */
    void render(FT_Outline &outline, double scale, int supersampling, CoverageGrid &grid) const;
    /* The same for a mesh in ems, at pixelsPerEm: each triangle a contour, whose straight
     * edges FreeType covers exactly without supersampling. */
    void renderMesh(const Mesh &mesh, double pixelsPerEm, CoverageGrid &grid) const;

  private:
    FT_Library library_ = nullptr;
    FT_Face face_ = nullptr;
};

/* The signed area of an outline's contours in 26.6 units squared, from the curve
 * formulas (a quadratic adds 2/3 of its control triangle, a cubic its exact Green
 * integral), so independent of any flattening. */
double outlineArea(const FT_Outline &outline);

double contoursLength(const Contours &contours);

} // namespace glyva_test

#endif
