// tenhou_to_mjai(data): the log's text from a str.
#include "lib/lib.hpp"
#include "lib/py_ref.hpp"

namespace pairo::lib {
namespace {

constexpr Signature text_signature = {"tenhou_to_mjai", {"data", nullptr}, 1, 1};

PyObject* convert_str(PyObject* data) {
  if (!PyUnicode_Check(data)) {
    texts::raise_not_a_str(data);
    prefix_argument_error("data");
    return nullptr;
  }
  tenhou::PaddedText text;
  if (!read_str_text(data, text)) return nullptr;  // UnicodeEncodeError as it stands
  // The copy of the text goes as soon as it is parsed.
  const auto events = pairo::convert_log_text(std::move(text));
  if (!events) {
    raise_error(events.error());
    return nullptr;
  }
  return build_result_list(*events);
}

}  // namespace

PyObject* tenhou_to_mjai(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guarded([&]() -> PyObject* {
    std::array<PyObject*, 2> bound;
    if (!bind_arguments(text_signature, args, nargs, kwnames, bound)) return nullptr;
    return convert_str(bound[0]);
  });
}

}  // namespace pairo::lib
