#ifndef TESTS_SUPPORT_SHAPING_HH
#define TESTS_SUPPORT_SHAPING_HH

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "shape/glyvaShape.h"
#include "support/glyph.hh"

namespace glyva_test
{

/* Debian fonts the shaping tests compare against; the setup installs them. */
extern const char *const kNotoSansArabic;
extern const char *const kNotoNaskhArabic;
extern const char *const kNotoDevanagari;
extern const char *const kNotoSansCJK; /* a collection: face 0 is Japanese */
extern const char *const kNimbusSansType1;
extern const char *const kNimbusSansOtf;

/* A shaping handle, closed at scope exit. */
struct ShapeFont {
    glyvaShapeFont *font = nullptr;
    int32_t status = -1;
    std::string message;
    explicit ShapeFont(const std::string &path, int32_t face = 0, const char *instance = nullptr);
    ~ShapeFont();
    ShapeFont(const ShapeFont &) = delete;
    ShapeFont &operator=(const ShapeFont &) = delete;
};

/* Handles on several fonts, in order: a layout's faces. */
struct ShapeFonts {
    std::vector<std::string> paths;
    std::vector<std::unique_ptr<ShapeFont>> fonts;
    std::vector<glyvaShapeFont *> faces;
    explicit ShapeFonts(const std::vector<std::string> &paths);
};

/* A font named in tests/cases/shaping.txt: a Debian font above by its file name, or by
 * that name up to '-' or '.', @name for a fixture font, or a path. */
std::string caseFont(const std::string &name);

/* Options written as hb-shape takes them, by name: "--script=Arab" is script Arab; "-"
 * is none. */
std::map<std::string, std::string> optionValues(const std::string &options);

/* "BAD_FILE" for GLYVA_SHAPE_BAD_FILE. */
std::string statusName(int32_t status);

/* The mesh by glyph index, as readMesh reads the font API's by character. */
Mesh indexMesh(glyvaShapeFont *font, uint32_t glyph);

/* One glyph as HarfBuzz's own hb-shape prints it: font units, clusters as byte offsets
 * into the text it was given. */
struct HbGlyph {
    long g, cl, dx, dy, ax, ay;
};

/* hb-shape on text with extra options such as "--direction=rtl --script=Arab"; empty
 * when hb-shape is not there (GLYVA_HB_SHAPE undefined). */
std::vector<HbGlyph> hbShape(const std::string &font, const std::string &text,
                             const std::string &options);

/* A paragraph layout copied out of the library. */
struct LaidOut {
    int32_t status = -1;
    std::string message;
    std::vector<glyvaLayoutGlyph> glyphs;
    std::vector<glyvaLayoutLine> lines;
    uint32_t notices = 0;
    std::string noticeText;
};

LaidOut layOut(const std::vector<glyvaShapeFont *> &faces, const std::string &text,
               const glyvaLayoutOptions &options = {});

/* Byte offset of every character of well-formed UTF-8, and the text's length last. */
std::vector<uint32_t> characterOffsets(const std::string &utf8);

/* Code points as UTF-8, and the code points of well-formed UTF-8. */
std::string utf8(const std::vector<uint32_t> &codes);
std::vector<uint32_t> codePoints(const std::string &utf8);

} // namespace glyva_test

#endif
