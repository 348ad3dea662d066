// Initialisation of pairo._native, the package's own extension module on the
// same C++ core as _pairo. It offers what _pairo's fixed surface cannot: the
// detail of a failed conversion, Tenhou's XML game records, and whole batches
// of logs on the engine's threads.
//
// It imports _pairo and takes its exception classes, so that a failure raises
// the very classes _pairo raises, whichever module a caller went through; it
// makes its own strs of the common event texts, as _pairo does.
// Like _pairo it is initialised once per process, in the first interpreter:
// each initialisation imports _pairo first, which refuses any other.
#include "formats/registry.hpp"
#include "native/native.hpp"
#include "pyapi/py_ref.hpp"

namespace pairo::native {
namespace {

using pyapi::PyRef;

PyMethodDef methods[] = {
    {"diagnose", &diagnose, METH_O,
     "diagnose(data, /)\n--\n\n"
     "Why the log `data` does not convert (a tenhou.net/6 log or an XML game\n"
     "record, told by content; str, or bytes, gzipped or not): the tuple (stage,\n"
     "kind, round, seat, item, message, detail), or None when it converts."},
    {"mjlog_to_tenhou6", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&mjlog_to_tenhou6)),
     METH_FASTCALL | METH_KEYWORDS,
     "mjlog_to_tenhou6(data, ref=None)\n--\n\n"
     "The tenhou.net/6 JSON text of the Tenhou XML game record `data` (str, or\n"
     "bytes, gzip-compressed or not); `ref` is the game id written as its ref."},
    {"mjlog_to_mjai", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&mjlog_to_mjai)),
     METH_FASTCALL | METH_KEYWORDS,
     "mjlog_to_mjai(data)\n--\n\n"
     "The mjai event texts of the Tenhou XML game record `data` (str, or bytes,\n"
     "gzip-compressed or not)."},
    {"convert_files", &convert_files, METH_VARARGS,
     "convert_files(inputs, outdir, jobs, gzip, skip_existing, fail_fast, to, layout, suffix, filters, view,\n"
     "              stdin, on_outcome, progress, /)\n--\n\n"
     "Converts the logs that `inputs` name (files, folders, containers) into files under\n"
     "`outdir` on `jobs` threads, placed by `layout` (\"mirror\" or \"date\") and named with\n"
     "`suffix` (\"\" for the target's), kept by `filters` and written as seat `view` sees\n"
     "them. on_outcome(name, kind, output, error, skip, diagnosis)\n"
     "hears of each log in input order: converted to `output`; skipped with skip =\n"
     "(reason, earlier row of a duplicate or None, filter or None); or failed with `error`, its kind of\n"
     "failure as `kind` and the conversion's diagnosis tuple or None; progress(done, total)\n"
     "of the engine's counter\n"
     "(total None when unknown up front).\n"
     "Returns the engine's time in nanoseconds: first job taken to last outcome."},
    {"validate_files", &validate_files, METH_VARARGS,
     "validate_files(inputs, jobs, stdin, on_outcome, progress, /)\n--\n\n"
     "Replays the mjai streams that `inputs` name (files, folders, bundles; \"-\" for `stdin`)\n"
     "on `jobs` threads, nothing written. on_outcome(name, kind, error, skip, verdict) hears\n"
     "of each in input order: replayed, verdict = (fault or None, warnings); passed over\n"
     "with skip = (reason, None); or failed with `error` and its kind. progress(done, total)\n"
     "as for convert_files. Returns the engine's time in nanoseconds."},
    {"convert_many", &convert_many, METH_VARARGS,
     "convert_many(paths, jobs, to, /)\n--\n\n"
     "Converts each file of `paths` on `jobs` threads: the results in order, each a list\n"
     "of event texts (or the tenhou.net/6 text), or the exception the log failed with."},
    {"convert_to_stdout", &convert_to_stdout, METH_VARARGS,
     "convert_to_stdout(path, data, to, /)\n--\n\n"
     "Converts one log, the file `path` or (path None) the bytes `data`, and writes its\n"
     "output to descriptor 1 as a file gets it; a failed write raises OSError(errno, ...)."},
    {"find_logs", &find_logs, METH_VARARGS,
     "find_logs(inputs, to, /)\n--\n\n"
     "The logs that `inputs` name, in order, as (name, failure or None)."},
    {"open_archive", &open_archive, METH_VARARGS,
     "open_archive(path, jobs, to, filters, view, /)\n--\n\n"
     "The records of the container `path` kept by `filters` converted on `jobs` threads (as\n"
     "seat `view` sees them, unless None), nothing written: an\n"
     "iterator of (name, events or exception) in the container's order, skipped records left\n"
     "out. Its close() cancels the work and closes the container; ArchiveError when `path`\n"
     "cannot be opened as a container."},
    {"seat_view", &seat_view, METH_VARARGS,
     "seat_view(events, seat, /)\n--\n\n"
     "The mjai event texts `events` as seat `seat` receives them in a match: the other\n"
     "seats' starting hands and draws as \"?\", every other event as it is."},
    {"is_container", &is_container, METH_O,
     "is_container(path, /)\n--\n\n"
     "Whether `path` names a container of many records: a SQLite database (by its\n"
     "content) or a .zip, .tar, .tar.gz, .tgz, .tar.bz2 or .tar.xz bundle (by its name)."},
    {"validate_mjai", &validate_mjai, METH_VARARGS,
     "validate_mjai(events, hand_shapes=True, /)\n--\n\n"
     "Replays the mjai stream `events` (its text, or a list of event texts) under Tenhou's\n"
     "four-player rules: (fault, warnings), fault the first check that fails or None,\n"
     "each finding the tuple (line, round, seat, check, message). With hand_shapes\n"
     "false, winning and riichi hands are not held to a shape (random deals)."},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT,
    "pairo._native",
    "The conversion's native entry points beyond _pairo's fixed surface.",
    0,  // state lives in the process, not the module; each import runs the initialisation
    methods,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

// SKIP_REASONS: the words of the reasons a log is skipped for, in their
// order, for the package to count and print them by.
bool add_skip_reasons(PyObject* module) {
  PyRef reasons(PyTuple_New(static_cast<Py_ssize_t>(batch::skip_reason_count)));
  if (!reasons) return false;
  for (std::size_t i = 0; i < batch::skip_reason_count; ++i) {
    const std::string_view text = archive::skip_reason_texts[i];
    PyObject* str = PyUnicode_FromStringAndSize(text.data(), std::ssize(text));
    if (!str) return false;
    pyapi::tuple_fill(reasons.get(), static_cast<Py_ssize_t>(i), str);  // steals str
  }
  return PyModule_AddObjectRef(module, "SKIP_REASONS", reasons.get()) == 0;
}

// INPUT_NAMES: the suffixes the registry's rows give, for the command's help:
// {"logs": (".json", ...), "tenhou6_logs": ..., "compressions": ..., "bundles": ...}.
PyObject* str_tuple(const std::vector<std::string_view>& texts) {
  PyRef tuple(PyTuple_New(std::ssize(texts)));
  if (!tuple) return nullptr;
  for (std::size_t i = 0; i < texts.size(); ++i) {
    PyObject* str = PyUnicode_FromStringAndSize(texts[i].data(), std::ssize(texts[i]));
    if (!str) return nullptr;
    pyapi::tuple_fill(tuple.get(), static_cast<Py_ssize_t>(i), str);  // steals str
  }
  return tuple.release();
}

bool add_input_names(PyObject* module) {
  const formats::InputNames names = formats::input_names();
  PyRef logs(str_tuple(names.logs)), tenhou6(str_tuple(names.tenhou6_logs)),
      compressions(str_tuple(names.compressions)), bundles(str_tuple(names.bundles));
  if (!logs || !tenhou6 || !compressions || !bundles) return false;
  PyRef table(Py_BuildValue("{sOsOsOsO}", "logs", logs.get(), "tenhou6_logs", tenhou6.get(), "compressions",
                            compressions.get(), "bundles", bundles.get()));
  return table && PyModule_AddObjectRef(module, "INPUT_NAMES", table.get()) == 0;
}

// DIAGNOSIS_FIELDS: the names of a diagnosis tuple's fields, in its order.
bool add_diagnosis_fields(PyObject* module) {
  PyRef names(PyTuple_New(std::ssize(diagnosis_fields)));
  if (!names) return false;
  for (std::size_t i = 0; i < diagnosis_fields.size(); ++i) {
    PyObject* str = PyUnicode_FromString(diagnosis_fields[i]);
    if (!str) return false;
    pyapi::tuple_fill(names.get(), static_cast<Py_ssize_t>(i), str);  // steals str
  }
  return PyModule_AddObjectRef(module, "DIAGNOSIS_FIELDS", names.get()) == 0;
}

// CHECKS: the names of the replay's checks, in their order.
bool add_check_names(PyObject* module) {
  PyRef names(check_names());
  return names && PyModule_AddObjectRef(module, "CHECKS", names.get()) == 0;
}

PyObject* module_slot = nullptr;  // owned for the rest of the process

PyObject* initialise() {
  PyRef pairo_module(PyImport_ImportModule("_pairo"));  // refuses a second interpreter
  if (!pairo_module) return nullptr;
  if (module_slot) return Py_NewRef(module_slot);
  PyRef module(PyModule_Create2(&module_def, pyapi::python_api_version));
  // RECORD_LIMIT: the most bytes a log may hold, gzipped or not, so that
  // standard input is read no further than the engine would read a file.
  if (!module || !add_error_classes(module.get()) || !add_records_type(module.get()) || !add_skip_reasons(module.get()) ||
      !add_diagnosis_fields(module.get()) || !add_input_names(module.get()) ||
      !add_check_names(module.get()) ||
      PyModule_AddIntConstant(module.get(), "RECORD_LIMIT", static_cast<long>(pairo::record_limit)) != 0 ||
      !pyapi::make_common_strs()) {
    return nullptr;
  }
  if (!module_slot) module_slot = module.release();
  return Py_NewRef(module_slot);
}

}  // namespace
}  // namespace pairo::native

PyMODINIT_FUNC PyInit__native(void) {
  return pairo::pyapi::guarded([] { return pairo::native::initialise(); });
}
