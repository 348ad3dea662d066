// validate_mjai(events): the replay of one mjai stream, given as the text of
// the stream or as a list of event texts. The replay runs without the
// interpreter's lock; the strs it reads are held for the while.
#include <vector>

#include "native/native.hpp"
#include "pyapi/py_ref.hpp"
#include "validate/validate.hpp"

namespace pairo::native {
namespace {

using pyapi::PyRef;

// The UTF-8 of a str, the str's own when it is ASCII and otherwise the copy
// the str keeps; null with the exception set (a lone surrogate).
std::optional<std::string_view> utf8_of(PyObject* str) {
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(str, &size);
  if (!data) return std::nullopt;
  return std::string_view(data, static_cast<std::size_t>(size));
}

PyObject* optional_text(const std::optional<Round>& round) {
  if (!round) return Py_NewRef(Py_None);
  const std::string label = round_label(*round);
  return PyUnicode_FromStringAndSize(label.data(), std::ssize(label));
}

}  // namespace

PyObject* finding_tuple(const validate::Finding& found) {
  const std::string_view check = validate::check_name(found.check);
  PyRef fields[] = {
      PyRef(PyLong_FromUnsignedLongLong(found.line)),
      PyRef(optional_text(found.round)),
      PyRef(found.seat ? PyLong_FromLong(*found.seat) : Py_NewRef(Py_None)),
      PyRef(PyUnicode_FromStringAndSize(check.data(), std::ssize(check))),
      PyRef(PyUnicode_DecodeUTF8(found.message.data(), std::ssize(found.message), "replace")),
  };
  for (const PyRef& field : fields) {
    if (!field) return nullptr;
  }
  return PyTuple_Pack(5, fields[0].get(), fields[1].get(), fields[2].get(), fields[3].get(), fields[4].get());
}

PyObject* verdict_tuple(const validate::Verdict& verdict) {
  PyRef fault(verdict.fault ? finding_tuple(*verdict.fault) : Py_NewRef(Py_None));
  PyRef warnings(PyTuple_New(std::ssize(verdict.warnings)));
  if (!fault || !warnings) return nullptr;
  for (std::size_t i = 0; i < verdict.warnings.size(); ++i) {
    PyObject* warning = finding_tuple(verdict.warnings[i]);
    if (!warning) return nullptr;
    pyapi::tuple_fill(warnings.get(), static_cast<Py_ssize_t>(i), warning);  // steals warning
  }
  return PyTuple_Pack(2, fault.get(), warnings.get());
}

PyObject* validate_mjai(PyObject*, PyObject* args) {
  return pyapi::guarded([&]() -> PyObject* {
    PyObject* events = nullptr;
    int hand_shapes = 1;
    if (!PyArg_ParseTuple(args, "O|p:validate_mjai", &events, &hand_shapes)) return nullptr;
    const validate::Options options{hand_shapes != 0};
    validate::Verdict verdict;
    if (PyUnicode_Check(events)) {
      auto text = utf8_of(events);
      if (!text) return nullptr;
      unlocked([&] { verdict = validate::validate_text(*text, options); });
      return verdict_tuple(verdict);
    }
    if (PyBytes_Check(events) || PyByteArray_Check(events) || PyObject_CheckBuffer(events)) {
      PyRef type(pyapi::type_name(events));
      if (type) {
        PyErr_Format(PyExc_TypeError, "validate_mjai() argument 'events' must be str or a list of str, not %.200U",
                     type.get());
      }
      return nullptr;
    }
    // The items are held here: a list may change once the lock is let go.
    PyRef items(PySequence_Tuple(events));
    if (!items) return nullptr;
    const Py_ssize_t count = pyapi::tuple_size(items.get());
    std::vector<std::string_view> texts;
    texts.reserve(static_cast<std::size_t>(count));
    for (Py_ssize_t i = 0; i < count; ++i) {
      PyObject* item = pyapi::tuple_item(items.get(), i);
      if (!PyUnicode_Check(item)) {
        PyRef type(pyapi::type_name(item));
        if (type) PyErr_Format(PyExc_TypeError, "validate_mjai() events[%zd] must be str, not %.200U", i, type.get());
        return nullptr;
      }
      auto text = utf8_of(item);
      if (!text) return nullptr;
      texts.push_back(*text);
    }
    unlocked([&] { verdict = validate::validate_events(texts, options); });
    return verdict_tuple(verdict);
  });
}

PyObject* check_names() {
  PyRef names(PyTuple_New(static_cast<Py_ssize_t>(validate::check_count)));
  if (!names) return nullptr;
  for (std::size_t i = 0; i < validate::check_count; ++i) {
    const std::string_view name = validate::check_name(static_cast<validate::Check>(i));
    PyObject* str = PyUnicode_FromStringAndSize(name.data(), std::ssize(name));
    if (!str) return nullptr;
    pyapi::tuple_fill(names.get(), static_cast<Py_ssize_t>(i), str);  // steals str
  }
  return names.release();
}

}  // namespace pairo::native
