/* End-to-end tests of the glyva-mesh tool: it is run as a user runs it, with the command
 * lines of tests/cases/glyva_mesh.txt, and what it writes is judged by readers not
 * written here: Assimp, cairo, lib3mf, admesh, CGAL and the Khronos glTF validator.
 * Builds without the tool (the i386 build has neither Assimp nor cairo) compile to a
 * skip. */
#include <gtest/gtest.h>

#include "support/support.hh"

#ifndef GLYVA_MESH_TOOL

TEST(GlyvaMesh, SkippedWithoutTheTool)
{
    GTEST_SKIP() << "glyva-mesh is not built here";
}

#else

#include <assimp/Importer.hpp>
#include <assimp/scene.h>
#include <cairo.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <numeric>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include <Model/COM/NMR_DLLInterfaces.h>

#include "Skrib/GlyvaInterface.h"
#include "support/glyph.hh"
#include "support/raster.hh"
#include FT_OUTLINE_H
#include "support/shaping.hh"
#include "support/solid.hh"

namespace
{

using namespace glyva_test;
namespace fs = std::filesystem;
using Rows = std::vector<std::vector<std::string>>;
const auto npos = std::string::npos;

/* Arguments as tests/cases/glyva_mesh.txt writes them, "-" for none: separated by spaces,
 * \s a space, \n a newline, \r a return, \t a tab, \xHH a byte, "" an empty argument,
 * @name a fixture font. */
std::vector<std::string> arguments(const std::string &text)
{
    std::vector<std::string> args;
    std::istringstream words(text == "-" ? "" : text);
    for (std::string word; words >> word;) {
        std::string arg;
        for (size_t i = 0; i < word.size(); ++i) {
            const char c = word[i] == '\\' && i + 1 < word.size() ? word[++i] : '\0';
            if (c == 'x') {
                arg += char(std::stoi(word.substr(i + 1, 2), nullptr, 16));
                i += 2;
            } else {
                const size_t escape = std::string("snrt").find(c);
                arg += escape == npos ? word[i] : " \n\r\t"[escape];
            }
        }
        args.push_back(word == "\"\"" ? "" : word[0] == '@' ? fixture(word.substr(1)) : arg);
    }
    return args;
}

/* The rows of one table of tests/cases/glyva_mesh.txt, without the table's name. */
Rows rowsOf(const std::string &table)
{
    Rows rows;
    for (const std::vector<std::string> &row : caseRows("glyva_mesh.txt", table))
        rows.emplace_back(row.begin() + 1, row.end());
    return rows;
}

std::vector<std::string> plus(std::vector<std::string> args, const std::vector<std::string> &more)
{
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

size_t countOf(const std::string &text, const std::string &what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

/* The three numbers of the summary line, the last one. */
std::array<long, 3> summaryCounts(const std::string &err)
{
    std::array<long, 3> counts{-1, -1, -1};
    const size_t at = err.rfind("glyva-mesh: ");
    if (at != npos)
        std::sscanf(err.c_str() + at, "glyva-mesh: %ld %*s %ld %*s %ld", &counts[0], &counts[1],
                    &counts[2]);
    return counts;
}

/* The meshes the nodes of a file place, as Assimp reads them, three vertices a triangle,
 * moved by the nodes' transforms unless the meshes' own coordinates are asked for: one
 * part per mesh placed (instanced glTF files come back as one part per placed glyph, as
 * merged files do), or all in one. */
void collect(const aiScene *scene, const aiNode *node, aiMatrix4x4 transform, bool placed, bool one,
             std::vector<SolidMesh> *parts)
{
    transform = placed ? transform * node->mTransformation : transform;
    for (unsigned i = 0; i < node->mNumMeshes; ++i) {
        const aiMesh *mesh = scene->mMeshes[node->mMeshes[i]];
        if (!one || parts->empty())
            parts->emplace_back();
        SolidMesh &part = parts->back();
        for (unsigned f = 0; f < mesh->mNumFaces; ++f) {
            EXPECT_EQ(mesh->mFaces[f].mNumIndices, 3u);
            for (unsigned k = 0; k < 3 && k < mesh->mFaces[f].mNumIndices; ++k) {
                const unsigned v = mesh->mFaces[f].mIndices[k];
                const aiVector3D p = transform * mesh->mVertices[v];
                const aiVector3D n = mesh->HasNormals() ? mesh->mNormals[v] : aiVector3D();
                const aiVector3D uv =
                    mesh->HasTextureCoords(0) ? mesh->mTextureCoords[0][v] : aiVector3D();
                part.indices.push_back(static_cast<uint32_t>(part.indices.size()));
                part.positions.insert(part.positions.end(), {p.x, p.y, p.z});
                part.normals.insert(part.normals.end(), {n.x, n.y, n.z});
                part.uvs.insert(part.uvs.end(), {uv.x, uv.y});
            }
        }
    }
    for (unsigned c = 0; c < node->mNumChildren; ++c)
        collect(scene, node->mChildren[c], transform, placed, one, parts);
}

std::vector<SolidMesh> readParts(const std::string &file, bool placed = true, bool one = false)
{
    Assimp::Importer importer;
    const aiScene *scene = importer.ReadFile(file, 0);
    std::vector<SolidMesh> parts;
    if (scene && scene->mRootNode)
        collect(scene, scene->mRootNode, aiMatrix4x4(), placed, one, &parts);
    return parts;
}

SolidMesh readMesh(const std::string &file, bool placed = true)
{
    const std::vector<SolidMesh> all = readParts(file, placed, true);
    return all.empty() ? SolidMesh{} : all[0];
}

/* Smallest x, y, z, then largest x, y, z. */
enum { kMinX, kMinY, kMinZ, kMaxX, kMaxY, kMaxZ };
using Box = std::array<float, 6>;

Box boundsOf(const std::vector<float> &xyz)
{
    Box b = {FLT_MAX, FLT_MAX, FLT_MAX, -FLT_MAX, -FLT_MAX, -FLT_MAX};
    for (size_t i = 0; i < xyz.size(); ++i) {
        b[i % 3] = std::min(b[i % 3], xyz[i]);
        b[3 + i % 3] = std::max(b[3 + i % 3], xyz[i]);
    }
    return b;
}

std::vector<std::array<float, 9>> triangleSet(const std::string &file)
{
    return triangleSet(readMesh(file));
}

/* The Khronos glTF validator finds neither errors nor warnings; where it cannot run
 * (node or its module is missing: status 2) the test says so. */
void expectValidGltf(const std::string &file)
{
    const std::string script = std::string(GLYVA_SOURCE_DIR) + "/tests/tools/validate-gltf.js";
    const std::string command = "GLTF_VALIDATOR_MODULES=" + quote(GLYVA_GLTF_VALIDATOR_MODULES) +
                                " " + quote(GLYVA_NODE) + " " + quote(script) + " " + quote(file) +
                                " >" + quote(file + ".report") + " 2>&1";
    const int status = std::string(GLYVA_NODE).empty() ? -1 : std::system(command.c_str());
    const std::string out = fileContents(file + ".report");
    std::remove((file + ".report").c_str());
    const nlohmann::json report = nlohmann::json::parse(out, nullptr, false);
    if (!WIFEXITED(status) || WEXITSTATUS(status) == 2 || !report.is_object()) {
        std::printf("glTF validator not run on %s: %s\n", file.c_str(), out.c_str());
        return;
    }
    EXPECT_EQ(report.value("errors", -1), 0) << file << ": " << report.dump();
    EXPECT_EQ(report.value("warnings", -1), 0) << file << ": " << report.dump();
}

/* A PNG as cairo reads it: its size, the pixels that are not white, and the shaded ones,
 * whose colour is not the glyph colour (0.17, 0.34, 0.59) washed towards white by
 * antialiasing: light and shade, which flat text in the front view never has. Each
 * column's ink sums its pixels' parts of the glyph colour, by their red. */
struct Pixels {
    int width = 0, height = 0;
    long inked = 0, shaded = 0;
    std::vector<double> columns;
};

Pixels readPng(const std::string &file)
{
    const float r = 0.17f, g = 0.34f, b = 0.59f;
    Pixels px;
    cairo_surface_t *s = cairo_image_surface_create_from_png(file.c_str());
    px.width = cairo_image_surface_get_width(s); /* 0 when cairo could not read it */
    px.height = cairo_image_surface_get_height(s);
    px.columns.assign(px.width, 0.0);
    for (int y = 0; y < px.height; ++y) {
        const auto *row = reinterpret_cast<const uint32_t *>(cairo_image_surface_get_data(s) +
                                                             y * cairo_image_surface_get_stride(s));
        for (int x = 0; x < px.width; ++x) {
            px.inked += (row[x] & 0xFFFFFF) != 0xFFFFFF;
            px.columns[x] += (255.0 - ((row[x] >> 16) & 0xFF)) / (255.0 - 0.17 * 255.0);
            const float c[3] = {((row[x] >> 16) & 0xFF) / 255.0f, ((row[x] >> 8) & 0xFF) / 255.0f,
                                (row[x] & 0xFF) / 255.0f};
            /* c = t * colour + (1 - t) * white for some t, within rounding. */
            const float t = (1.0f - c[0]) / (1.0f - r);
            px.shaded += std::fabs(c[1] - (t * g + 1.0f - t)) > 0.03f ||
                         std::fabs(c[2] - (t * b + 1.0f - t)) > 0.03f;
        }
    }
    cairo_surface_destroy(s);
    return px;
}

/* What the font API itself says, to compare the tool's layout with. */
float advanceOf(tavixInternalFontData *font, uint32_t c)
{
    glyphInfoRecord info{};
    EXPECT_EQ(GetGlyphInfo(&info, font, c), 1);
    return info.horiAdvance;
}

/* The layout the tool used, read back from its .json output. */
struct JsonGlyph {
    int line;
    std::string text, font;
    double x, y, advance;
};

std::vector<JsonGlyph> readLayout(const std::string &file, int *lines = nullptr)
{
    const nlohmann::json doc = nlohmann::json::parse(fileContents(file), nullptr, false);
    std::vector<JsonGlyph> glyphs;
    if (!doc.is_object())
        return glyphs;
    if (lines)
        *lines = doc.value("lines", -1);
    for (const auto &g : doc["glyphs"])
        glyphs.push_back({g["line"], g["text"], g["font"], g["x"], g["y"], g["advance"]});
    return glyphs;
}

struct Result {
    int status = -1;
    std::string out, err;
};

/* A scratch folder per test; the tool runs inside it. */
class GlyvaMesh : public ::testing::Test
{
  public:
    void SetUp() override
    {
        char name[] = "/tmp/glyva-mesh-test-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        dir_ = name;
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string path(const std::string &name) const { return dir_ + "/" + name; }

    /* shell, if any, runs first in the tool's shell (limits, traps). */
    Result run(const std::vector<std::string> &args, const std::string &input = "",
               const std::string &shell = "")
    {
        const std::string in = path(".stdin"), out = path(".stdout"), err = path(".stderr");
        std::ofstream(in, std::ios::binary) << input;
        std::string cmd = "cd " + quote(dir_) + " && { " + shell + " " + quote(GLYVA_MESH_TOOL);
        for (const std::string &a : args)
            cmd += " " + quote(a);
        cmd += " <" + quote(in) + " >" + quote(out) + " 2>" + quote(err) + "; }";
        const int raw = std::system(cmd.c_str());
        const Result r = {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, fileContents(out),
                          fileContents(err)};
        for (const std::string &file : {in, out, err})
            unlink(file.c_str());
        return r;
    }

    /* Runs the tool, which must succeed; what it said on standard error. */
    std::string ok(const std::vector<std::string> &args, const std::string &input = "")
    {
        const Result r = run(args, input);
        EXPECT_EQ(r.status, 0) << testing::PrintToString(args) << ": " << r.err;
        return r.err;
    }

    /* Runs the tool, which must succeed, and reads back the mesh it wrote to file. */
    SolidMesh drawn(const std::vector<std::string> &args, const std::string &file)
    {
        ok(plus(args, {"-o", file}));
        return readMesh(path(file));
    }

    /* What the folder holds besides the tool's captured streams. */
    std::vector<std::string> outputs() const
    {
        std::vector<std::string> names;
        for (const fs::directory_entry &e : fs::directory_iterator(dir_))
            names.push_back(e.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }

    std::string dir_;
};

TEST_F(GlyvaMesh, HelpDocumentsOptionsExitStatusesAndExamples)
{
    const Result r = run({"--help"});
    EXPECT_EQ(r.status, 0);
    for (const std::vector<std::string> &row : rowsOf("help")) {
        for (const std::string &word : arguments(row[0]))
            EXPECT_NE(r.out.find(word), npos) << word;
    }
}

/* Each glyph extruded is a closed solid: well formed, each edge used once in each
 * direction, the normals pointing out, sound as CGAL sees it; without bevel from z = 0 to
 * the depth, the volume the front cap's area times the depth and the caps together the
 * flat mesh, whose triangles all turn counter-clockwise at z = 0 facing front. (A bevel
 * wider than a stroke ends in plateaus short of either face.) The STL holds the same
 * triangles and is clean for admesh; the GLB places each solid, sound, with texture
 * coordinates, and is valid for the Khronos validator. */
TEST_F(GlyvaMesh, ExtrudedGlyphsAreWatertight)
{
    for (const std::vector<std::string> &row : rowsOf("solid")) {
        SCOPED_TRACE(row[0] + " " + row[2]);
        const std::vector<std::string> args = arguments(row[2]), how = arguments(row[0]);
        const std::string flat = ok(plus(args, {"-o", "flat.obj", "-o", "flat.stl"}));
        EXPECT_EQ(countOf(flat, "\n"), 1u) << flat;
        EXPECT_NE(flat.find(" s -> flat.obj"), npos) << flat;
        const SolidMesh front = readMesh(path("flat.obj"));
        EXPECT_EQ(static_cast<long>(front.indices.size()), 3 * summaryCounts(flat)[2]);
        EXPECT_EQ(boundsOf(front.positions)[kMinZ], 0.0f);
        EXPECT_EQ(boundsOf(front.positions)[kMaxZ], 0.0f);
        EXPECT_EQ(boundsOf(front.normals), (Box{0, 0, 1, 0, 0, 1})) << "every normal facing front";
        EXPECT_TRUE(normalsFaceOutwards(front)) << "every triangle counter-clockwise";
        EXPECT_TRUE(meshWellFormed(readMesh(path("flat.stl"))));
        const std::string err = ok(plus(plus(args, how), {"-o", "solid.obj", "-o", "solid.stl",
                                                          "-o", "solid.glb", "-o", "solid.png"}));
        EXPECT_EQ(err.find("warning"), npos) << err;
        EXPECT_EQ(err.find('\r'), npos) << "no progress bar off a terminal";
        EXPECT_EQ(summaryCounts(err)[0], std::stol(row[1]));
        const float depth = std::stof(how.at(1));
        const bool plain = row[0].find("--bevel") == npos;
        const std::vector<SolidMesh> solids = readParts(path("solid.obj"));
        EXPECT_EQ(static_cast<long>(solids.size()), std::stol(row[1]));
        double capTotal = 0.0;
        for (const SolidMesh &solid : solids) {
            EXPECT_TRUE(soundSolid(solid));
            if (!plain)
                continue;
            EXPECT_EQ(boundsOf(solid.positions)[kMinZ], 0.0f);
            EXPECT_EQ(boundsOf(solid.positions)[kMaxZ], depth);
            const double cap = projectedArea(levelAt(solid, depth));
            EXPECT_GT(cap, 0.0);
            EXPECT_NEAR(enclosedVolume(solid), cap * depth, 1e-4 * cap * depth);
            capTotal += cap;
        }
        EXPECT_NEAR(capTotal, plain ? projectedArea(front) : 0.0, 1e-4 * capTotal)
            << "the caps are the flat";
        const SolidMesh stl = readMesh(path("solid.stl"));
        EXPECT_TRUE(meshWellFormed(stl));
        EXPECT_TRUE(closedByPosition(stl));
        EXPECT_EQ(triangleSet(stl), triangleSet(path("solid.obj")));
        EXPECT_TRUE(admeshJudges(path("solid.stl")));
        const std::vector<SolidMesh> glb = readParts(path("solid.glb"));
        EXPECT_EQ(static_cast<long>(glb.size()), std::stol(row[1]));
        for (const SolidMesh &solid : glb)
            EXPECT_TRUE(soundSolid(solid));
        EXPECT_EQ(triangleSet(path("solid.glb")), triangleSet(path("solid.obj")));
        expectValidGltf(path("solid.glb"));
        const std::string bytes = fileContents(path("solid.glb"));
        EXPECT_NE(bytes.find("\"TEXCOORD_0\""), npos);
        EXPECT_EQ(bytes.find("extensionsUsed"), npos);
        EXPECT_GT(readPng(path("solid.png")).inked, 0);
    }
}

/* Where glyphs land, by the case table and by the font API, whose 10 px/em kerning the
 * simple layout uses: the fixture's V A pair kerns by -0.2 em there, not -0.5 em. */
TEST_F(GlyvaMesh, GlyphsLandWhereTheFontAndTheOptionsPutThem)
{
    const std::vector<std::string> bounds = {"minX", "minY", "minZ", "maxX", "maxY", "maxZ"};
    for (const std::vector<std::string> &row : rowsOf("lands")) {
        SCOPED_TRACE(row[2]);
        const size_t bound = std::find(bounds.begin(), bounds.end(), row[0]) - bounds.begin();
        const Box box = boundsOf(drawn(arguments(row[2]), "x.obj").positions);
        EXPECT_FLOAT_EQ(box.at(bound), std::stof(row[1]));
    }
    const std::string font = fixture("fixtures.ttf");
    tavixInternalFontData *api = OpenFont(font.c_str());
    const float advanceV = advanceOf(api, 'V'), advanceA = advanceOf(api, 'A');
    float kernVA = 0.0f;
    EXPECT_EQ(GetKerning2(&kernVA, nullptr, api, 'V', 'A'), 1);
    const float lineHeight = GetAscender(api) - GetDescender(api);
    CloseFont(api);
    ASSERT_LT(kernVA, 0.0f);
    const std::vector<std::string> simple = {"--layout", "simple", "--font", font, "--size", "10"};
    EXPECT_FLOAT_EQ(boundsOf(drawn(plus(simple, {"VA"}), "va.obj").positions)[kMaxX],
                    10.0f * (advanceV + kernVA + 0.5f));
    EXPECT_FLOAT_EQ(boundsOf(drawn(plus(simple, {"AA"}), "aa.obj").positions)[kMaxX],
                    10.0f * (advanceA + 0.5f));
    EXPECT_FLOAT_EQ(boundsOf(drawn(plus(simple, {"A\nA"}), "l.obj").positions)[kMinY],
                    -10.0f * lineHeight);
    /* DejaVu Sans's A V pair (A advances 1270 instead of 1401 of 2048 units) is kerned
     * when shaped and comes back from the font API as 0. */
    const float simpleEnd =
        boundsOf(drawn({"--layout", "simple", "--size", "10", "AV"}, "s.obj").positions)[kMaxX];
    const float shapedEnd = boundsOf(drawn({"--size", "10", "AV"}, "h.obj").positions)[kMaxX];
    api = OpenFont(kDejaVuSans);
    EXPECT_NEAR(simpleEnd - shapedEnd, 10.0 * (advanceOf(api, 'A') - 1270.0 / 2048), 1e-4);
    CloseFont(api);
}

TEST_F(GlyvaMesh, GlyphCountsAndWarningsFollowTheText)
{
    for (const std::vector<std::string> &row : rowsOf("count")) {
        SCOPED_TRACE(row[2]);
        const std::string err = ok(plus(arguments(row[2]), {"-o", "x.glb", "-o", "x.png"}));
        EXPECT_EQ(summaryCounts(err)[0], std::stol(row[0]));
        EXPECT_EQ(countOf(err, "\n"), row[1] == "-" ? 1u : 2u) << err;
        EXPECT_EQ(countOf(err, "warning"), row[1] == "-" ? 0u : 1u) << err;
        EXPECT_NE(err.find(row[1] == "-" ? "" : row[1]), npos) << err;
        EXPECT_GT(readPng(path("x.png")).inked, 0);
    }
}

TEST_F(GlyvaMesh, EquivalentRunsWriteTheSameBytes)
{
    std::ofstream(path("text.txt")) << "Hi\nthere\n";
    /* One name in two folders: an OBJ names its material. */
    ASSERT_EQ(mkdir(path("a").c_str(), 0755), 0);
    ASSERT_EQ(mkdir(path("b").c_str(), 0755), 0);
    for (const std::vector<std::string> &row : rowsOf("same")) {
        SCOPED_TRACE(row[2]);
        const std::string input = row[1] == "-" ? "" : arguments(row[1])[0];
        const std::string name = "same." + row[0];
        const std::string err = ok(plus(arguments(row[2]), {"-o", "a/" + name}), input);
        ok(plus(arguments(row[3]), {"-o", "b/" + name}));
        EXPECT_EQ(err.find("warning"), npos) << err;
        EXPECT_EQ(fileContents(path("a/" + name)), fileContents(path("b/" + name)));
    }
}

TEST_F(GlyvaMesh, QualityRefinesCurvesAndQuietSilencesTheSummary)
{
    const long coarse = summaryCounts(ok({"--quality", "0", "O", "-o", "c.obj"}))[2];
    EXPECT_GT(coarse, 0);
    EXPECT_LT(coarse, summaryCounts(ok({"--quality", "100", "O", "-o", "f.obj"}))[2]);
    EXPECT_EQ(ok({"--quiet", "Glyva", "-o", "q.stl"}), "");
    EXPECT_TRUE(fs::exists(path("q.stl")));
}

/* The clusters' characters left to right, each cluster once, from the case table. An
 * Arabic line with digits: the paragraph is right to left, the year reads left to right
 * at its left end, and the line ends at x = 0. */
TEST_F(GlyvaMesh, MixedDirectionLinesComeOutInVisualOrder)
{
    for (const std::vector<std::string> &row : rowsOf("bidi")) {
        SCOPED_TRACE(row[0]);
        ok({row[0], "-o", "l.json", "-o", "l.png"});
        const std::vector<JsonGlyph> glyphs = readLayout(path("l.json"));
        std::string visual;
        for (size_t i = 0; i < glyphs.size(); ++i) {
            if (i == 0 || glyphs[i].text != glyphs[i - 1].text || glyphs[i].x != glyphs[i - 1].x)
                visual += glyphs[i].text;
            EXPECT_GE(glyphs[i].x, glyphs[i ? i - 1 : 0].x) << "left to right";
        }
        EXPECT_EQ(visual, row[1]);
    }
    ok({"--font", kNotoSansArabic, "\u0633\u0646\u0629 2024", "-o", "a.json"});
    const std::vector<JsonGlyph> glyphs = readLayout(path("a.json"));
    ASSERT_GE(glyphs.size(), 8u);
    EXPECT_EQ(glyphs[0].text + glyphs[1].text + glyphs[2].text + glyphs[3].text, "2024");
    EXPECT_NEAR(glyphs.back().x + glyphs.back().advance, 0.0, 1e-9);
}

/* What DejaVu Sans lacks comes from the fonts fontconfig proposes, each mapping the
 * character by FreeType's own look-up. Kept to one font, the same text draws missing
 * glyphs and says so once: the fixture's missing glyph is a box with a hole, 8
 * triangles as GLU gives it. */
TEST_F(GlyvaMesh, FontconfigFallbackDrawsWhatTheFontLacks)
{
    const std::string text = "Glyva \u0928\u092e\u0938\u094d\u0924\u0947 \u4e2d\u6587";
    const std::string err = ok({text, "-o", "f.json", "-o", "f.obj"});
    EXPECT_EQ(err.find("warning"), npos) << err;
    EXPECT_NE(err.find("glyva-mesh: fonts: " + std::string(kDejaVuSans)), npos) << err;
    std::set<std::string> fonts;
    for (const JsonGlyph &g : readLayout(path("f.json"))) {
        const uint32_t first = codePoints(g.text)[0];
        fonts.insert(g.font);
        if (first == 0x928 || first == 0x4E2D) {
            EXPECT_NE(g.font, kDejaVuSans);
            FreeTypeFace face(g.font.c_str(), 64);
            EXPECT_TRUE(face.ok() && FT_Get_Char_Index(face.face(), first)) << g.font;
            EXPECT_NE(err.find(g.font + " ("), npos) << err;
        }
    }
    EXPECT_GE(fonts.size(), 3u);
    const std::string one = ok({"--no-fallback", text, "-o", "one.json"});
    EXPECT_EQ(countOf(one, "lacks"), 1u) << one;
    EXPECT_NE(one.find("U+0928 '\u0928'"), npos) << one;
    EXPECT_NE(one.find("U+4E2D '\u4e2d'"), npos) << one;
    for (const JsonGlyph &g : readLayout(path("one.json")))
        EXPECT_EQ(g.font, kDejaVuSans);
    const SolidMesh missing =
        drawn({"--no-fallback", "--font", fixture("fixtures.ttf"), "ZAZ\u20ac"}, "m.obj");
    EXPECT_EQ(missing.indices.size(), 3u * (3 * 8 + 2));
    EXPECT_NEAR(projectedArea(missing), 3 * (0.5 - 0.3 * 0.8) + 0.25, 1e-5);
}

/* DejaVu Sans's own line pitch, hhea 1901 + 483 of 2048 units, times the spacing. */
TEST_F(GlyvaMesh, WidthWrapsAndSpacingMovesLinesAndLetters)
{
    const std::string text = "The quick brown fox jumps over the lazy dog";
    ok({"--size", "10", "--width", "60", "--line-spacing", "1.5", "--letter-spacing", "0.5", text,
        "-o", "w.json", "-o", "w.obj"});
    int lines = 0;
    const std::vector<JsonGlyph> glyphs = readLayout(path("w.json"), &lines);
    EXPECT_GE(lines, 3);
    std::map<int, double> right, baseline;
    for (const JsonGlyph &g : glyphs) {
        if (g.text != " ")
            right[g.line] = std::max(right[g.line], g.x + g.advance);
        baseline[g.line] = g.y;
    }
    for (const auto &[line, end] : right)
        EXPECT_LE(end, 60.0 + 1e-6) << "line " << line;
    EXPECT_NEAR(baseline[1], -10.0 * 1.5 * (1901.0 + 483.0) / 2048.0, 1e-9);
    EXPECT_LE(boundsOf(readMesh(path("w.obj")).positions)[kMaxX], 60.0f);
    ASSERT_EQ(run({"--size", "10", "Th", "-o", "p.json"}).status, 0);
    ASSERT_EQ(run({"--size", "10", "--letter-spacing", "0.5", "Th", "-o", "s.json"}).status, 0);
    EXPECT_NEAR(readLayout(path("s.json"))[1].x - readLayout(path("p.json"))[1].x, 0.5, 1e-9);
}

/* A page of text in every format: the readers take each, with the same triangles, each
 * distinct glyph written once in glTF, the instanced file the merged one once its nodes
 * are applied, the STL binary. */
TEST_F(GlyvaMesh, LongTextWritesEveryFormatOnceForEachDistinctGlyph)
{
    /* The sanitizer builds take a fifth of it. */
    const std::string text =
        fileContents(GLYVA_LONG_TEXT).substr(0, std::getenv("GLYVA_QUICK") ? 2000 : npos);
    const std::string err = ok({"--edges", "-o", "t.glb", "-o", "t.gltf", "-o", "t.obj", "-o",
                                "t.stl", "-o", "t.svg", "-o", "t.png"},
                               text);
    EXPECT_EQ(outputs(), (std::vector<std::string>{"t.bin", "t.glb", "t.gltf", "t.mtl", "t.obj",
                                                   "t.png", "t.stl", "t.svg"}));
    ok({"--merge", "-o", "m.glb"}, text);
    for (const char *file : {"t.glb", "t.gltf", "m.glb"})
        expectValidGltf(path(file));
    EXPECT_EQ(static_cast<long>(readParts(path("t.glb")).size()), summaryCounts(err)[0]);
    const std::vector<std::array<float, 9>> instanced = triangleSet(path("t.glb"));
    EXPECT_EQ(static_cast<long>(instanced.size()), summaryCounts(err)[2]);
    for (const char *file : {"m.glb", "t.gltf", "t.obj", "t.stl"})
        EXPECT_EQ(triangleSet(path(file)), instanced) << file;
    EXPECT_EQ(fs::file_size(path("t.stl")), 84u + 50u * instanced.size()) << "binary STL";
    const nlohmann::json gltf = nlohmann::json::parse(fileContents(path("t.gltf")));
    EXPECT_LT(gltf["meshes"].size(), 120u) << "one mesh per distinct glyph";
    EXPECT_LT(fs::file_size(path("t.glb")), 2u << 20);
    EXPECT_EQ(gltf.value("extensionsUsed", nlohmann::json::array()).size(), 0u);
    EXPECT_NE(fileContents(path("t.svg")).find("<svg"), npos);
    const Pixels px = readPng(path("t.png"));
    EXPECT_EQ(px.width, 1200);
    EXPECT_GT(px.height, 300);
    EXPECT_GT(px.inked, px.width * px.height / 20);
}

/* Every number of an OBJ file is the shortest text that reads back as its float, what
 * the standard library's std::to_chars writes for what it reads: texture coordinates
 * mapped by position in outputs of one unit per em and of another size, and along the
 * walls of solids. (That the floats are the right ones the triangle sets above show.) */
TEST_F(GlyvaMesh, ObjNumbersAreTheShortestTextsThatReadBack)
{
    const std::string text = fileContents(GLYVA_LONG_TEXT).substr(0, 600);
    for (const std::vector<std::string> &how : std::vector<std::vector<std::string>>{
             {}, {"--size", "2.5"}, {"--depth", "0.1", "--bevel", "0.02"}}) {
        ok(plus(how, {"-o", "n.obj"}), text);
        std::istringstream lines(fileContents(path("n.obj")));
        long numbers = 0, misfits = 0;
        for (std::string line; std::getline(lines, line);) {
            const std::string tag = line.substr(0, line.find(' '));
            if (tag != "v" && tag != "vt" && tag != "vn")
                continue;
            std::istringstream words(line.substr(tag.size()));
            for (std::string word; words >> word; ++numbers) {
                char shortest[64];
                const float value = std::strtof(word.c_str(), nullptr);
                misfits += word !=
                           std::string(shortest, std::to_chars(shortest, shortest + 64, value).ptr);
            }
        }
        EXPECT_GT(numbers, 10000) << how.size();
        EXPECT_EQ(misfits, 0) << how.size();
    }
}

/* Pictures: the asked size, or the asked width and a height in the text's proportions,
 * ink, and the hole of the o left empty; solids drawn in perspective and shaded, flat
 * text never shaded and tilted only when asked (the front view of a solid is the flat
 * text: see EquivalentRunsWriteTheSameBytes); SVG draws solids triangle by triangle. */
TEST_F(GlyvaMesh, PicturesHaveTheAskedSizeInkAndShade)
{
    for (const std::vector<std::string> &args : std::vector<std::vector<std::string>>{
             {"--png-size", "400x300", "o", "-o", "o.png"},
             {"--png-size", "500", "--align", "center", "wide text", "-o", "w.png"},
             {"Glyva", "-o", "flat.png"},
             {"--depth", "0.2", "--bevel", "0.02", "Glyva", "-o", "p.png", "-o", "p.svg"},
             {"--view", "perspective", "Glyva", "-o", "tilted.png"}})
        ok(args);
    const Pixels o = readPng(path("o.png")), w = readPng(path("w.png")), p = readPng(path("p.png"));
    EXPECT_EQ(o.width, 400);
    EXPECT_EQ(o.height, 300);
    EXPECT_GT(o.inked, 400 * 300 / 20);
    EXPECT_LT(o.inked, 400 * 300 * 3 / 4) << "the hole of the o stays empty";
    EXPECT_EQ(w.width, 500);
    EXPECT_GT(w.height, 20);
    EXPECT_LT(w.height, 250) << "the height follows the text's proportions";
    EXPECT_GT(p.inked, p.width * p.height / 20);
    EXPECT_EQ(readPng(path("flat.png")).shaded, 0);
    EXPECT_GT(p.shaded, p.inked / 5);
    EXPECT_NE(fileContents(path("tilted.png")), fileContents(path("flat.png")));
    const std::string svg = fileContents(path("p.svg"));
    EXPECT_EQ(countOf(svg, "<use"), 0u);
    EXPECT_GT(countOf(svg, "<path"), 1000u);
}

/* A row of small glyphs, as a page of text draws them: each carries FreeType's exact
 * outline area of ink and lands one advance after the one before, within the eighth of
 * a pixel glyph pictures may be moved by, and the picture's colours are the blends of
 * the glyph colour and white (readPng's shade). */
TEST_F(GlyvaMesh, SmallGlyphsCarryFreeTypesAreaAndLandOneAdvanceApart)
{
    const int count = 100;
    const float spacing = 0.5f;
    ok({"--letter-spacing", std::to_string(spacing), std::string(count, 'O'), "-o", "o.png"});
    FreeTypeFace face(kDejaVuSans, 64 * 64);
    FT_Outline *outline = face.loadCode('O');
    ASSERT_NE(outline, nullptr);
    FT_BBox box;
    FT_Outline_Get_CBox(outline, &box);
    const double unit = 64.0 * 64.0; /* 26.6 units per em at 64 pixels per em */
    const double area = std::fabs(outlineArea(*outline)) / (unit * unit);
    const double pitch = face.face()->glyph->linearHoriAdvance / 65536.0 / 64.0 + spacing;
    const double width = (count - 1) * pitch + (box.xMax - box.xMin) / unit;
    const double scale = 1200 * (1 - 2 * 0.04) / width; /* pixels per em, margins aside */
    const Pixels px = readPng(path("o.png"));
    const std::vector<double> &columns = px.columns;
    const int w = px.width;
    EXPECT_EQ(px.shaded, 0);
    const double ink = std::accumulate(columns.begin(), columns.end(), 0.0);
    EXPECT_NEAR(ink / (count * area * scale * scale), 1.0, 0.01);

    std::vector<double> centres; /* of each run of inked columns */
    for (int x = 0; x < w;) {
        double mass = 0.0, moment = 0.0;
        for (; x < w && columns[x] > 0.0; ++x)
            mass += columns[x], moment += columns[x] * (x + 0.5);
        if (mass > 0.0)
            centres.push_back(moment / mass);
        for (; x < w && columns[x] == 0.0; ++x) {
        }
    }
    ASSERT_EQ(centres.size(), static_cast<size_t>(count));
    for (size_t k = 1; k < centres.size(); ++k)
        EXPECT_NEAR(centres[k] - centres[k - 1], pitch * scale, 0.25) << "glyph " << k;
}

/* A lib3mf handle, released when it goes. */
struct Lib3mf {
    NMR::PLib3MFBase *p = nullptr;
    ~Lib3mf()
    {
        if (p)
            NMR::lib3mf_release(p);
    }
};

/* What lib3mf's own reader finds in a 3MF package: its unit, its mesh objects, and for
 * each build item its object's name, triangle count and lib3mf's manifold-and-oriented
 * verdict, the vertices placed by the item, and the first base material's colour. */
struct ThreeMf {
    bool read = false;
    DWORD unit = 99;
    size_t objects = 0;
    std::vector<std::string> names;
    std::vector<DWORD> triangles;
    std::vector<bool> manifold;
    std::vector<float> placed;
    BYTE color[4] = {0, 0, 0, 0};
};

void readBuildItem(NMR::PLib3MFBase *item, ThreeMf *out)
{
    Lib3mf object;
    char name[256] = "";
    ULONG needed = 0;
    DWORD vertexCount = 0, triangleCount = 0, got = 0;
    BOOL manifold = false;
    NMR::MODELTRANSFORM m;
    NMR::lib3mf_builditem_getobjectresource(item, &object.p);
    NMR::lib3mf_builditem_getobjecttransform(item, &m);
    NMR::lib3mf_object_getnameutf8(object.p, name, sizeof name, &needed);
    NMR::lib3mf_meshobject_ismanifoldandoriented(object.p, &manifold);
    NMR::lib3mf_meshobject_getvertexcount(object.p, &vertexCount);
    NMR::lib3mf_meshobject_gettrianglecount(object.p, &triangleCount);
    std::vector<NMR::MODELMESHVERTEX> vertices(vertexCount);
    std::vector<NMR::MODELMESHTRIANGLE> triangles(triangleCount);
    NMR::lib3mf_meshobject_getvertices(object.p, vertices.data(), vertexCount, &got);
    NMR::lib3mf_meshobject_gettriangleindices(object.p, triangles.data(), triangleCount, &got);
    /* lib3mf's meshes carry no normals: a unit one stands in, so that meshWellFormed
     * judges the triangles, none of which may lack area. */
    SolidMesh mesh;
    for (const NMR::MODELMESHVERTEX &v : vertices) {
        const float *p = v.m_fPosition;
        mesh.positions.insert(mesh.positions.end(), p, p + 3);
        mesh.normals.insert(mesh.normals.end(), {0.0f, 0.0f, 1.0f});
        mesh.uvs.insert(mesh.uvs.end(), {0.0f, 0.0f});
        for (int r = 0; r < 3; ++r)
            out->placed.push_back(m.m_fFields[r][0] * p[0] + m.m_fFields[r][1] * p[1] +
                                  m.m_fFields[r][2] * p[2] + m.m_fFields[r][3]);
    }
    for (const NMR::MODELMESHTRIANGLE &t : triangles)
        mesh.indices.insert(mesh.indices.end(), t.m_nIndices, t.m_nIndices + 3);
    EXPECT_TRUE(meshWellFormed(mesh)) << name;
    out->names.push_back(name);
    out->triangles.push_back(triangleCount);
    out->manifold.push_back(manifold != 0);
}

ThreeMf readThreeMf(const std::string &file)
{
    ThreeMf out;
    Lib3mf model, reader, objects, items, materials, group;
    if (NMR::lib3mf_createmodel(&model.p) != LIB3MF_OK ||
        NMR::lib3mf_model_queryreader(model.p, "3mf", &reader.p) != LIB3MF_OK ||
        NMR::lib3mf_reader_readfromfileutf8(reader.p, file.c_str()) != LIB3MF_OK)
        return out;
    NMR::lib3mf_model_getunit(model.p, &out.unit);
    BOOL more = false;
    NMR::lib3mf_model_getmeshobjects(model.p, &objects.p);
    while (NMR::lib3mf_resourceiterator_movenext(objects.p, &more) == LIB3MF_OK && more)
        ++out.objects;
    NMR::lib3mf_model_getbuilditems(model.p, &items.p);
    while (NMR::lib3mf_builditemiterator_movenext(items.p, &more) == LIB3MF_OK && more) {
        Lib3mf item;
        NMR::lib3mf_builditemiterator_getcurrent(items.p, &item.p);
        readBuildItem(item.p, &out);
    }
    NMR::lib3mf_model_getbasematerials(model.p, &materials.p);
    if (NMR::lib3mf_resourceiterator_movenext(materials.p, &more) == LIB3MF_OK && more) {
        NMR::lib3mf_resourceiterator_getcurrent(materials.p, &group.p);
        NMR::lib3mf_basematerial_getdisplaycolor(group.p, 0, &out.color[0], &out.color[1],
                                                 &out.color[2], &out.color[3]);
    }
    out.read = true;
    return out;
}

/* 3MF read back by lib3mf: millimetres, one object per placed glyph named by its
 * characters and placed by its build item where the STL has it, every object closed and
 * oriented by lib3mf's own check, in the colour asked for; --merge makes one object. */
TEST_F(GlyvaMesh, ThreeMfHoldsOneNamedObjectPerGlyphInMillimetres)
{
    const std::vector<std::string> solid = {
        "--size",           "20", "--depth", "4",       "--bevel", "0.6",
        "--bevel-segments", "2",  "--color", "#c0392b", "Gly va"};
    const std::string err = ok(plus(solid, {"-o", "p.3mf", "-o", "p.stl"}));
    const ThreeMf model = readThreeMf(path("p.3mf"));
    ASSERT_TRUE(model.read) << "lib3mf cannot read p.3mf";
    EXPECT_EQ(model.unit, DWORD(NMR::MODELUNIT_MILLIMETER));
    EXPECT_EQ(model.objects, 5u);
    EXPECT_EQ(model.names, (std::vector<std::string>{"G", "l", "y", "v", "a"}));
    EXPECT_EQ(model.manifold, std::vector<bool>(5, true));
    const long count = std::accumulate(model.triangles.begin(), model.triangles.end(), 0L);
    EXPECT_EQ(count, summaryCounts(err)[2]);
    /* lib3mf writes coordinates with six decimals: to the nanometre. */
    const Box stl = boundsOf(readMesh(path("p.stl")).positions);
    const Box placed = boundsOf(model.placed);
    for (int bound : {kMinX, kMaxX, kMinY, kMaxZ})
        EXPECT_NEAR(placed[bound], stl[bound], 1e-4) << bound;
    EXPECT_EQ(std::vector<int>(model.color, model.color + 4),
              (std::vector<int>{0xC0, 0x39, 0x2B, 0xFF}));
    ok(plus(solid, {"--merge", "-o", "m.3mf"}));
    const ThreeMf merged = readThreeMf(path("m.3mf"));
    ASSERT_TRUE(merged.read) << "lib3mf cannot read m.3mf";
    EXPECT_EQ(merged.objects, 1u);
    EXPECT_EQ(merged.names, std::vector<std::string>{"text"});
    EXPECT_EQ(merged.triangles, std::vector<DWORD>{DWORD(count)});
    EXPECT_EQ(merged.manifold, std::vector<bool>{true});
}

/* Vertices not mapped as documented: faces (normal along z) by position in ems, walls
 * (horizontal normals) by height in ems; -1 when there are no faces or no walls. */
long misMapped(const SolidMesh &mesh, float size)
{
    long faces = 0, walls = 0, wrong = 0;
    for (size_t v = 0; v < mesh.positions.size() / 3; ++v) {
        const float *p = &mesh.positions[3 * v], *uv = &mesh.uvs[2 * v];
        const float normalZ = mesh.normals[3 * v + 2];
        faces += std::fabs(normalZ) == 1.0f;
        walls += normalZ == 0.0f;
        if (std::fabs(normalZ) == 1.0f)
            wrong +=
                std::fabs(uv[0] - p[0] / size) > 1e-5f || std::fabs(uv[1] - p[1] / size) > 1e-5f;
        else if (normalZ == 0.0f)
            wrong += std::fabs(uv[1] - p[2] / size) > 1e-5f;
    }
    return faces && walls ? wrong : -1;
}

/* Instanced glTF writes each distinct glyph once, mapped in its own coordinates, and a
 * node moving it into place; --origin text writes every mesh where it is, mapped in the
 * text's coordinates as OBJ and merged files are, with no node moved. All hold the same
 * triangles once the nodes are applied. */
TEST_F(GlyvaMesh, InstancedMergedAndTextOriginFilesHoldTheSameMappedSolids)
{
    const std::vector<std::string> solid = {"--size", "2", "--depth", "0.5", "AVA o"};
    ok(plus(solid, {"-o", "g.gltf", "-o", "g.obj"}));
    ok(plus(solid, {"--merge", "-o", "m.glb"}));
    ok(plus(solid, {"--origin", "text", "-o", "t.gltf"}));
    EXPECT_EQ(misMapped(readMesh(path("g.gltf"), false), 2.0f), 0);
    for (const char *file : {"g.obj", "m.glb", "t.gltf"}) {
        EXPECT_EQ(misMapped(readMesh(path(file)), 2.0f), 0) << file;
        EXPECT_EQ(triangleSet(path(file)), triangleSet(path("g.gltf"))) << file;
    }
    for (const char *file : {"g.gltf", "m.glb", "t.gltf"})
        expectValidGltf(path(file));
    const nlohmann::json glyph = nlohmann::json::parse(fileContents(path("g.gltf")));
    const nlohmann::json text = nlohmann::json::parse(fileContents(path("t.gltf")));
    EXPECT_EQ(glyph["meshes"].size(), 3u) << "A, V and o, each once";
    EXPECT_EQ(text["meshes"].size(), 4u);
    int moved = 0;
    for (const auto &node : glyph["nodes"])
        moved += node.contains("translation") && node["translation"][0] != 0.0;
    EXPECT_EQ(moved, 3) << "V, the second A and o start right of the origin";
    for (const auto &node : text["nodes"])
        EXPECT_TRUE(!node.contains("translation") ||
                    node["translation"] == nlohmann::json({0.0, 0.0, 0.0}));
}

/* Each refused command line of the case table: its status, the culprit named in the one
 * line on standard error, and nothing left in the folder but what was there. */
TEST_F(GlyvaMesh, RefusedRunsNameTheCulpritAndLeaveNothing)
{
    std::ofstream(path("plainfile")) << "x";
    std::ofstream(path("keep.obj")) << "old";
    ASSERT_EQ(mkdir(path("x.bin").c_str(), 0755), 0);
    const std::vector<std::string> before = outputs();
    for (const std::vector<std::string> &row : rowsOf("refuse")) {
        SCOPED_TRACE(row[2]);
        const Result r = run(arguments(row[2]), row.size() > 3 ? arguments(row[3])[0] : "");
        EXPECT_EQ(r.status, std::stoi(row[0])) << r.err;
        EXPECT_EQ(countOf(r.err, "\n"), 1u) << r.err;
        EXPECT_NE(r.err.find(row[1]), npos) << r.err;
        EXPECT_EQ(outputs(), before);
    }
    EXPECT_EQ(fileContents(path("keep.obj")), "old");
    EXPECT_EQ(run({"--font", fixture("malformed.ttf"), "C", "-o", "keep.obj"}).status, 0)
        << "the rest of a font whose glyphs fail still works";
    EXPECT_NE(fileContents(path("keep.obj")), "old") << "a good run replaces the file";
    EXPECT_EQ(outputs(), (std::vector<std::string>{"keep.mtl", "keep.obj", "plainfile", "x.bin"}));
}

/* A write that fails part way (the file size limit reached, whichever thread writes)
 * is reported with its cause, and nothing is left behind. */
TEST_F(GlyvaMesh, FailedWritesNameTheCauseAndLeaveNothing)
{
    const std::string text = fileContents(GLYVA_LONG_TEXT).substr(0, 600);
    for (const char *file : {"big.obj", "big.stl"}) {
        const Result r = run({"--depth", "0.1", "--threads", "2", "-o", file}, text,
                             "trap '' XFSZ; ulimit -f 256;");
        EXPECT_EQ(r.status, 3) << r.err;
        EXPECT_NE(r.err.find("write failed: " + std::string(std::strerror(EFBIG))), npos) << r.err;
        EXPECT_EQ(outputs(), std::vector<std::string>{}) << file;
    }
}

} // namespace

#endif
