#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/glyph.hh"
#include "support/raster.hh"
#include "support/support.hh"

#include FT_OUTLINE_H

/* The font interface queried as a host does: the handle and its font-wide metrics, glyph
 * metrics, contours, kerning and meshes, each compared with FreeType called directly or
 * with values computed by hand for the fixture fonts. */

using namespace glyva_test;

/* Defined here, FT_Load_Glyph is the one the library binds to: it counts loads and can
 * fail them or alter the loaded outline, so that outlines no font driver produces (an
 * empty contour, the even-odd flag) reach the library through its ordinary path. */
namespace
{
long g_loads = 0;
bool g_failLoads = false;
std::function<void(FT_GlyphSlot)> g_alterOutline;
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
        g_alterOutline = nullptr;
        g_failLoads = false;
        for (tavixInternalFontData *font : fonts_)
            CloseFont(font);
    }
    tavixInternalFontData *open(const std::string &path)
    {
        fonts_.push_back(OpenFont(path.c_str())); /* CloseFont takes null */
        return fonts_.back();
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

int32_t contourCount(tavixInternalFontData *font, uint32_t code, int32_t k,
                     float **points = nullptr)
{
    float *unused;
    uint8_t evenOdd, postScript;
    return GetGlyphContour(points ? points : &unused, font, code, k, &evenOdd, &postScript);
}

} // namespace

TEST_F(FontTest, UnusableFontsGiveAHandleWithTheCreationValues)
{
    EXPECT_EQ(OpenFont(nullptr), nullptr);
    TempFile text("this is not a font, only some text\n");
    const std::string missing = "/nonexistent/glyva-no-such-font.ttf";
    for (const std::string &path :
         {missing, std::string(text.path()), fixture("truncated-header.ttf"),
          fixture("symbol-only.ttf"), fixture("macroman-only.ttf")}) {
        tavixInternalFontData *font = nullptr;
        std::string out = captureStdout([&] { font = open(path); });
        ASSERT_NE(font, nullptr) << path;
        EXPECT_EQ(out, path == missing
                           ? "Skrib/GlyvaInterface(249): unable to read font " + path + "\n"
                           : "");
        float b[4] = {9, 9, 9, 9};
        EXPECT_EQ(GetFontBounds(b, font), 1) << path;
        EXPECT_EQ((std::vector<float>{b[0], b[1], b[2], b[3], GetAscender(font), GetDescender(font),
                                      GetMaxAdvanceX(font), float(GetQuality(font))}),
                  (std::vector<float>{0, 0, 0, 0, 1, 0, 0, 50}))
            << path;
        EXPECT_FALSE(prepare(font, 'A')) << path;
    }
    EXPECT_STREQ(GetDescription(), "Corvalen Glyva interface 1.1");
    EXPECT_EQ(GetDescription(), GetDescription());
}

TEST_F(FontTest, QualityIsAPercentFrom0To100)
{
    tavixInternalFontData *font = fixtures();
    const uint32_t set[] = {101, UINT32_MAX, 0, 100, 101, 7, 53};
    const int32_t read[] = {50, 50, 0, 100, 100, 7, 52};
    for (size_t k = 0; k < 7; ++k) {
        SetQuality(font, set[k]);
        EXPECT_EQ(GetQuality(font), read[k]) << set[k];
    }
    /* The stored float lies at or just below percent / 100 and the product is truncated:
     * a round trip may lose one, as 0.53f does. */
    for (int32_t percent = 0; percent <= 100; ++percent) {
        SetQuality(font, static_cast<uint32_t>(percent));
        EXPECT_TRUE(GetQuality(font) == percent || GetQuality(font) == percent - 1) << percent;
    }
}

/* Contour ends that run backwards or past the points are refused before anything reads
 * the points they name. */
TEST_F(FontTest, OutlinesWithBrokenContourEndsAreRefused)
{
    tavixInternalFontData *font = fixtures();
    ASSERT_TRUE(prepare(font, 'A') && prepare(font, 'B'));
    for (std::pair<int, short> end : {std::pair<int, short>{1, 8}, {1, 2}, {0, 9}}) {
        /* A query of A first, so that B is loaded again rather than found in the slot. */
        g_alterOutline = nullptr;
        ASSERT_GT(contourCount(font, 'A', 0), 0);
        g_alterOutline = [end](FT_GlyphSlot slot) {
            slot->outline.contours[end.first] = end.second;
        };
        EXPECT_TRUE(vertexCount(font, 'B') == -1 && contourCount(font, 'B', 0) == 0) << end.second;
    }
}

/* Every query with a null or unusable argument gives its failure value and writes
 * nothing, and so does every glyph query before GetGlyphInfo prepared the glyph. */
TEST_F(FontTest, FailureValuesWriteNothing)
{
    tavixInternalFontData *font = fixtures(), *missing = nullptr;
    captureStdout([&] { missing = open("/nonexistent/font.ttf"); });
    tavixInternalFontData *symbol = open(fixture("symbol-only.ttf"));
    ASSERT_TRUE(prepare(font, 'B'));
    glyphInfoRecord info;
    std::memset(&info, 0xAB, sizeof info);
    const glyphInfoRecord untouched = info;
    float *vertices = nullptr, *points = nullptr, kerning[2] = {9, 9}, x = 9, y = 9,
          bounds[4] = {7, 7, 7, 7};
    int32_t *indices = nullptr;
    uint8_t evenOdd = 7, postScript = 7;
    auto contour = [&](float **out, tavixInternalFontData *f, uint32_t code, int32_t k) {
        return GetGlyphContour(out, f, code, k, &evenOdd, &postScript);
    };
    struct Case {
        const char *what;
        std::function<int32_t()> call;
        int32_t failure;
    };
    const Case cases[] = {
        {"info, no handle", [&] { return GetGlyphInfo(&info, nullptr, 'A'); }, 0},
        {"info, missing font", [&] { return GetGlyphInfo(&info, missing, 'A'); }, 0},
        {"info, no Unicode map", [&] { return GetGlyphInfo(&info, symbol, 0xF041); }, 0},
        {"info, no record", [&] { return GetGlyphInfo(nullptr, font, 'A'); }, 0},
        {"vertices, unprepared", [&] { return GetGlyphVertices(&vertices, font, 'A'); }, -1},
        {"vertices, no output", [&] { return GetGlyphVertices(nullptr, font, 'B'); }, -1},
        {"vertices, no handle", [&] { return GetGlyphVertices(&vertices, nullptr, 'B'); }, -1},
        {"indices, unprepared", [&] { return GetGlyphTriangleIndices(&indices, font, 'A'); }, -1},
        {"indices, no output", [&] { return GetGlyphTriangleIndices(nullptr, font, 'B'); }, -1},
        {"indices, no handle", [&] { return GetGlyphTriangleIndices(&indices, nullptr, 'B'); }, -1},
        {"contour, unprepared", [&] { return contour(&points, font, 'A', 0); }, 0},
        {"contour, no output", [&] { return contour(nullptr, font, 'B', 0); }, 0},
        {"contour, no handle", [&] { return contour(&points, nullptr, 'B', 0); }, 0},
        {"contour -1", [&] { return contour(&points, font, 'B', -1); }, 0},
        {"contour past the last", [&] { return contour(&points, font, 'B', 2); }, 0},
        {"kerning, one unprepared", [&] { return GetKerning(kerning, font, 'B', 'A'); }, 0},
        {"kerning, other unprepared", [&] { return GetKerning(kerning, font, 'A', 'B'); }, 0},
        {"kerning2, one unprepared", [&] { return GetKerning2(&x, &y, font, 'B', 'A'); }, 0},
        {"kerning, no output", [&] { return GetKerning(nullptr, font, 'B', 'B'); }, 0},
        {"kerning, no handle", [&] { return GetKerning(kerning, nullptr, 'B', 'B'); }, 0},
        {"kerning2, no handle", [&] { return GetKerning2(&x, &y, nullptr, 'B', 'B'); }, 0},
        {"bounds, no handle", [&] { return GetFontBounds(bounds, nullptr); }, 0},
        {"quality, no handle", [&] { return GetQuality(nullptr); }, 0},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.call(), c.failure) << c.what;
    EXPECT_EQ(std::memcmp(&info, &untouched, sizeof info), 0);
    EXPECT_TRUE(!vertices && !indices && !points && evenOdd == 7 && postScript == 7);
    EXPECT_TRUE(kerning[0] == 9 && kerning[1] == 9 && x == 9 && y == 9 && bounds[0] == 7);
    EXPECT_EQ(
        (std::vector<float>{GetAscender(nullptr), GetDescender(nullptr), GetMaxAdvanceX(nullptr)}),
        std::vector<float>(3, 0.0f));
    SetQuality(nullptr, 10);
    ClearGlyphData(nullptr, 'A');
    ClearGlyphContour(nullptr);
    CloseFont(nullptr);
}

namespace
{

class RealFontTest : public testing::TestWithParam<RealFont>
{
};

} // namespace

/* Ascender and descender are scaled pixels (whole pixels at 10 px/em); the bounding box
 * and the maximal advance are font units; every metric is FreeType's divided by 640. */
TEST_P(RealFontTest, MetricsAndKerningAreFreeTypesDividedBy640)
{
    FreeTypeFace face(GetParam().path, 640);
    FT_Face f = face.face();
    ASSERT_EQ(f->units_per_EM, GetParam().unitsPerEm);
    tavixInternalFontData *font = OpenFont(GetParam().path);
    float bounds[4];
    ASSERT_EQ(GetFontBounds(bounds, font), 1);
    EXPECT_EQ((std::vector<float>{bounds[0], bounds[1], bounds[2], bounds[3], GetAscender(font),
                                  GetDescender(font), GetMaxAdvanceX(font)}),
              (std::vector<float>{ems(f->bbox.xMin), ems(f->bbox.xMax), ems(f->bbox.yMin),
                                  ems(f->bbox.yMax), ems(f->size->metrics.ascender),
                                  ems(f->size->metrics.descender), ems(f->max_advance_width)}));
    int compared = 0;
    for (const MappedGlyph &g : mappedGlyphs(GetParam().path)) {
        ASSERT_TRUE(face.load(g.glyph) || f->glyph->format != FT_GLYPH_FORMAT_OUTLINE);
        const FT_Glyph_Metrics &m = f->glyph->metrics;
        std::vector<float> expected;
        for (FT_Pos v : {m.width, m.height, m.horiAdvance, m.vertAdvance, m.horiBearingX,
                         m.horiBearingY, m.vertBearingX, m.vertBearingY})
            expected.push_back(ems(v));
        glyphInfoRecord info;
        ASSERT_EQ(GetGlyphInfo(&info, font, g.code), 1) << codeName(g.code);
        ASSERT_EQ(std::vector<float>(&info.width, &info.width + 8), expected) << codeName(g.code);
        ASSERT_EQ(info.contourCount, f->glyph->outline.n_contours) << codeName(g.code);
        ++compared;
    }
    EXPECT_GT(compared, 1000);
    /* Every pair of ASCII letters and digits through both queries; grid fitting at 10 px/em
     * rounds most to 0. */
    const std::string codes = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz.,";
    for (char l : codes)
        for (char r : codes) {
            float kerning[2] = {9, 9}, x = 9, y = 9;
            FT_Vector v;
            int32_t result = GetKerning(kerning, font, l, r);
            ASSERT_EQ(GetKerning2(&x, &y, font, l, r), result);
            if (!FT_HAS_KERNING(f)) {
                ASSERT_EQ(result, 0);
                continue;
            }
            FT_Get_Kerning(f, FT_Get_Char_Index(f, l), FT_Get_Char_Index(f, r), FT_KERNING_DEFAULT,
                           &v);
            ASSERT_EQ(result, 1);
            ASSERT_EQ(kerning[0], ems(v.x)) << l << r;
            ASSERT_EQ(kerning[1], ems(v.y)) << l << r;
            ASSERT_TRUE(x == kerning[0] && y == kerning[1]) << l << r;
        }
    CloseFont(font);
}

INSTANTIATE_TEST_SUITE_P(RealFonts, RealFontTest, testing::ValuesIn(realFonts()), realFontName);

/* The square: 320 units wide and high, advance 640, at 640 units per em. A prepared
 * glyph is not loaded again for its metrics; Z has no glyph and gets glyph 0's. */
TEST_F(FontTest, MetricsAreCachedAndFollowTheGlyph)
{
    tavixInternalFontData *font = fixtures();
    glyphInfoRecord a1, a2, z;
    const long before = g_loads;
    ASSERT_TRUE(GetGlyphInfo(&a1, font, 'A') && prepare(font, 'B'));
    ASSERT_EQ(GetGlyphInfo(&a2, font, 'A'), 1);
    EXPECT_EQ(g_loads - before, 2);
    EXPECT_EQ(std::memcmp(&a1, &a2, sizeof a1), 0);
    const float square[] = {0.5f, 0.5f, 1.0f, a1.vertAdvance, 0.0f, 0.5f};
    EXPECT_EQ(std::vector<float>(&a1.width, &a1.width + 6), std::vector<float>(square, square + 6));
    ASSERT_EQ(GetGlyphInfo(&z, font, 'Z'), 1);
    EXPECT_TRUE(z.width == 0.5f && z.height == 1.0f && z.contourCount == 2);
}

/* 'I' holds a zero-point contour, which FreeType refuses to load. Failed queries leave
 * the contour array handed out before in place: contour indices out of range, a glyph
 * without contours, an unprepared glyph, and a prepared glyph that FreeType stops
 * loading, which keeps its cached metrics and fails the loading queries. */
TEST_F(FontTest, FailedQueriesLoseNothing)
{
    tavixInternalFontData *font = fixtures();
    EXPECT_FALSE(prepare(font, 'I'));
    EXPECT_EQ(vertexCount(font, 'I'), -1);
    EXPECT_EQ(contourCount(font, 'I', 0), 0);
    ASSERT_TRUE(prepare(font, 'B') && prepare(font, ' '));
    float *points = nullptr;
    ASSERT_EQ(contourCount(font, 'B', 1, &points), 4);
    float *kept = points;
    std::vector<float> copy(points, points + 12);
    ASSERT_EQ(vertexCount(font, 'B'), 8);
    for (auto query : {std::pair<uint32_t, int32_t>{'B', -1}, {'B', 1000}, {' ', 0}, {'W', 0}})
        EXPECT_EQ(contourCount(font, query.first, query.second, &points), 0) << query.second;
    g_failLoads = true;
    EXPECT_TRUE(prepare(font, 'B'));
    EXPECT_EQ(contourCount(font, 'B', 0, &points), 0);
    EXPECT_EQ(vertexCount(font, 'B'), -1);
    g_failLoads = false;
    EXPECT_TRUE(points == kept && std::vector<float>(kept, kept + 12) == copy);
    EXPECT_EQ(indexCount(font, 'B'), 24);
    EXPECT_EQ(vertexCount(font, ' '), 8)
        << "the shared array, read through a glyph without contours";
    ClearGlyphContour(font);
    ClearGlyphContour(font);
}

/* The fill and orientation bytes against FreeType's own answer for the outline; the
 * even-odd flag set on the outline; and a contour of unknown tags, which flattens to
 * nothing and fails the query after the bytes were written. */
TEST_F(FontTest, FillAndOrientationBytesFollowTheOutline)
{
    const std::string tt = fixture("fixtures.ttf"), cff = fixture("cubic.otf");
    const std::pair<std::string, uint32_t> glyphs[] = {{tt, 'A'},          {tt, 'F'},
                                                       {cff, 'A'},         {cff, 'O'},
                                                       {kDejaVuSans, 'o'}, {kLiberationSans, 'o'},
                                                       {kFreeSans, 'o'}};
    for (const auto &c : glyphs) {
        SCOPED_TRACE(c.first + " " + codeName(c.second));
        tavixInternalFontData *font = open(c.first);
        ASSERT_TRUE(prepare(font, c.second));
        FreeTypeFace face(c.first.c_str(), 640);
        FT_Outline *outline = face.loadCode(c.second);
        float *points;
        uint8_t evenOdd = 7, postScript = 7;
        ASSERT_GT(GetGlyphContour(&points, font, c.second, 0, &evenOdd, &postScript), 0);
        EXPECT_EQ(evenOdd, 0);
        EXPECT_EQ(postScript, FT_Outline_Get_Orientation(outline) == FT_ORIENTATION_POSTSCRIPT);
    }
    tavixInternalFontData *font = fixtures();
    ASSERT_TRUE(prepare(font, 'E') && prepare(font, 'B'));
    float *points = nullptr;
    uint8_t evenOdd = 7, postScript = 7;
    g_alterOutline = [](FT_GlyphSlot slot) { slot->outline.flags |= FT_OUTLINE_EVEN_ODD_FILL; };
    ASSERT_EQ(GetGlyphContour(&points, font, 'E', 1, &evenOdd, &postScript), 4);
    EXPECT_TRUE(evenOdd == 1 && postScript == 0);
    g_alterOutline = [](FT_GlyphSlot slot) {
        for (int p = 4; p < 8 && p < slot->outline.n_points; ++p)
            slot->outline.tags[p] = 4;
    };
    evenOdd = postScript = 7;
    points = nullptr;
    EXPECT_EQ(GetGlyphContour(&points, font, 'B', 0, &evenOdd, &postScript), 0);
    EXPECT_TRUE(points == nullptr && evenOdd == 0 && postScript == 0);
}

/* GetKerning2 writes only the outputs it is given (RealFontTest compares both kerning
 * queries with FreeType); B B is -1 em in fixtures.ttf, grid-fitted at 10 px/em to -0.4.
 * Without kerning, nothing is written. */
TEST_F(FontTest, KerningWritesOnlyTheOutputsGiven)
{
    tavixInternalFontData *font = fixtures();
    ASSERT_TRUE(prepare(font, 'B'));
    float x = 9, y = 9;
    EXPECT_EQ(GetKerning2(nullptr, nullptr, font, 'B', 'B'), 1);
    EXPECT_EQ(GetKerning2(nullptr, &y, font, 'B', 'B'), 1);
    EXPECT_EQ(GetKerning2(&x, nullptr, font, 'B', 'B'), 1);
    EXPECT_TRUE(std::fabs(x + 0.4f) < 1e-6 && y == 0.0f);
    for (const std::string &path : {fixture("nokern.ttf"), fixture("cubic.otf")}) {
        tavixInternalFontData *plain = open(path);
        float kerning[2] = {9, 9};
        ASSERT_TRUE(prepare(plain, 'A'));
        EXPECT_EQ(GetKerning(kerning, plain, 'A', 'A'), 0) << path;
        EXPECT_EQ(GetKerning2(nullptr, nullptr, plain, 'A', 'A'), 0) << path;
        EXPECT_EQ(kerning[0], 9.0f);
    }
}

namespace
{

std::vector<Point2> fixturePoints(const std::string &text)
{
    std::vector<Point2> points;
    const auto lists = pointLists(text == "-" ? "" : text.c_str());
    for (const TextPoint &p : lists[0])
        points.push_back({p.c[0] / 640.0, p.c[1] / 640.0}); /* 26.6 at 640 per em */
    return points;
}

/* One row of tests/cases/fixture_meshes.txt. */
void checkMesh(const std::vector<std::string> &row)
{
    const uint32_t code = static_cast<uint8_t>(row[1][0]);
    tavixInternalFontData *font = OpenFont(fixture(row[0]).c_str());
    SetQuality(font, std::stoul(row[2]));
    if (row[3] == "1")
        g_alterOutline = [](FT_GlyphSlot slot) { slot->outline.flags |= FT_OUTLINE_EVEN_ODD_FILL; };
    Mesh mesh;
    Contours contours;
    glyphInfoRecord info;
    ASSERT_TRUE(readMesh(font, code, &mesh) && GetGlyphInfo(&info, font, code));
    ASSERT_TRUE(readContours(font, code, info.contourCount, &contours));
    g_alterOutline = nullptr;
    CloseFont(font);
    ASSERT_TRUE(meshInvariants(mesh));
    if (row[4] != "0") {
        EXPECT_EQ(mesh.vertices.size(), std::stoul(row[4]));
        EXPECT_EQ(mesh.indices.size(), std::stoul(row[5]));
    }
    /* Contours that neither cross nor overlap enclose their shoelace area exactly. */
    double shoelace = 0.0;
    for (const auto &contour : contours)
        shoelace += polygonArea(contour);
    const double area = std::stod(row[6]);
    EXPECT_NEAR(meshArea(mesh), area ? area : std::fabs(shoelace), 1e-12);
    for (const Point2 &p : fixturePoints(row[7]))
        EXPECT_NE(std::find(mesh.vertices.begin(), mesh.vertices.end(), p), mesh.vertices.end())
            << p.x << "," << p.y;
    for (const Point2 &p : fixturePoints(row[8]))
        EXPECT_EQ(trianglesCovering(mesh, p), 1) << p.x << "," << p.y;
    for (const Point2 &p : fixturePoints(row[9]))
        EXPECT_EQ(trianglesCovering(mesh, p), 0) << p.x << "," << p.y;
}

} // namespace

TEST_F(FontTest, FixtureMeshesMatchTheHandCounts)
{
    for (const auto &row : caseRows("fixture_meshes.txt")) {
        SCOPED_TRACE(row[0] + " " + row[1] + " q" + row[2] + ": " + row[10]);
        checkMesh(row);
    }
}

/* Contours are submitted without their closing repeat: one vertex per distinct contour
 * point, and an empty contour (its end repeating the previous end) is reported and
 * skipped while the rest is meshed. */
TEST_F(FontTest, ContoursReachTheTessellatorWithoutRepeats)
{
    tavixInternalFontData *font = fixtures();
    for (uint32_t code : {'C', 'D'}) {
        Contours contours;
        Mesh mesh;
        ASSERT_TRUE(readContours(font, code, 1, &contours) && readMesh(font, code, &mesh));
        EXPECT_EQ(mesh.vertices.size(), contours[0].size() - 1) << char(code);
        EXPECT_EQ(mesh.indices.size(), 3 * (contours[0].size() - 3)) << char(code);
    }
    g_alterOutline = [](FT_GlyphSlot slot) {
        if (slot->outline.n_contours == 3)
            slot->outline.contours[1] = slot->outline.contours[0];
    };
    ASSERT_TRUE(prepare(font, 'H'));
    Mesh mesh;
    std::string out = captureStdout([&] { readMesh(font, 'H', &mesh); });
    EXPECT_EQ(out, "glyph/glyphTesselator(595): fill Contour 1 failed\n");
    EXPECT_EQ(mesh.indices.size(), 6u);
    EXPECT_EQ(meshArea(mesh), 1.0);
}

/* Glyphs tessellated without clearing share the vertex array: B shares only its corner
 * (0,0) with A, V's corners are all there already. A glyph without contours returns the
 * array as it stands; clearing one glyph empties the array and that glyph's list only. */
TEST_F(FontTest, GlyphsShareTheVertexArrayUntilCleared)
{
    tavixInternalFontData *font = fixtures();
    for (uint32_t code : {'A', 'B', 'V', ' ', 'Z'})
        ASSERT_TRUE(prepare(font, code));
    float *vertices = reinterpret_cast<float *>(&font);
    EXPECT_TRUE(GetGlyphVertices(&vertices, font, ' ') == 0 && vertices == nullptr);
    ASSERT_EQ(vertexCount(font, 'A'), 4);
    EXPECT_EQ(vertexCount(font, 'B'), 4 + 7);
    EXPECT_EQ(vertexCount(font, 'V'), 4 + 7);
    EXPECT_EQ(indexCount(font, ' '), 0);
    Mesh shared, again;
    ASSERT_TRUE(readMesh(font, ' ', &shared, false));
    int32_t *indices = nullptr;
    for (uint32_t code : {'A', 'B', 'V'}) {
        Mesh mesh = shared;
        int32_t n = GetGlyphTriangleIndices(&indices, font, code);
        mesh.indices.assign(indices, indices + n);
        EXPECT_TRUE(meshInvariants(mesh)) << char(code);
        EXPECT_DOUBLE_EQ(meshArea(mesh), code == 'A' ? 0.25 : code == 'B' ? 0.75 : 0.5);
    }
    ASSERT_TRUE(readMesh(font, 'A', &again, false));
    EXPECT_EQ(again.vertices.size(), 11u);
    ASSERT_EQ(again.indices.size(), 12u);
    EXPECT_TRUE(
        std::equal(again.indices.begin(), again.indices.begin() + 6, again.indices.begin() + 6))
        << "tessellated again, A appends its triangles on the vertices stored before";
    const int32_t origin = static_cast<int32_t>(
        std::find(shared.vertices.begin(), shared.vertices.end(), Point2{0, 0}) -
        shared.vertices.begin());
    int32_t n = GetGlyphTriangleIndices(&indices, font, 'B');
    EXPECT_LT(origin, 4);
    EXPECT_NE(std::find(indices, indices + n, origin), indices + n) << "B's corner (0,0) is A's";
    ClearGlyphData(font, 'W');
    EXPECT_EQ(vertexCount(font, ' '), 11) << "clearing an unprepared glyph clears nothing";
    ASSERT_TRUE(prepare(font, 'W'));
    EXPECT_TRUE(GetGlyphTriangleIndices(&indices, font, 'W') == 0 && indices == nullptr)
        << "prepared, not tessellated";
    ClearGlyphData(font, ' ');
    EXPECT_EQ(vertexCount(font, ' '), 0);
    EXPECT_EQ(indexCount(font, 'A'), 12) << "clearing one glyph leaves the others' lists";
    /* Z maps to glyph 0: its tessellation runs and is kept, but reads as failure. */
    EXPECT_EQ(vertexCount(font, 'Z'), -1);
    EXPECT_EQ(indexCount(font, 'Z'), 24);
    ClearGlyphData(font, 'Z');
    EXPECT_EQ(indexCount(font, 'Z'), 0);
    EXPECT_EQ(vertexCount(font, ' '), 0);
}

/* What damaged fonts give where their damage is known. (Every query over their glyphs,
 * checked against the interface's promises, is replay_fuzz_font's: these fonts are in its
 * corpus.) */
TEST_F(FontTest, DamagedFontsGiveFailureValues)
{
    tavixInternalFontData *malformed = open(fixture("malformed.ttf"));
    EXPECT_FALSE(prepare(malformed, 'A') || prepare(malformed, 'B'));
    Mesh square;
    ASSERT_TRUE(readMesh(malformed, 'C', &square));
    EXPECT_EQ(square.indices.size(), 6u);
    /* truncated.ttf loads its cut-off glyphs as empty outlines. */
    tavixInternalFontData *truncated = open(fixture("truncated.ttf"));
    glyphInfoRecord info;
    ASSERT_EQ(GetGlyphInfo(&info, truncated, 'A'), 1);
    EXPECT_EQ(info.contourCount, 0);
    EXPECT_EQ(vertexCount(truncated, 'A'), 0);
    EXPECT_EQ(indexCount(truncated, 'A'), 0);
}
