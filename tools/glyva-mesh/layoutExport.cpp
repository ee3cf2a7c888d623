#include "layoutExport.h"

#include <fstream>

#include <nlohmann/json.hpp>

namespace glyvamesh
{
bool writeLayout(const std::string &path, const std::string &text, const Paragraphs &layout,
                 const std::vector<std::string> &fonts, float size, std::string *error)
{
    const std::vector<std::string> texts = clusterTexts(text, layout);
    nlohmann::ordered_json glyphs = nlohmann::ordered_json::array();
    for (size_t i = 0; i < layout.glyphs.size(); ++i) {
        const glyvaLayoutGlyph &g = layout.glyphs[i];
        glyphs.push_back({{"line", g.line},
                          {"cluster", g.cluster},
                          {"text", texts[i]},
                          {"font", g.face < fonts.size() ? fonts[g.face] : std::string()},
                          {"glyph", g.glyphIndex},
                          {"x", g.x * size},
                          {"y", g.y * size},
                          {"advance", g.advance * size}});
    }
    const nlohmann::ordered_json document = {{"lines", layout.lines.size()}, {"glyphs", glyphs}};
    std::ofstream out(path, std::ios::binary);
    out << document.dump(1) << "\n";
    out.close();
    if (!out) {
        *error = "cannot write the layout";
        return false;
    }
    return true;
}

} // namespace glyvamesh
