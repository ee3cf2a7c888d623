#include "layoutExport.h"

#include <algorithm>
#include <fstream>

#include <nlohmann/json.hpp>

namespace glyvamesh
{
namespace
{

/* A cluster's characters run from its offset to the next cluster that starts after
 * it, whatever line or direction that cluster has. */
std::string clusterText(const std::string &text, const std::vector<uint32_t> &starts,
                        uint32_t cluster)
{
    auto next = std::upper_bound(starts.begin(), starts.end(), cluster);
    const size_t end = next == starts.end() ? text.size() : *next;
    return cluster < text.size() ? text.substr(cluster, end - cluster) : std::string();
}

} // namespace

bool writeLayout(const std::string &path, const std::string &text, const Paragraphs &layout,
                 const std::vector<std::string> &fonts, float size, std::string *error)
{
    std::vector<uint32_t> starts;
    for (const glyvaLayoutGlyph &g : layout.glyphs)
        starts.push_back(g.cluster);
    std::sort(starts.begin(), starts.end());
    starts.erase(std::unique(starts.begin(), starts.end()), starts.end());
    nlohmann::ordered_json glyphs = nlohmann::ordered_json::array();
    for (const glyvaLayoutGlyph &g : layout.glyphs) {
        glyphs.push_back({{"line", g.line},
                          {"cluster", g.cluster},
                          {"text", clusterText(text, starts, g.cluster)},
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
