// PanicException, the class of internal failures, and the way a call ends
// with it. Each extension module holds its own slot for the class, filled on
// the first failure and kept until the process ends.
#include <cstdio>

#include "lib/lib.hpp"

namespace pairo::lib {
namespace {

PyObject* panic_slot = nullptr;

constexpr const char* panic_doc =
    "An internal failure of pairo: a broken invariant, not a bad log.\n\n"
    "It derives from BaseException rather than Exception so that it is not swallowed by\n"
    "handlers meant for bad input and normally propagates to the top of the program.";

PyObject* panic_class() {
  return obtain_class(panic_slot, texts::panic_class_path, panic_doc, PyExc_BaseException);
}

}  // namespace

// Creates the class, or returns the one stored meanwhile: creating a class
// runs Python code, which may let another thread fill the slot first.
PyObject* obtain_class(PyObject*& slot, const char* qualified_name, const char* doc, PyObject* base) {
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
