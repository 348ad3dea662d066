// What the parts of pairo._core offer each other: its functions.
#pragma once

#include <Python.h>

namespace pairo::core {

// diagnose(data): why the log text `data` does not convert, as the tuple
// (stage, kind, round, seat, item, message, detail), or None when it converts.
PyObject* diagnose(PyObject* module, PyObject* data);

}  // namespace pairo::core
