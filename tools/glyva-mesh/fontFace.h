#ifndef TOOLS_GLYVA_MESH_FONTFACE_H
#define TOOLS_GLYVA_MESH_FONTFACE_H

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "geometry.h"

struct tavixInternalFontData;

namespace glyvamesh
{

/* A font opened through the library's font API, as a host uses it, with the glyphs
 * asked for so far copied out of the handle. */
class FontFace
{
  public:
    ~FontFace();
    FontFace(const FontFace &) = delete;
    FontFace &operator=(const FontFace &) = delete;

    /* Null with error set when the file cannot be read or the library cannot use it. */
    static std::unique_ptr<FontFace> open(const std::string &path, int quality, std::string *error);

    /* The character's glyph, loaded on first use; null with error set when a glyph
     * query fails. withContours also copies the flattened outline. */
    const GlyphShape *glyph(uint32_t code, bool withContours, std::string *error);

    /* Horizontal kerning in ems; 0 for fonts without kerning data. Both characters
     * must have been loaded. */
    float kerning(uint32_t left, uint32_t right) const;

    float ascender() const;
    float descender() const;
    const std::string &path() const { return path_; }
    /* The face the solid library meshes this font's glyphs from (the same file through
     * the shaping library): each glyph loaded after this names its glyph there. */
    void meshFrom(glyvaShapeFont *font) { meshFont_ = font; }
    /* The characters the font maps, from fontconfig; empty when it could not tell. */
    const std::vector<uint32_t> &characters() const { return characters_; }
    /* Characters drawn with the missing glyph so far, in order of first use. */
    const std::vector<uint32_t> &missing() const { return missing_; }

  private:
    FontFace(tavixInternalFontData *font, std::string path);
    bool fontMaps(uint32_t code) const;
    bool copyMesh(uint32_t code, GlyphShape *shape, std::string *error);
    bool copyMissingGlyphMesh(uint32_t code, GlyphShape *shape, std::string *error);
    void copyContours(uint32_t code, int32_t count, GlyphShape *shape);
    std::string failure(uint32_t code, const char *what) const;

    tavixInternalFontData *font_;
    std::string path_;
    std::vector<uint32_t> characters_;
    std::set<uint32_t> mapped_;
    std::map<uint32_t, GlyphShape> glyphs_;
    std::map<uint32_t, int32_t> contourCounts_;
    std::vector<uint32_t> missing_;
    /* A character with a glyph of its own, used to reach the shared vertex array
     * when the missing glyph's own query hands back no address. */
    uint32_t helper_ = 0;
    bool haveHelper_ = false;
    glyvaShapeFont *meshFont_ = nullptr;
};

/* Why a font file cannot be used before the library sees it, or empty. */
std::string unreadableFontReason(const std::string &path);

/* "U+0041 'A'" for messages. */
std::string describeCharacter(uint32_t code);

} // namespace glyvamesh

#endif
