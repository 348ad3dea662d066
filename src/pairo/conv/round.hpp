// The merge of one round, given its four seats' events. Internal to the
// conversion; open to tests so that they can feed streams no log produces.
#pragma once

#include <array>
#include <expected>
#include <vector>

#include "pairo/conv/conv.hpp"

namespace pairo::conv {

// Appends the round's events, start_kyoku to end_kyoku, to `out`; on failure
// `out` is left as it was.
[[nodiscard]] std::expected<void, ConvertError> play_round(const PreparedKyoku& kyoku,
                                                           const std::array<SeatEvents, 4>& seats,
                                                           std::vector<Event>& out);

}  // namespace pairo::conv
