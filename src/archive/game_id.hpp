// Tenhou's game ids, "2009022023gm-00e1-0000-c603794d": the hour the game
// began, the game's type bits in hex, the lobby number and a key. A record
// kept in a database is named by its id, so the id is checked before it
// names anything on disk.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace archive {

struct GameId {
  std::string_view text;      // the whole id, borrowed from the caller's text
  std::uint32_t type = 0;     // the GO type bits written in the id
  std::uint32_t date = 0;     // the day the game began, YYYYMMDD in Japan time, as the id writes it
  bool public_lobby = false;  // lobby number 0000 and no type bits from 0x100 up: a public lobby's game
};

// The id when `text` is exactly one: ten digits of date and hour, "gm-",
// four lower-case hex digits, "-", a lobby of four or five digits, "-",
// eight lower-case hex digits.
[[nodiscard]] std::optional<GameId> parse_game_id(std::string_view text) noexcept;

[[nodiscard]] bool is_three_player(const GameId& id) noexcept;

}  // namespace archive
