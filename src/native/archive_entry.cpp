// open_archive(path, jobs, to): a container's records converted on the
// engine's threads, taken one at a time by a Python loop. Nothing is
// written; the engine's window of outcomes ahead bounds what is held. The
// records object owns the engine: closing it (or dropping it) cancels the
// work, waits for the logs under way and closes the container.
#include <chrono>
#include <memory>

#include "native/native.hpp"
#include "pyapi/py_ref.hpp"

namespace pairo::native {
namespace {

using pyapi::PyRef;
using namespace std::chrono_literals;

// How long one wait for the next outcome lasts before signals are looked at.
constexpr auto signal_interval = 50ms;

// What the object owns: the engine and the prefix taken off the records'
// names. It is shared: next() holds it while it waits without the lock, so
// that close() from another thread (or the object's end) cancels the work
// but never frees what that wait stands on; the last holder frees it.
struct State {
  State(std::unique_ptr<batch::JobSource> source, const batch::Options& options, std::string path)
      : engine(std::move(source), options, batch::converter_for(options.target)), prefix(std::move(path) + "/") {}
  batch::Engine engine;
  std::string prefix;  // "<path>/"
};
using SharedState = std::shared_ptr<State>;

// The state is released from its unique_ptr when the object is made and
// taken back into it when the object goes.
struct Records {
  PyObject_HEAD
  SharedState* state;  // owned; its pointer null once closed
};

// The object's state, held for the duration of a call; null once closed.
SharedState held(const Records* self) { return self->state ? *self->state : nullptr; }

void close_engine(Records* self) {
  SharedState state = self->state ? std::exchange(*self->state, nullptr) : nullptr;
  if (state) {
    state->engine.cancel();
    unlocked([&] { state->engine.join(); });
  }
}

// The name of a record inside its container; the container's own failure
// keeps its path.
PyObject* record_name(const State& state, std::string_view name) {
  if (name.starts_with(state.prefix)) name.remove_prefix(state.prefix.size());
  return shown_path(name);
}

PyObject* records_next(PyObject* object) {
  auto* self = reinterpret_cast<Records*>(object);
  return pyapi::guarded([&]() -> PyObject* {
    while (SharedState state = held(self)) {
      std::optional<batch::Outcome> outcome;
      bool finished = false;
      unlocked([&] {
        outcome = state->engine.next(signal_interval);
        finished = !outcome && state->engine.finished();
      });
      if (PyErr_CheckSignals() < 0) return nullptr;
      if (finished) {
        if (state->engine.lost()) {
          close_engine(self);
          return PyErr_NoMemory();
        }
        break;
      }
      if (!outcome || std::holds_alternative<batch::Skipped>(outcome->result)) continue;
      PyRef name(record_name(*state, outcome->name));
      if (!name) return nullptr;
      PyRef value;
      if (auto* converted = std::get_if<batch::Converted>(&outcome->result)) {
        value = PyRef(document_object(*converted->document));
      } else {
        value = PyRef(exception_of(std::get<batch::Failure>(outcome->result)));
      }
      if (!value) return nullptr;
      return PyTuple_Pack(2, name.get(), value.get());
    }
    close_engine(self);
    return nullptr;  // StopIteration, no exception set
  });
}

PyObject* records_close(PyObject* object, PyObject*) {
  return pyapi::guarded([&]() -> PyObject* {
    close_engine(reinterpret_cast<Records*>(object));
    Py_RETURN_NONE;
  });
}

void records_dealloc(PyObject* object) {
  auto* self = reinterpret_cast<Records*>(object);
  PyTypeObject* type = Py_TYPE(object);
  PyObject* pending = PyErr_GetRaisedException();
  try {
    close_engine(self);
  } catch (...) {
    // A thread that cannot be joined leaves nothing to do here.
  }
  const std::unique_ptr<SharedState> owned(std::exchange(self->state, nullptr));
  PyErr_SetRaisedException(pending);
  reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free))(object);
  Py_DECREF(type);
}

PyMethodDef records_methods[] = {
    {"close", &records_close, METH_NOARGS,
     "close($self, /)\n--\n\nCancels the conversion: no record starts after it; those under way finish."},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot records_slots[] = {
    {Py_tp_iter, reinterpret_cast<void*>(&PyObject_SelfIter)},
    {Py_tp_iternext, reinterpret_cast<void*>(&records_next)},
    {Py_tp_dealloc, reinterpret_cast<void*>(&records_dealloc)},
    {Py_tp_methods, records_methods},
    {Py_tp_doc, const_cast<char*>("A container's records as (name, events or exception), in its order.")},
    {0, nullptr},
};

PyType_Spec records_spec = {"pairo._native.ArchiveRecords", sizeof(Records), 0, Py_TPFLAGS_DEFAULT,
                            records_slots};

PyObject* records_type = nullptr;  // owned for the rest of the process

}  // namespace

bool add_records_type(PyObject* module) {
  if (!records_type && !(records_type = PyType_FromSpec(&records_spec))) return false;
  return PyModule_AddObjectRef(module, "ArchiveRecords", records_type) == 0;
}

PyObject* open_archive(PyObject*, PyObject* args) {
  return pyapi::guarded([&]() -> PyObject* {
    PyObject *path_object, *filters, *view;
    Py_ssize_t jobs;
    const char* to;
    if (!PyArg_ParseTuple(args, "OnsOO:open_archive", &path_object, &jobs, &to, &filters, &view)) return nullptr;
    const auto threads = threads_of(jobs);
    const auto target = threads ? target_of(to) : std::nullopt;
    const auto path = target ? os_path(path_object) : std::nullopt;
    if (!path) return nullptr;

    batch::Options options;
    if (!dataset_options(filters, view, options)) return nullptr;
    options.threads = *threads;
    options.target = *target;
    options.in_memory = true;
    // Opening a database reads its ids: Ctrl-C may come meanwhile.
    std::optional<std::expected<formats::Container, archive::ArchiveError>> opened;
    const auto cancel = std::make_shared<std::atomic<bool>>(false);
    if (!interruptible(*cancel, [&] {
          opened.emplace(formats::Container::open(*path, options.target, cancel.get()));
        })) {
      return nullptr;
    }
    if (!*opened) {
      return raise_failure(archive::failure_of(opened->error()));
    }
    auto source = batch::source_of(std::move(**opened), *path, {}, options, cancel);
    auto state = std::make_unique<SharedState>(std::make_shared<State>(std::move(source), options, *path));

    auto* self = PyObject_New(Records, reinterpret_cast<PyTypeObject*>(records_type));
    if (!self) return nullptr;
    self->state = state.release();
    return reinterpret_cast<PyObject*>(self);
  });
}

}  // namespace pairo::native
