// The names of the faults that keep a text from being a game record, and
// the making of a fault with a fixed text.
#include <array>

#include "base/failure.hpp"
#include "mjlog/parts.hpp"

namespace mjlog {
namespace {

// In the order of ErrorKind.
constexpr std::array<std::string_view, 13> kind_names = {
    "syntax",        "not_a_record", "not_an_element",   "missing_attribute", "invalid_value",
    "invalid_length", "duplicate_element", "out_of_order", "incomplete",       "tile_dealt_twice",
    "tile_not_held", "bad_meld_code", "unwritable",
};
static_assert(static_cast<std::size_t>(ErrorKind::Unwritable) + 1 == kind_names.size());

}  // namespace

std::string_view kind_name(ErrorKind kind) noexcept { return kind_names[static_cast<std::size_t>(kind)]; }

pairo::Diagnosis diagnosis_of(const Error& error) {
  return {pairo::Stage::Decode, kind_name(error.kind), error.round, error.seat, error.item,
          pairo::record_failure(error.message, error.offset).message};
}

std::unexpected<parts::Fault> parts::refuse(ErrorKind kind, const char* text) {
  return std::unexpected(Fault(kind, text));
}

}  // namespace mjlog
