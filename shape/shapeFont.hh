#ifndef SHAPE_SHAPEFONT_HH
#define SHAPE_SHAPEFONT_HH

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <hb.h>

#include "glyph/glyphFont.hh"
#include "shape/glyvaShape.h"

/* Hosts read the records at fixed offsets; i386 aligns doubles to 4 inside records,
 * which this layout never needs. */
static_assert(offsetof(glyvaShapedGlyph, glyphIndex) == 0, "shaped glyph layout");
static_assert(offsetof(glyvaShapedGlyph, cluster) == 4, "shaped glyph layout");
static_assert(offsetof(glyvaShapedGlyph, xAdvance) == 8, "shaped glyph layout");
static_assert(offsetof(glyvaShapedGlyph, yAdvance) == 16, "shaped glyph layout");
static_assert(offsetof(glyvaShapedGlyph, xOffset) == 24, "shaped glyph layout");
static_assert(offsetof(glyvaShapedGlyph, yOffset) == 32, "shaped glyph layout");
static_assert(sizeof(glyvaShapedGlyph) == 40, "shaped glyph layout");
static_assert(offsetof(glyvaLayoutGlyph, x) == 16, "layout glyph layout");
static_assert(offsetof(glyvaLayoutGlyph, advance) == 32, "layout glyph layout");
static_assert(sizeof(glyvaLayoutGlyph) == 40, "layout glyph layout");
static_assert(offsetof(glyvaLayoutLine, baseline) == 16, "layout line layout");
static_assert(offsetof(glyvaLayoutLine, paragraphLevel) == 56, "layout line layout");
static_assert(sizeof(glyvaLayoutLine) == 64, "layout line layout");

/* One glyph's mesh as the handle keeps it: vertices (2 floats each) and indices. */
struct CachedMesh {
    float *vertices;
    int32_t *indices;
    int32_t vertexCount;
    int32_t indexCount;
    int32_t present;
};

/* The handle: the glyph path's font handle and HarfBuzz on the same bytes. */
struct glyvaShapeFont {
    tavixInternalFontData *core;
    /* A second FreeType face on the same bytes, sized so that its 26.6 units are
     * exact font units, for files whose tables HarfBuzz cannot read itself (Type 1,
     * WOFF, WOFF2); null when HarfBuzz reads the file directly. */
    FT_Face shapingFace;
    /* An AFM file's bytes attached to shapingFace (Type 1 kerning), or null. */
    void *metricsData;
    /* HarfBuzz's position units per em: units per em, or 64 times them through
     * FreeType. Every shaped position is divided by it. */
    double scale;
    hb_blob_t *blob;
    hb_face_t *face;
    hb_font_t *font;
    hb_buffer_t *buffer;
    glyvaShapedGlyph *glyphs;
    uint32_t glyphCapacity;
    /* Meshes by glyph index at the current quality (shape/meshCache.hh). */
    CachedMesh *meshCache;
    uint32_t meshCacheSlots;
    size_t meshCacheBytes;
    char error[256];
};

namespace glyva
{
namespace shape
{

/* Offset of the first byte that does not belong to well-formed UTF-8 (no overlong
 * forms, no surrogates, nothing past U+10FFFF), or length when all are well formed. */
size_t firstInvalidUtf8(const unsigned char *s, size_t length);

/* The comma-separated feature texts as records for hb_shape_full (null with count 0
 * for none or an empty text); false with why filled when one does not parse or
 * memory runs out. The caller frees *features with kdFree. */
bool parseFeatures(const char *text, hb_feature_t **features, unsigned int *count, char *why,
                   size_t whySize);

/* A script tag of four letters, a BCP 47 language tag of letters, digits, '-' and '_'. */
bool plainTag(const char *text, size_t min, size_t max, bool allowDash);

/* The handle's message for its last failure, cut to fit. */
void setError(glyvaShapeFont *font, const char *format, ...) __attribute__((format(printf, 2, 3)));

/* The items of a comma-separated list, in order; empty items are items too, so that
 * the caller can refuse them by name. */
class ListItems
{
  public:
    explicit ListItems(const char *text) : next_(text) {}

    static unsigned int count(const char *text)
    {
        unsigned int items = 1;
        for (const char *c = text; *c; ++c)
            items += *c == ',' ? 1 : 0;
        return items;
    }

    bool take(const char **item, int *length)
    {
        if (!next_)
            return false;
        const char *end = strchr(next_, ',');
        *item = next_;
        *length = static_cast<int>(end ? end - next_ : static_cast<ptrdiff_t>(strlen(next_)));
        next_ = end ? end + 1 : nullptr;
        return true;
    }

  private:
    const char *next_;
};

} // namespace shape
} // namespace glyva

#endif
