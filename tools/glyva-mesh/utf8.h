#ifndef TOOLS_GLYVA_MESH_UTF8_H
#define TOOLS_GLYVA_MESH_UTF8_H

#include <cstdint>
#include <string>
#include <vector>

namespace glyvamesh
{

struct DecodedText {
    std::vector<uint32_t> codes;
    /* Ill-formed sequences, each replaced by one U+FFFD. */
    size_t invalidSequences = 0;
};

/* Strict UTF-8: overlong forms, surrogates and values above U+10FFFF are ill-formed,
 * and every maximal ill-formed subpart becomes one U+FFFD, as Unicode recommends. */
DecodedText decodeUtf8(const std::string &bytes);

/* The character as UTF-8, for messages. */
std::string encodeUtf8(uint32_t code);

} // namespace glyvamesh

#endif
