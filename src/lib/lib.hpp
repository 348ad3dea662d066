// What the parts of the module surface offer each other: the exception
// classes and the mapping of errors to them, the argument binder, the text
// of a str and the result list. The conversion itself is pipeline/.
#pragma once

#include <Python.h>

#include <array>
#include <cstdint>
#include <expected>
#include <source_location>
#include <span>
#include <string_view>

#include "lib/fixed_texts.hpp"
#include "mjai/mjai.hpp"
#include "pipeline/pipeline.hpp"
#include "tenhou/tenhou.hpp"

namespace pairo::lib {

// The version of the C API the extension modules are written against, as
// PyModule_Create2 wants it (PYTHON_API_VERSION of CPython 3.12 and 3.13).
inline constexpr int python_api_version = 1013;

// ---- exception classes (process-wide, created on first use) -------------

enum class ErrorClass : std::uint8_t {
  TenhouLogParsingError,
  TenhouToMjaiError,
  JsonSerializationError,
  JsonParsingError,
};
inline constexpr std::size_t error_class_count = 4;


// Borrowed reference to the class, created on first request; null with
// PanicException set if it cannot be created.
[[nodiscard]] PyObject* error_class(ErrorClass which);

// The class in `slot`, created there first if the slot is empty; null with
// the interpreter's exception set if it cannot be created.
[[nodiscard]] PyObject* obtain_class(PyObject*& slot, const char* qualified_name, const char* doc, PyObject* base);

// Ends the call with PanicException carrying `text`, after a diagnostic
// naming `where` on standard error. Always returns null.
PyObject* raise_panic(std::string_view text,
                      std::source_location where = std::source_location::current());

// Runs `body` (which returns a new reference or null with an exception set),
// turning any C++ exception that escapes it into the matching Python one.
template <class Body>
PyObject* guarded(Body&& body) noexcept;

// ---- the texts of fixed_texts.cpp ---------------------------------------

namespace texts {

// Sets TypeError with not_a_str for `value`.
void raise_not_a_str(PyObject* value);

// The name as a debugging string literal in double quotes: a new str, or
// null with an exception set.
[[nodiscard]] PyObject* quoted_file_name(std::string_view path);

// The name read as UTF-8, each invalid sequence shown as U+FFFD: a new str,
// or null with an exception set.
[[nodiscard]] PyObject* displayed_file_name(std::string_view path);

}  // namespace texts

// ---- arguments ----------------------------------------------------------

struct Signature {
  const char* function;
  std::array<const char*, 2> parameters;
  Py_ssize_t count;     // parameters in use
  Py_ssize_t required;  // leading parameters that must be given
};

// Binds a fast call's arguments to the parameters: `bound[i]` receives a
// borrowed reference, or null where an optional parameter was not given.
// Returns false with TypeError set on a binding error.
[[nodiscard]] bool bind_arguments(const Signature& signature, PyObject* const* args,
                                  Py_ssize_t nargs, PyObject* kwnames,
                                  std::array<PyObject*, 2>& bound);

// Called with an exception set while converting the argument `parameter`:
// a TypeError becomes "argument '<parameter>': <message>" keeping its cause;
// any other exception stays as it is.
void prefix_argument_error(const char* parameter);

// ---- the conversion -----------------------------------------------------

// The UTF-8 text of a str in the padded buffer that the parser reads, with
// no UTF-8 form left behind in the str. False with the interpreter's
// UnicodeEncodeError set for a lone surrogate.
[[nodiscard]] bool read_str_text(PyObject* str, tenhou::PaddedText& text);

// How a module finds its exception classes: a borrowed reference, or null
// with an exception set.
using ClassOf = PyObject* (*)(ErrorClass);

// Sets the exception of a failed conversion: the class and fixed message of
// its stage, no cause, no detail.
void raise_error(const pairo::Error& error, ClassOf class_of = error_class);

// Makes the strs of the common event texts, once for the process; they must
// exist before the first result list. False with an exception set.
[[nodiscard]] bool make_common_strs();

// The common strs (borrowed), indexed by mjai::CommonTexts' number: entry
// none is null. Empty until they are made.
[[nodiscard]] std::span<PyObject* const> common_str_table() noexcept;

// A new list with one str per event text, or null with an exception set.
[[nodiscard]] PyObject* build_result_list(const mjai::EncodedEvents& events);

// ---- entry points -------------------------------------------------------

PyObject* tenhou_to_mjai(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* tenhou_file_to_mjai(PyObject* module, PyObject* const* args, Py_ssize_t nargs,
                              PyObject* kwnames);

}  // namespace pairo::lib

#include "lib/guarded.hpp"
