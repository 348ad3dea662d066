// The merge of one round, given its four seats' events. Internal to the
// conversion; open to tests so that they can feed streams no log produces.
#pragma once

#include <array>
#include <expected>
#include <vector>

#include "pairo/conv/conv.hpp"

namespace pairo::conv {

// Attempts at most per round. Each retry starts from a call decisions state
// not met before, but those states are many (three for each of 38 tiles), so
// a crafted round could otherwise keep a call busy for hours. Real games
// settle within a few attempts.
inline constexpr std::size_t max_round_attempts = 1024;

// Appends the round's events, start_kyoku to end_kyoku, to `out`; on failure
// `out` is left as it was, and the error is the last attempt's.
[[nodiscard]] std::expected<void, Error> play_round(const PreparedKyoku& kyoku,
                                                           const std::array<SeatEvents, 4>& seats,
                                                           Events& out,
                                                           std::size_t max_attempts = max_round_attempts);

}  // namespace pairo::conv
