#ifndef PYTHON_SRC_ERRORS_HH
#define PYTHON_SRC_ERRORS_HH

#include <stdexcept>
#include <string>

#include <pybind11/pybind11.h>

namespace glyvapy
{

/* The module's exception classes, each a subclass of glyva.Error. */
enum class ErrorKind { Font, FontNotFound, Face, Instance, Shaping, Glyph };

/* Thrown by the bindings with the library's own message; raised in Python as the
 * class of its kind. */
struct Error : std::runtime_error {
    Error(ErrorKind kind, const std::string &message) : std::runtime_error(message), kind(kind) {}
    ErrorKind kind;
};

/* Adds glyva.Error, its subclasses and glyva.FontSubstitutionWarning to the module and
 * translates Error into them. */
void bindErrors(pybind11::module_ &m);

/* Issues glyva.FontSubstitutionWarning; throws when the warning filter turns it into an
 * exception. */
void warnSubstitution(const std::string &message);

} // namespace glyvapy

#endif
