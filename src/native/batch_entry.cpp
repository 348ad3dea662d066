// convert_files(...) and validate_files(...): the batch engine over the
// inputs as the command receives them. The workers read, convert and write with no Python object
// touched; this thread waits for their outcomes without the interpreter
// lock, hands each to the caller in input order, feeds the progress, and
// stops the batch when a signal handler raises (Ctrl-C).
#include <chrono>
#include <memory>
#include <thread>

#include "native/native.hpp"
#include "pyapi/py_ref.hpp"

namespace pairo::native {
namespace {

using pyapi::PyRef;
using namespace std::chrono_literals;

// Once an outcome is ready, the ones that follow are let gather this long
// before they are taken: far within the engine's window of work ahead at
// any number of threads, and one wake-up a few logs rather than a log.
constexpr auto drain_interval = 2ms;
// How long a wait for the next outcome lasts before signals are looked at;
// a batch waiting on its input waits on the engine and costs nothing.
constexpr auto signal_interval = 50ms;
// Progress is told at most this often, and once at the end.
constexpr auto progress_interval = 50ms;


struct Arguments {
  std::vector<std::string> inputs;
  std::string outdir;
  batch::Options options;
  std::shared_ptr<const std::string> standard_input;
  PyObject* on_outcome = nullptr;  // borrowed; None for no one
  PyObject* progress = nullptr;    // borrowed; None for no one
};

// The bytes read from standard input for "-", shared by the jobs that read
// them; None when no input names it. False with TypeError set otherwise.
bool take_standard_input(PyObject* standard_input, Arguments& parsed) {
  if (standard_input == Py_None) return true;
  if (!PyBytes_Check(standard_input)) {
    PyErr_SetString(PyExc_TypeError, "stdin must be bytes or None");
    return false;
  }
  parsed.standard_input = std::make_shared<const std::string>(pyapi::bytes_view(standard_input));
  return true;
}

std::optional<Arguments> parse(PyObject* args) {
  PyObject *inputs, *outdir, *standard_input, *filters, *view;
  Py_ssize_t jobs;
  int gzip, skip_existing, fail_fast;
  const char *to, *layout, *suffix;
  Arguments parsed;
  if (!PyArg_ParseTuple(args, "OOnpppsssOOOOO:convert_files", &inputs, &outdir, &jobs, &gzip, &skip_existing,
                        &fail_fast, &to, &layout, &suffix, &filters, &view, &standard_input, &parsed.on_outcome,
                        &parsed.progress)) {
    return std::nullopt;
  }
  const std::string_view layout_name = layout;
  if (layout_name != "mirror" && layout_name != "date") {
    PyErr_Format(PyExc_ValueError, "layout must be \"mirror\" or \"date\", not \"%s\"", layout);
    return std::nullopt;
  }
  const std::string_view suffix_text = suffix;
  if (suffix_text.find('/') != std::string_view::npos) {
    PyErr_Format(PyExc_ValueError, "suffix must name no folder: \"%s\"", suffix);
    return std::nullopt;
  }
  parsed.options.layout = layout_name == "date" ? batch::Layout::Date : batch::Layout::Mirror;
  parsed.options.suffix = suffix_text;
  if (!dataset_options(filters, view, parsed.options)) return std::nullopt;
  const auto threads = threads_of(jobs);
  auto target = threads ? target_of(to) : std::nullopt;
  auto paths = target ? os_paths(inputs) : std::nullopt;
  auto folder = paths ? os_path(outdir) : std::nullopt;
  if (!folder) return std::nullopt;
  if (folder->find('\0') != std::string::npos) {
    // The system would read the name only up to it, and write elsewhere.
    PyErr_SetString(PyExc_ValueError, "embedded null byte");
    return std::nullopt;
  }
  if (!take_standard_input(standard_input, parsed)) return std::nullopt;
  parsed.inputs = std::move(*paths);
  parsed.outdir = std::move(*folder);
  parsed.options.threads = *threads;
  parsed.options.gzip = gzip;
  parsed.options.skip_existing = skip_existing;
  parsed.options.fail_fast = fail_fast;
  parsed.options.target = *target;
  return parsed;
}

// validate_files(inputs, jobs, stdin, on_outcome, progress): nothing is
// written, so no output folder and none of its options.
std::optional<Arguments> parse_validation(PyObject* args) {
  PyObject *inputs, *standard_input;
  Py_ssize_t jobs;
  Arguments parsed;
  if (!PyArg_ParseTuple(args, "OnOOO:validate_files", &inputs, &jobs, &standard_input, &parsed.on_outcome,
                        &parsed.progress)) {
    return std::nullopt;
  }
  const auto threads = threads_of(jobs);
  auto paths = threads ? os_paths(inputs) : std::nullopt;
  if (!paths) return std::nullopt;
  if (!take_standard_input(standard_input, parsed)) return std::nullopt;
  parsed.inputs = std::move(*paths);
  parsed.options.threads = *threads;
  parsed.options.target = batch::Target::Validate;
  return parsed;
}

class Batch {
 public:
  Batch(Arguments arguments, std::unique_ptr<batch::JobSource> source)
      : arguments_(std::move(arguments)),
        engine_(std::move(source), arguments_.options, batch::converter_for(arguments_.options.target)) {}

  // Walking folders and opening containers (a database's ids are read
  // then) is the system's time, not the interpreter's, and Ctrl-C may
  // come meanwhile: null then, with the exception set.
  static std::unique_ptr<batch::JobSource> planned(const Arguments& arguments) {
    std::unique_ptr<batch::JobSource> source;
    const auto cancel = std::make_shared<std::atomic<bool>>(false);
    if (!interruptible(*cancel, [&] {
          source = batch::plan_stream(arguments.inputs, arguments.outdir, arguments.options,
                                      arguments.standard_input, cancel);
        })) {
      return nullptr;
    }
    return source;
  }

  // Every outcome handed over; the engine's time, or null with the
  // exception that stopped the batch set.
  PyObject* run() {
    while (!engine_.finished()) {
      // Outcomes are taken a batch at a time: waking for each log would
      // cost the workers a core's worth of switches on a busy machine.
      std::optional<batch::Outcome> first;
      unlocked([&] {
        first = engine_.next(signal_interval);
        if (first) std::this_thread::sleep_for(drain_interval);
      });
      if (PyErr_CheckSignals() < 0) return stopped();
      for (auto outcome = std::move(first); outcome; outcome = engine_.next(0ms)) {
        if (!hand_over(*outcome)) return stopped();
      }
      if (!tell_progress(false)) return stopped();
    }
    wait_for_workers();
    if (engine_.lost()) return PyErr_NoMemory();
    if (!tell_progress(true)) return nullptr;
    return PyLong_FromLongLong(engine_.elapsed().count());
  }

 private:
  bool hand_over(const batch::Outcome& outcome) {
    if (arguments_.on_outcome == Py_None) return true;
    PyRef kind = PyRef::borrow(Py_None);
    PyRef error = PyRef::borrow(Py_None);
    PyRef skip = PyRef::borrow(Py_None);
    PyRef diagnosis = PyRef::borrow(Py_None);
    if (const auto* skipped = std::get_if<batch::Skipped>(&outcome.result)) {
      skip = PyRef(skip_tuple(*skipped));
      if (!skip) return false;
    }
    if (const auto* failure = std::get_if<batch::Failure>(&outcome.result)) {
      const std::string_view kind_text = pairo::failure_row(failure->code).kind;
      kind = PyRef(PyUnicode_FromStringAndSize(kind_text.data(), std::ssize(kind_text)));
      error = PyRef(exception_of(*failure));
      if (!kind || !error) return false;
      if (failure->diagnosis) {
        diagnosis = PyRef(diagnosis_tuple(*failure->diagnosis));
        if (!diagnosis) return false;
      }
    }
    PyRef name(shown_path(outcome.name));
    PyRef output(shown_path(outcome.output));
    if (!name || !output) return false;
    if (arguments_.options.target == batch::Target::Validate) {
      // The replay's verdict, (fault or None, warnings), or None for a log skipped or failed.
      PyRef verdict = PyRef::borrow(Py_None);
      const auto* converted = std::get_if<batch::Converted>(&outcome.result);
      if (converted && converted->verdict) {
        verdict = PyRef(verdict_tuple(*converted->verdict));
        if (!verdict) return false;
      }
      PyRef called(PyObject_CallFunctionObjArgs(arguments_.on_outcome, name.get(), kind.get(), error.get(),
                                                skip.get(), verdict.get(), nullptr));
      return static_cast<bool>(called);
    }
    PyRef called(PyObject_CallFunctionObjArgs(arguments_.on_outcome, name.get(), kind.get(), output.get(),
                                              error.get(), skip.get(), diagnosis.get(), nullptr));
    return static_cast<bool>(called);
  }

  // (reason, the earlier row's name for a duplicate or None, the filter
  // that left it out or None)
  static PyObject* skip_tuple(const batch::Skipped& skipped) {
    const std::string_view reason = batch::reason_text(skipped.reason);
    PyRef text(PyUnicode_FromStringAndSize(reason.data(), std::ssize(reason)));
    PyRef earlier(skipped.earlier.empty() ? Py_NewRef(Py_None) : shown_path(skipped.earlier));
    PyRef filter(skipped.filter.empty() ? Py_NewRef(Py_None)
                                        : PyUnicode_FromStringAndSize(skipped.filter.data(), std::ssize(skipped.filter)));
    if (!text || !earlier || !filter) return nullptr;
    return PyTuple_Pack(3, text.get(), earlier.get(), filter.get());
  }

  bool tell_progress(bool last) {
    if (arguments_.progress == Py_None) return true;
    const std::size_t done = engine_.progress();
    const auto now = std::chrono::steady_clock::now();
    if (done == told_ || (!last && now - told_at_ < progress_interval)) return true;
    told_ = done;
    told_at_ = now;
    const auto total = engine_.total();
    PyRef count(PyLong_FromSsize_t(static_cast<Py_ssize_t>(done)));
    PyRef of(total ? PyLong_FromSsize_t(static_cast<Py_ssize_t>(*total)) : Py_NewRef(Py_None));
    if (!count || !of) return false;
    PyRef called(PyObject_CallFunctionObjArgs(arguments_.progress, count.get(), of.get(), nullptr));
    return static_cast<bool>(called);
  }

  // No log starts any more; those under way finish, so that every output
  // written is whole. The exception stays set.
  PyObject* stopped() {
    engine_.cancel();
    wait_for_workers();
    return nullptr;
  }

  void wait_for_workers() {
    unlocked([&] { engine_.join(); });
  }

  Arguments arguments_;
  batch::Engine engine_;
  std::size_t told_ = 0;
  std::chrono::steady_clock::time_point told_at_{};
};

}  // namespace

PyObject* validate_files(PyObject*, PyObject* args) {
  return pyapi::guarded([&]() -> PyObject* {
    auto arguments = parse_validation(args);
    if (!arguments) return nullptr;
    auto source = Batch::planned(*arguments);
    if (!source) return nullptr;
    Batch batch(std::move(*arguments), std::move(source));
    return batch.run();
  });
}

PyObject* convert_files(PyObject*, PyObject* args) {
  return pyapi::guarded([&]() -> PyObject* {
    auto arguments = parse(args);
    if (!arguments) return nullptr;
    auto source = Batch::planned(*arguments);
    if (!source) return nullptr;
    Batch batch(std::move(*arguments), std::move(source));
    return batch.run();
  });
}

}  // namespace pairo::native
