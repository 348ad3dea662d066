// Included first into every source of the fuzz build. clang with the
// standard library of g++ 12 meets std::pair<std::string, JsonValue> only
// half instantiated when the first use of a JsonValue in a file inspects its
// variant (as the win-detail reading does); building one JsonValue up front
// completes the recursive types in an order that works. g++ needs none of it.
#pragma once

#include "tenhou/tenhou.hpp"

namespace pairo_fuzz_compat {
inline void complete_json_value() { [[maybe_unused]] tenhou::JsonValue value; }
}  // namespace pairo_fuzz_compat
