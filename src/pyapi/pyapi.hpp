// What both extension modules (_pairo and pairo._native) build their
// entry points from, compiled once: owned references (py_ref.hpp), no C++
// exception into the interpreter (guarded.hpp), the argument binder, the
// text of a str, the result list, PanicException, and the one function
// that turns a failure into its exception. The conversion itself is
// pipeline/, free of Python.
#pragma once

#include <Python.h>

#include <array>
#include <source_location>
#include <string_view>

#include "base/failure.hpp"
#include "base/fixed_texts.hpp"
#include "base/padded_text.hpp"
#include "mjai/mjai.hpp"

namespace pairo::pyapi {

// The version of the C API the extension modules are written against, as
// PyModule_Create2 wants it (PYTHON_API_VERSION of CPython 3.12 and 3.13).
inline constexpr int python_api_version = 1013;

// ---- classes and failures (panic.cpp, exceptions.cpp) -------------------

// The class in `slot`, created there first if the slot is empty; null with
// the interpreter's exception set if it cannot be created.
[[nodiscard]] PyObject* obtain_class(PyObject*& slot, const char* qualified_name, const char* doc, PyObject* base);

// PanicException: one class for the process, whichever module asks first
// (a borrowed reference), or null with an exception set.
[[nodiscard]] PyObject* panic_class();

// Ends the call with PanicException carrying `text`, after a diagnostic
// naming `where` on standard error. Always returns null.
PyObject* raise_panic(std::string_view text, std::source_location where = std::source_location::current());

// Runs `body` (which returns a new reference or null with an exception set),
// turning any C++ exception that escapes it into the matching Python one.
template <class Body>
PyObject* guarded(Body&& body);

// How a module finds the classes that are its own (ErrorClass's first
// ones): a borrowed reference, or null with an exception set.
using ClassOf = PyObject* (*)(ErrorClass);

// The exception of a failure, its note added where it has one: a new
// reference, or null with an exception set.
[[nodiscard]] PyObject* exception_of(const Failure& failure, ClassOf module_class);
// The same, raised. Always returns null.
PyObject* raise_failure(const Failure& failure, ClassOf module_class);
// Raises the exception made (a new reference, taken; null: the error of its
// making stays set). Always returns null.
PyObject* raise_exception(PyObject* made);

// ---- texts that take code (quoting.cpp) ---------------------------------

// Sets TypeError with texts::not_a_str for `value`.
void raise_not_a_str(PyObject* value);

// The name as a debugging string literal in double quotes: a new str, or
// null with an exception set.
[[nodiscard]] PyObject* quoted_file_name(std::string_view path);

// ---- arguments (arguments.cpp) ------------------------------------------

struct Signature {
  const char* function;
  std::array<const char*, 2> parameters;
  Py_ssize_t count;     // parameters in use
  Py_ssize_t required;  // leading parameters that must be given
};

// Binds a fast call's arguments to the parameters: `bound[i]` receives a
// borrowed reference, or null where an optional parameter was not given.
// Returns false with TypeError set on a binding error.
[[nodiscard]] bool bind_arguments(const Signature& signature, PyObject* const* args, Py_ssize_t nargs,
                                  PyObject* kwnames, std::array<PyObject*, 2>& bound);

// Called with an exception set while converting the argument `parameter`:
// a TypeError becomes "argument '<parameter>': <message>" keeping its cause;
// any other exception stays as it is.
void prefix_argument_error(const char* parameter);

// ---- text in, events out (str_text.cpp, result_list.cpp) -----------------

// The UTF-8 text of a str in the padded buffer that the parser reads, with
// no UTF-8 form left behind in the str. False with the interpreter's
// UnicodeEncodeError set for a lone surrogate.
[[nodiscard]] bool read_str_text(PyObject* str, PaddedText& text);

// Makes the strs of the common event texts, once for the module; they must
// exist before its first result list. False with an exception set.
[[nodiscard]] bool make_common_strs();

// A new list with one str per event text, or null with an exception set.
[[nodiscard]] PyObject* build_result_list(const mjai::EncodedEvents& events);

}  // namespace pairo::pyapi

#include "pyapi/guarded.hpp"
#include "pyapi/limited_api.hpp"
