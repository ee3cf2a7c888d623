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

/* The handle: the glyph path's font handle and HarfBuzz on the same bytes. */
struct glyvaShapeFont {
    tavixInternalFontData *core;
    hb_blob_t *blob;
    hb_face_t *face;
    hb_font_t *font;
    hb_buffer_t *buffer;
    glyvaShapedGlyph *glyphs;
    uint32_t glyphCapacity;
    /* The glyph whose triangle list was handed out last, released by the next mesh. */
    uint32_t lastMeshed;
    bool haveLastMeshed;
    char error[256];
};

namespace glyva
{
namespace shape
{

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
