// The module's exception classes: process-wide slots, each filled once on
// first use and kept until the process ends.
#include <string>

#include "lib/lib.hpp"

namespace pairo::lib {
namespace {

// In the order of ErrorClass and error_class_names.
constexpr std::array<const char*, error_class_count> qualified_names = {
    "_pairo.TenhouLogParsingError", "_pairo.TenhouToMjaiError", "_pairo.JsonSerializationError",
    "_pairo.JsonParsingError"};

std::array<PyObject*, error_class_count> class_slots{};

}  // namespace

PyObject* error_class(ErrorClass which) {
  const auto index = static_cast<std::size_t>(which);
  PyObject* cls = obtain_class(class_slots[index], qualified_names[index], nullptr, PyExc_ValueError);
  if (!cls) raise_panic(std::string("cannot create exception class ") + qualified_names[index]);
  return cls;
}

}  // namespace pairo::lib
