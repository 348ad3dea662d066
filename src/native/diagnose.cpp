// diagnose(data): the whole error of a log that does not convert, for users
// who need to know why; _pairo's exceptions carry only the stage's fixed
// message.
#include "native/native.hpp"
#include "pipeline/pipeline.hpp"
#include "pyapi/py_ref.hpp"

namespace pairo::native {
namespace {

using pyapi::PyRef;

// The texts of an error are UTF-8: they quote only the log's own text, and
// cut no character in two.
PyObject* utf8(std::string_view text) { return PyUnicode_DecodeUTF8(text.data(), std::ssize(text), "strict"); }

PyObject* text_or_none(std::string_view text) { return text.empty() ? Py_NewRef(Py_None) : utf8(text); }

}  // namespace

PyObject* diagnosis_tuple(const pairo::Error& error) {
  PyRef fields[] = {
      PyRef(utf8(pairo::stage_name(pairo::stage_of(error)))),
      PyRef(utf8(pairo::kind_name(error.kind))),
      PyRef(text_or_none(error.round ? pairo::round_label(*error.round) : std::string())),
      PyRef(error.seat ? PyLong_FromLong(*error.seat) : Py_NewRef(Py_None)),
      PyRef(text_or_none(error.item)),
      PyRef(utf8(error.message)),
      PyRef(utf8(error.detail())),
  };
  for (const PyRef& field : fields) {
    if (!field) return nullptr;
  }
  return PyTuple_Pack(7, fields[0].get(), fields[1].get(), fields[2].get(), fields[3].get(), fields[4].get(),
                      fields[5].get(), fields[6].get());
}

PyObject* diagnose(PyObject*, PyObject* data) {
  return pyapi::guarded([&]() -> PyObject* {
    if (!PyUnicode_Check(data)) {
      PyErr_Format(PyExc_TypeError, "diagnose() argument must be str, not %.200s", Py_TYPE(data)->tp_name);
      return nullptr;
    }
    PaddedText text;
    if (!pyapi::read_str_text(data, text)) return nullptr;  // UnicodeEncodeError as it stands
    const auto events = pairo::convert_log_text(text);
    if (events) Py_RETURN_NONE;
    return diagnosis_tuple(events.error());
  });
}

}  // namespace pairo::native
