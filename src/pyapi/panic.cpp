// PanicException, the class of internal failures, and the way a call ends
// with it.
//
// The class is one for the process, as callers catching it expect, although
// this code is linked into both extension modules, each with its own
// statics: its slot is the interpreter's state dictionary, under a key no
// one else uses, filled by whichever module fails first. Both modules live
// in the first interpreter only, so that slot is the process's.
#include "pyapi/pyapi.hpp"
#include "pyapi/py_ref.hpp"

namespace pairo::pyapi {
namespace {

constexpr const char* panic_slot_key = "pairo.PanicException";

constexpr const char* panic_doc =
    "An internal failure of pairo: a broken invariant, not a bad log.\n\n"
    "It derives from BaseException rather than Exception so that it is not swallowed by\n"
    "handlers meant for bad input and normally propagates to the top of the program.";

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

PyObject* panic_class() {
  PyObject* state = PyInterpreterState_GetDict(PyInterpreterState_Get());  // borrowed
  if (!state) {
    PyErr_SetString(PyExc_SystemError, "no interpreter state dictionary for PanicException");
    return nullptr;
  }
  PyRef key(PyUnicode_FromString(panic_slot_key));
  if (!key) return nullptr;
  PyObject* stored = PyDict_GetItemWithError(state, key.get());  // borrowed
  if (stored || PyErr_Occurred()) return stored;
  PyRef created(PyErr_NewExceptionWithDoc(texts::panic_class_path, panic_doc, PyExc_BaseException, nullptr));
  if (!created) return nullptr;
  // Another thread may have stored one meanwhile: the first one stays.
  PyRef kept(PyObject_CallMethod(state, "setdefault", "OO", key.get(), created.get()));
  return kept.get();  // borrowed from here on: the dictionary holds it
}

PyObject* raise_panic(std::string_view text, std::source_location where) {
  report_internal_failure(text, where);
  PyObject* cls = panic_class();
  if (!cls) return nullptr;  // the creation error stays set
  PyRef message(PyUnicode_DecodeUTF8(text.data(), std::ssize(text), "replace"));
  if (message) PyErr_SetObject(cls, message.get());
  return nullptr;
}

}  // namespace pairo::pyapi
