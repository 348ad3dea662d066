// Tenhou's XML game record (mjlog): read into the decoded log that the JSON
// logs also become, so that preparation, conversion and encoding are shared,
// and written back out as the tenhou.net/6 JSON that Tenhou's export gives.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/error.hpp"
#include "base/failure.hpp"
#include "tenhou/tenhou.hpp"

namespace mjlog {

// A player losing (what 0, a BYE) or regaining (what 1, a later UN) the
// connection: in round `log`, after `step` elements of that round's play.
struct Connection {
  std::uint8_t what = 0;
  std::uint32_t log = 0;
  std::uint8_t who = 0;
  std::uint32_t step = 0;
  friend bool operator==(const Connection&, const Connection&) = default;
};

// A text of Tenhou's document that the record's values do not name (a yaku
// id, a limit or a rank past the known ones): no mjai event holds these texts,
// so the record still converts, but it has no tenhou.net/6 text. The element
// and what it names, and where that element starts, in bytes.
struct Unwritable {
  std::string message;
  std::size_t offset = 0;
  friend bool operator==(const Unwritable&, const Unwritable&) = default;
};

// A win's score as the record gives it, from which the point and yaku texts
// of its detail in the tenhou.net/6 text are made when that text is written.
// No mjai event holds those texts: the decoded log's detail of a win holds
// its three seats only, which is all the conversion reads.
struct WinScore {
  std::uint8_t who = 0;
  std::uint8_t from_who = 0;
  bool dealer = false;
  std::int64_t fu = 0;
  std::int64_t points = 0;
  std::int64_t limit = 0;
  std::uint32_t yaku = 0;     // values (id, han pairs) in Record::yaku_values, after the earlier wins'
  std::uint32_t yakuman = 0;  // ids, after the yaku values
  friend bool operator==(const WinScore&, const WinScore&) = default;
};

// One game record. `log` holds everything the conversion to mjai reads, and
// the header keys of the tenhou.net/6 document that it has room for (rule,
// name, ratingc, lobby, dan, rate, sx); the rest of that document is here.
struct Record {
  tenhou::RawLog log;
  double ver = 0;                          // mjloggm ver, written as a number
  std::vector<Connection> connection;      // in the order of the record
  std::optional<std::array<double, 8>> sc; // owari: final points, game points after uma
  // A chip lobby's owari goes on with each seat's final chip count and a
  // second number, kept as they stand and written after the eight of `sc`.
  std::optional<std::array<double, 8>> chips;
  std::optional<Unwritable> unwritable;    // the first such text, in the record's order
  // The wins in the order of the record, one for each win detail of `log`,
  // and their yaku and yakuman, one win's after another's.
  std::vector<WinScore> wins;
  std::vector<std::int64_t> yaku_values;
  // The game is for three players (GO type, an empty fourth name or an
  // empty fourth hand). Reading stops there: the record holds the header read
  // so far, no further rounds, and a rule text starting with 三, which the
  // preparation of the log refuses. Writing such a record is not meaningful;
  // its callers refuse it as the JSON path refuses a three-player log.
  bool three_player = false;
  friend bool operator==(const Record&, const Record&) = default;
};

// Which fault keeps a text from being a game record; kind_name gives each
// its name, lower case with underscores, which callers may match.
enum class ErrorKind : std::uint8_t {
  Syntax,            // not well-formed XML
  NotARecord,        // no root `mjloggm`, another root, or text between its elements
  NotAnElement,      // an element that no record holds
  MissingAttribute,  // a required attribute absent
  InvalidValue,      // an attribute's value unreadable or outside its range
  InvalidLength,     // a list attribute with the wrong number of values
  DuplicateElement,  // the rules or the players given twice
  OutOfOrder,        // an element where the order of play has no room for it
  Incomplete,        // no round, or a last round without its result
  TileDealtTwice,    // a tile dealt, drawn or shown as an indicator a second time
  TileNotHeld,       // a discard of a tile the seat does not hold
  BadMeldCode,       // a call's code that names no meld
  Unwritable,        // a text no tenhou.net/6 document can say (see Unwritable)
};

// "syntax", "tile_not_held".
[[nodiscard]] std::string_view kind_name(ErrorKind kind) noexcept;
[[nodiscard]] pairo::FailureCode code_of(ErrorKind kind) noexcept;

// Why a text is not a game record: the element and what is wrong with it,
// and where that element (or the syntax error) starts, in bytes. The kind,
// and the round and seat where the fault lies in the play of a round (the
// round as its INIT numbers it), tell it apart for a diagnosis; `item` is the
// element's name, empty for a syntax error.
struct ReadError {
  ReadError(std::string message, std::optional<std::size_t> offset, ErrorKind kind)
      : message(std::move(message)), offset(offset), kind(kind) {}

  std::string message;
  std::optional<std::size_t> offset;
  ErrorKind kind;
  std::optional<pairo::Round> round;
  std::optional<std::uint8_t> seat;
  std::string item;
};

// The error as users are shown it: a record that does not read fails before
// any stage of the log, as a JSON text that does not decode does; the
// message is MjlogParsingError's, its byte offset included.
[[nodiscard]] pairo::Diagnosis diagnosis_of(const ReadError& error);

// Reads one whole record from its UTF-8 text, which is only read and must
// stay alive only for the call: a record read where it lies costs no copy.
[[nodiscard]] std::expected<Record, ReadError> read_record(std::string_view xml);

// Why `record` has no tenhou.net/6 text (see Unwritable), as the error of
// a record that does not read; nothing when it has one. The routes that write
// the document ask this before write_tenhou6; the mjai route does not.
[[nodiscard]] std::optional<ReadError> tenhou6_refusal(const Record& record);

// The tenhou.net/6 JSON text of `record`, compact, keys in Tenhou's order.
// `ref` is the game id, which the XML does not hold ("" when unknown). The
// record must have such a text (no tenhou6_refusal): the texts it cannot say
// are left out.
[[nodiscard]] std::string write_tenhou6(const Record& record, std::string_view ref);

}  // namespace mjlog
