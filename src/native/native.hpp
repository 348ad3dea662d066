// What the parts of pairo._native offer each other: its functions, the
// classes it raises, and the translation between the batch engine's values
// and Python's.
#pragma once

#include <Python.h>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <expected>
#include <mutex>
#include <thread>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "batch/batch.hpp"
#include "validate/validate.hpp"
#include "pyapi/pyapi.hpp"

namespace pairo::native {

// diagnose(data): why the log `data` (str or bytes, a tenhou.net/6 log or an
// XML record, told by content) does not convert, as the tuple (stage, kind,
// round, seat, item, message, detail), or None when it converts.
PyObject* diagnose(PyObject* module, PyObject* data);

// mjlog_to_tenhou6(data, ref=None): the tenhou.net/6 JSON text of the XML
// game record `data`; mjlog_to_mjai(data): its mjai event texts.
PyObject* mjlog_to_tenhou6(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* mjlog_to_mjai(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

// validate_mjai(events, hand_shapes=True): the replay of one mjai stream
// (its text, or a list of event texts): (fault or None, warnings), each
// finding the tuple (line, round, seat, check, message).
PyObject* validate_mjai(PyObject* module, PyObject* args);
// The checks' names, in their order: a new tuple, or null with an exception set.
[[nodiscard]] PyObject* check_names();

// ---- classes (errors.cpp) -------------------------------------------------

// Adds _pairo's four classes, MjlogParsingError and ArchiveError to `module`, keeping them
// for raising. False with an exception set.
[[nodiscard]] bool add_error_classes(PyObject* module);

// The exception of a failed log, with this module's classes and its note: a
// new reference, or null with an exception set.
[[nodiscard]] PyObject* exception_of(const Failure& failure);
// The same, raised. Returns null.
PyObject* raise_failure(const Failure& failure);

// convert_files(inputs, outdir, jobs, gzip, skip_existing, fail_fast, to,
// layout, suffix, filters, view, stdin, on_outcome, progress): the batch
// engine over files, folders and containers.
PyObject* convert_files(PyObject* module, PyObject* args);

// The data set's filters (a tuple: length, levels, public, required,
// refused, since, until, skip_disconnected; or None) and view (a seat or
// None) into `options`; false with an exception set.
[[nodiscard]] bool dataset_options(PyObject* filters, PyObject* view, batch::Options& options);

// seat_view(events, seat): the seat's view of a list of mjai event texts.
PyObject* seat_view(PyObject* module, PyObject* args);
// validate_files(inputs, jobs, stdin, on_outcome, progress): the engine
// replaying the mjai streams the inputs name, nothing written;
// on_outcome(name, kind, error, skip, verdict) for each in input order.
PyObject* validate_files(PyObject* module, PyObject* args);

// convert_many(paths, jobs, to): each file converted in memory, results in
// the order of `paths`, a failure as its exception.
PyObject* convert_many(PyObject* module, PyObject* args);

// convert_to_stdout(path, data, to): one log, from the file `path` or, when
// it is None, the bytes `data`, its output written to descriptor 1.
PyObject* convert_to_stdout(PyObject* module, PyObject* args);

// find_logs(inputs, to): the logs the inputs name, as (name, failure or None).
PyObject* find_logs(PyObject* module, PyObject* args);

// open_archive(path, jobs, to, filters, view): an iterator over the container's records
// converted on `jobs` threads, each (name, events or exception); its
// close() cancels the work.
PyObject* open_archive(PyObject* module, PyObject* args);
// Adds the class of open_archive's iterators to `module`. False with an exception set.
[[nodiscard]] bool add_records_type(PyObject* module);

// is_container(path): whether the path names a database or a bundle.
PyObject* is_container(PyObject* module, PyObject* path);

// The (stage, kind, round, seat, item, message, detail) of a conversion's
// error, or of an XML record that does not read (stage "decode", message
// MjlogParsingError's text): a new tuple, or null with an exception set.
[[nodiscard]] PyObject* diagnosis_tuple(const pairo::Diagnosis& found);
// The names of the tuple's fields, in its order.
extern const std::array<const char*, 7> diagnosis_fields;
// A check that does not hold, as (line, round, seat, check, message); the
// replay's verdict as (fault or None, tuple of warnings). New tuples, or
// null with an exception set.
[[nodiscard]] PyObject* finding_tuple(const validate::Finding& found);
[[nodiscard]] PyObject* verdict_tuple(const validate::Verdict& verdict);

// Runs `body` with the interpreter lock released: other threads run Python
// meanwhile. What it throws is thrown again once the lock is back.
template <class Body>
void unlocked(Body&& body) {
  std::exception_ptr failure;
  Py_BEGIN_ALLOW_THREADS
  try {
    body();
  } catch (...) {
    failure = std::current_exception();
  }
  Py_END_ALLOW_THREADS
  if (failure) std::rethrow_exception(failure);
}

// Runs `body` on a thread of its own while this one, the lock released,
// looks at signals every few milliseconds: work that may wait on its
// input (a pipe, a database's reads) stays stoppable. A signal handler
// that raises (Ctrl-C) raises `cancel`, which the body's waits heed; false
// then, with the exception set, once the body has returned. What the body
// throws is thrown here.
template <class Body>
[[nodiscard]] bool interruptible(std::atomic<bool>& cancel, Body&& body) {
  struct Shared {
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
    std::exception_ptr failure;
  } shared;
  // Joined on every way out: the interpreter's ending of this thread
  // included, which cancels the body first (the normal way joins before).
  struct Joined {
    std::atomic<bool>& cancel;
    std::thread thread;
    ~Joined() {
      if (!thread.joinable()) return;
      cancel.store(true, std::memory_order_relaxed);
      thread.join();
    }
  };
  Joined worker{cancel, std::thread([&] {
                  try {
                    body();
                  } catch (...) {
                    shared.failure = std::current_exception();
                  }
                  const std::lock_guard lock(shared.mutex);
                  shared.done = true;
                  shared.ended.notify_all();
                })};
  bool interrupted = false;
  while (true) {
    bool done = false;
    unlocked([&] {
      std::unique_lock lock(shared.mutex);
      done = shared.ended.wait_for(lock, std::chrono::milliseconds(20), [&] { return shared.done; });
    });
    if (done) break;
    if (!interrupted && PyErr_CheckSignals() < 0) {
      interrupted = true;
      cancel.store(true, std::memory_order_relaxed);
    }
  }
  worker.thread.join();
  if (shared.failure) {
    if (interrupted) PyErr_Clear();
    std::rethrow_exception(shared.failure);
  }
  return !interrupted;
}

// ---- between the engine and Python (values.cpp) -------------------------

// A log given in memory, read where it lies when it can be: a str's UTF-8
// is the str's own bytes when it is ASCII and a copy otherwise; bytes are
// viewed as given, maybe compressed and not yet checked to be UTF-8. The
// caller's reference keeps the object alive, and neither str nor bytes
// change.
struct Given {
  PaddedText owned;       // a text made for the call (a str encoded, bytes decompressed)
  std::string_view text;  // `owned`'s bytes, or the object's own
  bool raw_bytes = false;
};

// The argument `data` of `function`; nothing, with TypeError or
// UnicodeEncodeError set, when it is neither str nor bytes or holds a lone
// surrogate.
[[nodiscard]] std::optional<Given> given_text(PyObject* data, const char* function);

// The log's text where it lies: bytes through the registry's bytes path
// (decompressed into `owned` where a compression row tells them, checked
// to be UTF-8). Touches no Python object.
[[nodiscard]] std::expected<std::string_view, Failure> text_in_place(Given& given);

// The same text in a buffer of its own, as the engine's readers take it.
[[nodiscard]] std::expected<PaddedText, Failure> owned_text(Given given);

// The converted log: a list of event texts, or the tenhou.net/6 text.
[[nodiscard]] PyObject* document_object(const batch::Document& document);

// A path argument in its operating-system form; none with TypeError (or the
// interpreter's encoding error) set.
[[nodiscard]] std::optional<std::string> os_path(PyObject* path);

// Each item of an iterable of paths; none with the exception set.
[[nodiscard]] std::optional<std::vector<std::string>> os_paths(PyObject* paths);

// The name of a path as reports show it: a new str.
[[nodiscard]] PyObject* shown_path(std::string_view path);

// "mjai" or "tenhou6"; none with ValueError set.
[[nodiscard]] std::optional<batch::Target> target_of(const char* name);

// The engine's threads for `jobs` (at least 1, at most 4096); none with
// ValueError set.
[[nodiscard]] std::optional<unsigned> threads_of(Py_ssize_t jobs);

}  // namespace pairo::native
