// What the module surface's tests share: reading the exception a call left.
#pragma once

#include <Python.h>

#include <string>

#include "pyapi/py_ref.hpp"

namespace surface_test {

using pairo::pyapi::PyRef;

inline PyRef take_raised() { return PyRef(PyErr_GetRaisedException()); }

inline std::string text_of(PyObject* object) {
  PyRef str(PyObject_Str(object));
  const char* utf8 = str ? PyUnicode_AsUTF8(str.get()) : nullptr;
  return utf8 ? utf8 : "";
}

inline std::string type_name(PyObject* object) {
  PyRef name(PyType_GetQualName(Py_TYPE(object)));
  return name ? text_of(name.get()) : "";
}

}  // namespace surface_test
