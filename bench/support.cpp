#include "support.hh"

#include <math.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include <GL/glu.h>
#include <benchmark/benchmark.h>

#if defined(__has_include)
#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#define BENCH_HAVE_CALLGRIND 1
#endif
#endif
#ifndef BENCH_HAVE_CALLGRIND
#define CALLGRIND_START_INSTRUMENTATION
#define CALLGRIND_STOP_INSTRUMENTATION
#endif

#include "util/emuKD/kd.h"
#include "util/plyxUtil.h"

namespace bench
{

/* ---- fonts ---- */

std::vector<FontSet> &benchFonts()
{
    static std::vector<FontSet> fonts = [] {
        std::vector<FontSet> all(2);
        all[0].name = "DejaVuSans";
        all[0].path = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
        all[1].name = "FreeSans";
        all[1].path = "/usr/share/fonts/opentype/freefont/FreeSans.otf";
        std::vector<FontSet> found;
        for (FontSet &set : all) {
            if (loadFontSet(set))
                found.push_back(set);
            else
                fprintf(stderr, "bench: %s not readable, its cases are skipped\n",
                        set.path.c_str());
        }
        return found;
    }();
    return fonts;
}

bool loadFontSet(FontSet &set)
{
    struct stat st;
    if (stat(set.path.c_str(), &st) != 0)
        return false;
    set.fileBytes = static_cast<uint64_t>(st.st_size);
    Face face(set.path);
    if (!face.face)
        return false;
    set.numGlyphs = face.face->num_glyphs;
    std::vector<bool> seen(static_cast<size_t>(set.numGlyphs) + 1, false);
    FT_UInt g = 0;
    for (FT_ULong c = FT_Get_First_Char(face.face, &g); g != 0;
         c = FT_Get_Next_Char(face.face, c, &g)) {
        if (g > static_cast<FT_UInt>(set.numGlyphs) || seen[g])
            continue;
        seen[g] = true;
        if (FT_Load_Glyph(face.face, g, FT_LOAD_NO_HINTING))
            continue;
        const FT_GlyphSlot slot = face.face->glyph;
        if (slot->format != FT_GLYPH_FORMAT_OUTLINE || slot->outline.n_contours <= 0 ||
            slot->outline.n_points <= 0)
            continue;
        set.chars.push_back(static_cast<uint32_t>(c));
        set.glyphs.push_back(g);
        set.contours.push_back(slot->outline.n_contours);
    }
    return !set.chars.empty();
}

Face::Face(const std::string &path)
{
    if (FT_Init_FreeType(&library))
        return;
    if (FT_New_Face(library, path.c_str(), 0, &face)) {
        face = nullptr;
        return;
    }
    FT_Select_Charmap(face, FT_ENCODING_UNICODE);
    FT_Set_Char_Size(face, 0, kCharSize, 72, 72);
}

Face::~Face()
{
    if (face)
        FT_Done_Face(face);
    if (library)
        FT_Done_FreeType(library);
}

/* ---- host side ---- */

void HostCopy::copy(const float *v, int32_t vertexCount, const int32_t *idx, int32_t indexCount)
{
    vertices.assign(v, v + 2 * static_cast<size_t>(vertexCount > 0 && v ? vertexCount : 0));
    indices.assign(idx, idx + static_cast<size_t>(indexCount > 0 && idx ? indexCount : 0));
}

void PassTotals::add(const HostCopy &copy, bool hashIt)
{
    if (!copy.indices.empty())
        ++glyphs;
    vertices += copy.vertices.size() / 2;
    indices += copy.indices.size();
    maxMeshBytes =
        std::max<uint64_t>(maxMeshBytes, copy.vertices.size() * 4 + copy.indices.size() * 4);
    if (!hashIt)
        return;
    auto mix = [this](const void *data, size_t bytes) {
        const unsigned char *p = static_cast<const unsigned char *>(data);
        for (size_t i = 0; i < bytes; ++i)
            hash = (hash ^ p[i]) * 1099511628211ull;
    };
    uint64_t counts[2] = {copy.vertices.size(), copy.indices.size()};
    mix(counts, sizeof counts);
    mix(copy.vertices.data(), copy.vertices.size() * sizeof(float));
    mix(copy.indices.data(), copy.indices.size() * sizeof(int32_t));
}

void libraryPass(tavixInternalFontData *font, const std::vector<uint32_t> &chars, HostCopy &copy,
                 PassTotals *totals, bool hashIt)
{
    glyphInfoRecord info;
    for (uint32_t c : chars) {
        if (!GetGlyphInfo(&info, font, c))
            continue;
        float *vertices = nullptr;
        int32_t *indices = nullptr;
        int32_t vertexCount = GetGlyphVertices(&vertices, font, c);
        int32_t indexCount = GetGlyphTriangleIndices(&indices, font, c);
        if (vertexCount >= 0 && indexCount >= 0) {
            copy.copy(vertices, vertexCount, indices, indexCount);
            if (totals)
                totals->add(copy, hashIt);
        }
        ClearGlyphData(font, c);
    }
    benchmark::DoNotOptimize(copy.vertices.data());
}

/* ---- floors ---- */

void loadPass(Face &face, const std::vector<uint32_t> &chars, uint64_t *points)
{
    uint64_t sum = 0;
    for (uint32_t c : chars) {
        FT_UInt g = FT_Get_Char_Index(face.face, c);
        if (FT_Load_Glyph(face.face, g, FT_LOAD_NO_HINTING) == 0)
            sum += static_cast<uint64_t>(face.face->glyph->outline.n_points);
    }
    benchmark::DoNotOptimize(sum);
    if (points)
        *points = sum;
}

bool MFSink::repeats(float x, float y) const
{
    if (out->count == 0)
        return false;
    const float *last = out->values[out->count - 1];
    return last[0] == x && last[1] == y;
}

void MFSink::append(float x, float y)
{
    const float xy[2] = {x, y};
    appendMFVec3fVec2(out, xy);
}

bool VecSink::repeats(float x, float y) const
{
    size_t n = out->size();
    return n >= start + 3 && (*out)[n - 3] == x && (*out)[n - 2] == y;
}

void VecSink::append(float x, float y)
{
    out->push_back(x);
    out->push_back(y);
    out->push_back(0.0f);
}

namespace
{

struct P2 {
    float x, y;
};

inline P2 lerp(P2 p, P2 q, float t)
{
    float s = 1.0f - t;
    return {s * p.x + t * q.x, s * p.y + t * q.y};
}

inline P2 mid(P2 a, P2 b)
{
    return {(a.x + b.x) * 0.5f, (a.y + b.y) * 0.5f};
}

template <class Sink> struct Walker {
    float quality;
    const FT_Vector *points;
    const unsigned char *tags;
    int n;
    Sink &sink;

    P2 at(int i) const
    {
        return {static_cast<float>(points[i].x) / kScale, static_cast<float>(points[i].y) / kScale};
    }
    int prev(int i) const { return i == 0 ? n - 1 : i - 1; }
    int next(int i) const { return i == n - 1 ? 0 : i + 1; }

    void onCurve(P2 p)
    {
        if (!sink.repeats(p.x, p.y))
            sink.append(p.x, p.y);
    }

    void conic(P2 p0, P2 p1, P2 p2)
    {
        float h = 1.0f / (1.0f + 50.0f * quality);
        onCurve(p0);
        for (float t = h; t < 1.0f; t += h) {
            P2 p = lerp(lerp(p0, p1, t), lerp(p1, p2, t), t);
            sink.append(p.x, p.y);
        }
        sink.append(p2.x, p2.y);
    }

    void cubic(P2 s, P2 c1, P2 c2, P2 e)
    {
        float h = 1.0f / (1.0f + 50.0f * quality);
        int steps = static_cast<int>(1.0f + 50.0f * quality);
        for (int k = 0; k <= steps; ++k) {
            float t = static_cast<float>(k) * h;
            P2 r1 = lerp(s, c1, t), r2 = lerp(c1, c2, t), r3 = lerp(c2, e, t);
            P2 p = lerp(lerp(r1, r2, t), lerp(r2, r3, t), t);
            sink.append(p.x, p.y);
        }
    }

    void walk()
    {
        int i = 0;
        while (i < n) {
            unsigned char tag = tags[i];
            if (tag == 1 || n == 1) {
                onCurve(at(i));
                ++i;
            } else if (tag == 0) {
                P2 p = at(i), s = at(prev(i)), x = at(next(i));
                if (i == 0 && tags[n - 1] == 0)
                    s = mid(p, at(n - 1));
                if (tags[next(i)] != 0) {
                    conic(s, p, x);
                    ++i;
                    continue;
                }
                for (;;) { /* a run of control points joined at implied midpoints */
                    P2 m = mid(p, x);
                    int j = i + 1;
                    conic(s, p, m);
                    if (j >= n) {
                        i = n;
                        break;
                    }
                    s = m;
                    p = at(j);
                    int nn = next(j);
                    x = at(nn);
                    if (tags[nn] != 0) {
                        conic(s, p, x);
                        i = j + 1;
                        break;
                    }
                    i = j;
                }
            } else if (tag == 2) {
                if (i == n - 1) { /* malformed: partner and end outside the contour */
                    ++i;
                    continue;
                }
                cubic(at(prev(i)), at(i), at(i + 1), at(i + 2 < n ? i + 2 : 0));
                i += 2;
            } else {
                ++i;
            }
        }
    }
};

struct PlainInfo {
    uint16_t type;
    MFVec2f *vertices;
    MFInt32 *indices;
    std::vector<float *> *combined;
};

void plainBegin(GLenum type, void *data)
{
    static_cast<PlainInfo *>(data)->type = static_cast<uint16_t>(type);
}

void plainVertex(void *vertex, void *data)
{
    auto *info = static_cast<PlainInfo *>(data);
    int32_t index = searchInsertMFVec2f(info->vertices, static_cast<const float *>(vertex));
    if (info->type == GL_TRIANGLES)
        appendMFInt32(info->indices, index);
}

void plainCombine(GLdouble coords[3], void *[4], GLfloat[4], void **out, void *data)
{
    auto *info = static_cast<PlainInfo *>(data);
    float *v = static_cast<float *>(kdMalloc(3 * sizeof(float)));
    if (v) {
        v[0] = static_cast<float>(coords[0]);
        v[1] = static_cast<float>(coords[1]);
        v[2] = static_cast<float>(coords[2]);
        info->combined->push_back(v);
    }
    *out = v;
}

void plainEnd(void *data)
{
    static_cast<PlainInfo *>(data)->type = 0;
}
void plainError(GLenum, void *) {}
void plainEdge(GLboolean, void *) {}

template <class F> _GLUfuncptr glu(F f)
{
    return reinterpret_cast<_GLUfuncptr>(f);
}

struct CountInfo {
    GLenum type;
    uint64_t corners;
    std::vector<float> *pool; /* combined vertices, capacity kept; never read */
    size_t used;
};

void countBegin(GLenum type, void *data)
{
    static_cast<CountInfo *>(data)->type = type;
}

void countVertex(void *, void *data)
{
    auto *info = static_cast<CountInfo *>(data);
    info->corners += info->type == GL_TRIANGLES;
}

void countCombine(GLdouble[3], void *[4], GLfloat[4], void **out, void *data)
{
    auto *info = static_cast<CountInfo *>(data);
    if (3 * (info->used + 1) > info->pool->size())
        info->used = 0; /* the pool's slots are placeholders: reusing one is harmless */
    *out = info->pool->data() + 3 * info->used++;
}

void countEnd(void *) {}
void countError(GLenum, void *) {}
/* Registered so that GLU emits independent triangles, as the library asks it to,
 * rather than fans and strips. */
void countEdge(GLboolean, void *) {}

} // namespace

void flattenPlain(float quality, const FT_Vector *points, const unsigned char *tags, int n,
                  MFSink &sink)
{
    Walker<MFSink>{quality, points, tags, n, sink}.walk();
}

void flattenPlain(float quality, const FT_Vector *points, const unsigned char *tags, int n,
                  VecSink &sink)
{
    Walker<VecSink>{quality, points, tags, n, sink}.walk();
}

void plainPass(Face &face, float quality, const std::vector<uint32_t> &chars, HostCopy &copy,
               PassTotals *totals, bool hashIt)
{
    MFVec2f vertices = {0, nullptr};
    MFInt32 indices = {0, nullptr};
    static std::vector<float *> combined; /* capacity kept: bookkeeping, not the pipeline */
    float metrics[8];
    for (uint32_t c : chars) {
        FT_UInt g = FT_Get_Char_Index(face.face, c);
        if (FT_Load_Glyph(face.face, g, FT_LOAD_NO_HINTING))
            continue;
        const FT_GlyphSlot slot = face.face->glyph;
        const FT_Glyph_Metrics &m = slot->metrics;
        const FT_Pos raw[8] = {m.width,        m.height,       m.horiAdvance,  m.vertAdvance,
                               m.horiBearingX, m.horiBearingY, m.vertBearingX, m.vertBearingY};
        for (int k = 0; k < 8; ++k)
            metrics[k] = static_cast<float>(raw[k]) / kScale;
        benchmark::DoNotOptimize(metrics);
        const FT_Outline &outline = slot->outline;
        if (slot->format != FT_GLYPH_FORMAT_OUTLINE || outline.n_contours <= 0)
            continue;

        GLUtesselator *tess = gluNewTess();
        gluTessCallback(tess, GLU_TESS_BEGIN_DATA, glu(plainBegin));
        gluTessCallback(tess, GLU_TESS_VERTEX_DATA, glu(plainVertex));
        gluTessCallback(tess, GLU_TESS_COMBINE_DATA, glu(plainCombine));
        gluTessCallback(tess, GLU_TESS_END_DATA, glu(plainEnd));
        gluTessCallback(tess, GLU_TESS_ERROR_DATA, glu(plainError));
        gluTessCallback(tess, GLU_TESS_EDGE_FLAG_DATA, glu(plainEdge));
        gluTessProperty(tess, GLU_TESS_WINDING_RULE,
                        (outline.flags & FT_OUTLINE_EVEN_ODD_FILL) ? GLU_TESS_WINDING_ODD
                                                                   : GLU_TESS_WINDING_NONZERO);
        gluTessNormal(tess, 0.0, 0.0, 1.0);
        size_t n = static_cast<size_t>(outline.n_contours);
        auto *lists = static_cast<SimpleVec3Array *>(kdMalloc(n * sizeof(SimpleVec3Array)));
        memset(lists, 0, n * sizeof(SimpleVec3Array));
        PlainInfo info = {0, &vertices, &indices, &combined};
        gluTessBeginPolygon(tess, &info);
        for (size_t k = 0; k < n; ++k) {
            int first = k == 0 ? 0 : outline.contours[k - 1] + 1;
            int count = outline.contours[k] - first + 1;
            MFSink sink{&lists[k]};
            flattenPlain(quality, outline.points + first,
                         reinterpret_cast<const unsigned char *>(outline.tags + first), count,
                         sink);
            uint32_t pts = lists[k].count;
            if (pts < 2)
                continue;
            const float *a = lists[k].values[0], *b = lists[k].values[pts - 1];
            if (a[0] == b[0] && a[1] == b[1])
                --pts;
            gluTessBeginContour(tess);
            for (uint32_t p = 0; p < pts; ++p) {
                GLdouble xyz[3] = {lists[k].values[p][0], lists[k].values[p][1],
                                   lists[k].values[p][2]};
                gluTessVertex(tess, xyz, lists[k].values[p]);
            }
            gluTessEndContour(tess);
        }
        gluTessEndPolygon(tess);
        gluDeleteTess(tess);
        for (size_t k = 0; k < n; ++k)
            clearMFVec3f(&lists[k]);
        kdFree(lists);
        for (float *v : combined)
            kdFree(v);
        combined.clear();

        copy.copy(vertices.count ? vertices.values[0] : nullptr,
                  static_cast<int32_t>(vertices.count), indices.values,
                  static_cast<int32_t>(indices.count));
        if (totals)
            totals->add(copy, hashIt);
        clearMFVec2f(&vertices);
        clearMFInt32(&indices);
    }
    benchmark::DoNotOptimize(copy.vertices.data());
}

uint64_t gluPass(Face &face, float quality, const std::vector<uint32_t> &chars)
{
    static std::vector<float> points, pool(3 * 4096); /* capacity kept across passes */
    static std::vector<size_t> starts;
    CountInfo info = {0, 0, &pool, 0};
    GLUtesselator *tess = gluNewTess();
    gluTessCallback(tess, GLU_TESS_BEGIN_DATA, glu(countBegin));
    gluTessCallback(tess, GLU_TESS_VERTEX_DATA, glu(countVertex));
    gluTessCallback(tess, GLU_TESS_COMBINE_DATA, glu(countCombine));
    gluTessCallback(tess, GLU_TESS_END_DATA, glu(countEnd));
    gluTessCallback(tess, GLU_TESS_ERROR_DATA, glu(countError));
    gluTessCallback(tess, GLU_TESS_EDGE_FLAG_DATA, glu(countEdge));
    gluTessNormal(tess, 0.0, 0.0, 1.0);
    for (uint32_t c : chars) {
        FT_UInt g = FT_Get_Char_Index(face.face, c);
        if (FT_Load_Glyph(face.face, g, FT_LOAD_NO_HINTING))
            continue;
        const FT_Outline &outline = face.face->glyph->outline;
        if (face.face->glyph->format != FT_GLYPH_FORMAT_OUTLINE || outline.n_contours <= 0)
            continue;
        points.clear();
        starts.clear();
        VecSink sink{&points};
        for (int k = 0; k < outline.n_contours; ++k) {
            int first = k == 0 ? 0 : outline.contours[k - 1] + 1;
            starts.push_back(points.size());
            sink.start = points.size();
            flattenPlain(quality, outline.points + first,
                         reinterpret_cast<const unsigned char *>(outline.tags + first),
                         outline.contours[k] - first + 1, sink);
        }
        starts.push_back(points.size());
        gluTessProperty(tess, GLU_TESS_WINDING_RULE,
                        (outline.flags & FT_OUTLINE_EVEN_ODD_FILL) ? GLU_TESS_WINDING_ODD
                                                                   : GLU_TESS_WINDING_NONZERO);
        info.used = 0;
        gluTessBeginPolygon(tess, &info);
        for (size_t k = 0; k + 1 < starts.size(); ++k) {
            float *a = points.data() + starts[k];
            size_t pts = (starts[k + 1] - starts[k]) / 3;
            if (pts < 2)
                continue;
            if (a[0] == a[3 * pts - 3] && a[1] == a[3 * pts - 2])
                --pts;
            gluTessBeginContour(tess);
            for (size_t p = 0; p < pts; ++p) {
                GLdouble xyz[3] = {a[3 * p], a[3 * p + 1], a[3 * p + 2]};
                gluTessVertex(tess, xyz, a + 3 * p);
            }
            gluTessEndContour(tess);
        }
        gluTessEndPolygon(tess);
    }
    gluDeleteTess(tess);
    benchmark::DoNotOptimize(info.corners);
    return info.corners;
}

/* ---- results ---- */

std::map<std::string, std::vector<double>> &samples()
{
    static std::map<std::string, std::vector<double>> s;
    return s;
}

namespace
{
std::map<std::string, double> &elementCounts()
{
    static std::map<std::string, double> e;
    return e;
}
} // namespace

double median(std::vector<double> v)
{
    if (v.empty())
        return NAN;
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    return n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

double median(const std::string &name)
{
    auto it = samples().find(name);
    return it == samples().end() ? NAN : median(it->second);
}

double fastest(const std::string &name)
{
    auto it = samples().find(name);
    if (it == samples().end() || it->second.empty())
        return NAN;
    return *std::min_element(it->second.begin(), it->second.end());
}

double elements(const std::string &name)
{
    auto it = elementCounts().find(name);
    return it == elementCounts().end() ? NAN : it->second;
}

void result(const std::string &name, const std::string &fields)
{
    printf("RESULT %s %s\n", name.c_str(), fields.c_str());
}

std::string fmt(const char *format, ...)
{
    char buffer[1024];
    va_list args;
    va_start(args, format);
    vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    return buffer;
}

std::vector<Pass> &passes()
{
    static std::vector<Pass> p;
    return p;
}

void registerPass(const std::string &name, std::function<void()> run, int64_t count)
{
    passes().push_back({name, run});
    if (count > 0)
        elementCounts()[name] = static_cast<double>(count);
}

namespace
{

/* The console table as usual, and every repetition's CPU time per iteration kept for
 * the ratios printed afterwards. */
class CollectingReporter : public benchmark::ConsoleReporter
{
  public:
    explicit CollectingReporter(bool color) : ConsoleReporter(color ? OO_ColorTabular : OO_Tabular)
    {
    }
    /* With repetitions the table shows only the statistics of each case (mean,
     * median, stddev, cv, min); the JSON file keeps every repetition. */
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred || run.iterations == 0)
                continue;
            samples()[run.run_name.function_name].push_back(run.cpu_accumulated_time /
                                                            static_cast<double>(run.iterations));
        }
        std::vector<Run> shown;
        for (const Run &run : runs)
            if (run.run_type == Run::RT_Aggregate || run.repetitions <= 1)
                shown.push_back(run);
        ConsoleReporter::ReportRuns(shown);
    }
};

} // namespace

int runBenchmarks(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        if (strncmp(argv[i], "--single=", 9) != 0)
            continue;
        const char *wanted = argv[i] + 9;
        for (const Pass &pass : passes()) {
            if (pass.name != wanted)
                continue;
            pass.run(); /* warm, uncounted: caches and capacities as in the timed runs */
            CALLGRIND_START_INSTRUMENTATION;
            pass.run();
            CALLGRIND_STOP_INSTRUMENTATION;
            return 0;
        }
        fprintf(stderr, "bench: no case %s; cases:\n", wanted);
        for (const Pass &pass : passes())
            fprintf(stderr, "  %s\n", pass.name.c_str());
        return 2;
    }
    for (const Pass &pass : passes()) {
        std::function<void()> run = pass.run;
        benchmark::RegisterBenchmark(pass.name.c_str(),
                                     [run](benchmark::State &state) {
                                         for (auto _ : state)
                                             run();
                                     })
            ->MinTime(0.05)
            ->Unit(benchmark::kMillisecond)
            ->ComputeStatistics("min", [](const std::vector<double> &v) {
                return *std::min_element(v.begin(), v.end());
            });
    }
    /* The flag only reaches the reporter Google Benchmark makes itself. */
    bool color = isatty(fileno(stdout)) != 0;
    for (int i = 1; i < argc; ++i)
        if (strcmp(argv[i], "--benchmark_color=false") == 0)
            color = false;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 2;
    CollectingReporter reporter(color);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return -1; /* go on with the summary */
}

} // namespace bench
