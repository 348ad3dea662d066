// Between the batch engine and Python: failures become the exceptions the
// module's callers know, converted logs become strs, paths come in as the
// operating system's bytes and go out as the names reports show.
#include <string_view>

#include "native/native.hpp"
#include "lib/lib.hpp"
#include "lib/py_ref.hpp"

namespace pairo::native {
namespace {

using lib::PyRef;

// The interpreter's own classes; null for the module's.
PyObject* builtin_class(batch::ErrorClass cls) noexcept {
  using enum batch::ErrorClass;
  switch (cls) {
    case OSError: return PyExc_OSError;
    case FileNotFoundError: return PyExc_FileNotFoundError;
    case PermissionError: return PyExc_PermissionError;
    case FileExistsError: return PyExc_FileExistsError;
    case IsADirectoryError: return PyExc_IsADirectoryError;
    case NotADirectoryError: return PyExc_NotADirectoryError;
    case InterruptedError: return PyExc_InterruptedError;
    case BlockingIOError: return PyExc_BlockingIOError;
    case BrokenPipeError: return PyExc_BrokenPipeError;
    case ConnectionRefusedError: return PyExc_ConnectionRefusedError;
    case ConnectionResetError: return PyExc_ConnectionResetError;
    case ConnectionAbortedError: return PyExc_ConnectionAbortedError;
    case TimeoutError: return PyExc_TimeoutError;
    case MemoryError: return PyExc_MemoryError;
    default: return nullptr;
  }
}

// A new reference to the class.
PyObject* class_of(PyObject* module, batch::ErrorClass cls) {
  if (PyObject* builtin = builtin_class(cls)) return Py_NewRef(builtin);
  const std::string name(batch::class_name(cls));
  return PyObject_GetAttrString(module, name.c_str());
}

// Messages quote paths, which are the system's bytes, not always UTF-8.
PyObject* text(std::string_view bytes) { return PyUnicode_DecodeFSDefaultAndSize(bytes.data(), std::ssize(bytes)); }

PyObject* message_of(const batch::Failure& failure) {
  if (failure.form != batch::Failure::Form::OpenFailed) return text(failure.message);
  PyRef quoted(lib::texts::quoted_file_name(failure.path));
  if (!quoted) return nullptr;
  return PyUnicode_FromFormat("%s%U", failure.message.c_str(), quoted.get());
}

PyObject* raised(PyObject* module, const batch::Failure& failure) {
  PyRef message(message_of(failure));
  if (!message) return nullptr;
  if (failure.form == batch::Failure::Form::System) {
    // OSError(errno, text[, path]) picks its subclass from the number.
    PyRef number(PyLong_FromLong(failure.error_number));
    PyRef path(failure.path.empty() ? nullptr : shown_path(failure.path));
    if (!number || (!failure.path.empty() && !path)) return nullptr;
    return path ? PyObject_CallFunctionObjArgs(PyExc_OSError, number.get(), message.get(), path.get(), nullptr)
                : PyObject_CallFunctionObjArgs(PyExc_OSError, number.get(), message.get(), nullptr);
  }
  PyRef cls(class_of(module, failure.cls));
  if (!cls) return nullptr;
  return PyObject_CallOneArg(cls.get(), message.get());
}

}  // namespace

PyObject* exception_of(PyObject* module, const batch::Failure& failure) {
  PyRef exception(raised(module, failure));
  if (!exception || failure.note.empty()) return exception.release();
  PyRef note(text(failure.note));
  if (!note) return nullptr;
  PyRef added(PyObject_CallMethod(exception.get(), "add_note", "O", note.get()));
  return added ? exception.release() : nullptr;
}

PyObject* document_object(const batch::Document& document) {
  if (const auto* events = std::get_if<mjai::EncodedEvents>(&document)) return lib::build_result_list(*events);
  const auto& json = std::get<std::string>(document);
  return PyUnicode_DecodeUTF8(json.data(), std::ssize(json), "strict");
}

std::optional<std::string> os_path(PyObject* path) {
  PyRef fspath(PyOS_FSPath(path));
  if (!fspath) return std::nullopt;
  PyRef bytes(PyUnicode_Check(fspath.get()) ? PyUnicode_EncodeFSDefault(fspath.get()) : fspath.release());
  if (!bytes) return std::nullopt;
  return std::string(PyBytes_AS_STRING(bytes.get()), static_cast<std::size_t>(PyBytes_GET_SIZE(bytes.get())));
}

std::optional<std::vector<std::string>> os_paths(PyObject* paths) {
  PyRef iterator(PyObject_GetIter(paths));
  if (!iterator) return std::nullopt;
  std::vector<std::string> out;
  while (PyRef item{PyIter_Next(iterator.get())}) {
    auto path = os_path(item.get());
    if (!path) return std::nullopt;
    out.push_back(std::move(*path));
  }
  if (PyErr_Occurred()) return std::nullopt;
  return out;
}

PyObject* shown_path(std::string_view path) { return text(path); }

std::optional<batch::Target> target_of(const char* name) {
  const std::string_view given = name;
  if (given == "mjai") return batch::Target::Mjai;
  if (given == "tenhou6") return batch::Target::Tenhou6;
  PyErr_Format(PyExc_ValueError, "to must be \"mjai\" or \"tenhou6\", not \"%s\"", name);
  return std::nullopt;
}

}  // namespace pairo::native
