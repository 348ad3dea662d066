// What the parts of the _pairo module offer each other: its exception
// classes and the raising of a failed conversion with them, on the helpers
// both modules share (pyapi/). The conversion itself is pipeline/.
#pragma once

#include <Python.h>

#include "base/failure.hpp"
#include "pipeline/pipeline.hpp"
#include "pyapi/py_ref.hpp"
#include "pyapi/pyapi.hpp"

namespace pairo::lib {

using pyapi::guarded;
using pyapi::PyRef;
using pyapi::python_api_version;
using pyapi::raise_panic;
using pyapi::Signature;

// ---- exception classes (process-wide, created on first use) -------------

// Borrowed reference to one of _pairo's classes (ErrorClass's first
// module_class_count), created on first request; null with PanicException
// set if it cannot be created.
[[nodiscard]] PyObject* error_class(ErrorClass which);

// Sets the exception of a failure with _pairo's classes, with no note: for
// a failed conversion, the class and fixed message of its stage. Returns
// null.
PyObject* raise_failure(const Failure& failure);

// ---- entry points -------------------------------------------------------

PyObject* tenhou_to_mjai(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* tenhou_file_to_mjai(PyObject* module, PyObject* const* args, Py_ssize_t nargs,
                              PyObject* kwnames);

}  // namespace pairo::lib
