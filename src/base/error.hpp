// The one error value of the conversion. Every stage (decoding, preparation,
// conversion, encoding) fails with it: a kind, which also tells the stage, a
// message in this system's words, and where in the game it happened when the
// stage knows.
//
// Nothing here depends on Python: the module surface maps a failure to its
// exception class and fixed message by the stage, and the diagnosis hands
// the whole value on.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace pairo {

enum class Stage : std::uint8_t { Decode, Prepare, Convert, Encode };
inline constexpr std::size_t stage_count = 4;

enum class ErrorKind : std::uint8_t {
  // Decoding: the text is not a log document.
  Syntax,          // the JSON itself: its syntax, its text, its nesting
  InvalidType,     // a value of the wrong JSON type
  InvalidValue,    // a number outside its field's range
  InvalidLength,   // a fixed array or record too short or too long
  MissingField,    // a required key absent
  DuplicateField,  // a key given twice
  NotATile,        // an integer that is no Tenhou tile number where a tile stands
  NotAnItem,       // a stream or result item of no known form
  // Preparation: the log is not one this system converts.
  ThreePlayer,
  BadWinDetail,
  // Conversion: the play cannot be rebuilt.
  BadItemText,
  BadTileText,
  NumberInDraws,
  NoDoraMarker,
  DrawsExhausted,
  NoDiscardAfterReach,
  UnmatchedCall,
  // Encoding.
  TextsTooLarge,
};

[[nodiscard]] Stage stage_of(ErrorKind kind) noexcept;
// Lower case with underscores: "decode", "unmatched_call".
[[nodiscard]] std::string_view stage_name(Stage stage) noexcept;
[[nodiscard]] std::string_view kind_name(ErrorKind kind) noexcept;

// A round as the log numbers it.
struct Round {
  std::uint8_t kyoku = 0;  // 0 is East 1, 4 South 1, and so on
  std::uint8_t honba = 0;
};

// "E1-0", "S2-1": the wind, the hand within it, the repeat count.
[[nodiscard]] std::string round_label(Round round);

// "round S2-1, seat 3: <message>", or the message alone: a failure's place
// and message on one line.
[[nodiscard]] std::string placed(std::optional<Round> round, std::optional<std::uint8_t> seat,
                                 std::string_view message);

struct Error {
  Error() = default;
  Error(ErrorKind kind, std::string message) : kind(kind), message(std::move(message)) {}

  ErrorKind kind{};
  std::string message;
  std::optional<Round> round;
  std::optional<std::uint8_t> seat;
  std::string item;  // the stream item at fault as the log writes it; empty when none

  // "round S2-1, seat 3: <message>", or the message alone.
  [[nodiscard]] std::string detail() const;
};

[[nodiscard]] inline Stage stage_of(const Error& error) noexcept { return stage_of(error.kind); }

// A fault of a log's own text as users are shown it, whichever reader or
// stage found it: the stage, the kind's name ("unmatched_call",
// "tile_not_held"), the place, and the message as the exception says it.
struct Diagnosis {
  Stage stage{};
  std::string_view kind;  // names are static texts
  std::optional<Round> round;
  std::optional<std::uint8_t> seat;
  std::string item;
  std::string message;
};

[[nodiscard]] Diagnosis diagnosis_of(const Error& error);

}  // namespace pairo
