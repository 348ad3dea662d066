// The decoded Tenhou version-6 log, and the operation that builds it from text.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "base/error.hpp"
#include "base/padded_text.hpp"
#include "base/tile.hpp"

namespace tenhou {

using pairo::Tile;

struct JsonMember;

// A generic JSON value, kept only inside the value lists of round results.
struct JsonValue {
  using Array = std::vector<JsonValue>;
  using Object = std::vector<JsonMember>;
  std::variant<std::monostate, bool, std::uint64_t, std::int64_t, double, std::string, Array, Object>
      value;
  friend bool operator==(const JsonValue&, const JsonValue&) = default;
};

// One entry of a JSON object. A named record rather than a pair, so that the
// recursive types are complete in the same order for every compiler.
struct JsonMember {
  std::string key;
  JsonValue value;
  friend bool operator==(const JsonMember&, const JsonMember&) = default;
};

// One element of a seat's draws or discards stream.
struct ActionItem {
  struct Tile {
    pairo::Tile tile;
    friend bool operator==(const Tile&, const Tile&) = default;
  };
  struct Number {
    std::uint8_t value;
    friend bool operator==(const Number&, const Number&) = default;
  };
  struct Text {
    std::string text;
    friend bool operator==(const Text&, const Text&) = default;
  };
  // A call, kan or riichi as a game record's reader knows it: the parts of
  // its text rather than the text, which the converter would only take
  // apart again. The text is the first `at` of `others`, the letter, `pai`,
  // then the rest of `others`: "25p2525" is {'p', 1, 2, 5p, {5p, 5p}}. A
  // riichi's `pai` is the discard, the unknown tile for the tile just drawn
  // ("r60").
  struct Marked {
    char letter = 'c';  // c p m (draws), k a r (discards)
    std::uint8_t at = 0;
    std::uint8_t count = 0;  // of others: 2 for chi and pon, 3 for kans, 0 for riichi
    pairo::Tile pai = pairo::Tile::Unknown;
    std::array<pairo::Tile, 3> others{};
    friend bool operator==(const Marked&, const Marked&) = default;
  };
  std::variant<Tile, Number, Text, Marked> value;
  friend bool operator==(const ActionItem&, const ActionItem&) = default;
};

// A marked item's text, at most 9 bytes, written from `out` on; gives its end.
inline char* put_marked_text(char* out, const ActionItem::Marked& item) noexcept {
  const auto number = [&out](std::uint8_t n) {
    *out++ = static_cast<char>('0' + n / 10);
    *out++ = static_cast<char>('0' + n % 10);
  };
  const std::size_t count = std::min<std::size_t>(item.count, item.others.size());
  const std::size_t at = std::min<std::size_t>(item.at, item.others.size());
  for (std::size_t i = 0; i < at; ++i) number(pairo::tenhou_number(item.others[i]));
  *out++ = item.letter;
  number(item.letter == 'r' && item.pai == Tile::Unknown ? 60 : pairo::tenhou_number(item.pai));
  for (std::size_t i = at; i < count; ++i) number(pairo::tenhou_number(item.others[i]));
  return out;
}

[[nodiscard]] inline std::string marked_text(const ActionItem::Marked& item) {
  std::array<char, 9> bytes{};
  return std::string(bytes.data(), put_marked_text(bytes.data(), item));
}

// One element of a round's result list.
struct ResultItem {
  struct Text {
    std::string text;
    friend bool operator==(const Text&, const Text&) = default;
  };
  struct Deltas {
    std::array<std::int32_t, 4> values;
    friend bool operator==(const Deltas&, const Deltas&) = default;
  };
  struct Values {
    std::vector<JsonValue> values;
    friend bool operator==(const Values&, const Values&) = default;
  };
  std::variant<Text, Deltas, Values> value;
  friend bool operator==(const ResultItem&, const ResultItem&) = default;
};

// The texts that open a round's result list and that readers of the list
// tell apart: a won round's marker, and the reason of the abortive draw on a
// fourth riichi.
inline constexpr std::string_view win_result = "和了";
inline constexpr std::string_view four_riichi_result = "四家立直";

struct KyokuMeta {
  std::uint8_t kyoku = 0;
  std::uint8_t honba = 0;
  std::uint8_t kyotaku = 0;
  friend bool operator==(const KyokuMeta&, const KyokuMeta&) = default;
};

struct RawKyoku {
  KyokuMeta meta;
  std::array<std::int32_t, 4> scores{};
  std::vector<Tile> dora_indicators;
  std::vector<Tile> ura_indicators;
  std::array<std::array<Tile, 13>, 4> start_hands{};
  std::array<std::vector<ActionItem>, 4> draws;
  std::array<std::vector<ActionItem>, 4> discards;
  std::vector<ResultItem> results;
  friend bool operator==(const RawKyoku&, const RawKyoku&) = default;
};

struct Rule {
  std::string disp;
  std::uint8_t aka = 0;
  std::uint8_t aka51 = 0;
  std::uint8_t aka52 = 0;
  std::uint8_t aka53 = 0;
  friend bool operator==(const Rule&, const Rule&) = default;
};

struct RawLog {
  std::vector<RawKyoku> log;
  std::array<std::string, 4> name;
  Rule rule;
  std::optional<std::string> ratingc;
  std::optional<std::int32_t> lobby;
  std::optional<std::vector<std::string>> dan;
  std::optional<std::vector<double>> rate;
  std::optional<std::vector<std::string>> sx;
  // Field by field: the two readers of a text give equal records.
  friend bool operator==(const RawLog&, const RawLog&) = default;
};

// The padded buffer the parsers read in place (base/padded_text.hpp).
using PaddedText = pairo::PaddedText;

// Decodes one complete log text (UTF-8) strictly into its records; a text
// that is not a log fails with an error of the decoding stage.
[[nodiscard]] std::expected<RawLog, pairo::Error> decode_raw_log(const PaddedText& text);
// The same, releasing the text as soon as it is parsed.
[[nodiscard]] std::expected<RawLog, pairo::Error> decode_raw_log(PaddedText&& text);

}  // namespace tenhou
