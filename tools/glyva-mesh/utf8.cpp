#include "utf8.h"

namespace glyvamesh
{
namespace
{

constexpr uint32_t kReplacement = 0xFFFD;

/* Bounds of the second byte, which exclude overlong forms, surrogates and values past
 * U+10FFFF; later continuation bytes are always 0x80..0xBF. */
struct LeadRule {
    int length;
    uint8_t secondMin;
    uint8_t secondMax;
};

LeadRule ruleFor(uint8_t lead)
{
    if (lead < 0x80)
        return {1, 0, 0};
    if (lead >= 0xC2 && lead <= 0xDF)
        return {2, 0x80, 0xBF};
    if (lead == 0xE0)
        return {3, 0xA0, 0xBF};
    if (lead == 0xED)
        return {3, 0x80, 0x9F};
    if (lead >= 0xE1 && lead <= 0xEF)
        return {3, 0x80, 0xBF};
    if (lead == 0xF0)
        return {4, 0x90, 0xBF};
    if (lead >= 0xF1 && lead <= 0xF3)
        return {4, 0x80, 0xBF};
    if (lead == 0xF4)
        return {4, 0x80, 0x8F};
    return {0, 0, 0};
}

/* Decodes one character at i; returns the bytes taken, or the length of the maximal
 * ill-formed subpart (at least 1) with *valid cleared. */
size_t decodeOne(const std::string &s, size_t i, uint32_t *code, bool *valid)
{
    const auto lead = static_cast<uint8_t>(s[i]);
    const LeadRule rule = ruleFor(lead);
    *valid = false;
    if (rule.length == 0)
        return 1;
    if (rule.length == 1) {
        *code = lead;
        *valid = true;
        return 1;
    }
    uint32_t value = lead & (0xFFu >> (rule.length + 1));
    for (int k = 1; k < rule.length; ++k) {
        if (i + k >= s.size())
            return k;
        const auto byte = static_cast<uint8_t>(s[i + k]);
        const uint8_t lo = k == 1 ? rule.secondMin : 0x80;
        const uint8_t hi = k == 1 ? rule.secondMax : 0xBF;
        if (byte < lo || byte > hi)
            return k;
        value = (value << 6) | (byte & 0x3Fu);
    }
    *code = value;
    *valid = true;
    return static_cast<size_t>(rule.length);
}

} // namespace

DecodedText decodeUtf8(const std::string &bytes)
{
    DecodedText out;
    size_t i = 0;
    while (i < bytes.size()) {
        uint32_t code = 0;
        bool valid = false;
        i += decodeOne(bytes, i, &code, &valid);
        if (!valid) {
            code = kReplacement;
            ++out.invalidSequences;
        }
        out.codes.push_back(code);
    }
    return out;
}

std::string encodeUtf8(uint32_t code)
{
    std::string s;
    if (code < 0x80) {
        s += static_cast<char>(code);
    } else if (code < 0x800) {
        s += static_cast<char>(0xC0 | (code >> 6));
        s += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        s += static_cast<char>(0xE0 | (code >> 12));
        s += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        s += static_cast<char>(0xF0 | (code >> 18));
        s += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        s += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (code & 0x3F));
    }
    return s;
}

} // namespace glyvamesh
