// The one mapping from a failed conversion to what a Python caller sees: the
// exception class and the fixed message of the stage the error's kind belongs
// to. The error's detail does not go with it, and the exception has no cause;
// the detail reaches users through pairo.diagnose instead.
#include "lib/lib.hpp"

namespace pairo::lib {
namespace {

// The class of each stage: decode, prepare, convert, encode; the messages
// stand in the same order in texts::stage_messages.
constexpr std::array<ErrorClass, pairo::stage_count> stage_classes = {
    ErrorClass::JsonParsingError, ErrorClass::TenhouLogParsingError, ErrorClass::TenhouToMjaiError,
    ErrorClass::JsonSerializationError};

}  // namespace

void raise_error(const pairo::Error& error, ClassOf class_of) {
  const auto stage = static_cast<std::size_t>(pairo::stage_of(error));
  PyObject* cls = class_of(stage_classes[stage]);  // borrowed
  if (!cls) return;                                // its own exception is set
  PyErr_SetString(cls, texts::stage_messages[stage]);
}

}  // namespace pairo::lib
