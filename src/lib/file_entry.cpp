// tenhou_file_to_mjai(filename, mjai_out=None): the log from a file, the
// events optionally written out one per line.
#include "lib/lib.hpp"

namespace pairo::lib {
namespace {

constexpr Signature file_signature = {"tenhou_file_to_mjai", {"filename", "mjai_out"}, 2, 1};

}  // namespace

PyObject* tenhou_file_to_mjai(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guarded([&]() -> PyObject* {
    std::array<PyObject*, 2> bound;
    if (!bind_arguments(file_signature, args, nargs, kwnames, bound)) return nullptr;
    PyErr_SetString(PyExc_NotImplementedError, "reading logs from files is not built yet");
    return nullptr;
  });
}

}  // namespace pairo::lib
