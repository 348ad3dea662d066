// A seat's view of a game: what an mjai match server sends that seat. The
// other seats' starting hands (start_kyoku's tehais) are thirteen "?" and
// their draws (tsumo) "pai":"?"; every other event, results and ura markers
// included, is public and left as it is, so the view and the whole game
// agree line for line wherever nothing is hidden.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "mjai/mjai.hpp"

namespace mjai {

// The view of `seat` (0-3) of a game's texts as pairo writes them.
[[nodiscard]] EncodedEvents seat_view(const EncodedEvents& events, std::uint8_t seat);

// The view of one event's text, appended to `out`; false (nothing
// appended) for a text that is not an event object as pairo writes them,
// compact with "type" first.
[[nodiscard]] bool view_text(std::string_view text, std::uint8_t seat, std::string& out);

}  // namespace mjai
