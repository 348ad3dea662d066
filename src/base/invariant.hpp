// A broken invariant inside the conversion: not the log's fault but ours.
// It travels as a C++ exception to the module surface (or the engine's
// worker), which turns it into the interpreter's PanicException with the
// place it came from.
#pragma once

#include <source_location>
#include <stdexcept>
#include <string>
#include <string_view>

namespace pairo {

class InvariantViolation : public std::logic_error {
 public:
  InvariantViolation(const std::string& what, std::source_location where)
      : std::logic_error(what), where_(where) {}
  [[nodiscard]] const std::source_location& where() const noexcept { return where_; }

 private:
  std::source_location where_;
};

// The diagnostic of an internal failure, on standard error: where it
// happened and what. Safe from any thread; needs no interpreter.
void report_internal_failure(std::string_view what,
                             std::source_location where = std::source_location::current()) noexcept;

[[noreturn]] inline void invariant_failed(const std::string& what,
                                          std::source_location where = std::source_location::current()) {
  throw InvariantViolation(what, where);
}

}  // namespace pairo
