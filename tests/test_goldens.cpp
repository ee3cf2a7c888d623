#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/glyph.hh"
#include "support/support.hh"

/* Meshes and contours committed as goldens, which the 32-bit and 64-bit builds must both
 * produce: digests of every tenth glyph of the real fonts, and text dumps of the fixture
 * glyphs, so that a change names the glyph and the coordinate. Run with
 * GLYVA_REGENERATE_GOLDENS=1 to rewrite them. */

using namespace glyva_test;

namespace
{

const std::string kGoldens = std::string(GLYVA_SOURCE_DIR) + "/tests/goldens/";

/* Lines of the golden against the lines made now, the first difference reported. */
void compareLines(const std::string &file, const std::vector<std::string> &lines)
{
    if (std::getenv("GLYVA_REGENERATE_GOLDENS")) {
        std::ofstream out(kGoldens + file);
        for (const std::string &line : lines)
            out << line << "\n";
        GTEST_SKIP() << file << " rewritten";
    }
    std::ifstream in(kGoldens + file);
    std::string line;
    size_t n = 0;
    for (; std::getline(in, line); ++n) {
        ASSERT_LT(n, lines.size()) << file << " has more lines, from: " << line;
        ASSERT_EQ(lines[n], line) << file << " line " << n + 1;
    }
    EXPECT_EQ(n, lines.size()) << file << " ends before: " << lines[std::min(n, lines.size() - 1)];
}

std::string number(double v)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", v);
    return text;
}

/* One line per item of a glyph's answers: metrics, contour points, vertices, triangles. */
void dumpGlyph(const char *font, uint32_t code, uint32_t quality, std::vector<std::string> &lines)
{
    tavixInternalFontData *handle = OpenFont(fixture(font).c_str());
    SetQuality(handle, quality);
    const std::string name =
        std::string(font) + " " + codeName(code) + " q" + std::to_string(quality) + " ";
    glyphInfoRecord info;
    if (!GetGlyphInfo(&info, handle, code)) {
        lines.push_back(name + "no glyph");
        return CloseFont(handle);
    }
    const float *m = &info.width;
    std::string metrics = name + "metrics";
    for (int k = 0; k < 8; ++k)
        metrics += " " + number(m[k]);
    lines.push_back(metrics + " contours " + std::to_string(info.contourCount));
    Contours contours;
    readContours(handle, code, info.contourCount, &contours);
    for (size_t c = 0; c < contours.size(); ++c)
        for (size_t p = 0; p < contours[c].size(); ++p)
            lines.push_back(name + "contour " + std::to_string(c) + " point " + std::to_string(p) +
                            " " + number(contours[c][p].x) + " " + number(contours[c][p].y));
    Mesh mesh;
    readMesh(handle, code, &mesh);
    for (size_t v = 0; v < mesh.vertices.size(); ++v)
        lines.push_back(name + "vertex " + std::to_string(v) + " " + number(mesh.vertices[v].x) +
                        " " + number(mesh.vertices[v].y));
    for (size_t t = 0; t + 2 < mesh.indices.size(); t += 3)
        lines.push_back(
            name + "triangle " + std::to_string(t / 3) + " " + std::to_string(mesh.indices[t]) +
            " " + std::to_string(mesh.indices[t + 1]) + " " + std::to_string(mesh.indices[t + 2]));
    CloseFont(handle);
}

} // namespace

TEST(MeshGoldens, SameBytesOnEveryBuild)
{
    std::vector<std::string> lines;
    for (const RealFont &font : realFonts()) {
        std::vector<uint32_t> codes, all = charmapCodes(font.path);
        for (size_t n = 0; n < all.size(); n += 10)
            codes.push_back(all[n]);
        for (uint32_t quality : {0u, 100u, 50u}) {
            tavixInternalFontData *handle = OpenFont(font.path);
            SetQuality(handle, quality);
            char digest[32];
            std::snprintf(digest, sizeof digest, "%016llx",
                          static_cast<unsigned long long>(digestGlyphs(handle, codes)));
            CloseFont(handle);
            lines.push_back(std::string(font.name) + "_q" + std::to_string(quality) + " " + digest);
        }
    }
    compareLines("mesh_digests.txt", lines);
}

TEST(MeshGoldens, FixtureGlyphsAsText)
{
    std::vector<std::string> lines;
    for (uint32_t quality : {0u, 50u}) {
        for (uint32_t code : {'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 'Z', ' '})
            dumpGlyph("fixtures.ttf", code, quality, lines);
        for (uint32_t code : {'A', 'O', 'S'})
            dumpGlyph("cubic.otf", code, quality, lines);
    }
    compareLines("fixture_glyphs.txt", lines);
}
