#ifndef TESTS_SUPPORT_MESH_HH
#define TESTS_SUPPORT_MESH_HH

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Skrib/GlyvaInterface.h"
#include "support/raster.hh"

/* The library's mesh and contours of one glyph, copied out the way a host does, and
 * the checks every mesh must pass before anything else is compared. */

namespace glyva_test
{

struct Mesh {
    std::vector<Point2> vertices; /* ems */
    std::vector<int32_t> indices;
};

/* GetGlyphInfo, ClearGlyphData, GetGlyphVertices, GetGlyphTriangleIndices, copy,
 * ClearGlyphData: the glyph's mesh alone in fresh arrays. False when a query fails. */
bool readMesh(tavixInternalFontData *font, uint32_t code, Mesh *mesh);

/* Three indices per triangle, every index names a vertex, and every triangle runs
 * counter-clockwise seen from +z or has no area: twice its signed area (ems^2) is at
 * least -degenerate, 0 unless a caller needs an allowance. */
testing::AssertionResult meshInvariants(const Mesh &mesh, double degenerate = 0.0);

/* Sum of the triangles' unsigned areas, ems^2. */
double meshArea(const Mesh &mesh);

/* Adds the mesh, scaled by pixelsPerEm, to the grid's coverage. */
void rasterizeMesh(const Mesh &mesh, double pixelsPerEm, CoverageGrid &grid);

/* GetGlyphInfo, then every contour of the glyph through GetGlyphContour, as (x, y) in
 * ems, then ClearGlyphContour. False when a query fails. */
bool readContours(tavixInternalFontData *font, uint32_t code, int contourCount,
                  std::vector<std::vector<Point2>> *contours);

/* "U+0041" for the reports. */
std::string codeName(uint32_t code);

} // namespace glyva_test

#endif
