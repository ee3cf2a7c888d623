#include "support/shaping.hh"

#include <codecvt>
#include <cstdio>
#include <cstdlib>
#include <locale>
#include <sstream>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "support/support.hh"

namespace glyva_test
{

const char *const kNotoSansArabic = "/usr/share/fonts/truetype/noto/NotoSansArabic-Regular.ttf";
const char *const kNotoNaskhArabic = "/usr/share/fonts/truetype/noto/NotoNaskhArabic-Regular.ttf";
const char *const kNotoDevanagari = "/usr/share/fonts/truetype/noto/NotoSansDevanagari-Regular.ttf";
const char *const kNotoSansCJK = "/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc";
const char *const kNimbusSansType1 = "/usr/share/fonts/type1/urw-base35/NimbusSans-Regular.t1";
const char *const kNimbusSansOtf = "/usr/share/fonts/opentype/urw-base35/NimbusSans-Regular.otf";

ShapeFont::ShapeFont(const std::string &path, int32_t face, const char *instance)
{
    char text[256];
    status = glyvaShapeOpen(&font, path.c_str(), face, instance, text, sizeof text);
    message = text;
}

std::string caseFont(const std::string &name)
{
    if (name[0] == '@')
        return fixture(name.substr(1));
    if (name[0] == '/')
        return name;
    for (const std::string path :
         {kDejaVuSans, kLiberationSans, kFreeSans, kNotoSansArabic, kNotoNaskhArabic,
          kNotoDevanagari, kNotoSansCJK, kNimbusSansOtf, kNimbusSansType1}) {
        const std::string file = path.substr(path.rfind('/') + 1);
        if (file == name || file.substr(0, file.find_first_of("-.")) == name)
            return path;
    }
    ADD_FAILURE() << "no font " << name;
    return name;
}

std::map<std::string, std::string> optionValues(const std::string &options)
{
    std::map<std::string, std::string> values;
    std::istringstream in(options);
    std::string name;
    for (std::string word; in >> word;) {
        const size_t equals = word.find('=');
        if (word.rfind("--", 0) == 0 && equals != std::string::npos)
            values[name = word.substr(2, equals - 2)] = word.substr(equals + 1);
        else if (!name.empty())
            values[name] += " " + word; /* a value with a space, such as a bad language */
    }
    return values;
}

std::string statusName(int32_t status)
{
    static const char *const kNames[] = {"OK",           "BAD_ARGUMENT", "BAD_FILE", "BAD_FACE",
                                         "BAD_INSTANCE", "NO_MEMORY",    "BAD_TEXT", "BAD_OPTION"};
    return status >= 0 && status < 8 ? kNames[status] : std::to_string(status);
}

Mesh indexMesh(glyvaShapeFont *font, uint32_t glyph)
{
    Mesh m;
    const float *v = nullptr;
    const int32_t *t = nullptr;
    int32_t nv = -1, nt = -1;
    EXPECT_EQ(glyvaShapeGlyphMesh(font, glyph, &v, &nv, &t, &nt), 1) << glyvaShapeError(font);
    for (int32_t k = 0; k < nv; ++k)
        m.vertices.push_back({v[2 * k], v[2 * k + 1]});
    if (nt > 0)
        m.indices.assign(t, t + nt);
    return m;
}

ShapeFont::~ShapeFont()
{
    glyvaShapeClose(font);
}

ShapeFonts::ShapeFonts(const std::vector<std::string> &paths) : paths(paths)
{
    for (const std::string &path : paths) {
        fonts.push_back(std::make_unique<ShapeFont>(path));
        EXPECT_EQ(fonts.back()->status, GLYVA_SHAPE_OK) << path << ": " << fonts.back()->message;
        faces.push_back(fonts.back()->font);
    }
}

std::vector<HbGlyph> hbShape(const std::string &font, const std::string &text,
                             const std::string &options)
{
    std::vector<HbGlyph> out;
#ifdef GLYVA_HB_SHAPE
    const std::string command = std::string(GLYVA_HB_SHAPE) +
                                " --no-glyph-names --utf8-clusters --output-format=json " +
                                options + " " + quote(font) + " " + quote(text);
    const std::string json = captureStdout([&] { EXPECT_GE(std::system(command.c_str()), 0); });
    const nlohmann::json glyphs = nlohmann::json::parse(json, nullptr, false);
    if (!glyphs.is_array())
        return out;
    for (const auto &g : glyphs)
        out.push_back({g.value("g", -1L), g.value("cl", -1L), g.value("dx", 0L), g.value("dy", 0L),
                       g.value("ax", 0L), g.value("ay", 0L)});
#else
    (void)font, (void)text, (void)options;
#endif
    return out;
}

LaidOut layOut(const std::vector<glyvaShapeFont *> &faces, const std::string &text,
               const glyvaLayoutOptions &options)
{
    LaidOut out;
    glyvaShapeLayout *layout = nullptr;
    char message[512];
    out.status = glyvaShapeLayoutText(&layout, faces.data(), static_cast<uint32_t>(faces.size()),
                                      text.data(), static_cast<int32_t>(text.size()), &options,
                                      message, sizeof message);
    out.message = message;
    const glyvaLayoutGlyph *glyphs = nullptr;
    const glyvaLayoutLine *lines = nullptr;
    const int32_t glyphCount = glyvaShapeLayoutGlyphs(layout, &glyphs);
    const int32_t lineCount = glyvaShapeLayoutLines(layout, &lines);
    out.glyphs.assign(glyphs, glyphs + glyphCount);
    out.lines.assign(lines, lines + lineCount);
    const char *notice = nullptr;
    out.notices = glyvaShapeLayoutNotices(layout, &notice);
    out.noticeText = notice ? notice : "";
    glyvaShapeLayoutDestroy(layout);
    return out;
}

std::vector<uint32_t> characterOffsets(const std::string &utf8)
{
    std::vector<uint32_t> offsets;
    for (uint32_t i = 0; i < utf8.size(); ++i)
        if ((static_cast<unsigned char>(utf8[i]) & 0xC0) != 0x80)
            offsets.push_back(i);
    offsets.push_back(static_cast<uint32_t>(utf8.size()));
    return offsets;
}

/* The standard library's own UTF-8 codec, not ours. */
using Utf8Codec = std::wstring_convert<std::codecvt_utf8<char32_t>, char32_t>;

std::string utf8(const std::vector<uint32_t> &codes)
{
    return Utf8Codec().to_bytes(std::u32string(codes.begin(), codes.end()));
}

std::vector<uint32_t> codePoints(const std::string &text)
{
    const std::u32string codes = Utf8Codec().from_bytes(text);
    return std::vector<uint32_t>(codes.begin(), codes.end());
}

} // namespace glyva_test
