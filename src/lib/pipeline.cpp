// The road of one log through the stages, and the list handed back to Python.
#include <cstring>
#include <string>

#include "lib/lib.hpp"
#include "lib/py_ref.hpp"
#include "pairo/conv/conv.hpp"

namespace pairo::lib {

namespace {

// The game's events. The decoded and prepared logs go when it returns, so
// that they are not held while the texts are written.
std::expected<mjai::Events, Stage> events_of(const tenhou::PaddedText& text) {
  auto raw = tenhou::decode_raw_log(text);
  if (!raw) return std::unexpected(Stage::Decode);
  auto prepared = conv::prepare_log(std::move(*raw));
  if (!prepared) return std::unexpected(Stage::Prepare);
  auto events = conv::convert_log(*prepared);
  if (!events) return std::unexpected(Stage::Convert);
  return std::move(*events);
}

}  // namespace

std::expected<mjai::EncodedEvents, Stage> convert_log_text(const tenhou::PaddedText& text) {
  auto events = events_of(text);
  if (!events) return std::unexpected(events.error());
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

// An ASCII text in the one-byte form, made in one step.
PyObject* ascii_str(std::string_view text) {
  PyObject* str = PyUnicode_New(std::ssize(text), 127);
  if (str) std::memcpy(PyUnicode_1BYTE_DATA(str), text.data(), text.size());
  return str;
}

PyObject* utf8_str(std::string_view text) {
  return PyUnicode_DecodeUTF8(text.data(), std::ssize(text), "strict");
}

}  // namespace

// Common texts are listed as the module's own strs. The encoder tells which
// other texts are not ASCII (only those holding player names can be); all
// the rest take the one-byte form without a scan.
PyObject* build_result_list(const mjai::EncodedEvents& events) {
  const Py_ssize_t count = std::ssize(events.ends);
  PyRef list(PyList_New(count));
  if (!list) return nullptr;
  const std::span<PyObject* const> common = common_str_table();
  std::size_t next_non_ascii = 0;
  for (Py_ssize_t i = 0; i < count; ++i) {
    const auto at = static_cast<std::size_t>(i);
    const std::uint16_t number = events.common[at];
    PyObject* str = number < common.size() ? common[number] : nullptr;
    if (str != nullptr) {
      Py_INCREF(str);
    } else {
      const std::string_view one = events.at(at);
      if (next_non_ascii < events.non_ascii.size() && events.non_ascii[next_non_ascii] == at) {
        ++next_non_ascii;
        str = utf8_str(one);
      } else {
        str = ascii_str(one);
      }
      if (!str) return nullptr;  // the list releases the texts set so far
    }
    PyList_SET_ITEM(list.get(), i, str);  // steals str
  }
  return list.release();
}

}  // namespace pairo::lib
