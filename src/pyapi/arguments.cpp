// Binding of the entry points' arguments, with the interpreter's wording
// for every binding error.
#include "pyapi/pyapi.hpp"
#include "pyapi/py_ref.hpp"

namespace pairo::pyapi {
namespace {

Py_ssize_t parameter_index(const Signature& signature, PyObject* keyword) {
  for (Py_ssize_t i = 0; i < signature.count; ++i) {
    if (PyUnicode_CompareWithASCIIString(keyword, signature.parameters[i]) == 0) return i;
  }
  return -1;
}

[[gnu::cold]] bool too_many_positional(const Signature& signature, Py_ssize_t nargs) {
  if (signature.required == signature.count) {
    PyErr_Format(PyExc_TypeError, texts::takes_exactly,
                 signature.function, signature.count, nargs);
  } else {
    PyErr_Format(PyExc_TypeError, texts::takes_from_to,
                 signature.function, signature.required, signature.count, nargs);
  }
  return false;
}

}  // namespace

bool bind_arguments(const Signature& signature, PyObject* const* args, Py_ssize_t nargs,
                    PyObject* kwnames, std::array<PyObject*, 2>& bound) {
  bound.fill(nullptr);
  if (nargs > signature.count) return too_many_positional(signature, nargs);
  for (Py_ssize_t i = 0; i < nargs; ++i) bound[i] = args[i];

  const Py_ssize_t nkw = kwnames ? tuple_size(kwnames) : 0;
  for (Py_ssize_t k = 0; k < nkw; ++k) {
    PyObject* keyword = tuple_item(kwnames, k);
    const Py_ssize_t index = parameter_index(signature, keyword);
    if (index < 0) {
      PyErr_Format(PyExc_TypeError, texts::unexpected_keyword, signature.function,
                   keyword);
      return false;
    }
    if (bound[index]) {
      PyErr_Format(PyExc_TypeError, texts::multiple_values, signature.function,
                   signature.parameters[index]);
      return false;
    }
    bound[index] = args[nargs + k];
  }

  for (Py_ssize_t i = 0; i < signature.required; ++i) {
    if (!bound[i]) {
      PyErr_Format(PyExc_TypeError, texts::missing_argument,
                   signature.function, signature.parameters[i]);
      return false;
    }
  }
  return true;
}

void prefix_argument_error(const char* parameter) {
  PyObject* raised = PyErr_GetRaisedException();  // owned from here on
  if (!raised) return;
  if (!PyErr_GivenExceptionMatches(raised, PyExc_TypeError)) {
    PyErr_SetRaisedException(raised);  // steals it back: raised unchanged
    return;
  }
  PyRef original(raised);
  PyRef message(PyUnicode_FromFormat(texts::argument_prefix, parameter, original.get()));
  if (!message) return;
  PyRef wrapped(call_one(PyExc_TypeError, message.get()));
  if (!wrapped) return;
  PyException_SetCause(wrapped.get(), PyException_GetCause(original.get()));  // steals the new ref
  PyErr_SetRaisedException(wrapped.release());
}

}  // namespace pairo::pyapi
