// One owner for one strong reference to a Python object.
#pragma once

#include <Python.h>

#include <utility>

namespace pairo::pyapi {

class PyRef {
 public:
  PyRef() noexcept = default;
  // Takes over a new reference (or null).
  explicit PyRef(PyObject* owned) noexcept : object_(owned) {}
  PyRef(const PyRef&) = delete;
  PyRef& operator=(const PyRef&) = delete;
  PyRef(PyRef&& other) noexcept : object_(other.release()) {}
  PyRef& operator=(PyRef&& other) noexcept {
    if (this != &other) {
      Py_XDECREF(object_);
      object_ = other.release();
    }
    return *this;
  }
  ~PyRef() { Py_XDECREF(object_); }

  [[nodiscard]] static PyRef borrow(PyObject* borrowed) noexcept { return PyRef(Py_XNewRef(borrowed)); }

  [[nodiscard]] PyObject* get() const noexcept { return object_; }
  [[nodiscard]] explicit operator bool() const noexcept { return object_ != nullptr; }
  // Hands the reference to the caller, who now owns it.
  [[nodiscard]] PyObject* release() noexcept { return std::exchange(object_, nullptr); }

 private:
  PyObject* object_ = nullptr;
};

}  // namespace pairo::pyapi
