#ifndef PYTHON_SRC_ARGUMENTS_HH
#define PYTHON_SRC_ARGUMENTS_HH

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include <pybind11/pybind11.h>

namespace glyvapy
{

/* The text of a str argument for the library, which takes NUL-terminated texts;
 * ValueError names what for a text with a NUL in it. */
const char *cText(const std::string &text, const char *what);
const char *cText(const std::optional<std::string> &text, const char *what);

/* str is encoded as UTF-8 (lone surrogates raise UnicodeEncodeError); bytes go to the
 * library as they are, which refuses invalid UTF-8. */
std::string utf8Text(const pybind11::object &text);

/* None, one comma-separated text, or an iterable of feature texts. */
std::optional<std::string> featureText(const pybind11::object &features);

/* A path from str, bytes or any os.PathLike; ValueError for one with a NUL in it. */
std::string pathText(const pybind11::object &path);

/* The value a name stands for among choices; ValueError listing them otherwise. */
int32_t choice(const std::string &name, const char *what,
               std::initializer_list<std::pair<const char *, int32_t>> choices);

} // namespace glyvapy

#endif
