/* What a solid costs beside the font's own mesh of the same glyph: the clean flat mesh,
 * a plain solid, a chamfer and a rounded bevel, over the distinct glyphs of a sample
 * text, in glyphs per second. The ratio to the font mesh is what a host pays once per
 * distinct glyph for its solids. */
#include <stdint.h>

#include <set>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "solid/glyvaSolid.h"

namespace
{

const char *const kFonts[][2] = {
    {"DejaVuSans", "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"},
    {"FreeSans", "/usr/share/fonts/opentype/freefont/FreeSans.otf"},
};
const char *const kText = "The quick brown fox jumps over the lazy dog. GLYVA 0123456789 @&%";

struct Run {
    glyvaShapeFont *font = nullptr;
    glyvaSolid *solid = nullptr;
    std::vector<uint32_t> glyphs;
    explicit Run(const char *path)
    {
        char message[128];
        if (glyvaShapeOpen(&font, path, 0, nullptr, message, sizeof message))
            return;
        solid = glyvaSolidCreate();
        const glyvaShapedGlyph *shaped = nullptr;
        const int32_t n = glyvaShapeText(font, kText, -1, nullptr, &shaped);
        std::set<uint32_t> distinct;
        for (int32_t i = 0; i < n; ++i)
            distinct.insert(shaped[i].glyphIndex);
        glyphs.assign(distinct.begin(), distinct.end());
    }
    ~Run()
    {
        glyvaSolidDestroy(solid);
        glyvaShapeClose(font);
    }
};

enum Kind { kFontMesh, kFlat, kPlain, kChamfer, kRounded };

const glyvaSolidOptions kOptions[] = {{0.2f, 0.0f, 0.0f, 0, 0, 0.0f, 0.0f},
                                      {0.2f, 0.0f, 0.0f, 0, 0, 0.0f, 0.0f},
                                      {0.2f, 0.0f, 0.0f, 0, 0, 0.0f, 0.0f},
                                      {0.2f, 0.02f, 0.0f, 1, 0, 0.0f, 0.0f},
                                      {0.25f, 0.03f, 0.0f, 4, 0, 0.0f, 0.0f}};

uint64_t pass(Run &run, Kind kind)
{
    uint64_t triangles = 0;
    /* The handle keeps the meshes it made until the quality changes: each pass meshes
     * afresh, as a solid is built afresh. */
    if (kind == kFontMesh) {
        glyvaShapeSetQuality(run.font, 49);
        glyvaShapeSetQuality(run.font, 50);
    }
    for (uint32_t g : run.glyphs) {
        const glyvaSolidVertex *v;
        const uint32_t *ix;
        uint32_t vc = 0, ic = 0;
        if (kind == kFontMesh) {
            const float *fv;
            const int32_t *fi;
            int32_t fvc = 0, fic = 0;
            if (glyvaShapeGlyphMesh(run.font, g, &fv, &fvc, &fi, &fic))
                triangles += static_cast<uint64_t>(fic / 3);
        } else if (kind == kFlat) {
            if (glyvaSolidFlat(run.solid, run.font, g, 0.0f, 0.0f, &v, &vc, &ix, &ic))
                triangles += ic / 3;
        } else if (glyvaSolidBuild(run.solid, run.font, g, &kOptions[kind], &v, &vc, &ix, &ic)) {
            triangles += ic / 3;
        }
    }
    return triangles;
}

void solidBench(benchmark::State &state, const char *path, Kind kind)
{
    Run run(path);
    if (!run.solid || run.glyphs.empty()) {
        state.SkipWithError("font not available");
        return;
    }
    uint64_t triangles = 0;
    for (auto _ : state)
        triangles = pass(run, kind);
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * run.glyphs.size()));
    state.counters["triangles_per_glyph"] = double(triangles) / run.glyphs.size();
}

int registerAll()
{
    const char *const kinds[] = {"font-mesh", "flat", "plain", "chamfer", "rounded4"};
    for (const auto &font : kFonts) {
        for (int k = kFontMesh; k <= kRounded; ++k)
            benchmark::RegisterBenchmark((std::string("solid/") + font[0] + "/" + kinds[k]).c_str(),
                                         solidBench, font[1], static_cast<Kind>(k))
                ->Unit(benchmark::kMicrosecond);
    }
    return 0;
}

const int registered = registerAll();

} // namespace

BENCHMARK_MAIN();
