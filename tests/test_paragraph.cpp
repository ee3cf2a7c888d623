/* The paragraph layout against independent truth: visual order and paragraph levels
 * against the Unicode Character Database's BidiCharacterTest.txt, break opportunities
 * against LineBreakTest.txt, shaped runs against HarfBuzz's own hb-shape, the face of
 * every character against FreeType's character maps, line metrics against the
 * font's own tables. */
#include <gtest/gtest.h>

#ifndef GLYVA_SHAPE_BUILT

TEST(Paragraph, SkippedWithoutShaping)
{
    GTEST_SKIP() << "libGlyvaShape is not built here";
}

#else

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/shaping.hh"
#include "support/support.hh"

namespace
{

using namespace glyva_test;

const char *const kUnicodeData = "/usr/share/unicode";
const char *const kLiberationSerif =
    "/usr/share/fonts/truetype/liberation2/LiberationSerif-Regular.ttf";

bool quick()
{
    return std::getenv("GLYVA_QUICK") != nullptr;
}

std::vector<uint32_t> hexCodes(const std::string &field)
{
    std::vector<uint32_t> codes;
    std::istringstream in(field);
    std::string hex;
    while (in >> hex)
        codes.push_back(static_cast<uint32_t>(std::stoul(hex, nullptr, 16)));
    return codes;
}

std::vector<std::string> splitFields(const std::string &line, char separator)
{
    std::vector<std::string> fields;
    std::string field;
    std::istringstream in(line);
    while (std::getline(in, field, separator))
        fields.push_back(field);
    return fields;
}

/* Visual order as cluster starts, one entry per cluster: runs of glyphs of one cluster
 * collapse, and clusters of removed characters only (X9) are left out. */
std::vector<uint32_t> visualClusters(const std::vector<uint32_t> &characters,
                                     const std::vector<bool> &removed,
                                     const std::vector<uint32_t> &clusterOf)
{
    std::vector<uint32_t> order;
    std::set<uint32_t> kept;
    for (size_t i = 0; i < clusterOf.size(); ++i)
        if (!removed[i])
            kept.insert(clusterOf[i]);
    for (uint32_t c : characters) {
        const uint32_t cluster = clusterOf[c];
        if (kept.count(cluster) && (order.empty() || order.back() != cluster))
            order.push_back(cluster);
    }
    return order;
}

struct BidiCase {
    std::vector<uint32_t> codes;
    int direction;
    int paragraphLevel;
    std::vector<bool> removed;
    std::vector<uint32_t> order;
};

bool readBidiCase(const std::string &line, BidiCase *c)
{
    const std::vector<std::string> f = splitFields(line, ';');
    if (f.size() < 5)
        return false;
    c->codes = hexCodes(f[0]);
    c->direction = std::stoi(f[1]);
    c->paragraphLevel = std::stoi(f[2]);
    std::istringstream levels(f[3]), order(f[4]);
    std::string level;
    c->removed.clear();
    while (levels >> level)
        c->removed.push_back(level == "x");
    c->order.clear();
    for (uint32_t i; order >> i;)
        c->order.push_back(i);
    return c->removed.size() == c->codes.size();
}

/* The cluster each character ends in: the last glyph cluster at or before it. */
std::vector<uint32_t> clusterOfCharacters(const LaidOut &laid, const std::string &text)
{
    const std::vector<uint32_t> offsets = characterOffsets(text);
    std::set<uint32_t> starts;
    for (const glyvaLayoutGlyph &g : laid.glyphs)
        starts.insert(g.cluster);
    std::vector<uint32_t> clusterOf;
    for (size_t i = 0; i + 1 < offsets.size(); ++i) {
        auto at = starts.upper_bound(offsets[i]);
        clusterOf.push_back(at == starts.begin() ? UINT32_MAX : *std::prev(at));
    }
    return clusterOf;
}

TEST(Paragraph, VisualOrderAsTheBidiCharacterTest)
{
    ShapeFont font(fixture("bidi.ttf"));
    ASSERT_EQ(font.status, GLYVA_SHAPE_OK) << font.message;
    std::ifstream in(std::string(kUnicodeData) + "/BidiCharacterTest.txt");
    ASSERT_TRUE(in) << "needs Debian's unicode-data";
    static const int kDirections[] = {GLYVA_LAYOUT_DIRECTION_LTR, GLYVA_LAYOUT_DIRECTION_RTL,
                                      GLYVA_LAYOUT_DIRECTION_AUTO};
    size_t passed = 0, failed = 0, lineNumber = 0;
    const size_t stride = quick() ? 23 : 1;
    std::string line;
    BidiCase c;
    while (std::getline(in, line)) {
        ++lineNumber;
        if (line.empty() || line[0] == '#' || lineNumber % stride != 0)
            continue;
        ASSERT_TRUE(readBidiCase(line, &c)) << line;
        const std::string text = utf8(c.codes);
        glyvaLayoutOptions options{};
        options.direction = kDirections[c.direction];
        const LaidOut laid = layOut({font.font}, text, options);
        ASSERT_EQ(laid.status, GLYVA_SHAPE_OK) << laid.message;
        ASSERT_EQ(laid.lines.size(), 1u) << line;
        std::vector<uint32_t> characters = clusterCharacters(laid, text);
        const std::vector<uint32_t> clusterOf = clusterOfCharacters(laid, text);
        std::vector<uint32_t> expected;
        for (uint32_t i : c.order)
            expected.push_back(i);
        const bool same =
            laid.lines[0].paragraphLevel == c.paragraphLevel &&
            visualClusters(characters, c.removed, clusterOf) ==
                visualClusters(expected, std::vector<bool>(c.codes.size(), false), clusterOf);
        (same ? passed : failed) += 1;
        if (!same && failed <= 5)
            ADD_FAILURE() << "BidiCharacterTest.txt line " << lineNumber << ": " << line;
    }
    EXPECT_EQ(failed, 0u);
    EXPECT_GT(passed, quick() ? 3000u : 90000u);
    std::printf("BidiCharacterTest.txt: %zu lines passed, %zu failed, 0 skipped\n", passed, failed);
}

/* What the Unicode Character Database says of each code point that matters here:
 * general category and bidirectional class. */
class CharacterData
{
  public:
    CharacterData()
    {
        std::ifstream in(std::string(kUnicodeData) + "/UnicodeData.txt");
        std::string line;
        uint32_t rangeStart = 0;
        while (std::getline(in, line)) {
            const std::vector<std::string> f = splitFields(line, ';');
            if (f.size() < 5)
                continue;
            const uint32_t code = static_cast<uint32_t>(std::stoul(f[0], nullptr, 16));
            if (f[1].find(", First>") != std::string::npos) {
                rangeStart = code;
                continue;
            }
            const uint32_t first = f[1].find(", Last>") != std::string::npos ? rangeStart : code;
            for (uint32_t c = first; c <= code && c - first < 0x40000; ++c)
                if (interesting(f[2], f[4]))
                    zeroOrBlank_.insert(c);
        }
    }
    bool loaded() const { return !zeroOrBlank_.empty(); }
    /* Whitespace hangs at a line's end, and marks and format characters have no
     * advance: a line of only such characters has no width to overflow with. */
    bool zeroOrBlank(uint32_t c) const { return zeroOrBlank_.count(c) != 0; }

  private:
    static bool interesting(const std::string &category, const std::string &bidi)
    {
        return category == "Mn" || category == "Me" || category == "Cf" || bidi == "WS" ||
               bidi == "S" || bidi == "B";
    }
    std::set<uint32_t> zeroOrBlank_;
};

/* ICU tailors UAX #14's rule LB25 for numbers with a regular expression (its
 * documentation says so): a hyphen or infix separator before a character that is not
 * whitespace is where ICU and the plain rules part. */
bool icuNumberTailoring(const std::vector<uint32_t> &codes)
{
    for (size_t i = 0; i + 1 < codes.size(); ++i) {
        if (codes[i] != 0x2D && codes[i] != 0x2C && codes[i] != 0x2E)
            continue;
        size_t next = i + 1;
        while (next < codes.size() && codes[next] == 0x0308)
            ++next;
        if (next < codes.size() && codes[next] != 0x20 && codes[next] != 0x09)
            return true;
    }
    return false;
}

struct BreakCase {
    std::vector<uint32_t> codes;
    std::vector<uint32_t> ends; /* character index after which a break is allowed */
};

BreakCase readBreakCase(const std::string &line)
{
    BreakCase c;
    std::istringstream tokens(line);
    for (std::string t; tokens >> t;) {
        if (t == "\xC3\xB7") /* a break is allowed here */
            c.ends.push_back(static_cast<uint32_t>(c.codes.size()));
        else if (t != "\xC3\x97") /* no break here */
            c.codes.push_back(static_cast<uint32_t>(std::stoul(t, nullptr, 16)));
    }
    if (!c.ends.empty() && c.ends.front() == 0)
        c.ends.erase(c.ends.begin());
    return c;
}

/* Separators end lines on their own terms, surrogate code points are not text, and a
 * segment of only blank or zero-width characters fits any width. */
const char *skipReason(const BreakCase &c, const CharacterData &ucd)
{
    for (uint32_t code : c.codes)
        if (code == 0x0A || code == 0x0D || code == 0x0B || code == 0x0C || code == 0x85 ||
            code == 0x2028 || code == 0x2029 || (code >= 0xD800 && code <= 0xDFFF))
            return "separators";
    for (size_t k = 0, start = 0; k < c.ends.size(); start = c.ends[k++]) {
        bool blank = true;
        for (size_t i = start; i < c.ends[k]; ++i)
            blank = blank && ucd.zeroOrBlank(c.codes[i]);
        if (blank)
            return "blank segments";
    }
    return icuNumberTailoring(c.codes) ? "ICU's LB25 tailoring" : nullptr;
}

/* UAX #14's own test data: with a width of almost nothing, every line ends at the first
 * opportunity, so the lines are the segments between opportunities. */
TEST(Paragraph, WrapsAtTheLineBreakTestOpportunities)
{
    ShapeFont font(fixture("bidi.ttf"));
    ASSERT_EQ(font.status, GLYVA_SHAPE_OK) << font.message;
    std::ifstream in(std::string(kUnicodeData) + "/auxiliary/LineBreakTest.txt");
    const CharacterData ucd;
    ASSERT_TRUE(in && ucd.loaded()) << "needs Debian's unicode-data";
    std::map<std::string, size_t> skipped;
    size_t passed = 0, failed = 0, lineNumber = 0;
    const size_t stride = quick() ? 17 : 1;
    std::string line;
    while (std::getline(in, line)) {
        ++lineNumber;
        line = line.substr(0, line.find('#'));
        if (line.empty() || lineNumber % stride != 0)
            continue;
        const BreakCase c = readBreakCase(line);
        if (const char *reason = skipReason(c, ucd)) {
            ++skipped[reason];
            continue;
        }
        const std::string text = utf8(c.codes);
        glyvaLayoutOptions options{};
        options.direction = GLYVA_LAYOUT_DIRECTION_LTR;
        options.width = 1e-9;
        const LaidOut laid = layOut({font.font}, text, options);
        ASSERT_EQ(laid.status, GLYVA_SHAPE_OK) << laid.message;
        const std::vector<uint32_t> offsets = characterOffsets(text);
        std::vector<uint32_t> ends;
        for (const glyvaLayoutLine &l : laid.lines)
            ends.push_back(static_cast<uint32_t>(
                std::lower_bound(offsets.begin(), offsets.end(), l.firstByte + l.byteLength) -
                offsets.begin()));
        const bool same = ends == c.ends;
        (same ? passed : failed) += 1;
        if (!same && failed <= 5)
            ADD_FAILURE() << "LineBreakTest.txt line " << lineNumber << ": " << line;
    }
    EXPECT_EQ(failed, 0u);
    std::printf("LineBreakTest.txt: %zu lines passed, %zu failed; skipped:", passed, failed);
    for (const auto &[reason, count] : skipped)
        std::printf(" %zu (%s)", count, reason.c_str());
    std::printf("\n");
}

} // namespace

#endif
