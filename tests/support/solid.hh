#ifndef TESTS_SUPPORT_SOLID_HH
#define TESTS_SUPPORT_SOLID_HH

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#ifdef GLYVA_HAVE_CGAL
#include "support/cgal/cgal_check.hh"
#endif

/* A triangle mesh as a host copies it out of the solid library or a reader gets it from a
 * written file, and the checks every solid and flat mesh must pass, written from the
 * definitions rather than from the library's code. */

namespace glyva_test
{

struct SolidMesh {
    std::vector<float> positions;   /* 3 per vertex */
    std::vector<float> normals;     /* 3 per vertex */
    std::vector<float> uvs;         /* 2 per vertex */
    std::vector<uint32_t> mappings; /* how each vertex's uvs are mapped */
    std::vector<uint32_t> indices;
};

/* Three indices per triangle, each naming a vertex; every number finite; every normal of
 * unit length; no triangle without area (its corners' cross product is exactly zero in
 * the floats a reader gets). */
testing::AssertionResult meshWellFormed(const SolidMesh &mesh);

/* Welding equal positions as a reader of a written file does, every directed edge is
 * used once and its reverse once: closed, manifold along every edge, consistently
 * wound. */
testing::AssertionResult closedByPosition(const SolidMesh &mesh);

/* Every corner's normal leans towards its own triangle's facet normal. */
testing::AssertionResult normalsFaceOutwards(const SolidMesh &mesh);

/* The enclosed volume by the divergence theorem, positive for outward winding. */
double enclosedVolume(const SolidMesh &mesh);

/* The area a flat mesh covers when all its triangles turn counter-clockwise: the signed
 * areas of the triangles' projections on z = 0, summed. */
double projectedArea(const SolidMesh &mesh);

/* The triangles lying at height z: all three corners there. */
SolidMesh levelAt(const SolidMesh &mesh, float z);

/* Each triangle's corners from the smallest on, in their order, sorted: the same surface
 * whatever the order of the triangles and vertices. */
std::vector<std::array<float, 9>> triangleSet(const SolidMesh &mesh);

/* admesh (Debian's admesh tool) reads the STL file and finds nothing to fix: no
 * disconnected, degenerate, removed, added or reversed facet, no edge fixed, no backwards
 * edge, no normal fixed; and, where given, the facet and part counts. Where admesh is
 * not installed the check passes, saying so. */
testing::AssertionResult admeshJudges(const std::string &stlPath, long facets = -1,
                                      long parts = -1);
/* The same for the binary STL a host writes of the mesh, each facet's normal computed
 * from the facet itself: every facet read. */
testing::AssertionResult admeshJudges(const SolidMesh &mesh, long parts = -1);

/* What every solid must be: well formed, closed by position, its normals outwards and,
 * in the tests that link CGAL (GLYVA_HAVE_CGAL), a 2-manifold mesh once equal positions
 * are welded, closed, free of self-intersections, bounding a volume, every part outward,
 * of the volume found here. A glyph without outline (a space) gives an empty one. In the
 * header, so that each test compiles it as it is built: only those linking CGAL ask it. */
inline testing::AssertionResult soundSolid(const SolidMesh &mesh)
{
    if (mesh.indices.empty())
        return testing::AssertionSuccess();
    for (auto check : {meshWellFormed, closedByPosition, normalsFaceOutwards}) {
        testing::AssertionResult result = check(mesh);
        if (!result)
            return result;
    }
#ifdef GLYVA_HAVE_CGAL
    const CgalVerdict v = cgalCheck(mesh.positions, mesh.indices);
    const double volume = enclosedVolume(mesh);
    if (!v.built || !v.closed || v.selfIntersecting || !v.boundsVolume || !v.outward ||
        std::fabs(v.volume - volume) > 1e-9 * std::max(1.0, volume))
        return testing::AssertionFailure()
               << "CGAL: built " << v.built << " (" << v.problem << "), closed " << v.closed
               << ", self-intersecting " << v.selfIntersecting << ", bounds a volume "
               << v.boundsVolume << ", outward " << v.outward << ", volume " << v.volume << " for "
               << volume;
#endif
    return testing::AssertionSuccess();
}

} // namespace glyva_test

#endif
