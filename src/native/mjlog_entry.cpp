// mjlog_to_tenhou6(data, ref=None) and mjlog_to_mjai(data): Tenhou's XML game
// records, through the registry's bytes path and its XML row: the same
// decompressing, UTF-8 check, reader and failures as every other entry
// point of the package. Unlike the engine they read every text as an XML record, so
// that anything else is refused as MjlogParsingError.
//
// The interpreter lock is held only to take the input and to hand back the
// result: reading, converting and writing a record touch no Python object.
#include <string>
#include <variant>

#include "native/native.hpp"
#include "pyapi/py_ref.hpp"

namespace pairo::native {
namespace {

using pyapi::PyRef;

constexpr pyapi::Signature tenhou6_signature = {"mjlog_to_tenhou6", {"data", "ref"}, 2, 1};
constexpr pyapi::Signature mjai_signature = {"mjlog_to_mjai", {"data", nullptr}, 1, 1};

// The record is read where it lies: plain bytes and an ASCII str are not copied.
std::expected<batch::Document, Failure> tenhou6_text(Given& given, std::string_view ref) {
  auto text = text_in_place(given);
  if (!text) return std::unexpected(std::move(text.error()));
  return formats::xml_to_tenhou6(*text, ref);
}

std::expected<batch::Document, Failure> mjai_texts(Given& given) {
  auto text = text_in_place(given);
  if (!text) return std::unexpected(std::move(text.error()));
  return formats::xml_to_mjai(*text);
}

// The game id as UTF-8, viewing the str's own UTF-8 form, which lives as
// long as the str; None is "".
std::optional<std::string_view> ref_text(PyObject* ref) {
  if (ref == nullptr || ref == Py_None) return std::string_view();
  if (!PyUnicode_Check(ref)) {
    PyRef type(pyapi::type_name(ref));
    if (type) PyErr_Format(PyExc_TypeError, "mjlog_to_tenhou6() argument 'ref' must be str or None, not %.200U", type.get());
    return std::nullopt;
  }
  Py_ssize_t size = 0;
  const char* utf8 = PyUnicode_AsUTF8AndSize(ref, &size);
  if (utf8 == nullptr) return std::nullopt;
  return std::string_view(utf8, static_cast<std::size_t>(size));
}

}  // namespace

PyObject* mjlog_to_tenhou6(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return pyapi::guarded([&]() -> PyObject* {
    std::array<PyObject*, 2> bound;
    if (!pyapi::bind_arguments(tenhou6_signature, args, nargs, kwnames, bound)) return nullptr;
    const auto ref = ref_text(bound[1]);
    if (!ref) return nullptr;
    auto given = given_text(bound[0], tenhou6_signature.function);
    if (!given) return nullptr;
    std::optional<std::expected<batch::Document, Failure>> text;
    unlocked([&] { text.emplace(tenhou6_text(*given, *ref)); });
    if (!*text) return raise_failure(text->error());
    return document_object(**text);
  });
}

PyObject* mjlog_to_mjai(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return pyapi::guarded([&]() -> PyObject* {
    std::array<PyObject*, 2> bound;
    if (!pyapi::bind_arguments(mjai_signature, args, nargs, kwnames, bound)) return nullptr;
    auto given = given_text(bound[0], mjai_signature.function);
    if (!given) return nullptr;
    std::optional<std::expected<batch::Document, Failure>> events;
    unlocked([&] { events.emplace(mjai_texts(*given)); });
    if (!*events) return raise_failure(events->error());
    return document_object(**events);
  });
}

}  // namespace pairo::native
