// diagnose(data): the whole error of a log that does not convert, for users
// who need to know why; _pairo's exceptions carry only the stage's fixed
// message, and MjlogParsingError only its text.
//
// It takes what the converters take, the same way: a str as it stands,
// bytes through the engine's bytes path (whose failures it raises, as the
// converters do), the format told by content and converted by its row of
// the engine's table.
#include "native/native.hpp"
#include "pyapi/py_ref.hpp"

namespace pairo::native {
namespace {

using pyapi::PyRef;

// The texts of an error are UTF-8: they quote only the log's own text, and
// cut no character in two.
PyObject* utf8(std::string_view text) { return PyUnicode_DecodeUTF8(text.data(), std::ssize(text), "strict"); }

PyObject* text_or_none(std::string_view text) { return text.empty() ? Py_NewRef(Py_None) : utf8(text); }

// One failure's fields, in the order of the tuple.
struct Diagnosis {
  std::string_view stage;
  std::string_view kind;
  std::optional<Round> round;
  std::optional<std::uint8_t> seat;
  std::string_view item;
  std::string_view message;
};

PyObject* tuple_of(const Diagnosis& found) {
  PyRef fields[] = {
      PyRef(utf8(found.stage)),
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

}  // namespace

PyObject* diagnosis_tuple(const pairo::Error& error) {
  return tuple_of({stage_name(stage_of(error)), kind_name(error.kind), error.round, error.seat, error.item,
                   error.message});
}

// A record that does not read fails before any stage of the log: it is not
// a log document, as a JSON text that does not decode is not.
PyObject* diagnosis_tuple(const mjlog::Error& error) {
  const std::string message = record_failure(error.message, error.offset).message;
  return tuple_of({stage_name(Stage::Decode), mjlog::kind_name(error.kind), error.round, error.seat, error.item,
                   message});
}

PyObject* diagnose(PyObject*, PyObject* data) {
  return pyapi::guarded([&]() -> PyObject* {
    auto given = given_text(data, "diagnose");
    if (!given) return nullptr;
    std::optional<batch::Events> events;
    std::optional<Failure> unread;
    unlocked([&] {
      auto text = text_of(std::move(*given));
      if (!text) {
        unread = std::move(text.error());
        return;
      }
      events = batch::input_format(batch::format_of(text->view())).events(*text);
    });
    if (unread) return raise_failure(*unread);
    if (*events) Py_RETURN_NONE;
    return std::visit([](const auto& why) { return diagnosis_tuple(why); }, events->error());
  });
}

}  // namespace pairo::native
