#include <math.h>
#include <stdarg.h>
#include <stddef.h>
#include <stdio.h>

#include <new>

#include "solid/solidGeometry.hh"

/* Record layouts hosts read at fixed offsets, the same on 32-bit and 64-bit builds. */
static_assert(sizeof(glyvaSolidVertex) == 36, "vertex layout");
static_assert(offsetof(glyvaSolidVertex, mapping) == 32, "vertex layout");
static_assert(offsetof(glyvaSolidVertex, normal) == 12, "vertex layout");
static_assert(offsetof(glyvaSolidVertex, texCoord) == 24, "vertex layout");
static_assert(sizeof(glyvaSolidOptions) == 28, "options layout");
static_assert(offsetof(glyvaSolidOptions, bevelSegments) == 12, "options layout");
static_assert(offsetof(glyvaSolidOptions, frontOnly) == 16, "options layout");
static_assert(offsetof(glyvaSolidOptions, grid) == 24, "options layout");

struct glyvaSolid {
    glyva::solid::Workspace work;
    glyva::solid::Array<glyvaSolidVertex> vertices;
    glyva::solid::Array<uint32_t> indices;
    glyva::solid::Report report;
};

namespace glyva
{
namespace solid
{

bool fail(Report *report, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    vsnprintf(report->text, sizeof report->text, format, args);
    va_end(args);
    return false;
}

namespace
{

/* Inset steps finer than this many grid units would let rounding decide which side of a
 * level a ring lies on. */
constexpr double kMinStepUnits = 16.0;

const double kQuarterTurn = 1.5707963267948966;

/* The bevel's profile: a quarter ellipse from the wall (vertical) to the face
 * (horizontal), sampled at equal angles; one segment is the straight chamfer. Without a
 * bevel, level 0 alone. */
void makeProfile(double size, double depth, int32_t segments, Profile *profile)
{
    profile->levels = static_cast<uint32_t>(segments) + 1;
    profile->inset[0] = profile->rise[0] = 0.0;
    for (int32_t k = 1; k <= segments; ++k) {
        const double angle = kQuarterTurn * k / segments;
        profile->inset[k] = k == segments ? size : size * (1.0 - cos(angle));
        profile->rise[k] = k == segments ? depth : depth * sin(angle);
    }
}

/* Why scale and grid cannot be used, or null; shared by solids and flat meshes. */
const char *gridError(float scale, float grid)
{
    if (!isfinite(scale) || scale < 0.0f)
        return "the scale must be a number of output units per em, 0 for 1";
    if (!isfinite(grid) || grid < 0.0f)
        return "the grid must be a number of output units, 0 for the library's";
    return nullptr;
}

double scaleOf(float scale)
{
    return scale > 0.0f ? scale : 1.0;
}

const char *optionsError(const glyvaSolidOptions &o)
{
    if (const char *why = gridError(o.scale, o.grid))
        return why;
    if (!isfinite(o.depth) || o.depth <= 0.0f)
        return "the depth must be a positive number of output units";
    if (!isfinite(o.bevelSize) || o.bevelSize < 0.0f)
        return "the bevel size must be a number of output units, 0 for none";
    if (!isfinite(o.bevelDepth) || o.bevelDepth < 0.0f)
        return "the bevel depth must be a number of output units, 0 for the bevel size";
    if (o.bevelSegments < 0 || o.bevelSegments > kMaxBevelSegments)
        return "bevel segments must be 1 to 32 (0 means 1)";
    const double bevelDepth = o.bevelDepth > 0.0f ? o.bevelDepth : o.bevelSize;
    const int faces = o.frontOnly ? 1 : 2;
    if (o.bevelSize > 0.0f && faces * bevelDepth >= o.depth)
        return "the bevels, as deep as that on each bevelled face, leave no wall in the depth";
    return nullptr;
}

bool checkOptions(const glyvaSolidOptions &o, Report *report)
{
    const char *why = optionsError(o);
    return !why || fail(report, "%s", why);
}

/* A height on the host's grid, or as it is without one (unit 0). */
float onGrid(double z, double unit)
{
    return float(unit > 0.0 ? nearbyint(z / unit) * unit : z);
}

/* The levels' heights on each face, on the host's grid where there is one: a face or a
 * bevel level between grid heights would put the solid's points off the grid the host
 * places it on. */
bool makePlan(const glyvaSolidOptions &o, double unit, Profile *profile, Plan *plan, Report *report)
{
    const bool bevel = o.bevelSize > 0.0f;
    const double bevelDepth = o.bevelDepth > 0.0f ? o.bevelDepth : o.bevelSize;
    makeProfile(o.bevelSize, bevelDepth, bevel ? (o.bevelSegments > 0 ? o.bevelSegments : 1) : 0,
                profile);
    plan->levels = profile->levels;
    plan->bevelFront = bevel;
    plan->bevelBack = bevel && !o.frontOnly;
    const double frontWall = o.depth - (plan->bevelFront ? bevelDepth : 0.0);
    const double backWall = plan->bevelBack ? bevelDepth : 0.0;
    for (uint32_t k = 0; k < plan->levels; ++k) {
        plan->frontZ[k] = onGrid(frontWall + profile->rise[k], unit);
        plan->backZ[k] = plan->bevelBack ? onGrid(backWall - profile->rise[k], unit) : 0.0f;
    }
    if (!(plan->frontZ[0] > plan->backZ[0]))
        return fail(report, "a depth of %g leaves no wall on a grid of %g", double(o.depth), unit);
    return true;
}

bool checkSteps(const Profile &profile, double unit, uint32_t glyph, Report *report)
{
    for (uint32_t k = 0; k + 1 < profile.levels; ++k) {
        if ((profile.inset[k + 1] - profile.inset[k]) / unit < kMinStepUnits)
            return fail(report, "a bevel of %g in %u segments is too fine for glyph %u",
                        profile.inset[profile.levels - 1],
                        static_cast<unsigned>(profile.levels - 1), glyph);
    }
    return true;
}

bool buildLevels(Workspace &w, const Profile &profile, Report *report)
{
    Geometry &g = w.geometry;
    if (!outlineLevel(w.outline, &g, report))
        return false;
    for (uint32_t k = 0; k + 1 < profile.levels; ++k) {
        const double step = (profile.inset[k + 1] - profile.inset[k]) / w.outline.unit;
        if (!insetLevel(&g, k, step, report))
            return false;
    }
    for (uint32_t k = 0; k + 1 < profile.levels; ++k) {
        if (!bandRegions(w, k, report))
            return false;
    }
    return true;
}

bool triangulateFaces(Workspace &w, const Plan &plan, Report *report)
{
    for (uint32_t r = 0; r < w.geometry.regions.size(); ++r) {
        const Region &region = w.geometry.regions[r];
        if (!regionOnFace(region, plan, plan.bevelFront) &&
            !regionOnFace(region, plan, plan.bevelBack))
            continue;
        if (!triangulateRegion(w, r, report))
            return false;
    }
    return true;
}

/* The flat mesh: level 0's face regions, triangulated as a solid's unbevelled face, at
 * z = 0 facing +z; one vertex per point some triangle uses, in the order the triangles
 * first use them. */
bool emitFlat(Workspace &w, Array<glyvaSolidVertex> *vertices, Array<uint32_t> *indices)
{
    const Geometry &g = w.geometry;
    Array<uint32_t> &slot = w.scratch;
    vertices->clear();
    indices->clear();
    if (!slot.resize(0) || !slot.resize(g.points.size()))
        return false;
    for (uint32_t r = 0; r < g.regions.size(); ++r) {
        const Region &region = g.regions[r];
        if (region.kind != RegionKind::kFace || region.level != 0)
            continue;
        for (uint32_t i = 3 * region.firstTriangle;
             i < 3 * (region.firstTriangle + region.triangleCount); ++i) {
            const uint32_t p = g.triangles[i];
            if (slot[p] == 0) {
                const GridPoint q = g.points[p];
                const glyvaSolidVertex v = {
                    {float(q.x * w.outline.unit), float(q.y * w.outline.unit), 0.0f},
                    {0.0f, 0.0f, 1.0f},
                    {float(q.x / w.outline.unitsPerEm), float(q.y / w.outline.unitsPerEm)},
                    GLYVA_SOLID_UV_BY_POSITION};
                if (!vertices->push(v))
                    return false;
                slot[p] = vertices->size();
            }
            if (!indices->push(slot[p] - 1))
                return false;
        }
    }
    return true;
}

} // namespace
} // namespace solid
} // namespace glyva

namespace
{

using glyva::solid::fail;

bool outputsPresent(glyvaSolid *solid, const glyvaSolidVertex **vertices, uint32_t *vertexCount,
                    const uint32_t **indices, uint32_t *indexCount)
{
    if (vertices && vertexCount && indices && indexCount)
        return true;
    return fail(&solid->report, "no output pointer");
}

int32_t handOut(glyvaSolid *solid, const glyvaSolidVertex **vertices, uint32_t *vertexCount,
                const uint32_t **indices, uint32_t *indexCount)
{
    const bool empty = solid->indices.empty();
    *vertices = empty ? nullptr : solid->vertices.data();
    *vertexCount = empty ? 0 : solid->vertices.size();
    *indices = empty ? nullptr : solid->indices.data();
    *indexCount = solid->indices.size();
    return 1;
}

bool buildSolid(glyvaSolid *solid, glyvaShapeFont *font, uint32_t glyph,
                const glyvaSolidOptions &options)
{
    using namespace glyva::solid;
    Workspace &w = solid->work;
    Report *report = &solid->report;
    Profile profile;
    Plan plan;
    if (!checkOptions(options, report) ||
        !readOutline(font, glyph, scaleOf(options.scale), options.grid, &w.outline, report) ||
        !makePlan(options, options.grid > 0.0f ? w.outline.unit : 0.0, &profile, &plan, report) ||
        !checkSteps(profile, w.outline.unit, glyph, report) || !buildLevels(w, profile, report))
        return false;
    solid->vertices.clear();
    solid->indices.clear();
    if (w.geometry.rings.empty())
        return true;
    return triangulateFaces(w, plan, report) && assembleSurface(w, plan, report) &&
           shadeSurface(w, profile, plan, &solid->vertices, &solid->indices, report);
}

bool buildFlat(glyvaSolid *solid, glyvaShapeFont *font, uint32_t glyph, float scale, float grid)
{
    using namespace glyva::solid;
    Workspace &w = solid->work;
    Report *report = &solid->report;
    Profile profile;
    Plan plan = {};
    plan.levels = profile.levels = 1;
    const char *why = gridError(scale, grid);
    if (why)
        return fail(report, "%s", why);
    if (!readOutline(font, glyph, scaleOf(scale), grid, &w.outline, report) ||
        !buildLevels(w, profile, report) || !triangulateFaces(w, plan, report))
        return false;
    if (!emitFlat(w, &solid->vertices, &solid->indices))
        return fail(report, "out of memory for the flat mesh of glyph %u", glyph);
    return true;
}

} // namespace

glyvaSolid *glyvaSolidCreate(void)
{
    void *storage = kdMalloc(sizeof(glyvaSolid));
    if (!storage)
        return nullptr;
    glyvaSolid *solid = new (storage) glyvaSolid();
    solid->report.text[0] = '\0';
    return solid;
}

void glyvaSolidDestroy(glyvaSolid *solid)
{
    if (!solid)
        return;
    glyva::solid::releaseTessellator(solid->work);
    solid->~glyvaSolid();
    kdFree(solid);
}

void glyvaSolidRelease(glyvaSolid *solid)
{
    if (!solid)
        return;
    solid->vertices.release();
    solid->indices.release();
}

const char *glyvaSolidError(const glyvaSolid *solid)
{
    return solid ? solid->report.text : "";
}

const char *glyvaSolidOptionsError(const glyvaSolidOptions *options)
{
    return options ? glyva::solid::optionsError(*options) : "no options";
}

int32_t glyvaSolidBuild(glyvaSolid *solid, glyvaShapeFont *font, uint32_t glyphIndex,
                        const glyvaSolidOptions *options, const glyvaSolidVertex **vertices,
                        uint32_t *vertexCount, const uint32_t **indices, uint32_t *indexCount)
{
    if (!solid)
        return 0;
    if (!outputsPresent(solid, vertices, vertexCount, indices, indexCount))
        return 0;
    if (!font || !options)
        return fail(&solid->report, "no font or no options");
    if (!buildSolid(solid, font, glyphIndex, *options)) {
        glyvaSolidRelease(solid);
        return 0;
    }
    return handOut(solid, vertices, vertexCount, indices, indexCount);
}

int32_t glyvaSolidFlat(glyvaSolid *solid, glyvaShapeFont *font, uint32_t glyphIndex, float scale,
                       float grid, const glyvaSolidVertex **vertices, uint32_t *vertexCount,
                       const uint32_t **indices, uint32_t *indexCount)
{
    if (!solid)
        return 0;
    if (!outputsPresent(solid, vertices, vertexCount, indices, indexCount))
        return 0;
    if (!font)
        return fail(&solid->report, "no font");
    if (!buildFlat(solid, font, glyphIndex, scale, grid)) {
        glyvaSolidRelease(solid);
        return 0;
    }
    return handOut(solid, vertices, vertexCount, indices, indexCount);
}
