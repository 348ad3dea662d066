// Initialisation of pairo._core, the package's own extension module on the
// same C++ core as _pairo. It offers what _pairo's fixed surface cannot: the
// detail of a failed conversion, XML records, and whole batches of logs on
// the engine's threads.
//
// It imports _pairo and takes its exception classes, so that a failure raises
// the very classes _pairo raises, whichever module a caller went through.
// Like _pairo it is initialised once per process, in the first interpreter.
#include "core/core.hpp"
#include "lib/lib.hpp"
#include "lib/py_ref.hpp"

namespace pairo::core {
namespace {

using lib::PyRef;

PyMethodDef methods[] = {
    {"diagnose", &diagnose, METH_O,
     "diagnose(data, /)\n--\n\n"
     "Why the Tenhou log text `data` does not convert: the tuple (stage, kind,\n"
     "round, seat, item, message, detail), or None when it converts."},
    {"convert_files", &convert_files, METH_VARARGS,
     "convert_files(inputs, outdir, jobs, gzip, skip_existing, fail_fast, to, stdin, on_outcome, progress, /)\n--\n\n"
     "Converts the logs that `inputs` name into files under `outdir` on `jobs` threads.\n"
     "on_outcome(name, kind, error) hears of each log in input order (kind 0 converted,\n"
     "1 skipped, 2 failed with `error`), progress(done, total) of the engine's counter.\n"
     "Returns the engine's time in nanoseconds: first log started to last output renamed."},
    {"convert_many", &convert_many, METH_VARARGS,
     "convert_many(paths, jobs, to, /)\n--\n\n"
     "Converts each file of `paths` on `jobs` threads: the results in order, each a list\n"
     "of event texts (or the tenhou.net/6 text), or the exception the log failed with."},
    {"convert_bytes", &convert_bytes, METH_VARARGS,
     "convert_bytes(data, to, /)\n--\n\n"
     "Converts one log given as bytes, gzip or not, JSON or XML."},
    {"find_logs", &find_logs, METH_VARARGS,
     "find_logs(inputs, to, /)\n--\n\n"
     "The logs that `inputs` name, in order, as (name, failure or None)."},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT,
    "pairo._core",
    "The conversion's native entry points beyond _pairo's fixed surface.",
    -1,  // state lives in the process, not the module: no second interpreter
    methods,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

PyObject* module_slot = nullptr;  // owned for the rest of the process

// _pairo's four classes, under the same names.
bool add_error_classes(PyObject* module) {
  PyRef pairo_module(PyImport_ImportModule("_pairo"));
  if (!pairo_module) return false;
  for (std::size_t i = 0; i < lib::error_class_count; ++i) {
    const char* name = lib::texts::error_class_names[i];
    PyRef cls(PyObject_GetAttrString(pairo_module.get(), name));
    if (!cls || PyModule_AddObjectRef(module, name, cls.get()) < 0) return false;
  }
  return true;
}

PyObject* initialise() {
  if (module_slot) return Py_NewRef(module_slot);
  PyRef module(PyModule_Create2(&module_def, lib::python_api_version));
  if (!module || !add_error_classes(module.get()) || !add_record_error_class(module.get())) return nullptr;
  if (!lib::make_common_strs()) return nullptr;
  if (!module_slot) module_slot = module.release();
  return Py_NewRef(module_slot);
}

}  // namespace
}  // namespace pairo::core

PyMODINIT_FUNC PyInit__core(void) {
  return pairo::lib::guarded([] { return pairo::core::initialise(); });
}
