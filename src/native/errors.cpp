// The classes this module raises: _pairo's four, taken from _pairo so that a
// failure raises the very classes _pairo raises, whichever module a caller
// went through, and MjlogParsingError, made here as a kind of
// TenhouLogParsingError for XML game records that cannot be read, and
// ArchiveError, a ValueError, for containers that cannot be read. Like the
// module they live for the rest of the process.
#include <string>

#include "native/native.hpp"
#include "pyapi/py_ref.hpp"

namespace pairo::native {
namespace {

using pyapi::PyRef;

std::array<PyObject*, module_class_count> pairo_classes{};  // owned for the rest of the process
PyObject* mjlog_class = nullptr;                             // the same
PyObject* archive_class = nullptr;                           // the same

constexpr const char* mjlog_class_path = "pairo.MjlogParsingError";
constexpr const char* mjlog_class_doc =
    "An XML game record (mjlog) that cannot be read: not well-formed XML, not an\n"
    "mjloggm document, or content that cannot form a log. The message names the\n"
    "element and what is wrong with it.";

constexpr const char* archive_class_path = "pairo.ArchiveError";
constexpr const char* archive_class_doc =
    "A container of many records (a downloader's database, a zip or tar bundle)\n"
    "that cannot be read, or one of its entries: not a game-record database, an\n"
    "unsafe member name, a row whose id is not a game id, corrupt or oversized data.\n"
    "The message says what is wrong.";

PyObject* class_of(ErrorClass which) {
  if (which == ErrorClass::MjlogParsingError) return mjlog_class;
  if (which == ErrorClass::ArchiveError) return archive_class;
  return pairo_classes[static_cast<std::size_t>(which)];
}

}  // namespace

bool add_error_classes(PyObject* module) {
  PyRef pairo_module(PyImport_ImportModule("_pairo"));
  if (!pairo_module) return false;
  for (std::size_t i = 0; i < module_class_count; ++i) {
    const std::string name(class_name(static_cast<ErrorClass>(i)));
    PyRef cls(PyObject_GetAttrString(pairo_module.get(), name.c_str()));
    if (!cls || PyModule_AddObjectRef(module, name.c_str(), cls.get()) < 0) return false;
    if (!pairo_classes[i]) pairo_classes[i] = cls.release();
  }
  PyObject* base = class_of(ErrorClass::TenhouLogParsingError);
  if (!pyapi::obtain_class(mjlog_class, mjlog_class_path, mjlog_class_doc, base)) return false;
  if (PyModule_AddObjectRef(module, "MjlogParsingError", mjlog_class) < 0) return false;
  if (!pyapi::obtain_class(archive_class, archive_class_path, archive_class_doc, PyExc_ValueError)) return false;
  return PyModule_AddObjectRef(module, "ArchiveError", archive_class) == 0;
}

// An input's failure that is no system call's (not UTF-8, past the bound)
// still carries the number that says so as `errno`, as an OSError of a
// read does; its text stays the fixed one. _pairo's exceptions do not.
PyObject* exception_of(const Failure& failure) {
  PyRef exception(pyapi::exception_of(failure, class_of));
  if (!exception || failure.error_number == 0 || failure.form == Failure::Form::System ||
      !PyObject_TypeCheck(exception.get(), reinterpret_cast<PyTypeObject*>(PyExc_OSError))) {
    return exception.release();
  }
  PyRef number(PyLong_FromLong(failure.error_number));
  if (!number || PyObject_SetAttrString(exception.get(), "errno", number.get()) < 0) return nullptr;
  return exception.release();
}

PyObject* raise_failure(const Failure& failure) { return pyapi::raise_exception(exception_of(failure)); }

}  // namespace pairo::native
