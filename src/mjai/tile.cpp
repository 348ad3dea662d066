#include "mjai/tile.hpp"

namespace mjai {

std::string tenhou_number_error(std::uint64_t number) {
  std::string message = "invalid value: " + std::to_string(number) + ", expected one of: ";
  bool first = true;
  for (std::size_t n = 0; n < detail::tenhou_codes.size(); ++n) {
    if (detail::tenhou_codes[n] == detail::no_tile) continue;
    if (!first) message += ", ";
    message += std::to_string(n);
    first = false;
  }
  return message;
}

}  // namespace mjai
