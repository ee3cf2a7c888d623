#ifndef GLYPH_GLYPHFONT_HH
#define GLYPH_GLYPHFONT_HH

#include <stdint.h>

#include <ft2build.h>
#include FT_FREETYPE_H

#include "Skrib/GlyvaInterface.h"
#include "glyph/glyphBudget.hh"
#include "glyph/vertexWindow.hh"
#include "util/plyxTypes.h"

class GLUtesselator;

/* Every FreeType value becomes a length by this divisor: 26.6 values at 640 units per
 * em become ems, font units become font units / 640. */
constexpr float kFontScale = 640.0f;

/* Per-glyph cache, indexed by FreeType glyph index. */
struct internalGlyphData {
    /* First, so that the record packs into 56 bytes on 64-bit builds. */
    MFInt32 triangleIndices;
    /* As the interfaces hand them out, contour count included, so that a cached
     * GetGlyphInfo can report them without loading the glyph again. */
    glyphInfoRecord metrics;
    uint32_t valid;
};

/* The glyph path's working storage, kept by the handle between glyphs, so that once it
 * has grown a glyph allocates only the arrays handed to hosts (and what GLU allocates
 * itself). Never handed out, so its blocks need not be exact-fit. */
struct GlyphScratch {
    /* Every contour of the glyph flattened, one after another. */
    SimpleVec3Array points;
    uint64_t pointCapacity;
    /* Where each contour lies in points. */
    glyva::BudgetContour *contours;
    uint32_t contourCapacity;
    glyva::BudgetScratch budget;
    /* The corner merge's index, kept so that a glyph need not clear one. */
    glyva::VertexWindow<MFVec2f, 2> window;
};

/* The font handle of both interfaces. */
struct tavixInternalFontData {
    FT_Library *ftLibrary;
    FT_Face ftFace;
    float ascender;
    float descender;
    float maxAdvanceX;
    float maxAdvanceY;
    float boundsXMax;
    float boundsXMin;
    float boundsYMax;
    float boundsYMin;
    float quality;
    void *fontData;
    internalGlyphData *glyphData;
    MFVec2f glyphVertices;
    int32_t glyphContourCount;
    SimpleVec3Array *glyphContours;
    /* The glyph path's GLU tessellator, kept between glyphs; null until the first
     * mesh and after one that failed. */
    GLUtesselator *tessellator;
    GlyphScratch scratch;
    /* The last character looked up and its glyph: a host asks about one character in
     * several calls in a row (info, vertices, indices, clear), and the character map
     * does not change while the handle is open. */
    uint32_t lastCharCode;
    FT_UInt lastGlyphIndex;
    bool lastKnown;
    /* One bit per glyph: its outline was found within the glyph budget at the present
     * quality. The answer depends on the outline alone, and a host meshes the same glyph
     * again and again (every mesh query tessellates anew), so a glyph is counted once;
     * the bits are cleared whenever the outlines may change. Null until the first glyph
     * is found within, and when there was no memory for it. */
    uint8_t *withinBudget;
    /* The glyph the face's slot holds, as loadGlyph loaded it, when slotKnown: a host's
     * first questions about a glyph (its metrics, then its mesh) load it twice in a row,
     * and the second finds it there. Every load of the face goes through loadGlyph, and
     * whatever changes the face's size or instance forgets it. */
    FT_UInt slotGlyph;
    bool slotKnown;
};

namespace glyva
{

inline float scaled(FT_Pos value)
{
    return static_cast<float>(value) / kFontScale;
}

/* How far opening a face got. */
enum class FontStatus {
    kOk,
    kNoMemory,         /* for the handle, FreeType or the glyph table */
    kUnreadable,       /* no path, or the file cannot be read */
    kNoFace,           /* FreeType opens no face faceIndex in the bytes */
    kNoUnicodeCharmap, /* the face has no Unicode character map */
};

/* A handle on face faceIndex of the file: null only for a null path or when the handle
 * cannot be allocated; otherwise the handle, in the state its opening reached, which
 * the glyph queries then refuse. status, when not null, tells how far that was. */
tavixInternalFontData *newFont(const char *path, FT_Long faceIndex, FontStatus *status);
void deleteFont(tavixInternalFontData *font);

/* Frees the glyph path's working storage (it grows again on the next glyph). */
void releaseScratch(GlyphScratch *scratch);

/* Sets the handle's size again and re-reads the face metrics, for a face whose
 * variation coordinates changed after opening; before any glyph is loaded, since the
 * glyph records keep the metrics they were loaded with. */
void refreshFaceMetrics(tavixInternalFontData *font);

/* Whether glyphIndex's outline is known to be within the glyph budget at the present
 * quality, and the note that it is (kept only when there is memory for it). */
bool knownWithinBudget(const tavixInternalFontData *font, FT_UInt glyphIndex);
void noteWithinBudget(tavixInternalFontData *font, FT_UInt glyphIndex);

/* The budget's answer for the glyph's outline as flattened now: within when that is
 * known, else check()'s, noted when within. Every path that counts a glyph against its
 * budget asks here, so that meshes and contour queries share what either found. */
template <typename Check>
Budget glyphBudget(tavixInternalFontData *font, FT_UInt glyphIndex, Check check)
{
    if (knownWithinBudget(font, glyphIndex))
        return Budget::kWithin;
    const Budget budget = check();
    if (budget == Budget::kWithin)
        noteWithinBudget(font, glyphIndex);
    return budget;
}

/* Quality in percent, 0 to 100 (larger values are ignored), and back. */
void setQuality(tavixInternalFontData *font, uint32_t percent);
int32_t quality(const tavixInternalFontData *font);

/* The face is ready for glyph queries: opened, Unicode charmap, glyph table. */
inline bool fontReady(const tavixInternalFontData *font)
{
    return font && font->ftFace && font->glyphData;
}

/* The record addressed by a character code; characters without a glyph share 0. */
internalGlyphData *glyphRecord(tavixInternalFontData *font, uint32_t charCode, FT_UInt *glyphIndex);

} // namespace glyva

#endif
