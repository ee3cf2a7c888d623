#include <math.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "shape/layoutText.hh"

struct glyvaShapeLayout {
    glyvaLayoutGlyph *glyphs;
    uint32_t glyphCount;
    glyvaLayoutLine *lines;
    uint32_t lineCount;
    uint32_t notices;
    char message[320];
};

namespace
{

using namespace glyva::shape;

constexpr double kTabSpaces = 4.0;
/* A list of fallback faces longer than this is a mistake, not a preference. */
constexpr uint32_t kMaxFaces = 4096;
/* Spacing past a million ems is no layout anyone can draw. */
constexpr double kMaxSpacing = 1e6;
constexpr uint32_t kMissingNamed = 8;
constexpr size_t kWhySize = 320;

/* The options, checked and in HarfBuzz's terms. */
struct Settings {
    hb_script_t script = HB_SCRIPT_INVALID;
    hb_language_t language = HB_LANGUAGE_INVALID;
    const char *languageTag = nullptr;
    hb_feature_t *features = nullptr;
    unsigned int featureCount = 0;
    int32_t direction = GLYVA_LAYOUT_DIRECTION_AUTO;
    int32_t align = GLYVA_LAYOUT_ALIGN_START;
    double width = 0.0;
    double lineSpacing = 1.0;
    double letterSpacing = 0.0;
};

/* Characters of one level, face and script, shaped together. */
struct Run {
    uint32_t start;
    uint32_t end;
    FriBidiLevel level;
};

/* A shaped glyph before it is placed: advance and offsets in ems. */
struct Shaped {
    uint32_t glyph;
    uint32_t cluster;
    uint32_t character;
    double advance;
    double xOffset;
    double yOffset;
};

bool isRealScript(hb_script_t script)
{
    return script != HB_SCRIPT_INVALID && script != HB_SCRIPT_COMMON &&
           script != HB_SCRIPT_INHERITED && script != HB_SCRIPT_UNKNOWN;
}

bool finite(double value, double limit)
{
    return isfinite(value) && fabs(value) <= limit;
}

class Builder
{
  public:
    Builder(FaceList faces, char *why) : faces_(faces), why_(why) {}
    ~Builder()
    {
        kdFree(settings_.features);
        if (buffer_)
            hb_buffer_destroy(buffer_);
    }
    Builder(const Builder &) = delete;
    Builder &operator=(const Builder &) = delete;

    int32_t settle(const glyvaLayoutOptions *options);
    int32_t layOut(const char *utf8, uint32_t length);
    glyvaShapeLayout *result();

  private:
    int32_t fail(int32_t status, const char *reason);
    int32_t settleTags(const glyvaLayoutOptions &o);
    bool layOutParagraph(uint32_t start, uint32_t end);
    bool layOutSegment(uint32_t start, uint32_t end);
    bool measure(uint32_t start, uint32_t end);
    bool itemize(uint32_t start, uint32_t end);
    bool shapeRun(const Run &run);
    Shaped shapedGlyph(const Run &run, uint32_t k, uint32_t count);
    Shaped specialGlyph(const Run &run);
    bool placeLine(uint32_t start, uint32_t end);
    bool placeRuns(uint32_t start, uint32_t end);
    bool finishLine(uint32_t start, uint32_t end, uint32_t firstGlyph);
    double alignShift(double left, double right) const;
    void describeNotices(glyvaShapeLayout *layout) const;

    FaceList faces_;
    char *why_;
    Settings settings_;
    hb_buffer_t *buffer_ = nullptr;
    LayoutText text_;
    PodArray<double> advances_;
    PodArray<FriBidiStrIndex> map_;
    PodArray<Run> runs_;
    PodArray<uint32_t> runOf_;
    PodArray<uint32_t> order_;
    PodArray<double> pens_;
    PodArray<glyvaLayoutGlyph> glyphs_;
    PodArray<glyvaLayoutLine> lines_;
    PodArray<uint32_t> missing_;
    uint32_t notices_ = 0;
    uint32_t overflowLine_ = 0;
    double pitch_ = 1.0;
    double ascender_ = 0.0;
    double descender_ = 0.0;
    /* The paragraph being laid out. */
    uint32_t paragraphStart_ = 0;
    uint32_t paragraphEnd_ = 0;
    uint32_t paragraph_ = 0;
    bool rtl_ = false;
};

int32_t Builder::fail(int32_t status, const char *reason)
{
    snprintf(why_, kWhySize, "%s", reason);
    return status;
}

int32_t Builder::settleTags(const glyvaLayoutOptions &o)
{
    if (o.script && *o.script) {
        if (!plainTag(o.script, 4, 4, false)) {
            snprintf(why_, kWhySize, "bad script '%s': use an ISO 15924 tag such as Latn or Arab",
                     o.script);
            return GLYVA_SHAPE_BAD_OPTION;
        }
        settings_.script = hb_script_from_string(o.script, 4);
    }
    if (o.language && *o.language) {
        if (!plainTag(o.language, 1, 63, true)) {
            snprintf(why_, kWhySize, "bad language '%s': use a BCP 47 tag such as en or ar",
                     o.language);
            return GLYVA_SHAPE_BAD_OPTION;
        }
        settings_.language = hb_language_from_string(o.language, -1);
        settings_.languageTag = o.language;
    }
    if (!parseFeatures(o.features, &settings_.features, &settings_.featureCount, why_, kWhySize))
        return GLYVA_SHAPE_BAD_OPTION;
    return GLYVA_SHAPE_OK;
}

int32_t Builder::settle(const glyvaLayoutOptions *options)
{
    const glyvaLayoutOptions none = {};
    const glyvaLayoutOptions &o = options ? *options : none;
    if (o.direction < GLYVA_LAYOUT_DIRECTION_AUTO || o.direction > GLYVA_LAYOUT_DIRECTION_RTL)
        return fail(GLYVA_SHAPE_BAD_OPTION, "unknown paragraph direction: use 0 (auto), 1 (ltr) "
                                            "or 2 (rtl)");
    if (o.align < GLYVA_LAYOUT_ALIGN_START || o.align > GLYVA_LAYOUT_ALIGN_END)
        return fail(GLYVA_SHAPE_BAD_OPTION, "unknown alignment: use 0 to 4 (start, left, "
                                            "center, right, end)");
    if (!finite(o.width, kMaxSpacing) || o.width < 0.0)
        return fail(GLYVA_SHAPE_BAD_OPTION, "the width must be a finite number of ems, 0 for "
                                            "no wrapping");
    if (!finite(o.lineSpacing, kMaxSpacing) || o.lineSpacing < 0.0)
        return fail(GLYVA_SHAPE_BAD_OPTION, "the line spacing must be a finite factor, 0 or "
                                            "more");
    if (!finite(o.letterSpacing, kMaxSpacing))
        return fail(GLYVA_SHAPE_BAD_OPTION, "the letter spacing must be a finite number of ems");
    settings_.direction = o.direction;
    settings_.align = o.align;
    settings_.width = o.width;
    settings_.lineSpacing = o.lineSpacing > 0.0 ? o.lineSpacing : 1.0;
    settings_.letterSpacing = o.letterSpacing;
    return settleTags(o);
}

int32_t Builder::layOut(const char *utf8, uint32_t length)
{
    buffer_ = hb_buffer_create();
    if (!hb_buffer_allocation_successful(buffer_) || !readText(&text_, utf8, length) ||
        !chooseFaces(&text_, faces_, &missing_) || !resolveScripts(&text_, settings_.script) ||
        !map_.resize(text_.size()) || !advances_.resize(text_.size()))
        return fail(GLYVA_SHAPE_NO_MEMORY, "out of memory laying out the text");
    if (settings_.width > 0.0 && !findBreaks(&text_, settings_.languageTag, why_, kWhySize))
        return GLYVA_SHAPE_NO_MEMORY;
    double gap = 0.0;
    glyvaShapeLineMetrics(faces_.faces[0], &ascender_, &descender_, &gap);
    pitch_ = (ascender_ - descender_ + gap) * settings_.lineSpacing;
    for (uint32_t start = 0; start < text_.size(); ++paragraph_) {
        const uint32_t end = paragraphEnd(text_, start);
        if (!layOutParagraph(start, end))
            return why_[0] ? GLYVA_SHAPE_NO_MEMORY
                           : fail(GLYVA_SHAPE_NO_MEMORY, "out of memory laying out the text");
        start = end;
    }
    return GLYVA_SHAPE_OK;
}

bool Builder::layOutParagraph(uint32_t start, uint32_t end)
{
    paragraphStart_ = start;
    paragraphEnd_ = end;
    if (!resolveLevels(&text_, start, end, settings_.direction, &rtl_))
        return false;
    for (uint32_t from = start; from < end;) {
        uint32_t to = from;
        while (to < end && text_.special[to] != kLineEnd)
            ++to;
        to = to < end ? to + 1 : end;
        if (!layOutSegment(from, to))
            return false;
        from = to;
    }
    return true;
}

bool Builder::layOutSegment(uint32_t start, uint32_t end)
{
    if (settings_.width <= 0.0)
        return placeLine(start, end);
    if (!measure(start, end))
        return false;
    for (uint32_t from = start; from < end;) {
        bool overflow = false;
        const uint32_t to = fitLine(text_, advances_.data(), from, end, settings_.width, &overflow);
        if (overflow && !(notices_ & GLYVA_LAYOUT_OVERFLOW)) {
            notices_ |= GLYVA_LAYOUT_OVERFLOW;
            overflowLine_ = lines_.size();
        }
        if (!placeLine(from, to))
            return false;
        from = to;
    }
    return true;
}

/* Each character's advance as the paragraph's levels shape it, a cluster's on its
 * first character, for choosing where lines break. */
bool Builder::measure(uint32_t start, uint32_t end)
{
    for (uint32_t i = start; i < end; ++i)
        advances_[i] = 0.0;
    if (!itemize(start, end))
        return false;
    for (uint32_t r = 0; r < runs_.size(); ++r) {
        const Run run = runs_[r];
        if (text_.special[run.start] != kPlain) {
            advances_[run.start] = specialGlyph(run).advance;
            continue;
        }
        if (!shapeRun(run))
            return false;
        const uint32_t count = hb_buffer_get_length(buffer_);
        for (uint32_t k = 0; k < count; ++k) {
            const Shaped g = shapedGlyph(run, k, count);
            advances_[g.character] += g.advance;
        }
    }
    return true;
}

/* Runs of one level, face and script in logical order; tabs and separators are runs
 * of their own, placed by the layout rather than shaped. */
bool Builder::itemize(uint32_t start, uint32_t end)
{
    runs_.clear();
    const LayoutText &t = text_;
    for (uint32_t i = start; i < end; ++i) {
        const bool joins = i > start && t.levels[i] == t.levels[i - 1] &&
                           t.faces[i] == t.faces[i - 1] && t.scripts[i] == t.scripts[i - 1] &&
                           t.special[i] == kPlain && t.special[i - 1] == kPlain;
        if (joins)
            runs_[runs_.size() - 1].end = i + 1;
        else if (!runs_.push({i, i + 1, t.levels[i]}))
            return false;
    }
    return true;
}

bool Builder::shapeRun(const Run &run)
{
    hb_buffer_clear_contents(buffer_);
    hb_buffer_set_direction(buffer_, run.level & 1 ? HB_DIRECTION_RTL : HB_DIRECTION_LTR);
    const hb_script_t script = text_.scripts[run.start];
    if (isRealScript(script))
        hb_buffer_set_script(buffer_, script);
    if (settings_.language != HB_LANGUAGE_INVALID)
        hb_buffer_set_language(buffer_, settings_.language);
    unsigned int flags = HB_BUFFER_FLAG_DEFAULT;
    if (run.start == paragraphStart_)
        flags |= HB_BUFFER_FLAG_BOT;
    if (run.end == paragraphEnd_)
        flags |= HB_BUFFER_FLAG_EOT;
    hb_buffer_set_flags(buffer_, static_cast<hb_buffer_flags_t>(flags));
    const uint32_t from = text_.offsets[run.start];
    hb_buffer_add_utf8(buffer_, text_.utf8, static_cast<int>(text_.length),
                       static_cast<unsigned int>(from),
                       static_cast<int>(text_.offsets[run.end] - from));
    glyvaShapeFont *font = faces_.faces[text_.faces[run.start]];
    const bool shaped = hb_shape_full(font->font, buffer_, settings_.features,
                                      settings_.featureCount, nullptr) != 0;
    if (shaped && hb_buffer_allocation_successful(buffer_))
        return true;
    snprintf(why_, kWhySize, "HarfBuzz could not shape the text at byte %u",
             static_cast<unsigned>(from));
    return false;
}

/* Glyph k of the shaped run, in ems, letter spacing after the last glyph of each
 * cluster. */
Shaped Builder::shapedGlyph(const Run &run, uint32_t k, uint32_t count)
{
    const hb_glyph_info_t *info = hb_buffer_get_glyph_infos(buffer_, nullptr);
    const hb_glyph_position_t *pos = hb_buffer_get_glyph_positions(buffer_, nullptr);
    const double scale = faces_.faces[text_.faces[run.start]]->scale;
    Shaped g;
    g.glyph = info[k].codepoint;
    g.cluster = info[k].cluster;
    g.character = text_.charAt(g.cluster);
    g.advance = pos[k].x_advance / scale;
    g.xOffset = pos[k].x_offset / scale;
    g.yOffset = pos[k].y_offset / scale;
    if (k + 1 == count || info[k + 1].cluster != g.cluster)
        g.advance += settings_.letterSpacing;
    return g;
}

/* A tab or separator: the face's space glyph, four spaces wide for a tab and of no
 * width for a separator, so that hosts draw nothing for either. */
Shaped Builder::specialGlyph(const Run &run)
{
    const glyvaShapeFont *font = faces_.faces[text_.faces[run.start]];
    hb_codepoint_t space = 0;
    hb_font_get_nominal_glyph(font->font, ' ', &space);
    Shaped g = {space, text_.offsets[run.start], run.start, 0.0, 0.0, 0.0};
    if (text_.special[run.start] == kTab)
        g.advance = kTabSpaces * hb_font_get_glyph_h_advance(font->font, space) / font->scale +
                    settings_.letterSpacing;
    return g;
}

bool Builder::placeLine(uint32_t start, uint32_t end)
{
    for (uint32_t i = start; i < end; ++i)
        map_[i] = static_cast<FriBidiStrIndex>(i);
    const FriBidiParType base = rtl_ ? FRIBIDI_PAR_RTL : FRIBIDI_PAR_LTR;
    const uint32_t p = paragraphStart_;
    if (!fribidi_reorder_line(0, text_.types.data() + p, static_cast<FriBidiStrIndex>(end - start),
                              static_cast<FriBidiStrIndex>(start - p), base,
                              text_.levels.data() + p, nullptr, map_.data() + p))
        return false;
    const uint32_t firstGlyph = glyphs_.size();
    pens_.clear();
    if (!itemize(start, end) || !placeRuns(start, end))
        return false;
    return finishLine(start, end, firstGlyph);
}

/* The line's runs in visual order, each shaped and its glyphs placed pen after pen. */
bool Builder::placeRuns(uint32_t start, uint32_t end)
{
    if (!runOf_.resize(text_.size()))
        return false;
    order_.clear();
    for (uint32_t r = 0; r < runs_.size(); ++r)
        for (uint32_t i = runs_[r].start; i < runs_[r].end; ++i)
            runOf_[i] = r;
    for (uint32_t v = start; v < end; ++v) {
        const uint32_t r = runOf_[static_cast<uint32_t>(map_[v])];
        if ((order_.size() == 0 || order_[order_.size() - 1] != r) && !order_.push(r))
            return false;
    }
    const uint32_t line = lines_.size();
    const double baseline = 0.0 - static_cast<double>(line) * pitch_;
    double pen = 0.0;
    for (uint32_t o = 0; o < order_.size(); ++o) {
        const Run run = runs_[order_[o]];
        const bool special = text_.special[run.start] != kPlain;
        if (!special && !shapeRun(run))
            return false;
        const uint32_t count = special ? 1 : hb_buffer_get_length(buffer_);
        for (uint32_t k = 0; k < count; ++k) {
            const Shaped g = special ? specialGlyph(run) : shapedGlyph(run, k, count);
            const glyvaLayoutGlyph placed = {
                text_.faces[run.start], g.glyph,  g.cluster, line, pen + g.xOffset,
                baseline + g.yOffset,   g.advance};
            if (!glyphs_.push(placed) || !pens_.push(pen))
                return false;
            pen += g.advance;
        }
    }
    return true;
}

double Builder::alignShift(double left, double right) const
{
    int32_t align = settings_.align;
    if (align == GLYVA_LAYOUT_ALIGN_START)
        align = rtl_ ? GLYVA_LAYOUT_ALIGN_RIGHT : GLYVA_LAYOUT_ALIGN_LEFT;
    else if (align == GLYVA_LAYOUT_ALIGN_END)
        align = rtl_ ? GLYVA_LAYOUT_ALIGN_LEFT : GLYVA_LAYOUT_ALIGN_RIGHT;
    const double width = settings_.width;
    if (align == GLYVA_LAYOUT_ALIGN_RIGHT)
        return width - right;
    if (align == GLYVA_LAYOUT_ALIGN_CENTER)
        return 0.5 * width - 0.5 * (left + right);
    return -left;
}

/* The extent without the whitespace that hangs at the line's logical end, aligned. */
bool Builder::finishLine(uint32_t start, uint32_t end, uint32_t firstGlyph)
{
    uint32_t hangFrom = end;
    while (hangFrom > start && hangs(text_, hangFrom - 1))
        --hangFrom;
    double left = HUGE_VAL, right = -HUGE_VAL;
    for (uint32_t g = firstGlyph; g < glyphs_.size(); ++g) {
        if (text_.charAt(glyphs_[g].cluster) >= hangFrom)
            continue;
        const double pen = pens_[g - firstGlyph];
        left = fmin(left, fmin(pen, pen + glyphs_[g].advance));
        right = fmax(right, fmax(pen, pen + glyphs_[g].advance));
    }
    if (left > right)
        left = right = 0.0;
    const double shift = alignShift(left, right);
    for (uint32_t g = firstGlyph; g < glyphs_.size(); ++g)
        glyphs_[g].x += shift;
    glyvaLayoutLine line = {};
    line.firstGlyph = firstGlyph;
    line.glyphCount = glyphs_.size() - firstGlyph;
    line.firstByte = text_.offsets[start];
    line.byteLength = text_.offsets[end] - text_.offsets[start];
    line.baseline = 0.0 - static_cast<double>(lines_.size()) * pitch_;
    line.left = left + shift;
    line.width = right - left;
    line.ascender = ascender_;
    line.descender = descender_;
    line.paragraphLevel = rtl_ ? 1 : 0;
    line.paragraph = paragraph_;
    return lines_.push(line) && glyphs_.size() <= static_cast<uint32_t>(INT32_MAX);
}

void Builder::describeNotices(glyvaShapeLayout *layout) const
{
    char *out = layout->message;
    const size_t size = sizeof layout->message;
    size_t used = 0;
    if (missing_.size() > 0) {
        used += static_cast<size_t>(snprintf(out, size,
                                             "%u character%s no face maps, drawn as "
                                             "glyph 0:",
                                             static_cast<unsigned>(missing_.size()),
                                             missing_.size() == 1 ? "" : "s"));
        for (uint32_t i = 0; i < missing_.size() && i < kMissingNamed && used < size; ++i)
            used += static_cast<size_t>(
                snprintf(out + used, size - used, " U+%04X", static_cast<unsigned>(missing_[i])));
    }
    if ((notices_ & GLYVA_LAYOUT_OVERFLOW) && used < size)
        snprintf(out + used, size - used,
                 "%sline %u is wider than the width of %g em: no line "
                 "break opportunity fits",
                 used ? "; " : "", static_cast<unsigned>(overflowLine_ + 1), settings_.width);
}

glyvaShapeLayout *Builder::result()
{
    auto *layout = static_cast<glyvaShapeLayout *>(kdMalloc(sizeof(glyvaShapeLayout)));
    if (!layout)
        return nullptr;
    kdMemset(layout, 0, sizeof *layout);
    layout->glyphCount = glyphs_.size();
    layout->glyphs = glyphs_.release();
    layout->lineCount = lines_.size();
    layout->lines = lines_.release();
    layout->notices = notices_;
    if (missing_.size() > 0)
        layout->notices |= GLYVA_LAYOUT_MISSING_GLYPHS;
    describeNotices(layout);
    return layout;
}

int32_t refuse(char *why, int32_t status, const char *format, ...)
    __attribute__((format(printf, 3, 4)));

int32_t refuse(char *why, int32_t status, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    vsnprintf(why, kWhySize, format, args);
    va_end(args);
    return status;
}

int32_t checkArguments(glyvaShapeLayout **layout, glyvaShapeFont *const *faces, uint32_t faceCount,
                       const char *utf8, char *why)
{
    if (!layout)
        return refuse(why, GLYVA_SHAPE_BAD_ARGUMENT, "no layout pointer");
    if (!faces || faceCount == 0)
        return refuse(why, GLYVA_SHAPE_BAD_ARGUMENT, "no faces");
    if (faceCount > kMaxFaces)
        return refuse(why, GLYVA_SHAPE_BAD_ARGUMENT, "%u faces: at most %u",
                      static_cast<unsigned>(faceCount), static_cast<unsigned>(kMaxFaces));
    for (uint32_t f = 0; f < faceCount; ++f)
        if (!faces[f])
            return refuse(why, GLYVA_SHAPE_BAD_ARGUMENT, "face %u is null",
                          static_cast<unsigned>(f));
    if (!utf8)
        return refuse(why, GLYVA_SHAPE_BAD_TEXT, "no text");
    return GLYVA_SHAPE_OK;
}

int32_t checkText(const char *utf8, int32_t byteLength, uint32_t *length, char *why)
{
    const size_t n = byteLength < 0 ? strlen(utf8) : static_cast<size_t>(byteLength);
    if (n > static_cast<size_t>(INT32_MAX))
        return refuse(why, GLYVA_SHAPE_BAD_TEXT, "the text is too long");
    const size_t bad = firstInvalidUtf8(reinterpret_cast<const unsigned char *>(utf8), n);
    if (bad < n)
        return refuse(why, GLYVA_SHAPE_BAD_TEXT, "the text is not valid UTF-8 (byte %zu, 0x%02X)",
                      bad, static_cast<unsigned>(static_cast<unsigned char>(utf8[bad])));
    *length = static_cast<uint32_t>(n);
    return GLYVA_SHAPE_OK;
}

} // namespace

int32_t glyvaShapeLayoutText(glyvaShapeLayout **layout, glyvaShapeFont *const *faces,
                             uint32_t faceCount, const char *utf8, int32_t byteLength,
                             const glyvaLayoutOptions *options, char *message, uint32_t messageSize)
{
    char why[kWhySize] = "";
    if (layout)
        *layout = nullptr;
    uint32_t length = 0;
    int32_t status = checkArguments(layout, faces, faceCount, utf8, why);
    if (status == GLYVA_SHAPE_OK)
        status = checkText(utf8, byteLength, &length, why);
    if (status == GLYVA_SHAPE_OK) {
        Builder builder({faces, faceCount}, why);
        status = builder.settle(options);
        if (status == GLYVA_SHAPE_OK)
            status = builder.layOut(utf8, length);
        if (status == GLYVA_SHAPE_OK && !(*layout = builder.result()))
            status = refuse(why, GLYVA_SHAPE_NO_MEMORY, "out of memory laying out the text");
    }
    if (message && messageSize > 0)
        snprintf(message, messageSize, "%s", status == GLYVA_SHAPE_OK ? "" : why);
    return status;
}

void glyvaShapeLayoutDestroy(glyvaShapeLayout *layout)
{
    if (!layout)
        return;
    kdFree(layout->glyphs);
    kdFree(layout->lines);
    kdFree(layout);
}

int32_t glyvaShapeLayoutGlyphs(const glyvaShapeLayout *layout, const glyvaLayoutGlyph **glyphs)
{
    if (glyphs)
        *glyphs = layout ? layout->glyphs : nullptr;
    return layout ? static_cast<int32_t>(layout->glyphCount) : 0;
}

int32_t glyvaShapeLayoutLines(const glyvaShapeLayout *layout, const glyvaLayoutLine **lines)
{
    if (lines)
        *lines = layout ? layout->lines : nullptr;
    return layout ? static_cast<int32_t>(layout->lineCount) : 0;
}

uint32_t glyvaShapeLayoutNotices(const glyvaShapeLayout *layout, const char **message)
{
    if (message)
        *message = layout ? layout->message : "";
    return layout ? layout->notices : 0;
}
