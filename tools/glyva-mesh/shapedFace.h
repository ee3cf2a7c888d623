#ifndef TOOLS_GLYVA_MESH_SHAPEDFACE_H
#define TOOLS_GLYVA_MESH_SHAPEDFACE_H

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "geometry.h"
#include "shape/glyvaShape.h"

namespace glyvamesh
{

/* Copies glyph index's metrics, mesh and, withContours, flattened outline out of the
 * face's handle into shape; false with error set (naming path) when the library
 * cannot. */
bool copyGlyph(glyvaShapeFont *font, const std::string &path, uint32_t index, bool withContours,
               GlyphShape *shape, std::string *error);

/* A face of a font file (a face of a collection, an instance of a variable font)
 * through the shaping library, with the glyphs asked for so far copied out. */
class ShapedFace
{
  public:
    ~ShapedFace();
    ShapedFace(const ShapedFace &) = delete;
    ShapedFace &operator=(const ShapedFace &) = delete;

    /* Null with error set when the file, face or instance cannot be used. */
    static std::unique_ptr<ShapedFace> open(const std::string &path, int face,
                                            const std::string &instance, int quality,
                                            std::string *error);

    /* The glyph by index, meshed on first use; null with error set on failure. */
    const GlyphShape *glyph(uint32_t index, bool withContours, std::string *error);

    glyvaShapeFont *handle() const { return font_; }
    const std::string &path() const { return path_; }

  private:
    ShapedFace(glyvaShapeFont *font, std::string path);

    glyvaShapeFont *font_;
    std::string path_;
    std::map<uint32_t, GlyphShape> glyphs_;
    std::map<uint32_t, bool> withContours_;
};

/* What the paragraph layout is told; empty texts leave it to detection. */
struct ParagraphSettings {
    std::string script;
    std::string language;
    std::string features;
    int direction = GLYVA_LAYOUT_DIRECTION_AUTO;
    int align = GLYVA_LAYOUT_ALIGN_START;
    double width = 0.0; /* ems; 0 for no wrapping */
    double lineSpacing = 1.0;
    double letterSpacing = 0.0;
};

/* The text laid out by the shaping library over the faces, in order of preference. */
struct Paragraphs {
    std::vector<glyvaLayoutGlyph> glyphs;
    std::vector<glyvaLayoutLine> lines;
    uint32_t notices = 0;
    std::string noticeText;
};

/* The characters of each glyph's cluster: from its cluster offset to the next cluster
 * that starts after it, whatever line or direction that cluster has. */
std::vector<std::string> clusterTexts(const std::string &utf8, const Paragraphs &layout);

/* The first character of each glyph's cluster; 0 where the cluster holds none. */
std::vector<uint32_t> clusterCodes(const std::string &utf8, const Paragraphs &layout);

/* The library's status: GLYVA_SHAPE_OK, or why it refused the text or the settings,
 * with its message in error. */
int32_t layOutParagraphs(const std::vector<glyvaShapeFont *> &faces, const std::string &utf8,
                         const ParagraphSettings &settings, Paragraphs *out, std::string *error);

} // namespace glyvamesh

#endif
