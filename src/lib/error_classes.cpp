// The module's exception classes: process-wide slots, each filled once on
// first use and kept until the process ends; and the raising of a failure
// with them.
#include <string>

#include "lib/lib.hpp"

namespace pairo::lib {
namespace {

std::array<PyObject*, module_class_count> class_slots{};

}  // namespace

PyObject* error_class(ErrorClass which) {
  const auto index = static_cast<std::size_t>(which);
  if (index >= module_class_count) return raise_panic("not a class of _pairo: " + std::string(class_name(which)));
  PyObject* cls = pyapi::obtain_class(class_slots[index], texts::error_class_paths[index], nullptr, PyExc_ValueError);
  if (!cls) raise_panic(std::string("cannot create exception class ") + texts::error_class_paths[index]);
  return cls;
}

PyObject* raise_failure(const Failure& failure) { return pyapi::raise_failure(failure, error_class); }

}  // namespace pairo::lib
