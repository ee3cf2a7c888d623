#ifndef TOOLS_GLYVA_MESH_SHAPEDFACE_H
#define TOOLS_GLYVA_MESH_SHAPEDFACE_H

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "geometry.h"
#include "layout.h"

struct glyvaShapeFont;

namespace glyvamesh
{

/* What shaping is told; empty texts and direction 0 leave it to detection. */
struct ShapeSettings {
    std::string script;
    std::string language;
    std::string features;
    int direction = 0; /* GLYVA_SHAPE_DIRECTION_* */
};

/* One glyph of a shaped run: the glyph, the character its cluster starts with, and
 * HarfBuzz's advance and offset in ems. */
struct ShapedGlyph {
    uint32_t glyph = 0;
    uint32_t code = 0;
    double xAdvance = 0, yAdvance = 0, xOffset = 0, yOffset = 0;
};

/* A line as shaped runs, split at tabs: a tab is a pen move of four spaces. */
struct ShapedLine {
    std::vector<std::vector<ShapedGlyph>> runs;
};

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

    /* False with error set when the library refuses the text or the settings. */
    bool shapeLine(const Line &line, const ShapeSettings &settings, ShapedLine *out,
                   std::string *error);

    /* The glyph by index, meshed on first use; null with error set on failure. */
    const GlyphShape *glyph(uint32_t index, bool withContours, std::string *error);

    float ascender() const { return ascender_; }
    float descender() const { return descender_; }
    const std::string &path() const { return path_; }

  private:
    ShapedFace(glyvaShapeFont *font, std::string path);
    bool shapeRun(const std::vector<uint32_t> &codes, const ShapeSettings &settings,
                  std::vector<ShapedGlyph> *out, std::string *error);

    glyvaShapeFont *font_;
    std::string path_;
    float ascender_ = 1.0f;
    float descender_ = 0.0f;
    std::map<uint32_t, GlyphShape> glyphs_;
    std::map<uint32_t, bool> withContours_;
};

/* Pen positions from shaping, in output units: baselines and alignment as
 * layoutLines; each glyph at its pen position plus its offset. The glyph function
 * gives every glyph's shape (all loaded before). */
std::vector<PlacedGlyph> layoutShapedLines(const std::vector<ShapedLine> &lines,
                                           const std::map<uint32_t, const GlyphShape *> &glyphs,
                                           double tabAdvance, float lineHeight, Align align,
                                           float size);

} // namespace glyvamesh

#endif
