#include "layout.hh"

#include <memory>
#include <optional>
#include <utility>

#include "arguments.hh"
#include "errors.hh"
#include "font.hh"
#include "fontLookup.h"
#include "results.hh"
#include "scene.hh"
#include "utf8.h"

namespace py = pybind11;

namespace glyvapy
{
namespace
{

/* A Font as it is, or one opened with the defaults from a path or fontconfig name. */
py::object asFont(const py::handle &font)
{
    if (py::isinstance<Font>(font))
        return py::reinterpret_borrow<py::object>(font);
    return py::type::of<Font>()(font);
}

bool isOneFont(const py::object &fonts)
{
    return py::isinstance<Font>(fonts) || py::isinstance<py::str>(fonts) ||
           py::isinstance<py::bytes>(fonts) || py::hasattr(fonts, "__fspath__");
}

std::vector<py::object> fontList(const py::object &fonts)
{
    std::vector<py::object> list;
    if (isOneFont(fonts)) {
        list.push_back(asFont(fonts));
        return list;
    }
    for (const py::handle font : fonts)
        list.push_back(asFont(font));
    if (list.empty())
        throw py::value_error("no fonts given");
    return list;
}

/* fontconfig's proposals for the characters the first font lacks, opened at its
 * quality after the given fonts; one the library cannot open is passed over with a
 * RuntimeWarning. */
void addFallbacks(std::vector<py::object> &fonts, const std::string &utf8)
{
    const Font &first = fonts.front().cast<const Font &>();
    const int32_t quality = first.quality();
    const std::vector<uint32_t> codes = glyvamesh::decodeUtf8(utf8).codes;
    for (const glyvamesh::FallbackFont &f :
         glyvamesh::proposeFallbacks(first.path(), first.face(), codes)) {
        try {
            auto font = std::make_unique<Font>(py::str(f.path), f.face, std::nullopt, quality);
            fonts.push_back(py::cast(std::move(font)));
        } catch (const Error &e) {
            const std::string message = "fallback font passed over: " + std::string(e.what());
            if (PyErr_WarnEx(PyExc_RuntimeWarning, message.c_str(), 1) != 0)
                throw py::error_already_set();
        }
    }
}

/* The keyword arguments of scene() and mesh() as the core takes them; sceneOf checks
 * them. */
glyvamesh::SolidSettings solidSettings(double depth, double bevel, double bevelDepth,
                                       int bevelSegments, bool frontOnly)
{
    glyvamesh::SolidSettings s;
    s.depth = static_cast<float>(depth);
    s.bevel = static_cast<float>(bevel);
    s.bevelDepth = static_cast<float>(bevelDepth);
    s.bevelSegments = bevelSegments;
    s.frontOnly = frontOnly;
    return s;
}

[[noreturn]] void failLayout(int32_t status, const std::string &message)
{
    switch (status) {
    case GLYVA_SHAPE_BAD_TEXT:
    case GLYVA_SHAPE_BAD_OPTION:
        throw Error(ErrorKind::Shaping, message);
    case GLYVA_SHAPE_NO_MEMORY:
        throw std::bad_alloc();
    default:
        throw py::value_error(message);
    }
}

glyvamesh::ParagraphSettings settingsOf(const std::string &direction, const std::string &align,
                                        double width, double lineSpacing, double letterSpacing,
                                        const std::optional<std::string> &script,
                                        const std::optional<std::string> &language,
                                        const py::object &features)
{
    glyvamesh::ParagraphSettings settings;
    settings.script = script ? cText(*script, "script") : "";
    settings.language = language ? cText(*language, "language") : "";
    const std::optional<std::string> featureList = featureText(features);
    settings.features = featureList ? cText(*featureList, "features") : "";
    settings.direction = choice(direction, "direction",
                                {{"auto", GLYVA_LAYOUT_DIRECTION_AUTO},
                                 {"ltr", GLYVA_LAYOUT_DIRECTION_LTR},
                                 {"rtl", GLYVA_LAYOUT_DIRECTION_RTL}});
    settings.align = choice(align, "align",
                            {{"start", GLYVA_LAYOUT_ALIGN_START},
                             {"left", GLYVA_LAYOUT_ALIGN_LEFT},
                             {"center", GLYVA_LAYOUT_ALIGN_CENTER},
                             {"right", GLYVA_LAYOUT_ALIGN_RIGHT},
                             {"end", GLYVA_LAYOUT_ALIGN_END}});
    settings.width = width;
    settings.lineSpacing = lineSpacing;
    settings.letterSpacing = letterSpacing;
    return settings;
}

Layout layOut(const py::object &text, const py::object &fonts, const std::string &direction,
              const std::string &align, double width, double lineSpacing, double letterSpacing,
              const std::optional<std::string> &script, const std::optional<std::string> &language,
              const py::object &features, bool fallback)
{
    auto data = std::make_shared<LaidOut>();
    data->utf8 = utf8Text(text);
    const glyvamesh::ParagraphSettings settings =
        settingsOf(direction, align, width, lineSpacing, letterSpacing, script, language, features);
    std::vector<py::object> fontObjects = fontList(fonts);
    if (fallback)
        addFallbacks(fontObjects, data->utf8);
    std::vector<glyvaShapeFont *> handles;
    for (const py::object &font : fontObjects) {
        const Font &f = font.cast<const Font &>();
        handles.push_back(f.handle());
        data->fontPaths.push_back(f.path());
    }
    std::string error;
    const int32_t status =
        glyvamesh::layOutParagraphs(handles, data->utf8, settings, &data->paragraphs, &error);
    if (status != GLYVA_SHAPE_OK)
        failLayout(status, error);
    return Layout(data, py::tuple(py::cast(fontObjects)));
}

Lines copyLines(const std::vector<glyvaLayoutLine> &lines)
{
    const py::ssize_t n = static_cast<py::ssize_t>(lines.size());
    Lines out{rows<uint32_t>(n, 2),   rows<uint32_t>(n, 2),    py::array_t<double>(n),
              py::array_t<double>(n), py::array_t<double>(n),  py::array_t<double>(n),
              py::array_t<double>(n), py::array_t<int32_t>(n), py::array_t<uint32_t>(n)};
    auto glyphs = out.glyphRanges.mutable_unchecked<2>();
    auto bytes = out.byteRanges.mutable_unchecked<2>();
    for (py::ssize_t i = 0; i < n; ++i) {
        const glyvaLayoutLine &line = lines[static_cast<size_t>(i)];
        glyphs(i, 0) = line.firstGlyph;
        glyphs(i, 1) = line.firstGlyph + line.glyphCount;
        bytes(i, 0) = line.firstByte;
        bytes(i, 1) = line.firstByte + line.byteLength;
        out.baselines.mutable_at(i) = line.baseline;
        out.lefts.mutable_at(i) = line.left;
        out.widths.mutable_at(i) = line.width;
        out.ascenders.mutable_at(i) = line.ascender;
        out.descenders.mutable_at(i) = line.descender;
        out.levels.mutable_at(i) = line.paragraphLevel;
        out.paragraphs.mutable_at(i) = line.paragraph;
    }
    frozen(out.glyphRanges);
    frozen(out.byteRanges);
    for (py::array_t<double> *values :
         {&out.baselines, &out.lefts, &out.widths, &out.ascenders, &out.descenders})
        frozen(*values);
    frozen(out.levels);
    frozen(out.paragraphs);
    return out;
}

const char *const kLayoutFunctionDoc = R"doc(
Lays text out in paragraphs and lines over one font or several, in order of preference.

``fonts`` is a ``Font``, a path or fontconfig name (opened with the defaults), or a
list of them: each character takes the first font that maps it. With
``fallback=True`` the fonts fontconfig proposes for the characters the first font lacks
(as a desktop text view finds them, the same as the glyva-mesh tool's) are opened at
the first font's quality and tried after the given ones.

The text (``str`` or UTF-8 ``bytes``) splits into paragraphs at line feeds and the other
paragraph separators, and into lines at line separators and, with ``width`` > 0 (ems),
at Unicode's line-break opportunities. Each paragraph's levels follow the Unicode
Bidirectional Algorithm; ``direction`` is its base direction (``"auto"``: from its
first strong character, ``"ltr"``, ``"rtl"``). ``align`` is ``"start"``, ``"left"``,
``"center"``, ``"right"`` or ``"end"``. ``line_spacing`` multiplies the first font's line
pitch; ``letter_spacing`` (ems, may be negative) is added after every cluster.
``script``, ``language`` and ``features`` are as for ``Font.shape``.

Raises ShapingError with the library's message for invalid UTF-8 or an option it
refuses (a negative width, an unknown script, language or feature), ValueError for an
unknown direction or alignment or a closed font.
)doc";

const char *const kLayoutDoc = R"doc(
Text laid out in paragraphs and lines: the glyphs in visual order, line by line, left to
right, as arrays of N rows, all copies and read-only.

Per glyph: ``faces`` (index into ``fonts``), ``glyphs`` (glyph index in that font),
``clusters`` (byte offset in ``utf8`` of the first character the glyph stands for),
``line_indices`` (index into ``lines``), all uint32 (N,); ``positions`` float64 (N, 2),
where the glyph's origin goes, in ems, y up, the first baseline at y = 0; ``advances``
float64 (N,), the pen's move, letter spacing included.

``mesh()`` and ``scene()`` place the glyphs' meshes; ``glyva.write`` writes files.
A glyph's own mesh is ``layout.fonts[face].glyph_mesh(glyph)`` (the font's triangles as
the tessellator gives them) moved by its position; a scene's flat meshes cover the same
area, triangulated again by the solid library without zero-area triangles.
)doc";

void bindLines(py::module_ &m)
{
    py::class_<Lines>(m, "Lines", "A layout's lines as arrays of L rows, read-only copies.")
        .def_readonly("glyph_ranges", &Lines::glyphRanges,
                      "uint32 array (L, 2): start and stop of each line's glyphs, as a slice "
                      "of the layout's arrays takes them.")
        .def_readonly("byte_ranges", &Lines::byteRanges,
                      "uint32 array (L, 2): start and stop of each line's bytes in the UTF-8 "
                      "text, separators included.")
        .def_readonly("baselines", &Lines::baselines,
                      "float64 array (L,): y of each line's baseline, in ems.")
        .def_readonly("lefts", &Lines::lefts,
                      "float64 array (L,): x of each line's left end, hanging whitespace left "
                      "out.")
        .def_readonly("widths", &Lines::widths,
                      "float64 array (L,): each line's width, hanging whitespace left out.")
        .def_readonly("ascenders", &Lines::ascenders,
                      "float64 array (L,): the first font's ascender, above the baseline.")
        .def_readonly("descenders", &Lines::descenders,
                      "float64 array (L,): the first font's descender, negative below the "
                      "baseline.")
        .def_readonly("levels", &Lines::levels,
                      "int32 array (L,): each line's paragraph level, 0 left to right, 1 right "
                      "to left.")
        .def_readonly("paragraphs", &Lines::paragraphs,
                      "uint32 array (L,): index of each line's paragraph, from 0.")
        .def("__len__", [](const Lines &lines) { return lines.baselines.shape(0); })
        .def("__repr__", [](const Lines &lines) {
            return "Lines(" + std::to_string(lines.baselines.shape(0)) + ")";
        });
}

void bindLayoutClass(py::module_ &m)
{
    py::class_<Layout>(m, "Layout", kLayoutDoc)
        .def_readonly("fonts", &Layout::fonts,
                      "The fonts of the layout in order of preference, fallbacks last; "
                      "faces index them.")
        .def_readonly("faces", &Layout::faces, "uint32 array (N,): each glyph's font, in fonts.")
        .def_readonly("glyphs", &Layout::glyphs, "uint32 array (N,): glyph indices.")
        .def_readonly("clusters", &Layout::clusters,
                      "uint32 array (N,): byte offset, in utf8, of the first character each "
                      "glyph stands for.")
        .def_readonly("line_indices", &Layout::lineIndices,
                      "uint32 array (N,): the line of each glyph, in lines.")
        .def_readonly("positions", &Layout::positions,
                      "float64 array (N, 2): where each glyph's origin goes, in ems.")
        .def_readonly("advances", &Layout::advances,
                      "float64 array (N,): the pen's move after each glyph, in ems.")
        .def_readonly("lines", &Layout::lines, "The lines, as Lines.")
        .def_property_readonly(
            "utf8", [](const Layout &layout) { return py::bytes(layout.data()->utf8); },
            "The text as laid out, UTF-8; clusters and byte ranges are offsets into it.")
        .def_property_readonly(
            "missing_glyphs",
            [](const Layout &layout) {
                return (layout.data()->paragraphs.notices & GLYVA_LAYOUT_MISSING_GLYPHS) != 0;
            },
            "True when no font maps some character: it is drawn as glyph 0.")
        .def_property_readonly(
            "overflow",
            [](const Layout &layout) {
                return (layout.data()->paragraphs.notices & GLYVA_LAYOUT_OVERFLOW) != 0;
            },
            "True when a line is wider than the width: it had nowhere to break.")
        .def_property_readonly(
            "notice", [](const Layout &layout) { return layout.data()->paragraphs.noticeText; },
            "The library's sentence naming the notices; empty when there are none.")
        .def(
            "scene",
            [](const Layout &layout, double size, double depth, double bevel, double bevelDepth,
               int bevelSegments, bool frontOnly) {
                return sceneOf(layout, size,
                               solidSettings(depth, bevel, bevelDepth, bevelSegments, frontOnly));
            },
            py::arg("size") = 1.0, py::kw_only(), py::arg("depth") = 0.0, py::arg("bevel") = 0.0,
            py::arg("bevel_depth") = 0.0, py::arg("bevel_segments") = 1,
            py::arg("bevel_front_only") = false,
            "The glyphs placed at size output units per em as a Scene: each distinct glyph's "
            "mesh once, one instance per glyph with an outline. Flat at z = 0 without a depth; "
            "with one, closed solids from z = 0 to depth (output units), their front and back "
            "edges bevelled bevel units into the glyph and bevel_depth along z (default: "
            "bevel), as a chamfer (bevel_segments 1) or a rounded profile (up to 32), the "
            "back left flat with bevel_front_only. Raises GlyphError when a glyph cannot be "
            "meshed, ValueError for a closed font, a size outside (0, 1e9] or settings that "
            "make no solid (a bevel without a depth, or too deep for it).")
        .def(
            "mesh",
            [](const Layout &layout, double size, double depth, double bevel, double bevelDepth,
               int bevelSegments, bool frontOnly) {
                return sceneOf(layout, size,
                               solidSettings(depth, bevel, bevelDepth, bevelSegments, frontOnly))
                    .merged();
            },
            py::arg("size") = 1.0, py::kw_only(), py::arg("depth") = 0.0, py::arg("bevel") = 0.0,
            py::arg("bevel_depth") = 0.0, py::arg("bevel_segments") = 1,
            py::arg("bevel_front_only") = false,
            "Every glyph's mesh placed, as one Mesh at size output units per em: vertices "
            "float32 (V, 3), normals, texture coordinates, triangles int32 (M, 3); the same as "
            "scene(size, ...).merged().")
        .def("__len__", [](const Layout &layout) { return layout.glyphs.shape(0); })
        .def("__repr__", [](const Layout &layout) {
            return "Layout(" + std::to_string(layout.glyphs.shape(0)) + " glyphs, " +
                   std::to_string(layout.lines.baselines.shape(0)) + " lines)";
        });
}

} // namespace

Layout::Layout(std::shared_ptr<const LaidOut> data, py::tuple fonts)
    : fonts(std::move(fonts)), data_(std::move(data))
{
    const std::vector<glyvaLayoutGlyph> &records = data_->paragraphs.glyphs;
    const py::ssize_t n = static_cast<py::ssize_t>(records.size());
    faces = py::array_t<uint32_t>(n);
    glyphs = py::array_t<uint32_t>(n);
    clusters = py::array_t<uint32_t>(n);
    lineIndices = py::array_t<uint32_t>(n);
    positions = rows<double>(n, 2);
    advances = py::array_t<double>(n);
    auto position = positions.mutable_unchecked<2>();
    for (py::ssize_t i = 0; i < n; ++i) {
        const glyvaLayoutGlyph &g = records[static_cast<size_t>(i)];
        faces.mutable_at(i) = g.face;
        glyphs.mutable_at(i) = g.glyphIndex;
        clusters.mutable_at(i) = g.cluster;
        lineIndices.mutable_at(i) = g.line;
        position(i, 0) = g.x;
        position(i, 1) = g.y;
        advances.mutable_at(i) = g.advance;
    }
    frozen(faces);
    frozen(glyphs);
    frozen(clusters);
    frozen(lineIndices);
    frozen(positions);
    frozen(advances);
    lines = copyLines(data_->paragraphs.lines);
}

glyvaShapeFont *Layout::face(uint32_t face) const
{
    return fonts[face].cast<const Font &>().handle();
}

void bindLayout(py::module_ &m)
{
    bindLines(m);
    bindLayoutClass(m);
    m.def("layout", &layOut, py::arg("text"), py::arg("fonts"), py::kw_only(),
          py::arg("direction") = "auto", py::arg("align") = "start", py::arg("width") = 0.0,
          py::arg("line_spacing") = 1.0, py::arg("letter_spacing") = 0.0,
          py::arg("script") = py::none(), py::arg("language") = py::none(),
          py::arg("features") = py::none(), py::arg("fallback") = false, kLayoutFunctionDoc);
}

} // namespace glyvapy
