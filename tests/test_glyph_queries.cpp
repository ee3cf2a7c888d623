#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include "Skrib/GlyvaInterface.h"
#include "support/mesh.hh"
#include "support/raster.hh"
#include "support/support.hh"

/* The font interface queried as a host does: the handle and its font-wide metrics, glyph
 * metrics, contours, kerning and meshes, each compared with FreeType called directly or
 * with values computed by hand for the fixture fonts. */

using namespace glyva_test;

/* ---- a window on FreeType's glyph loads ----
 *
 * Defined here, FT_Load_Glyph is the one the library binds to: it counts loads and
 * can alter the loaded outline, so that outlines no font driver produces (an empty
 * contour, the even-odd flag) reach the library through its ordinary path. Disarmed,
 * it only forwards. */

namespace
{

long g_loads = 0;
bool g_failLoads = false;
std::function<void(FT_GlyphSlot)> g_alterOutline;

/* Arms an outline change for the lifetime of the object. */
class AlteredLoads
{
  public:
    explicit AlteredLoads(std::function<void(FT_GlyphSlot)> change)
    {
        g_alterOutline = std::move(change);
    }
    ~AlteredLoads() { g_alterOutline = nullptr; }
};

} // namespace

extern "C" FT_Error FT_Load_Glyph(FT_Face face, FT_UInt glyphIndex, FT_Int32 loadFlags)
{
    using Load = FT_Error (*)(FT_Face, FT_UInt, FT_Int32);
    static Load real = reinterpret_cast<Load>(dlsym(RTLD_NEXT, "FT_Load_Glyph"));
    ++g_loads;
    if (g_failLoads)
        return FT_Err_Invalid_Outline;
    FT_Error error = real(face, glyphIndex, loadFlags);
    if (!error && g_alterOutline)
        g_alterOutline(face->glyph);
    return error;
}

namespace
{

/* FreeType values as the interface returns them. */
float ems(FT_Pos v)
{
    return static_cast<float>(v) / 640.0f;
}

class FontTest : public testing::Test
{
  protected:
    void TearDown() override
    {
        for (tavixInternalFontData *font : fonts_)
            CloseFont(font);
    }
    tavixInternalFontData *open(const std::string &path)
    {
        tavixInternalFontData *font = OpenFont(path.c_str());
        if (font)
            fonts_.push_back(font);
        return font;
    }
    tavixInternalFontData *fixtures() { return open(fixture("fixtures.ttf")); }

    std::vector<tavixInternalFontData *> fonts_;
};

bool prepare(tavixInternalFontData *font, uint32_t code)
{
    glyphInfoRecord info;
    return GetGlyphInfo(&info, font, code) == 1;
}

int32_t vertexCount(tavixInternalFontData *font, uint32_t code)
{
    float *vertices = nullptr;
    return GetGlyphVertices(&vertices, font, code);
}

int32_t indexCount(tavixInternalFontData *font, uint32_t code)
{
    int32_t *indices = nullptr;
    return GetGlyphTriangleIndices(&indices, font, code);
}

/* The shared vertex array as it stands, read through a glyph without contours. */
int32_t sharedVertexCount(tavixInternalFontData *font)
{
    EXPECT_TRUE(prepare(font, ' '));
    return vertexCount(font, ' ');
}

/* The glyph's mesh as the shared arrays stand now, without clearing anything first. */
Mesh meshNow(tavixInternalFontData *font, uint32_t code)
{
    Mesh mesh;
    float *vertices = nullptr;
    int32_t *indices = nullptr;
    int32_t nv = GetGlyphVertices(&vertices, font, code);
    int32_t ni = GetGlyphTriangleIndices(&indices, font, code);
    for (int32_t v = 0; v < nv; ++v)
        mesh.vertices.push_back({vertices[2 * v], vertices[2 * v + 1]});
    if (ni > 0)
        mesh.indices.assign(indices, indices + ni);
    return mesh;
}

Mesh freshMesh(tavixInternalFontData *font, uint32_t code)
{
    Mesh mesh;
    EXPECT_TRUE(readMesh(font, code, &mesh)) << codeName(code);
    return mesh;
}

/* Triangles whose interior contains p. */
int trianglesCovering(const Mesh &mesh, Point2 p)
{
    int n = 0;
    for (size_t t = 0; t + 2 < mesh.indices.size(); t += 3) {
        Point2 a = mesh.vertices[mesh.indices[t]], b = mesh.vertices[mesh.indices[t + 1]],
               c = mesh.vertices[mesh.indices[t + 2]];
        if (cross(a, b, p) > 0 && cross(b, c, p) > 0 && cross(c, a, p) > 0)
            ++n;
    }
    return n;
}

bool hasVertex(const Mesh &mesh, Point2 p)
{
    return std::any_of(mesh.vertices.begin(), mesh.vertices.end(),
                       [&](const Point2 &v) { return v.x == p.x && v.y == p.y; });
}

/* Fixture units (26.6 at 640 per em) as ems. */
Point2 u(double x, double y)
{
    return {x / 640.0, y / 640.0};
}

} // namespace

/* ---- font handle ---- */

TEST_F(FontTest, NullPathGivesNoHandle)
{
    EXPECT_EQ(OpenFont(nullptr), nullptr);
}

TEST_F(FontTest, MissingFileGivesAHandleAndOneLogLine)
{
    const std::string path = "/nonexistent/glyva-no-such-font.ttf";
    tavixInternalFontData *font = nullptr;
    std::string out = captureStdout([&] { font = open(path); });
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(out, "Skrib/GlyvaInterface(249): unable to read font " + path + "\n");
    glyphInfoRecord info;
    EXPECT_EQ(GetGlyphInfo(&info, font, 'A'), 0);
    EXPECT_EQ(GetAscender(font), 1.0f);
}

TEST_F(FontTest, UnusableFontsKeepTheCreationValues)
{
    TempFile text("this is not a font, only some text\n");
    for (const std::string &path : {std::string(text.path()), fixture("truncated-header.ttf"),
                                    fixture("symbol-only.ttf"), fixture("macroman-only.ttf")}) {
        tavixInternalFontData *font = nullptr;
        std::string out = captureStdout([&] { font = open(path); });
        ASSERT_NE(font, nullptr) << path;
        EXPECT_EQ(out, "") << path;
        EXPECT_EQ(GetAscender(font), 1.0f) << path;
        EXPECT_EQ(GetDescender(font), 0.0f) << path;
        EXPECT_EQ(GetMaxAdvanceX(font), 0.0f) << path;
        float bounds[4] = {9, 9, 9, 9};
        EXPECT_EQ(GetFontBounds(bounds, font), 1) << path;
        for (float b : bounds)
            EXPECT_EQ(b, 0.0f) << path;
        EXPECT_EQ(GetQuality(font), 50) << path;
    }
}

TEST_F(FontTest, NullHandleGettersGiveZero)
{
    EXPECT_EQ(GetAscender(nullptr), 0.0f);
    EXPECT_EQ(GetDescender(nullptr), 0.0f);
    EXPECT_EQ(GetMaxAdvanceX(nullptr), 0.0f);
    float bounds[4] = {7, 7, 7, 7};
    EXPECT_EQ(GetFontBounds(bounds, nullptr), 0);
    for (float b : bounds)
        EXPECT_EQ(b, 7.0f);
    EXPECT_EQ(GetQuality(nullptr), 0);
    SetQuality(nullptr, 10);
    CloseFont(nullptr);
}

TEST_F(FontTest, QualityIsAPercentFrom0To100)
{
    tavixInternalFontData *font = fixtures();
    EXPECT_EQ(GetQuality(font), 50);
    SetQuality(font, 101);
    EXPECT_EQ(GetQuality(font), 50);
    SetQuality(font, UINT32_MAX);
    EXPECT_EQ(GetQuality(font), 50);
    SetQuality(font, 0);
    EXPECT_EQ(GetQuality(font), 0);
    SetQuality(font, 100);
    EXPECT_EQ(GetQuality(font), 100);
    SetQuality(font, 101);
    EXPECT_EQ(GetQuality(font), 100);
    /* The stored float lies at or just below percent / 100: a round trip may lose one. */
    for (uint32_t percent = 0; percent <= 100; ++percent) {
        SetQuality(font, percent);
        int32_t back = GetQuality(font);
        EXPECT_TRUE(back == static_cast<int32_t>(percent) ||
                    back == static_cast<int32_t>(percent) - 1)
            << percent << " read back as " << back;
    }
}

TEST_F(FontTest, DescriptionIsOneStaticText)
{
    const char *before = GetDescription();
    ASSERT_NE(before, nullptr);
    EXPECT_STREQ(before, "Corvalen Glyva interface 1.1");
    fixtures();
    EXPECT_EQ(GetDescription(), before);
}

namespace
{

struct RealFont {
    const char *name;
    const char *path;
    int unitsPerEm;
};

/* Test names show the font, not the bytes of the parameter. */
void PrintTo(const RealFont &font, std::ostream *os)
{
    *os << font.name;
}

const RealFont kRealFonts[] = {{"DejaVuSans", kDejaVuSans, 2048},
                               {"FreeSans", kFreeSans, 1000},
                               {"LiberationSans", kLiberationSans, 2048}};

class RealFontTest : public testing::TestWithParam<RealFont>
{
};

std::string fontName(const testing::TestParamInfo<RealFont> &info)
{
    return info.param.name;
}

} // namespace

/* Ascender and descender are scaled pixels (whole pixels at 10 px/em, so steps of 0.1);
 * the bounding box and maximal advance are font units, both divided by 640. */
TEST_P(RealFontTest, FontMetricsAreFreeTypesDividedBy640)
{
    FreeTypeFace face(GetParam().path, 640);
    ASSERT_TRUE(face.ok());
    FT_Face f = face.face();
    ASSERT_EQ(f->units_per_EM, GetParam().unitsPerEm);
    tavixInternalFontData *font = OpenFont(GetParam().path);
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(GetAscender(font), ems(f->size->metrics.ascender));
    EXPECT_EQ(GetDescender(font), ems(f->size->metrics.descender));
    EXPECT_EQ(std::fmod(f->size->metrics.ascender, 64), 0);
    EXPECT_NEAR(GetAscender(font) * 10.0f, std::round(GetAscender(font) * 10.0f), 1e-5);
    EXPECT_LT(GetDescender(font), 0.0f);
    EXPECT_EQ(GetMaxAdvanceX(font), ems(f->max_advance_width));
    float bounds[4];
    ASSERT_EQ(GetFontBounds(bounds, font), 1);
    EXPECT_EQ(bounds[0], ems(f->bbox.xMin));
    EXPECT_EQ(bounds[1], ems(f->bbox.xMax));
    EXPECT_EQ(bounds[2], ems(f->bbox.yMin));
    EXPECT_EQ(bounds[3], ems(f->bbox.yMax));
    /* Font units over 640: a 2048-unit em reads as 3.2. */
    EXPECT_GT(bounds[1], bounds[0]);
    EXPECT_GT(GetMaxAdvanceX(font), GetParam().unitsPerEm / 640.0f * 0.5f);
    CloseFont(font);
}

/* ---- glyph metrics ---- */

TEST_P(RealFontTest, GlyphMetricsAreFreeTypesInTheInterfacesOrder)
{
    FreeTypeFace face(GetParam().path, 640);
    tavixInternalFontData *font = OpenFont(GetParam().path);
    int compared = 0;
    for (const MappedGlyph &g : mappedGlyphs(face.face())) {
        ASSERT_EQ(FT_Load_Glyph(face.face(), g.glyph, FT_LOAD_NO_HINTING), 0);
        const FT_Glyph_Metrics &m = face.face()->glyph->metrics;
        glyphInfoRecord info;
        ASSERT_EQ(GetGlyphInfo(&info, font, g.code), 1) << codeName(g.code);
        const float expected[8] = {ems(m.width),        ems(m.height),       ems(m.horiAdvance),
                                   ems(m.vertAdvance),  ems(m.horiBearingX), ems(m.horiBearingY),
                                   ems(m.vertBearingX), ems(m.vertBearingY)};
        const float got[8] = {info.width,        info.height,       info.horiAdvance,
                              info.vertAdvance,  info.horiBearingX, info.horiBearingY,
                              info.vertBearingX, info.vertBearingY};
        for (int k = 0; k < 8; ++k)
            ASSERT_EQ(got[k], expected[k]) << codeName(g.code) << " metric " << k;
        ASSERT_EQ(info.contourCount, face.face()->glyph->outline.n_contours) << codeName(g.code);
        ++compared;
    }
    EXPECT_GT(compared, 1000);
    CloseFont(font);
}

TEST_F(FontTest, MetricsAreCachedAndTheContourCountFollowsTheGlyph)
{
    tavixInternalFontData *font = fixtures();
    glyphInfoRecord a1, b, a2;
    long before = g_loads;
    ASSERT_EQ(GetGlyphInfo(&a1, font, 'A'), 1);
    ASSERT_EQ(GetGlyphInfo(&b, font, 'B'), 1);
    EXPECT_EQ(g_loads - before, 2);
    before = g_loads;
    ASSERT_EQ(GetGlyphInfo(&a2, font, 'A'), 1);
    EXPECT_EQ(g_loads, before) << "a prepared glyph is not loaded again for its metrics";
    EXPECT_EQ(std::memcmp(&a1, &a2, sizeof a1), 0);
    EXPECT_EQ(a2.contourCount, 1);
    EXPECT_EQ(b.contourCount, 2);
    /* The square: 320 units wide and high, advance 640, at 640 units per em. */
    EXPECT_EQ(a1.width, 0.5f);
    EXPECT_EQ(a1.height, 0.5f);
    EXPECT_EQ(a1.horiAdvance, 1.0f);
    EXPECT_EQ(a1.horiBearingX, 0.0f);
    EXPECT_EQ(a1.horiBearingY, 0.5f);
}

TEST_F(FontTest, SpaceHasAnAdvanceAndNoContours)
{
    glyphInfoRecord info;
    ASSERT_EQ(GetGlyphInfo(&info, fixtures(), ' '), 1);
    EXPECT_EQ(info.contourCount, 0);
    EXPECT_EQ(info.horiAdvance, 0.5f);
}

TEST_F(FontTest, MissingCharacterGetsTheMissingGlyphsMetrics)
{
    FreeTypeFace face(fixture("fixtures.ttf").c_str(), 640);
    ASSERT_EQ(FT_Get_Char_Index(face.face(), 'Z'), 0u);
    ASSERT_EQ(FT_Load_Glyph(face.face(), 0, FT_LOAD_NO_HINTING), 0);
    glyphInfoRecord info;
    ASSERT_EQ(GetGlyphInfo(&info, fixtures(), 'Z'), 1);
    EXPECT_EQ(info.width, ems(face.face()->glyph->metrics.width));
    EXPECT_EQ(info.height, 1.0f);
    EXPECT_EQ(info.contourCount, 2);
}

TEST_F(FontTest, FailedGlyphQueriesLeaveTheirOutputsAlone)
{
    glyphInfoRecord info;
    std::memset(&info, 0xAB, sizeof info);
    glyphInfoRecord untouched = info;
    tavixInternalFontData *missing = nullptr;
    captureStdout([&] { missing = open("/nonexistent/font.ttf"); });
    EXPECT_EQ(GetGlyphInfo(&info, nullptr, 'A'), 0);
    EXPECT_EQ(GetGlyphInfo(&info, missing, 'A'), 0);
    EXPECT_EQ(GetGlyphInfo(&info, open(fixture("symbol-only.ttf")), 0xF041), 0);
    EXPECT_EQ(GetGlyphInfo(nullptr, fixtures(), 'A'), 0);
    EXPECT_EQ(std::memcmp(&info, &untouched, sizeof info), 0);
}

/* 'I' holds a zero-point contour, which FreeType refuses to load. */
TEST_F(FontTest, GlyphThatFreeTypeCannotLoadFailsEveryTime)
{
    tavixInternalFontData *font = fixtures();
    glyphInfoRecord info;
    EXPECT_EQ(GetGlyphInfo(&info, font, 'I'), 0);
    EXPECT_EQ(GetGlyphInfo(&info, font, 'I'), 0);
    EXPECT_EQ(vertexCount(font, 'I'), -1);
    EXPECT_EQ(indexCount(font, 'I'), -1);
    float *points = nullptr;
    uint8_t evenOdd = 0, postScript = 0;
    EXPECT_EQ(GetGlyphContour(&points, font, 'I', 0, &evenOdd, &postScript), 0);
}

/* A prepared glyph that FreeType stops loading: metrics still come from the cache, the
 * loading queries fail, and nothing held before is lost. */
TEST_F(FontTest, LoadFailureAfterPreparationLosesNothing)
{
    tavixInternalFontData *font = fixtures();
    ASSERT_TRUE(prepare(font, 'B'));
    float *points = nullptr;
    uint8_t evenOdd, postScript;
    ASSERT_EQ(GetGlyphContour(&points, font, 'B', 0, &evenOdd, &postScript), 4);
    float *kept = points;
    std::vector<float> copy(points, points + 12);
    ASSERT_EQ(vertexCount(font, 'B'), 8);
    g_failLoads = true;
    glyphInfoRecord info;
    EXPECT_EQ(GetGlyphInfo(&info, font, 'B'), 1);
    EXPECT_EQ(GetGlyphContour(&points, font, 'B', 1, &evenOdd, &postScript), 0);
    EXPECT_EQ(vertexCount(font, 'B'), -1);
    g_failLoads = false;
    EXPECT_EQ(points, kept);
    EXPECT_EQ(std::memcmp(kept, copy.data(), copy.size() * sizeof(float)), 0);
    EXPECT_EQ(indexCount(font, 'B'), 24);
    EXPECT_EQ(sharedVertexCount(font), 8);
}

/* ---- contours ---- */

TEST_F(FontTest, ContoursNeedGetGlyphInfoFirst)
{
    tavixInternalFontData *font = fixtures();
    float *points = nullptr;
    uint8_t evenOdd = 7, postScript = 7;
    EXPECT_EQ(GetGlyphContour(&points, font, 'A', 0, &evenOdd, &postScript), 0);
    EXPECT_EQ(points, nullptr);
    EXPECT_EQ(evenOdd, 7);
    EXPECT_EQ(postScript, 7);
    ASSERT_TRUE(prepare(font, 'A'));
    EXPECT_EQ(GetGlyphContour(&points, font, 'A', 0, &evenOdd, &postScript), 4);
    EXPECT_EQ(GetGlyphContour(nullptr, font, 'A', 0, &evenOdd, &postScript), 0);
    EXPECT_EQ(GetGlyphContour(&points, nullptr, 'A', 0, &evenOdd, &postScript), 0);
}

/* Failures before the outline is read leave the previous contour arrays in place. */
TEST_F(FontTest, FailedContourQueriesKeepThePreviousArrays)
{
    tavixInternalFontData *font = fixtures();
    ASSERT_TRUE(prepare(font, 'B'));
    ASSERT_TRUE(prepare(font, ' '));
    float *points = nullptr;
    uint8_t evenOdd = 7, postScript = 7;
    ASSERT_EQ(GetGlyphContour(&points, font, 'B', 1, &evenOdd, &postScript), 4);
    std::vector<float> copy(points, points + 12);
    float *kept = points;
    for (int32_t index : {-1, 2, 1000}) {
        evenOdd = postScript = 7;
        EXPECT_EQ(GetGlyphContour(&points, font, 'B', index, &evenOdd, &postScript), 0);
        EXPECT_EQ(evenOdd, 7);
        EXPECT_EQ(postScript, 7);
    }
    for (int32_t index : {-1, 0, 1})
        EXPECT_EQ(GetGlyphContour(&points, font, ' ', index, &evenOdd, &postScript), 0);
    EXPECT_EQ(GetGlyphContour(&points, font, 'W', 0, &evenOdd, &postScript), 0);
    EXPECT_EQ(points, kept);
    EXPECT_EQ(std::memcmp(kept, copy.data(), copy.size() * sizeof(float)), 0);
    ClearGlyphContour(font);
    ClearGlyphContour(font);
    ClearGlyphContour(nullptr);
    ClearGlyphContour(fixtures());
}

TEST_F(FontTest, EachQueryReplacesTheContourArrays)
{
    tavixInternalFontData *font = open(kDejaVuSans);
    ASSERT_TRUE(prepare(font, 'o'));
    float *outer = nullptr, *inner = nullptr;
    uint8_t evenOdd, postScript;
    int32_t n0 = GetGlyphContour(&outer, font, 'o', 0, &evenOdd, &postScript);
    std::vector<float> outerCopy(outer, outer + 3 * n0);
    int32_t n1 = GetGlyphContour(&inner, font, 'o', 1, &evenOdd, &postScript);
    EXPECT_GT(n0, 0);
    EXPECT_GT(n1, 0);
    /* The first contour comes again, equal, from the new arrays. */
    float *again = nullptr;
    ASSERT_EQ(GetGlyphContour(&again, font, 'o', 0, &evenOdd, &postScript), n0);
    EXPECT_EQ(std::memcmp(again, outerCopy.data(), outerCopy.size() * sizeof(float)), 0);
    /* Straight contours keep their counts across qualities; curved ones do not. */
    ASSERT_TRUE(prepare(font, 'l'));
    float *points;
    SetQuality(font, 0);
    int32_t straight0 = GetGlyphContour(&points, font, 'l', 0, &evenOdd, &postScript);
    int32_t curved0 = GetGlyphContour(&points, font, 'o', 0, &evenOdd, &postScript);
    SetQuality(font, 100);
    EXPECT_EQ(GetGlyphContour(&points, font, 'l', 0, &evenOdd, &postScript), straight0);
    EXPECT_GT(GetGlyphContour(&points, font, 'o', 0, &evenOdd, &postScript), curved0);
}

/* The fill and orientation bytes against FreeType's own answer for the outline. */
TEST_F(FontTest, FillAndOrientationBytesFollowTheOutline)
{
    struct Case {
        std::string path;
        uint32_t code;
        uint8_t postScript;
    };
    for (const Case &c :
         {Case{fixture("fixtures.ttf"), 'A', 0}, Case{fixture("fixtures.ttf"), 'F', 0},
          Case{fixture("cubic.otf"), 'A', 1}, Case{fixture("cubic.otf"), 'O', 1},
          Case{kDejaVuSans, 'o', 0}, Case{kLiberationSans, 'o', 0}, Case{kFreeSans, 'o', 1}}) {
        tavixInternalFontData *font = open(c.path);
        ASSERT_TRUE(prepare(font, c.code));
        FreeTypeFace face(c.path.c_str(), 640);
        FT_Outline *outline = face.load(FT_Get_Char_Index(face.face(), c.code));
        ASSERT_NE(outline, nullptr);
        float *points;
        uint8_t evenOdd = 7, postScript = 7;
        ASSERT_GT(GetGlyphContour(&points, font, c.code, 0, &evenOdd, &postScript), 0);
        EXPECT_EQ(evenOdd, 0) << c.path;
        EXPECT_EQ(postScript, c.postScript) << c.path << " " << codeName(c.code);
        EXPECT_EQ(postScript,
                  FT_Outline_Get_Orientation(outline) == FT_ORIENTATION_POSTSCRIPT ? 1 : 0);
    }
}

TEST_F(FontTest, EvenOddFlagIsReported)
{
    tavixInternalFontData *font = fixtures();
    ASSERT_TRUE(prepare(font, 'E'));
    AlteredLoads evenOdd(
        [](FT_GlyphSlot slot) { slot->outline.flags |= FT_OUTLINE_EVEN_ODD_FILL; });
    float *points;
    uint8_t evenOddFill = 7, postScript = 7;
    ASSERT_EQ(GetGlyphContour(&points, font, 'E', 1, &evenOddFill, &postScript), 4);
    EXPECT_EQ(evenOddFill, 1);
    EXPECT_EQ(postScript, 0);
}

/* A contour whose every tag is of no known kind flattens to nothing: the query fails,
 * after writing the two bytes. */
TEST_F(FontTest, ContourThatFlattensToNothingFailsTheQuery)
{
    tavixInternalFontData *font = fixtures();
    ASSERT_TRUE(prepare(font, 'B'));
    AlteredLoads unknownTags([](FT_GlyphSlot slot) {
        for (int p = 4; p < 8 && p < slot->outline.n_points; ++p)
            slot->outline.tags[p] = 4;
    });
    float *points = nullptr;
    uint8_t evenOdd = 7, postScript = 7;
    EXPECT_EQ(GetGlyphContour(&points, font, 'B', 0, &evenOdd, &postScript), 0);
    EXPECT_EQ(points, nullptr);
    EXPECT_EQ(evenOdd, 0);
    EXPECT_EQ(postScript, 0);
}

/* ---- kerning ---- */

/* The kern pairs of fixtures.ttf in ems and what FreeType's grid-fitted kerning makes of
 * them at 10 px/em: scaled by 10/25, rounded to whole pixels (0.1 em). */
TEST_F(FontTest, KerningIsFreeTypesGridFittedValue)
{
    struct Pair {
        uint32_t left, right;
        float fontKern, expected;
    };
    const Pair pairs[] = {{'A', 'V', -0.1f, 0.0f},  {'A', 'W', -0.2f, -0.1f},
                          {'V', 'A', -0.5f, -0.2f}, {'W', 'A', 0.3f, 0.1f},
                          {'B', 'B', -1.0f, -0.4f}, {'A', 'A', 0.0f, 0.0f},
                          {'V', 'V', 0.0f, 0.0f}};
    tavixInternalFontData *font = fixtures();
    FreeTypeFace face(fixture("fixtures.ttf").c_str(), 640);
    FT_Face f = face.face();
    for (uint32_t code : {'A', 'B', 'V', 'W'})
        ASSERT_TRUE(prepare(font, code));
    for (const Pair &p : pairs) {
        FT_UInt l = FT_Get_Char_Index(f, p.left), r = FT_Get_Char_Index(f, p.right);
        FT_Vector unscaled, fitted;
        ASSERT_EQ(FT_Get_Kerning(f, l, r, FT_KERNING_UNSCALED, &unscaled), 0);
        ASSERT_EQ(FT_Get_Kerning(f, l, r, FT_KERNING_DEFAULT, &fitted), 0);
        EXPECT_NEAR(unscaled.x / 640.0, p.fontKern, 1e-6);
        EXPECT_NEAR(std::round(p.fontKern * 0.4f * 10.0f) / 10.0f, p.expected, 1e-6);
        float kerning[2] = {9, 9};
        ASSERT_EQ(GetKerning(kerning, font, p.left, p.right), 1);
        EXPECT_EQ(kerning[0], ems(fitted.x)) << char(p.left) << char(p.right);
        EXPECT_NEAR(kerning[0], p.expected, 1e-6) << char(p.left) << char(p.right);
        EXPECT_EQ(kerning[1], 0.0f);
        float x = 9, y = 9;
        ASSERT_EQ(GetKerning2(&x, &y, font, p.left, p.right), 1);
        EXPECT_EQ(x, kerning[0]);
        EXPECT_EQ(y, 0.0f);
    }
}

TEST_F(FontTest, KerningNeedsBothGlyphsPrepared)
{
    tavixInternalFontData *font = fixtures();
    ASSERT_TRUE(prepare(font, 'B'));
    float kerning[2] = {9, 9}, x = 9, y = 9;
    EXPECT_EQ(GetKerning(kerning, font, 'B', 'A'), 0);
    EXPECT_EQ(GetKerning(kerning, font, 'A', 'B'), 0);
    EXPECT_EQ(GetKerning2(&x, &y, font, 'B', 'A'), 0);
    EXPECT_EQ(kerning[0], 9.0f);
    EXPECT_EQ(kerning[1], 9.0f);
    EXPECT_EQ(x, 9.0f);
    EXPECT_EQ(y, 9.0f);
    EXPECT_EQ(GetKerning(nullptr, font, 'B', 'B'), 0);
    EXPECT_EQ(GetKerning(kerning, nullptr, 'B', 'B'), 0);
}

TEST_F(FontTest, KerningOutputsAreWrittenOnlyWhereGiven)
{
    tavixInternalFontData *font = fixtures();
    ASSERT_TRUE(prepare(font, 'B'));
    EXPECT_EQ(GetKerning2(nullptr, nullptr, font, 'B', 'B'), 1);
    float x = 9, y = 9;
    EXPECT_EQ(GetKerning2(nullptr, &y, font, 'B', 'B'), 1);
    EXPECT_EQ(y, 0.0f);
    EXPECT_EQ(GetKerning2(&x, nullptr, font, 'B', 'B'), 1);
    EXPECT_NEAR(x, -0.4f, 1e-6);
}

TEST_F(FontTest, FontsWithoutKerningAnswerNothing)
{
    for (const std::string &path : {fixture("nokern.ttf"), fixture("cubic.otf")}) {
        tavixInternalFontData *font = open(path);
        ASSERT_TRUE(prepare(font, 'A'));
        float kerning[2] = {9, 9};
        EXPECT_EQ(GetKerning(kerning, font, 'A', 'A'), 0) << path;
        EXPECT_EQ(GetKerning2(nullptr, nullptr, font, 'A', 'A'), 0) << path;
        EXPECT_EQ(kerning[0], 9.0f);
    }
}

/* Every pair of ASCII letters and digits, against FreeType. */
TEST_P(RealFontTest, KerningMatchesFreeType)
{
    FreeTypeFace face(GetParam().path, 640);
    FT_Face f = face.face();
    tavixInternalFontData *font = OpenFont(GetParam().path);
    std::string codes = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz.,";
    for (char c : codes)
        ASSERT_TRUE(prepare(font, static_cast<unsigned char>(c)));
    int nonzero = 0, inFont = 0;
    for (char l : codes) {
        for (char r : codes) {
            float kerning[2] = {9, 9};
            int32_t result = GetKerning(kerning, font, l, r);
            if (!FT_HAS_KERNING(f)) {
                ASSERT_EQ(result, 0);
                continue;
            }
            FT_UInt left = FT_Get_Char_Index(f, l), right = FT_Get_Char_Index(f, r);
            FT_Vector v, unfitted;
            ASSERT_EQ(FT_Get_Kerning(f, left, right, FT_KERNING_DEFAULT, &v), 0);
            ASSERT_EQ(FT_Get_Kerning(f, left, right, FT_KERNING_UNFITTED, &unfitted), 0);
            ASSERT_EQ(result, 1);
            ASSERT_EQ(kerning[0], ems(v.x)) << l << r;
            ASSERT_EQ(kerning[1], ems(v.y)) << l << r;
            nonzero += v.x != 0;
            inFont += unfitted.x != 0;
        }
    }
    /* Grid fitting at 10 px/em rounds most kerns to 0. */
    std::printf("%s: FT_HAS_KERNING %d; of %zu pairs %d kern in the font, %d after grid "
                "fitting\n",
                GetParam().name, FT_HAS_KERNING(f) ? 1 : 0, codes.size() * codes.size(), inFont,
                nonzero);
    CloseFont(font);
}

INSTANTIATE_TEST_SUITE_P(RealFonts, RealFontTest, testing::ValuesIn(kRealFonts), fontName);

/* ---- meshes ---- */

TEST_F(FontTest, MeshQueriesNeedGetGlyphInfoFirst)
{
    tavixInternalFontData *font = fixtures();
    ASSERT_TRUE(prepare(font, 'A'));
    ASSERT_EQ(vertexCount(font, 'A'), 4);
    float *vertices = nullptr;
    int32_t *indices = nullptr;
    EXPECT_EQ(GetGlyphVertices(&vertices, font, 'B'), -1);
    EXPECT_EQ(GetGlyphTriangleIndices(&indices, font, 'B'), -1);
    EXPECT_EQ(vertices, nullptr);
    EXPECT_EQ(indices, nullptr);
    /* Clearing an unprepared glyph clears nothing, not even the shared vertices. */
    ClearGlyphData(font, 'B');
    EXPECT_EQ(sharedVertexCount(font), 4);
    EXPECT_EQ(indexCount(font, 'A'), 6);
    /* Prepared but not tessellated: no triangles, no address. */
    ASSERT_TRUE(prepare(font, 'B'));
    indices = reinterpret_cast<int32_t *>(&font);
    EXPECT_EQ(GetGlyphTriangleIndices(&indices, font, 'B'), 0);
    EXPECT_EQ(indices, nullptr);
    /* Null handles and outputs. */
    EXPECT_EQ(GetGlyphVertices(nullptr, font, 'A'), -1);
    EXPECT_EQ(GetGlyphTriangleIndices(nullptr, font, 'A'), -1);
    EXPECT_EQ(GetGlyphVertices(&vertices, nullptr, 'A'), -1);
    EXPECT_EQ(GetGlyphTriangleIndices(&indices, nullptr, 'A'), -1);
    ClearGlyphData(nullptr, 'A');
}

TEST_F(FontTest, SquareIsTwoCounterClockwiseTriangles)
{
    tavixInternalFontData *font = fixtures();
    long before = g_loads;
    Mesh mesh = freshMesh(font, 'A');
    EXPECT_EQ(g_loads - before, 2) << "one load for the metrics, one for the mesh";
    ASSERT_EQ(mesh.vertices.size(), 4u);
    ASSERT_EQ(mesh.indices.size(), 6u);
    EXPECT_TRUE(meshInvariants(mesh));
    for (Point2 corner : {u(0, 0), u(0, 320), u(320, 320), u(320, 0)})
        EXPECT_TRUE(hasVertex(mesh, corner));
    for (size_t t = 0; t < 6; t += 3)
        EXPECT_GT(cross(mesh.vertices[mesh.indices[t]], mesh.vertices[mesh.indices[t + 1]],
                        mesh.vertices[mesh.indices[t + 2]]),
                  0.0);
    EXPECT_EQ(meshArea(mesh), 0.25);
}

/* V + 2H - 2 triangles for a polygon of V vertices and H holes: 8. */
TEST_F(FontTest, SquareWithHoleLeavesTheHoleUncovered)
{
    Mesh mesh = freshMesh(fixtures(), 'B');
    EXPECT_TRUE(meshInvariants(mesh));
    EXPECT_EQ(mesh.vertices.size(), 8u);
    EXPECT_EQ(mesh.indices.size(), 24u);
    EXPECT_EQ(meshArea(mesh), 1.0 - 0.25);
    for (size_t t = 0; t + 2 < mesh.indices.size(); t += 3) {
        Point2 a = mesh.vertices[mesh.indices[t]], b = mesh.vertices[mesh.indices[t + 1]],
               c = mesh.vertices[mesh.indices[t + 2]];
        Point2 centroid{(a.x + b.x + c.x) / 3, (a.y + b.y + c.y) / 3};
        EXPECT_FALSE(centroid.x > 0.25 && centroid.x < 0.75 && centroid.y > 0.25 &&
                     centroid.y < 0.75)
            << "triangle " << t / 3 << " lies in the hole";
    }
    EXPECT_EQ(trianglesCovering(mesh, {0.5, 0.5}), 0);
    EXPECT_EQ(trianglesCovering(mesh, {0.1, 0.5}), 1);
}

TEST_F(FontTest, ContoursStartingOffCurveAreSubmittedWithoutTheirClosingRepeat)
{
    tavixInternalFontData *font = fixtures();
    SetQuality(font, 0);
    /* At quality 0 the all-off contour is the square of its midpoints (160..480)^2 and the
     * off-start contour the full square: four vertices each, the repeat dropped. */
    Mesh allOff = freshMesh(font, 'C');
    EXPECT_EQ(allOff.vertices.size(), 4u);
    EXPECT_EQ(allOff.indices.size(), 6u);
    EXPECT_EQ(meshArea(allOff), 0.25);
    Mesh offStart = freshMesh(font, 'D');
    EXPECT_EQ(offStart.vertices.size(), 4u);
    EXPECT_EQ(offStart.indices.size(), 6u);
    EXPECT_EQ(meshArea(offStart), 1.0);
    /* At quality 50: one vertex per distinct contour point, the closing repeat excepted. */
    SetQuality(font, 50);
    for (uint32_t code : {'C', 'D'}) {
        std::vector<std::vector<Point2>> contours;
        ASSERT_TRUE(readContours(font, code, 1, &contours));
        Mesh mesh = freshMesh(font, code);
        EXPECT_TRUE(meshInvariants(mesh));
        EXPECT_EQ(mesh.vertices.size(), contours[0].size() - 1) << char(code);
        EXPECT_EQ(mesh.indices.size(), 3 * (contours[0].size() - 3)) << char(code);
        EXPECT_NEAR(meshArea(mesh), std::fabs(polygonArea(contours[0])), 1e-12);
    }
}

/* Two clockwise squares 0..320 and 160..480: the union, 7/16 em^2, the overlap once. */
TEST_F(FontTest, OverlappingContoursAreFilledOnceUnderNonZero)
{
    Mesh mesh = freshMesh(fixtures(), 'E');
    EXPECT_TRUE(meshInvariants(mesh));
    EXPECT_DOUBLE_EQ(meshArea(mesh), 7.0 / 16.0);
    EXPECT_EQ(trianglesCovering(mesh, u(240, 250)), 1);
    EXPECT_TRUE(hasVertex(mesh, u(320, 160)));
    EXPECT_TRUE(hasVertex(mesh, u(160, 320)));
}

/* With the even-odd flag set on the outline, the odd rule leaves the overlap empty. */
TEST_F(FontTest, EvenOddOutlineLeavesTheOverlapEmpty)
{
    tavixInternalFontData *font = fixtures();
    AlteredLoads evenOdd(
        [](FT_GlyphSlot slot) { slot->outline.flags |= FT_OUTLINE_EVEN_ODD_FILL; });
    Mesh mesh = freshMesh(font, 'E');
    EXPECT_TRUE(meshInvariants(mesh));
    EXPECT_DOUBLE_EQ(meshArea(mesh), 2 * (1.0 / 4.0 - 1.0 / 16.0));
    EXPECT_EQ(trianglesCovering(mesh, u(240, 250)), 0);
    EXPECT_EQ(trianglesCovering(mesh, u(80, 80)), 1);
}

/* The bow tie crosses itself at (320,320): both lobes filled, the crossing a vertex that
 * only the tessellator can have made. */
TEST_F(FontTest, SelfIntersectingContourGetsTheCrossingVertex)
{
    Mesh mesh = freshMesh(fixtures(), 'F');
    EXPECT_TRUE(meshInvariants(mesh));
    EXPECT_TRUE(hasVertex(mesh, u(320, 320)));
    EXPECT_EQ(mesh.vertices.size(), 5u);
    EXPECT_EQ(mesh.indices.size(), 6u);
    EXPECT_DOUBLE_EQ(meshArea(mesh), 0.5);
}

TEST_F(FontTest, OnePointAndTwoEqualPointContoursAddNoTriangle)
{
    Mesh mesh = freshMesh(fixtures(), 'H');
    EXPECT_TRUE(meshInvariants(mesh));
    EXPECT_EQ(mesh.vertices.size(), 4u);
    EXPECT_EQ(mesh.indices.size(), 6u);
    EXPECT_EQ(meshArea(mesh), 1.0);
}

/* An empty contour (its end repeating the previous end) is reported and skipped; the
 * other contours are still meshed. */
TEST_F(FontTest, EmptyContourIsReportedAndTheRestIsMeshed)
{
    tavixInternalFontData *font = fixtures();
    ASSERT_TRUE(prepare(font, 'H'));
    AlteredLoads empty([](FT_GlyphSlot slot) {
        if (slot->outline.n_contours == 3)
            slot->outline.contours[1] = slot->outline.contours[0];
    });
    Mesh mesh;
    std::string out = captureStdout([&] { mesh = freshMesh(font, 'H'); });
    EXPECT_EQ(out, "glyph/glyphTesselator(595): fill Contour 1 failed\n");
    EXPECT_TRUE(meshInvariants(mesh));
    EXPECT_EQ(mesh.indices.size(), 6u);
    EXPECT_EQ(meshArea(mesh), 1.0);
}

TEST_F(FontTest, SpaceReturnsTheSharedArrayAsItStands)
{
    tavixInternalFontData *font = fixtures();
    ASSERT_TRUE(prepare(font, ' '));
    float *vertices = reinterpret_cast<float *>(&font);
    EXPECT_EQ(GetGlyphVertices(&vertices, font, ' '), 0);
    EXPECT_EQ(vertices, nullptr);
    EXPECT_EQ(indexCount(font, ' '), 0);
    ASSERT_TRUE(prepare(font, 'A'));
    ASSERT_EQ(vertexCount(font, 'A'), 4);
    EXPECT_EQ(vertexCount(font, ' '), 4);
    EXPECT_EQ(indexCount(font, ' '), 0);
    ClearGlyphData(font, ' ');
    EXPECT_EQ(vertexCount(font, ' '), 0);
    EXPECT_EQ(indexCount(font, 'A'), 6) << "clearing one glyph leaves the others' lists";
}

/* 'Z' maps to glyph 0: its tessellation runs and is kept, but reads as failure. */
TEST_F(FontTest, MissingCharacterMeshReadsAsFailure)
{
    tavixInternalFontData *font = fixtures();
    ASSERT_TRUE(prepare(font, 'Z'));
    EXPECT_EQ(vertexCount(font, 'Z'), -1);
    /* The missing glyph is a box with a hole: 8 vertices, 8 triangles. */
    EXPECT_EQ(indexCount(font, 'Z'), 24);
    EXPECT_EQ(sharedVertexCount(font), 8);
    ClearGlyphData(font, 'Z');
    EXPECT_EQ(indexCount(font, 'Z'), 0);
    EXPECT_EQ(sharedVertexCount(font), 0);
}

TEST_F(FontTest, TessellatingTwiceDoublesTheIndicesOnly)
{
    tavixInternalFontData *font = fixtures();
    for (uint32_t code : {'A', 'B', 'E', 'F'}) {
        ASSERT_TRUE(prepare(font, code));
        ClearGlyphData(font, code);
        Mesh first = meshNow(font, code);
        Mesh second = meshNow(font, code);
        EXPECT_LE(first.vertices.size(), 65u);
        EXPECT_EQ(second.vertices.size(), first.vertices.size()) << char(code);
        ASSERT_EQ(second.indices.size(), 2 * first.indices.size()) << char(code);
        EXPECT_TRUE(std::equal(first.indices.begin(), first.indices.end(),
                               second.indices.begin() + first.indices.size()));
        ClearGlyphData(font, code);
    }
}

/* Beyond the 65 most recent vertices nothing is merged: a second pass stores anew. */
TEST_F(FontTest, LargeGlyphTessellatedTwiceGrowsTheVertexArray)
{
    tavixInternalFontData *font = open(kDejaVuSans);
    ASSERT_TRUE(prepare(font, 'o'));
    Mesh first = meshNow(font, 'o');
    ASSERT_GT(first.vertices.size(), 65u);
    Mesh second = meshNow(font, 'o');
    EXPECT_GT(second.vertices.size(), first.vertices.size());
    EXPECT_EQ(second.indices.size(), 2 * first.indices.size());
    EXPECT_TRUE(meshInvariants(second));
    EXPECT_NEAR(meshArea(second), 2 * meshArea(first), 1e-12);
}

TEST_F(FontTest, GlyphsTessellatedTogetherShareTheVertexArray)
{
    tavixInternalFontData *font = fixtures();
    for (uint32_t code : {'A', 'B', 'V', ' '})
        ASSERT_TRUE(prepare(font, code));
    ASSERT_EQ(vertexCount(font, 'A'), 4);
    /* B shares only its corner (0,0) with A; V's corners are all there already. */
    EXPECT_EQ(vertexCount(font, 'B'), 4 + 7);
    EXPECT_EQ(vertexCount(font, 'V'), 4 + 7);
    Mesh shared = meshNow(font, ' ');
    for (uint32_t code : {'A', 'B', 'V'}) {
        Mesh mesh = shared;
        int32_t *indices = nullptr;
        int32_t n = GetGlyphTriangleIndices(&indices, font, code);
        ASSERT_GT(n, 0);
        mesh.indices.assign(indices, indices + n);
        EXPECT_TRUE(meshInvariants(mesh)) << char(code);
        EXPECT_DOUBLE_EQ(meshArea(mesh), code == 'A' ? 0.25 : code == 'B' ? 0.75 : 0.5);
    }
    int32_t origin = static_cast<int32_t>(
        std::find_if(shared.vertices.begin(), shared.vertices.end(),
                     [](const Point2 &v) { return v.x == 0.0 && v.y == 0.0; }) -
        shared.vertices.begin());
    ASSERT_LT(origin, 4) << "(0,0) is one of A's vertices";
    int32_t *indices = nullptr;
    int32_t n = GetGlyphTriangleIndices(&indices, font, 'B');
    EXPECT_NE(std::find(indices, indices + n, origin), indices + n)
        << "B's corner (0,0) is A's vertex";
}

/* Replays the corners in the order they were appended: each is a new vertex at the end
 * of the shared array, with no equal one among the 65 before it, or the first equal
 * vertex among the last 65. Many glyphs in a row, never cleared, so that merging also
 * reaches across glyphs. */
TEST_F(FontTest, VerticesMergeWithinTheLast65Only)
{
    tavixInternalFontData *font = open(kDejaVuSans);
    FreeTypeFace face(kDejaVuSans, 640);
    std::vector<MappedGlyph> glyphs = mappedGlyphs(face.face());
    ASSERT_TRUE(prepare(font, ' '));
    std::vector<uint32_t> codes;
    for (size_t g = 0; g < glyphs.size() && codes.size() < 60; g += 37) {
        ASSERT_TRUE(prepare(font, glyphs[g].code));
        ClearGlyphData(font, glyphs[g].code);
        codes.push_back(glyphs[g].code);
    }
    for (uint32_t code : codes)
        ASSERT_GE(vertexCount(font, code), 0);
    Mesh shared = meshNow(font, ' ');
    auto same = [&](size_t a, size_t b) {
        return shared.vertices[a].x == shared.vertices[b].x &&
               shared.vertices[a].y == shared.vertices[b].y;
    };
    size_t size = 0, merged = 0, far = 0;
    for (uint32_t code : codes) {
        int32_t *indices = nullptr;
        int32_t n = GetGlyphTriangleIndices(&indices, font, code);
        for (int32_t k = 0; k < n; ++k) {
            size_t i = static_cast<size_t>(indices[k]), window = size > 65 ? size - 65 : 0;
            ASSERT_LE(i, size) << codeName(code) << " corner " << k;
            for (size_t j = window; j < std::min(i, size); ++j)
                ASSERT_FALSE(same(i, j)) << codeName(code) << " corner " << k << " is vertex " << j;
            if (i == size) {
                ++size;
                for (size_t j = 0; j < window; ++j)
                    far += same(i, j) ? 1 : 0;
            } else {
                ASSERT_GE(i, window) << codeName(code) << " corner " << k;
                ++merged;
            }
        }
    }
    EXPECT_EQ(size, shared.vertices.size());
    EXPECT_GT(merged, 0u);
    EXPECT_GT(far, 0u) << "some position recurs beyond the window and is stored again";
}

TEST_F(FontTest, CffRingKeepsItsHoleAndItsArea)
{
    tavixInternalFontData *font = open(fixture("cubic.otf"));
    std::vector<std::vector<Point2>> contours;
    ASSERT_TRUE(readContours(font, 'O', 2, &contours));
    Mesh mesh = freshMesh(font, 'O');
    EXPECT_TRUE(meshInvariants(mesh));
    EXPECT_EQ(trianglesCovering(mesh, u(320, 320)), 0);
    EXPECT_EQ(trianglesCovering(mesh, u(331, 77)), 1);
    EXPECT_NEAR(meshArea(mesh), std::fabs(polygonArea(contours[0]) + polygonArea(contours[1])),
                1e-12);
    /* Against the curves themselves, which the 26-sample polylines cut inside. */
    EXPECT_NEAR(meshArea(mesh), 0.583125, 0.002);
    EXPECT_LT(meshArea(mesh), 0.583125);
}

/* ---- damaged fonts ---- */

TEST_F(FontTest, DamagedFontsGiveFailureValues)
{
    for (const char *name : {"malformed.ttf", "truncated.ttf", "symbol-only.ttf",
                             "macroman-only.ttf", "truncated-header.ttf"}) {
        tavixInternalFontData *font = open(fixture(name));
        ASSERT_NE(font, nullptr);
        for (uint32_t code = 0; code < 0x80; ++code) {
            glyphInfoRecord info;
            bool ready = GetGlyphInfo(&info, font, code) == 1;
            Mesh mesh;
            float *vertices = nullptr;
            int32_t *indices = nullptr;
            int32_t nv = GetGlyphVertices(&vertices, font, code);
            int32_t ni = GetGlyphTriangleIndices(&indices, font, code);
            if (!ready) {
                EXPECT_EQ(nv, -1) << name << " " << codeName(code);
                EXPECT_EQ(ni, -1) << name << " " << codeName(code);
            }
            if (ni > 0) {
                glyphInfoRecord space;
                ASSERT_EQ(GetGlyphInfo(&space, font, ' '), 1) << name;
                int32_t stored = vertexCount(font, ' ');
                for (int32_t k = 0; k < ni; ++k)
                    EXPECT_TRUE(indices[k] >= 0 && indices[k] < stored) << name;
            }
            float *points = nullptr;
            uint8_t evenOdd, postScript;
            int32_t np = GetGlyphContour(&points, font, code, 0, &evenOdd, &postScript);
            EXPECT_EQ(np > 0, ready && info.contourCount > 0) << name << " " << codeName(code);
            float kerning[2];
            GetKerning(kerning, font, code, 'A');
            ClearGlyphData(font, code);
        }
    }
}

TEST_F(FontTest, MalformedGlyphsFailAndTheRestWorks)
{
    tavixInternalFontData *font = open(fixture("malformed.ttf"));
    glyphInfoRecord info;
    EXPECT_EQ(GetGlyphInfo(&info, font, 'A'), 0);
    EXPECT_EQ(GetGlyphInfo(&info, font, 'B'), 0);
    Mesh square = freshMesh(font, 'C');
    EXPECT_EQ(square.vertices.size(), 4u);
    EXPECT_EQ(square.indices.size(), 6u);
}

/* truncated.ttf loads its cut-off glyphs as empty outlines. */
TEST_F(FontTest, TruncatedFontGivesEmptyGlyphs)
{
    tavixInternalFontData *font = open(fixture("truncated.ttf"));
    glyphInfoRecord info;
    ASSERT_EQ(GetGlyphInfo(&info, font, 'A'), 1);
    EXPECT_EQ(info.contourCount, 0);
    EXPECT_EQ(vertexCount(font, 'A'), 0);
    EXPECT_EQ(indexCount(font, 'A'), 0);
    float kerning[2];
    EXPECT_EQ(GetKerning(kerning, font, 'A', 'A'), 0);
}

/* ---- memory exhaustion ----
 *
 * Every allocation of one query fails in turn. The query must then give the correct
 * answer or its failure value, and whatever mesh the handle holds afterwards must name
 * only stored vertices. Leaks are the sanitizer build's to find. */

namespace
{

struct MeshSnapshot {
    int32_t vertexCount;
    std::vector<float> vertices;
    std::vector<int32_t> indices;
};

/* Copies the arrays that GetGlyphVertices handed out; done after the failing run, so that
 * the copying allocates nothing under it. */
MeshSnapshot snapshot(tavixInternalFontData *font, uint32_t code, int32_t vertexCount,
                      const float *vertices)
{
    MeshSnapshot s;
    s.vertexCount = vertexCount;
    if (vertexCount > 0)
        s.vertices.assign(vertices, vertices + 2 * vertexCount);
    int32_t *indices = nullptr;
    int32_t ni = GetGlyphTriangleIndices(&indices, font, code);
    if (ni > 0)
        s.indices.assign(indices, indices + ni);
    return s;
}

void sweepMesh(const std::string &path, uint32_t code)
{
    tavixInternalFontData *font = OpenFont(path.c_str());
    ASSERT_TRUE(prepare(font, code));
    ClearGlyphData(font, code);
    float *vertices = nullptr;
    int32_t count = 0;
    long allocations = countAllocations([&] { count = GetGlyphVertices(&vertices, font, code); });
    MeshSnapshot good = snapshot(font, code, count, vertices);
    ASSERT_GT(good.indices.size(), 0u);
    ClearGlyphData(font, code);
    int failed = 0, partial = 0;
    for (long k = 1; k <= allocations; ++k) {
        vertices = nullptr;
        failAllocation(k, [&] { count = GetGlyphVertices(&vertices, font, code); });
        MeshSnapshot got = snapshot(font, code, count, vertices);
        int32_t stored = sharedVertexCount(font);
        for (int32_t index : got.indices)
            ASSERT_TRUE(index >= 0 && index < stored) << "allocation " << k;
        if (count == -1) {
            ++failed;
        } else if (got.vertices != good.vertices || got.indices != good.indices) {
            ++partial;
            ADD_FAILURE() << codeName(code) << ": allocation " << k << " of " << allocations
                          << " failing gave " << count << " vertices, " << got.indices.size()
                          << " indices; without failures " << good.vertexCount << ", "
                          << good.indices.size();
        }
        ClearGlyphData(font, code);
    }
    std::printf("%s %s: %ld allocations, %d failing runs gave -1, %d a wrong mesh\n",
                path.substr(path.rfind('/') + 1).c_str(), codeName(code).c_str(), allocations,
                failed, partial);
    CloseFont(font);
}

void sweepContour(const std::string &path, uint32_t code, int32_t index)
{
    tavixInternalFontData *font = OpenFont(path.c_str());
    ASSERT_TRUE(prepare(font, code));
    float *points = nullptr;
    uint8_t evenOdd, postScript;
    int32_t n = 0;
    long allocations = countAllocations(
        [&] { n = GetGlyphContour(&points, font, code, index, &evenOdd, &postScript); });
    ASSERT_GT(n, 0);
    std::vector<float> good(points, points + 3 * n);
    int failed = 0;
    for (long k = 1; k <= allocations; ++k) {
        failAllocation(
            k, [&] { n = GetGlyphContour(&points, font, code, index, &evenOdd, &postScript); });
        if (n == 0) {
            ++failed;
            continue;
        }
        std::vector<float> got(points, points + 3 * n);
        EXPECT_EQ(got, good) << codeName(code) << " contour " << index << ": allocation " << k
                             << " of " << allocations << " failing gave " << n << " points, not "
                             << good.size() / 3;
    }
    std::printf("%s %s contour %d: %ld allocations, %d failing runs gave 0\n",
                path.substr(path.rfind('/') + 1).c_str(), codeName(code).c_str(), index,
                allocations, failed);
    CloseFont(font);
}

} // namespace

TEST(MemoryExhaustion, MeshOfAGlyphWithAHole)
{
    GLYVA_REQUIRE_FAILING_ALLOC();
    sweepMesh(fixture("fixtures.ttf"), 'B');
    sweepMesh(fixture("cubic.otf"), 'O');
}

TEST(MemoryExhaustion, MeshWithTessellatorMadeVertices)
{
    GLYVA_REQUIRE_FAILING_ALLOC();
    sweepMesh(fixture("fixtures.ttf"), 'E');
    sweepMesh(fixture("fixtures.ttf"), 'F');
}

TEST(MemoryExhaustion, ContourQuery)
{
    GLYVA_REQUIRE_FAILING_ALLOC();
    sweepContour(fixture("fixtures.ttf"), 'B', 1);
    sweepContour(fixture("cubic.otf"), 'O', 0);
}

TEST(MemoryExhaustion, OpenFontAndFirstMesh)
{
    GLYVA_REQUIRE_FAILING_ALLOC();
    const std::string path = fixture("fixtures.ttf");
    long allocations = countAllocations([&] { CloseFont(OpenFont(path.c_str())); });
    for (long k = 1; k <= allocations; ++k) {
        tavixInternalFontData *font = nullptr;
        captureStdout([&] { failAllocation(k, [&] { font = OpenFont(path.c_str()); }); });
        if (!font)
            continue;
        glyphInfoRecord info;
        if (GetGlyphInfo(&info, font, 'A')) {
            Mesh mesh = freshMesh(font, 'A');
            EXPECT_EQ(mesh.indices.size(), 6u) << "allocation " << k;
        }
        CloseFont(font);
    }
    EXPECT_GT(allocations, 3);
}
