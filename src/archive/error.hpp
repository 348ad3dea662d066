// What goes wrong with a container or with one of its entries: not a
// database of either layout, an unsafe member name, a row whose id is no
// game id, corrupt or oversized data. The message says what is wrong.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace archive {

struct ArchiveError {
  std::string message;
};

inline constexpr std::size_t shown_limit = 256;

// A name from the data, quoted for a message: bytes outside printable ASCII, quotes and
// backslashes escaped as \xNN, cut after 256 bytes.
[[nodiscard]] std::string shown(std::string_view text);

}  // namespace archive
