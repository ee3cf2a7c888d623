#ifndef SOLID_SOLIDGEOMETRY_HH
#define SOLID_SOLIDGEOMETRY_HH

#include <stdint.h>

#include "solid/glyvaSolid.h"
#include "solid/solidArray.hh"

/* The stages of a solid and the records they hand each other. A glyph's outline is
 * read in ems (solidOutline), moved onto an integer grid and cleaned into rings by
 * polygon clipping, then inset level by level for a bevel (solidOffset); the faces and
 * the bands between levels are triangulated (solidTriangulate, solidFlip), lifted to
 * their heights and closed by the walls (solidAssemble), and given normals and
 * texture coordinates (solidShade). */

class GLUtesselator;

namespace glyva
{
namespace solid
{

/* The bounds on the work one glyph may cause: flattened outline points and contours.
 * Real fonts stay far below them (a few thousand points at quality 100 for the most
 * complex ideographs, well under a hundred contours); an outline past them gets the
 * failure value instead of seconds of clipping and tessellation. The contour bound
 * matters on its own because the glyph layer flattens the whole glyph for each
 * contour it is asked for. */
constexpr uint32_t kMaxOutlinePoints = 50000;
constexpr int32_t kMaxOutlineContours = 2000;

/* Grid coordinates stay within +-2^23, so that every grid point converts to a float
 * exactly and cross products of differences fit 64 bits with room to spare. */
constexpr double kGridLimit = 8388608.0;

/* Why a stage failed, for glyvaSolidError. */
struct Report {
    char text[256];
};
/* Writes the message; always false, so that a stage can return it. */
bool fail(Report *report, const char *format, ...) __attribute__((format(printf, 2, 3)));

struct GridPoint {
    int32_t x;
    int32_t y;
};

/* The glyph's flattened contours in ems as the font gives them, and the grid they are
 * built on. */
struct Outline {
    Array<float> xy;         /* 2 per point, contours one after the other */
    Array<uint32_t> ends;    /* one past each contour's last point */
    bool evenOdd = false;    /* the glyph's fill rule: even-odd, or non-zero */
    double unitsPerEm = 0.0; /* grid units per em */
    double scale = 1.0;      /* output units per em */
    double unit = 0.0;       /* output units per grid unit: the host's grid, or a power of
                                two of ours */
};

/* A closed ring of points: points [first, first + count) of the geometry, running with
 * its level's filled area on the left. */
struct Ring {
    uint32_t first;
    uint32_t count;
    uint32_t level;
};

/* A connected region to triangulate: its rings, each run forwards or reversed so that
 * the region lies on the left. A face region is a filled area of one level; a band
 * region lies between level and level + 1. */
struct RegionRing {
    uint32_t ring;
    uint32_t reversed;
};
enum class RegionKind : uint32_t { kFace, kBand };
struct Region {
    uint32_t first; /* into regionRings */
    uint32_t count;
    uint32_t level;
    RegionKind kind;
    uint32_t firstTriangle; /* into triangles, 3 point ids each, after triangulation */
    uint32_t triangleCount;
};

/* Levels of the outline on the grid: level 0 is the glyph's filled area, level k its
 * inset by the bevel profile's k-th distance. Every ring point has a position no
 * other point shares. */
struct Geometry {
    Array<GridPoint> points;
    Array<uint32_t> pointRing;
    Array<Ring> rings;
    Array<uint32_t> levelFirstRing; /* rings of level k: [levelFirstRing[k], [k + 1]) */
    Array<RegionRing> regionRings;
    Array<Region> regions;
    Array<uint32_t> triangles;
    KeyIndex pointAt; /* position key -> point */
};

inline uint64_t positionKey(GridPoint p)
{
    return pairKey(static_cast<uint32_t>(p.x), static_cast<uint32_t>(p.y));
}

/* Twice the signed area of a, b, c: positive when they turn counter-clockwise. */
inline int64_t orient(GridPoint a, GridPoint b, GridPoint c)
{
    return (int64_t{b.x} - a.x) * (int64_t{c.y} - a.y) -
           (int64_t{b.y} - a.y) * (int64_t{c.x} - a.x);
}

/* The most segments a bevel's profile may have: each is one more inset of the outline. */
constexpr int32_t kMaxBevelSegments = GLYVA_SOLID_MAX_SEGMENTS;
constexpr uint32_t kMaxLevels = kMaxBevelSegments + 1;

/* The bevel profile: level k lies inset[k] ems inside the outline and rise[k] ems
 * above the top of the wall. Level 0 is the outline itself. */
struct Profile {
    uint32_t levels = 1;
    double inset[kMaxLevels];
    double rise[kMaxLevels];
};

/* A point of the solid: a grid point lifted to one of the layers, the heights at which
 * the levels lie on the front (layers 0 to levels - 1) and on the back (the next
 * levels layers). */
struct SolidVertex {
    uint32_t point;
    uint32_t layer;
};

/* What a triangle is, which decides its normals and texture coordinates: a face, a
 * wall, a bevel triangle reaching from one level to the next (shaded by the bevel's
 * profile), or a step, a band triangle lying flat on one level where the inset ran out
 * of room (shaded flat). */
enum class Facet : uint32_t { kFront, kBack, kWall, kBevel, kStep };

/* A triangle corner: the vertex and its texture coordinates. */
struct Corner {
    uint32_t vertex;
    float u;
    float v;
};

/* The closed surface: three corners per triangle and one facet kind each. */
struct Surface {
    Array<float> layerZ;
    Array<SolidVertex> vertices;
    Array<Corner> corners;
    Array<Facet> facets;
};

/* How the solid stands on the levels: the heights of the levels on each face, and
 * which faces are bevelled (a face without bevel is level 0's face region). */
struct Plan {
    uint32_t levels;
    bool bevelFront;
    bool bevelBack;
    float frontZ[kMaxLevels];
    float backZ[kMaxLevels];
};

/* A ring as a band sees it: run so that the band lies on its left, with its signed
 * area that way round (twice the area, grid units squared), its bounds and the ring
 * that immediately encloses it. */
struct BandRing {
    uint32_t ring;
    uint32_t reversed;
    int64_t area2;
    GridPoint low;
    GridPoint high;
    uint32_t parent;
};

/* The scratch storage of one build, kept by the builder between builds. */
struct Workspace {
    Outline outline;
    Geometry geometry;
    Array<BandRing> bandRings;
    Surface surface;
    Array<uint32_t> scratch;
    Array<uint32_t> incidence;
    Array<uint32_t> incidenceStart;
    Array<float> facetNormals;
    KeyIndex edges;
    KeyIndex index;
    GLUtesselator *tess = nullptr;
};

/* Whether a region belongs to a face: the bands and the innermost level where the face
 * is bevelled, level 0's face regions where it is not. */
inline bool regionOnFace(const Region &region, const Plan &plan, bool bevelled)
{
    if (!bevelled)
        return region.kind == RegionKind::kFace && region.level == 0;
    return region.kind == RegionKind::kBand || region.level == plan.levels - 1;
}

/* solidOutline: the glyph's flattened contours, within the point bound, finite, on the
 * host's grid (grid output units, scale output units per em) or, for grid 0, on a power
 * of two chosen for their extent. False with the reason otherwise. */
bool readOutline(glyvaShapeFont *font, uint32_t glyph, double scale, double grid, Outline *outline,
                 Report *report);

/* solidOffset: level 0 from the outline, and level + 1 from level inset by step grid
 * units, each with its face regions. */
bool outlineLevel(const Outline &outline, Geometry *g, Report *report);
bool insetLevel(Geometry *g, uint32_t level, double step, Report *report);

/* solidBands: the band regions between level and level + 1, found by how the two
 * levels' rings nest. */
bool bandRegions(Workspace &w, uint32_t level, Report *report);

/* solidTriangulate: the triangles of region index, appended to the geometry's list,
 * all turning counter-clockwise with area. The tessellator is created on first use
 * and kept until releaseTessellator. */
bool triangulateRegion(Workspace &w, uint32_t index, Report *report);
void releaseTessellator(Workspace &w);

/* solidAssemble: the triangulated regions lifted to their layers on both faces and
 * joined by the walls along level 0, checked to be closed: every edge used once in
 * each direction. */
bool assembleSurface(Workspace &w, const Plan &plan, Report *report);

/* solidShade: the surface as output vertices (positions, normals, texture
 * coordinates) and triangle indices. */
bool shadeSurface(Workspace &w, const Profile &profile, const Plan &plan,
                  Array<glyvaSolidVertex> *vertices, Array<uint32_t> *indices, Report *report);

} // namespace solid
} // namespace glyva

#endif
