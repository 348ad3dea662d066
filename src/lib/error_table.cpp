// The one mapping from a failed conversion to what a Python caller sees: the
// exception class and the fixed message of the stage the error's kind belongs
// to. The error's detail does not go with it, and the exception has no cause;
// the detail reaches users through pairo.diagnose instead.
#include "lib/lib.hpp"

namespace pairo::lib {
namespace {

struct StageException {
  ErrorClass which;
  const char* message;
};

// By stage: decode, prepare, convert, encode.
constexpr std::array<StageException, pairo::stage_count> stage_exceptions = {{
    {ErrorClass::JsonParsingError, "failed to parse tenhou.net/6 log"},
    {ErrorClass::TenhouLogParsingError, "invalid log"},
    {ErrorClass::TenhouToMjaiError, "failed to convert tenhou.net/6 log to mjai"},
    {ErrorClass::JsonSerializationError, "failed to serialize"},
}};

}  // namespace

void raise_error(const pairo::Error& error, ClassOf class_of) {
  const StageException& raised = stage_exceptions[static_cast<std::size_t>(pairo::stage_of(error))];
  PyObject* cls = class_of(raised.which);  // borrowed
  if (!cls) return;                        // its own exception is set
  PyErr_SetString(cls, raised.message);
}

}  // namespace pairo::lib
