#include "support/cgal/cgal_check.hh"

#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>
#include <CGAL/Polygon_mesh_processing/connected_components.h>
#include <CGAL/Polygon_mesh_processing/measure.h>
#include <CGAL/Polygon_mesh_processing/orientation.h>
#include <CGAL/Polygon_mesh_processing/polygon_soup_to_polygon_mesh.h>
#include <CGAL/Polygon_mesh_processing/repair_polygon_soup.h>
#include <CGAL/Polygon_mesh_processing/self_intersections.h>
#include <CGAL/Polygon_with_holes_2.h>
#include <CGAL/Surface_mesh.h>
#include <CGAL/create_offset_polygons_2.h>
#include <CGAL/create_straight_skeleton_from_polygon_with_holes_2.h>

#include <array>
#include <cmath>

namespace glyva_test
{
namespace
{

using Kernel = CGAL::Exact_predicates_inexact_constructions_kernel;
using Point3 = Kernel::Point_3;
using SurfaceMesh = CGAL::Surface_mesh<Point3>;
using Polygon = CGAL::Polygon_2<Kernel>;
using PolygonWithHoles = CGAL::Polygon_with_holes_2<Kernel>;
namespace PMP = CGAL::Polygon_mesh_processing;

bool buildMesh(const std::vector<float> &positions, const std::vector<uint32_t> &indices,
               SurfaceMesh *mesh, std::string *problem)
{
    std::vector<Point3> points;
    for (size_t i = 0; i + 2 < positions.size(); i += 3)
        points.emplace_back(positions[i], positions[i + 1], positions[i + 2]);
    std::vector<std::array<size_t, 3>> triangles;
    for (size_t t = 0; t + 2 < indices.size(); t += 3)
        triangles.push_back({indices[t], indices[t + 1], indices[t + 2]});
    PMP::merge_duplicate_points_in_polygon_soup(points, triangles);
    if (!PMP::is_polygon_soup_a_polygon_mesh(triangles)) {
        *problem = "the triangles are not a consistently wound 2-manifold";
        return false;
    }
    PMP::polygon_soup_to_polygon_mesh(points, triangles, *mesh);
    return true;
}

bool everyComponentOutward(const SurfaceMesh &mesh)
{
    std::vector<SurfaceMesh> parts;
    PMP::split_connected_components(mesh, parts);
    for (const SurfaceMesh &part : parts) {
        if (!PMP::is_outward_oriented(part))
            return false;
    }
    return true;
}

/* Flattened contours may repeat a point (the closing one, at the end): CGAL's polygons
 * must not. */
Polygon toPolygon(const std::vector<Point2> &contour)
{
    Polygon polygon;
    for (const Point2 &p : contour) {
        const Kernel::Point_2 q(p.x, p.y);
        if (polygon.is_empty() || (polygon[polygon.size() - 1] != q && polygon[0] != q))
            polygon.push_back(q);
    }
    return polygon;
}

/* Outer boundaries counter-clockwise with their holes clockwise inside them; outer
 * boundaries are the contours winding the way the whole outline's area does. */
std::vector<PolygonWithHoles> nest(const std::vector<std::vector<Point2>> &contours)
{
    double total = 0.0;
    for (const auto &c : contours)
        total += polygonArea(c);
    std::vector<Polygon> outers, holes;
    for (const auto &c : contours) {
        Polygon polygon = toPolygon(c);
        const bool outer = (polygonArea(c) > 0) == (total > 0);
        if (polygon.is_counterclockwise_oriented() != outer)
            polygon.reverse_orientation();
        (outer ? outers : holes).push_back(polygon);
    }
    std::vector<PolygonWithHoles> result;
    for (const Polygon &outer : outers)
        result.emplace_back(outer);
    for (const Polygon &hole : holes) {
        int best = -1;
        for (size_t i = 0; i < outers.size(); ++i) {
            if (outers[i].bounded_side(hole[0]) != CGAL::ON_BOUNDED_SIDE)
                continue;
            if (best < 0 || outers[i].area() < outers[best].area())
                best = static_cast<int>(i);
        }
        if (best >= 0)
            result[best].add_hole(hole);
    }
    return result;
}

double regionArea(const PolygonWithHoles &p)
{
    double a = p.outer_boundary().area();
    for (auto h = p.holes_begin(); h != p.holes_end(); ++h)
        a += h->area();
    return a;
}

} // namespace

CgalVerdict cgalCheck(const std::vector<float> &positions, const std::vector<uint32_t> &indices)
{
    CgalVerdict verdict;
    SurfaceMesh mesh;
    if (!buildMesh(positions, indices, &mesh, &verdict.problem))
        return verdict;
    verdict.built = true;
    verdict.closed = CGAL::is_closed(mesh);
    verdict.selfIntersecting = PMP::does_self_intersect(mesh);
    if (!verdict.closed || verdict.selfIntersecting)
        return verdict;
    verdict.boundsVolume = PMP::does_bound_a_volume(mesh);
    verdict.outward = everyComponentOutward(mesh);
    verdict.volume = PMP::volume(mesh);
    return verdict;
}

struct CgalInsets::Skeletons {
    std::vector<PolygonWithHoles> regions;
    std::vector<boost::shared_ptr<CGAL::Straight_skeleton_2<Kernel>>> skeletons;
};

CgalInsets::CgalInsets(const std::vector<std::vector<Point2>> &contours) : skeletons_(new Skeletons)
{
    skeletons_->regions = nest(contours);
    for (const PolygonWithHoles &region : skeletons_->regions)
        skeletons_->skeletons.push_back(CGAL::create_interior_straight_skeleton_2(region));
}

CgalInsets::~CgalInsets()
{
    delete skeletons_;
}

double CgalInsets::area(double distance) const
{
    double total = 0.0;
    for (size_t i = 0; i < skeletons_->regions.size(); ++i) {
        if (distance <= 0.0) {
            total += regionArea(skeletons_->regions[i]);
            continue;
        }
        /* Outer boundaries come back counter-clockwise and holes clockwise. */
        for (const auto &polygon :
             CGAL::create_offset_polygons_2<Polygon>(distance, *skeletons_->skeletons[i]))
            total += polygon->area();
    }
    return total;
}

} // namespace glyva_test
