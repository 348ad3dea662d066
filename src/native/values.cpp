// Between the batch engine and Python: a log given as str or bytes becomes
// its text, converted logs become strs, paths come in as the operating
// system's bytes and go out as the names reports show.
#include <algorithm>
#include <string_view>

#include "formats/bytes.hpp"
#include "native/native.hpp"
#include "pyapi/py_ref.hpp"

namespace pairo::native {
namespace {

using pyapi::PyRef;

// Paths are the system's bytes, not always UTF-8.
PyObject* text(std::string_view bytes) { return PyUnicode_DecodeFSDefaultAndSize(bytes.data(), std::ssize(bytes)); }

}  // namespace

std::optional<Given> given_text(PyObject* data, const char* function) {
  Given given;
  if (PyBytes_Check(data)) {
    given.text = pyapi::bytes_view(data);
    given.raw_bytes = true;
    return given;
  }
  if (!PyUnicode_Check(data)) {
    PyRef type(pyapi::type_name(data));
    if (type) PyErr_Format(PyExc_TypeError, "%s() argument 'data' must be str or bytes, not %.200U", function, type.get());
    return std::nullopt;
  }
#ifndef Py_LIMITED_API
  // Tenhou's records are ASCII (names are percent-encoded): their str is
  // its own UTF-8.
  if (PyUnicode_IS_ASCII(data)) {
    given.text = std::string_view(static_cast<const char*>(PyUnicode_DATA(data)),
                                  static_cast<std::size_t>(PyUnicode_GET_LENGTH(data)));
    return given;
  }
#endif
  if (!pyapi::read_str_text(data, given.owned)) return std::nullopt;  // UnicodeEncodeError as it stands
  given.text = given.owned.view();
  return given;
}

std::expected<std::string_view, Failure> text_in_place(Given& given) {
  if (!given.raw_bytes) return given.text;
  formats::Decoders decoders;
  auto text = formats::text_in(given.text, given.owned, decoders);
  if (!text) return std::unexpected(std::move(text.error()));
  given.text = *text;
  given.raw_bytes = false;
  return given.text;
}

std::expected<PaddedText, Failure> owned_text(Given given) {
  auto text = text_in_place(given);
  if (!text) return std::unexpected(std::move(text.error()));
  if (given.owned.data() == text->data()) return std::move(given.owned);
  return PaddedText(*text);
}

PyObject* document_object(const batch::Document& document) {
  if (const auto* events = std::get_if<mjai::EncodedEvents>(&document)) return pyapi::build_result_list(*events);
  const auto& json = std::get<std::string>(document);
  return PyUnicode_DecodeUTF8(json.data(), std::ssize(json), "strict");
}

std::optional<std::string> os_path(PyObject* path) {
  PyRef fspath(PyOS_FSPath(path));
  if (!fspath) return std::nullopt;
  PyRef bytes(PyUnicode_Check(fspath.get()) ? PyUnicode_EncodeFSDefault(fspath.get()) : fspath.release());
  if (!bytes) return std::nullopt;
  return std::string(pyapi::bytes_view(bytes.get()));
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

std::optional<unsigned> threads_of(Py_ssize_t jobs) {
  if (jobs < 1) {
    PyErr_Format(PyExc_ValueError, "jobs must be at least 1, not %zd", jobs);
    return std::nullopt;
  }
  return static_cast<unsigned>(std::min<Py_ssize_t>(jobs, 4096));
}

std::optional<batch::Target> target_of(const char* name) {
  const std::string_view given = name;
  if (given == "mjai") return batch::Target::Mjai;
  if (given == "tenhou6") return batch::Target::Tenhou6;
  PyErr_Format(PyExc_ValueError, "to must be \"mjai\" or \"tenhou6\", not \"%s\"", name);
  return std::nullopt;
}

}  // namespace pairo::native
