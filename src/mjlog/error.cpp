// The names of the faults that keep a text from being a game record, and
// the making of a fault with a fixed text.
#include <array>

#include "base/failure.hpp"
#include "mjlog/parts.hpp"

namespace mjlog {

// A fault's name is its row's in the failure table, whose record rows
// follow ErrorKind's order.
std::string_view kind_name(ErrorKind kind) noexcept {
  static_assert(static_cast<int>(pairo::FailureCode::Unwritable) - static_cast<int>(pairo::FailureCode::RecordSyntax) ==
                static_cast<int>(ErrorKind::Unwritable));
  return pairo::failure_row(code_of(kind)).kind;
}

pairo::FailureCode code_of(ErrorKind kind) noexcept {
  return static_cast<pairo::FailureCode>(static_cast<int>(pairo::FailureCode::RecordSyntax) + static_cast<int>(kind));
}

pairo::Diagnosis diagnosis_of(const ReadError& error) {
  return {pairo::Stage::Decode, kind_name(error.kind), error.round, error.seat, error.item,
          pairo::record_failure(error.message, error.offset).message};
}

std::unexpected<parts::Fault> parts::refuse(ErrorKind kind, const char* text) {
  return std::unexpected(Fault(kind, text));
}

}  // namespace mjlog
