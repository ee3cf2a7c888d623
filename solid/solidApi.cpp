#include <math.h>
#include <stdarg.h>
#include <stddef.h>
#include <stdio.h>
#include <string.h>

#include <new>

#include "solid/solidFlip.hh"
#include "solid/solidGeometry.hh"

/* Record layouts hosts read at fixed offsets, the same on 32-bit and 64-bit builds. */
static_assert(sizeof(glyvaSolidVertex) == 32, "vertex layout");
static_assert(offsetof(glyvaSolidVertex, normal) == 12, "vertex layout");
static_assert(offsetof(glyvaSolidVertex, texCoord) == 24, "vertex layout");
static_assert(sizeof(glyvaSolidOptions) == 20, "options layout");
static_assert(offsetof(glyvaSolidOptions, bevelSegments) == 12, "options layout");
static_assert(offsetof(glyvaSolidOptions, frontOnly) == 16, "options layout");

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

bool checkOptions(const glyvaSolidOptions &o, Report *report)
{
    if (!isfinite(o.depth) || o.depth <= 0.0f)
        return fail(report, "the depth must be a positive number of ems");
    if (!isfinite(o.bevelSize) || o.bevelSize < 0.0f)
        return fail(report, "the bevel size must be a number of ems, 0 for none");
    if (!isfinite(o.bevelDepth) || o.bevelDepth < 0.0f)
        return fail(report, "the bevel depth must be a number of ems, 0 for the bevel size");
    if (o.bevelSegments < 0 || o.bevelSegments > kMaxBevelSegments)
        return fail(report, "bevel segments must be 1 to %d", static_cast<int>(kMaxBevelSegments));
    const double bevelDepth = o.bevelDepth > 0.0f ? o.bevelDepth : o.bevelSize;
    const int faces = o.frontOnly ? 1 : 2;
    if (o.bevelSize > 0.0f && faces * bevelDepth >= o.depth)
        return fail(report, "a bevel %g ems deep on %d face%s leaves no wall in a depth of %g",
                    bevelDepth, faces, faces > 1 ? "s" : "", double(o.depth));
    return true;
}

/* The levels' heights on each face. */
void makePlan(const glyvaSolidOptions &o, Profile *profile, Plan *plan)
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
        plan->frontZ[k] = float(frontWall + profile->rise[k]);
        plan->backZ[k] = plan->bevelBack ? float(backWall - profile->rise[k]) : 0.0f;
    }
}

bool checkSteps(const Profile &profile, double unitsPerEm, uint32_t glyph, Report *report)
{
    for (uint32_t k = 0; k + 1 < profile.levels; ++k) {
        if ((profile.inset[k + 1] - profile.inset[k]) * unitsPerEm < kMinStepUnits)
            return fail(report, "a bevel of %g ems in %u segments is too fine for glyph %u",
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
        const double step = (profile.inset[k + 1] - profile.inset[k]) * w.outline.unitsPerEm;
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

/* The flat mesh's points: the font's float positions, exact turns in double (the
 * differences and products of floats of one glyph's range are exact there). */
struct FloatTurns {
    const Array<float> &xy;
    double x(uint32_t i) const { return xy[2 * i]; }
    double y(uint32_t i) const { return xy[2 * i + 1]; }
    int sign(uint32_t a, uint32_t b, uint32_t c) const
    {
        const double turn = (x(b) - x(a)) * (y(c) - y(a)) - (y(b) - y(a)) * (x(c) - x(a));
        return (turn > 0.0) - (turn < 0.0);
    }
    bool between(uint32_t m, uint32_t u, uint32_t w) const
    {
        const double fromU = (x(m) - x(u)) * (x(w) - x(u)) + (y(m) - y(u)) * (y(w) - y(u));
        const double fromW = (x(m) - x(w)) * (x(u) - x(w)) + (y(m) - y(w)) * (y(u) - y(w));
        return fromU >= 0.0 && fromW >= 0.0;
    }
};

uint32_t floatBits(float f)
{
    f += 0.0f; /* -0 and +0 are one position */
    uint32_t bits;
    memcpy(&bits, &f, sizeof bits);
    return bits;
}

/* The font's triangles over shared positions: equal positions become one point. */
bool weldFlat(Workspace &w, const float *vertices, int32_t vertexCount, const int32_t *indices,
              int32_t indexCount)
{
    Array<uint32_t> &remap = w.scratch;
    Array<float> &xy = w.flatPoints;
    Array<uint32_t> &triangles = w.geometry.triangles;
    xy.clear();
    triangles.clear();
    if (!remap.resize(0) || !remap.resize(static_cast<uint32_t>(vertexCount)) ||
        !w.index.reset(static_cast<uint32_t>(vertexCount)))
        return false;
    for (int32_t i = 0; i < vertexCount; ++i) {
        const float x = vertices[2 * i], y = vertices[2 * i + 1];
        if (!w.index.insert(pairKey(floatBits(x), floatBits(y)), xy.size() / 2, &remap[i]))
            return false;
        if (remap[i] == xy.size() / 2 && (!xy.push(x) || !xy.push(y)))
            return false;
    }
    for (int32_t i = 0; i < indexCount; ++i) {
        if (!triangles.push(remap[indices[i]]))
            return false;
    }
    return true;
}

bool checkedIndices(const int32_t *indices, int32_t indexCount, int32_t vertexCount)
{
    if (indexCount % 3 != 0)
        return false;
    for (int32_t i = 0; i < indexCount; ++i) {
        if (indices[i] < 0 || indices[i] >= vertexCount)
            return false;
    }
    return true;
}

/* The flat mesh as output vertices, only the points some triangle uses, in the order
 * the triangles first use them. */
bool emitFlat(Workspace &w, Array<glyvaSolidVertex> *vertices, Array<uint32_t> *indices)
{
    const Array<float> &xy = w.flatPoints;
    const Array<uint32_t> &triangles = w.geometry.triangles;
    Array<uint32_t> &slot = w.scratch;
    vertices->clear();
    if (!slot.resize(0) || !slot.resize(xy.size() / 2) || !indices->resize(triangles.size()))
        return false;
    for (uint32_t i = 0; i < triangles.size(); ++i) {
        const uint32_t p = triangles[i];
        if (slot[p] == 0) {
            const glyvaSolidVertex v = {
                {xy[2 * p], xy[2 * p + 1], 0.0f}, {0.0f, 0.0f, 1.0f}, {xy[2 * p], xy[2 * p + 1]}};
            if (!vertices->push(v))
                return false;
            slot[p] = vertices->size();
        }
        (*indices)[i] = slot[p] - 1;
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
    if (!checkOptions(options, report))
        return false;
    makePlan(options, &profile, &plan);
    if (!readOutline(font, glyph, &w.outline, report) ||
        !checkSteps(profile, w.outline.unitsPerEm, glyph, report) ||
        !buildLevels(w, profile, report))
        return false;
    solid->vertices.clear();
    solid->indices.clear();
    if (w.geometry.rings.empty())
        return true;
    return triangulateFaces(w, plan, report) && assembleSurface(w, plan, report) &&
           shadeSurface(w, profile, plan, &solid->vertices, &solid->indices, report);
}

bool buildFlat(glyvaSolid *solid, glyvaShapeFont *font, uint32_t glyph)
{
    using namespace glyva::solid;
    Workspace &w = solid->work;
    Report *report = &solid->report;
    if (!readOutline(font, glyph, &w.outline, report))
        return false;
    const float *vertices = nullptr;
    const int32_t *indices = nullptr;
    int32_t vertexCount = 0, indexCount = 0;
    if (!glyvaShapeGlyphMesh(font, glyph, &vertices, &vertexCount, &indices, &indexCount))
        return fail(report, "%s", glyvaShapeError(font));
    if (!checkedIndices(indices, indexCount, vertexCount))
        return fail(report, "the font's mesh of glyph %u names no vertex", glyph);
    if (!weldFlat(w, vertices, vertexCount, indices, indexCount))
        return fail(report, "out of memory welding glyph %u", glyph);
    const FloatTurns turns{w.flatPoints};
    ZeroAreaRemover<FloatTurns> remover(turns, w.edges, w.scratch);
    if (!remover.run(w.geometry.triangles, 0))
        return fail(report, "zero-area triangles of glyph %u cannot be turned away", glyph);
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

int32_t glyvaSolidFlat(glyvaSolid *solid, glyvaShapeFont *font, uint32_t glyphIndex,
                       const glyvaSolidVertex **vertices, uint32_t *vertexCount,
                       const uint32_t **indices, uint32_t *indexCount)
{
    if (!solid)
        return 0;
    if (!outputsPresent(solid, vertices, vertexCount, indices, indexCount))
        return 0;
    if (!font)
        return fail(&solid->report, "no font");
    if (!buildFlat(solid, font, glyphIndex)) {
        glyvaSolidRelease(solid);
        return 0;
    }
    return handOut(solid, vertices, vertexCount, indices, indexCount);
}
