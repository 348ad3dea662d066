// The road of one log through the stages, and the list handed back to Python.
#include <cstring>
#include <string>

#include "lib/lib.hpp"
#include "lib/py_ref.hpp"
#include "pairo/conv/conv.hpp"

namespace pairo::lib {

std::expected<mjai::EncodedEvents, Stage> convert_log_text(const tenhou::PaddedText& text) {
  auto raw = tenhou::decode_raw_log(text);
  if (!raw) return std::unexpected(Stage::Decode);
  auto prepared = conv::prepare_log(std::move(*raw));
  if (!prepared) return std::unexpected(Stage::Prepare);
  auto events = conv::convert_log(*prepared);
  if (!events) return std::unexpected(Stage::Convert);
  auto encoded = mjai::encode_events(*events);
  if (!encoded) return std::unexpected(Stage::Encode);
  return std::move(*encoded);
}

void raise_stage_error(Stage stage) {
  ErrorClass which = ErrorClass::JsonParsingError;
  std::string message;
  switch (stage) {
    case Stage::Decode:
      message = "failed to parse " + std::string(format_label) + " log";
      break;
    case Stage::Prepare:
      which = ErrorClass::TenhouLogParsingError;
      message = "invalid log";
      break;
    case Stage::Convert:
      which = ErrorClass::TenhouToMjaiError;
      message = "failed to convert " + std::string(format_label) + " log to mjai";
      break;
    case Stage::Encode:
      which = ErrorClass::JsonSerializationError;
      message = "failed to serialize";
      break;
  }
  PyObject* cls = error_class(which);  // borrowed
  if (!cls) return;                    // PanicException is set
  PyErr_SetString(cls, message.c_str());
}

namespace {

bool is_ascii(std::string_view text) noexcept {
  for (unsigned char c : text) {
    if (c >= 0x80) return false;
  }
  return true;
}

// Event texts are almost all ASCII: those take the one-byte form directly.
PyObject* to_str(std::string_view text) {
  if (!is_ascii(text)) return PyUnicode_DecodeUTF8(text.data(), std::ssize(text), "strict");
  PyObject* str = PyUnicode_New(std::ssize(text), 127);
  if (str) std::memcpy(PyUnicode_1BYTE_DATA(str), text.data(), text.size());
  return str;
}

}  // namespace

PyObject* build_result_list(const mjai::EncodedEvents& events) {
  PyRef list(PyList_New(std::ssize(events.ends)));
  if (!list) return nullptr;
  for (std::size_t i = 0; i < events.size(); ++i) {
    PyObject* text = to_str(events.at(i));
    if (!text) return nullptr;  // the list releases the texts set so far
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), text);  // steals text
  }
  return list.release();
}

}  // namespace pairo::lib
