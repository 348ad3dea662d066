// The engine's in-memory entries: files converted by its threads with the
// results handed back in order (convert_many), one log written to standard
// output (convert_to_stdout), and the logs that inputs name (find_logs).
#include <unistd.h>

#include "native/native.hpp"
#include "pyapi/py_ref.hpp"

namespace pairo::native {
namespace {

using pyapi::PyRef;

// The result of one log: its document, or its failure as the exception.
PyObject* result_object(const std::expected<batch::Document, batch::Failure>& result) {
  return result ? document_object(*result) : exception_of(result.error());
}

// The paths of `items` the system can be given; each other item's place
// holds the exception its path raised.
struct Paths {
  std::vector<std::string> valid;
  std::vector<std::size_t> places;  // of each valid path in the items
  std::vector<PyRef> refused;       // by item; null where valid
};

std::optional<Paths> paths_of(PyObject* items) {
  Paths paths;
  const Py_ssize_t count = pyapi::fast_size(items);
  paths.refused.resize(static_cast<std::size_t>(count));
  for (Py_ssize_t i = 0; i < count; ++i) {
    auto path = os_path(pyapi::fast_item(items, i));
    if (!path) {
      if (!PyErr_ExceptionMatches(PyExc_Exception)) return std::nullopt;
      paths.refused[static_cast<std::size_t>(i)] = PyRef(PyErr_GetRaisedException());
      continue;
    }
    paths.valid.push_back(std::move(*path));
    paths.places.push_back(static_cast<std::size_t>(i));
  }
  return paths;
}

PyObject* results_list(Paths& paths,
                       const std::vector<std::expected<batch::Document, batch::Failure>>& results) {
  PyRef list(PyList_New(std::ssize(paths.refused)));
  if (!list) return nullptr;
  for (std::size_t i = 0; i < paths.refused.size(); ++i) {
    if (paths.refused[i]) pyapi::list_fill(list.get(), static_cast<Py_ssize_t>(i), paths.refused[i].release());
  }
  for (std::size_t k = 0; k < results.size(); ++k) {
    PyObject* item = result_object(results[k]);
    if (!item) return nullptr;
    pyapi::list_fill(list.get(), static_cast<Py_ssize_t>(paths.places[k]), item);
  }
  return list.release();
}

}  // namespace

PyObject* convert_many(PyObject*, PyObject* args) {
  return pyapi::guarded([&]() -> PyObject* {
    PyObject* items;
    Py_ssize_t jobs;
    const char* to;
    if (!PyArg_ParseTuple(args, "Ons:convert_many", &items, &jobs, &to)) return nullptr;
    const auto threads = threads_of(jobs);
    const auto target = threads ? target_of(to) : std::nullopt;
    if (!target) return nullptr;
    PyRef sequence(PySequence_Fast(items, "paths must be a sequence"));
    if (!sequence) return nullptr;
    auto paths = paths_of(sequence.get());
    if (!paths) return nullptr;
    std::vector<std::expected<batch::Document, batch::Failure>> results;
    std::atomic<bool> cancel{false};
    if (!interruptible(cancel, [&] {
          results = batch::convert_all(paths->valid, *threads, batch::converter_for(*target), &cancel);
        })) {
      return nullptr;
    }
    return results_list(*paths, results);
  });
}

PyObject* convert_to_stdout(PyObject*, PyObject* args) {
  return pyapi::guarded([&]() -> PyObject* {
    PyObject* path;
    Py_buffer data;
    const char* to;
    if (!PyArg_ParseTuple(args, "Oy*s:convert_to_stdout", &path, &data, &to)) return nullptr;
    const std::string_view bytes(static_cast<const char*>(data.buf), static_cast<std::size_t>(data.len));
    const auto target = target_of(to);
    const auto file = target && path != Py_None ? os_path(path) : std::optional<std::string>();
    std::optional<std::expected<void, Failure>> outcome;
    std::atomic<bool> cancel{false};
    // The log is read and converted where Ctrl-C can stop a wait on a
    // pipe; the output is written here, as before.
    if (target && (path == Py_None || file)) {
      std::optional<std::expected<batch::Document, Failure>> document;
      const bool converted = interruptible(cancel, [&] {
        const auto converter = batch::converter_for(*target);
        document.emplace(file ? batch::convert_file(*file, converter, &cancel) : batch::convert_bytes(bytes, converter));
      });
      PyBuffer_Release(&data);
      if (!converted) return nullptr;
      if (!*document) {
        outcome = std::unexpected(std::move(document->error()));
      } else {
        unlocked([&] {
          auto written = batch::write_document(STDOUT_FILENO, **document);
          outcome = written ? std::expected<void, Failure>() : std::unexpected(batch::system_failure(written.error()));
        });
      }
    } else {
      PyBuffer_Release(&data);
    }
    if (!outcome) return nullptr;
    if (!*outcome) return raise_failure(outcome->error());
    Py_RETURN_NONE;
  });
}

PyObject* find_logs(PyObject*, PyObject* args) {
  return pyapi::guarded([&]() -> PyObject* {
    PyObject* inputs;
    const char* to;
    if (!PyArg_ParseTuple(args, "Os:find_logs", &inputs, &to)) return nullptr;
    batch::Options options;
    const auto target = target_of(to);
    auto paths = target ? os_paths(inputs) : std::nullopt;
    if (!paths) return nullptr;
    options.target = *target;
    std::vector<batch::Job> jobs;
    const auto cancel = std::make_shared<std::atomic<bool>>(false);
    if (!interruptible(*cancel, [&] { jobs = batch::plan(*paths, ".", options, cancel); })) return nullptr;
    PyRef list(PyList_New(std::ssize(jobs)));
    if (!list) return nullptr;
    for (std::size_t i = 0; i < jobs.size(); ++i) {
      PyRef name(shown_path(jobs[i].name));
      PyRef failure(jobs[i].failure ? exception_of(*jobs[i].failure) : Py_NewRef(Py_None));
      if (!name || !failure) return nullptr;
      PyObject* pair = PyTuple_Pack(2, name.get(), failure.get());
      if (!pair) return nullptr;
      pyapi::list_fill(list.get(), static_cast<Py_ssize_t>(i), pair);
    }
    return list.release();
  });
}

}  // namespace pairo::native

namespace pairo::native {

PyObject* is_container(PyObject*, PyObject* path) {
  return pyapi::guarded([&]() -> PyObject* {
    const auto file = os_path(path);
    if (!file) return nullptr;
    bool found = false;
    unlocked([&] { found = formats::is_container(*file); });
    return PyBool_FromLong(found);
  });
}

}  // namespace pairo::native
