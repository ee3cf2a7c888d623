#ifndef GLYPH_GLYPHBUDGET_HH
#define GLYPH_GLYPHBUDGET_HH

#include <stddef.h>
#include <stdint.h>

#include "util/plyxTypes.h"

/* A bounded cost per glyph. GLU's sweep over a polygon takes time that grows with its
 * points and, far faster, with its self-intersections: a font glyph of a few thousand
 * random points holds a host for minutes. Every path that meshes or outlines a glyph
 * from a file counts its flattened outline against this budget before anything
 * expensive is done with it, and refuses the glyph when the budget is spent. The
 * counting stops as soon as it is, so the check itself stays cheap. */
namespace glyva
{

/* Far above what the fonts of the distribution need at quality 100 (bench/README.md:
 * the largest glyph there has about half the points and a seventh of the
 * crossings). GLU's time grows with the points times the crossings: a ring of 93,000
 * points crossing itself some thousands of times took it 4 s, so the crossings are held
 * to a few thousand; a star of more than 65,536 points with few crossings took it 11 s, so the
 * points are held to twice the largest real glyph. */
constexpr uint32_t kMaxGlyphPoints = 1u << 16;
constexpr uint32_t kMaxGlyphCrossings = 1u << 11;

/* One closed contour: count points, the k-th at xy[k * stride] (x) and xy[k * stride + 1]
 * (y), so that flattened contour lists (stride 3) and plain point pairs (stride 2) are
 * read alike. */
struct BudgetContour {
    const float *xy;
    uint32_t count;
    uint32_t stride;
};

/* kTooCostly: the crossings could not be counted within the work the budget allows. */
enum class Budget { kWithin, kTooManyPoints, kTooManyCrossings, kTooCostly, kOutOfMemory };

/* What the check counted: all points, and the crossings of edges of the contours up to
 * the point where the budget was spent. Paths that stop flattening at the point budget
 * know only that the points were more. */
struct GlyphCost {
    uint64_t points;
    uint32_t crossings;
};

/* Counts the points of the contours and the places where two of their edges cross
 * inside both, against the budget. The work is bounded by the point budget: the count
 * stops once it could only confirm a refusal. */
Budget checkBudget(const BudgetContour *contours, size_t contourCount, GlyphCost *cost);

/* The same over flattened contour lists. */
Budget checkBudget(const SimpleVec3Array *lists, size_t listCount, GlyphCost *cost);

/* Working storage of the check that a caller may keep between glyphs, so that the
 * check of a glyph allocates nothing once its blocks are large enough. Starts zeroed;
 * releaseBudgetScratch frees it and leaves it zeroed. */
constexpr int kScratchBlocks = 6;
struct BudgetScratch {
    void *blocks[kScratchBlocks];
    size_t bytes[kScratchBlocks];
    /* The chains the fit check has numbered in its cells so far (see coverWithin). */
    uint32_t coverChains;
};

void releaseBudgetScratch(BudgetScratch *scratch);

/* The answer of checkBudget for the paths that only act on it: the same answer, and on
 * a refusal the same cost, but a glyph whose edges share cells in too few pairs to
 * reach any limit is let through without testing them (its crossings then read 0). */
Budget fitsBudget(const SimpleVec3Array *lists, size_t listCount, GlyphCost *cost);

/* The same over contours, working in scratch. */
Budget fitsBudget(const BudgetContour *contours, size_t contourCount, GlyphCost *cost,
                  BudgetScratch *scratch);

/* The one diagnostic line of a glyph refused by its budget. */
void reportOverBudget(uint32_t glyphIndex, Budget budget, const GlyphCost &cost);

} // namespace glyva

#endif
