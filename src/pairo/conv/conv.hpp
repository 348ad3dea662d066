// The conversion of a decoded log into the mjai events of the whole game.
#pragma once

#include <array>
#include <cstdint>
#include <expected>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "mjai/event.hpp"
#include "tenhou/tenhou.hpp"

namespace pairo::conv {

using mjai::Event;
using mjai::Events;
using mjai::Seat;
using mjai::Tile;
using tenhou::ActionItem;

struct WinRecord {
  std::array<std::int32_t, 4> deltas{};
  Seat actor = 0;
  Seat target = 0;
};

struct KyokuOutcome {
  struct Wins {
    std::vector<WinRecord> wins;
  };
  struct Draw {
    std::array<std::int32_t, 4> deltas{};
    // The abortive draw on the fourth riichi: Tenhou takes that riichi's
    // stick, so the round's play ends with it accepted.
    bool four_riichi = false;
  };
  std::variant<Wins, Draw> value;
};

struct PreparedKyoku {
  std::vector<Tile> dora_indicators;
  std::vector<Tile> ura_indicators;
  std::array<std::vector<ActionItem>, 4> draws;
  std::array<std::vector<ActionItem>, 4> discards;
  std::array<std::array<Tile, 13>, 4> start_hands{};
  KyokuOutcome outcome;
  std::array<std::int32_t, 4> scores{};
  std::uint8_t kyoku = 0;
  std::uint8_t honba = 0;
  std::uint8_t kyotaku = 0;
};

struct PreparedLog {
  std::array<std::string, 4> names;
  std::vector<PreparedKyoku> kyokus;
  bool aka_flag = false;
  std::uint8_t kyoku_first = 0;
};

enum class PrepareError : std::uint8_t { ThreePlayer, BadWinDetail };

// Why the play of a log cannot be rebuilt. Never shown to the caller; kept
// for diagnosis and tests.
struct ConvertError {
  struct BadItemText {
    std::string text;
  };
  struct BadTileText {
    std::string field;
  };
  struct NumberInDraws {};
  struct NoDoraMarker {
    std::uint8_t kyoku;
    std::uint8_t honba;
  };
  struct DrawsExhausted {
    std::uint8_t kyoku;
    std::uint8_t honba;
    Seat seat;
  };
  struct NoDiscardAfterReach {
    std::uint8_t kyoku;
    std::uint8_t honba;
    Seat seat;
  };
  struct UnmatchedCall {
    Event call;
    bool discard_seen;
    Seat last_discarder;
    Tile last_tile;
    Seat actor;
  };
  std::variant<BadItemText, BadTileText, NumberInDraws, NoDoraMarker, DrawsExhausted,
               NoDiscardAfterReach, UnmatchedCall>
      value;
};

struct SeatEvents {
  Events draw_events;
  Events discard_events;
};

[[nodiscard]] std::expected<PreparedLog, PrepareError> prepare_log(tenhou::RawLog raw);

[[nodiscard]] std::expected<SeatEvents, ConvertError> convert_seat_streams(const PreparedKyoku& kyoku,
                                                                           Seat seat);
// The same into `into`, emptied first: the lists keep their room, so that
// the rounds of a game can share them.
[[nodiscard]] std::expected<void, ConvertError> convert_seat_streams(const PreparedKyoku& kyoku, Seat seat,
                                                                     SeatEvents& into);

void append_round_results(Events& round_events, const PreparedKyoku& kyoku);

[[nodiscard]] std::expected<Events, ConvertError> convert_log(const PreparedLog& log);

}  // namespace pairo::conv
