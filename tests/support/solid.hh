#ifndef TESTS_SUPPORT_SOLID_HH
#define TESTS_SUPPORT_SOLID_HH

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

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

/* Twice the area of the triangle starting at index t, as a vector along its facet normal. */
std::array<double, 3> facetNormal(const SolidMesh &mesh, size_t t);

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

/* A binary STL with each facet's normal computed from the facet itself. */
bool writeBinaryStl(const SolidMesh &mesh, const std::string &path);

/* What admesh (Debian's admesh tool) reports about an STL file. */
struct AdmeshReport {
    bool ran = false;
    std::string text;
    /* The number after the label's colon (for the facet lines, the "Original" column),
     * or -1. */
    long field(const char *label) const;
    /* Nothing to fix: no disconnected, degenerate, removed, added or reversed facet, no
     * edge fixed, no backwards edge, no normal fixed; and, where given, the facet and
     * part counts. */
    bool clean(long facets = -1, long parts = -1) const;
};
AdmeshReport runAdmesh(const std::string &admesh, const std::string &stlPath);

} // namespace glyva_test

#endif
