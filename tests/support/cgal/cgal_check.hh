#ifndef TESTS_SUPPORT_CGAL_CGAL_CHECK_HH
#define TESTS_SUPPORT_CGAL_CGAL_CHECK_HH

#include <cstdint>
#include <string>
#include <vector>

#include "support/raster.hh"

/* Checks of solids and offsets by CGAL, a library not written here: its Polygon Mesh
 * Processing package judges the meshes, its straight skeleton gives exact inward offsets
 * of outlines. Built only where CGAL is installed (the 64-bit build). */

namespace glyva_test
{

struct CgalVerdict {
    bool built = false;           /* every triangle became a face of a 2-manifold mesh */
    bool closed = false;          /* CGAL::is_closed */
    bool selfIntersecting = true; /* PMP::does_self_intersect */
    bool boundsVolume = false;    /* PMP::does_bound_a_volume */
    bool outward = false;         /* PMP::is_outward_oriented, for every connected component */
    double volume = 0.0;          /* PMP::volume */
    std::string problem;          /* why built is false */
};

/* The triangles (3 indices each) over the positions (3 floats each), welded by equal
 * position as a reader of a written file would weld them. */
CgalVerdict cgalCheck(const std::vector<float> &positions, const std::vector<uint32_t> &indices);

/* The areas of the filled region of the contours (non-crossing, nested alternately, any
 * orientation convention) moved inwards along its straight skeleton: the mitred insets,
 * with every change of shape (a stroke vanishing, a region splitting) exact. The skeleton
 * is built once, in the constructor. */
class CgalInsets
{
  public:
    explicit CgalInsets(const std::vector<std::vector<Point2>> &contours);
    ~CgalInsets();
    CgalInsets(const CgalInsets &) = delete;
    CgalInsets &operator=(const CgalInsets &) = delete;
    /* The area at distance 0 (the outline's own) or further in. */
    double area(double distance) const;

  private:
    struct Skeletons;
    Skeletons *skeletons_;
};

} // namespace glyva_test

#endif
