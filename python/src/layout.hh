#ifndef PYTHON_SRC_LAYOUT_HH
#define PYTHON_SRC_LAYOUT_HH

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include "shapedFace.h"

namespace glyvapy
{

/* What a paragraph layout keeps of the library's answer, shared with the scenes made
 * of it: the text, the layout's glyph and line records, and the faces' files. */
struct LaidOut {
    std::string utf8;
    glyvamesh::Paragraphs paragraphs;
    std::vector<std::string> fontPaths;
};

/* The layout's lines as arrays of L rows; ranges are start and stop, as slices take
 * them. */
struct Lines {
    pybind11::array_t<uint32_t> glyphRanges;
    pybind11::array_t<uint32_t> byteRanges;
    pybind11::array_t<double> baselines;
    pybind11::array_t<double> lefts;
    pybind11::array_t<double> widths;
    pybind11::array_t<double> ascenders;
    pybind11::array_t<double> descenders;
    pybind11::array_t<int32_t> levels;
    pybind11::array_t<uint32_t> paragraphs;
};

/* Text laid out in paragraphs and lines over faces in order of preference: the
 * library's glyph records as arrays of N rows, its lines, its notices, and the Font
 * objects the face indices refer to, kept open as long as the layout needs them. */
class Layout
{
  public:
    Layout(std::shared_ptr<const LaidOut> data, pybind11::tuple fonts);

    const std::shared_ptr<const LaidOut> &data() const { return data_; }
    /* The open handle of face index face; ValueError when that Font was closed. */
    glyvaShapeFont *face(uint32_t face) const;

    pybind11::tuple fonts;
    pybind11::array_t<uint32_t> faces;
    pybind11::array_t<uint32_t> glyphs;
    pybind11::array_t<uint32_t> clusters;
    pybind11::array_t<uint32_t> lineIndices;
    pybind11::array_t<double> positions;
    pybind11::array_t<double> advances;
    Lines lines;

  private:
    std::shared_ptr<const LaidOut> data_;
};

/* Adds Layout, Lines and layout() to the module; after Font, which they take. */
void bindLayout(pybind11::module_ &m);

} // namespace glyvapy

#endif
