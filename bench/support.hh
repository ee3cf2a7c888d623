#ifndef BENCH_SUPPORT_HH
#define BENCH_SUPPORT_HH

#include <stdint.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include <ft2build.h>
#include FT_FREETYPE_H

#include "Skrib/GlyvaInterface.h"
#include "util/plyxTypes.h"

namespace bench
{

/* The size every glyph is loaded at: 640 in 26.6 at 72 dpi, 10 pixels per em. */
constexpr FT_F26Dot6 kCharSize = 640;
constexpr float kScale = 640.0f;

struct FontSet {
    std::string name; /* short name used in case names */
    std::string path;
    uint64_t fileBytes = 0;
    long numGlyphs = 0;           /* the face's glyph count */
    std::vector<uint32_t> chars;  /* one character per distinct glyph with an outline */
    std::vector<uint32_t> glyphs; /* their glyph indices */
    std::vector<int> contours;    /* their contour counts */
};

/* The benchmark fonts that exist on this machine (DejaVu Sans, FreeSans). */
std::vector<FontSet> &benchFonts();
/* Enumerates the face's Unicode charmap: the first character of every glyph whose
 * unhinted outline has at least one contour and one point. Empty when unreadable. */
bool loadFontSet(FontSet &set);

/* A FreeType face of its own at the library's size, for the floors. */
struct Face {
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    explicit Face(const std::string &path);
    ~Face();
    Face(const Face &) = delete;
    Face &operator=(const Face &) = delete;
};

/* What a host keeps of one glyph: its own copies of the two arrays. Capacity is
 * kept across glyphs so that copying costs no allocation in steady state. */
struct HostCopy {
    std::vector<float> vertices;
    std::vector<int32_t> indices;
    void copy(const float *v, int32_t vertexCount, const int32_t *idx, int32_t indexCount);
};

/* Sums over one pass, and an order-sensitive hash of every glyph's arrays. */
struct PassTotals {
    uint64_t glyphs = 0; /* glyphs that produced at least one triangle */
    uint64_t vertices = 0;
    uint64_t indices = 0;
    uint64_t hash = 1469598103934665603ull;
    uint64_t maxMeshBytes = 0; /* largest glyph mesh: 8 bytes per vertex + 4 per index */
    void add(const HostCopy &copy, bool hashIt);
};

/* ---- the library in the host's order ---- */

/* GetGlyphInfo, GetGlyphVertices, GetGlyphTriangleIndices, copy, ClearGlyphData for
 * every character. */
void libraryPass(tavixInternalFontData *font, const std::vector<uint32_t> &chars, HostCopy &copy,
                 PassTotals *totals, bool hashIt = false);

/* ---- the floors ---- */

/* FT_Get_Char_Index and FT_Load_Glyph unhinted, nothing else. */
void loadPass(Face &face, const std::vector<uint32_t> &chars, uint64_t *points);

/* The pipeline done the plainest way: load, flatten each contour into its own
 * exact-fit list, GLU with the same six callbacks, corners merged by the 65-element
 * window scan (searchInsertMFVec2f), indices appended one at a time, each combined
 * vertex a separate allocation; then the host's copy and the arrays emptied. */
void plainPass(Face &face, float quality, const std::vector<uint32_t> &chars, HostCopy &copy,
               PassTotals *totals, bool hashIt = false);

/* GLU's own floor: load, the same flattening into reserved storage, GLU with
 * callbacks that only count triangle corners (combine hands GLU a vertex from a
 * preallocated pool; an edge-flag callback keeps GLU to independent triangles),
 * one tessellator for the whole pass. Returns the corners. */
uint64_t gluPass(Face &face, float quality, const std::vector<uint32_t> &chars);

/* The flattening rules, over a sink that stores (x, y): MFSink appends exact-fit
 * through the library's array functions, VecSink into reserved storage. */
struct MFSink {
    SimpleVec3Array *out;
    bool repeats(float x, float y) const;
    void append(float x, float y);
};
struct VecSink {
    std::vector<float> *out; /* x, y, 0 per point */
    size_t start = 0;        /* where the current contour begins in out */
    bool repeats(float x, float y) const;
    void append(float x, float y);
};
void flattenPlain(float quality, const FT_Vector *points, const unsigned char *tags, int n,
                  MFSink &sink);
void flattenPlain(float quality, const FT_Vector *points, const unsigned char *tags, int n,
                  VecSink &sink);

/* ---- results ---- */

/* Per-repetition CPU seconds per iteration of every benchmark run, by name, and
 * their median; elements() is what a case registered as its element count. */
std::map<std::string, std::vector<double>> &samples();
double median(const std::string &name);    /* NaN when the case did not run */
double median(std::vector<double> values); /* NaN when there are none */
/* The fastest repetition: on a machine shared with other work, the one least
 * disturbed by it. The ratios use it; the medians are printed beside. */
double fastest(const std::string &name);
double elements(const std::string &name);
/* A "RESULT name key=value ..." line on stdout. */
void result(const std::string &name, const std::string &fields);
std::string fmt(const char *format, ...) __attribute__((format(printf, 1, 2)));

/* Runs Google Benchmark with a reporter that also fills samples(); then the caller
 * prints its summary. Handles --single=NAME: runs that registered pass once under
 * callgrind's instrumentation (valgrind --tool=callgrind --instr-atstart=no) and
 * returns true so the caller exits. */
struct Pass {
    std::string name;
    std::function<void()> run;
};
void registerPass(const std::string &name, std::function<void()> run, int64_t elements = 0);
std::vector<Pass> &passes();
int runBenchmarks(int argc, char **argv);

} // namespace bench

#endif
