#include "fontLookup.h"

#include <fontconfig/fontconfig.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <map>

namespace glyvamesh
{
namespace
{

constexpr const char *kDefaultFamily = "DejaVu Sans";
constexpr const char *kDefaultPath = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

bool endsWithNoCase(const std::string &s, const char *suffix)
{
    const size_t n = std::char_traits<char>::length(suffix);
    return s.size() >= n && strcasecmp(s.c_str() + s.size() - n, suffix) == 0;
}

std::string patternString(FcPattern *pattern, const char *object)
{
    FcChar8 *value = nullptr;
    if (FcPatternGetString(pattern, object, 0, &value) != FcResultMatch || !value)
        return {};
    return reinterpret_cast<const char *>(value);
}

/* fontconfig always answers with its best match, so the family that came back tells
 * whether the name was found or replaced. */
bool matchFamily(const std::string &name, std::string *path, std::string *family)
{
    FcPattern *pattern = FcNameParse(reinterpret_cast<const FcChar8 *>(name.c_str()));
    if (!pattern)
        return false;
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern *match = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    if (!match)
        return false;
    *path = patternString(match, FC_FILE);
    *family = patternString(match, FC_FAMILY);
    FcPatternDestroy(match);
    return !path->empty();
}

std::string requestedFamily(const std::string &name)
{
    const size_t cut = name.find_first_of(":-");
    return cut == std::string::npos ? name : name.substr(0, cut);
}

} // namespace

bool looksLikeFontPath(const std::string &arg)
{
    if (arg.find('/') != std::string::npos)
        return true;
    for (const char *ext : {".ttf", ".otf", ".ttc", ".otc", ".pfb", ".pfa", ".woff", ".woff2",
                            ".dfont", ".pcf", ".cff"}) {
        if (endsWithNoCase(arg, ext))
            return true;
    }
    return false;
}

bool resolveFont(const std::string &name, FontChoice *choice, std::string *error)
{
    const std::string wanted = name.empty() ? kDefaultFamily : name;
    std::string path;
    std::string family;
    const bool matched = matchFamily(wanted, &path, &family);
    const bool sameFamily =
        matched && strcasecmp(family.c_str(), requestedFamily(wanted).c_str()) == 0;
    if (name.empty() && !sameFamily) {
        if (access(kDefaultPath, R_OK) == 0) {
            *choice = {kDefaultPath, {}};
            return true;
        }
        *error = "no DejaVu Sans font found (install fonts-dejavu-core or pass --font)";
        return false;
    }
    if (!matched) {
        *error = "no font matches '" + name + "'";
        return false;
    }
    *choice = {path, sameFamily ? std::string() : family};
    return true;
}

namespace
{

/* Controls, separators and default-ignorable characters are the layout's business,
 * not a font's: no font is looked for them. */
bool needsAGlyph(uint32_t c)
{
    return c >= 0x20 && !(c >= 0x7F && c < 0xA0) && !(c >= 0x200B && c <= 0x200F) &&
           !(c >= 0x2028 && c <= 0x202E) && !(c >= 0x2060 && c <= 0x206F) &&
           !(c >= 0xFE00 && c <= 0xFE0F) && c != 0xFEFF && !(c >= 0xE0000 && c <= 0xE0FFF);
}

/* The font's own pattern as fontconfig reads the file: family and character set. */
FcPattern *queryFont(const std::string &path, int face)
{
    int faces = 0;
    return FcFreeTypeQuery(reinterpret_cast<const FcChar8 *>(path.c_str()), face, nullptr, &faces);
}

std::vector<uint32_t> lackedCharacters(FcPattern *font, const std::vector<uint32_t> &codes)
{
    FcCharSet *has = nullptr;
    FcPatternGetCharSet(font, FC_CHARSET, 0, &has);
    std::vector<uint32_t> lacked;
    for (uint32_t c : codes) {
        if (needsAGlyph(c) && (!has || !FcCharSetHasChar(has, c)) &&
            std::find(lacked.begin(), lacked.end(), c) == lacked.end())
            lacked.push_back(c);
    }
    return lacked;
}

/* Installed fonts sorted by likeness to the family, those adding no characters left
 * out (fontconfig's trim). */
FcFontSet *sortedFonts(const std::string &family)
{
    FcPattern *pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8 *>(family.c_str()));
    FcPatternAddBool(pattern, FC_OUTLINE, FcTrue);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcFontSet *sorted = FcFontSort(nullptr, pattern, FcTrue, nullptr, &result);
    FcPatternDestroy(pattern);
    return sorted;
}

/* The first sorted outline font that has c other than the chosen one, or -1. */
int firstWith(FcFontSet *fonts, uint32_t c, const std::string &path, int face)
{
    for (int i = 0; fonts && i < fonts->nfont; ++i) {
        FcPattern *font = fonts->fonts[i];
        FcCharSet *has = nullptr;
        FcBool outline = FcFalse;
        int index = 0;
        FcPatternGetBool(font, FC_OUTLINE, 0, &outline);
        FcPatternGetInteger(font, FC_INDEX, 0, &index);
        if (!outline || FcPatternGetCharSet(font, FC_CHARSET, 0, &has) != FcResultMatch ||
            !FcCharSetHasChar(has, c))
            continue;
        /* The high bits of a fontconfig index name an instance of a variable font. */
        if (patternString(font, FC_FILE) != path || (index & 0xFFFF) != face)
            return i;
    }
    return -1;
}

} // namespace

std::vector<FallbackFont> proposeFallbacks(const std::string &path, int face,
                                           const std::vector<uint32_t> &codes)
{
    std::vector<FallbackFont> proposals;
    FcPattern *chosen = queryFont(path, face);
    if (!chosen)
        return proposals;
    const std::vector<uint32_t> lacked = lackedCharacters(chosen, codes);
    FcFontSet *fonts = lacked.empty() ? nullptr : sortedFonts(patternString(chosen, FC_FAMILY));
    FcPatternDestroy(chosen);
    std::map<int, size_t> proposalOf;
    for (uint32_t c : lacked) {
        const int i = firstWith(fonts, c, path, face);
        if (i < 0)
            continue;
        auto known = proposalOf.emplace(i, proposals.size());
        if (known.second) {
            FallbackFont f;
            f.path = patternString(fonts->fonts[i], FC_FILE);
            FcPatternGetInteger(fonts->fonts[i], FC_INDEX, 0, &f.face);
            f.face &= 0xFFFF;
            f.family = patternString(fonts->fonts[i], FC_FAMILY);
            proposals.push_back(f);
        }
        proposals[known.first->second].codes.push_back(c);
    }
    if (fonts)
        FcFontSetDestroy(fonts);
    return proposals;
}

std::vector<uint32_t> fontCharacters(const std::string &path)
{
    std::vector<uint32_t> codes;
    int faces = 0;
    FcPattern *pattern =
        FcFreeTypeQuery(reinterpret_cast<const FcChar8 *>(path.c_str()), 0, nullptr, &faces);
    if (!pattern)
        return codes;
    FcCharSet *charset = nullptr;
    if (FcPatternGetCharSet(pattern, FC_CHARSET, 0, &charset) == FcResultMatch && charset) {
        FcChar32 map[FC_CHARSET_MAP_SIZE];
        FcChar32 next = 0;
        for (FcChar32 base = FcCharSetFirstPage(charset, map, &next); base != FC_CHARSET_DONE;
             base = FcCharSetNextPage(charset, map, &next)) {
            for (uint32_t word = 0; word < FC_CHARSET_MAP_SIZE; ++word) {
                for (uint32_t bit = 0; bit < 32; ++bit) {
                    if (map[word] & (1u << bit))
                        codes.push_back(base + word * 32 + bit);
                }
            }
        }
    }
    FcPatternDestroy(pattern);
    return codes;
}

} // namespace glyvamesh
