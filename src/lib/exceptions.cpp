// The module's exception classes and PanicException: process-wide slots,
// each filled once on first use and kept until the process ends.
#include <cstdio>
#include <string>

#include "lib/lib.hpp"

namespace pairo::lib {
namespace {

struct ClassInfo {
  const char* qualified_name;
  const char* short_name;
};

constexpr std::array<ClassInfo, error_class_count> class_infos = {{
    {"_pairo.TenhouLogParsingError", "TenhouLogParsingError"},
    {"_pairo.TenhouToMjaiError", "TenhouToMjaiError"},
    {"_pairo.JsonSerializationError", "JsonSerializationError"},
    {"_pairo.JsonParsingError", "JsonParsingError"},
}};

std::array<PyObject*, error_class_count> class_slots{};
PyObject* panic_slot = nullptr;

constexpr const char* panic_doc =
    "An internal failure of pairo: a broken invariant, not a bad log.\n\n"
    "It derives from BaseException rather than Exception so that it is not swallowed by\n"
    "handlers meant for bad input and normally propagates to the top of the program.";

// Creates the class, or returns the one stored meanwhile: creating a class
// runs Python code, which may let another thread fill the slot first.
PyObject* obtain(PyObject*& slot, const char* qualified_name, const char* doc, PyObject* base) {
  if (slot) return slot;
  PyObject* created = PyErr_NewExceptionWithDoc(qualified_name, doc, base, nullptr);
  if (!created) return nullptr;
  if (slot) {
    Py_DECREF(created);
    return slot;
  }
  slot = created;  // owned by the slot for the rest of the process
  return slot;
}

PyObject* panic_class() {
  return obtain(panic_slot, "pairo_runtime.PanicException", panic_doc, PyExc_BaseException);
}

}  // namespace

PyObject* error_class(ErrorClass which) {
  const ClassInfo& info = class_infos[static_cast<std::size_t>(which)];
  PyObject* cls = obtain(class_slots[static_cast<std::size_t>(which)], info.qualified_name, nullptr,
                         PyExc_ValueError);
  if (!cls) {
    raise_panic(std::string("cannot create exception class ") + info.qualified_name);
  }
  return cls;
}

const char* error_class_short_name(ErrorClass which) noexcept {
  return class_infos[static_cast<std::size_t>(which)].short_name;
}

PyObject* raise_panic(std::string_view text, std::source_location where) {
  std::fprintf(stderr, "pairo: internal failure at %s:%u in %s: %.*s\n", where.file_name(),
               static_cast<unsigned>(where.line()), where.function_name(),
               static_cast<int>(text.size()), text.data());
  std::fflush(stderr);
  PyObject* cls = panic_class();
  if (!cls) return nullptr;  // the creation error stays set
  PyObject* message = PyUnicode_DecodeUTF8(text.data(), std::ssize(text), "replace");
  if (!message) return nullptr;
  PyErr_SetObject(cls, message);
  Py_DECREF(message);
  return nullptr;
}

}  // namespace pairo::lib
