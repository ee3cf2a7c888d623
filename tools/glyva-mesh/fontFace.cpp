#include "fontFace.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "Skrib/GlyvaInterface.h"
#include "fontLookup.h"
#include "shape/glyvaShape.h"
#include "utf8.h"

namespace glyvamesh
{
namespace
{

} // namespace

std::string unreadableFontReason(const std::string &path)
{
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        return std::strerror(errno);
    if (S_ISDIR(st.st_mode))
        return std::strerror(EISDIR);
    FILE *file = std::fopen(path.c_str(), "rb");
    if (!file)
        return std::strerror(errno);
    std::fclose(file);
    return {};
}

namespace
{

bool sameVec(const Vec2 &a, const Vec2 &b)
{
    return a.x == b.x && a.y == b.y;
}

/* The library's triangles index its vertex array; a mesh that breaks that is refused
 * rather than written out. */
bool indicesInRange(const std::vector<uint32_t> &triangles, size_t vertexCount)
{
    return triangles.size() % 3 == 0 &&
           std::all_of(triangles.begin(), triangles.end(),
                       [vertexCount](uint32_t i) { return i < vertexCount; });
}

std::vector<uint32_t> copyIndices(const int32_t *indices, int32_t count)
{
    std::vector<uint32_t> out;
    out.reserve(count > 0 ? static_cast<size_t>(count) : 0);
    for (int32_t i = 0; i < count; ++i)
        out.push_back(indices[i] < 0 ? UINT32_MAX : static_cast<uint32_t>(indices[i]));
    return out;
}

std::vector<Vec2> copyVertices(const float *xy, size_t count)
{
    std::vector<Vec2> out(count);
    for (size_t i = 0; i < count; ++i)
        out[i] = {xy[2 * i], xy[2 * i + 1]};
    return out;
}

} // namespace

std::string describeCharacter(uint32_t code)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "U+%04X", static_cast<unsigned>(code));
    std::string s = buf;
    if (code >= 0x20 && code != 0x7F && !(code >= 0x80 && code < 0xA0))
        s += " '" + encodeUtf8(code) + "'";
    return s;
}

FontFace::FontFace(tavixInternalFontData *font, std::string path)
    : font_(font), path_(std::move(path))
{
}

FontFace::~FontFace()
{
    CloseFont(font_);
}

std::unique_ptr<FontFace> FontFace::open(const std::string &path, int quality, std::string *error)
{
    const std::string reason = unreadableFontReason(path);
    if (!reason.empty()) {
        *error = "cannot read font " + path + ": " + reason;
        return nullptr;
    }
    tavixInternalFontData *font = OpenFont(path.c_str());
    if (!font) {
        *error = "cannot open font " + path;
        return nullptr;
    }
    std::unique_ptr<FontFace> face(new FontFace(font, path));
    SetQuality(font, static_cast<uint32_t>(quality));
    /* OpenFont hands out a handle even for a file FreeType rejects; the first glyph
     * query is what tells. Any character will do: one the font lacks still gets the
     * missing glyph's metrics from a usable font. */
    glyphInfoRecord info;
    if (!GetGlyphInfo(&info, font, ' ')) {
        *error = "cannot use font " + path + ": not a font the library can read";
        return nullptr;
    }
    face->characters_ = fontCharacters(path);
    face->mapped_.insert(face->characters_.begin(), face->characters_.end());
    return face;
}

bool FontFace::fontMaps(uint32_t code) const
{
    return mapped_.count(code) != 0;
}

std::string FontFace::failure(uint32_t code, const char *what) const
{
    return "font " + path_ + ": the library cannot " + what + " for " + describeCharacter(code);
}

const GlyphShape *FontFace::glyph(uint32_t code, bool withContours, std::string *error)
{
    auto found = glyphs_.find(code);
    if (found != glyphs_.end() && (!withContours || contourCounts_.count(code)))
        return &found->second;
    glyphInfoRecord info;
    if (!GetGlyphInfo(&info, font_, code)) {
        *error = failure(code, "load the glyph");
        return nullptr;
    }
    GlyphShape shape;
    shape.advance = info.horiAdvance;
    shape.font = meshFont_;
    shape.glyphIndex = glyvaShapeCharacterGlyph(meshFont_, code);
    if (!copyMesh(code, &shape, error))
        return nullptr;
    if (withContours) {
        copyContours(code, info.contourCount, &shape);
        contourCounts_[code] = info.contourCount;
    }
    if (shape.missing && std::find(missing_.begin(), missing_.end(), code) == missing_.end())
        missing_.push_back(code);
    GlyphShape &stored = glyphs_[code];
    stored = std::move(shape);
    return &stored;
}

/* Calling order of the font API: the shared vertex array is emptied first, so that
 * what comes back is this glyph's alone, and emptied again once copied. */
bool FontFace::copyMesh(uint32_t code, GlyphShape *shape, std::string *error)
{
    ClearGlyphData(font_, code);
    float *vertices = nullptr;
    const int32_t vertexCount = GetGlyphVertices(&vertices, font_, code);
    if (vertexCount < 0) {
        /* A character that maps to the missing glyph answers -1 here, although that
         * glyph was tessellated; one the font does map has really failed. */
        if (fontMaps(code)) {
            ClearGlyphData(font_, code);
            *error = failure(code, "tessellate the glyph");
            return false;
        }
        return copyMissingGlyphMesh(code, shape, error);
    }
    int32_t *indices = nullptr;
    const int32_t indexCount = GetGlyphTriangleIndices(&indices, font_, code);
    if (indexCount > 0 && vertexCount > 0) {
        shape->mesh.vertices = copyVertices(vertices, static_cast<size_t>(vertexCount));
        shape->mesh.triangles = copyIndices(indices, indexCount);
    }
    ClearGlyphData(font_, code);
    if (!indicesInRange(shape->mesh.triangles, shape->mesh.vertices.size())) {
        *error = failure(code, "give a consistent mesh");
        return false;
    }
    return true;
}

/* The missing glyph's triangles are in its index list, but its vertex query handed
 * back no address. Asking for another glyph's vertices returns the shared array,
 * which still holds the missing glyph's vertices at the indices its triangles use. */
bool FontFace::copyMissingGlyphMesh(uint32_t code, GlyphShape *shape, std::string *error)
{
    shape->missing = true;
    int32_t *indices = nullptr;
    const int32_t indexCount = GetGlyphTriangleIndices(&indices, font_, code);
    if (indexCount <= 0) {
        ClearGlyphData(font_, code);
        return true;
    }
    std::vector<uint32_t> triangles = copyIndices(indices, indexCount);
    const uint32_t needed = 1 + *std::max_element(triangles.begin(), triangles.end());
    float *vertices = nullptr;
    int32_t vertexCount = -1;
    if (!haveHelper_) {
        for (uint32_t candidate : {0x20u, 0xA0u, 0x2Eu, 0x41u, 0x30u}) {
            glyphInfoRecord info;
            if (fontMaps(candidate) && GetGlyphInfo(&info, font_, candidate)) {
                helper_ = candidate;
                haveHelper_ = true;
                break;
            }
        }
    }
    if (haveHelper_)
        vertexCount = GetGlyphVertices(&vertices, font_, helper_);
    if (vertexCount >= 0 && static_cast<uint32_t>(vertexCount) >= needed && needed > 0) {
        shape->mesh.vertices = copyVertices(vertices, needed);
        shape->mesh.triangles = std::move(triangles);
    }
    if (haveHelper_)
        ClearGlyphData(font_, helper_);
    ClearGlyphData(font_, code);
    if (shape->mesh.triangles.empty()) {
        *error = failure(code, "give the missing glyph's vertices");
        return false;
    }
    return true;
}

/* Each contour query flattens the whole glyph and replaces the previous result, so
 * every contour is copied before the next is asked for. */
void FontFace::copyContours(uint32_t code, int32_t count, GlyphShape *shape)
{
    for (int32_t i = 0; i < count; ++i) {
        float *points = nullptr;
        uint8_t evenOdd = 0;
        uint8_t postScript = 0;
        const int32_t n = GetGlyphContour(&points, font_, code, i, &evenOdd, &postScript);
        if (n <= 0)
            continue; /* a degenerate contour encloses nothing; the caps decide */
        shape->postScriptOrientation = postScript != 0;
        Contour contour;
        for (int32_t k = 0; k < n; ++k) {
            const Vec2 p{points[3 * k], points[3 * k + 1]};
            if (contour.empty() || !sameVec(contour.back(), p))
                contour.push_back(p);
        }
        while (contour.size() > 1 && sameVec(contour.front(), contour.back()))
            contour.pop_back();
        shape->contours.push_back(std::move(contour));
    }
    ClearGlyphContour(font_);
}

float FontFace::kerning(uint32_t left, uint32_t right) const
{
    float x = 0.0f;
    if (!GetKerning2(&x, nullptr, font_, left, right))
        return 0.0f;
    return x;
}

float FontFace::ascender() const
{
    return GetAscender(font_);
}
float FontFace::descender() const
{
    return GetDescender(font_);
}

} // namespace glyvamesh
