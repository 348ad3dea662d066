// The replay of an mjai stream under Tenhou's four-player rules: does every
// event follow from the ones before it? One pass over the lines, each parsed
// on its own; the first check that fails makes the game invalid, and the
// rules that depend on the lobby (the dealer, the repeat counter, the end
// of the game) are kept apart as warnings.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/error.hpp"
#include "base/padded_text.hpp"

namespace pairo::validate {

// Every check the replay makes, one name each (checks.cpp holds the names).
enum class Check : std::uint8_t {
  // The stream's text and shape.
  NotJson, LineTooLong, UnknownType, MissingKey, BadValue, NotASeat, NotATile,
  NoStartGame, EventOutOfPlace, Truncated, RoundWithoutResult, TooManyWins,
  // Tiles.
  TileSeenFiveTimes, RedFiveNotInGame, HandNotThirteen, TooManyDraws, TooManyKans,
  // Turns.
  DrawOutOfTurn, DiscardOutOfTurn, TileNotInHand, TsumogiriWrong,
  // Calls and kans.
  CallFromWrongSeat, CallNotLastDiscard, CallTilesWrong, SwapCall, DoraWithoutKan, DoraMissing,
  // Riichi.
  RiichiOpenHand, RiichiWithoutPoints, RiichiWallTooShort, RiichiHandNotReady, RiichiNotAccepted,
  ReachAcceptedOutOfPlace, RiichiHandChanged,
  // Wins.
  HandNotComplete, WrongWinTarget, WrongWinningTile,
  // Points.
  DeltasDoNotSum, ScoresDoNotCarry, SticksDoNotCarry,
  // Warnings: the lobby's rules.
  DealerDoesNotFollow, HonbaDoesNotFollow, GameEndsEarly, GameGoesOn,
};
inline constexpr std::size_t check_count = static_cast<std::size_t>(Check::GameGoesOn) + 1;
// The first of the checks that only warn.
inline constexpr Check first_warning = Check::DealerDoesNotFollow;

// "tile_not_in_hand": short, stable, lower case with underscores.
[[nodiscard]] std::string_view check_name(Check check) noexcept;
[[nodiscard]] constexpr bool is_warning(Check check) noexcept { return check >= first_warning; }

// A check that does not hold: the line of the event (1-based), the round
// and seat where they are known, and what is wrong.
struct Finding {
  Check check{};
  std::uint64_t line = 0;
  std::optional<Round> round;
  std::optional<std::uint8_t> seat;
  std::string message;
};

// The outcome of one stream: the first failed check, when it is invalid,
// and the warnings met up to there.
struct Verdict {
  std::optional<Finding> fault;
  std::vector<Finding> warnings;
};

// What the replay holds a stream to. Random deals (simulated games) make
// orderly streams whose winning and riichi hands have no shape: they are
// replayed with `hand_shapes` off, everything else checked.
struct Options {
  bool hand_shapes = true;
  // Lines of plain values (nearly all) are read by a scanner of their own
  // and the rest by simdjson; off, simdjson reads every line (the fuzz
  // target compares the two).
  bool plain_reader = true;
};

// The stream in `text`, one event a line (a final line feed or none, "\r\n"
// line ends and blank lines allowed). The padding lets each line be parsed
// where it lies.
[[nodiscard]] Verdict validate_stream(const PaddedText& text, Options options = {});
// The same text lying where no padding follows it (a str's own bytes):
// a line simdjson reads is copied into a padded buffer first.
[[nodiscard]] Verdict validate_text(std::string_view text, Options options = {});
// The stream as separate event texts, as a list of lines holds them.
[[nodiscard]] Verdict validate_events(std::span<const std::string_view> events, Options options = {});

// "line 12 (round E1-0, seat 2): <message>": a finding as reports show it.
[[nodiscard]] std::string shown(const Finding& finding);

}  // namespace pairo::validate
