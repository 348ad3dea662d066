// mjlog_to_tenhou6(data, ref=None) and mjlog_to_mjai(data): Tenhou's XML game
// records, read into the decoded log the JSON path also makes, then written
// as tenhou.net/6 JSON or converted to mjai events by the one pipeline.
//
// The interpreter lock is held only to take the input and to hand back the
// result: reading, converting and writing a record touch no Python object.
#include <string>
#include <variant>

#include "native/native.hpp"
#include "lib/lib.hpp"
#include "lib/py_ref.hpp"

namespace pairo::native {
namespace {

constexpr lib::Signature tenhou6_signature = {"mjlog_to_tenhou6", {"data", "ref"}, 2, 1};
constexpr lib::Signature mjai_signature = {"mjlog_to_mjai", {"data", nullptr}, 1, 1};

// A record that cannot be read (MjlogParsingError), or a log that a later
// stage refuses (the class _pairo raises for that stage).
using Failure = std::variant<mjlog::Error, pairo::Error>;

template <class T>
using Outcome = std::expected<T, Failure>;

void raise_failure(const Failure& failure) {
  if (const auto* unread = std::get_if<mjlog::Error>(&failure)) {
    raise_record_error(*unread);
  } else {
    raise_conversion_error(std::get<pairo::Error>(failure));
  }
}

// Runs `work` with the interpreter lock released; the lock is taken back
// however `work` ends, a C++ exception included.
template <class Work>
auto without_lock(Work&& work) -> decltype(work()) {
  struct Retaken {
    PyThreadState* state;
    ~Retaken() { PyEval_RestoreThread(state); }
  } retaken{PyEval_SaveThread()};
  return work();
}

Outcome<mjlog::Record> read(Given given) {
  auto text = record_text(std::move(given));
  if (!text) return std::unexpected(Failure(std::move(text.error())));
  auto record = mjlog::read_record(text->data(), text->size());
  if (!record) return std::unexpected(Failure(std::move(record.error())));
  return std::move(*record);
}

// A three-player record stops being read at the first sign of it; the JSON
// path refuses such a log when preparing it, and so does this one.
Outcome<std::string> tenhou6_text(Given given, std::string_view ref) {
  auto record = read(std::move(given));
  if (!record) return std::unexpected(std::move(record.error()));
  if (record->three_player) {
    return std::unexpected(Failure(pairo::Error(pairo::ErrorKind::ThreePlayer, "a three-player game record")));
  }
  if (auto refused = mjlog::tenhou6_refusal(*record)) return std::unexpected(Failure(std::move(*refused)));
  return mjlog::write_tenhou6(*record, ref);
}

Outcome<mjai::EncodedEvents> mjai_texts(Given given) {
  auto record = read(std::move(given));
  if (!record) return std::unexpected(std::move(record.error()));
  auto events = pairo::convert_raw_log(std::move(record->log));
  if (!events) return std::unexpected(Failure(std::move(events.error())));
  return std::move(*events);
}

// The game id as UTF-8, viewing the str's own UTF-8 form, which lives as
// long as the str; None is "".
std::optional<std::string_view> ref_text(PyObject* ref) {
  if (ref == nullptr || ref == Py_None) return std::string_view();
  if (!PyUnicode_Check(ref)) {
    PyErr_Format(PyExc_TypeError, "mjlog_to_tenhou6() argument 'ref' must be str or None, not %.200s",
                 Py_TYPE(ref)->tp_name);
    return std::nullopt;
  }
  Py_ssize_t size = 0;
  const char* utf8 = PyUnicode_AsUTF8AndSize(ref, &size);
  if (utf8 == nullptr) return std::nullopt;
  return std::string_view(utf8, static_cast<std::size_t>(size));
}

}  // namespace

PyObject* mjlog_to_tenhou6(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return lib::guarded([&]() -> PyObject* {
    std::array<PyObject*, 2> bound;
    if (!lib::bind_arguments(tenhou6_signature, args, nargs, kwnames, bound)) return nullptr;
    const auto ref = ref_text(bound[1]);
    if (!ref) return nullptr;
    auto given = given_record(bound[0], tenhou6_signature.function);
    if (!given) return nullptr;
    const auto text = without_lock([&] { return tenhou6_text(std::move(*given), *ref); });
    if (!text) {
      raise_failure(text.error());
      return nullptr;
    }
    return PyUnicode_DecodeUTF8(text->data(), std::ssize(*text), "strict");
  });
}

PyObject* mjlog_to_mjai(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return lib::guarded([&]() -> PyObject* {
    std::array<PyObject*, 2> bound;
    if (!lib::bind_arguments(mjai_signature, args, nargs, kwnames, bound)) return nullptr;
    auto given = given_record(bound[0], mjai_signature.function);
    if (!given) return nullptr;
    const auto events = without_lock([&] { return mjai_texts(std::move(*given)); });
    if (!events) {
      raise_failure(events.error());
      return nullptr;
    }
    return lib::build_result_list(*events);
  });
}

}  // namespace pairo::native
