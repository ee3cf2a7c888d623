#include "shapedFace.h"

#include <algorithm>

#include "shape/glyvaShape.h"
#include "utf8.h"

namespace glyvamesh
{
namespace
{

constexpr uint32_t kTab = 0x09;

std::string glyphFailure(const std::string &path, uint32_t index, const char *what, const char *why)
{
    return "font " + path + ": the library cannot " + what + " for glyph " + std::to_string(index) +
           (why && *why ? std::string(": ") + why : std::string());
}

} // namespace

ShapedFace::ShapedFace(glyvaShapeFont *font, std::string path) : font_(font), path_(std::move(path))
{
}

ShapedFace::~ShapedFace()
{
    glyvaShapeClose(font_);
}

std::unique_ptr<ShapedFace> ShapedFace::open(const std::string &path, int face,
                                             const std::string &instance, int quality,
                                             std::string *error)
{
    glyvaShapeFont *font = nullptr;
    char message[256];
    if (glyvaShapeOpen(&font, path.c_str(), face, instance.c_str(), message, sizeof message) !=
        GLYVA_SHAPE_OK) {
        *error = "cannot use font " + path + ": " + message;
        return nullptr;
    }
    std::unique_ptr<ShapedFace> shaped(new ShapedFace(font, path));
    glyvaShapeSetQuality(font, static_cast<uint32_t>(quality));
    glyvaShapeFontMetrics(font, &shaped->ascender_, &shaped->descender_);
    return shaped;
}

bool ShapedFace::shapeRun(const std::vector<uint32_t> &codes, const ShapeSettings &settings,
                          std::vector<ShapedGlyph> *out, std::string *error)
{
    /* Clusters are byte offsets into the text: each maps back to its character. */
    std::string utf8;
    std::map<uint32_t, uint32_t> codeAt;
    for (uint32_t c : codes) {
        codeAt[static_cast<uint32_t>(utf8.size())] = c;
        utf8 += encodeUtf8(c);
    }
    glyvaShapeOptions options{};
    options.script = settings.script.c_str();
    options.language = settings.language.c_str();
    options.features = settings.features.c_str();
    options.direction = settings.direction;
    const glyvaShapedGlyph *glyphs = nullptr;
    const int32_t n =
        glyvaShapeText(font_, utf8.data(), static_cast<int32_t>(utf8.size()), &options, &glyphs);
    if (n < 0) {
        *error = std::string("cannot shape the text: ") + glyvaShapeError(font_);
        return false;
    }
    for (int32_t i = 0; i < n; ++i) {
        const glyvaShapedGlyph &g = glyphs[i];
        auto code = codeAt.find(g.cluster);
        out->push_back({g.glyphIndex, code == codeAt.end() ? 0 : code->second, g.xAdvance,
                        g.yAdvance, g.xOffset, g.yOffset});
    }
    return true;
}

bool ShapedFace::shapeLine(const Line &line, const ShapeSettings &settings, ShapedLine *out,
                           std::string *error)
{
    out->runs.assign(1, {});
    std::vector<uint32_t> run;
    for (size_t i = 0; i <= line.size(); ++i) {
        if (i < line.size() && line[i] != kTab) {
            run.push_back(line[i]);
            continue;
        }
        if (!run.empty() && !shapeRun(run, settings, &out->runs.back(), error))
            return false;
        run.clear();
        if (i < line.size())
            out->runs.emplace_back();
    }
    return true;
}

const GlyphShape *ShapedFace::glyph(uint32_t index, bool withContours, std::string *error)
{
    auto found = glyphs_.find(index);
    if (found != glyphs_.end() && (!withContours || withContours_[index]))
        return &found->second;
    glyphInfoRecord info;
    if (!glyvaShapeGlyphInfo(&info, font_, index)) {
        *error = glyphFailure(path_, index, "load the glyph", glyvaShapeError(font_));
        return nullptr;
    }
    GlyphShape shape;
    shape.advance = info.horiAdvance;
    shape.missing = index == 0;
    const float *vertices = nullptr;
    const int32_t *indices = nullptr;
    int32_t vertexCount = 0, indexCount = 0;
    if (!glyvaShapeGlyphMesh(font_, index, &vertices, &vertexCount, &indices, &indexCount)) {
        *error = glyphFailure(path_, index, "tessellate the glyph", glyvaShapeError(font_));
        return nullptr;
    }
    for (int32_t i = 0; i < vertexCount; ++i)
        shape.mesh.vertices.push_back({vertices[2 * i], vertices[2 * i + 1]});
    for (int32_t i = 0; i < indexCount; ++i) {
        if (indices[i] < 0 || indices[i] >= vertexCount || indexCount % 3 != 0) {
            *error = glyphFailure(path_, index, "give a consistent mesh", nullptr);
            return nullptr;
        }
        shape.mesh.triangles.push_back(static_cast<uint32_t>(indices[i]));
    }
    if (withContours) {
        for (int32_t k = 0; k < info.contourCount; ++k) {
            const float *points = nullptr;
            uint8_t evenOdd = 0, postScript = 0;
            const int32_t n =
                glyvaShapeGlyphContour(&points, font_, index, k, &evenOdd, &postScript);
            if (n <= 0)
                continue; /* a degenerate contour encloses nothing; the caps decide */
            shape.postScriptOrientation = postScript != 0;
            Contour contour;
            for (int32_t p = 0; p < n; ++p) {
                const Vec2 v{points[3 * p], points[3 * p + 1]};
                if (contour.empty() || contour.back().x != v.x || contour.back().y != v.y)
                    contour.push_back(v);
            }
            while (contour.size() > 1 && contour.front().x == contour.back().x &&
                   contour.front().y == contour.back().y)
                contour.pop_back();
            shape.contours.push_back(std::move(contour));
        }
    }
    withContours_[index] = withContours;
    GlyphShape &stored = glyphs_[index];
    stored = std::move(shape);
    return &stored;
}

std::vector<PlacedGlyph> layoutShapedLines(const std::vector<ShapedLine> &lines,
                                           const std::map<uint32_t, const GlyphShape *> &glyphs,
                                           double tabAdvance, float lineHeight, Align align,
                                           float size)
{
    std::vector<PlacedGlyph> placed;
    for (size_t row = 0; row < lines.size(); ++row) {
        const size_t first = placed.size();
        double x = 0.0, y = 0.0;
        for (size_t r = 0; r < lines[row].runs.size(); ++r) {
            if (r > 0)
                x += tabAdvance;
            for (const ShapedGlyph &g : lines[row].runs[r]) {
                auto shape = glyphs.find(g.glyph);
                if (shape != glyphs.end() && shape->second) {
                    const float gx = static_cast<float>(x + g.xOffset);
                    const float gy = static_cast<float>(y + g.yOffset);
                    placed.push_back({g.code, shape->second, {gx, gy}, size});
                }
                x += g.xAdvance;
                y += g.yAdvance;
            }
        }
        const float width = static_cast<float>(x);
        const float shift = align == Align::Center  ? -0.5f * width
                            : align == Align::Right ? -width
                                                    : 0.0f;
        const float baseline = -static_cast<float>(row) * lineHeight;
        for (size_t i = first; i < placed.size(); ++i) {
            placed[i].origin.x = (placed[i].origin.x + shift) * size;
            placed[i].origin.y = (placed[i].origin.y + baseline) * size;
        }
    }
    return placed;
}

} // namespace glyvamesh
