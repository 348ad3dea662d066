// The object accessors whose fast forms (macros reading an object's fields)
// the limited API leaves out. An abi3 build, which one binary serves every
// CPython from 3.12 on, takes the function each macro stands for; a build for
// one interpreter keeps the macro. Every caller passes an object of the right
// type, as the macros require.
#pragma once

#include <Python.h>

#include <cstddef>
#include <cstring>
#include <string_view>

namespace pairo::pyapi {

// The bytes object's buffer, which lives as long as it does.
[[nodiscard]] inline std::string_view bytes_view(PyObject* bytes) noexcept {
#ifdef Py_LIMITED_API
  char* data = nullptr;
  Py_ssize_t size = 0;
  if (PyBytes_AsStringAndSize(bytes, &data, &size) != 0) return {};
  return {data, static_cast<std::size_t>(size)};
#else
  return {PyBytes_AS_STRING(bytes), static_cast<std::size_t>(PyBytes_GET_SIZE(bytes))};
#endif
}

[[nodiscard]] inline Py_ssize_t tuple_size(PyObject* tuple) noexcept {
#ifdef Py_LIMITED_API
  return PyTuple_Size(tuple);
#else
  return PyTuple_GET_SIZE(tuple);
#endif
}

// Borrowed.
[[nodiscard]] inline PyObject* tuple_item(PyObject* tuple, Py_ssize_t i) noexcept {
#ifdef Py_LIMITED_API
  return PyTuple_GetItem(tuple, i);
#else
  return PyTuple_GET_ITEM(tuple, i);
#endif
}

// Fills a slot of a new tuple; steals `item`.
inline void tuple_fill(PyObject* tuple, Py_ssize_t i, PyObject* item) noexcept {
#ifdef Py_LIMITED_API
  (void)PyTuple_SetItem(tuple, i, item);
#else
  PyTuple_SET_ITEM(tuple, i, item);
#endif
}

// Fills a slot of a new list; steals `item`.
inline void list_fill(PyObject* list, Py_ssize_t i, PyObject* item) noexcept {
#ifdef Py_LIMITED_API
  (void)PyList_SetItem(list, i, item);
#else
  PyList_SET_ITEM(list, i, item);
#endif
}

// The items of what PySequence_Fast gave (a list or a tuple): count and
// borrowed item.
[[nodiscard]] inline Py_ssize_t fast_size(PyObject* sequence) noexcept {
#ifdef Py_LIMITED_API
  return PyList_Check(sequence) ? PyList_Size(sequence) : PyTuple_Size(sequence);
#else
  return PySequence_Fast_GET_SIZE(sequence);
#endif
}

[[nodiscard]] inline PyObject* fast_item(PyObject* sequence, Py_ssize_t i) noexcept {
#ifdef Py_LIMITED_API
  return PyList_Check(sequence) ? PyList_GetItem(sequence, i) : PyTuple_GetItem(sequence, i);
#else
  return PySequence_Fast_GET_ITEM(sequence, i);
#endif
}

// A new str of ASCII text: written straight into its one-byte form where the
// layout may be used, else through the UTF-8 decoder's ASCII path.
[[nodiscard]] inline PyObject* ascii_str(std::string_view text) noexcept {
#ifdef Py_LIMITED_API
  return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
#else
  PyObject* str = PyUnicode_New(static_cast<Py_ssize_t>(text.size()), 127);
  if (str) std::memcpy(PyUnicode_1BYTE_DATA(str), text.data(), text.size());
  return str;
#endif
}

// `callable(argument)`, a new reference.
[[nodiscard]] inline PyObject* call_one(PyObject* callable, PyObject* argument) noexcept {
  PyObject* arguments[] = {argument};
  return PyObject_Vectorcall(callable, arguments, 1, nullptr);
}

// The name of an object's type as its errors give it, a new reference: the
// type's tp_name where it may be read, else its __name__.
[[nodiscard]] inline PyObject* type_name(PyObject* object) noexcept {
#ifdef Py_LIMITED_API
  return PyType_GetName(Py_TYPE(object));
#else
  return PyUnicode_FromString(Py_TYPE(object)->tp_name);
#endif
}

}  // namespace pairo::pyapi
