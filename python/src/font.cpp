#include "font.hh"

#include <climits>
#include <utility>

#include "arguments.hh"
#include "errors.hh"
#include "fontLookup.h"

namespace py = pybind11;

namespace glyvapy
{
namespace
{

/* A str with a directory part or a font file extension is a path, any other str a
 * fontconfig name; path-like objects are always paths. */
std::string fontPath(const py::object &font)
{
    if (!py::isinstance<py::str>(font))
        return pathText(font);
    const std::string text = font.cast<std::string>();
    if (text.empty())
        throw py::value_error("no font named: give a path or a fontconfig name");
    if (glyvamesh::looksLikeFontPath(text))
        return text;
    glyvamesh::FontChoice choice;
    std::string error;
    if (!glyvamesh::resolveFont(text, &choice, &error))
        throw Error(ErrorKind::FontNotFound, error);
    if (!choice.substitutedFamily.empty())
        warnSubstitution("no font family matches '" + text + "': fontconfig gave '" +
                         choice.substitutedFamily + "' (" + choice.path + ")");
    return choice.path;
}

void checkQuality(int32_t percent)
{
    if (percent < 0 || percent > 100)
        throw py::value_error("quality " + std::to_string(percent) + " is outside 0 to 100");
}

[[noreturn]] void failOpen(int32_t status, const char *message)
{
    switch (status) {
    case GLYVA_SHAPE_BAD_FACE:
        throw Error(ErrorKind::Face, message);
    case GLYVA_SHAPE_BAD_INSTANCE:
        throw Error(ErrorKind::Instance, message);
    case GLYVA_SHAPE_NO_MEMORY:
        throw std::bad_alloc();
    case GLYVA_SHAPE_BAD_ARGUMENT:
        throw py::value_error(message);
    default:
        throw Error(ErrorKind::Font, message);
    }
}

int32_t direction(const std::string &name)
{
    return choice(name, "direction",
                  {{"auto", GLYVA_SHAPE_DIRECTION_AUTO},
                   {"ltr", GLYVA_SHAPE_DIRECTION_LTR},
                   {"rtl", GLYVA_SHAPE_DIRECTION_RTL},
                   {"ttb", GLYVA_SHAPE_DIRECTION_TTB},
                   {"btt", GLYVA_SHAPE_DIRECTION_BTT}});
}

uint32_t glyphIndex(int64_t glyph)
{
    if (glyph < 0 || glyph > UINT32_MAX)
        throw Error(ErrorKind::Glyph, "glyph index " + std::to_string(glyph) + " is outside 0 to " +
                                          std::to_string(UINT32_MAX));
    return static_cast<uint32_t>(glyph);
}

} // namespace

Font::Font(py::object font, int32_t face, std::optional<std::string> instance, int32_t quality)
    : face_(face), instance_(std::move(instance))
{
    checkQuality(quality);
    const char *wanted = cText(instance_, "instance");
    path_ = fontPath(font);
    const char *path = cText(path_, "path");
    char message[512] = "";
    glyvaShapeFont *handle = nullptr;
    const int32_t status = glyvaShapeOpen(&handle, path, face, wanted, message, sizeof message);
    if (status != GLYVA_SHAPE_OK)
        failOpen(status, message);
    handle_ = handle;
    glyvaShapeSetQuality(handle_, static_cast<uint32_t>(quality));
}

Font::~Font()
{
    close();
}

void Font::close()
{
    glyvaShapeClose(handle_);
    handle_ = nullptr;
}

glyvaShapeFont *Font::handle() const
{
    if (!handle_)
        throw py::value_error("the font is closed");
    return handle_;
}

void Font::failGlyph() const
{
    throw Error(ErrorKind::Glyph, glyvaShapeError(handle_));
}

int32_t Font::unitsPerEm() const
{
    return glyvaShapeUnitsPerEm(handle());
}
int32_t Font::glyphCount() const
{
    return glyvaShapeGlyphCount(handle());
}
int32_t Font::quality() const
{
    return glyvaShapeGetQuality(handle());
}

float Font::ascender() const
{
    float ascender = 0.0f;
    glyvaShapeFontMetrics(handle(), &ascender, nullptr);
    return ascender;
}

float Font::descender() const
{
    float descender = 0.0f;
    glyvaShapeFontMetrics(handle(), nullptr, &descender);
    return descender;
}

void Font::setQuality(int32_t percent)
{
    checkQuality(percent);
    glyvaShapeSetQuality(handle(), static_cast<uint32_t>(percent));
}

ShapedText Font::shape(py::object text, std::optional<std::string> script,
                       std::optional<std::string> language, const std::string &direction,
                       py::object features)
{
    glyvaShapeFont *font = handle();
    const std::string utf8 = utf8Text(text);
    if (utf8.size() > INT32_MAX)
        throw py::value_error("text of more than 2 GiB");
    const std::optional<std::string> featureList = featureText(features);
    const glyvaShapeOptions options = {cText(script, "script"), cText(language, "language"),
                                       cText(featureList, "features"),
                                       glyvapy::direction(direction)};
    const glyvaShapedGlyph *glyphs = nullptr;
    const int32_t count =
        glyvaShapeText(font, utf8.data(), static_cast<int32_t>(utf8.size()), &options, &glyphs);
    if (count < 0)
        throw Error(ErrorKind::Shaping, glyvaShapeError(font));
    return copyShaped(glyphs, count);
}

glyphInfoRecord Font::glyphInfo(int64_t glyph)
{
    glyphInfoRecord info;
    if (!glyvaShapeGlyphInfo(&info, handle(), glyphIndex(glyph)))
        failGlyph();
    return info;
}

Mesh Font::glyphMesh(int64_t glyph)
{
    const float *vertices = nullptr;
    const int32_t *indices = nullptr;
    int32_t vertexCount = 0, indexCount = 0;
    if (!glyvaShapeGlyphMesh(handle(), glyphIndex(glyph), &vertices, &vertexCount, &indices,
                             &indexCount))
        failGlyph();
    return copyMesh(vertices, vertexCount, indices, indexCount);
}

Outline Font::glyphOutline(int64_t glyph)
{
    const glyphInfoRecord info = glyphInfo(glyph);
    Outline outline;
    for (int32_t k = 0; k < info.contourCount; ++k) {
        const float *points = nullptr;
        uint8_t evenOdd = 0, postScript = 0;
        const int32_t count = glyvaShapeGlyphContour(&points, handle_, static_cast<uint32_t>(glyph),
                                                     k, &evenOdd, &postScript);
        if (count <= 0)
            failGlyph();
        /* Each query flattens the glyph anew and frees the previous contour: copy now. */
        outline.contours.push_back(copyContour(points, count));
        outline.evenOddFill = evenOdd != 0;
        outline.postScriptOrientation = postScript != 0;
    }
    return outline;
}

namespace
{

using FontClass = py::class_<Font>;

const char *const kFontDoc = R"doc(
A face of a font file, opened for shaping, metrics, meshes and outlines.

``font`` is a path (``str`` with a directory part or a font file extension, or any
``os.PathLike``) or a fontconfig name such as ``"DejaVu Serif"`` or ``"Noto Sans:bold"``.
``face`` picks a face of a collection (``.ttc``, ``.otc``). ``instance`` picks an
instance of a variable font: ``"wght=700,wdth=80"`` (axes not named keep their
defaults) or the name of a named instance such as ``"Bold"``. ``quality`` (0 to 100)
sets how finely curves are subdivided.

Lengths are in ems. The font's handle is released by :meth:`close`, at the end of a
``with`` block, or when the object is collected. Arrays handed out are copies and
outlive the font.

Raises FontError (FontNotFoundError, FaceError, InstanceError) with the library's
message when the font cannot be opened; warns with FontSubstitutionWarning when
fontconfig answers a name with another family.
)doc";

/* Opening, closing and the face-wide values. */
void bindHandle(FontClass &font)
{
    font.def(py::init<py::object, int32_t, std::optional<std::string>, int32_t>(), py::arg("font"),
             py::arg("face") = 0, py::arg("instance") = py::none(), py::arg("quality") = 50)
        .def("close", &Font::close,
             "Releases the font's handle; later calls raise ValueError. Closing twice is "
             "harmless.")
        .def("__enter__", [](Font &font) -> Font & { return font; })
        .def(
            "__exit__", [](Font &font, py::object, py::object, py::object) { font.close(); },
            py::arg("exc_type"), py::arg("exc"), py::arg("traceback"))
        .def_property_readonly("closed", &Font::closed, "True once the font is closed.")
        .def_property_readonly("path", &Font::path, "The font file, after any fontconfig lookup.")
        .def_property_readonly("face", &Font::face, "The face index within the file.")
        .def_property_readonly("instance", &Font::instance,
                               "The variable-font instance asked for, or None.")
        .def_property_readonly("units_per_em", &Font::unitsPerEm,
                               "The face's units per em, the divisor of shaped positions.")
        .def_property_readonly("glyph_count", &Font::glyphCount,
                               "Number of glyphs; glyph indices run below it.")
        .def_property_readonly("ascender", &Font::ascender,
                               "Height of the ascender above the baseline, in ems.")
        .def_property_readonly("descender", &Font::descender,
                               "Depth of the descender, in ems, negative below the baseline.")
        .def_property("quality", &Font::quality, &Font::setQuality,
                      "Curve subdivision, 0 to 100 (default 50), of meshes and outlines made "
                      "from now on.");
}

/* Shaping and the glyph queries. */
void bindQueries(FontClass &font)
{
    font.def("shape", &Font::shape, py::arg("text"), py::kw_only(), py::arg("script") = py::none(),
             py::arg("language") = py::none(), py::arg("direction") = "auto",
             py::arg("features") = py::none(), R"doc(
Shapes text with HarfBuzz into glyphs in visual order.

``text`` is a ``str`` or UTF-8 ``bytes``. ``script`` is an ISO 15924 tag (``"Arab"``),
``language`` a BCP 47 tag (``"fa"``), ``direction`` one of ``"auto"``, ``"ltr"``,
``"rtl"``, ``"ttb"``, ``"btt"``; left out, they are guessed from the text. ``features``
are HarfBuzz feature texts, comma-separated or as a list (``["-liga", "+smcp"]``).

Raises ShapingError with the library's message for invalid UTF-8 or an unknown script,
language or feature text.
)doc")
        .def("glyph_info", &Font::glyphInfo, py::arg("glyph"),
             "The metrics of a glyph by index. Raises GlyphError for an index the face does "
             "not have.")
        .def("glyph_mesh", &Font::glyphMesh, py::arg("glyph"),
             "The triangle mesh of a glyph by index, relative to its pen position; empty for a "
             "glyph without contours. Raises GlyphError for an index the face does not have.")
        .def("glyph_outline", &Font::glyphOutline, py::arg("glyph"),
             "The outline of a glyph by index, flattened into polylines at the font's quality. "
             "Raises GlyphError for an index the face does not have.")
        .def("__repr__", [](const Font &font) {
            return "<glyva.Font '" + font.path() + "' face " + std::to_string(font.face()) +
                   (font.closed() ? " closed>" : ">");
        });
}

} // namespace

void bindFont(py::module_ &m)
{
    FontClass font(m, "Font", kFontDoc);
    bindHandle(font);
    bindQueries(font);
}

} // namespace glyvapy
