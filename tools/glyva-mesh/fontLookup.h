#ifndef TOOLS_GLYVA_MESH_FONTLOOKUP_H
#define TOOLS_GLYVA_MESH_FONTLOOKUP_H

#include <cstdint>
#include <string>
#include <vector>

namespace glyvamesh
{

struct FontChoice {
    std::string path;
    /* Set when fontconfig substituted another family for the requested name. */
    std::string substitutedFamily;
};

/* True when the argument of --font names a file rather than a family: it has a
 * directory part or a font file extension. */
bool looksLikeFontPath(const std::string &arg);

/* The file for --font NAME (or for DejaVu Sans when name is empty), through
 * fontconfig; the Debian path of DejaVu Sans when fontconfig has no DejaVu Sans. False
 * with error set when nothing fits. */
bool resolveFont(const std::string &name, FontChoice *choice, std::string *error);

/* A font fontconfig proposes for characters the chosen font lacks. */
struct FallbackFont {
    std::string path;
    int face = 0;
    std::string family;
    /* The characters it was chosen for, in order of first use. */
    std::vector<uint32_t> codes;
};

/* Fonts for the characters of codes that face `face` of the file at path lacks, as a
 * desktop text view finds them: fontconfig sorts the installed outline fonts by
 * likeness to the chosen font's family, and each character takes the first of them
 * that has it. Characters no font has stay out of every proposal. */
std::vector<FallbackFont> proposeFallbacks(const std::string &path, int face,
                                           const std::vector<uint32_t> &codes);

/* The characters the font file maps, in increasing order, as fontconfig reads its
 * character map; empty when fontconfig cannot read the file. */
std::vector<uint32_t> fontCharacters(const std::string &path);

} // namespace glyvamesh

#endif
