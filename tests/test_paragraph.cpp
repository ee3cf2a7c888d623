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
#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "support/raster.hh"
#include "support/shaping.hh"
#include "support/support.hh"

namespace
{

using namespace glyva_test;

const char *const kUnicodeData = "/usr/share/unicode";

std::vector<std::string> splitFields(const std::string &line, char separator)
{
    std::vector<std::string> fields;
    std::string field;
    std::istringstream in(line);
    while (std::getline(in, field, separator))
        fields.push_back(field);
    return fields;
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
    std::istringstream codes(f[0]), levels(f[3]), order(f[4]);
    for (std::string hex; codes >> hex;)
        c->codes.push_back(static_cast<uint32_t>(std::stoul(hex, nullptr, 16)));
    c->direction = std::stoi(f[1]);
    c->paragraphLevel = std::stoi(f[2]);
    for (std::string level; levels >> level;)
        c->removed.push_back(level == "x");
    for (uint32_t i; order >> i;)
        c->order.push_back(i);
    return c->removed.size() == c->codes.size();
}

/* Whether the line shows the case's visual order, as runs of clusters: a character's
 * cluster is the last glyph cluster at or before it, and clusters of removed characters
 * only (X9) are left out. */
bool sameVisualOrder(const LaidOut &laid, const std::string &text, const BidiCase &c)
{
    const std::vector<uint32_t> offsets = characterOffsets(text);
    std::set<uint32_t> starts, kept;
    for (const glyvaLayoutGlyph &g : laid.glyphs)
        starts.insert(g.cluster);
    auto clusterOf = [&](uint32_t i) {
        auto at = starts.upper_bound(offsets[i]);
        return at == starts.begin() ? UINT32_MAX : *std::prev(at);
    };
    for (uint32_t i = 0; i < c.codes.size(); ++i)
        if (!c.removed[i])
            kept.insert(clusterOf(i));
    std::vector<uint32_t> shown, expected;
    auto add = [&](std::vector<uint32_t> &runs, uint32_t cluster) {
        if (kept.count(cluster) && (runs.empty() || runs.back() != cluster))
            runs.push_back(cluster);
    };
    for (const glyvaLayoutGlyph &g : laid.glyphs)
        add(shown, g.cluster);
    for (uint32_t i : c.order)
        add(expected, clusterOf(i));
    return shown == expected;
}

/* Runs check on the lines of one of the Unicode Character Database's test files, comments
 * taken off and blank lines skipped, every stride-th line only in a quick run. check says
 * whether the line passed, or names why it does not apply in *skip. The first failures name
 * their lines; none may fail, and at least `least` lines must pass. */
void conformance(const std::string &file, size_t quickStride, size_t least,
                 const std::function<bool(const std::string &, const char **)> &check)
{
    std::ifstream in(std::string(kUnicodeData) + "/" + file);
    ASSERT_TRUE(in) << "needs Debian's unicode-data";
    std::map<std::string, size_t> skipped;
    size_t passed = 0, failed = 0, lineNumber = 0;
    const size_t stride = quickRun() ? quickStride : 1;
    for (std::string line; std::getline(in, line);) {
        line = line.substr(0, line.find('#'));
        if (++lineNumber % stride != 0 || line.empty())
            continue;
        const char *skip = nullptr;
        const bool same = check(line, &skip);
        if (skip) {
            ++skipped[skip];
            continue;
        }
        (same ? passed : failed) += 1;
        if (!same && failed <= 5)
            ADD_FAILURE() << file << " line " << lineNumber << ": " << line;
    }
    EXPECT_EQ(failed, 0u);
    EXPECT_GE(passed, least);
    std::printf("%s: %zu lines passed, %zu failed; skipped:", file.c_str(), passed, failed);
    for (const auto &[reason, count] : skipped)
        std::printf(" %zu (%s)", count, reason.c_str());
    std::printf("\n");
}

TEST(Paragraph, VisualOrderAsTheBidiCharacterTest)
{
    ShapeFont font(fixture("bidi.ttf"));
    ASSERT_EQ(font.status, GLYVA_SHAPE_OK) << font.message;
    static const int kDirections[] = {GLYVA_LAYOUT_DIRECTION_LTR, GLYVA_LAYOUT_DIRECTION_RTL,
                                      GLYVA_LAYOUT_DIRECTION_AUTO};
    conformance("BidiCharacterTest.txt", 23, quickRun() ? 3000u : 90000u,
                [&](const std::string &line, const char **) {
                    BidiCase c;
                    if (!readBidiCase(line, &c))
                        return false;
                    const std::string text = utf8(c.codes);
                    glyvaLayoutOptions options{};
                    options.direction = kDirections[c.direction];
                    const LaidOut laid = layOut({font.font}, text, options);
                    return laid.status == GLYVA_SHAPE_OK && laid.lines.size() == 1 &&
                           laid.lines[0].paragraphLevel == c.paragraphLevel &&
                           sameVisualOrder(laid, text, c);
                });
}

/* The code points the Unicode Character Database calls marks or format characters (no
 * advance) or whitespace (which hangs at a line's end): a line of only such characters
 * has no width to overflow with. No range of UnicodeData.txt (ideographs, Hangul,
 * surrogates, private use) is one of them. */
std::set<uint32_t> zeroOrBlankCharacters()
{
    std::set<uint32_t> codes;
    std::ifstream in(std::string(kUnicodeData) + "/UnicodeData.txt");
    for (std::string line; std::getline(in, line);) {
        const std::vector<std::string> f = splitFields(line, ';');
        if (f.size() >= 5 && (f[2] == "Mn" || f[2] == "Me" || f[2] == "Cf" || f[4] == "WS" ||
                              f[4] == "S" || f[4] == "B"))
            codes.insert(static_cast<uint32_t>(std::stoul(f[0], nullptr, 16)));
    }
    return codes;
}

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
const char *skipReason(const BreakCase &c, const std::set<uint32_t> &zeroOrBlank)
{
    for (uint32_t code : c.codes)
        if (code == 0x0A || code == 0x0D || code == 0x0B || code == 0x0C || code == 0x85 ||
            code == 0x2028 || code == 0x2029 || (code >= 0xD800 && code <= 0xDFFF))
            return "separators";
    for (size_t k = 0, start = 0; k < c.ends.size(); start = c.ends[k++]) {
        bool blank = true;
        for (size_t i = start; i < c.ends[k]; ++i)
            blank = blank && zeroOrBlank.count(c.codes[i]);
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
    const std::set<uint32_t> zeroOrBlank = zeroOrBlankCharacters();
    ASSERT_FALSE(zeroOrBlank.empty()) << "needs Debian's unicode-data";
    conformance(
        "auxiliary/LineBreakTest.txt", 17, 1, [&](const std::string &line, const char **skip) {
            const BreakCase c = readBreakCase(line);
            if ((*skip = skipReason(c, zeroOrBlank)))
                return false;
            const std::string text = utf8(c.codes);
            glyvaLayoutOptions options{};
            options.direction = GLYVA_LAYOUT_DIRECTION_LTR;
            options.width = 1e-9;
            const LaidOut laid = layOut({font.font}, text, options);
            EXPECT_EQ(laid.status, GLYVA_SHAPE_OK) << laid.message;
            const std::vector<uint32_t> offsets = characterOffsets(text);
            std::vector<uint32_t> ends;
            for (const glyvaLayoutLine &l : laid.lines)
                ends.push_back(static_cast<uint32_t>(
                    std::lower_bound(offsets.begin(), offsets.end(), l.firstByte + l.byteLength) -
                    offsets.begin()));
            return ends == c.ends;
        });
}

/* The runs of a row of tests/cases/shaping.txt, in the visual order the bidirectional
 * algorithm gives them, each shaped by hb-shape alone, laid end to end: the face, glyph,
 * cluster, x, y and advance of each glyph. */
std::vector<std::array<double, 6>> expectedGlyphs(const std::vector<std::string> &row,
                                                  const ShapeFonts &fonts)
{
    std::vector<std::array<double, 6>> out;
    double pen = 0.0;
    std::istringstream runs(row[4]);
    for (std::string run; std::getline(runs, run, ',');) {
        uint32_t from = 0, to = 0, face = 0;
        char direction[4] = "", script[5] = "";
        EXPECT_EQ(
            std::sscanf(run.c_str(), "%u %u %u %3s %4s", &from, &to, &face, direction, script), 5);
        const double upem = glyvaShapeUnitsPerEm(fonts.faces[face]);
        const std::string options = std::string("--direction=") + direction + " --script=" + script;
        for (const HbGlyph &g :
             hbShape(fonts.paths[face], row[3].substr(from, to - from), options)) {
            const double advance = g.ax / upem;
            out.push_back({1.0 * face, 1.0 * g.g, 1.0 * (g.cl + from), pen + g.dx / upem,
                           g.dy / upem, advance});
            pen += advance;
        }
    }
    return out;
}

TEST(Paragraph, MixedLinesShapeRunByRunAsHbShape)
{
#ifndef GLYVA_HB_SHAPE
    GTEST_SKIP() << "needs hb-shape (libharfbuzz-bin)";
#endif
    for (const std::vector<std::string> &row : caseRows("shaping.txt", "mixed")) {
        SCOPED_TRACE(row[1]);
        std::vector<std::string> paths;
        std::istringstream names(row[2]);
        for (std::string name; names >> name;)
            paths.push_back(caseFont(name));
        const ShapeFonts fonts(paths);
        glyvaLayoutOptions options{};
        options.align = GLYVA_LAYOUT_ALIGN_LEFT;
        const LaidOut laid = layOut(fonts.faces, row[3], options);
        ASSERT_EQ(laid.status, GLYVA_SHAPE_OK) << laid.message;
        EXPECT_EQ(laid.notices, 0u) << laid.noticeText;
        std::vector<std::array<double, 6>> glyphs;
        for (const glyvaLayoutGlyph &g : laid.glyphs)
            glyphs.push_back(
                {1.0 * g.face, 1.0 * g.glyphIndex, 1.0 * g.cluster, g.x, g.y, g.advance});
        EXPECT_EQ(glyphs, expectedGlyphs(row, fonts));
    }
}

TEST(Paragraph, LettersTakeTheFirstFaceThatMapsThem)
{
    const std::vector<std::string> paths = {kLiberationSans, kNotoSansArabic, kNotoDevanagari,
                                            kNotoSansCJK};
    const ShapeFonts fonts(paths);
    std::vector<std::unique_ptr<FreeTypeFace>> maps;
    for (const std::string &path : paths)
        maps.push_back(std::make_unique<FreeTypeFace>(path.c_str(), 64));
    const std::string text = "Hello \u0645\u0631\u062d\u0628\u0627 \u0928\u092e\u0938\u094d\u0924"
                             "\u0947, \u4e2d\u6587\u3002 \u05e9\u05dc\u05d5\u05dd \u00e9t\u00e9 "
                             "\u1230\u120b\u121d";
    const LaidOut laid = layOut(fonts.faces, text);
    ASSERT_EQ(laid.status, GLYVA_SHAPE_OK) << laid.message;
    size_t letters = 0;
    for (size_t i = 0; i < laid.glyphs.size(); ++i) {
        const uint32_t code = codePoints(text.substr(laid.glyphs[i].cluster))[0];
        const bool letter = (code >= 'A' && code <= 'z') || code >= 0x5D0;
        /* FreeType's own character maps say which face has a character. */
        uint32_t first = 0;
        while (first < maps.size() && !FT_Get_Char_Index(maps[first]->face(), code))
            ++first;
        if (!letter || code == 0x3002 || first == paths.size())
            continue;
        ++letters;
        EXPECT_EQ(laid.glyphs[i].face, first) << "U+" << std::hex << code;
    }
    EXPECT_GT(letters, 20u);
    /* Ethiopic is in none of the faces: one notice names it. */
    EXPECT_EQ(laid.notices, static_cast<uint32_t>(GLYVA_LAYOUT_MISSING_GLYPHS));
    EXPECT_NE(laid.noticeText.find("3 characters no face maps"), std::string::npos)
        << laid.noticeText;
    EXPECT_NE(laid.noticeText.find("U+1230 U+120B U+121D"), std::string::npos) << laid.noticeText;
}

TEST(Paragraph, LineMetricsAreTheFontsOwnAtFullPrecision)
{
    for (const char *path : {kDejaVuSans, kLiberationSans, kFreeSans, kNotoSansArabic}) {
        SCOPED_TRACE(path);
        /* The font's own tables, read by FreeType: OS/2's typographic values when its
         * USE_TYPO_METRICS bit (7 of fsSelection) is set, hhea's otherwise. */
        const FreeTypeFace ft(path, 64);
        const auto *os2 = static_cast<const TT_OS2 *>(FT_Get_Sfnt_Table(ft.face(), FT_SFNT_OS2));
        const auto *hhea =
            static_cast<const TT_HoriHeader *>(FT_Get_Sfnt_Table(ft.face(), FT_SFNT_HHEA));
        ASSERT_TRUE(os2 && hhea);
        const double upem = ft.face()->units_per_EM;
        const bool typo = (os2->fsSelection & 0x80) != 0;
        const double ascender = (typo ? os2->sTypoAscender : hhea->Ascender) / upem;
        const double descender = (typo ? os2->sTypoDescender : hhea->Descender) / upem;
        const double gap = (typo ? os2->sTypoLineGap : hhea->Line_Gap) / upem;
        ShapeFont font(path);
        double a = 9, d = 9, g = 9;
        ASSERT_EQ(glyvaShapeLineMetrics(font.font, &a, &d, &g), 1);
        EXPECT_EQ(a, ascender);
        EXPECT_EQ(d, descender);
        EXPECT_EQ(g, gap);
        /* Baselines are one pitch apart, times the line spacing. */
        glyvaLayoutOptions options{};
        options.lineSpacing = 1.5;
        const LaidOut laid = layOut({font.font}, "one\ntwo\u2028three", options);
        ASSERT_EQ(laid.lines.size(), 3u);
        EXPECT_EQ(laid.lines[0].baseline, 0.0);
        EXPECT_DOUBLE_EQ(laid.lines[2].baseline, -2 * 1.5 * (ascender - descender + gap));
        EXPECT_EQ(laid.lines[1].paragraph, 1u);
        EXPECT_EQ(laid.lines[2].paragraph, 1u); /* U+2028 breaks the line, not the paragraph */
    }
    double a = 0, d = 0;
    EXPECT_EQ(glyvaShapeLineMetrics(nullptr, &a, &d, nullptr), 0);
}

/* The same font as TrueType, WOFF and WOFF2 lays out the same; a Type 1 font lays out
 * and meshes as its OpenType version, kerning from its AFM file. */
std::string webFont(const char *name)
{
    const std::string folder = GLYVA_WEB_FONT_DIR;
    const std::string path = folder + "/" + name;
    if (std::ifstream(path).good())
        return path;
    const std::string command = "/usr/bin/python3 " + std::string(GLYVA_SOURCE_DIR) +
                                "/tests/fonts/make_layout_fixtures.py --web " + folder;
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return path;
}

TEST(Paragraph, WebAndType1FontsLayOutAsTheirOpenTypeOriginals)
{
    const std::string text = "Office AVATAR Wave, 2024!";
    for (const std::vector<std::string> &row : caseRows("shaping.txt", "same")) {
        SCOPED_TRACE(row[2]);
        ShapeFont original(caseFont(row[1]));
        ShapeFont other(row[2][0] == '+' ? webFont(row[2].c_str() + 1) : caseFont(row[2]));
        ASSERT_EQ(other.status, GLYVA_SHAPE_OK) << other.message;
        glyvaLayoutOptions options{};
        options.features = row[3] == "-" ? "" : row[3].c_str();
        const LaidOut a = layOut({original.font}, text, options);
        const LaidOut b = layOut({other.font}, text, options);
        ASSERT_EQ(a.glyphs.size(), b.glyphs.size());
        for (size_t i = 0; i < a.glyphs.size(); ++i) {
            SCOPED_TRACE("glyph " + std::to_string(i));
            EXPECT_EQ(a.glyphs[i].cluster, b.glyphs[i].cluster);
            EXPECT_NEAR(a.glyphs[i].x, b.glyphs[i].x, 1e-9);
            if (row[3] == "-") {
                EXPECT_EQ(a.glyphs[i].glyphIndex, b.glyphs[i].glyphIndex);
            }
            EXPECT_NEAR(meshArea(indexMesh(original.font, a.glyphs[i].glyphIndex)),
                        meshArea(indexMesh(other.font, b.glyphs[i].glyphIndex)), 1e-4);
        }
    }
    /* Kerning from the AFM moves V against A in the Type 1 font. */
    ShapeFont type1(kNimbusSansType1);
    const LaidOut kerned = layOut({type1.font}, "AV");
    glyvaLayoutOptions plain{};
    plain.features = "-kern";
    const LaidOut unkerned = layOut({type1.font}, "AV", plain);
    ASSERT_EQ(kerned.glyphs.size(), 2u);
    EXPECT_LT(kerned.glyphs[1].x, unkerned.glyphs[1].x - 0.02);
}

/* Every character of the text belongs to exactly one cluster of one glyph record, the
 * lines cover the text in order without gaps, and each glyph lies in its line. */
void expectNothingLost(const LaidOut &laid, const std::string &text)
{
    uint32_t next = 0;
    for (size_t l = 0; l < laid.lines.size(); ++l) {
        const glyvaLayoutLine &line = laid.lines[l];
        EXPECT_EQ(line.firstByte, next) << "line " << l;
        next = line.firstByte + line.byteLength;
        EXPECT_LE(line.firstGlyph + line.glyphCount, laid.glyphs.size());
        for (uint32_t g = line.firstGlyph; g < line.firstGlyph + line.glyphCount; ++g) {
            EXPECT_EQ(laid.glyphs[g].line, l);
            EXPECT_GE(laid.glyphs[g].cluster, line.firstByte);
            EXPECT_LT(laid.glyphs[g].cluster, next);
        }
    }
    EXPECT_EQ(next, text.size());
    const std::vector<uint32_t> offsets = characterOffsets(text);
    std::set<uint32_t> clusters;
    for (const glyvaLayoutGlyph &g : laid.glyphs) {
        EXPECT_TRUE(std::binary_search(offsets.begin(), offsets.end() - 1, g.cluster))
            << "cluster " << g.cluster << " inside a character";
        clusters.insert(g.cluster);
    }
    EXPECT_TRUE(text.empty() || clusters.count(0)) << "the first character has no glyph";
}

TEST(Paragraph, HostileAndOddTextLosesNothing)
{
    ShapeFont dejavu(kDejaVuSans), arabic(kNotoSansArabic);
    std::vector<std::string> texts = {std::string(300, ' ') + "x"};
    for (const std::vector<std::string> &row : caseRows("shaping.txt", "odd"))
        texts.push_back(nlohmann::json::parse(row[1]).get<std::string>());
    for (const std::string &text : texts) {
        SCOPED_TRACE("'" + text + "'");
        for (double width : {0.0, 0.01, 3.0}) {
            glyvaLayoutOptions options{};
            options.width = width;
            options.align = GLYVA_LAYOUT_ALIGN_CENTER;
            const LaidOut laid = layOut({dejavu.font, arabic.font}, text, options);
            ASSERT_EQ(laid.status, GLYVA_SHAPE_OK) << laid.message;
            expectNothingLost(laid, text);
        }
    }
}

TEST(Paragraph, WrappedLinesFitTheWidthAndAlign)
{
    ShapeFont font(kDejaVuSans);
    const std::string text = "The quick brown fox jumps over the lazy dog; pack my box with "
                             "five dozen liquor jugs. Sphinx of black quartz, judge my vow.";
    for (int32_t align :
         {GLYVA_LAYOUT_ALIGN_LEFT, GLYVA_LAYOUT_ALIGN_CENTER, GLYVA_LAYOUT_ALIGN_RIGHT}) {
        for (double width : {4.0, 7.5, 20.0}) {
            SCOPED_TRACE("align " + std::to_string(align) + " width " + std::to_string(width));
            glyvaLayoutOptions options{};
            options.width = width;
            options.align = align;
            const LaidOut laid = layOut({font.font}, text, options);
            ASSERT_EQ(laid.status, GLYVA_SHAPE_OK);
            EXPECT_EQ(laid.notices, 0u) << laid.noticeText;
            expectNothingLost(laid, text); /* the lines join up to the text */
            for (size_t l = 0; l < laid.lines.size(); ++l) {
                const glyvaLayoutLine &line = laid.lines[l];
                const std::string part = text.substr(line.firstByte, line.byteLength);
                EXPECT_LE(line.width, width + 1e-9) << part;
                const double slack = width - line.width;
                const double expectedLeft = align == GLYVA_LAYOUT_ALIGN_LEFT     ? 0.0
                                            : align == GLYVA_LAYOUT_ALIGN_CENTER ? slack / 2
                                                                                 : slack;
                EXPECT_NEAR(line.left, expectedLeft, 1e-9) << part;
                /* Breaks only after spaces; the next word would not have fitted. */
                if (l + 1 < laid.lines.size()) {
                    EXPECT_EQ(part.back(), ' ') << part;
                    const std::string next = text.substr(laid.lines[l + 1].firstByte);
                    const LaidOut longer =
                        layOut({font.font}, part + next.substr(0, next.find(' ')));
                    EXPECT_GT(longer.lines[0].width, width) << part;
                }
            }
        }
    }
    /* A width smaller than one glyph: a word per line, and a notice. */
    glyvaLayoutOptions narrow{};
    narrow.width = 0.1;
    const LaidOut laid = layOut({font.font}, "ab cd", narrow);
    EXPECT_EQ(laid.lines.size(), 2u);
    EXPECT_EQ(laid.notices, static_cast<uint32_t>(GLYVA_LAYOUT_OVERFLOW));
    EXPECT_NE(laid.noticeText.find("line 1 is wider than the width of 0.1 em"), std::string::npos)
        << laid.noticeText;
}

TEST(Paragraph, LetterSpacingAndAlignmentMoveGlyphs)
{
    ShapeFont font(kDejaVuSans);
    glyvaLayoutOptions spaced{};
    spaced.letterSpacing = 0.25;
    spaced.align = GLYVA_LAYOUT_ALIGN_LEFT;
    const LaidOut plain = layOut({font.font}, "office");
    const LaidOut wide = layOut({font.font}, "office", spaced);
    ASSERT_EQ(plain.glyphs.size(), wide.glyphs.size()); /* o, ffi, c, e */
    for (size_t i = 0; i < plain.glyphs.size(); ++i)
        EXPECT_NEAR(wide.glyphs[i].x, plain.glyphs[i].x + 0.25 * static_cast<double>(i), 1e-12);
    /* Start alignment follows the paragraph: a right-to-left line ends at x = 0. */
    const LaidOut hebrew = layOut({font.font}, "\u05e9\u05dc\u05d5\u05dd");
    ASSERT_EQ(hebrew.lines.size(), 1u);
    EXPECT_EQ(hebrew.lines[0].paragraphLevel, 1);
    EXPECT_NEAR(hebrew.lines[0].left + hebrew.lines[0].width, 0.0, 1e-12);
    EXPECT_EQ(plain.lines[0].left, 0.0);
}

/* The options of a row of tests/cases/shaping.txt; the texts point into the row. */
glyvaLayoutOptions layoutOptions(std::map<std::string, std::string> &v)
{
    auto text = [&](const char *name) { return v.count(name) ? v[name].c_str() : nullptr; };
    auto number = [&](const char *name) { return std::strtod(v[name].c_str(), nullptr); };
    return {text("script"),
            text("language"),
            text("features"),
            static_cast<int32_t>(number("direction")),
            static_cast<int32_t>(number("align")),
            number("width"),
            number("line-spacing"),
            number("letter-spacing")};
}

/* The layout and the shaping call check text and tags alike. */
TEST(Paragraph, BadTextAndOptionsAreRefusedByBothCalls)
{
    ShapeFont font(kDejaVuSans);
    for (const std::vector<std::string> &row : caseRows("shaping.txt", "refuse")) {
        SCOPED_TRACE(row[1] + " " + row[2]);
        const std::string text = hexBytes(row[1].c_str());
        std::map<std::string, std::string> values = optionValues(row[2]);
        const glyvaLayoutOptions o = layoutOptions(values);
        const LaidOut laid = layOut({font.font}, text, o);
        EXPECT_EQ(statusName(laid.status), row[3]);
        EXPECT_NE(laid.message.find(row[4]), std::string::npos) << laid.message;
        EXPECT_TRUE(laid.glyphs.empty());
        if (row[5] != "both")
            continue;
        const glyvaShapeOptions shaping{o.script, o.language, o.features, o.direction};
        const glyvaShapedGlyph *g = nullptr;
        EXPECT_EQ(glyvaShapeText(font.font, text.c_str(), -1, &shaping, &g), -1);
        EXPECT_NE(std::string(glyvaShapeError(font.font)).find(row[4]), std::string::npos)
            << glyvaShapeError(font.font);
    }
    glyvaShapeLayout *layout = reinterpret_cast<glyvaShapeLayout *>(1);
    glyvaShapeFont *faces[] = {font.font, nullptr};
    char message[64];
    EXPECT_EQ(glyvaShapeLayoutText(&layout, faces, 2, "x", 1, nullptr, message, sizeof message),
              GLYVA_SHAPE_BAD_ARGUMENT);
    EXPECT_STREQ(message, "face 1 is null");
    EXPECT_EQ(layout, nullptr);
    EXPECT_EQ(glyvaShapeLayoutText(&layout, faces, 0, "x", 1, nullptr, nullptr, 0),
              GLYVA_SHAPE_BAD_ARGUMENT);
    EXPECT_EQ(glyvaShapeLayoutText(nullptr, faces, 1, "x", 1, nullptr, nullptr, 0),
              GLYVA_SHAPE_BAD_ARGUMENT);
    EXPECT_EQ(glyvaShapeLayoutText(&layout, faces, 1, nullptr, 0, nullptr, nullptr, 0),
              GLYVA_SHAPE_BAD_TEXT);
    EXPECT_EQ(glyvaShapeLayoutGlyphs(nullptr, nullptr), 0);
    EXPECT_EQ(glyvaShapeLayoutNotices(nullptr, nullptr), 0u);
    glyvaShapeLayoutDestroy(nullptr);
}

} // namespace

#endif
