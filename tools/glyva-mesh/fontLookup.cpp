#include "fontLookup.h"

#include <fontconfig/fontconfig.h>
#include <strings.h>
#include <unistd.h>

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
