// diagnose(data): the whole error of a log that does not convert, for users
// who need to know why; _pairo's exceptions carry only the stage's fixed
// message, and MjlogParsingError only its text.
//
// It takes what the converters take, the same way: a str as it stands,
// bytes through the registry's bytes path (whose failures it raises, as the
// converters do), the format told by content and converted by its row of
// the registry's table.
#include "native/native.hpp"
#include "pyapi/py_ref.hpp"

namespace pairo::native {
namespace {

using pyapi::PyRef;

// The texts of an error are UTF-8: they quote only the log's own text, and
// cut no character in two.
PyObject* utf8(std::string_view text) { return PyUnicode_DecodeUTF8(text.data(), std::ssize(text), "strict"); }

PyObject* text_or_none(std::string_view text) { return text.empty() ? Py_NewRef(Py_None) : utf8(text); }

}  // namespace

// The fields in the order of the tuple, the detail last: the order
// DIAGNOSIS_FIELDS names and pairo.Diagnosis is checked against.
const std::array<const char*, 7> diagnosis_fields = {"stage", "kind", "round", "seat", "item", "message", "detail"};

PyObject* diagnosis_tuple(const pairo::Diagnosis& found) {
  PyRef fields[] = {
      PyRef(utf8(stage_name(found.stage))),
      PyRef(utf8(found.kind)),
      PyRef(text_or_none(found.round ? round_label(*found.round) : std::string())),
      PyRef(found.seat ? PyLong_FromLong(*found.seat) : Py_NewRef(Py_None)),
      PyRef(text_or_none(found.item)),
      PyRef(utf8(found.message)),
      PyRef(utf8(placed(found.round, found.seat, found.message))),
  };
  for (const PyRef& field : fields) {
    if (!field) return nullptr;
  }
  return PyTuple_Pack(7, fields[0].get(), fields[1].get(), fields[2].get(), fields[3].get(), fields[4].get(),
                      fields[5].get(), fields[6].get());
}

PyObject* diagnose(PyObject*, PyObject* data) {
  return pyapi::guarded([&]() -> PyObject* {
    auto given = given_text(data, "diagnose");
    if (!given) return nullptr;
    std::optional<batch::Events> events;
    std::optional<Failure> unread;
    unlocked([&] {
      auto text = owned_text(std::move(*given));
      if (!text) {
        unread = std::move(text.error());
        return;
      }
      events = formats::log_format(formats::format_of(text->view())).events(*text);
    });
    if (unread) return raise_failure(*unread);
    if (*events) Py_RETURN_NONE;
    return std::visit([](const auto& why) { return diagnosis_tuple(diagnosis_of(why)); }, events->error());
  });
}

}  // namespace pairo::native
