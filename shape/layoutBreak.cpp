#include <stdio.h>

#include <unicode/ubrk.h>
#include <unicode/utext.h>

#include "shape/layoutText.hh"

namespace glyva
{
namespace shape
{
namespace
{

/* Widths are sums of shaped advances; a line that fits exactly must not break for
 * the rounding of the sum. */
constexpr double kWidthSlack = 1e-9;

void markBreaks(LayoutText *text, UBreakIterator *breaker)
{
    for (int32_t at = ubrk_first(breaker); at != UBRK_DONE; at = ubrk_next(breaker)) {
        if (at <= 0 || static_cast<uint32_t>(at) >= text->length)
            continue;
        text->breakable[text->charAt(static_cast<uint32_t>(at))] = 1;
    }
}

} // namespace

bool findBreaks(LayoutText *text, const char *language, char *why, size_t whySize)
{
    if (!text->breakable.resize(text->size())) {
        snprintf(why, whySize, "out of memory finding line breaks");
        return false;
    }
    UErrorCode status = U_ZERO_ERROR;
    UText *source =
        utext_openUTF8(nullptr, text->utf8, static_cast<int64_t>(text->length), &status);
    UBreakIterator *breaker = ubrk_open(UBRK_LINE, language ? language : "", nullptr, 0, &status);
    if (U_SUCCESS(status))
        ubrk_setUText(breaker, source, &status);
    const bool ok = U_SUCCESS(status);
    if (ok)
        markBreaks(text, breaker);
    else
        snprintf(why, whySize, "the line breaker cannot run: %s", u_errorName(status));
    if (breaker)
        ubrk_close(breaker);
    if (source)
        utext_close(source);
    return ok;
}

uint32_t fitLine(const LayoutText &text, const double *advances, uint32_t start, uint32_t end,
                 double width, bool *overflow)
{
    double total = 0.0;
    double content = 0.0;
    uint32_t best = 0;
    for (uint32_t i = start; i < end; ++i) {
        total += advances[i];
        if (!hangs(text, i))
            content = total;
        const bool opportunity = i + 1 == end || text.breakable[i + 1];
        if (!opportunity)
            continue;
        if (content <= width + kWidthSlack) {
            best = i + 1;
            continue;
        }
        if (best == 0) {
            *overflow = true;
            return i + 1;
        }
        return best;
    }
    return best ? best : end;
}

} // namespace shape
} // namespace glyva
