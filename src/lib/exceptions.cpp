// The module's exception classes: process-wide slots, each filled once on
// first use and kept until the process ends.
#include <string>

#include "lib/lib.hpp"

namespace pairo::lib {
namespace {

std::array<PyObject*, error_class_count> class_slots{};

}  // namespace

PyObject* error_class(ErrorClass which) {
  const auto index = static_cast<std::size_t>(which);
  PyObject* cls = obtain_class(class_slots[index], texts::error_class_paths[index], nullptr, PyExc_ValueError);
  if (!cls) raise_panic(std::string("cannot create exception class ") + texts::error_class_paths[index]);
  return cls;
}

}  // namespace pairo::lib
