// Digests of the meshes and contours of every 10th glyph of the real fonts, committed
// as goldens: the 32-bit and 64-bit builds must produce the same bytes. Run with
// GLYVA_REGENERATE_GOLDENS=1 to rewrite tests/goldens/mesh_digests.txt.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <ft2build.h>
#include FT_FREETYPE_H
#include <gtest/gtest.h>

#include "Skrib/GlyvaInterface.h"
#include "support/support.hh"

namespace
{

const std::string kGoldens = std::string(GLYVA_SOURCE_DIR) + "/tests/goldens/mesh_digests.txt";

uint64_t mix(uint64_t h, const void *data, size_t bytes)
{
    const auto *p = static_cast<const unsigned char *>(data);
    for (size_t i = 0; i < bytes; ++i)
        h = (h ^ p[i]) * 1099511628211ull;
    return h;
}

std::vector<uint32_t> everyTenthCode(const char *path)
{
    std::vector<uint32_t> codes;
    FT_Library library;
    FT_Face face;
    if (FT_Init_FreeType(&library))
        return codes;
    if (FT_New_Face(library, path, 0, &face) == 0) {
        FT_UInt g;
        size_t n = 0;
        for (FT_ULong c = FT_Get_First_Char(face, &g); g != 0; c = FT_Get_Next_Char(face, c, &g))
            if (n++ % 10 == 0)
                codes.push_back(static_cast<uint32_t>(c));
        FT_Done_Face(face);
    }
    FT_Done_FreeType(library);
    return codes;
}

uint64_t digestFont(const char *path, uint32_t quality)
{
    uint64_t h = 1469598103934665603ull;
    tavixInternalFontData *font = OpenFont(path);
    if (!font)
        return 0;
    SetQuality(font, quality);
    for (uint32_t code : everyTenthCode(path)) {
        glyphInfoRecord info;
        if (!GetGlyphInfo(&info, font, code))
            continue;
        h = mix(h, &info, sizeof info);
        float *vertices = nullptr;
        int32_t *indices = nullptr;
        int32_t nv = GetGlyphVertices(&vertices, font, code);
        int32_t ni = GetGlyphTriangleIndices(&indices, font, code);
        h = mix(h, &nv, sizeof nv);
        if (nv > 0)
            h = mix(h, vertices, sizeof(float) * 2 * nv);
        if (ni > 0)
            h = mix(h, indices, sizeof(int32_t) * ni);
        ClearGlyphData(font, code);
        float *points = nullptr;
        uint8_t evenOdd, postScript;
        for (int k = 0; k < info.contourCount; ++k) {
            int32_t n = GetGlyphContour(&points, font, code, k, &evenOdd, &postScript);
            if (n > 0)
                h = mix(h, points, sizeof(float) * 3 * n);
        }
    }
    CloseFont(font);
    return h;
}

std::map<std::string, std::string> readGoldens()
{
    std::map<std::string, std::string> goldens;
    std::ifstream in(kGoldens);
    std::string name, value;
    while (in >> name >> value)
        goldens[name] = value;
    return goldens;
}

} // namespace

TEST(MeshGoldens, SameBytesOnEveryBuild)
{
    struct Font {
        const char *name, *path;
    } fonts[] = {{"DejaVuSans", glyva_test::kDejaVuSans},
                 {"FreeSans", glyva_test::kFreeSans},
                 {"LiberationSans", glyva_test::kLiberationSans}};
    std::map<std::string, std::string> actual;
    for (const Font &font : fonts)
        for (uint32_t quality : {0u, 50u, 100u}) {
            char digest[32];
            std::snprintf(digest, sizeof digest, "%016llx",
                          static_cast<unsigned long long>(digestFont(font.path, quality)));
            actual[std::string(font.name) + "_q" + std::to_string(quality)] = digest;
        }
    if (std::getenv("GLYVA_REGENERATE_GOLDENS")) {
        std::ofstream out(kGoldens);
        for (const auto &entry : actual)
            out << entry.first << " " << entry.second << "\n";
        GTEST_SKIP() << "goldens rewritten";
    }
    std::map<std::string, std::string> goldens = readGoldens();
    for (const auto &entry : actual)
        EXPECT_EQ(entry.second, goldens[entry.first]) << entry.first;
}
