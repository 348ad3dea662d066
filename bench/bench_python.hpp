// The start of the embedded interpreter that the benchmarks of whole calls
// run in: the module's build folder first on the search path, then _pairo.
#pragma once

#include <Python.h>

#include <cstdio>
#include <cstdlib>

namespace bench {

enum class Allocator { Python, Malloc };

// Starts the interpreter (with every object taken from malloc when asked,
// so that a counting malloc sees them) and gives the _pairo module, a new
// reference. Exits with a message, naming `program`, when anything fails.
inline PyObject* start_python_with_pairo(const char* program, Allocator allocator = Allocator::Python) {
  const auto fail = [program](const char* what) {
    if (PyErr_Occurred()) PyErr_Print();
    std::fprintf(stderr, "%s: %s\n", program, what);
    std::exit(1);
  };
  if (allocator == Allocator::Malloc) {
    PyPreConfig preconfig;
    PyPreConfig_InitPythonConfig(&preconfig);
    preconfig.allocator = PYMEM_ALLOCATOR_MALLOC;
    if (PyStatus_Exception(Py_PreInitialize(&preconfig))) fail("cannot pre-initialise the interpreter");
  }
  Py_InitializeEx(0);
  PyObject* path = PySys_GetObject("path");  // borrowed
  PyObject* dir = PyUnicode_FromString(PAIRO_MODULE_DIR);
  if (!path || !dir || PyList_Insert(path, 0, dir) < 0) fail("cannot set sys.path");
  Py_DECREF(dir);
  PyObject* pairo = PyImport_ImportModule("_pairo");
  if (!pairo) fail("cannot import _pairo from " PAIRO_MODULE_DIR);
  return pairo;
}

}  // namespace bench
