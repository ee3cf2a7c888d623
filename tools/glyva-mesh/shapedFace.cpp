#include "shapedFace.h"

#include <algorithm>
#include <climits>

#include "utf8.h"

namespace glyvamesh
{
namespace
{

std::string glyphFailure(const std::string &path, uint32_t index, const char *what, const char *why)
{
    return "font " + path + ": the library cannot " + what + " for glyph " + std::to_string(index) +
           (why && *why ? std::string(": ") + why : std::string());
}

void copyContours(glyvaShapeFont *font, uint32_t index, int32_t count, GlyphShape *shape)
{
    for (int32_t k = 0; k < count; ++k) {
        const float *points = nullptr;
        uint8_t evenOdd = 0, postScript = 0;
        const int32_t n = glyvaShapeGlyphContour(&points, font, index, k, &evenOdd, &postScript);
        if (n <= 0)
            continue; /* a degenerate contour encloses nothing; the caps decide */
        shape->postScriptOrientation = postScript != 0;
        Contour contour;
        for (int32_t p = 0; p < n; ++p) {
            const Vec2 v{points[3 * p], points[3 * p + 1]};
            if (contour.empty() || contour.back().x != v.x || contour.back().y != v.y)
                contour.push_back(v);
        }
        while (contour.size() > 1 && contour.front().x == contour.back().x &&
               contour.front().y == contour.back().y)
            contour.pop_back();
        shape->contours.push_back(std::move(contour));
    }
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
    return shaped;
}

bool copyGlyph(glyvaShapeFont *font, const std::string &path, uint32_t index, bool withContours,
               GlyphShape *shape, std::string *error)
{
    glyphInfoRecord info;
    if (!glyvaShapeGlyphInfo(&info, font, index)) {
        *error = glyphFailure(path, index, "load the glyph", glyvaShapeError(font));
        return false;
    }
    *shape = GlyphShape();
    shape->advance = info.horiAdvance;
    shape->missing = index == 0;
    shape->font = font;
    shape->glyphIndex = index;
    const float *vertices = nullptr;
    const int32_t *indices = nullptr;
    int32_t vertexCount = 0, indexCount = 0;
    if (!glyvaShapeGlyphMesh(font, index, &vertices, &vertexCount, &indices, &indexCount)) {
        *error = glyphFailure(path, index, "tessellate the glyph", glyvaShapeError(font));
        return false;
    }
    for (int32_t i = 0; i < vertexCount; ++i)
        shape->mesh.vertices.push_back({vertices[2 * i], vertices[2 * i + 1]});
    for (int32_t i = 0; i < indexCount; ++i) {
        if (indices[i] < 0 || indices[i] >= vertexCount || indexCount % 3 != 0) {
            *error = glyphFailure(path, index, "give a consistent mesh", nullptr);
            return false;
        }
        shape->mesh.triangles.push_back(static_cast<uint32_t>(indices[i]));
    }
    if (withContours)
        copyContours(font, index, info.contourCount, shape);
    return true;
}

const GlyphShape *ShapedFace::glyph(uint32_t index, bool withContours, std::string *error)
{
    auto found = glyphs_.find(index);
    if (found != glyphs_.end() && (!withContours || withContours_[index]))
        return &found->second;
    GlyphShape shape;
    if (!copyGlyph(font_, path_, index, withContours, &shape, error))
        return nullptr;
    withContours_[index] = withContours;
    GlyphShape &stored = glyphs_[index];
    stored = std::move(shape);
    return &stored;
}

std::vector<std::string> clusterTexts(const std::string &utf8, const Paragraphs &layout)
{
    std::vector<uint32_t> starts;
    for (const glyvaLayoutGlyph &g : layout.glyphs)
        starts.push_back(g.cluster);
    std::sort(starts.begin(), starts.end());
    starts.erase(std::unique(starts.begin(), starts.end()), starts.end());
    std::vector<std::string> texts;
    for (const glyvaLayoutGlyph &g : layout.glyphs) {
        auto next = std::upper_bound(starts.begin(), starts.end(), g.cluster);
        const size_t end = next == starts.end() ? utf8.size() : *next;
        texts.push_back(g.cluster < utf8.size() ? utf8.substr(g.cluster, end - g.cluster) : "");
    }
    return texts;
}

std::vector<uint32_t> clusterCodes(const std::string &utf8, const Paragraphs &layout)
{
    std::vector<uint32_t> codes;
    for (const std::string &text : clusterTexts(utf8, layout)) {
        const DecodedText decoded = decodeUtf8(text);
        codes.push_back(decoded.codes.empty() ? 0 : decoded.codes[0]);
    }
    return codes;
}

int32_t layOutParagraphs(const std::vector<glyvaShapeFont *> &faces, const std::string &utf8,
                         const ParagraphSettings &settings, Paragraphs *out, std::string *error)
{
    if (utf8.size() > INT32_MAX) {
        *error = "the text is longer than 2 GiB";
        return GLYVA_SHAPE_BAD_TEXT;
    }
    glyvaLayoutOptions options{};
    options.script = settings.script.c_str();
    options.language = settings.language.c_str();
    options.features = settings.features.c_str();
    options.direction = settings.direction;
    options.align = settings.align;
    options.width = settings.width;
    options.lineSpacing = settings.lineSpacing;
    options.letterSpacing = settings.letterSpacing;
    glyvaShapeLayout *layout = nullptr;
    char message[512];
    const int32_t status = glyvaShapeLayoutText(
        &layout, faces.data(), static_cast<uint32_t>(faces.size()), utf8.data(),
        static_cast<int32_t>(utf8.size()), &options, message, sizeof message);
    if (status != GLYVA_SHAPE_OK) {
        *error = message;
        return status;
    }
    const glyvaLayoutGlyph *glyphs = nullptr;
    const glyvaLayoutLine *lines = nullptr;
    const int32_t glyphCount = glyvaShapeLayoutGlyphs(layout, &glyphs);
    const int32_t lineCount = glyvaShapeLayoutLines(layout, &lines);
    out->glyphs.assign(glyphs, glyphs + glyphCount);
    out->lines.assign(lines, lines + lineCount);
    const char *notice = nullptr;
    out->notices = glyvaShapeLayoutNotices(layout, &notice);
    out->noticeText = notice;
    glyvaShapeLayoutDestroy(layout);
    return GLYVA_SHAPE_OK;
}

} // namespace glyvamesh
