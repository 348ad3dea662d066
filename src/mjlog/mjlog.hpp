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

#include "tenhou/tenhou.hpp"

namespace mjlog {

// A player losing (what 0, a BYE) or regaining (what 1, a later UN) the
// connection: in round `log`, after `step` elements of that round's play.
struct Connection {
  std::uint8_t what = 0;
  std::uint32_t log = 0;
  std::uint8_t who = 0;
  std::uint32_t step = 0;
};

// One game record. `log` holds everything the conversion to mjai reads, and
// the header keys of the tenhou.net/6 document that it has room for (rule,
// name, ratingc, lobby, dan, rate, sx); the rest of that document is here.
struct Record {
  tenhou::RawLog log;
  double ver = 0;                          // mjloggm ver, written as a number
  std::vector<Connection> connection;      // in the order of the record
  std::optional<std::array<double, 8>> sc; // owari: final points, game points after uma
  // The game is for three players (GO type, an empty fourth name or an
  // empty fourth hand). Reading stops there: the record holds the header read
  // so far, no further rounds, and a rule text starting with 三, which the
  // preparation of the log refuses. Writing such a record is not meaningful;
  // its callers refuse it as the JSON path refuses a three-player log.
  bool three_player = false;
};

// Why a text is not a game record: the element and what is wrong with it,
// and where that element (or the syntax error) starts, in bytes.
struct Error {
  std::string message;
  std::optional<std::size_t> offset;
};

// Reads one whole record from `xml`, which it parses in place: the buffer is
// overwritten and must stay alive only for the call. The text is UTF-8.
[[nodiscard]] std::expected<Record, Error> read_record(char* xml, std::size_t size);

// The tenhou.net/6 JSON text of `record`, compact, keys in Tenhou's order.
// `ref` is the game id, which the XML does not hold ("" when unknown).
[[nodiscard]] std::string write_tenhou6(const Record& record, std::string_view ref);

}  // namespace mjlog
