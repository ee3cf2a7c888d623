/* How cost grows with size: strings meshed without clearing between glyphs (the
 * shared vertex array and the per-glyph index lists keep growing), and single
 * contours of 10 to 100000 points through fillContour and the Tesselator. Each
 * series prints time per element from the smallest to the largest case. */
#include <math.h>
#include <stdio.h>
#include <string.h>

#include <deque>

#include <GL/glu.h>
#include <benchmark/benchmark.h>

#include "glyph/Tesselator.h"
#include "glyph/glyphTesselator.h"
#include "support.hh"
#include "util/plyxUtil.h"

using namespace bench;

namespace
{

const int kStringLengths[] = {1, 10, 100, 1000};
const int kContourSizes[] = {10, 100, 1000, 10000, 100000};
/* The star is quadratic in GLU itself; beyond this it only costs minutes. */
constexpr int kStarLargest = 10000;
constexpr int kStringQuality = 50;
/* Quality 8: five points per quadratic segment, so 100000 points fit in the 16-bit
 * point count that fillContour takes. */
constexpr int kContourQuality = 8;
const char kText[] = "The quick brown fox jumps over the lazy dog. ";

tavixInternalFontData *g_font = nullptr;

struct Host {
    std::vector<float> vertices;
    std::vector<int32_t> indices;
};

/* A host meshing a string: every character in order, copying what is new. Without
 * clearing, GetGlyphVertices hands back the whole shared array and the glyph's index
 * list holds every earlier mesh of the same character, so only the tails are new. */
uint64_t stringPass(const std::vector<uint32_t> &text, bool clearEach, Host &host)
{
    int32_t previousIndices[128] = {0};
    int32_t previousVertices = 0;
    host.vertices.clear();
    host.indices.clear();
    glyphInfoRecord info;
    for (uint32_t c : text) {
        float *v = nullptr;
        int32_t *idx = nullptr;
        if (!GetGlyphInfo(&info, g_font, c))
            continue;
        int32_t nv = GetGlyphVertices(&v, g_font, c);
        int32_t ni = GetGlyphTriangleIndices(&idx, g_font, c);
        if (nv < 0 || ni < 0)
            continue;
        if (clearEach) {
            host.vertices.insert(host.vertices.end(), v, v + 2 * nv);
            host.indices.insert(host.indices.end(), idx, idx + ni);
            ClearGlyphData(g_font, c);
        } else {
            host.vertices.insert(host.vertices.end(), v + 2 * previousVertices, v + 2 * nv);
            host.indices.insert(host.indices.end(), idx + previousIndices[c & 127], idx + ni);
            previousVertices = nv;
            previousIndices[c & 127] = ni;
        }
    }
    if (!clearEach) {
        bool cleared[128] = {false};
        for (uint32_t c : text)
            if (!cleared[c & 127]) {
                cleared[c & 127] = true;
                ClearGlyphData(g_font, c);
            }
    }
    benchmark::DoNotOptimize(host.indices.data());
    return host.indices.size();
}

/* A closed contour of k quadratic segments on a circle (on-curve, control, ...). */
struct Contour {
    std::vector<FT_Vector> points;
    std::vector<unsigned char> tags;
};

Contour conicCircle(int segments)
{
    Contour c;
    const double radius = 64000.0; /* 26.6 units: 100 em */
    for (int k = 0; k < segments; ++k) {
        double a = 2.0 * M_PI * k / segments, b = 2.0 * M_PI * (k + 0.5) / segments;
        double rc = radius / cos(M_PI / segments);
        c.points.push_back({static_cast<FT_Pos>(lround(radius * cos(a))),
                            static_cast<FT_Pos>(lround(radius * sin(a)))});
        c.tags.push_back(1);
        c.points.push_back(
            {static_cast<FT_Pos>(lround(rc * cos(b))), static_cast<FT_Pos>(lround(rc * sin(b)))});
        c.tags.push_back(0);
    }
    return c;
}

/* A saw of n points: a straight base and n - 2 teeth over it, x-monotone, so that
 * GLU's sweep holds few edges at a time and its own cost stays near n log n. */
std::vector<float> saw(int n)
{
    std::vector<float> v = {0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f};
    int teeth = n - 2;
    for (int i = teeth - 1; i >= 0; --i) {
        v.push_back(static_cast<float>(static_cast<double>(i) / (teeth - 1)));
        v.push_back((i % 2) ? 1.5f : 1.0f);
        v.push_back(0.0f);
    }
    return v;
}

/* A star of n points, radii alternating 1 and 0.8: concave at every other vertex. A
 * sweep line crosses a fixed share of its n edges near the left and right ends, which
 * is what GLU's list of active edges handles in time linear in their number. */
std::vector<float> star(int n)
{
    std::vector<float> v;
    for (int i = 0; i < n; ++i) {
        double a = 2.0 * M_PI * i / n, r = (i % 2) ? 0.8 : 1.0;
        v.push_back(static_cast<float>(r * cos(a)));
        v.push_back(static_cast<float>(r * sin(a)));
        v.push_back(0.0f);
    }
    return v;
}

/* GLU alone on the same polygon, output into reserved storage: the floor that shows
 * whether growth is GLU's own. */
struct GluSink {
    std::vector<const double *> corners;
    std::deque<double> combined;
};

void gluVertexCb(void *vertex, void *data)
{
    static_cast<GluSink *>(data)->corners.push_back(static_cast<const double *>(vertex));
}
void gluCombineCb(GLdouble coords[3], void *[4], GLfloat[4], void **out, void *data)
{
    auto *sink = static_cast<GluSink *>(data);
    for (int i = 0; i < 3; ++i)
        sink->combined.push_back(coords[i]);
    *out = &sink->combined[sink->combined.size() - 3];
}
void gluNothing(GLboolean, void *) {}
void gluBeginCb(GLenum, void *) {}

size_t gluPass(const std::vector<double> &xyz, GluSink &sink)
{
    sink.corners.clear();
    sink.combined.clear();
    GLUtesselator *tess = gluNewTess();
    gluTessCallback(tess, GLU_TESS_BEGIN_DATA, reinterpret_cast<_GLUfuncptr>(gluBeginCb));
    gluTessCallback(tess, GLU_TESS_VERTEX_DATA, reinterpret_cast<_GLUfuncptr>(gluVertexCb));
    gluTessCallback(tess, GLU_TESS_COMBINE_DATA, reinterpret_cast<_GLUfuncptr>(gluCombineCb));
    gluTessCallback(tess, GLU_TESS_EDGE_FLAG_DATA, reinterpret_cast<_GLUfuncptr>(gluNothing));
    gluTessProperty(tess, GLU_TESS_WINDING_RULE, GLU_TESS_WINDING_ODD);
    gluTessNormal(tess, 0, 0, 1);
    gluTessBeginPolygon(tess, &sink);
    gluTessBeginContour(tess);
    for (size_t i = 0; i < xyz.size(); i += 3)
        gluTessVertex(tess, const_cast<double *>(&xyz[i]), const_cast<double *>(&xyz[i]));
    gluTessEndContour(tess);
    gluTessEndPolygon(tess);
    gluDeleteTess(tess);
    benchmark::DoNotOptimize(sink.corners.data());
    return sink.corners.size();
}

size_t tesselatorPass(const std::vector<float> &xyz)
{
    Tesselator t(static_cast<float>(GLU_TESS_WINDING_ODD), 3);
    t.BeginContour();
    for (size_t i = 0; i < xyz.size(); i += 3)
        t.Vertex(&xyz[i]);
    t.EndContour();
    tessInfo *info = t.Finish();
    benchmark::DoNotOptimize(info->indices.values);
    return info->indices.count;
}

struct Series {
    std::string title;
    std::string unit;
    std::vector<std::string> names;
    std::vector<int> sizes;
};
std::vector<Series> g_series;

double ratio(double a, double b)
{
    return (isnan(a) || isnan(b) || b == 0) ? NAN : a / b;
}

void summary()
{
    printf("\n== cost growth: time per element (fastest repetitions, CPU) ==\n");
    for (const Series &s : g_series) {
        if (s.names.empty() || isnan(fastest(s.names.front())))
            continue;
        printf("%-44s", (s.title + " [ns/" + s.unit + "]").c_str());
        double first = NAN, last = NAN;
        std::string fields;
        for (size_t i = 0; i < s.names.size(); ++i) {
            double per = fastest(s.names[i]) / elements(s.names[i]) * 1e9;
            printf(" %d:%.1f", s.sizes[i], per);
            fields += fmt("n%d_ns=%.2f ", s.sizes[i], per);
            if (i == 0)
                first = per;
            last = per;
        }
        double growth = ratio(last, first);
        printf("  largest/smallest %.2f%s\n", growth, growth > 2.0 ? "  SUPER-LINEAR" : "");
        result("growth/" + s.title, fields + fmt("largest_over_smallest=%.3f flat_within_2=%s",
                                                 growth, growth <= 2.0 ? "met" : "missed"));
    }
    printf("\n== same sizes, one series against another (ratio of fastest repetitions) ==\n");
    auto compare = [](const char *title, const Series &a, const Series &b) {
        if (a.names.empty() || isnan(fastest(a.names.front())) || isnan(fastest(b.names.front())))
            return;
        printf("%-44s", title);
        std::string fields;
        for (size_t i = 0; i < a.names.size() && i < b.names.size(); ++i) {
            double r = ratio(fastest(a.names[i]) / elements(a.names[i]),
                             fastest(b.names[i]) / elements(b.names[i]));
            printf(" %d:%.2f", a.sizes[i], r);
            fields += fmt("n%d=%.3f ", a.sizes[i], r);
        }
        printf("\n");
        result(std::string("compare/") + title, fields);
    };
    auto find = [](const char *title) -> const Series & {
        for (const Series &s : g_series)
            if (s.title == title)
                return s;
        return g_series.front();
    };
    compare("string noclear/clear", find("string-noclear"), find("string-clear"));
    compare("fillContour/reserved", find("fillContour"), find("flatten-reserved"));
    compare("plain-exactfit/reserved", find("flatten-exactfit"), find("flatten-reserved"));
    compare("Tesselator/GLU-alone", find("Tesselator"), find("GLU-alone"));
    compare("Tesselator/GLU-alone (star)", find("Tesselator-star"), find("GLU-alone-star"));
}

} // namespace

int main(int argc, char **argv)
{
    if (benchFonts().empty())
        return 1;
    const FontSet &set = benchFonts().front();
    g_font = OpenFont(set.path.c_str());
    SetQuality(g_font, kStringQuality);
    static Host host;
    host.vertices.reserve(1 << 20);
    host.indices.reserve(1 << 21);

    Series noclear{"string-noclear", "corner", {}, {}}, clear{"string-clear", "corner", {}, {}};
    for (int n : kStringLengths) {
        auto *text = new std::vector<uint32_t>;
        for (int i = 0; i < n; ++i)
            text->push_back(static_cast<unsigned char>(kText[i % (sizeof kText - 1)]));
        uint64_t corners = stringPass(*text, false, host);
        std::string a = fmt("string/%s/%d/noclear", set.name.c_str(), n);
        std::string b = fmt("string/%s/%d/clear", set.name.c_str(), n);
        registerPass(
            a, [text] { stringPass(*text, false, host); }, static_cast<int64_t>(corners));
        registerPass(
            b, [text] { stringPass(*text, true, host); }, static_cast<int64_t>(corners));
        noclear.names.push_back(a);
        noclear.sizes.push_back(n);
        clear.names.push_back(b);
        clear.sizes.push_back(n);
    }
    g_series.push_back(noclear);
    g_series.push_back(clear);

    Series fill{"fillContour", "point", {}, {}}, exact{"flatten-exactfit", "point", {}, {}},
        reserved{"flatten-reserved", "point", {}, {}};
    Series lib{"Tesselator", "vertex", {}, {}}, glu{"GLU-alone", "vertex", {}, {}};
    Series starLib{"Tesselator-star", "vertex", {}, {}},
        starGlu{"GLU-alone-star", "vertex", {}, {}};
    tavixInternalFontData *contourFont = OpenFont(set.path.c_str());
    SetQuality(contourFont, kContourQuality);
    const float quality = kContourQuality / 100.0f;
    for (int size : kContourSizes) {
        auto *c = new Contour(conicCircle(size / 5 < 2 ? 2 : size / 5));
        SimpleVec3Array probe = {0, nullptr};
        fillContour(contourFont, c->points.data(), reinterpret_cast<const char *>(c->tags.data()),
                    static_cast<uint16_t>(c->points.size()), &probe);
        int64_t points = probe.count;
        clearMFVec3f(&probe);
        std::string f = fmt("contour/fillContour/%d", size);
        registerPass(
            f,
            [c, contourFont] {
                SimpleVec3Array list = {0, nullptr};
                fillContour(contourFont, c->points.data(),
                            reinterpret_cast<const char *>(c->tags.data()),
                            static_cast<uint16_t>(c->points.size()), &list);
                benchmark::DoNotOptimize(list.values);
                clearMFVec3f(&list);
            },
            points);
        std::string e = fmt("contour/flatten-exactfit/%d", size);
        registerPass(
            e,
            [c, quality] {
                SimpleVec3Array list = {0, nullptr};
                MFSink sink{&list};
                flattenPlain(quality, c->points.data(), c->tags.data(),
                             static_cast<int>(c->points.size()), sink);
                benchmark::DoNotOptimize(list.values);
                clearMFVec3f(&list);
            },
            points);
        std::string r = fmt("contour/flatten-reserved/%d", size);
        auto *storage = new std::vector<float>;
        storage->reserve(3 * static_cast<size_t>(points) + 16);
        registerPass(
            r,
            [c, quality, storage] {
                storage->clear();
                VecSink sink{storage};
                flattenPlain(quality, c->points.data(), c->tags.data(),
                             static_cast<int>(c->points.size()), sink);
                benchmark::DoNotOptimize(storage->data());
            },
            points);
        fill.names.push_back(f);
        exact.names.push_back(e);
        reserved.names.push_back(r);
        for (Series *s : {&fill, &exact, &reserved})
            s->sizes.push_back(size);

        for (int shape = 0; shape < 2; ++shape) {
            if (shape == 1 && size > kStarLargest)
                continue;
            auto *xyz = new std::vector<float>(shape == 0 ? saw(size) : star(size));
            auto *xyzd = new std::vector<double>(xyz->begin(), xyz->end());
            auto *sink = new GluSink;
            sink->corners.reserve(6 * static_cast<size_t>(size));
            const char *kind = shape == 0 ? "saw" : "star";
            std::string t = fmt("polygon-%s/Tesselator/%d", kind, size);
            std::string g = fmt("polygon-%s/GLU-alone/%d", kind, size);
            registerPass(
                t, [xyz] { tesselatorPass(*xyz); }, size);
            registerPass(
                g, [xyzd, sink] { gluPass(*xyzd, *sink); }, size);
            Series &ts = shape == 0 ? lib : starLib, &gs = shape == 0 ? glu : starGlu;
            ts.names.push_back(t);
            gs.names.push_back(g);
            ts.sizes.push_back(size);
            gs.sizes.push_back(size);
            if (size == 10 || size == 100000 || size == kStarLargest)
                printf("%s of %d points: %zu corners from the Tesselator, %zu from GLU alone\n",
                       kind, size, tesselatorPass(*xyz), gluPass(*xyzd, *sink));
        }
    }
    for (const Series &s : {fill, exact, reserved, lib, glu, starLib, starGlu})
        g_series.push_back(s);

    int rc = runBenchmarks(argc, argv);
    if (rc < 0) {
        summary();
        rc = 0;
    }
    CloseFont(contourFont);
    CloseFont(g_font);
    return rc;
}
