#ifndef SHAPE_LAYOUTTEXT_HH
#define SHAPE_LAYOUTTEXT_HH

#include <stddef.h>
#include <stdint.h>

#include <fribidi.h>
#include <hb.h>

#include "shape/podArray.hh"
#include "shape/shapeFont.hh"

namespace glyva
{
namespace shape
{

/* Characters the layout places itself instead of leaving them to the font. */
enum Special : uint8_t {
    kPlain = 0,
    kTab = 1,          /* advances as four spaces of its face */
    kLineEnd = 2,      /* VT, FF, U+2028: the line ends after it */
    kParagraphEnd = 3, /* bidirectional class B: the paragraph ends after it */
};

/* The text as characters, with what the layout decides for each of them. Indices
 * are character indices; offsets[i] is character i's byte offset, offsets[size()]
 * the text's length. */
struct LayoutText {
    const char *utf8 = nullptr;
    uint32_t length = 0;
    PodArray<uint32_t> codes;
    PodArray<uint32_t> offsets;
    PodArray<FriBidiCharType> types;
    PodArray<FriBidiBracketType> brackets;
    PodArray<FriBidiLevel> levels;
    PodArray<uint8_t> special;
    PodArray<uint32_t> faces;
    PodArray<hb_script_t> scripts;
    /* Non-zero where UAX #14 allows a line to start; filled only when wrapping. */
    PodArray<uint8_t> breakable;

    uint32_t size() const { return codes.size(); }
    /* The character whose bytes hold byteOffset. */
    uint32_t charAt(uint32_t byteOffset) const;
};

/* Faces in order of preference. */
struct FaceList {
    glyvaShapeFont *const *faces;
    uint32_t count;
};

/* Characters of well-formed UTF-8 with their offsets, bidirectional classes,
 * brackets and special roles. False when memory runs out. */
bool readText(LayoutText *text, const char *utf8, uint32_t length);

/* The face of every character; characters no face maps go into missing (each once
 * per occurrence) and keep the face of the character before them. */
bool chooseFaces(LayoutText *text, FaceList faces, PodArray<uint32_t> *missing);

/* The script of every character: common and inherited characters take the script of
 * the text around them (a closing bracket that of its opening one), or forced for all
 * when it is not HB_SCRIPT_INVALID. */
bool resolveScripts(LayoutText *text, hb_script_t forced);

/* One past the last character of the paragraph that starts at start. */
uint32_t paragraphEnd(const LayoutText &text, uint32_t start);

/* Embedding levels of the paragraph [start, end) by the bidirectional algorithm;
 * direction is GLYVA_LAYOUT_DIRECTION_*. *rtl tells the resolved paragraph direction.
 * False when memory runs out. */
bool resolveLevels(LayoutText *text, uint32_t start, uint32_t end, int32_t direction, bool *rtl);

/* Marks the line-break opportunities of UAX #14 in text->breakable; false with why
 * filled when the line breaker cannot run. */
bool findBreaks(LayoutText *text, const char *language, char *why, size_t whySize);

/* Where the line that starts at start should end so that its width without hanging
 * whitespace stays within width, given each character's advance (a cluster's on its
 * first character); at least one opportunity further, with *overflow set when even
 * that is too wide. */
uint32_t fitLine(const LayoutText &text, const double *advances, uint32_t start, uint32_t end,
                 double width, bool *overflow);

/* Whitespace that hangs at a line's end: spaces, tabs and separators. */
bool hangs(const LayoutText &text, uint32_t i);

/* Default-ignorable code points, which shaping hides instead of drawing. */
bool isDefaultIgnorable(uint32_t code);

} // namespace shape
} // namespace glyva

#endif
