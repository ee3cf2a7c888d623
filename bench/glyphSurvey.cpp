// Every glyph of the given fonts (face 0 of each file): the digest of its mesh and its
// contours at quality 50, through the shaping library's glyph-index queries, and the
// points and crossings of its flattened outline at quality 100 as the glyph budget
// counts them. Run against two builds of the libraries (LD_LIBRARY_PATH), the digests
// show whether a change moved a single byte; the counts show how far the fonts stay
// below the budget.
//
//   glyva-glyph-survey [--counts] FONT...   one line per font, then the largest counts
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "glyph/flatten.hh"
#include "glyph/glyphBudget.hh"
#include "glyph/glyphFont.hh"
#include "glyph/glyphOutline.hh"
#include "shape/glyvaShape.h"
#include "util/plyxUtil.h"

namespace
{

uint64_t fnv(uint64_t h, const void *data, size_t bytes)
{
    const auto *p = static_cast<const unsigned char *>(data);
    for (size_t i = 0; i < bytes; ++i)
        h = (h ^ p[i]) * 1099511628211ull;
    return h;
}

uint64_t digestFont(glyvaShapeFont *font, int *refused)
{
    uint64_t h = 1469598103934665603ull;
    const int32_t glyphs = glyvaShapeGlyphCount(font);
    for (uint32_t quality : {50u}) {
        glyvaShapeSetQuality(font, quality);
        for (int32_t g = 0; g < glyphs; ++g) {
            const float *v = nullptr;
            const int32_t *t = nullptr;
            int32_t nv = 0, nt = 0;
            const int32_t ok =
                glyvaShapeGlyphMesh(font, static_cast<uint32_t>(g), &v, &nv, &t, &nt);
            *refused += ok ? 0 : 1;
            h = fnv(h, &ok, sizeof ok);
            h = fnv(h, v, sizeof(float) * 2 * static_cast<size_t>(ok ? nv : 0));
            h = fnv(h, t, sizeof(int32_t) * static_cast<size_t>(ok ? nt : 0));
            glyphInfoRecord info;
            for (int32_t k = 0; glyvaShapeGlyphInfo(&info, font, static_cast<uint32_t>(g)) &&
                                k < info.contourCount;
                 ++k) {
                const float *points = nullptr;
                const int32_t n = glyvaShapeGlyphContour(&points, font, static_cast<uint32_t>(g), k,
                                                         nullptr, nullptr);
                h = fnv(h, &n, sizeof n);
                h = fnv(h, points, sizeof(float) * 3 * static_cast<size_t>(n > 0 ? n : 0));
            }
        }
    }
    return h;
}

struct Largest {
    uint64_t points = 0;
    uint32_t crossings = 0;
    std::string pointsAt, crossingsAt;
};

/* The budget's counts of every glyph at quality 100, through the glyph layer itself. */
void countFont(const char *path, Largest &largest)
{
    tavixInternalFontData *font = glyva::newFont(path, 0, nullptr);
    if (!glyva::fontReady(font)) {
        glyva::deleteFont(font);
        return;
    }
    glyva::setQuality(font, 100);
    for (FT_Long g = 0; g < font->ftFace->num_glyphs; ++g) {
        const FT_Outline *outline =
            glyva::checkedOutline(glyva::loadGlyph(font, static_cast<FT_UInt>(g), nullptr));
        if (!outline || outline->n_contours <= 0)
            continue;
        const size_t n = static_cast<size_t>(outline->n_contours);
        SimpleVec3Array *lists = new SimpleVec3Array[n]();
        for (int k = 0; k < outline->n_contours; ++k)
            glyva::flattenContour(font->quality, outline, k, lists[k]);
        glyva::GlyphCost cost = {0, 0};
        glyva::checkBudget(lists, n, &cost);
        const std::string at = std::string(path) + " glyph " + std::to_string(g);
        if (cost.points > largest.points)
            largest.points = cost.points, largest.pointsAt = at;
        if (cost.crossings > largest.crossings)
            largest.crossings = cost.crossings, largest.crossingsAt = at;
        for (size_t k = 0; k < n; ++k)
            clearMFVec3f(&lists[k]);
        delete[] lists;
    }
    glyva::deleteFont(font);
}

} // namespace

int main(int argc, char **argv)
{
    Largest largest;
    const bool counts = argc > 1 && std::strcmp(argv[1], "--counts") == 0;
    for (int a = counts ? 2 : 1; a < argc; ++a) {
        glyvaShapeFont *font = nullptr;
        char message[256];
        if (glyvaShapeOpen(&font, argv[a], 0, nullptr, message, sizeof message) != GLYVA_SHAPE_OK) {
            std::printf("%s: %s\n", argv[a], message);
            continue;
        }
        int refused = 0;
        const uint64_t digest = digestFont(font, &refused);
        std::printf("%016llx %s (%d glyphs, %d meshes refused)\n",
                    static_cast<unsigned long long>(digest), argv[a], glyvaShapeGlyphCount(font),
                    refused);
        std::fflush(stdout);
        glyvaShapeClose(font);
        if (counts)
            countFont(argv[a], largest);
    }
    if (counts)
        std::printf("largest at quality 100: %llu points (%s), %u crossings (%s); budget %u "
                    "points, %u crossings\n",
                    static_cast<unsigned long long>(largest.points), largest.pointsAt.c_str(),
                    largest.crossings, largest.crossingsAt.c_str(), glyva::kMaxGlyphPoints,
                    glyva::kMaxGlyphCrossings);
    return 0;
}
