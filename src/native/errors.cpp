// The classes this module raises: _pairo's four, taken from _pairo so that a
// failure raises the very classes _pairo raises, and MjlogParsingError, made
// here as a kind of TenhouLogParsingError for XML game records that cannot
// be read. Like the module they live for the rest of the process.
#include <string>

#include "native/native.hpp"
#include "lib/lib.hpp"
#include "lib/py_ref.hpp"

namespace pairo::native {
namespace {

using lib::ErrorClass;
using lib::PyRef;

std::array<PyObject*, lib::error_class_count> pairo_classes{};  // owned for the rest of the process
PyObject* mjlog_class = nullptr;                                  // the same

constexpr const char* mjlog_class_path = "pairo.MjlogParsingError";
constexpr const char* mjlog_class_doc =
    "An XML game record (mjlog) that cannot be read: not well-formed XML, not an\n"
    "mjloggm document, gzip data that does not inflate, or content that cannot form\n"
    "a log. The message names the element and what is wrong with it.";

PyObject* pairo_class(ErrorClass which) { return pairo_classes[static_cast<std::size_t>(which)]; }

}  // namespace

bool add_error_classes(PyObject* module) {
  PyRef pairo_module(PyImport_ImportModule("_pairo"));
  if (!pairo_module) return false;
  for (std::size_t i = 0; i < lib::error_class_count; ++i) {
    const char* name = lib::texts::error_class_names[i];
    PyRef cls(PyObject_GetAttrString(pairo_module.get(), name));
    if (!cls || PyModule_AddObjectRef(module, name, cls.get()) < 0) return false;
    if (!pairo_classes[i]) pairo_classes[i] = cls.release();
  }
  PyObject* base = pairo_class(ErrorClass::TenhouLogParsingError);
  if (!lib::obtain_class(mjlog_class, mjlog_class_path, mjlog_class_doc, base)) return false;
  return PyModule_AddObjectRef(module, "MjlogParsingError", mjlog_class) == 0;
}

void raise_conversion_error(const pairo::Error& error) { lib::raise_error(error, pairo_class); }

void raise_record_error(const mjlog::Error& error) {
  std::string message = error.message;
  if (error.offset) message += " (at byte " + std::to_string(*error.offset) + ")";
  PyRef text(PyUnicode_DecodeUTF8(message.data(), std::ssize(message), "replace"));
  if (text) PyErr_SetObject(mjlog_class, text.get());
}

}  // namespace pairo::native
