/* End-to-end tests of the glyva-mesh tool: it is run as a user runs it, and what it
 * writes is read back with Assimp and cairo. Builds without the tool (the i386 build
 * has neither Assimp nor cairo) compile to a skip. */
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
#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <ft2build.h>
#include FT_FREETYPE_H
#include <nlohmann/json.hpp>

#include <Model/COM/NMR_DLLInterfaces.h>

#include "Skrib/GlyvaInterface.h"
#include "support/shaping.hh"

#ifdef GLYVA_HAVE_CGAL
#include "support/cgal/cgal_check.hh"
#endif

namespace
{

using glyva_test::codePoints;
using glyva_test::fixture;
using glyva_test::kDejaVuSans;
using glyva_test::kFreeSans;
using glyva_test::kNimbusSansType1;
using glyva_test::kNotoSansArabic;

/* Every glyph here has a hole or a curve, and AV, VA, TA are kerning pairs. */
const char *const kSample = "Glyva\nAVATAR @8";

std::string quote(const std::string &arg)
{
    std::string q = "'";
    for (char c : arg)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

std::string slurp(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

bool exists(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

std::vector<std::string> listDir(const std::string &dir)
{
    std::vector<std::string> names;
    DIR *d = opendir(dir.c_str());
    while (d) {
        const dirent *e = readdir(d);
        if (!e)
            break;
        if (std::strcmp(e->d_name, ".") && std::strcmp(e->d_name, ".."))
            names.push_back(e->d_name);
    }
    if (d)
        closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

void removeTree(const std::string &path)
{
    struct stat st;
    if (lstat(path.c_str(), &st) != 0)
        return;
    if (S_ISDIR(st.st_mode)) {
        for (const std::string &name : listDir(path))
            removeTree(path + "/" + name);
        rmdir(path.c_str());
    } else {
        unlink(path.c_str());
    }
}

struct Result {
    int status = -1;
    std::string out;
    std::string err;
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
    void TearDown() override { removeTree(dir_); }

    std::string path(const std::string &name) const { return dir_ + "/" + name; }

    Result run(const std::vector<std::string> &args, const std::string &input = "")
    {
        const std::string in = path(".stdin"), out = path(".stdout"), err = path(".stderr");
        std::ofstream(in, std::ios::binary) << input;
        std::string cmd = "cd " + quote(dir_) + " && " + quote(GLYVA_MESH_TOOL);
        for (const std::string &a : args)
            cmd += " " + quote(a);
        cmd += " <" + quote(in) + " >" + quote(out) + " 2>" + quote(err);
        const int raw = std::system(cmd.c_str());
        Result r;
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        r.out = slurp(out);
        r.err = slurp(err);
        unlink(in.c_str());
        unlink(out.c_str());
        unlink(err.c_str());
        return r;
    }

    /* What the folder holds besides the tool's captured streams. */
    std::vector<std::string> outputs() const { return listDir(dir_); }

    std::string dir_;
};

size_t countOf(const std::string &text, const std::string &what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

size_t lineCount(const std::string &text)
{
    return countOf(text, "\n");
}

/* A mesh read back, one per object of the file. */
struct Tri {
    aiVector3D p[3];
    aiVector3D n[3];
};
using Soup = std::vector<Tri>;

/* Every mesh a node places, moved by the node's transform: instanced glTF files come
 * back as one soup per placed glyph, as merged files do. */
void collectMeshes(const aiScene *scene, const aiNode *node, const aiMatrix4x4 &parent,
                   std::vector<Soup> *meshes, std::string *names)
{
    const aiMatrix4x4 transform = parent * node->mTransformation;
    for (unsigned i = 0; i < node->mNumMeshes; ++i) {
        const aiMesh *mesh = scene->mMeshes[node->mMeshes[i]];
        if (names)
            *names += std::string(node->mName.C_Str()) + "\n";
        Soup soup;
        for (unsigned f = 0; f < mesh->mNumFaces; ++f) {
            EXPECT_EQ(mesh->mFaces[f].mNumIndices, 3u);
            Tri t;
            for (unsigned k = 0; k < 3 && k < mesh->mFaces[f].mNumIndices; ++k) {
                const unsigned v = mesh->mFaces[f].mIndices[k];
                t.p[k] = transform * mesh->mVertices[v];
                t.n[k] = mesh->HasNormals() ? mesh->mNormals[v] : aiVector3D(0, 0, 0);
            }
            soup.push_back(t);
        }
        meshes->push_back(soup);
    }
    for (unsigned c = 0; c < node->mNumChildren; ++c)
        collectMeshes(scene, node->mChildren[c], transform, meshes, names);
}

std::vector<Soup> readMeshes(const std::string &file, std::string *names = nullptr)
{
    Assimp::Importer importer;
    const aiScene *scene = importer.ReadFile(file, 0);
    std::vector<Soup> meshes;
    if (scene && scene->mRootNode)
        collectMeshes(scene, scene->mRootNode, aiMatrix4x4(), &meshes, names);
    return meshes;
}

size_t triangleCount(const std::vector<Soup> &meshes)
{
    size_t n = 0;
    for (const Soup &s : meshes)
        n += s.size();
    return n;
}

Soup joined(const std::vector<Soup> &meshes)
{
    Soup all;
    for (const Soup &s : meshes)
        all.insert(all.end(), s.begin(), s.end());
    return all;
}

struct Box {
    float minX = FLT_MAX, minY = FLT_MAX, minZ = FLT_MAX;
    float maxX = -FLT_MAX, maxY = -FLT_MAX, maxZ = -FLT_MAX;
};

Box boundsOf(const Soup &soup)
{
    Box b;
    for (const Tri &t : soup) {
        for (const aiVector3D &p : t.p) {
            b.minX = std::min(b.minX, p.x), b.maxX = std::max(b.maxX, p.x);
            b.minY = std::min(b.minY, p.y), b.maxY = std::max(b.maxY, p.y);
            b.minZ = std::min(b.minZ, p.z), b.maxZ = std::max(b.maxZ, p.z);
        }
    }
    return b;
}

double signedArea2d(const Tri &t)
{
    return 0.5 * ((double(t.p[1].x) - t.p[0].x) * (double(t.p[2].y) - t.p[0].y) -
                  (double(t.p[2].x) - t.p[0].x) * (double(t.p[1].y) - t.p[0].y));
}

double flatArea(const Soup &soup)
{
    double a = 0.0;
    for (const Tri &t : soup)
        a += signedArea2d(t);
    return a;
}

double signedVolume(const Soup &soup)
{
    double v = 0.0;
    for (const Tri &t : soup) {
        const double ax = t.p[0].x, ay = t.p[0].y, az = t.p[0].z;
        const double bx = t.p[1].x, by = t.p[1].y, bz = t.p[1].z;
        const double cx = t.p[2].x, cy = t.p[2].y, cz = t.p[2].z;
        v += ax * (by * cz - bz * cy) - ay * (bx * cz - bz * cx) + az * (bx * cy - by * cx);
    }
    return v / 6.0;
}

/* Area of the front cap: the triangles lying at z = depth. */
double frontArea(const Soup &soup, float depth)
{
    double a = 0.0;
    for (const Tri &t : soup) {
        if (t.p[0].z == depth && t.p[1].z == depth && t.p[2].z == depth)
            a += signedArea2d(t);
    }
    return a;
}

/* Edges after welding equal positions: a closed, consistently oriented surface uses
 * every directed edge exactly once and its reverse exactly once. Returns the number of
 * directed edges that break this (0 when watertight). */
size_t openEdges(const Soup &soup)
{
    std::map<std::array<float, 3>, int> ids;
    auto id = [&ids](const aiVector3D &p) {
        return ids.emplace(std::array<float, 3>{p.x + 0.0f, p.y + 0.0f, p.z + 0.0f}, ids.size())
            .first->second;
    };
    std::map<std::pair<int, int>, int> uses;
    size_t bad = 0;
    for (const Tri &t : soup) {
        const int v[3] = {id(t.p[0]), id(t.p[1]), id(t.p[2])};
        for (int k = 0; k < 3; ++k) {
            if (v[k] == v[(k + 1) % 3])
                ++bad;
            ++uses[{v[k], v[(k + 1) % 3]}];
        }
    }
    for (const auto &[edge, n] : uses) {
        auto back = uses.find({edge.second, edge.first});
        if (n != 1 || back == uses.end() || back->second != 1)
            ++bad;
    }
    return bad;
}

/* Corners whose normal points away from the side its triangle faces. */
size_t inwardNormals(const Soup &soup)
{
    size_t bad = 0;
    for (const Tri &t : soup) {
        const aiVector3D face = (t.p[1] - t.p[0]) ^ (t.p[2] - t.p[0]);
        if (face.Length() < 1e-12f)
            continue;
        for (const aiVector3D &n : t.n) {
            if (n * face <= 0.0f)
                ++bad;
        }
    }
    return bad;
}

/* The three numbers of the summary line, the last one. */
std::array<long, 3> summaryCounts(const std::string &err)
{
    std::array<long, 3> counts{-1, -1, -1};
    const size_t at = err.rfind("glyva-mesh: ");
    if (at != std::string::npos)
        std::sscanf(err.c_str() + at, "glyva-mesh: %ld %*s %ld %*s %ld", &counts[0], &counts[1],
                    &counts[2]);
    return counts;
}

struct Pixels {
    int width = 0, height = 0;
    long inked = 0;
};

Pixels readPng(const std::string &file)
{
    Pixels px;
    cairo_surface_t *s = cairo_image_surface_create_from_png(file.c_str());
    if (cairo_surface_status(s) == CAIRO_STATUS_SUCCESS) {
        px.width = cairo_image_surface_get_width(s);
        px.height = cairo_image_surface_get_height(s);
        const int stride = cairo_image_surface_get_stride(s);
        const unsigned char *data = cairo_image_surface_get_data(s);
        for (int y = 0; y < px.height; ++y) {
            const auto *row = reinterpret_cast<const uint32_t *>(data + y * stride);
            for (int x = 0; x < px.width; ++x)
                px.inked += (row[x] & 0xFFFFFF) != 0xFFFFFF;
        }
    }
    cairo_surface_destroy(s);
    return px;
}

/* What the font API itself says, to compare the tool's layout with. */
struct ApiFont {
    explicit ApiFont(const std::string &path) : font(OpenFont(path.c_str())) {}
    ~ApiFont() { CloseFont(font); }
    float advance(uint32_t c)
    {
        glyphInfoRecord info{};
        EXPECT_EQ(GetGlyphInfo(&info, font, c), 1);
        return info.horiAdvance;
    }
    float kern(uint32_t l, uint32_t r)
    {
        advance(l), advance(r);
        float x = 0.0f;
        EXPECT_EQ(GetKerning2(&x, nullptr, font, l, r), 1);
        return x;
    }
    tavixInternalFontData *font;
};

TEST_F(GlyvaMesh, HelpDocumentsOptionsExitStatusesAndExamples)
{
    const Result r = run({"--help"});
    EXPECT_EQ(r.status, 0);
    for (const char *word : {"--font",
                             "--text-file",
                             "--size",
                             "--align",
                             "--quality",
                             "--depth",
                             "--bevel ",
                             "--bevel-depth",
                             "--bevel-segments",
                             "--bevel-front-only",
                             "--origin",
                             "--color",
                             "--view",
                             "--all-glyphs",
                             "--png-size",
                             "--edges",
                             "--quiet",
                             "Exit status",
                             "Examples",
                             "Texture coordinates",
                             ".obj",
                             ".mtl",
                             ".stl",
                             ".glb",
                             ".gltf",
                             ".3mf",
                             ".svg",
                             ".png"})
        EXPECT_NE(r.out.find(word), std::string::npos) << word;
}

TEST_F(GlyvaMesh, FlatObjIsEveryGlyphAtZeroFacingFront)
{
    const Result r = run({"--size", "10", kSample, "-o", "flat.obj"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(lineCount(r.err), 1u) << r.err;
    const std::array<long, 3> counts = summaryCounts(r.err);
    EXPECT_EQ(counts[0], 13); /* the space has no outline */
    EXPECT_NE(r.err.find(" s -> flat.obj"), std::string::npos) << r.err;
    const std::vector<Soup> meshes = readMeshes(path("flat.obj"));
    ASSERT_EQ(meshes.size(), 1u);
    EXPECT_EQ(static_cast<long>(meshes[0].size()), counts[2]);
    const Box box = boundsOf(meshes[0]);
    EXPECT_EQ(box.minZ, 0.0f);
    EXPECT_EQ(box.maxZ, 0.0f);
    EXPECT_GT(box.maxY, 7.0f);   /* the G's top, 0.73 em up at 10 units per em */
    EXPECT_LT(box.minY, -10.0f); /* the second line lies one line height lower */
    for (const Tri &t : meshes[0]) {
        EXPECT_GE(signedArea2d(t), -1e-9) << "every triangle counter-clockwise";
        for (const aiVector3D &n : t.n)
            EXPECT_EQ(n, aiVector3D(0, 0, 1));
    }
    EXPECT_EQ(outputs(), (std::vector<std::string>{"flat.mtl", "flat.obj"}));
}

TEST_F(GlyvaMesh, AllFormatsHoldTheSameMesh)
{
    const Result r = run({"--edges", kSample, "-o", "s.obj", "-o", "s.stl", "-o", "s.glb", "-o",
                          "s.gltf", "-o", "s.svg", "-o", "s.png"});
    ASSERT_EQ(r.status, 0) << r.err;
    const long triangles = summaryCounts(r.err)[2];
    ASSERT_GT(triangles, 100);
    EXPECT_EQ(outputs(), (std::vector<std::string>{"s.bin", "s.glb", "s.gltf", "s.mtl", "s.obj",
                                                   "s.png", "s.stl", "s.svg"}));
    const std::string stl = slurp(path("s.stl"));
    EXPECT_EQ(stl.size(), 84u + 50u * static_cast<size_t>(triangles)) << "binary STL";
    const Box objBox = boundsOf(joined(readMeshes(path("s.obj"))));
    for (const char *file : {"s.obj", "s.stl", "s.glb", "s.gltf"}) {
        const std::vector<Soup> meshes = readMeshes(path(file));
        EXPECT_EQ(static_cast<long>(triangleCount(meshes)), triangles) << file;
        const Box box = boundsOf(joined(meshes));
        EXPECT_NEAR(box.minX, objBox.minX, 1e-5) << file;
        EXPECT_NEAR(box.maxY, objBox.maxY, 1e-5) << file;
    }
    const std::string svg = slurp(path("s.svg"));
    EXPECT_NE(svg.find("<svg"), std::string::npos);
    const Pixels px = readPng(path("s.png"));
    EXPECT_EQ(px.width, 1200);
    EXPECT_GT(px.height, 300);
    EXPECT_GT(px.inked, px.width * px.height / 20);
}

TEST_F(GlyvaMesh, PngHasTheAskedSizeAndInk)
{
    Result r = run({"--png-size", "400x300", "o", "-o", "o.png"});
    ASSERT_EQ(r.status, 0) << r.err;
    Pixels px = readPng(path("o.png"));
    EXPECT_EQ(px.width, 400);
    EXPECT_EQ(px.height, 300);
    EXPECT_GT(px.inked, 400 * 300 / 20);
    EXPECT_LT(px.inked, 400 * 300 * 3 / 4) << "the hole of the o stays empty";
    r = run({"--png-size", "500", "--align", "center", "wide text", "-o", "w.png"});
    ASSERT_EQ(r.status, 0) << r.err;
    px = readPng(path("w.png"));
    EXPECT_EQ(px.width, 500);
    EXPECT_GT(px.height, 20);
    EXPECT_LT(px.height, 250) << "the height follows the text's proportions";
}

/* The solid of every glyph is closed: each edge is used once in each direction, the
 * normals point out, and the volume is the front cap's area times the depth. */
void expectWatertightSolids(GlyvaMesh &t, Result r, float depth)
{
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("warning"), std::string::npos) << r.err;
    std::string names;
    const std::vector<Soup> solids = readMeshes(t.path("solid.obj"), &names);
    const std::vector<Soup> flat = readMeshes(t.path("flat.obj"));
    ASSERT_EQ(flat.size(), 1u);
    EXPECT_EQ(static_cast<long>(solids.size()), summaryCounts(r.err)[0]) << names;
    double capTotal = 0.0;
    for (size_t i = 0; i < solids.size(); ++i) {
        const Soup &solid = solids[i];
        EXPECT_EQ(openEdges(solid), 0u) << "solid " << i;
        EXPECT_EQ(inwardNormals(solid), 0u) << "solid " << i;
        const Box box = boundsOf(solid);
        EXPECT_EQ(box.minZ, 0.0f);
        EXPECT_EQ(box.maxZ, depth);
        const double cap = frontArea(solid, depth);
        EXPECT_GT(cap, 0.0);
        EXPECT_NEAR(signedVolume(solid), cap * depth, 1e-4 * cap * depth) << "solid " << i;
        capTotal += cap;
    }
    EXPECT_NEAR(capTotal, flatArea(flat[0]), 1e-4 * capTotal) << "the caps are the flat mesh";
    const Soup stl = joined(readMeshes(t.path("solid.stl")));
    EXPECT_EQ(openEdges(stl), 0u);
    EXPECT_NEAR(signedVolume(stl), capTotal * depth, 1e-4 * capTotal * depth);
}

TEST_F(GlyvaMesh, ExtrudedTrueTypeGlyphsAreWatertight)
{
    ASSERT_EQ(run({"--size", "10", kSample, "-o", "flat.obj"}).status, 0);
    expectWatertightSolids(
        *this,
        run({"--size", "10", "--depth", "2.5", kSample, "-o", "solid.obj", "-o", "solid.stl"}),
        2.5f);
}

/* CFF outlines run the other way round; the walls must still face out. */
TEST_F(GlyvaMesh, ExtrudedCffGlyphsAreWatertight)
{
    const std::string text = "Glyva AVATAR @8 Bergfeld%&";
    ASSERT_EQ(run({"--font", kFreeSans, "--quality", "80", text, "-o", "flat.obj"}).status, 0);
    expectWatertightSolids(*this,
                           run({"--font", kFreeSans, "--quality", "80", "--depth", "0.25", text,
                                "-o", "solid.obj", "-o", "solid.stl"}),
                           0.25f);
}

TEST_F(GlyvaMesh, ExtrudedGlbLoadsWithOneSolidPerGlyph)
{
    const Result r = run({"--depth", "0.2", "Glyva", "-o", "solid.glb"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<Soup> solids = readMeshes(path("solid.glb"));
    ASSERT_EQ(solids.size(), 5u);
    for (const Soup &s : solids)
        EXPECT_EQ(openEdges(s), 0u);
}

TEST_F(GlyvaMesh, KerningAdvancesAndLineHeightFollowTheFontApi)
{
    const std::string font = fixture("fixtures.ttf");
    ApiFont api(font);
    const float kernVA = api.kern('V', 'A');
    ASSERT_LT(kernVA, 0.0f);
    ASSERT_EQ(
        run({"--layout", "simple", "--font", font, "--size", "10", "VA", "-o", "va.obj"}).status,
        0);
    ASSERT_EQ(
        run({"--layout", "simple", "--font", font, "--size", "10", "AA", "-o", "aa.obj"}).status,
        0);
    /* The square of A spans half an em from its pen position. */
    EXPECT_FLOAT_EQ(boundsOf(joined(readMeshes(path("va.obj")))).maxX,
                    10.0f * (api.advance('V') + kernVA + 0.5f));
    EXPECT_FLOAT_EQ(boundsOf(joined(readMeshes(path("aa.obj")))).maxX,
                    10.0f * (api.advance('A') + 0.5f));
    ASSERT_EQ(run({"--layout", "simple", "--font", font, "--size", "10", "A\nA", "-o", "lines.obj"})
                  .status,
              0);
    const float lineHeight = GetAscender(api.font) - GetDescender(api.font);
    EXPECT_FLOAT_EQ(boundsOf(joined(readMeshes(path("lines.obj")))).minY, -10.0f * lineHeight);
}

/* The shaped layout kerns at the font's full precision: the fixture's V A pair is
 * -0.5 em (hb-shape: V advances 480 of 640 units, A is offset -160), which the font
 * API's 10 px/em kerning gives as -0.2 em; DejaVu Sans's A V pair (A advances 1270
 * instead of 1401 of 2048 units) comes back from the font API as 0. */
TEST_F(GlyvaMesh, ShapedLayoutKernsAtFullPrecisionUnlikeSimple)
{
    const std::string font = fixture("fixtures.ttf");
    ASSERT_EQ(run({"--font", font, "--size", "10", "VA", "-o", "va.obj"}).status, 0);
    EXPECT_FLOAT_EQ(boundsOf(joined(readMeshes(path("va.obj")))).maxX,
                    10.0f * (1.0f - 0.5f + 0.5f));
    ASSERT_EQ(run({"--size", "10", "AV", "-o", "shaped.obj"}).status, 0);
    ASSERT_EQ(run({"--layout", "simple", "--size", "10", "AV", "-o", "simple.obj"}).status, 0);
    EXPECT_NEAR(boundsOf(joined(readMeshes(path("simple.obj")))).maxX -
                    boundsOf(joined(readMeshes(path("shaped.obj")))).maxX,
                10.0 * (ApiFont(kDejaVuSans).advance('A') - 1270.0 / 2048), 1e-4);
    /* Ligatures: "office" is o, ffi, c, e in DejaVu Sans; 13 glyphs of Arabic with one
     * space (hb-shape with Noto Sans Arabic), drawn right to left. */
    EXPECT_EQ(summaryCounts(run({"office", "-o", "o.obj"}).err)[0], 4);
    EXPECT_EQ(summaryCounts(run({"--features", "liga=0", "office", "-o", "o.obj"}).err)[0], 6);
    EXPECT_EQ(summaryCounts(run({"--layout", "simple", "office", "-o", "o.obj"}).err)[0], 6);
    const Result arabic =
        run({"--font", "/usr/share/fonts/truetype/noto/NotoSansArabic-Regular.ttf",
             "\xd9\x85\xd8\xb1\xd8\xad\xd8\xa8\xd8\xa7 \xd8\xa8\xd8\xa7"
             "\xd9\x84\xd8\xb9\xd8\xa7\xd9\x84\xd9\x85",
             "-o", "ar.glb", "-o", "ar.png"});
    ASSERT_EQ(arabic.status, 0) << arabic.err;
    EXPECT_EQ(summaryCounts(arabic.err)[0], 12);
    EXPECT_GT(readPng(path("ar.png")).inked, 0);
}

/* Faces and instances: the collection's face 1 and the variable font's bold master
 * are twice as wide as face 0 and the default instance. */
TEST_F(GlyvaMesh, FaceAndVariationPickTheOutlines)
{
    const std::string ttc = fixture("collection.ttc"), variable = fixture("variable.ttf");
    ASSERT_EQ(run({"--font", ttc, "A", "-o", "f0.obj"}).status, 0);
    ASSERT_EQ(run({"--font", ttc, "--face", "1", "A", "-o", "f1.obj"}).status, 0);
    EXPECT_FLOAT_EQ(boundsOf(joined(readMeshes(path("f0.obj")))).maxX, 0.5f);
    EXPECT_FLOAT_EQ(boundsOf(joined(readMeshes(path("f1.obj")))).maxX, 1.0f);
    ASSERT_EQ(run({"--font", variable, "AA", "-o", "v.stl"}).status, 0);
    ASSERT_EQ(run({"--font", variable, "--variation", "wght=700", "AA", "-o", "w.stl"}).status, 0);
    ASSERT_EQ(run({"--font", variable, "--variation", "Bold", "AA", "-o", "b.stl"}).status, 0);
    EXPECT_FLOAT_EQ(boundsOf(joined(readMeshes(path("v.stl")))).maxX, 0.5f + 0.25f);
    EXPECT_FLOAT_EQ(boundsOf(joined(readMeshes(path("w.stl")))).maxX, 0.75f + 0.5f);
    EXPECT_EQ(slurp(path("b.stl")), slurp(path("w.stl")));
}

TEST_F(GlyvaMesh, AlignPutsXZeroAtEachLinesStartMiddleOrEnd)
{
    const std::string font = fixture("fixtures.ttf");
    /* Advance 1 em, the square 0..0.5 em: lines "A" and "AA". */
    ASSERT_EQ(run({"--font", font, "--align", "right", "A\nAA", "-o", "r.obj"}).status, 0);
    const Box right = boundsOf(joined(readMeshes(path("r.obj"))));
    EXPECT_FLOAT_EQ(right.minX, -2.0f);
    EXPECT_FLOAT_EQ(right.maxX, -0.5f);
    ASSERT_EQ(run({"--font", font, "--align", "center", "A\nAA", "-o", "c.obj"}).status, 0);
    const Box center = boundsOf(joined(readMeshes(path("c.obj"))));
    EXPECT_FLOAT_EQ(center.minX, -1.0f);
    EXPECT_FLOAT_EQ(center.maxX, 0.5f);
}

TEST_F(GlyvaMesh, MissingCharactersAreReportedOnceAndDrawnAsTheFontDrawsThem)
{
    const std::string font = fixture("fixtures.ttf");
    const Result r = run({"--no-fallback", "--font", font, "ZAZ\xE2\x82\xAC", "-o", "m.obj"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(countOf(r.err, "lacks"), 1u) << r.err;
    EXPECT_NE(r.err.find("U+005A 'Z', U+20AC '\xE2\x82\xAC'"), std::string::npos) << r.err;
    /* The fixture's missing glyph is a box with a hole: 8 triangles, as GLU gives it. */
    const std::vector<Soup> meshes = readMeshes(path("m.obj"));
    EXPECT_EQ(triangleCount(meshes), 3 * 8u + 2u);
    EXPECT_NEAR(flatArea(joined(meshes)), 3 * (0.5 - 0.3 * 0.8) + 0.25, 1e-5);
}

TEST_F(GlyvaMesh, InvalidUtf8BecomesReplacementCharactersWithOneWarning)
{
    const Result r = run({"A\xFF"
                          "B\xE2\x82"
                          "C\xED\xA0\x80",
                          "-o", "u.obj"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(countOf(r.err, "warning"), 1u) << r.err;
    EXPECT_NE(r.err.find("not valid UTF-8: 5 invalid sequences"), std::string::npos) << r.err;
    /* A, B, C and the five U+FFFD that DejaVu Sans draws. */
    EXPECT_EQ(summaryCounts(r.err)[0], 8);
    EXPECT_TRUE(exists(path("u.obj")));
}

TEST_F(GlyvaMesh, TextComesFromArgumentsFileOrStandardInput)
{
    std::ofstream(path("text.txt")) << "Hi\nthere\n";
    const Result fromFile = run({"--text-file", "text.txt", "-o", "f.stl"});
    const Result fromStdin = run({"-o", "s.stl"}, "Hi\r\nthere\n");
    const Result fromArgs = run({"Hi\nthere", "-o", "a.stl"});
    ASSERT_EQ(fromFile.status, 0) << fromFile.err;
    ASSERT_EQ(fromStdin.status, 0) << fromStdin.err;
    ASSERT_EQ(fromArgs.status, 0) << fromArgs.err;
    EXPECT_EQ(summaryCounts(fromFile.err), summaryCounts(fromArgs.err));
    EXPECT_EQ(summaryCounts(fromStdin.err), summaryCounts(fromArgs.err));
    EXPECT_EQ(slurp(path("f.stl")), slurp(path("a.stl")));
    EXPECT_EQ(slurp(path("s.stl")), slurp(path("a.stl")));
}

TEST_F(GlyvaMesh, QuietSilencesTheSummary)
{
    const Result r = run({"--quiet", "Glyva", "-o", "q.stl"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(exists(path("q.stl")));
}

TEST_F(GlyvaMesh, QualityChangesCurveSubdivision)
{
    const Result coarse = run({"--quality", "0", "O", "-o", "c.obj"});
    const Result fine = run({"--quality", "100", "O", "-o", "f.obj"});
    ASSERT_EQ(coarse.status, 0) << coarse.err;
    ASSERT_EQ(fine.status, 0) << fine.err;
    EXPECT_LT(summaryCounts(coarse.err)[2], summaryCounts(fine.err)[2]);
}

TEST_F(GlyvaMesh, FontByFamilyNameThroughFontconfig)
{
    const Result byName = run({"--font", "DejaVu Sans", "Glyva", "-o", "n.stl"});
    const Result byPath = run({"--font", kDejaVuSans, "Glyva", "-o", "p.stl"});
    const Result byDefault = run({"Glyva", "-o", "d.stl"});
    ASSERT_EQ(byName.status, 0) << byName.err;
    EXPECT_EQ(byName.err.find("warning"), std::string::npos) << byName.err;
    EXPECT_EQ(slurp(path("n.stl")), slurp(path("p.stl")));
    EXPECT_EQ(slurp(path("d.stl")), slurp(path("p.stl")));
}

TEST_F(GlyvaMesh, AllGlyphsMakesAGridOfTheFont)
{
    const Result r = run({"--font", fixture("cubic.otf"), "--all-glyphs", "--depth", "0.1", "-o",
                          "all.obj", "-o", "all.png"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(summaryCounts(r.err)[0], 3); /* A, O, S; the space has no outline */
    EXPECT_EQ(r.err.find("\r"), std::string::npos) << "no progress bar off a terminal";
    EXPECT_EQ(openEdges(joined(readMeshes(path("all.obj")))), 0u);
    EXPECT_GT(readPng(path("all.png")).inked, 0);
}

/* The layout the tool used, read back from its .json output. */
struct JsonGlyph {
    int line;
    std::string text, font;
    double x, y, advance;
};

std::vector<JsonGlyph> readLayout(const std::string &file, int *lines = nullptr)
{
    const nlohmann::json doc = nlohmann::json::parse(slurp(file), nullptr, false);
    std::vector<JsonGlyph> glyphs;
    if (!doc.is_object())
        return glyphs;
    if (lines)
        *lines = doc.value("lines", -1);
    for (const auto &g : doc["glyphs"])
        glyphs.push_back({g["line"], g["text"], g["font"], g["x"], g["y"], g["advance"]});
    return glyphs;
}

/* The clusters' characters left to right, each cluster once. */
std::string visualText(const std::vector<JsonGlyph> &glyphs)
{
    std::string text;
    for (size_t i = 0; i < glyphs.size(); ++i)
        if (i == 0 || glyphs[i].text != glyphs[i - 1].text || glyphs[i].x != glyphs[i - 1].x)
            text += glyphs[i].text;
    return text;
}

/* Mixed directions come out in the order of the Unicode Bidirectional Algorithm: each
 * right-to-left word reversed, digits left to right, brackets mirrored. */
TEST_F(GlyvaMesh, MixedDirectionLinesComeOutInVisualOrder)
{
    struct Case {
        std::string text, visual;
    };
    const std::vector<Case> cases = {
        {"\u05e9\u05dc\u05d5\u05dd 2024 abc", "abc 2024 \u05dd\u05d5\u05dc\u05e9"},
        {"Hello \u05e9\u05dc\u05d5\u05dd World", "Hello \u05dd\u05d5\u05dc\u05e9 World"},
        {"\u05d0 (1) \u05d1", "\u05d1 )1( \u05d0"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        const Result r = run({c.text, "-o", "l.json", "-o", "l.png"});
        ASSERT_EQ(r.status, 0) << r.err;
        const std::vector<JsonGlyph> glyphs = readLayout(path("l.json"));
        EXPECT_EQ(visualText(glyphs), c.visual);
        for (size_t i = 1; i < glyphs.size(); ++i)
            EXPECT_GE(glyphs[i].x, glyphs[i - 1].x) << "left to right";
    }
    /* An Arabic line with digits: the paragraph is right to left, the year reads left
     * to right at its left end, and the line ends at x = 0. */
    const Result r = run({"--font", kNotoSansArabic, "\u0633\u0646\u0629 2024", "-o", "a.json"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<JsonGlyph> glyphs = readLayout(path("a.json"));
    ASSERT_GE(glyphs.size(), 8u);
    EXPECT_EQ(glyphs[0].text + glyphs[1].text + glyphs[2].text + glyphs[3].text, "2024");
    EXPECT_NEAR(glyphs.back().x + glyphs.back().advance, 0.0, 1e-9);
}

/* FreeType says whether a font file maps a character. */
bool fontMaps(const std::string &font, uint32_t code)
{
    FT_Library library;
    FT_Face face;
    if (FT_Init_FreeType(&library))
        return false;
    bool maps = false;
    if (!FT_New_Face(library, font.c_str(), 0, &face)) {
        maps = FT_Get_Char_Index(face, code) != 0;
        FT_Done_Face(face);
    }
    FT_Done_FreeType(library);
    return maps;
}

TEST_F(GlyvaMesh, FontconfigFallbackDrawsWhatTheFontLacks)
{
    const std::string text = "Glyva \u0928\u092e\u0938\u094d\u0924\u0947 \u4e2d\u6587";
    const Result r = run({text, "-o", "f.json", "-o", "f.obj"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("warning"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("glyva-mesh: fonts: " + std::string(kDejaVuSans)), std::string::npos)
        << r.err;
    std::set<std::string> fonts;
    for (const JsonGlyph &g : readLayout(path("f.json"))) {
        const uint32_t first = codePoints(g.text)[0];
        fonts.insert(g.font);
        if (first == 0x928 || first == 0x4E2D) {
            EXPECT_NE(g.font, kDejaVuSans);
            EXPECT_TRUE(fontMaps(g.font, first)) << g.font;
            EXPECT_NE(r.err.find(g.font + " ("), std::string::npos) << r.err;
        }
    }
    EXPECT_GE(fonts.size(), 3u);
    /* Kept to one font, the same text draws missing glyphs and says so once. */
    const Result one = run({"--no-fallback", text, "-o", "one.json"});
    ASSERT_EQ(one.status, 0) << one.err;
    EXPECT_EQ(countOf(one.err, "lacks"), 1u) << one.err;
    EXPECT_NE(one.err.find("U+0928 '\u0928'"), std::string::npos) << one.err;
    EXPECT_NE(one.err.find("U+4E2D '\u4e2d'"), std::string::npos) << one.err;
    for (const JsonGlyph &g : readLayout(path("one.json")))
        EXPECT_EQ(g.font, kDejaVuSans);
}

/* DejaVu Sans's own line pitch, hhea 1901 + 483 of 2048 units, times the spacing. */
TEST_F(GlyvaMesh, WidthWrapsAndSpacingMovesLinesAndLetters)
{
    const std::string text = "The quick brown fox jumps over the lazy dog";
    const Result r = run({"--size", "10", "--width", "60", "--line-spacing", "1.5",
                          "--letter-spacing", "0.5", text, "-o", "w.json", "-o", "w.obj"});
    ASSERT_EQ(r.status, 0) << r.err;
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
    EXPECT_LE(boundsOf(joined(readMeshes(path("w.obj")))).maxX, 60.0f);
    ASSERT_EQ(run({"--size", "10", "Th", "-o", "p.json"}).status, 0);
    ASSERT_EQ(run({"--size", "10", "--letter-spacing", "0.5", "Th", "-o", "s.json"}).status, 0);
    EXPECT_NEAR(readLayout(path("s.json"))[1].x - readLayout(path("p.json"))[1].x, 0.5, 1e-9);
}

TEST_F(GlyvaMesh, Type1FontsShapeAndMesh)
{
    const Result r = run({"--font", kNimbusSansType1, "--depth", "0.1", "Office AVATAR", "-o",
                          "t1.obj", "-o", "t1.json"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(summaryCounts(r.err)[0], 12);
    EXPECT_EQ(openEdges(joined(readMeshes(path("t1.obj")))), 0u);
}

/* The Khronos glTF validator's report on a file, or why it could not run. */
struct Validation {
    bool ran = false;
    nlohmann::json report;
    std::string why;
};

Validation validateGltf(const std::string &file)
{
    Validation v;
    if (std::string(GLYVA_NODE).empty()) {
        v.why = "node is not installed";
        return v;
    }
    const std::string command =
        "GLTF_VALIDATOR_MODULES=" + quote(GLYVA_GLTF_VALIDATOR_MODULES) + " " + quote(GLYVA_NODE) +
        " " + quote(std::string(GLYVA_SOURCE_DIR) + "/tests/tools/validate-gltf.js") + " " +
        quote(file) + " 2>&1";
    FILE *pipe = popen(command.c_str(), "r");
    std::string out;
    char buf[4096];
    for (size_t n; pipe && (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;)
        out.append(buf, n);
    const int status = pipe ? pclose(pipe) : -1;
    v.report = nlohmann::json::parse(out, nullptr, false);
    v.ran = WIFEXITED(status) && WEXITSTATUS(status) != 2 && v.report.is_object();
    v.why = out;
    return v;
}

void expectValidGltf(const std::string &file)
{
    const Validation v = validateGltf(file);
    if (!v.ran) {
        std::printf("glTF validator not run on %s: %s\n", file.c_str(), v.why.c_str());
        return;
    }
    EXPECT_EQ(v.report.value("errors", -1), 0) << file << ": " << v.report.dump();
    EXPECT_EQ(v.report.value("warnings", -1), 0) << file << ": " << v.report.dump();
}

/* What admesh had to repair in an STL file, by its own statistics. */
std::map<std::string, long> admeshRepairs(const std::string &file)
{
    std::map<std::string, long> counts;
    if (std::string(GLYVA_ADMESH).empty())
        return counts;
    FILE *pipe = popen((quote(GLYVA_ADMESH) + " " + quote(file) + " 2>&1").c_str(), "r");
    char line[512];
    while (pipe && std::fgets(line, sizeof line, pipe)) {
        for (const char *what :
             {"Degenerate facets", "Edges fixed", "Facets removed", "Facets added",
              "Facets reversed", "Backwards edges", "Normals fixed"}) {
            const char *at = std::strstr(line, what);
            if (at && std::strchr(at, ':'))
                counts[what] = std::atol(std::strchr(at, ':') + 1);
        }
    }
    if (pipe)
        pclose(pipe);
    return counts;
}

/* Triangles as sorted corner lists, sorted: the same surface whatever the order. */
std::vector<std::array<float, 9>> triangleSet(const std::vector<Soup> &meshes)
{
    std::vector<std::array<float, 9>> set;
    for (const Soup &soup : meshes) {
        for (const Tri &t : soup) {
            std::array<std::array<float, 3>, 3> c;
            for (int k = 0; k < 3; ++k)
                c[k] = {t.p[k].x, t.p[k].y, t.p[k].z};
            std::rotate(c.begin(), std::min_element(c.begin(), c.end()), c.end());
            set.push_back(
                {c[0][0], c[0][1], c[0][2], c[1][0], c[1][1], c[1][2], c[2][0], c[2][1], c[2][2]});
        }
    }
    std::sort(set.begin(), set.end());
    return set;
}

/* A page of text: every output passes the readers, each distinct glyph is written once
 * in glTF, and the instanced file is the merged one once its nodes are applied. */
TEST_F(GlyvaMesh, LongTextWritesEveryFormatOnceForEachDistinctGlyph)
{
    /* The sanitizer builds take a fifth of it. */
    const std::string text =
        slurp(GLYVA_LONG_TEXT).substr(0, std::getenv("GLYVA_QUICK") ? 2000 : std::string::npos);
    const Result r = run(
        {"-o", "t.glb", "-o", "t.gltf", "-o", "t.obj", "-o", "t.stl", "-o", "t.svg", "-o", "t.png"},
        text);
    ASSERT_EQ(r.status, 0) << r.err;
    const Result merged = run({"--merge", "-o", "m.glb"}, text);
    ASSERT_EQ(merged.status, 0) << merged.err;
    for (const char *file : {"t.glb", "t.gltf", "m.glb"})
        expectValidGltf(path(file));
    const std::vector<Soup> instanced = readMeshes(path("t.glb"));
    EXPECT_EQ(static_cast<long>(instanced.size()), summaryCounts(r.err)[0]);
    EXPECT_EQ(triangleSet(instanced), triangleSet(readMeshes(path("m.glb"))));
    EXPECT_EQ(triangleSet(instanced), triangleSet(readMeshes(path("t.obj"))));
    const nlohmann::json gltf = nlohmann::json::parse(slurp(path("t.gltf")));
    EXPECT_LT(gltf["meshes"].size(), 120u) << "one mesh per distinct glyph";
    EXPECT_LT(std::ifstream(path("t.glb"), std::ios::ate).tellg(), 2 << 20);
    EXPECT_EQ(gltf.value("extensionsUsed", nlohmann::json::array()).size(), 0u);
    /* Solids: closed, as admesh sees them (a slice of the text keeps the file small). */
    const std::string slice = text.substr(0, 600);
    const Result solids =
        run({"--depth", "0.1", slice, "-o", "d.glb", "-o", "d.stl", "-o", "d.obj"});
    ASSERT_EQ(solids.status, 0) << solids.err;
    expectValidGltf(path("d.glb"));
    EXPECT_EQ(triangleSet(readMeshes(path("d.glb"))), triangleSet(readMeshes(path("d.obj"))));
    const std::map<std::string, long> repairs = admeshRepairs(path("d.stl"));
    if (repairs.empty())
        std::printf("admesh not run: not installed\n");
    for (const auto &[what, count] : repairs)
        EXPECT_EQ(count, 0) << "admesh: " << what;
}

/* CGAL's verdict on one solid as a reader gets it from a file: a 2-manifold mesh once
 * equal positions are welded, closed, free of self-intersections, every part outward. */
testing::AssertionResult cgalJudges(const Soup &solid)
{
#ifdef GLYVA_HAVE_CGAL
    std::vector<float> positions;
    std::vector<uint32_t> indices;
    for (const Tri &t : solid) {
        for (const aiVector3D &p : t.p) {
            indices.push_back(static_cast<uint32_t>(positions.size() / 3));
            positions.insert(positions.end(), {p.x, p.y, p.z});
        }
    }
    const glyva_test::CgalVerdict v = glyva_test::cgalCheck(positions, indices);
    if (!v.built || !v.closed || v.selfIntersecting || !v.outward)
        return testing::AssertionFailure()
               << "CGAL: built " << v.built << " (" << v.problem << "), closed " << v.closed
               << ", self-intersecting " << v.selfIntersecting << ", outward " << v.outward;
#else
    (void)solid;
#endif
    return testing::AssertionSuccess();
}

/* Triangles whose corners, as written, span no area. */
size_t zeroAreaTriangles(const Soup &soup)
{
    size_t n = 0;
    for (const Tri &t : soup) {
        const double ux = double(t.p[1].x) - t.p[0].x, uy = double(t.p[1].y) - t.p[0].y,
                     uz = double(t.p[1].z) - t.p[0].z;
        const double vx = double(t.p[2].x) - t.p[0].x, vy = double(t.p[2].y) - t.p[0].y,
                     vz = double(t.p[2].z) - t.p[0].z;
        n += uy * vz - uz * vy == 0.0 && uz * vx - ux * vz == 0.0 && ux * vy - uy * vx == 0.0;
    }
    return n;
}

/* Bevelled solids as the tool writes them, in a TrueType, a CFF and a light font (whose
 * strokes are narrower than the bevel): every placed solid of the instanced GLB judged by
 * CGAL, the merged STL clean as admesh sees it, the GLB (texture coordinates and a colour
 * of its own) clean as the Khronos validator sees it. */
struct BevelCase {
    const char *name;
    const char *font;
    std::vector<std::string> options;
};

const BevelCase kBevelCases[] = {
    {"TrueType",
     glyva_test::kDejaVuSans,
     {"--depth", "0.25", "--bevel", "0.03", "--bevel-segments", "3"}},
    {"Cff",
     glyva_test::kFreeSans,
     {"--depth", "0.3", "--bevel", "0.04", "--bevel-depth", "0.02", "--bevel-front-only"}},
    {"Light",
     "/usr/share/fonts/truetype/dejavu/DejaVuSans-ExtraLight.ttf",
     {"--depth", "0.2", "--bevel", "0.03", "--bevel-segments", "2", "--color", "#e0a030"}},
};

class BevelledSolids : public GlyvaMesh, public testing::WithParamInterface<BevelCase>
{
};

TEST_P(BevelledSolids, AreClosedSoundAndCleanForEveryReader)
{
    std::vector<std::string> args = GetParam().options;
    args.insert(args.end(),
                {"--font", GetParam().font, "Glyva R@8e&", "-o", "b.glb", "-o", "b.stl"});
    const Result r = run(args);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<Soup> solids = readMeshes(path("b.glb"));
    ASSERT_EQ(static_cast<long>(solids.size()), summaryCounts(r.err)[0]);
    for (size_t i = 0; i < solids.size(); ++i) {
        EXPECT_TRUE(cgalJudges(solids[i])) << "solid " << i;
        EXPECT_EQ(zeroAreaTriangles(solids[i]), 0u) << "solid " << i;
    }
    const Soup stl = joined(readMeshes(path("b.stl")));
    EXPECT_EQ(openEdges(stl), 0u);
    EXPECT_EQ(triangleSet({stl}), triangleSet(solids));
    const std::map<std::string, long> repairs = admeshRepairs(path("b.stl"));
    if (repairs.empty())
        std::printf("admesh not run: not installed\n");
    for (const auto &[what, count] : repairs)
        EXPECT_EQ(count, 0) << "admesh: " << what;
    expectValidGltf(path("b.glb"));
    const std::string glb = slurp(path("b.glb"));
    EXPECT_NE(glb.find("\"TEXCOORD_0\""), std::string::npos);
    EXPECT_EQ(glb.find("extensionsUsed"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Fonts, BevelledSolids, testing::ValuesIn(kBevelCases),
                         [](const testing::TestParamInfo<BevelCase> &info) {
                             return std::string(info.param.name);
                         });

/* GLU's triangles with three corners on one line (the stem of DejaVu Sans's R) reach
 * no file: flat meshes and solids alike. */
TEST_F(GlyvaMesh, NoWrittenTriangleIsWithoutArea)
{
    ASSERT_EQ(run({"--size", "10", "R", "-o", "flat.stl"}).status, 0);
    ASSERT_EQ(run({"--size", "10", "--depth", "2", "R", "-o", "solid.stl"}).status, 0);
    for (const char *file : {"flat.stl", "solid.stl"}) {
        const Soup soup = joined(readMeshes(path(file)));
        ASSERT_GT(soup.size(), 10u) << file;
        EXPECT_EQ(zeroAreaTriangles(soup), 0u) << file;
    }
    EXPECT_TRUE(cgalJudges(joined(readMeshes(path("solid.stl")))));
}

/* What lib3mf's own reader finds in a 3MF package. */
struct ThreeMf {
    bool read = false;
    std::string problem;
    DWORD unit = 99;
    std::vector<std::string> names;
    std::vector<DWORD> triangles;
    std::vector<bool> manifold;
    /* Triangles whose corners, as the file has them, span no area. */
    size_t zeroArea = 0;
    size_t items = 0;
    /* Every object's vertices moved by its build item. */
    Box bounds;
    BYTE color[4] = {0, 0, 0, 0};
};

/* A lib3mf handle, released when it goes. */
struct Lib3mf {
    NMR::PLib3MFBase *p = nullptr;
    ~Lib3mf()
    {
        if (p)
            NMR::lib3mf_release(p);
    }
};

std::string objectName(NMR::PLib3MFBase *object)
{
    char name[256] = "";
    ULONG needed = 0;
    NMR::lib3mf_object_getnameutf8(object, name, sizeof name, &needed);
    return name;
}

void readBuildItems(NMR::PLib3MFBase *model, ThreeMf *out)
{
    Lib3mf items;
    BOOL more = false;
    NMR::lib3mf_model_getbuilditems(model, &items.p);
    while (items.p && NMR::lib3mf_builditemiterator_movenext(items.p, &more) == LIB3MF_OK && more) {
        Lib3mf item, object;
        NMR::MODELTRANSFORM m;
        NMR::lib3mf_builditemiterator_getcurrent(items.p, &item.p);
        NMR::lib3mf_builditem_getobjectresource(item.p, &object.p);
        NMR::lib3mf_builditem_getobjecttransform(item.p, &m);
        DWORD count = 0;
        NMR::lib3mf_meshobject_getvertexcount(object.p, &count);
        std::vector<NMR::MODELMESHVERTEX> vertices(count);
        DWORD got = 0;
        NMR::lib3mf_meshobject_getvertices(object.p, vertices.data(), count, &got);
        for (const NMR::MODELMESHVERTEX &v : vertices) {
            float p[3];
            for (int r = 0; r < 3; ++r)
                p[r] = m.m_fFields[r][0] * v.m_fPosition[0] + m.m_fFields[r][1] * v.m_fPosition[1] +
                       m.m_fFields[r][2] * v.m_fPosition[2] + m.m_fFields[r][3];
            Box &b = out->bounds;
            b.minX = std::min(b.minX, p[0]), b.maxX = std::max(b.maxX, p[0]);
            b.minY = std::min(b.minY, p[1]), b.maxY = std::max(b.maxY, p[1]);
            b.minZ = std::min(b.minZ, p[2]), b.maxZ = std::max(b.maxZ, p[2]);
        }
        ++out->items;
    }
}

/* A mesh object's triangles as its file has them. */
Soup objectSoup(NMR::PLib3MFBase *object)
{
    DWORD vertexCount = 0, triangleCount = 0, got = 0;
    NMR::lib3mf_meshobject_getvertexcount(object, &vertexCount);
    NMR::lib3mf_meshobject_gettrianglecount(object, &triangleCount);
    std::vector<NMR::MODELMESHVERTEX> vertices(vertexCount);
    std::vector<NMR::MODELMESHTRIANGLE> triangles(triangleCount);
    NMR::lib3mf_meshobject_getvertices(object, vertices.data(), vertexCount, &got);
    NMR::lib3mf_meshobject_gettriangleindices(object, triangles.data(), triangleCount, &got);
    Soup soup(triangleCount);
    for (size_t t = 0; t < triangles.size(); ++t) {
        for (int k = 0; k < 3; ++k) {
            const float *p = vertices[triangles[t].m_nIndices[k]].m_fPosition;
            soup[t].p[k] = aiVector3D(p[0], p[1], p[2]);
        }
    }
    return soup;
}

ThreeMf readThreeMf(const std::string &file)
{
    ThreeMf out;
    Lib3mf model, reader, objects, materials;
    if (NMR::lib3mf_createmodel(&model.p) != LIB3MF_OK ||
        NMR::lib3mf_model_queryreader(model.p, "3mf", &reader.p) != LIB3MF_OK ||
        NMR::lib3mf_reader_readfromfileutf8(reader.p, file.c_str()) != LIB3MF_OK) {
        out.problem = "lib3mf cannot read " + file;
        return out;
    }
    NMR::lib3mf_model_getunit(model.p, &out.unit);
    NMR::lib3mf_model_getmeshobjects(model.p, &objects.p);
    BOOL more = false;
    while (NMR::lib3mf_resourceiterator_movenext(objects.p, &more) == LIB3MF_OK && more) {
        Lib3mf object;
        DWORD triangles = 0;
        BOOL manifold = false;
        NMR::lib3mf_resourceiterator_getcurrent(objects.p, &object.p);
        NMR::lib3mf_meshobject_gettrianglecount(object.p, &triangles);
        NMR::lib3mf_meshobject_ismanifoldandoriented(object.p, &manifold);
        out.zeroArea += zeroAreaTriangles(objectSoup(object.p));
        out.names.push_back(objectName(object.p));
        out.triangles.push_back(triangles);
        out.manifold.push_back(manifold != 0);
    }
    readBuildItems(model.p, &out);
    NMR::lib3mf_model_getbasematerials(model.p, &materials.p);
    if (NMR::lib3mf_resourceiterator_movenext(materials.p, &more) == LIB3MF_OK && more) {
        Lib3mf group;
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
    std::vector<std::string> args = solid;
    args.insert(args.end(), {"-o", "p.3mf", "-o", "p.stl"});
    const Result r = run(args);
    ASSERT_EQ(r.status, 0) << r.err;
    const ThreeMf model = readThreeMf(path("p.3mf"));
    ASSERT_TRUE(model.read) << model.problem;
    EXPECT_EQ(model.unit, DWORD(NMR::MODELUNIT_MILLIMETER));
    EXPECT_EQ(model.names, (std::vector<std::string>{"G", "l", "y", "v", "a"}));
    EXPECT_EQ(model.items, 5u);
    EXPECT_EQ(model.manifold, std::vector<bool>(5, true));
    EXPECT_EQ(model.zeroArea, 0u);
    long triangles = 0;
    for (DWORD n : model.triangles)
        triangles += n;
    EXPECT_EQ(triangles, summaryCounts(r.err)[2]);
    /* lib3mf writes coordinates with six decimals: to the nanometre. */
    const Box stl = boundsOf(joined(readMeshes(path("p.stl"))));
    EXPECT_NEAR(model.bounds.minX, stl.minX, 1e-4);
    EXPECT_NEAR(model.bounds.maxX, stl.maxX, 1e-4);
    EXPECT_NEAR(model.bounds.minY, stl.minY, 1e-4);
    EXPECT_NEAR(model.bounds.maxZ, stl.maxZ, 1e-4);
    EXPECT_EQ(std::vector<int>(model.color, model.color + 4),
              (std::vector<int>{0xC0, 0x39, 0x2B, 0xFF}));
    args = solid;
    args.insert(args.end(), {"--merge", "-o", "m.3mf"});
    ASSERT_EQ(run(args).status, 0);
    const ThreeMf merged = readThreeMf(path("m.3mf"));
    ASSERT_TRUE(merged.read) << merged.problem;
    EXPECT_EQ(merged.names, std::vector<std::string>{"text"});
    EXPECT_EQ(merged.triangles, std::vector<DWORD>{DWORD(triangles)});
    EXPECT_EQ(merged.manifold, std::vector<bool>{true});
}

/* Every vertex of a file as Assimp reads it: where its mesh has it, where its node puts
 * it, its normal and its texture coordinates. */
struct UvVertex {
    aiVector3D local, placed, normal, uv;
};

void collectUvs(const aiScene *scene, const aiNode *node, const aiMatrix4x4 &parent,
                std::vector<UvVertex> *out)
{
    const aiMatrix4x4 transform = parent * node->mTransformation;
    for (unsigned i = 0; i < node->mNumMeshes; ++i) {
        const aiMesh *mesh = scene->mMeshes[node->mMeshes[i]];
        for (unsigned v = 0; mesh->HasTextureCoords(0) && v < mesh->mNumVertices; ++v)
            out->push_back({mesh->mVertices[v], transform * mesh->mVertices[v], mesh->mNormals[v],
                            mesh->mTextureCoords[0][v]});
    }
    for (unsigned c = 0; c < node->mNumChildren; ++c)
        collectUvs(scene, node->mChildren[c], transform, out);
}

std::vector<UvVertex> readUvs(const std::string &file)
{
    Assimp::Importer importer;
    const aiScene *scene = importer.ReadFile(file, 0);
    std::vector<UvVertex> vertices;
    if (scene && scene->mRootNode)
        collectUvs(scene, scene->mRootNode, aiMatrix4x4(), &vertices);
    return vertices;
}

/* Faces (normal along z) are mapped by position in ems, their glyph's own in instanced
 * glTF, the text's where the file is in text coordinates; walls (horizontal normals) by
 * height in ems. */
testing::AssertionResult texturedAsDocumented(const std::vector<UvVertex> &vertices, float size,
                                              bool glyphOwn)
{
    size_t faces = 0, walls = 0;
    for (const UvVertex &v : vertices) {
        const aiVector3D &p = glyphOwn ? v.local : v.placed;
        if (std::fabs(v.normal.z) == 1.0f) {
            ++faces;
            if (std::fabs(v.uv.x - p.x / size) > 1e-5f || std::fabs(v.uv.y - p.y / size) > 1e-5f)
                return testing::AssertionFailure() << "face vertex at " << p.x << ", " << p.y
                                                   << " mapped to " << v.uv.x << ", " << v.uv.y;
        } else if (v.normal.z == 0.0f) {
            ++walls;
            if (std::fabs(v.uv.y - v.local.z / size) > 1e-5f)
                return testing::AssertionFailure()
                       << "wall vertex at height " << v.local.z << " mapped to v = " << v.uv.y;
        }
    }
    if (faces == 0 || walls == 0)
        return testing::AssertionFailure() << faces << " face and " << walls << " wall vertices";
    return testing::AssertionSuccess();
}

TEST_F(GlyvaMesh, TextureCoordinatesFollowTheFacesAndTheWalls)
{
    const std::vector<std::string> solid = {"--size", "2", "--depth", "0.5", "Hi o"};
    std::vector<std::string> args = solid;
    args.insert(args.end(), {"-o", "t.glb", "-o", "t.obj"});
    ASSERT_EQ(run(args).status, 0);
    args = solid;
    args.insert(args.end(), {"--merge", "-o", "m.glb"});
    ASSERT_EQ(run(args).status, 0);
    EXPECT_TRUE(texturedAsDocumented(readUvs(path("t.glb")), 2.0f, true));
    EXPECT_TRUE(texturedAsDocumented(readUvs(path("t.obj")), 2.0f, false));
    EXPECT_TRUE(texturedAsDocumented(readUvs(path("m.glb")), 2.0f, false));
    expectValidGltf(path("m.glb"));
}

/* --origin text: every node's mesh already where it is, no node moved, the same
 * triangles as the instanced file's once its nodes are applied. */
TEST_F(GlyvaMesh, OriginTextPutsEveryMeshInTheTextsCoordinates)
{
    ASSERT_EQ(run({"--depth", "0.2", "AVA", "-o", "g.gltf"}).status, 0);
    ASSERT_EQ(run({"--depth", "0.2", "--origin", "text", "AVA", "-o", "t.gltf"}).status, 0);
    const nlohmann::json glyph = nlohmann::json::parse(slurp(path("g.gltf")));
    const nlohmann::json text = nlohmann::json::parse(slurp(path("t.gltf")));
    EXPECT_EQ(glyph["meshes"].size(), 2u) << "A and V, each once";
    EXPECT_EQ(text["meshes"].size(), 3u);
    int moved = 0;
    for (const auto &node : glyph["nodes"])
        moved += node.contains("translation") && node["translation"][0] != 0.0;
    EXPECT_EQ(moved, 2) << "V and the second A start right of the origin";
    for (const auto &node : text["nodes"])
        EXPECT_TRUE(!node.contains("translation") ||
                    node["translation"] == nlohmann::json({0.0, 0.0, 0.0}));
    EXPECT_EQ(triangleSet(readMeshes(path("g.gltf"))), triangleSet(readMeshes(path("t.gltf"))));
    expectValidGltf(path("t.gltf"));
}

/* Pixels whose colour is not the glyph colour washed towards white by antialiasing: shade
 * from a light, which flat text in the front view never has. */
long shadedPixels(const std::string &file, float r, float g, float b)
{
    long shaded = 0;
    cairo_surface_t *s = cairo_image_surface_create_from_png(file.c_str());
    const int width = cairo_image_surface_get_width(s), height = cairo_image_surface_get_height(s);
    const int stride = cairo_image_surface_get_stride(s);
    const unsigned char *data = cairo_image_surface_get_data(s);
    for (int y = 0; data && y < height; ++y) {
        const auto *row = reinterpret_cast<const uint32_t *>(data + y * stride);
        for (int x = 0; x < width; ++x) {
            const float c[3] = {((row[x] >> 16) & 0xFF) / 255.0f, ((row[x] >> 8) & 0xFF) / 255.0f,
                                (row[x] & 0xFF) / 255.0f};
            /* c = t * colour + (1 - t) * white for some t, within rounding. */
            const float t = (1.0f - c[0]) / (1.0f - r);
            shaded += std::fabs(c[1] - (t * g + 1.0f - t)) > 0.03f ||
                      std::fabs(c[2] - (t * b + 1.0f - t)) > 0.03f;
        }
    }
    cairo_surface_destroy(s);
    return shaded;
}

/* Solids are drawn in perspective, shaded, unless the front view is asked for, which
 * draws them as the flat text; flat text may be seen in perspective too. */
TEST_F(GlyvaMesh, SolidsAreDrawnInPerspectiveUnlessTheFrontIsAsked)
{
    ASSERT_EQ(run({"Glyva", "-o", "flat.png"}).status, 0);
    ASSERT_EQ(run({"--depth", "0.2", "--view", "front", "Glyva", "-o", "front.png"}).status, 0);
    ASSERT_EQ(
        run({"--depth", "0.2", "--bevel", "0.02", "Glyva", "-o", "p.png", "-o", "p.svg"}).status,
        0);
    ASSERT_EQ(run({"--view", "perspective", "Glyva", "-o", "tilted.png"}).status, 0);
    EXPECT_EQ(slurp(path("front.png")), slurp(path("flat.png")));
    const Pixels p = readPng(path("p.png"));
    EXPECT_GT(p.inked, p.width * p.height / 20);
    EXPECT_EQ(shadedPixels(path("flat.png"), 0.17f, 0.34f, 0.59f), 0);
    EXPECT_GT(shadedPixels(path("p.png"), 0.17f, 0.34f, 0.59f), p.inked / 5);
    EXPECT_NE(slurp(path("tilted.png")), slurp(path("flat.png")));
    const std::string svg = slurp(path("p.svg"));
    EXPECT_EQ(countOf(svg, "<use"), 0u);
    EXPECT_GT(countOf(svg, "<path"), 1000u);
}

/* Each refused command line: its status, the culprit named in the one line on
 * standard error, and nothing left in the folder. */
struct Refusal {
    std::vector<std::string> args;
    std::string input;
    int status;
    std::string named;
};

TEST_F(GlyvaMesh, RefusedRunsNameTheCulpritAndLeaveNothing)
{
    const std::string ttc = fixture("collection.ttc"), variable = fixture("variable.ttf");
    const std::string malformed = fixture("malformed.ttf");
    const std::vector<Refusal> refusals = {
        /* 1: usage */
        {{"A"}, "", 1, "no output"},
        {{"--quality", "101", "A", "-o", "x.obj"}, "", 1, "--quality"},
        {{"--depth", "-1", "A", "-o", "x.obj"}, "", 1, "--depth"},
        {{"--size", "nan", "A", "-o", "x.obj"}, "", 1, "--size"},
        {{"--align", "middle", "A", "-o", "x.obj"}, "", 1, "--align"},
        {{"--png-size", "0x10", "A", "-o", "x.png"}, "", 1, "--png-size"},
        {{"--width", "0", "A", "-o", "x.obj"}, "", 1, "--width"},
        {{"--line-spacing", "inf", "A", "-o", "x.obj"}, "", 1, "--line-spacing"},
        {{"--letter-spacing", "x", "A", "-o", "x.obj"}, "", 1, "--letter-spacing"},
        {{"--text-file", "absent.txt", "-o", "x.obj"}, "", 1, "absent.txt"},
        {{"--all-glyphs", "A", "-o", "x.obj"}, "", 1, "--all-glyphs"},
        {{"A", "-o", "x.xyz"}, "", 1, "'.xyz'"},
        {{"A", "-o", "good.obj", "-o", "noextension"}, "", 1, "noextension"},
        {{"", "-o", "x.obj"}, "", 1, "empty"},
        {{"-o", "x.obj"}, "", 1, "empty"},
        {{"-o", "x.obj"}, "\n", 1, "empty"},
        {{" \t ", "-o", "x.obj"}, "", 1, "nothing to draw"},
        {{"--layout", "simple", "--face", "1", "A", "-o", "x.obj"}, "", 1, "--face"},
        {{"--layout", "simple", "--width", "3", "A", "-o", "x.obj"}, "", 1, "--width"},
        {{"--layout", "simple", "A", "-o", "x.json"}, "", 1, "x.json"},
        {{"--layout", "typeset", "A", "-o", "x.obj"}, "", 1, "--layout"},
        {{"--bevel", "0.1", "A", "-o", "x.obj"}, "", 1, "--depth"},
        {{"--depth", "0.1", "--bevel", "0.05", "A", "-o", "x.obj"}, "", 1, "no wall"},
        {{"--depth", "1", "--bevel", "0.1", "--bevel-segments", "33", "A", "-o", "x.obj"},
         "",
         1,
         "--bevel-segments"},
        {{"--depth", "1", "--bevel-depth", "-1", "A", "-o", "x.obj"}, "", 1, "--bevel-depth"},
        {{"A", "-o", "x.3mf"}, "", 1, "x.3mf"},
        {{"--color", "blue", "A", "-o", "x.obj"}, "", 1, "--color"},
        {{"--view", "top", "A", "-o", "x.png"}, "", 1, "--view"},
        {{"--origin", "middle", "A", "-o", "x.glb"}, "", 1, "--origin"},
        {{"--direction", "ttb", "A", "-o", "x.obj"}, "", 1, "--direction"},
        {{"--features", "liga=0,@@", "A", "-o", "x.obj"}, "", 1, "bad feature '@@'"},
        {{"--script", "Latin", "A", "-o", "x.obj"}, "", 1, "bad script 'Latin'"},
        /* 2: fonts */
        {{"--font", "/no/such/font.ttf", "A", "-o", "x.obj"}, "", 2, "/no/such/font.ttf"},
        {{"--font", "nosuch.otf", "A", "-o", "x.obj"}, "", 2, "nosuch.otf"},
        {{"--font", fixture("truncated-header.ttf"), "A", "-o", "x.png"},
         "",
         2,
         "truncated-header.ttf"},
        {{"--font", fixture("symbol-only.ttf"), "A", "-o", "x.png"}, "", 2, "symbol-only.ttf"},
        {{"--font", "/tmp", "A", "-o", "x.png"}, "", 2, "/tmp"},
        {{"--font", malformed, "CA", "-o", "x.stl"}, "", 2, "malformed.ttf"},
        {{"--font", fixture("fixtures.ttf"), "--all-glyphs", "-o", "x.stl"}, "", 2, "U+0049 'I'"},
        {{"--font", variable, "--variation", "wdht=100", "A", "-o", "x.obj"},
         "",
         2,
         "unknown axis 'wdht'"},
        {{"--font", variable, "--variation", "Black", "A", "-o", "x.obj"},
         "",
         2,
         "no instance named 'Black'"},
        {{"--font", ttc, "--face", "2", "A", "-o", "x.obj"},
         "",
         2,
         "face index 2 is past the 2 faces of the collection"},
        {{"--face", "1", "A", "-o", "x.obj"}, "", 2, "past the single face"},
        /* 3: outputs */
        {{"A", "-o", "no/such/dir/x.obj"}, "", 3, "no/such/dir/x.obj"},
    };
    for (const Refusal &r : refusals) {
        std::string command;
        for (const std::string &a : r.args)
            command += " " + a;
        SCOPED_TRACE(command);
        const Result result = run(r.args, r.input);
        EXPECT_EQ(result.status, r.status) << result.err;
        EXPECT_EQ(lineCount(result.err), 1u) << result.err;
        EXPECT_NE(result.err.find(r.named), std::string::npos) << result.err;
        EXPECT_EQ(outputs(), std::vector<std::string>{});
    }
    EXPECT_EQ(run({"--font", malformed, "C", "-o", "x.stl"}).status, 0) << "the rest still works";
}

TEST_F(GlyvaMesh, UnwritableOutputIsStatusThreeAndLeavesNothing)
{
    std::ofstream(path("plainfile")) << "x";
    const Result underFile = run({"A", "-o", "ok.png", "-o", "plainfile/x.png"});
    EXPECT_EQ(underFile.status, 3) << underFile.err;
    EXPECT_EQ(outputs(), std::vector<std::string>{"plainfile"}) << "ok.png not written either";
}

/* A failure after the writers ran: the glTF buffer cannot take its place, so neither
 * file appears and the staging folder goes. */
TEST_F(GlyvaMesh, FailedMoveIntoPlaceLeavesNoPartialOutput)
{
    ASSERT_EQ(mkdir(path("x.bin").c_str(), 0755), 0);
    const Result r = run({"A", "-o", "x.gltf"});
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_NE(r.err.find("x.bin"), std::string::npos) << r.err;
    EXPECT_EQ(outputs(), std::vector<std::string>{"x.bin"});
}

TEST_F(GlyvaMesh, OutputReplacesAnExistingFileOnlyWhenComplete)
{
    std::ofstream(path("keep.obj")) << "old";
    EXPECT_EQ(run({"--font", "/no/such/font.ttf", "A", "-o", "keep.obj"}).status, 2);
    EXPECT_EQ(slurp(path("keep.obj")), "old");
    EXPECT_EQ(run({"A", "-o", "keep.obj"}).status, 0);
    EXPECT_NE(slurp(path("keep.obj")), "old");
    EXPECT_EQ(outputs(), (std::vector<std::string>{"keep.mtl", "keep.obj"}));
}

} // namespace

#endif
