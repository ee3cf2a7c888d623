/* libGlyvaShape against independent truth: positions against HarfBuzz's own hb-shape
 * tool, meshes against the font API's character path, variable-font outlines against
 * FreeType's own instances. Builds without HarfBuzz compile to a skip. */
#include <gtest/gtest.h>

#ifndef GLYVA_SHAPE_BUILT

TEST(Shape, SkippedWithoutHarfBuzz)
{
    GTEST_SKIP() << "libGlyvaShape is not built here (no HarfBuzz)";
}

#else

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_MULTIPLE_MASTERS_H

#include <array>
#include <cmath>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "Skrib/GlyvaInterface.h"
#include "shape/glyvaShape.h"
#include "support/glyph.hh"
#include "support/raster.hh"
#include "support/shaping.hh"
#include "support/support.hh"

namespace
{

using namespace glyva_test;

#ifdef GLYVA_HB_SHAPE

TEST(Shape, PositionsAsHbShape)
{
    for (const std::vector<std::string> &row : caseRows("shaping.txt", "shape")) {
        const std::string font = caseFont(row[1]), &text = row[2];
        const std::string hbOptions = row[3] == "-" ? "" : row[3];
        SCOPED_TRACE(row[1] + " '" + text + "' " + hbOptions);
        std::map<std::string, std::string> v = optionValues(hbOptions);
        auto value = [&](const char *name) { return v.count(name) ? v[name].c_str() : nullptr; };
        const int32_t direction = v["direction"] == "rtl"   ? GLYVA_SHAPE_DIRECTION_RTL
                                  : v["direction"] == "ltr" ? GLYVA_SHAPE_DIRECTION_LTR
                                                            : GLYVA_SHAPE_DIRECTION_AUTO;
        const glyvaShapeOptions options{value("script"), value("language"), value("features"),
                                        direction};
        ShapeFont f(font, v.count("face-index") ? std::stoi(v["face-index"]) : 0,
                    value("variations"));
        ASSERT_EQ(f.status, GLYVA_SHAPE_OK) << f.message;
        const glyvaShapedGlyph *glyphs = nullptr;
        const int32_t n = glyvaShapeText(f.font, text.c_str(), -1, &options, &glyphs);
        ASSERT_GT(n, 0) << glyvaShapeError(f.font);
        /* Glyph, cluster, advance and offset of each glyph, in ems. */
        const double upem = glyvaShapeUnitsPerEm(f.font);
        std::vector<std::array<double, 6>> ours, theirs;
        for (const glyvaShapedGlyph &g : std::vector<glyvaShapedGlyph>(glyphs, glyphs + n))
            ours.push_back({1.0 * g.glyphIndex, 1.0 * g.cluster, g.xAdvance, g.yAdvance, g.xOffset,
                            g.yOffset});
        for (const HbGlyph &g : hbShape(font, text, hbOptions))
            theirs.push_back(
                {1.0 * g.g, 1.0 * g.cl, g.ax / upem, g.ay / upem, g.dx / upem, g.dy / upem});
        EXPECT_EQ(ours, theirs);
    }
}

#endif

TEST(Shape, MeshByIndexIsTheLibraryMeshByCharacter)
{
    for (const RealFont &font : realFonts()) {
        const char *path = font.path;
        tavixInternalFontData *lib = OpenFont(path);
        ShapeFont f(path);
        const FreeTypeFace ft(path, 640);
        ASSERT_EQ(f.status, GLYVA_SHAPE_OK) << f.message;
        for (uint32_t quality : {0u, 50u, 100u}) {
            SetQuality(lib, quality);
            glyvaShapeSetQuality(f.font, quality);
            EXPECT_EQ(glyvaShapeGetQuality(f.font), GetQuality(lib));
            for (uint32_t code : {0x41u, 0x67u, 0x40u, 0x38u, 0xDFu, 0x20u, 0xFB03u}) {
                SCOPED_TRACE(std::string(path) + " U+" + std::to_string(code) + " quality " +
                             std::to_string(quality));
                const uint32_t g = FT_Get_Char_Index(ft.face(), code);
                EXPECT_EQ(glyvaShapeCharacterGlyph(f.font, code), g);
                if (g == 0)
                    continue; /* FB03 where the font has no ffi */
                Mesh byChar;
                ASSERT_TRUE(readMesh(lib, code, &byChar));
                EXPECT_TRUE(indexMesh(f.font, g) == byChar);
                EXPECT_EQ(byChar.indices.empty(), code == 0x20u);
            }
        }
        /* The contour of the same glyph, and its metrics. */
        const uint32_t g = FT_Get_Char_Index(ft.face(), '@');
        glyphInfoRecord byChar, byIndex;
        ASSERT_EQ(GetGlyphInfo(&byChar, lib, '@'), 1);
        ASSERT_EQ(glyvaShapeGlyphInfo(&byIndex, f.font, g), 1);
        EXPECT_EQ(std::memcmp(&byChar, &byIndex, sizeof byChar), 0);
        for (int32_t k = 0; k < byChar.contourCount; ++k) {
            float *p = nullptr;
            const float *q = nullptr;
            uint8_t e1 = 9, e2 = 9, o1 = 9, o2 = 9;
            const int32_t n = GetGlyphContour(&p, lib, '@', k, &e1, &o1);
            ASSERT_GT(n, 0);
            std::vector<float> expected(p, p + 3 * n);
            ASSERT_EQ(glyvaShapeGlyphContour(&q, f.font, g, k, &e2, &o2), n);
            EXPECT_EQ(std::vector<float>(q, q + 3 * n), expected);
            EXPECT_EQ(e1, e2);
            EXPECT_EQ(o1, o2);
        }
        CloseFont(lib);
    }
}

/* Meshes come from the handle's cache after the first time; they are the meshes made
 * afresh by a handle that never met the glyph, byte for byte, at every quality. */
TEST(Shape, CachedMeshesAreTheMeshesMadeAfresh)
{
    for (const char *path : {kDejaVuSans, kFreeSans}) {
        ShapeFont warm(path);
        const int32_t glyphs = glyvaShapeGlyphCount(warm.font);
        const uint32_t step = quickRun() ? 97 : 7;
        for (uint32_t quality : {50u, 0u, 50u}) {
            glyvaShapeSetQuality(warm.font, quality);
            for (uint32_t g = 0; g < static_cast<uint32_t>(glyphs); g += step)
                indexMesh(warm.font, g); /* fills the cache */
            ShapeFont cold(path);
            glyvaShapeSetQuality(cold.font, quality);
            for (uint32_t g = static_cast<uint32_t>(glyphs); g-- > 0;) {
                if (g % step != 0)
                    continue;
                const Mesh cached = indexMesh(warm.font, g), fresh = indexMesh(cold.font, g);
                ASSERT_EQ(cached.vertices, fresh.vertices) << path << " glyph " << g;
                ASSERT_EQ(cached.indices, fresh.indices) << path << " glyph " << g;
                if (g % (step * 40) != 0)
                    continue;
                ShapeFont once(path); /* a handle that meshes this glyph only */
                glyvaShapeSetQuality(once.font, quality);
                ASSERT_EQ(indexMesh(once.font, g).vertices, cached.vertices);
            }
        }
    }
}

/* FreeType's own instance of the fixture's straight-edged glyph: its area in em² and its
 * advance in ems, at the library's load setup. */
void freetypeInstance(double wght, int namedInstance, double *area, double *advance)
{
    FreeTypeFace face(fixture("variable.ttf").c_str(), 640);
    FT_Fixed coord = static_cast<FT_Fixed>(wght * 65536.0);
    ASSERT_EQ(namedInstance ? FT_Set_Named_Instance(face.face(), namedInstance)
                            : FT_Set_Var_Design_Coordinates(face.face(), 1, &coord),
              0);
    FT_Outline *outline = face.loadCode('A');
    ASSERT_NE(outline, nullptr);
    *area = std::fabs(outlineArea(*outline)) / (640.0 * 640.0);
    *advance = face.face()->glyph->metrics.horiAdvance / 640.0;
}

TEST(Shape, VariableInstancesChangeOutlinesAsFreeType)
{
    for (const std::vector<std::string> &row : caseRows("shaping.txt", "instance")) {
        SCOPED_TRACE(row[1]);
        ShapeFont f(fixture("variable.ttf"), 0, row[1] == "-" ? nullptr : row[1].c_str());
        ASSERT_EQ(f.status, GLYVA_SHAPE_OK) << f.message;
        const glyvaShapedGlyph *g = nullptr;
        ASSERT_EQ(glyvaShapeText(f.font, "A", 1, nullptr, &g), 1);
        double area = 0, advance = 0;
        freetypeInstance(std::stod(row[2]), std::stoi(row[3]), &area, &advance);
        EXPECT_NEAR(meshArea(indexMesh(f.font, g[0].glyphIndex)), area, 1e-6);
        EXPECT_NEAR(g[0].xAdvance, advance, 1e-9);
        glyphInfoRecord info;
        ASSERT_EQ(glyvaShapeGlyphInfo(&info, f.font, g[0].glyphIndex), 1);
        EXPECT_FLOAT_EQ(info.horiAdvance, static_cast<float>(advance));
    }
    /* The instances really differ: 160 and 320 units wide, 640 tall. */
    double regular = 0, bold = 0, advance = 0;
    freetypeInstance(400, 0, &regular, &advance);
    freetypeInstance(700, 0, &bold, &advance);
    EXPECT_NEAR(regular, 0.25, 1e-9);
    EXPECT_NEAR(bold, 0.5, 1e-9);
}

/* Face 0 of the collection holds a 320-unit square advancing 640, face 1 a 640-unit bar
 * advancing 960. */
TEST(Shape, CollectionFaces)
{
    for (int32_t face : {0, 1}) {
        ShapeFont f(fixture("collection.ttc"), face);
        glyphInfoRecord info;
        ASSERT_EQ(glyvaShapeGlyphInfo(&info, f.font, 2), 1) << f.message;
        EXPECT_EQ(std::vector<float>({info.width, info.horiAdvance}),
                  face ? std::vector<float>({1.0f, 1.5f}) : std::vector<float>({0.5f, 1.0f}));
    }
}

TEST(Shape, BadFontsFacesAndInstancesAreRefused)
{
    for (const std::vector<std::string> &row : caseRows("shaping.txt", "open")) {
        SCOPED_TRACE(row[1] + " " + row[2] + " " + row[3]);
        ShapeFont f(caseFont(row[1]), std::stoi(row[2]), row[3] == "-" ? nullptr : row[3].c_str());
        EXPECT_EQ(statusName(f.status), row[4]);
        EXPECT_EQ(f.font, nullptr);
        EXPECT_NE(f.message.find(row[5]), std::string::npos) << f.message;
    }
    glyvaShapeFont *font = reinterpret_cast<glyvaShapeFont *>(1);
    EXPECT_EQ(glyvaShapeOpen(&font, nullptr, 0, nullptr, nullptr, 0), GLYVA_SHAPE_BAD_ARGUMENT);
    EXPECT_EQ(font, nullptr);
    EXPECT_EQ(glyvaShapeOpen(nullptr, kDejaVuSans, 0, nullptr, nullptr, 0),
              GLYVA_SHAPE_BAD_ARGUMENT);
    char tiny[8];
    EXPECT_EQ(
        glyvaShapeOpen(&font, fixture("variable.ttf").c_str(), 0, "wdht=1", tiny, sizeof tiny),
        GLYVA_SHAPE_BAD_INSTANCE);
    EXPECT_STREQ(tiny, "unknown");
}

TEST(Shape, BadTextAndArgumentsAreRefused)
{
    ShapeFont f(kDejaVuSans);
    ASSERT_EQ(f.status, GLYVA_SHAPE_OK);
    const glyvaShapedGlyph *g = reinterpret_cast<const glyvaShapedGlyph *>(1);
    EXPECT_EQ(glyvaShapeText(f.font, "", 0, nullptr, &g), 0);
    EXPECT_EQ(g, nullptr);
    /* Bad UTF-8 and options: Paragraph.BadTextAndOptionsAreRefusedByBothCalls. */
    EXPECT_EQ(glyvaShapeText(f.font, nullptr, 0, nullptr, &g), -1);
    EXPECT_EQ(glyvaShapeText(f.font, "A", 1, nullptr, nullptr), -1);
    /* Still usable after every refusal; a character the font lacks is glyph 0. */
    ASSERT_EQ(glyvaShapeText(f.font, "A\xF4\x8F\xBF\xBD", -1, nullptr, &g), 2);
    EXPECT_EQ(g[1].glyphIndex, 0u);

    const int32_t count = glyvaShapeGlyphCount(f.font);
    const float *v;
    const int32_t *t;
    int32_t nv, nt;
    glyphInfoRecord info;
    EXPECT_EQ(glyvaShapeGlyphMesh(f.font, static_cast<uint32_t>(count), &v, &nv, &t, &nt), 0);
    EXPECT_NE(std::string(glyvaShapeError(f.font)).find("past the"), std::string::npos);
    EXPECT_EQ(glyvaShapeGlyphMesh(f.font, UINT32_MAX, &v, &nv, &t, &nt), 0);
    EXPECT_EQ(glyvaShapeGlyphInfo(&info, f.font, static_cast<uint32_t>(count)), 0);
    const float *p;
    EXPECT_EQ(glyvaShapeGlyphContour(&p, f.font, static_cast<uint32_t>(count), 0, nullptr, nullptr),
              0);
    EXPECT_EQ(glyvaShapeGlyphContour(&p, f.font, 36, 99, nullptr, nullptr), 0);
    EXPECT_EQ(glyvaShapeGlyphMesh(f.font, 0, &v, &nv, &t, &nt), 1); /* .notdef meshes too */
    EXPECT_GT(nt, 0);

    EXPECT_EQ(glyvaShapeText(nullptr, "A", 1, nullptr, &g), -1);
    EXPECT_EQ(glyvaShapeGlyphMesh(nullptr, 1, &v, &nv, &t, &nt), 0);
    EXPECT_EQ(glyvaShapeGlyphInfo(&info, nullptr, 1), 0);
    EXPECT_EQ(glyvaShapeGlyphCount(nullptr), 0);
    EXPECT_EQ(glyvaShapeCharacterGlyph(nullptr, 0x41), 0u);
    EXPECT_EQ(glyvaShapeFontMetrics(nullptr, nullptr, nullptr), 0);
    EXPECT_STRNE(glyvaShapeError(nullptr), "");
    glyvaShapeSetQuality(f.font, 101);
    EXPECT_EQ(glyvaShapeGetQuality(f.font), 50);
    glyvaShapeClose(nullptr);
}

} // namespace

#endif
