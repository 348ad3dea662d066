// What the readers of the log's records share inside src/tenhou: the error
// builders, the scalar readers and the array shapes (sequences, fixed arrays,
// positional records), all working on simdjson's parsed document.
//
// The document is only borrowed: every string is copied into the records and
// no element outlives the parser of the call.
#pragma once

#include <simdjson.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "tenhou/tenhou.hpp"

namespace tenhou::decoding {

template <class T>
using Decoded = std::expected<T, pairo::Error>;
using Status = std::expected<void, pairo::Error>;
using Element = simdjson::dom::element;
using ElementType = simdjson::dom::element_type;

// Arrays and objects decoded into values, the root included, take one level
// each while open; the one that would take the last level is refused, so at
// most 127 are open at once. Values skipped under unknown keys are not decoded
// and take none.
inline constexpr int nesting_budget = 128;

// The level that each element of a round's result list opens when it is an
// array: the root, `log`, the round and `results` are open around it.
inline constexpr int result_item_level = 5;

// ---- Error builders: cold and out of line; the found value is rendered only here.

using pairo::Error;

// "invalid type: <found>, expected <expectation>"
[[nodiscard, gnu::cold, gnu::noinline]] Error invalid_type(Element found, std::string_view expectation);
// "invalid value: <found>, expected <expectation>"
[[nodiscard, gnu::cold, gnu::noinline]] Error invalid_value(Element found, std::string_view expectation);
// "invalid length <count>, expected <expectation>"
[[nodiscard, gnu::cold, gnu::noinline]] Error invalid_length(std::size_t count, std::string_view expectation);
[[nodiscard, gnu::cold, gnu::noinline]] Error missing_field(std::string_view key);
[[nodiscard, gnu::cold, gnu::noinline]] Error duplicate_field(std::string_view key);
// An element past the `limit` values of a fixed array or positional record.
[[nodiscard, gnu::cold, gnu::noinline]] Error too_many_values(std::size_t limit);
[[nodiscard, gnu::cold, gnu::noinline]] Error nesting_too_deep();
[[nodiscard, gnu::cold, gnu::noinline]] Error parse_failure(simdjson::error_code code);
// A stream item that is no tile, number or text.
[[nodiscard, gnu::cold, gnu::noinline]] Error not_an_action_item(Element found);
// A result item that is no text or array.
[[nodiscard, gnu::cold, gnu::noinline]] Error not_a_result_item(Element found);
[[nodiscard, gnu::cold, gnu::noinline]] Error not_a_tile(std::uint8_t number);

// ---- Scalars.
//
// simdjson keeps every integer that the text wrote without fraction and
// exponent as INT64 when it fits ("-0" included, as 0) and as UINT64 above
// that, and every number written with a fraction or an exponent as DOUBLE,
// whole or not. So the element type alone tells an integer from a
// floating-point number.

inline constexpr std::string_view expect_u8 = "an integer from 0 to 255";
inline constexpr std::string_view expect_i32 = "a 32-bit integer";
inline constexpr std::string_view expect_array = "an array";

template <class Int>
[[nodiscard]] inline Decoded<Int> read_integer(Element e, std::string_view expectation) {
  switch (e.type()) {
    case ElementType::INT64: {
      const std::int64_t value = e.get_int64().value_unsafe();
      if (std::in_range<Int>(value)) return static_cast<Int>(value);
      return std::unexpected(invalid_value(e, expectation));
    }
    case ElementType::UINT64:
      return std::unexpected(invalid_value(e, expectation));
    default:
      return std::unexpected(invalid_type(e, expectation));
  }
}

[[nodiscard]] inline Decoded<std::uint8_t> read_u8(Element e) { return read_integer<std::uint8_t>(e, expect_u8); }
[[nodiscard]] inline Decoded<std::int32_t> read_i32(Element e) { return read_integer<std::int32_t>(e, expect_i32); }

// Any number; an integer becomes the nearest floating-point value.
[[nodiscard]] inline Decoded<double> read_f64(Element e) {
  switch (e.type()) {
    case ElementType::DOUBLE:
      return e.get_double().value_unsafe();
    case ElementType::INT64:
      return static_cast<double>(e.get_int64().value_unsafe());
    case ElementType::UINT64:
      return static_cast<double>(e.get_uint64().value_unsafe());
    default:
      return std::unexpected(invalid_type(e, "a number"));
  }
}

[[nodiscard]] inline Decoded<std::string> read_string(Element e) {
  std::string_view text;
  if (e.get_string().get(text) != simdjson::SUCCESS) return std::unexpected(invalid_type(e, "a string"));
  return std::string(text);
}

// A Tenhou tile number.
[[nodiscard]] inline Decoded<Tile> read_tile(Element e) {
  const auto number = read_u8(e);
  if (!number) return std::unexpected(number.error());
  if (const auto tile = pairo::tile_from_tenhou(*number)) return *tile;
  return std::unexpected(not_a_tile(*number));
}

// ---- Array shapes.

template <class Read>
using read_value_t = typename std::invoke_result_t<Read&, Element>::value_type;

// Moves a decoded value into its place in a record.
template <class T>
[[nodiscard]] inline Status store(T& slot, Decoded<T>&& decoded) {
  if (!decoded) return std::unexpected(std::move(decoded.error()));
  slot = std::move(*decoded);
  return {};
}

// Null for absent, anything else by the inner reader.
template <class Read, class T = read_value_t<Read>>
[[nodiscard]] Decoded<std::optional<T>> read_optional(Element e, Read read) {
  if (e.is_null()) return std::optional<T>{};
  auto value = read(e);
  if (!value) return std::unexpected(std::move(value.error()));
  return std::optional<T>{std::move(*value)};
}

// Visits the elements of an array in order, each with its position; an element
// at position `limit` fails. Gives the number of elements visited.
template <class Visit>
[[nodiscard]] Decoded<std::size_t> visit_positions(simdjson::dom::array array, std::size_t limit, Visit visit) {
  std::size_t position = 0;
  for (const Element item : array) {
    if (position == limit) return std::unexpected(too_many_values(limit));
    if (auto done = visit(position, item); !done) return std::unexpected(std::move(done.error()));
    ++position;
  }
  return position;
}

// An array of any length.
template <class Read, class T = read_value_t<Read>>
[[nodiscard]] Decoded<std::vector<T>> read_sequence(Element e, Read read) {
  simdjson::dom::array array;
  if (e.get_array().get(array) != simdjson::SUCCESS) return std::unexpected(invalid_type(e, expect_array));
  std::vector<T> values;
  values.reserve(array.size());
  for (const Element item : array) {
    auto value = read(item);
    if (!value) return std::unexpected(std::move(value.error()));
    values.push_back(std::move(*value));
  }
  return values;
}

// An array of exactly N elements; `expectation` names it in both the type and
// the length error.
template <std::size_t N, class Read, class T = read_value_t<Read>>
[[nodiscard]] Decoded<std::array<T, N>> read_fixed(Element e, std::string_view expectation, Read read) {
  simdjson::dom::array array;
  if (e.get_array().get(array) != simdjson::SUCCESS) return std::unexpected(invalid_type(e, expectation));
  std::array<T, N> values{};
  const auto count = visit_positions(array, N, [&](std::size_t position, Element item) {
    return store(values[position], read(item));
  });
  if (!count) return std::unexpected(std::move(count.error()));
  if (*count < N) return std::unexpected(invalid_length(*count, expectation));
  return values;
}

// ---- The records' fields by position.

// The log's fields, in the order of the keys and of the array form.
enum LogField : std::size_t { Log, Name, RuleSet, Ratingc, Lobby, Dan, Rate, Sx };
inline constexpr std::array<std::string_view, 8> log_keys = {"log",   "name", "rule", "ratingc",
                                                             "lobby", "dan",  "rate", "sx"};
// The required keys, looked for in this order when the object ends.
inline constexpr std::array<std::size_t, 3> required_positions = {Log, Name, RuleSet};

// The rule's fields, in the order of the keys and of the array form.
enum RuleField : std::size_t { Disp, Aka, Aka51, Aka52, Aka53 };
inline constexpr std::array<std::string_view, 5> rule_keys = {"disp", "aka", "aka51", "aka52", "aka53"};

// A round's values. Positions 4 to 15 hold three values per seat (hand,
// draws, discards), seat p's from FirstSeat + 3p.
enum KyokuField : std::size_t { Meta, Scores, DoraIndicators, UraIndicators, FirstSeat, Results = FirstSeat + 12 };
enum SeatField : std::size_t { Hand, Draws, Discards };
inline constexpr std::size_t kyoku_size = Results + 1;

// The round header's values.
enum MetaField : std::size_t { Kyoku, Honba, Kyotaku };
inline constexpr std::size_t meta_size = Kyotaku + 1;

// ---- The two readers of a whole text.

// One pass over the text, straight into the records: nothing when the text
// is not a plain log, which the other reader then reads again.
[[nodiscard]] std::optional<RawLog> read_directly(const PaddedText& text);
// Through simdjson's parsed document: every log, and the error of every text
// that is none.
[[nodiscard]] Decoded<RawLog> read_document(const PaddedText& text);

// ---- Items of the streams and of the result list.

// Every item of a stream, in order; the first that is no item fails.
[[nodiscard]] Decoded<std::vector<ActionItem>> read_action_items(simdjson::dom::array items);
// `level`: the nesting level that the item opens if it is an array.
[[nodiscard]] Decoded<ResultItem> read_result_item(Element e, int level);

}  // namespace tenhou::decoding
