#include "arguments.hh"

namespace py = pybind11;

namespace glyvapy
{

const char *cText(const std::string &text, const char *what)
{
    if (text.find('\0') != std::string::npos)
        throw py::value_error(std::string(what) + " contains a NUL character");
    return text.c_str();
}

const char *cText(const std::optional<std::string> &text, const char *what)
{
    return text ? cText(*text, what) : nullptr;
}

std::string utf8Text(const py::object &text)
{
    if (py::isinstance<py::bytes>(text))
        return text.cast<std::string>();
    if (!py::isinstance<py::str>(text))
        throw py::type_error("text must be str or bytes");
    Py_ssize_t length = 0;
    const char *bytes = PyUnicode_AsUTF8AndSize(text.ptr(), &length);
    if (!bytes)
        throw py::error_already_set();
    return std::string(bytes, static_cast<size_t>(length));
}

std::optional<std::string> featureText(const py::object &features)
{
    if (features.is_none())
        return std::nullopt;
    if (py::isinstance<py::str>(features))
        return features.cast<std::string>();
    std::string joined;
    for (const py::handle item : features) {
        if (!joined.empty())
            joined += ',';
        joined += item.cast<std::string>();
    }
    return joined;
}

std::string pathText(const py::object &path)
{
    py::module_ os = py::module_::import("os");
    const std::string text = os.attr("fsdecode")(os.attr("fspath")(path)).cast<std::string>();
    cText(text, "path");
    return text;
}

int32_t choice(const std::string &name, const char *what,
               std::initializer_list<std::pair<const char *, int32_t>> choices)
{
    std::string names;
    for (const auto &[text, value] : choices) {
        if (name == text)
            return value;
        names += (names.empty() ? "" : ", ") + std::string(text);
    }
    throw py::value_error(std::string(what) + " '" + name + "' is not one of " + names);
}

} // namespace glyvapy
