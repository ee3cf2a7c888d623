#ifndef PYTHON_SRC_FONT_HH
#define PYTHON_SRC_FONT_HH

#include <cstdint>
#include <optional>
#include <string>

#include <pybind11/pybind11.h>

#include "results.hh"
#include "shape/glyvaShape.h"

namespace glyvapy
{

/* A face of a font file through the shaping library. It owns the library's handle and
 * releases it on close(), on leaving a with block, or when collected, whichever comes
 * first. Every call holds the interpreter lock, which keeps one handle to one thread at
 * a time as the library requires. */
class Font
{
  public:
    Font(pybind11::object font, int32_t face, std::optional<std::string> instance, int32_t quality);
    ~Font();
    Font(const Font &) = delete;
    Font &operator=(const Font &) = delete;

    void close();
    bool closed() const { return handle_ == nullptr; }

    const std::string &path() const { return path_; }
    int32_t face() const { return face_; }
    const std::optional<std::string> &instance() const { return instance_; }
    int32_t unitsPerEm() const;
    int32_t glyphCount() const;
    float ascender() const;
    float descender() const;
    int32_t quality() const;
    void setQuality(int32_t percent);

    ShapedText shape(pybind11::object text, std::optional<std::string> script,
                     std::optional<std::string> language, const std::string &direction,
                     pybind11::object features);
    glyphInfoRecord glyphInfo(int64_t glyph);
    Mesh glyphMesh(int64_t glyph);
    Outline glyphOutline(int64_t glyph);

    /* The open handle; ValueError once closed, as for a closed file. */
    glyvaShapeFont *handle() const;

  private:
    [[noreturn]] void failGlyph() const;

    glyvaShapeFont *handle_ = nullptr;
    std::string path_;
    int32_t face_ = 0;
    std::optional<std::string> instance_;
};

/* Adds Font to the module. Paragraph layout over fallback faces and the scenes made of
 * a layout bind beside it, each from a file of its own. */
void bindFont(pybind11::module_ &m);

} // namespace glyvapy

#endif
