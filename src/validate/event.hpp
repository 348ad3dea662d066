// One mjai event as the replay reads it: its kind and the keys the checks
// look at, in plain fields; keys the checks do not use (player names,
// scores some servers repeat, yaku) are passed over.
#pragma once

#include <array>
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>

#include <simdjson.h>

#include "base/tile.hpp"
#include "validate/validate.hpp"

namespace pairo::validate {

enum class Kind : std::uint8_t {
  StartGame, StartKyoku, Tsumo, Dahai, Chi, Pon, Daiminkan, Kakan, Ankan, Dora, Reach, ReachAccepted,
  Hora, Ryukyoku, EndKyoku, EndGame,
};

struct Event {
  Kind kind{};
  int actor = -1;
  int target = -1;
  Tile pai = Tile::Unknown;
  bool has_pai = false;
  bool tsumogiri = false;
  std::array<Tile, 4> consumed{};
  int consumed_count = 0;
  std::optional<bool> aka_flag;
  // start_kyoku
  int wind = 0;   // 0 East .. 3 North
  int kyoku = 0;  // 1..4
  int honba = 0;
  int kyotaku = 0;
  int oya = 0;
  Tile dora_marker = Tile::Unknown;
  std::array<std::int64_t, 4> scores{};
  std::array<std::array<Tile, 14>, 4> tehais{};
  std::array<int, 4> tehai_sizes{};
  // hora, ryukyoku
  bool has_deltas = false;
  std::array<std::int64_t, 4> deltas{};
};

// What is wrong with a line that is no event: the check, what it says, and
// the seat when the fault is a seat's.
struct Unreadable {
  Check check{};
  std::string message;
};

// Reads the event on one line, `text` followed by readable padding, into
// `e` (one Event serves a whole stream: only what the kind uses is set).
[[nodiscard]] std::expected<void, Unreadable> read_event(simdjson::dom::parser& parser, std::string_view text, Event& e);
// Reads the event on a line of the form nearly every line of a stream has:
// one object of plain values (ASCII strings without escapes, integers,
// booleans), no arrays, no spaces. False when the line has another form or
// any value the event's checks would refuse: then read_event reads it and
// says what is wrong.
[[nodiscard]] bool read_plain_event(std::string_view text, Event& e) noexcept;
// Reads the event of a parsed line.
[[nodiscard]] std::expected<void, Unreadable> read_event(simdjson::dom::element root, Event& e);

}  // namespace pairo::validate
