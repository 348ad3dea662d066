// Initialisation of pairo._core, the package's own extension module on the
// same C++ core as _pairo. It offers what _pairo's fixed surface cannot: the
// detail of a failed conversion now, other inputs and whole batches later.
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
  if (!module || !add_error_classes(module.get())) return nullptr;
  if (!module_slot) module_slot = module.release();
  return Py_NewRef(module_slot);
}

}  // namespace
}  // namespace pairo::core

PyMODINIT_FUNC PyInit__core(void) {
  return pairo::lib::guarded([] { return pairo::core::initialise(); });
}
