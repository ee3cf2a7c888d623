#include "shape/layoutText.hh"

#include "shape/glyvaShape.h"

namespace glyva
{
namespace shape
{
namespace
{

constexpr uint32_t kTabCode = 0x09;
constexpr uint32_t kVerticalTab = 0x0B;
constexpr uint32_t kFormFeed = 0x0C;
constexpr uint32_t kCarriageReturn = 0x0D;
constexpr uint32_t kLineFeed = 0x0A;
constexpr uint32_t kLineSeparator = 0x2028;
/* Open brackets waiting for their closing ones while scripts are resolved; deeper
 * nesting is rare enough to resolve by the text around it instead. */
constexpr uint32_t kBracketDepth = 64;

uint32_t decodeOne(const unsigned char *s, uint32_t *used)
{
    if (s[0] < 0x80) {
        *used = 1;
        return s[0];
    }
    if (s[0] < 0xE0) {
        *used = 2;
        return ((s[0] & 0x1Fu) << 6) | (s[1] & 0x3Fu);
    }
    if (s[0] < 0xF0) {
        *used = 3;
        return ((s[0] & 0x0Fu) << 12) | ((s[1] & 0x3Fu) << 6) | (s[2] & 0x3Fu);
    }
    *used = 4;
    return ((s[0] & 0x07u) << 18) | ((s[1] & 0x3Fu) << 12) | ((s[2] & 0x3Fu) << 6) | (s[3] & 0x3Fu);
}

Special specialOf(uint32_t code, FriBidiCharType type)
{
    if (type == FRIBIDI_TYPE_BS)
        return kParagraphEnd;
    if (code == kTabCode)
        return kTab;
    if (code == kVerticalTab || code == kFormFeed || code == kLineSeparator)
        return kLineEnd;
    return kPlain;
}

bool maps(const glyvaShapeFont *font, uint32_t code)
{
    hb_codepoint_t glyph = 0;
    return hb_font_get_nominal_glyph(font->font, code, &glyph) != 0;
}

bool isCommonScript(hb_script_t script)
{
    return script == HB_SCRIPT_COMMON || script == HB_SCRIPT_INHERITED ||
           script == HB_SCRIPT_UNKNOWN;
}

/* Marks, joiners and common characters (spaces, digits, punctuation) keep the face of
 * the character before them, so that runs do not split inside a word or at every
 * space when a fallback face covers them too. */
bool followsPrevious(hb_unicode_funcs_t *unicode, uint32_t code)
{
    switch (hb_unicode_general_category(unicode, code)) {
    case HB_UNICODE_GENERAL_CATEGORY_NON_SPACING_MARK:
    case HB_UNICODE_GENERAL_CATEGORY_SPACING_MARK:
    case HB_UNICODE_GENERAL_CATEGORY_ENCLOSING_MARK:
        return true;
    default:
        return isDefaultIgnorable(code) || isCommonScript(hb_unicode_script(unicode, code));
    }
}

/* The first face that maps code, or count when none does. */
uint32_t firstFaceWith(FaceList faces, uint32_t code)
{
    for (uint32_t f = 0; f < faces.count; ++f)
        if (maps(faces.faces[f], code))
            return f;
    return faces.count;
}

/* A bracket pair shares its script: the opening one's, remembered until it closes. */
class BracketStack
{
  public:
    void open(uint32_t id, hb_script_t script)
    {
        if (depth_ < kBracketDepth)
            entries_[depth_++] = {id, script};
    }
    /* The opening bracket's script, or fallback when the bracket never opened. */
    hb_script_t close(uint32_t id, hb_script_t fallback)
    {
        for (uint32_t k = depth_; k > 0; --k) {
            if (entries_[k - 1].id == id) {
                depth_ = k - 1;
                return entries_[k - 1].script;
            }
        }
        return fallback;
    }

  private:
    struct Entry {
        uint32_t id;
        hb_script_t script;
    };
    Entry entries_[kBracketDepth];
    uint32_t depth_ = 0;
};

} // namespace

uint32_t LayoutText::charAt(uint32_t byteOffset) const
{
    uint32_t lo = 0, hi = size();
    while (hi - lo > 1) {
        const uint32_t mid = lo + (hi - lo) / 2;
        (offsets[mid] <= byteOffset ? lo : hi) = mid;
    }
    return lo;
}

bool readText(LayoutText *text, const char *utf8, uint32_t length)
{
    text->utf8 = utf8;
    text->length = length;
    const auto *bytes = reinterpret_cast<const unsigned char *>(utf8);
    for (uint32_t at = 0; at < length;) {
        uint32_t used = 1;
        if (!text->codes.push(decodeOne(bytes + at, &used)) || !text->offsets.push(at))
            return false;
        at += used;
    }
    const uint32_t n = text->size();
    if (!text->offsets.push(length) || !text->types.resize(n) || !text->brackets.resize(n) ||
        !text->levels.resize(n) || !text->special.resize(n))
        return false;
    const auto count = static_cast<FriBidiStrIndex>(n);
    fribidi_get_bidi_types(text->codes.data(), count, text->types.data());
    fribidi_get_bracket_types(text->codes.data(), count, text->types.data(), text->brackets.data());
    for (uint32_t i = 0; i < n; ++i)
        text->special[i] = specialOf(text->codes[i], text->types[i]);
    return true;
}

bool chooseFaces(LayoutText *text, FaceList faces, PodArray<uint32_t> *missing)
{
    if (!text->faces.resize(text->size()))
        return false;
    hb_unicode_funcs_t *unicode = hb_unicode_funcs_get_default();
    for (uint32_t i = 0; i < text->size(); ++i) {
        const uint32_t code = text->codes[i];
        const uint32_t previous = i > 0 ? text->faces[i - 1] : 0;
        text->faces[i] = previous;
        if (text->special[i] != kPlain)
            continue;
        const bool ignorable = isDefaultIgnorable(code);
        if (i > 0 && followsPrevious(unicode, code) &&
            (ignorable || maps(faces.faces[previous], code)))
            continue;
        const uint32_t face = firstFaceWith(faces, code);
        if (face < faces.count)
            text->faces[i] = face;
        else if (!ignorable && !missing->push(code))
            return false;
    }
    return true;
}

bool resolveScripts(LayoutText *text, hb_script_t forced)
{
    const uint32_t n = text->size();
    if (!text->scripts.resize(n))
        return false;
    hb_unicode_funcs_t *unicode = hb_unicode_funcs_get_default();
    BracketStack brackets;
    hb_script_t last = HB_SCRIPT_INVALID;
    uint32_t pending = 0; /* characters before the first real script wait for it */
    for (uint32_t i = 0; i < n; ++i) {
        hb_script_t script =
            forced != HB_SCRIPT_INVALID ? forced : hb_unicode_script(unicode, text->codes[i]);
        if (isCommonScript(script)) {
            const FriBidiBracketType bracket = text->brackets[i];
            script = last;
            if (FRIBIDI_IS_BRACKET_OPEN(bracket))
                brackets.open(FRIBIDI_BRACKET_ID(bracket), last);
            else if (bracket != FRIBIDI_NO_BRACKET)
                script = brackets.close(FRIBIDI_BRACKET_ID(bracket), last);
        } else {
            for (; pending < i; ++pending)
                if (text->scripts[pending] == HB_SCRIPT_INVALID)
                    text->scripts[pending] = script;
            last = script;
        }
        text->scripts[i] = script;
    }
    for (uint32_t i = pending; i < n; ++i)
        if (text->scripts[i] == HB_SCRIPT_INVALID)
            text->scripts[i] = HB_SCRIPT_COMMON;
    return true;
}

uint32_t paragraphEnd(const LayoutText &text, uint32_t start)
{
    const uint32_t n = text.size();
    for (uint32_t i = start; i < n; ++i) {
        if (text.special[i] != kParagraphEnd)
            continue;
        /* CR LF is one separator. */
        if (text.codes[i] == kCarriageReturn && i + 1 < n && text.codes[i + 1] == kLineFeed)
            continue;
        return i + 1;
    }
    return n;
}

bool resolveLevels(LayoutText *text, uint32_t start, uint32_t end, int32_t direction, bool *rtl)
{
    FriBidiParType base = direction == GLYVA_LAYOUT_DIRECTION_LTR   ? FRIBIDI_PAR_LTR
                          : direction == GLYVA_LAYOUT_DIRECTION_RTL ? FRIBIDI_PAR_RTL
                                                                    : FRIBIDI_PAR_ON;
    const FriBidiLevel top = fribidi_get_par_embedding_levels_ex(
        text->types.data() + start, text->brackets.data() + start,
        static_cast<FriBidiStrIndex>(end - start), &base, text->levels.data() + start);
    *rtl = (FRIBIDI_DIR_TO_LEVEL(base) & 1) != 0;
    return top != 0;
}

bool hangs(const LayoutText &text, uint32_t i)
{
    if (text.special[i] != kPlain)
        return true;
    const FriBidiCharType type = text.types[i];
    return type == FRIBIDI_TYPE_WS;
}

bool isDefaultIgnorable(uint32_t c)
{
    /* Default_Ignorable_Code_Point of the Unicode Character Database. */
    static const uint32_t kRanges[][2] = {
        {0x00AD, 0x00AD},   {0x034F, 0x034F}, {0x061C, 0x061C},   {0x115F, 0x1160},
        {0x17B4, 0x17B5},   {0x180B, 0x180F}, {0x200B, 0x200F},   {0x202A, 0x202E},
        {0x2060, 0x206F},   {0x3164, 0x3164}, {0xFE00, 0xFE0F},   {0xFEFF, 0xFEFF},
        {0xFFA0, 0xFFA0},   {0xFFF0, 0xFFF8}, {0x1BCA0, 0x1BCA3}, {0x1D173, 0x1D17A},
        {0xE0000, 0xE0FFF},
    };
    for (const auto &range : kRanges)
        if (c >= range[0] && c <= range[1])
            return true;
    return false;
}

} // namespace shape
} // namespace glyva
