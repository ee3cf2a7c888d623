/* FTGL as a peer: its polygon font meshing the same glyphs at the same curve density
 * (FTGL cuts every curve into 5 segments; our quality 8 does the same), GL calls
 * recorded by stubs. Both sides open the font, mesh every glyph once and close it,
 * since FTGL keeps each glyph's mesh for the life of the font. */
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <memory>

#include <FTGL/ftgl.h>
#include FT_OUTLINE_H
#include FT_BITMAP_H
#include <GL/gl.h>
#include <benchmark/benchmark.h>

#include "allocTracker.hh"
#include "glRecorder.hh"
#include "support.hh"

using namespace bench;

namespace
{

constexpr int kQuality = 8;
/* FTGL lays the outline out in pixels (26.6 / 64) at FaceSize(10) and 72 dpi, the
 * library in ems (26.6 / 640). */
constexpr float kFtglToEm = 0.1f;

void ftglPass(const FontSet &set, GlRecorder &rec, void (*perGlyph)(uint32_t, GlRecorder &))
{
    FTPolygonFont font(set.path.c_str());
    font.FaceSize(10, 72);
    font.UseDisplayList(false);
    wchar_t text[2] = {0, 0};
    for (uint32_t c : set.chars) {
        rec.clear();
        text[0] = static_cast<wchar_t>(c);
        font.Render(text, 1);
        if (perGlyph)
            perGlyph(c, rec);
    }
    benchmark::DoNotOptimize(rec.vertices.data());
}

void glyvaPass(const FontSet &set, HostCopy &copy, PassTotals *totals,
               void (*perGlyph)(uint32_t, const HostCopy &) = nullptr)
{
    tavixInternalFontData *font = OpenFont(set.path.c_str());
    SetQuality(font, kQuality);
    if (!perGlyph) {
        libraryPass(font, set.chars, copy, totals);
    } else {
        for (uint32_t c : set.chars) {
            std::vector<uint32_t> one(1, c);
            libraryPass(font, one, copy, nullptr);
            perGlyph(c, copy);
        }
    }
    CloseFont(font);
}

/* ---- the check of equal density and of areas ---- */

struct GlyphShape {
    size_t distinct = 0;
    size_t triangles = 0;
    double area = 0;
    float box[4] = {0, 0, 0, 0};
};

size_t distinctPoints(std::vector<std::pair<float, float>> &xy)
{
    std::sort(xy.begin(), xy.end());
    return static_cast<size_t>(std::unique(xy.begin(), xy.end()) - xy.begin());
}

double triArea(const float *a, const float *b, const float *c)
{
    return 0.5 * fabs(static_cast<double>(b[0] - a[0]) * (c[1] - a[1]) -
                      static_cast<double>(b[1] - a[1]) * (c[0] - a[0]));
}

void boxOf(const std::vector<std::pair<float, float>> &xy, float box[4])
{
    if (xy.empty())
        return;
    box[0] = box[2] = xy[0].first;
    box[1] = box[3] = xy[0].second;
    for (auto &p : xy) {
        box[0] = std::min(box[0], p.first);
        box[2] = std::max(box[2], p.first);
        box[1] = std::min(box[1], p.second);
        box[3] = std::max(box[3], p.second);
    }
}

std::map<uint32_t, GlyphShape> g_ours, g_theirs;

void recordOurs(uint32_t c, const HostCopy &copy)
{
    GlyphShape s;
    std::vector<std::pair<float, float>> xy;
    for (size_t i = 0; i + 1 < copy.vertices.size(); i += 2)
        xy.push_back({copy.vertices[i], copy.vertices[i + 1]});
    boxOf(xy, s.box);
    s.distinct = distinctPoints(xy);
    s.triangles = copy.indices.size() / 3;
    for (size_t t = 0; t + 2 < copy.indices.size(); t += 3)
        s.area +=
            triArea(&copy.vertices[2 * copy.indices[t]], &copy.vertices[2 * copy.indices[t + 1]],
                    &copy.vertices[2 * copy.indices[t + 2]]);
    g_ours[c] = s;
}

void recordTheirs(uint32_t c, GlRecorder &rec)
{
    GlyphShape s;
    std::vector<std::pair<float, float>> xy;
    std::vector<float> v(rec.vertices.size());
    for (size_t i = 0; i < rec.vertices.size(); ++i)
        v[i] = rec.vertices[i] * kFtglToEm;
    for (size_t i = 0; i + 2 < v.size(); i += 3)
        xy.push_back({v[i], v[i + 1]});
    boxOf(xy, s.box);
    s.distinct = distinctPoints(xy);
    for (const GlPrimitive &p : rec.primitives) {
        const float *b = &v[3 * p.first];
        auto at = [b](size_t i) { return b + 3 * i; };
        if (p.mode == GL_TRIANGLES) {
            for (size_t i = 0; i + 2 < p.count; i += 3, ++s.triangles)
                s.area += triArea(at(i), at(i + 1), at(i + 2));
        } else if (p.mode == GL_TRIANGLE_STRIP) {
            for (size_t i = 0; i + 2 < p.count; ++i, ++s.triangles)
                s.area += triArea(at(i), at(i + 1), at(i + 2));
        } else if (p.mode == GL_TRIANGLE_FAN) {
            for (size_t i = 1; i + 1 < p.count; ++i, ++s.triangles)
                s.area += triArea(at(0), at(i), at(i + 1));
        }
    }
    g_theirs[c] = s;
}

/* The glyph's filled area in em^2 from FreeType's own anti-aliased rasteriser (exact
 * curves, the outline's fill rule), at 640 pixels per em: the referee when the two
 * meshes disagree. */
double rasterArea(FT_Face face, uint32_t c)
{
    if (FT_Load_Glyph(face, FT_Get_Char_Index(face, c), FT_LOAD_NO_HINTING))
        return NAN;
    FT_Outline outline;
    if (FT_Outline_New(face->glyph->library, face->glyph->outline.n_points,
                       face->glyph->outline.n_contours, &outline))
        return NAN;
    FT_Outline_Copy(&face->glyph->outline, &outline);
    FT_Matrix up = {64 << 16, 0, 0, 64 << 16};
    FT_Outline_Transform(&outline, &up);
    FT_BBox box;
    FT_Outline_Get_CBox(&outline, &box);
    FT_Outline_Translate(&outline, -(box.xMin & ~63), -(box.yMin & ~63));
    int width = static_cast<int>(((box.xMax + 63) & ~63) - (box.xMin & ~63)) / 64 + 1;
    int rows = static_cast<int>(((box.yMax + 63) & ~63) - (box.yMin & ~63)) / 64 + 1;
    std::vector<unsigned char> pixels(static_cast<size_t>(width) * rows);
    FT_Bitmap bitmap;
    FT_Bitmap_Init(&bitmap);
    bitmap.width = static_cast<unsigned>(width);
    bitmap.rows = static_cast<unsigned>(rows);
    bitmap.pitch = width;
    bitmap.buffer = pixels.data();
    bitmap.pixel_mode = FT_PIXEL_MODE_GRAY;
    bitmap.num_grays = 256;
    double area = NAN;
    if (FT_Outline_Get_Bitmap(face->glyph->library, &outline, &bitmap) == 0) {
        double sum = 0;
        for (unsigned char p : pixels)
            sum += p;
        area = sum / 255.0 / (640.0 * 640.0);
    }
    FT_Outline_Done(face->glyph->library, &outline);
    return area;
}

struct Check {
    uint64_t glyphs = 0, oursDistinct = 0, theirsDistinct = 0, oursTriangles = 0,
             theirsTriangles = 0;
    uint64_t areaDiffers = 0, boxDiffers = 0, theirsEmpty = 0;
    uint64_t oursCloser = 0; /* of the differing glyphs, ours nearer FreeType's raster */
    double oursAllocs = 0, theirsAllocs = 0;
    std::vector<uint32_t> examples;
    bool centSignDiffers = false;
    bool centChecked = false;
};
std::map<std::string, Check> g_checks;

void check(const FontSet &set)
{
    Check k;
    HostCopy copy;
    Face face(set.path);
    g_ours.clear();
    g_theirs.clear();
    glyvaPass(set, copy, nullptr, recordOurs);
    GlRecorder &rec = glRecorder();
    ftglPass(set, rec, recordTheirs);
    for (uint32_t c : set.chars) {
        const GlyphShape &a = g_ours[c], &b = g_theirs[c];
        ++k.glyphs;
        k.oursDistinct += a.distinct;
        k.theirsDistinct += b.distinct;
        k.oursTriangles += a.triangles;
        k.theirsTriangles += b.triangles;
        if (b.triangles == 0)
            ++k.theirsEmpty;
        bool differs = fabs(a.area - b.area) > 0.01 * a.area;
        if (differs) {
            ++k.areaDiffers;
            double referee = rasterArea(face.face, c);
            if (fabs(a.area - referee) < fabs(b.area - referee))
                ++k.oursCloser;
            if (k.examples.size() < 8)
                k.examples.push_back(c);
        }
        if (getenv("BENCH_SHOW_AREAS"))
            printf("U+%04X ours area %.6f tris %zu distinct %zu | FTGL area %.6f tris %zu distinct "
                   "%zu\n",
                   c, a.area, a.triangles, a.distinct, b.area, b.triangles, b.distinct);
        if (c == 0xA2) {
            k.centChecked = true;
            k.centSignDiffers = differs;
        }
        for (int i = 0; i < 4; ++i)
            if (fabs(a.box[i] - b.box[i]) > 1e-3f) {
                ++k.boxDiffers;
                break;
            }
    }
    {
        AllocWindow window;
        glyvaPass(set, copy, nullptr);
        k.oursAllocs =
            static_cast<double>(window.now().calls) / static_cast<double>(set.chars.size());
    }
    {
        AllocWindow window;
        ftglPass(set, rec, nullptr);
        k.theirsAllocs =
            static_cast<double>(window.now().calls) / static_cast<double>(set.chars.size());
    }
    g_checks[set.name] = k;
}

double ratio(double a, double b)
{
    return (isnan(a) || isnan(b) || b == 0) ? NAN : a / b;
}

void summary()
{
    printf(
        "\n== FTGL peer at equal curve density (library quality %d), open + mesh all + close ==\n",
        kQuality);
    const GlRecorder &rec = glRecorder();
    if (rec.beginCalls == 0)
        printf("WARNING: the GL stubs received no glBegin: FTGL is not bound to them\n");
    for (const FontSet &set : benchFonts()) {
        std::string ours = fmt("peer/%s/glyva-q%d", set.name.c_str(), kQuality);
        std::string theirs = fmt("peer/%s/ftgl", set.name.c_str());
        double to = fastest(ours), tt = fastest(theirs);
        double medianRatio = ratio(median(theirs), median(ours));
        const Check &k = g_checks[set.name];
        double glyphs = static_cast<double>(set.chars.size());
        printf(
            "%-11s glyphs/s ours %.0f FTGL %.0f -> ours/FTGL throughput %.2f  | distinct vertices "
            "ours/FTGL %.3f, triangles ours/FTGL %.3f | area differs >1%%: %llu glyphs "
            "(ours nearer FreeType's raster for %llu of them; FTGL meshed nothing for %llu; U+00A2 "
            "%s) | bbox differs: %llu | allocs/glyph ours %.1f "
            "FTGL %.1f\n",
            set.name.c_str(), glyphs / to, glyphs / tt, ratio(tt, to),
            ratio(static_cast<double>(k.oursDistinct), static_cast<double>(k.theirsDistinct)),
            ratio(static_cast<double>(k.oursTriangles), static_cast<double>(k.theirsTriangles)),
            (unsigned long long)k.areaDiffers, (unsigned long long)k.oursCloser,
            (unsigned long long)k.theirsEmpty,
            !k.centChecked ? "absent" : (k.centSignDiffers ? "differs" : "agrees"),
            (unsigned long long)k.boxDiffers, k.oursAllocs, k.theirsAllocs);
        std::string examples;
        for (uint32_t c : k.examples)
            examples += fmt("%sU+%04X", examples.empty() ? "" : ",", c);
        result(
            fmt("peer/%s", set.name.c_str()),
            fmt("glyphs=%.0f ours_s=%.6f ftgl_s=%.6f ours_over_ftgl_throughput=%.3f "
                "ours_over_ftgl_throughput_median=%.3f "
                "distinct_vertices_ours_over_ftgl=%.4f triangles_ours_over_ftgl=%.4f "
                "area_differs_glyphs=%llu ours_nearer_raster=%llu ftgl_empty_glyphs=%llu "
                "bbox_differs_glyphs=%llu "
                "allocs_per_glyph=%.2f ftgl_allocs_per_glyph=%.2f u00a2_area=%s examples=%s "
                "target_1_3=%s",
                glyphs, to, tt, ratio(tt, to), medianRatio,
                ratio(static_cast<double>(k.oursDistinct), static_cast<double>(k.theirsDistinct)),
                ratio(static_cast<double>(k.oursTriangles), static_cast<double>(k.theirsTriangles)),
                (unsigned long long)k.areaDiffers, (unsigned long long)k.oursCloser,
                (unsigned long long)k.theirsEmpty, (unsigned long long)k.boxDiffers, k.oursAllocs,
                k.theirsAllocs,
                !k.centChecked ? "absent" : (k.centSignDiffers ? "differs" : "agrees"),
                examples.empty() ? "-" : examples.c_str(),
                ratio(tt, to) >= 1.3 ? "met" : "missed"));
    }
}

bool hasFlag(int argc, char **argv, const char *prefix)
{
    for (int i = 1; i < argc; ++i)
        if (strncmp(argv[i], prefix, strlen(prefix)) == 0)
            return true;
    return false;
}

} // namespace

int main(int argc, char **argv)
{
    static HostCopy copy;
    copy.vertices.reserve(1 << 16);
    copy.indices.reserve(1 << 18);
    glRecorder().vertices.reserve(1 << 20);
    glRecorder().primitives.reserve(1 << 12);
    if (!hasFlag(argc, argv, "--single="))
        for (const FontSet &set : benchFonts())
            check(set);
    for (const FontSet &set : benchFonts()) {
        const FontSet *s = &set;
        registerPass(
            fmt("peer/%s/glyva-q%d", set.name.c_str(), kQuality),
            [s] { glyvaPass(*s, copy, nullptr); }, static_cast<int64_t>(set.chars.size()));
        registerPass(
            fmt("peer/%s/ftgl", set.name.c_str()), [s] { ftglPass(*s, glRecorder(), nullptr); },
            static_cast<int64_t>(set.chars.size()));
    }
    int rc = runBenchmarks(argc, argv);
    if (rc < 0) {
        summary();
        rc = 0;
    }
    return rc;
}
