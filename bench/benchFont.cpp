/* Whole-font meshing in the host's order against two floors on the same glyphs
 * (FreeType loading alone, and the plain load + flatten + GLU pipeline), contour
 * queries, and the heap an open, meshed font needs. After the timed cases, the glyph
 * path and GLU alone are timed in step (see pairedRatios): --rounds=N rounds (default
 * 11; 0 leaves them out). */
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <algorithm>
#include <memory>

#include <benchmark/benchmark.h>

#include "allocTracker.hh"
#include "glyph/glyphTesselator.h"
#include "support.hh"
#include "util/plyxUtil.h"

using namespace bench;

namespace
{

const int kQualities[] = {0, 8, 50, 100};

struct FontCase {
    FontSet *set;
    tavixInternalFontData *font = nullptr; /* the library's handle, open for the run */
    std::unique_ptr<Face> face;            /* the floors' own face */
    HostCopy copy;
    std::vector<float> contourCopy;
};

std::vector<std::unique_ptr<FontCase>> &cases()
{
    static std::vector<std::unique_ptr<FontCase>> c;
    return c;
}

std::string meshName(const FontSet &set, int q, const char *what)
{
    return fmt("mesh/%s/q%d/%s", set.name.c_str(), q, what);
}

/* Every contour of every glyph through GetGlyphContour, which flattens the whole glyph
 * per call, copied as a host would. Returns the number of contours read. */
uint64_t contourQueryPass(FontCase &fc)
{
    uint64_t read = 0;
    glyphInfoRecord info;
    for (uint32_t c : fc.set->chars) {
        if (!GetGlyphInfo(&info, fc.font, c))
            continue;
        for (int32_t k = 0; k < info.contourCount; ++k) {
            float *points = nullptr;
            uint8_t evenOdd = 0, postScript = 0;
            int32_t n = GetGlyphContour(&points, fc.font, c, k, &evenOdd, &postScript);
            if (n > 0) {
                fc.contourCopy.assign(points, points + 3 * static_cast<size_t>(n));
                ++read;
            }
        }
        ClearGlyphContour(fc.font);
    }
    benchmark::DoNotOptimize(fc.contourCopy.data());
    return read;
}

/* The floor of the same reading: one load and one flattening of each contour. */
uint64_t contourFloorPass(FontCase &fc)
{
    uint64_t read = 0;
    SimpleVec3Array list = {0, nullptr};
    for (uint32_t c : fc.set->chars) {
        FT_UInt g = FT_Get_Char_Index(fc.face->face, c);
        if (FT_Load_Glyph(fc.face->face, g, FT_LOAD_NO_HINTING))
            continue;
        const FT_Outline &outline = fc.face->face->glyph->outline;
        for (int k = 0; k < outline.n_contours; ++k) {
            int first = k == 0 ? 0 : outline.contours[k - 1] + 1;
            uint16_t count = static_cast<uint16_t>(outline.contours[k] - first + 1);
            if (fillContour(fc.font, outline.points + first,
                            reinterpret_cast<const char *>(outline.tags + first), count, &list)) {
                fc.contourCopy.assign(list.values[0],
                                      list.values[0] + 3 * static_cast<size_t>(list.count));
                ++read;
            }
            clearMFVec3f(&list);
        }
    }
    benchmark::DoNotOptimize(fc.contourCopy.data());
    return read;
}

/* Peak heap from before OpenFont to after CloseFont, meshing every glyph in the host's
 * order. The FreeType library and memory face alone are measured the same way, to
 * split the total, and each glyph's own peak above the heap it started from. */
void memoryReport(FontSet &set, int q)
{
    HostCopy copy;
    copy.vertices.reserve(1 << 20);
    copy.indices.reserve(1 << 20);
    PassTotals totals;

    std::vector<unsigned char> bytes;
    if (FILE *f = fopen(set.path.c_str(), "rb")) {
        bytes.resize(set.fileBytes);
        bytes.resize(fread(bytes.data(), 1, bytes.size(), f));
        fclose(f);
    }
    int64_t faceBytes = 0;
    {
        AllocWindow window;
        FT_Library library;
        FT_Face face;
        if (FT_Init_FreeType(&library) == 0) {
            if (FT_New_Memory_Face(library, bytes.data(), static_cast<FT_Long>(bytes.size()), 0,
                                   &face) == 0) {
                FT_Set_Char_Size(face, 0, kCharSize, 72, 72);
                faceBytes = window.now().liveBytes;
                FT_Done_Face(face);
            }
            FT_Done_FreeType(library);
        }
    }
    AllocStats afterOpen, afterClose;
    int64_t peak = 0, worstTransient = 0;
    uint32_t worstChar = 0, largestChar = 0;
    uint64_t largestMesh = 0;
    std::vector<uint32_t> one(1); /* allocated outside the window, like every bench buffer */
    {
        AllocWindow window;
        tavixInternalFontData *font = OpenFont(set.path.c_str());
        afterOpen = window.now();
        SetQuality(font, static_cast<uint32_t>(q));
        for (uint32_t c : set.chars) {
            int64_t before = window.now().liveBytes;
            peak = std::max(peak, window.now().peakBytes);
            restartPeak();
            one[0] = c;
            PassTotals glyph;
            libraryPass(font, one, copy, &glyph);
            int64_t transient = window.now().peakBytes - before;
            if (transient > worstTransient) {
                worstTransient = transient;
                worstChar = c;
            }
            if (glyph.maxMeshBytes > largestMesh) {
                largestMesh = glyph.maxMeshBytes;
                largestChar = c;
            }
        }
        peak = std::max(peak, window.now().peakBytes);
        CloseFont(font);
        afterClose = window.now();
    }
    uint64_t target = set.fileBytes + 64 * static_cast<uint64_t>(set.numGlyphs) + largestMesh;
    int64_t table = afterOpen.liveBytes - static_cast<int64_t>(set.fileBytes) - faceBytes;
    result(fmt("memory/%s/q%d", set.name.c_str(), q),
           fmt("file_bytes=%llu glyphs=%ld open_bytes=%lld freetype_bytes=%lld "
               "handle_and_table_bytes=%lld "
               "peak_bytes=%lld largest_mesh_bytes=%llu largest_mesh_char=U+%04X "
               "largest_glyph_transient_bytes=%lld its_char=U+%04X target_bytes=%llu "
               "open_over_target=%.3f peak_over_target=%.3f peak_over_file=%.3f "
               "live_after_close_bytes=%lld "
               "target=%s",
               (unsigned long long)set.fileBytes, set.numGlyphs, (long long)afterOpen.liveBytes,
               (long long)faceBytes, (long long)table, (long long)peak,
               (unsigned long long)largestMesh, largestChar, (long long)worstTransient, worstChar,
               (unsigned long long)target,
               static_cast<double>(afterOpen.liveBytes) / static_cast<double>(target),
               static_cast<double>(peak) / static_cast<double>(target),
               static_cast<double>(peak) / static_cast<double>(set.fileBytes),
               (long long)afterClose.liveBytes,
               peak <= static_cast<int64_t>(target) ? "met" : "missed"));
}

struct Verified {
    PassTotals library, plain;
    uint64_t gluCorners = 0;
    double libraryAllocs = 0, plainAllocs = 0, loadAllocs = 0;
};
std::map<std::string, Verified> verified;

/* Untimed: the library's arrays against the plain pipeline's, glyph by glyph (a hash),
 * and the allocation calls of each per glyph. */
void verify(FontCase &fc, int q)
{
    Verified v;
    SetQuality(fc.font, static_cast<uint32_t>(q));
    float quality = static_cast<float>(q) / 100.0f;
    double glyphs = static_cast<double>(fc.set->chars.size());
    {
        AllocWindow window;
        libraryPass(fc.font, fc.set->chars, fc.copy, &v.library, true);
        v.libraryAllocs = static_cast<double>(window.now().calls) / glyphs;
    }
    {
        AllocWindow window;
        plainPass(*fc.face, quality, fc.set->chars, fc.copy, &v.plain, true);
        v.plainAllocs = static_cast<double>(window.now().calls) / glyphs;
    }
    {
        AllocWindow window;
        loadPass(*fc.face, fc.set->chars, nullptr);
        v.loadAllocs = static_cast<double>(window.now().calls) / glyphs;
    }
    v.gluCorners = gluPass(*fc.face, quality, fc.set->chars);
    verified[meshName(*fc.set, q, "")] = v;
}

bool hasFlag(int argc, char **argv, const char *prefix)
{
    for (int i = 1; i < argc; ++i)
        if (strncmp(argv[i], prefix, strlen(prefix)) == 0)
            return true;
    return false;
}

double ratio(double a, double b)
{
    return (isnan(a) || isnan(b) || b == 0) ? NAN : a / b;
}

/* Processor time of this thread, in seconds. */
double threadSeconds()
{
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

template <typename Run> double timed(Run run)
{
    const double start = threadSeconds();
    run();
    return threadSeconds() - start;
}

/* The glyph path against GLU alone, timed in step: each round runs both over every glyph
 * in slices of kSlice glyphs, one slice of one right after the same slice of the other
 * (the order turning every slice), and keeps the ratio of their sums. Both meet the same
 * state of a shared machine (its other work, the host's) within a few milliseconds, which
 * moves the separate medians of whole interleaved passes far more than a round's ratio.
 * Rounds on the kept handle mesh glyphs it has meshed before; rounds on a handle opened
 * for the round (outside the timing) mesh each glyph for the first time on it, which
 * also counts its outline against the glyph budget. */
int g_rounds = 11;
constexpr size_t kSlice = 256;

struct Paired {
    double median = NAN, low = NAN, high = NAN;
};

Paired pairedRatios(FontCase &fc, int q, bool firstMeshes)
{
    const float quality = static_cast<float>(q) / 100.0f;
    std::vector<std::vector<uint32_t>> slices;
    for (size_t i = 0; i < fc.set->chars.size(); i += kSlice)
        slices.emplace_back(fc.set->chars.begin() + i,
                            fc.set->chars.begin() + std::min(i + kSlice, fc.set->chars.size()));
    SetQuality(fc.font, static_cast<uint32_t>(q));
    libraryPass(fc.font, fc.set->chars, fc.copy, nullptr); /* warm, uncounted */
    gluPass(*fc.face, quality, fc.set->chars);
    std::vector<double> ratios;
    bool libraryFirst = true;
    for (int r = 0; r < g_rounds; ++r) {
        tavixInternalFontData *font = firstMeshes ? OpenFont(fc.set->path.c_str()) : fc.font;
        SetQuality(font, static_cast<uint32_t>(q));
        double tl = 0, tg = 0;
        for (const std::vector<uint32_t> &slice : slices) {
            auto library = [&] { libraryPass(font, slice, fc.copy, nullptr); };
            auto glu = [&] { gluPass(*fc.face, quality, slice); };
            if (libraryFirst) {
                tl += timed(library), tg += timed(glu);
            } else {
                tg += timed(glu), tl += timed(library);
            }
            libraryFirst = !libraryFirst;
        }
        if (firstMeshes)
            CloseFont(font);
        ratios.push_back(ratio(tl, tg));
    }
    Paired p;
    if (ratios.empty())
        return p;
    const auto [low, high] = std::minmax_element(ratios.begin(), ratios.end());
    p.low = *low, p.high = *high;
    p.median = median(ratios);
    return p;
}

void pairedSummary()
{
    if (g_rounds <= 0)
        return;
    printf("\n== the glyph path against GLU alone, timed in step: median of %d rounds' ratios "
           "(lowest, highest; target at most 1.10) ==\n",
           g_rounds);
    printf("%-16s %-24s %s\n", "case", "meshed again", "meshed first on a handle");
    for (auto &fcp : cases()) {
        for (int q : {8, 50, 100}) {
            const Paired again = pairedRatios(*fcp, q, false);
            const Paired first = pairedRatios(*fcp, q, true);
            const std::string name = fmt("%s q%d", fcp->set->name.c_str(), q);
            printf("%-16s %6.3f (%5.3f, %5.3f)     %6.3f (%5.3f, %5.3f)\n", name.c_str(),
                   again.median, again.low, again.high, first.median, first.low, first.high);
            result(fmt("paired/%s/q%d", fcp->set->name.c_str(), q),
                   fmt("rounds=%d library_over_glu_median=%.4f lowest=%.4f highest=%.4f "
                       "first_median=%.4f first_lowest=%.4f first_highest=%.4f "
                       "target_1_10=%s first_target_1_10=%s",
                       g_rounds, again.median, again.low, again.high, first.median, first.low,
                       first.high, again.median <= 1.10 ? "met" : "missed",
                       first.median <= 1.10 ? "met" : "missed"));
        }
    }
}

void summary()
{
    printf("\n== whole-font meshing: library (host order) against the floors, fastest repetitions "
           "(CPU) ==\n");
    printf("%-28s %9s %9s %8s %8s %9s %9s %9s %8s %8s %s\n", "case", "glyphs/s", "lib ms",
           "verts/g", "tris/g", "allocs/g", "lib/plain", "lib/load", "plain/ld", "pl.alloc",
           "arrays");
    for (auto &fcp : cases()) {
        FontCase &fc = *fcp;
        double glyphs = static_cast<double>(fc.set->chars.size());
        std::string loadName = fmt("mesh/%s/load", fc.set->name.c_str());
        double load = fastest(loadName);
        for (int q : kQualities) {
            double lib = fastest(meshName(*fc.set, q, "library"));
            double plain = fastest(meshName(*fc.set, q, "plain"));
            double medianRatio = ratio(median(meshName(*fc.set, q, "library")),
                                       median(meshName(*fc.set, q, "plain")));
            if (isnan(lib) && isnan(plain))
                continue;
            const Verified &v = verified[meshName(*fc.set, q, "")];
            bool same = v.library.hash == v.plain.hash && v.library.indices == v.plain.indices;
            double vpg = static_cast<double>(v.library.vertices) / glyphs;
            double tpg = static_cast<double>(v.library.indices) / 3.0 / glyphs;
            printf("%-28s %9.0f %9.1f %8.1f %8.1f %9.1f %9.3f %9.2f %8.2f %8.1f %s\n",
                   fmt("%s q%d", fc.set->name.c_str(), q).c_str(), glyphs / lib, lib * 1e3, vpg,
                   tpg, v.libraryAllocs, ratio(lib, plain), ratio(lib, load), ratio(plain, load),
                   v.plainAllocs, same ? "identical" : "DIFFER");
            result(fmt("mesh/%s/q%d", fc.set->name.c_str(), q),
                   fmt("glyphs=%.0f library_s=%.6f plain_s=%.6f load_s=%.6f glyphs_per_s=%.1f "
                       "vertices_per_glyph=%.2f triangles_per_glyph=%.2f allocs_per_glyph=%.2f "
                       "plain_allocs_per_glyph=%.2f load_allocs_per_glyph=%.2f "
                       "library_over_plain=%.4f library_over_plain_median=%.4f "
                       "library_over_load=%.3f plain_over_load=%.3f "
                       "identical_to_plain=%d target_1_15=%s target_0_75=%s",
                       glyphs, lib, plain, load, glyphs / lib, vpg, tpg, v.libraryAllocs,
                       v.plainAllocs, v.loadAllocs, ratio(lib, plain), medianRatio,
                       ratio(lib, load), ratio(plain, load), same ? 1 : 0,
                       ratio(lib, plain) <= 1.15 ? "met" : "missed",
                       q == 0 ? "n/a" : (ratio(lib, plain) <= 0.75 ? "met" : "missed")));
        }
    }
    printf("\n== the glyph path against GLU alone on the same flattened contours (target at most "
           "1.10) ==\n");
    printf("%-28s %9s %9s %10s %10s %s\n", "case", "lib ms", "glu ms", "lib/glu", "(median)",
           "corners");
    for (auto &fcp : cases()) {
        FontCase &fc = *fcp;
        for (int q : kQualities) {
            std::string lib = meshName(*fc.set, q, "library"), glu = meshName(*fc.set, q, "glu");
            if (isnan(fastest(glu)))
                continue;
            const Verified &v = verified[meshName(*fc.set, q, "")];
            bool same = v.gluCorners == v.library.indices;
            double r = ratio(fastest(lib), fastest(glu)), rm = ratio(median(lib), median(glu));
            printf("%-28s %9.1f %9.1f %10.3f %10.3f %s\n",
                   fmt("%s q%d", fc.set->name.c_str(), q).c_str(), fastest(lib) * 1e3,
                   fastest(glu) * 1e3, r, rm, same ? "same" : "DIFFER");
            result(fmt("glu/%s/q%d", fc.set->name.c_str(), q),
                   fmt("library_s=%.6f glu_s=%.6f library_over_glu=%.4f "
                       "library_over_glu_median=%.4f same_corners=%d target_1_10=%s",
                       fastest(lib), fastest(glu), r, rm, same ? 1 : 0,
                       r <= 1.10 ? "met" : "missed"));
        }
    }
    pairedSummary();
    printf("\n== contour queries (quality 50): GetGlyphContour per contour against one flattening "
           "each ==\n");
    for (auto &fcp : cases()) {
        FontCase &fc = *fcp;
        std::string q = fmt("contours/%s/query", fc.set->name.c_str());
        std::string f = fmt("contours/%s/floor", fc.set->name.c_str());
        double n = elements(q);
        double tq = fastest(q), tf = fastest(f);
        if (isnan(tq))
            continue;
        int most = 0;
        for (int c : fc.set->contours)
            most = c > most ? c : most;
        printf(
            "%-12s contours=%.0f  query %.0f ns/contour  floor %.0f ns/contour  query/floor %.2f  "
            "(most contours in one glyph: %d)\n",
            fc.set->name.c_str(), n, tq / n * 1e9, tf / n * 1e9, ratio(tq, tf), most);
        result(fmt("contours/%s", fc.set->name.c_str()),
               fmt("contours=%.0f query_ns_per_contour=%.1f floor_ns_per_contour=%.1f "
                   "query_over_floor=%.3f most_contours=%d",
                   n, tq / n * 1e9, tf / n * 1e9, ratio(tq, tf), most));
    }
}

} // namespace

int main(int argc, char **argv)
{
    bool single = hasFlag(argc, argv, "--single=");
    /* --rounds=N: rounds of the passes in step (0 leaves them out); not Google
     * Benchmark's flag, so taken out of the arguments before it reads them. */
    for (int i = 1; i < argc; ++i)
        if (strncmp(argv[i], "--rounds=", 9) == 0) {
            g_rounds = atoi(argv[i] + 9);
            std::copy(argv + i + 1, argv + argc, argv + i);
            --argc, --i;
        }
    for (FontSet &set : benchFonts()) {
        auto fc = std::make_unique<FontCase>();
        fc->set = &set;
        fc->font = OpenFont(set.path.c_str());
        fc->face = std::make_unique<Face>(set.path);
        fc->copy.vertices.reserve(1 << 16);
        fc->copy.indices.reserve(1 << 18);
        cases().push_back(std::move(fc));
    }
    if (!single) {
        printf("fonts:");
        for (auto &fc : cases())
            printf(" %s (%zu glyphs with outlines of %ld, %llu bytes)", fc->set->name.c_str(),
                   fc->set->chars.size(), fc->set->numGlyphs,
                   (unsigned long long)fc->set->fileBytes);
        printf("\n");
        for (auto &fc : cases()) {
            /* records valid and copy capacities grown before anything is counted */
            SetQuality(fc->font, 0);
            libraryPass(fc->font, fc->set->chars, fc->copy, nullptr);
            for (int q : kQualities)
                verify(*fc, q);
        }
        for (auto &fc : cases())
            for (int q : {50, 100})
                memoryReport(*fc->set, q);
        fflush(stdout);
    }

    for (auto &fcp : cases()) {
        FontCase *fc = fcp.get();
        for (int q : kQualities) {
            registerPass(
                meshName(*fc->set, q, "library"),
                [fc, q] {
                    SetQuality(fc->font, static_cast<uint32_t>(q));
                    libraryPass(fc->font, fc->set->chars, fc->copy, nullptr);
                },
                static_cast<int64_t>(fc->set->chars.size()));
            registerPass(
                meshName(*fc->set, q, "plain"),
                [fc, q] {
                    plainPass(*fc->face, static_cast<float>(q) / 100.0f, fc->set->chars, fc->copy,
                              nullptr);
                },
                static_cast<int64_t>(fc->set->chars.size()));
        }
        for (int q : kQualities)
            registerPass(
                meshName(*fc->set, q, "glu"),
                [fc, q] { gluPass(*fc->face, static_cast<float>(q) / 100.0f, fc->set->chars); },
                static_cast<int64_t>(fc->set->chars.size()));
        registerPass(
            fmt("mesh/%s/load", fc->set->name.c_str()),
            [fc] { loadPass(*fc->face, fc->set->chars, nullptr); },
            static_cast<int64_t>(fc->set->chars.size()));
        int64_t contours = 0;
        for (int c : fc->set->contours)
            contours += c;
        registerPass(
            fmt("contours/%s/query", fc->set->name.c_str()),
            [fc] {
                SetQuality(fc->font, 50);
                contourQueryPass(*fc);
            },
            contours);
        registerPass(
            fmt("contours/%s/floor", fc->set->name.c_str()),
            [fc] {
                SetQuality(fc->font, 50);
                contourFloorPass(*fc);
            },
            contours);
    }
    int rc = runBenchmarks(argc, argv);
    if (rc < 0) {
        summary();
        rc = 0;
    }
    for (auto &fc : cases())
        CloseFont(fc->font);
    return rc;
}
