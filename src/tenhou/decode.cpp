// Decoding a whole log text into its records: the parse, the root record,
// the rule set and the rounds.
#include <algorithm>
#include <cstdint>

#include "tenhou/decode_read.hpp"

namespace tenhou {
namespace {

using namespace decoding;
using simdjson::dom::array;
using simdjson::dom::object;

// ---- Keyed records: one pass over the fields, a bit per recognised key.

// The position of `key` among `keys`, or nothing for a key to skip. Keys are
// compared after unescaping, byte for byte.
template <std::size_t N>
std::optional<std::size_t> key_position(const std::array<std::string_view, N>& keys, std::string_view key) {
  const auto found = std::find(keys.begin(), keys.end(), key);
  if (found == keys.end()) return std::nullopt;
  return static_cast<std::size_t>(found - keys.begin());
}

// Reads each recognised field with `read_field(position, value)`, skipping the
// others, and refusing a recognised key met twice (a null first time included).
// Gives the mask of the positions seen.
template <std::size_t N, class ReadField>
Decoded<std::uint32_t> read_fields(object fields, const std::array<std::string_view, N>& keys,
                                   ReadField read_field) {
  static_assert(N <= 32);
  std::uint32_t seen = 0;
  for (const simdjson::dom::key_value_pair field : fields) {
    const auto position = key_position(keys, field.key);
    if (!position) continue;
    const std::uint32_t bit = std::uint32_t{1} << *position;
    if (seen & bit) return std::unexpected(duplicate_field(keys[*position]));
    seen |= bit;
    if (auto done = read_field(*position, field.value); !done) return std::unexpected(std::move(done.error()));
  }
  return seen;
}

// ---- The rule set: an object, or an array of up to five values; defaults for the rest.

Status read_rule_field(Rule& rule, std::size_t position, Element value) {
  switch (position) {
    case Disp: return store(rule.disp, read_string(value));
    case Aka: return store(rule.aka, read_u8(value));
    case Aka51: return store(rule.aka51, read_u8(value));
    case Aka52: return store(rule.aka52, read_u8(value));
    default: return store(rule.aka53, read_u8(value));
  }
}

Decoded<Rule> read_rule(Element e) {
  Rule rule;
  const auto read_field = [&](std::size_t position, Element value) { return read_rule_field(rule, position, value); };
  if (e.is_object()) {
    if (auto seen = read_fields(e.get_object().value_unsafe(), rule_keys, read_field); !seen) {
      return std::unexpected(std::move(seen.error()));
    }
    return rule;
  }
  if (e.is_array()) {
    if (auto count = visit_positions(e.get_array().value_unsafe(), rule_keys.size(), read_field); !count) {
      return std::unexpected(std::move(count.error()));
    }
    return rule;
  }
  return std::unexpected(invalid_type(e, "a rule (an object or an array)"));
}

// ---- A round: a positional record of 17 values.

Decoded<KyokuMeta> read_meta(Element e) {
  array values;
  if (e.get_array().get(values) != simdjson::SUCCESS) return std::unexpected(invalid_type(e, "a round header (an array of 3 integers)"));
  KyokuMeta meta;
  const auto count = visit_positions(values, meta_size, [&](std::size_t position, Element value) {
    switch (position) {
      case Kyoku: return store(meta.kyoku, read_u8(value));
      case Honba: return store(meta.honba, read_u8(value));
      default: return store(meta.kyotaku, read_u8(value));
    }
  });
  if (!count) return std::unexpected(std::move(count.error()));
  if (*count < meta_size) return std::unexpected(invalid_length(*count, "a round header of 3 values"));
  return meta;
}

Decoded<std::vector<Tile>> read_tiles(Element e) {
  return read_sequence(e, [](Element tile) { return read_tile(tile); });
}

Decoded<std::array<Tile, 13>> read_hand(Element e) {
  return read_fixed<13>(e, "a hand of 13 tiles", [](Element tile) { return read_tile(tile); });
}

Decoded<std::vector<ActionItem>> read_stream(Element e) {
  array items;
  if (e.get_array().get(items) != simdjson::SUCCESS) return std::unexpected(invalid_type(e, expect_array));
  return read_action_items(items);
}

Decoded<std::vector<ResultItem>> read_results(Element e) {
  return read_sequence(e, [](Element item) { return read_result_item(item, result_item_level); });
}

Status read_kyoku_field(RawKyoku& kyoku, std::size_t position, Element value) {
  switch (position) {
    case Meta: return store(kyoku.meta, read_meta(value));
    case Scores: return store(kyoku.scores, read_fixed<4>(value, "an array of length 4", read_i32));
    case DoraIndicators: return store(kyoku.dora_indicators, read_tiles(value));
    case UraIndicators: return store(kyoku.ura_indicators, read_tiles(value));
    case Results: return store(kyoku.results, read_results(value));
    default: break;
  }
  const std::size_t seat = (position - FirstSeat) / 3;
  switch ((position - FirstSeat) % 3) {
    case Hand: return store(kyoku.start_hands[seat], read_hand(value));
    case Draws: return store(kyoku.draws[seat], read_stream(value));
    default: return store(kyoku.discards[seat], read_stream(value));
  }
}

Decoded<RawKyoku> read_kyoku(Element e) {
  array values;
  if (e.get_array().get(values) != simdjson::SUCCESS) return std::unexpected(invalid_type(e, "a round (an array of 17 values)"));
  RawKyoku kyoku;
  const auto count = visit_positions(values, kyoku_size, [&](std::size_t position, Element value) {
    return read_kyoku_field(kyoku, position, value);
  });
  if (!count) return std::unexpected(std::move(count.error()));
  if (*count < kyoku_size) return std::unexpected(invalid_length(*count, "a round of 17 values"));
  return kyoku;
}

// ---- The root: an object, or an array of the eight values in key order.

Decoded<std::vector<std::string>> read_strings(Element e) { return read_sequence(e, read_string); }

Status read_log_field(RawLog& log, std::size_t position, Element value) {
  switch (position) {
    case Log: return store(log.log, read_sequence(value, read_kyoku));
    case Name: return store(log.name, read_fixed<4>(value, "an array of length 4", read_string));
    case RuleSet: return store(log.rule, read_rule(value));
    case Ratingc: return store(log.ratingc, read_optional(value, read_string));
    case Lobby: return store(log.lobby, read_optional(value, read_i32));
    case Dan: return store(log.dan, read_optional(value, read_strings));
    case Rate: return store(log.rate, read_optional(value, [](Element e) { return read_sequence(e, read_f64); }));
    default: return store(log.sx, read_optional(value, read_strings));
  }
}

Decoded<RawLog> read_root(Element root) {
  RawLog log;
  const auto read_field = [&](std::size_t position, Element value) { return read_log_field(log, position, value); };
  if (root.is_object()) {
    const auto seen = read_fields(root.get_object().value_unsafe(), log_keys, read_field);
    if (!seen) return std::unexpected(std::move(seen.error()));
    for (const std::size_t position : required_positions) {
      if (!(*seen & (std::uint32_t{1} << position))) return std::unexpected(missing_field(log_keys[position]));
    }
    return log;
  }
  if (root.is_array()) {
    const auto count = visit_positions(root.get_array().value_unsafe(), log_keys.size(), read_field);
    if (!count) return std::unexpected(std::move(count.error()));
    if (*count < log_keys.size()) return std::unexpected(invalid_length(*count, "a log array of 8 values"));
    return log;
  }
  return std::unexpected(invalid_type(root, "a log (an object or an array of 8 values)"));
}

// Nothing can nest deeper than half the text's length, so with this limit the
// parser never refuses a depth: values skipped under unknown keys may nest as
// deep as they like, and the budget of the decoded values is kept by the
// decoder itself.
std::size_t parser_depth_limit(std::size_t text_size) { return text_size / 2 + 1; }

// Logs nest a handful of levels deep. The parser's room for open levels is
// made for this many first, and for the text's whole limit only when a text
// goes deeper, so that the common call does not pay for room it never uses.
constexpr std::size_t usual_depth = 64;

// Parses the whole text into `document`, whose root goes to `root`. The
// parser's own room (the index of the text's structure, as large as half
// the document) goes when the parse is over, before any record is built.
// A parser per call: nothing survives from one log to the next.
[[nodiscard]] simdjson::error_code parse_document(const PaddedText& text, simdjson::dom::document& document,
                                                  Element& root) {
  static_assert(PaddedText::padding >= simdjson::SIMDJSON_PADDING,
                "the text is parsed where it lies, so its padding must cover the parser's reads");
  simdjson::dom::parser parser;
  const std::size_t depth_limit = parser_depth_limit(text.size());
  // The whole text is validated here (UTF-8, syntax, skipped values included)
  // before any record is built. One known difference from reading the text as
  // it goes: simdjson refuses integers beyond 64 bits anywhere, even where
  // they would be kept as floating-point numbers (inside result items) or
  // skipped (under unknown keys); such a text fails to decode.
  for (std::size_t depth = std::min(usual_depth, depth_limit);; depth = depth_limit) {
    if (const auto error = parser.allocate(text.size(), depth)) return error;
    const auto error = parser.parse_into_document(document, text.data(), text.size(), false).get(root);
    if (error != simdjson::DEPTH_ERROR || depth == depth_limit) return error;
  }
}

}  // namespace

}  // namespace tenhou

namespace tenhou::decoding {

Decoded<RawLog> read_document(const PaddedText& text) {
  simdjson::dom::document document;
  Element root;
  if (const auto error = parse_document(text, document, root)) return std::unexpected(parse_failure(error));
  return read_root(root);
}

}  // namespace tenhou::decoding

namespace tenhou {

// Most logs are read directly; the others, faulty ones included, through the
// parsed document, which tells what is wrong.
std::expected<RawLog, pairo::Error> decode_raw_log(const PaddedText& text) {
  if (auto log = decoding::read_directly(text)) return std::move(*log);
  return decoding::read_document(text);
}

std::expected<RawLog, pairo::Error> decode_raw_log(PaddedText&& text) {
  if (auto log = decoding::read_directly(text)) {
    text = PaddedText();
    return std::move(*log);
  }
  simdjson::dom::document document;
  decoding::Element root;
  const auto error = parse_document(text, document, root);
  // The document holds its own copy of every value: the text is not needed
  // while the records are built, the most memory a call holds at once.
  text = PaddedText();
  if (error) return std::unexpected(decoding::parse_failure(error));
  return read_root(root);
}

}  // namespace tenhou
