#include "errors.hh"

namespace py = pybind11;

namespace glyvapy
{
namespace
{

/* One Python class per kind, in ErrorKind order, and the warning class; created once
 * with the module and kept for the life of the process like any class. */
PyObject *errorTypes[6];
PyObject *substitutionWarning;

PyObject *newClass(py::module_ &m, const char *name, const char *doc, PyObject *base)
{
    const std::string qualified = std::string("glyva.") + name;
    PyObject *type = PyErr_NewExceptionWithDoc(qualified.c_str(), doc, base, nullptr);
    if (!type)
        throw py::error_already_set();
    m.add_object(name, py::handle(type));
    return type;
}

} // namespace

void bindErrors(py::module_ &m)
{
    PyObject *base =
        newClass(m, "Error", "A failure the library reports, with its message.", PyExc_Exception);
    PyObject *font = newClass(m, "FontError",
                              "The file cannot be read or is not a font the library reads.", base);
    errorTypes[static_cast<int>(ErrorKind::Font)] = font;
    errorTypes[static_cast<int>(ErrorKind::FontNotFound)] =
        newClass(m, "FontNotFoundError", "No installed font matches the fontconfig name.", font);
    errorTypes[static_cast<int>(ErrorKind::Face)] =
        newClass(m, "FaceError", "The face index is outside the file's faces.", font);
    errorTypes[static_cast<int>(ErrorKind::Instance)] = newClass(
        m, "InstanceError", "An unknown axis or instance, or malformed variation text.", font);
    errorTypes[static_cast<int>(ErrorKind::Shaping)] =
        newClass(m, "ShapingError",
                 "The text or the shaping options were refused (invalid UTF-8, an unknown script, "
                 "language or feature text).",
                 base);
    errorTypes[static_cast<int>(ErrorKind::Glyph)] =
        newClass(m, "GlyphError",
                 "The glyph index is not one of the face's, or the glyph cannot be read.", base);
    substitutionWarning = newClass(m, "FontSubstitutionWarning",
                                   "fontconfig had no font of the family asked for and gave "
                                   "another.",
                                   PyExc_UserWarning);

    py::register_exception_translator([](std::exception_ptr thrown) {
        try {
            if (thrown)
                std::rethrow_exception(thrown);
        } catch (const Error &e) {
            PyErr_SetString(errorTypes[static_cast<int>(e.kind)], e.what());
        }
    });
}

void warnSubstitution(const std::string &message)
{
    if (PyErr_WarnEx(substitutionWarning, message.c_str(), 1) != 0)
        throw py::error_already_set();
}

} // namespace glyvapy
