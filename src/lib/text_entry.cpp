// tenhou_to_mjai(data): the log's text from a str.
#include "lib/lib.hpp"
#include "pyapi/py_ref.hpp"

namespace pairo::lib {
namespace {

constexpr Signature text_signature = {"tenhou_to_mjai", {"data", nullptr}, 1, 1};

PyObject* convert_str(PyObject* data) {
  if (!PyUnicode_Check(data)) {
    pyapi::raise_not_a_str(data);
    pyapi::prefix_argument_error("data");
    return nullptr;
  }
  PaddedText text;
  if (!pyapi::read_str_text(data, text)) return nullptr;  // UnicodeEncodeError as it stands
  // The copy of the text goes as soon as it is parsed.
  const auto events = pairo::convert_log_text(std::move(text));
  if (!events) return raise_failure(conversion_failure(events.error()));
  return pyapi::build_result_list(*events);
}

}  // namespace

PyObject* tenhou_to_mjai(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guarded([&]() -> PyObject* {
    std::array<PyObject*, 2> bound;
    if (!pyapi::bind_arguments(text_signature, args, nargs, kwnames, bound)) return nullptr;
    return convert_str(bound[0]);
  });
}

}  // namespace pairo::lib
