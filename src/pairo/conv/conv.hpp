// The conversion of a decoded log into the mjai events of the whole game.
// Preparation fails with errors of the preparation stage, everything after
// it with errors of the conversion stage; both name the round, and the seat
// where one seat's stream is at fault.
#pragma once

#include <array>
#include <cstdint>
#include <expected>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "base/error.hpp"
#include "base/invariant.hpp"
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

// The allocator of a seat's event lists. They hold draws, discards, calls,
// kans and riichi declarations, none of which owns memory, so emptying the
// lists for the next round need not look at each event to end it. An event
// that owns memory is refused where it would be put in.
struct SeatEventAllocator : mjai::EventListAllocator<SeatEventAllocator> {
  template <class Arg>
  void construct(Event* p, Arg&& arg) {
    using Kind = std::remove_cvref_t<Arg>;
    if constexpr (std::is_same_v<Kind, Event>) {
      if ((mjai::owning_kinds >> arg.index()) & 1u) invariant_failed("an event that owns memory in a seat's list");
    } else {
      static_assert(std::is_trivially_destructible_v<Kind>, "a seat's list holds no event that owns memory");
    }
    std::construct_at(p, std::forward<Arg>(arg));
  }
  void destroy(Event*) noexcept {}
};

using SeatEventList = std::vector<Event, SeatEventAllocator>;

struct SeatEvents {
  SeatEventList draw_events;
  SeatEventList discard_events;
};

[[nodiscard]] std::expected<PreparedLog, Error> prepare_log(tenhou::RawLog raw);

[[nodiscard]] std::expected<SeatEvents, Error> convert_seat_streams(const PreparedKyoku& kyoku,
                                                                           Seat seat);
// The same into `into`, emptied first: the lists keep their room, so that
// the rounds of a game can share them.
[[nodiscard]] std::expected<void, Error> convert_seat_streams(const PreparedKyoku& kyoku, Seat seat,
                                                                     SeatEvents& into);

void append_round_results(Events& round_events, const PreparedKyoku& kyoku);

[[nodiscard]] std::expected<Events, Error> convert_log(const PreparedLog& log);

}  // namespace pairo::conv
