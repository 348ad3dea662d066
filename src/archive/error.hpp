// What goes wrong with a container or with one of its entries: not a
// database of either layout, an unsafe member name, a row whose id is no
// game id, corrupt or oversized data. The message says what is wrong.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "base/failure.hpp"

namespace archive {

// The message, and its kind of failure (a container code of the failure
// table, or TooLarge for a record past the bound, which fails as the bound
// does wherever a record is held: OSError).
struct ArchiveError {
  std::string message;
  pairo::FailureCode code = pairo::FailureCode::CorruptData;
};

// A record whose text would pass the bound: "<what> is larger than 64 MiB".
[[nodiscard]] ArchiveError too_large(std::string_view what);

// The failure of a log that the error ends: ArchiveError with its message,
// or OSError for a record past the bound.
[[nodiscard]] pairo::Failure failure_of(const ArchiveError& error);

inline constexpr std::size_t shown_limit = 256;

// A name from the data, quoted for a message: bytes outside printable ASCII, quotes and
// backslashes escaped as \xNN, cut after 256 bytes.
[[nodiscard]] std::string shown(std::string_view text);

}  // namespace archive
