// The one way a failure becomes a Python exception, for both modules: its
// class (the interpreter's, PanicException, or the module's own), its
// message in the failure's form, and its note.
#include "pyapi/pyapi.hpp"
#include "pyapi/py_ref.hpp"

namespace pairo::pyapi {
namespace {

// The interpreter's class of each ErrorClass, in its order; null for the
// classes the modules make (theirs and PanicException).
PyObject* builtin_class(ErrorClass cls) {
  PyObject* const classes[error_class_count] = {
      nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
      PyExc_OSError, PyExc_FileNotFoundError, PyExc_PermissionError, PyExc_FileExistsError,
      PyExc_InterruptedError, PyExc_BlockingIOError, PyExc_BrokenPipeError, PyExc_ConnectionRefusedError,
      PyExc_ConnectionResetError, PyExc_ConnectionAbortedError, PyExc_TimeoutError, PyExc_MemoryError};
  static_assert(static_cast<std::size_t>(ErrorClass::OSError) == 7);
  return classes[static_cast<std::size_t>(cls)];
}

// A borrowed reference to the class, or null with an exception set.
PyObject* class_of(ErrorClass cls, ClassOf module_class) {
  if (PyObject* builtin = builtin_class(cls)) return builtin;
  return cls == ErrorClass::PanicException ? panic_class() : module_class(cls);
}

// Messages may quote paths, which are the system's bytes, not always UTF-8.
PyObject* system_text(std::string_view bytes) {
  return PyUnicode_DecodeFSDefaultAndSize(bytes.data(), std::ssize(bytes));
}

PyObject* message_of(const Failure& failure) {
  PyRef path;
  switch (failure.form) {
    case Failure::Form::Message:
    case Failure::Form::System:
      return system_text(failure.message);
    case Failure::Form::QuotedPath:
      path = PyRef(quoted_file_name(failure.path));
      break;
    case Failure::Form::ShownPath:
      path = PyRef(PyUnicode_DecodeUTF8(failure.path.data(), std::ssize(failure.path), "replace"));
      break;
  }
  if (!path) return nullptr;
  return PyUnicode_FromFormat("%s%U", failure.message.c_str(), path.get());
}

PyObject* built(const Failure& failure, ClassOf module_class) {
  PyRef message(message_of(failure));
  if (!message) return nullptr;
  if (failure.form == Failure::Form::System) {
    // OSError(errno, text[, path]) picks its subclass from the number.
    PyRef number(PyLong_FromLong(failure.error_number));
    PyRef path(failure.path.empty() ? nullptr : system_text(failure.path));
    if (!number || (!failure.path.empty() && !path)) return nullptr;
    return path ? PyObject_CallFunctionObjArgs(PyExc_OSError, number.get(), message.get(), path.get(), nullptr)
                : PyObject_CallFunctionObjArgs(PyExc_OSError, number.get(), message.get(), nullptr);
  }
  PyObject* cls = class_of(failure.cls, module_class);  // borrowed
  if (!cls) return nullptr;
  return call_one(cls, message.get());
}

}  // namespace

PyObject* exception_of(const Failure& failure, ClassOf module_class) {
  PyRef exception(built(failure, module_class));
  if (!exception || failure.note.empty()) return exception.release();
  PyRef note(system_text(failure.note));
  if (!note) return nullptr;
  PyRef added(PyObject_CallMethod(exception.get(), "add_note", "O", note.get()));
  return added ? exception.release() : nullptr;
}

PyObject* raise_exception(PyObject* made) {
  PyRef exception(made);
  // Set as PyErr_SetObject sets it, so that it chains to an exception being
  // handled, as any raise does.
  if (exception) PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(exception.get())), exception.get());
  return nullptr;
}

PyObject* raise_failure(const Failure& failure, ClassOf module_class) {
  return raise_exception(exception_of(failure, module_class));
}

}  // namespace pairo::pyapi
