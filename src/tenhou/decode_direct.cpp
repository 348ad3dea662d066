// The direct reading of a log: one pass over the text, each value read
// straight into its place in the records, with no parsed document between.
//
// It takes the logs as Tenhou and the tools that write its format write
// them, pretty-printed or not, escaped or not. At the first thing it does
// not take (any fault, or a rarer form: the root or the rule set as an
// array, a lone surrogate escape, a negative zero, an integer of more than
// 18 digits, a number that is not finite, a value nested deeper than the
// decoder allows) it gives up, and the reader of simdjson's parsed document
// reads the text again: that reader decides and explains. So this one must
// never take a text the other refuses, nor give other records: it checks the
// whole text's grammar, the values it skips under unknown keys included, and
// its UTF-8, once for the whole text.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "base/utf8.hpp"
#include "tenhou/decode_read.hpp"

namespace tenhou::decoding {
namespace {

// Values skipped under unknown keys are checked this deep; deeper ones are
// left to the other reader.
constexpr int skipped_depth_limit = 32;

// Room for the rounds of a whole game (east and south, a few repeats)
// before the list of rounds grows.
constexpr std::size_t usual_round_count = 12;

bool is_whitespace(char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t'; }

// A position in the text. The text is followed by zeroed padding, and a zero
// byte is no whitespace, digit or string byte, so every scan stops at the end.
class Cursor {
 public:
  Cursor(const char* at, const char* end) : at_(at), end_(end) {}

  [[nodiscard]] bool at_end() const noexcept { return at_ == end_; }
  [[nodiscard]] char peek() const noexcept { return *at_; }

  // A place to come back to, when a value is read one way and then another.
  [[nodiscard]] const char* mark() const noexcept { return at_; }
  void rewind(const char* mark) noexcept { at_ = mark; }

  // At an array of scalars: one more than the commas before the first ']',
  // at least its item count.
  [[nodiscard]] std::size_t most_scalars() const noexcept {
    const void* close = std::memchr(at_, ']', static_cast<std::size_t>(end_ - at_));
    const char* stop = close ? static_cast<const char*>(close) : end_;
    std::size_t commas = 0;
    const char* at = at_;
#if defined(__SSE2__)
    __m128i sums = _mm_setzero_si128();
    for (; stop - at >= 16; at += 16) {
      const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
      const __m128i ones = _mm_and_si128(_mm_cmpeq_epi8(chunk, _mm_set1_epi8(',')), _mm_set1_epi8(1));
      sums = _mm_add_epi64(sums, _mm_sad_epu8(ones, _mm_setzero_si128()));
    }
    commas = static_cast<std::size_t>(_mm_cvtsi128_si64(sums) + _mm_cvtsi128_si64(_mm_unpackhi_epi64(sums, sums)));
#endif
    return commas + static_cast<std::size_t>(std::count(at, stop, ',')) + 1;
  }

  // Pretty-printed logs hold more whitespace than values: it is stepped
  // over sixteen bytes at a time.
  void skip_whitespace() noexcept {
    if (static_cast<unsigned char>(*at_) > ' ' || !is_whitespace(*at_)) return;
#if defined(__SSE2__)
    while (true) {
      const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at_));
      const __m128i spaces = _mm_or_si128(_mm_cmpeq_epi8(chunk, _mm_set1_epi8(' ')),
                                          _mm_cmpeq_epi8(chunk, _mm_set1_epi8('\n')));
      const __m128i others = _mm_or_si128(_mm_cmpeq_epi8(chunk, _mm_set1_epi8('\r')),
                                          _mm_cmpeq_epi8(chunk, _mm_set1_epi8('\t')));
      const unsigned other = ~static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(spaces, others))) & 0xffffu;
      if (other != 0) {
        at_ += __builtin_ctz(other);
        return;
      }
      at_ += 16;
    }
#else
    while (is_whitespace(*at_)) ++at_;
#endif
  }

  // `c` after any whitespace.
  bool take(char c) noexcept {
    skip_whitespace();
    if (*at_ != c) return false;
    ++at_;
    return true;
  }

  bool take_word(std::string_view word) noexcept {
    if (std::memcmp(at_, word.data(), word.size()) != 0) return false;  // the padding covers the longest word
    at_ += word.size();
    return true;
  }

  // A string without control characters (the whole text is valid UTF-8).
  // A string with escapes is unescaped into the cursor's own buffer: the
  // view holds until the next string.
  bool read_string(std::string_view& out) {
    if (!take('"')) return false;
    const char* begin = at_;
    for (;; ++at_) {
      const auto c = static_cast<unsigned char>(*at_);
      if (c == '"') break;
      if (c == '\\') return read_escaped(begin, out);
      if (c < 0x20) return false;
    }
    out = std::string_view(begin, static_cast<std::size_t>(at_ - begin));
    ++at_;
    return true;
  }

  // One to three digits, no leading zero, at most 255.
  bool read_u8(std::uint8_t& out) noexcept {
    skip_whitespace();
    const unsigned first = digit(at_[0]);
    if (first > 9) return false;
    const unsigned second = digit(at_[1]);
    if (second > 9) {
      out = static_cast<std::uint8_t>(first);
      at_ += 1;
      return true;
    }
    const unsigned third = digit(at_[2]);
    if (first == 0) return false;
    if (third > 9) {
      out = static_cast<std::uint8_t>(first * 10 + second);
      at_ += 2;
      return true;
    }
    const unsigned value = first * 100 + second * 10 + third;
    if (value > 255 || digit(at_[3]) <= 9) return false;
    out = static_cast<std::uint8_t>(value);
    at_ += 3;
    return true;
  }

  // A JSON number, typed as the parsed document types it: an integer is one
  // written without fraction and exponent.
  bool read_number(JsonValue& out) noexcept {
    skip_whitespace();
    const char* begin = at_;
    const bool negative = *at_ == '-';
    if (negative) ++at_;
    const char* digits = at_;
    while (is_digit(*at_)) ++at_;
    const auto count = at_ - digits;
    if (count == 0 || (*digits == '0' && count > 1)) return false;
    bool integral = true;
    if (*at_ == '.') {
      integral = false;
      if (!skip_digits()) return false;
    }
    if (*at_ == 'e' || *at_ == 'E') {
      integral = false;
      if (*(at_ + 1) == '+' || *(at_ + 1) == '-') ++at_;
      if (!skip_digits()) return false;
    }
    if (integral) return integer_value(digits, count, negative, out);
    // The parsed document's own reading of the number just checked.
    const double value = simdjson::internal::from_chars(begin, at_);
    if (!std::isfinite(value) || (value == 0 && negative)) return false;
    out.value = value;
    return true;
  }

 private:
  static bool is_digit(char c) noexcept { return c >= '0' && c <= '9'; }
  // The digit's value, above 9 for any other byte.
  static unsigned digit(char c) noexcept { return static_cast<unsigned>(static_cast<unsigned char>(c)) - '0'; }

  // The rest of a string from its first backslash, at `at_`.
  bool read_escaped(const char* begin, std::string_view& out) {
    unescaped_.assign(begin, at_);
    while (true) {
      const auto c = static_cast<unsigned char>(*at_++);
      if (c == '"') break;
      if (c < 0x20) return false;
      if (c != '\\') {
        unescaped_ += static_cast<char>(c);
        continue;
      }
      const char escape = *at_++;
      const auto simple = std::string_view("\"\\/bfnrt").find(escape);
      if (simple != std::string_view::npos) {
        unescaped_ += "\"\\/\b\f\n\r\t"[simple];
      } else if (escape != 'u' || !read_code_point()) {
        return false;
      }
    }
    out = unescaped_;  // escapes write whole code points: still UTF-8
    return true;
  }

  // After "\\u": four hex digits, a surrogate pair as two escapes; appended as UTF-8.
  bool read_code_point() {
    std::uint32_t code = 0;
    if (!read_hex4(code) || (code >= 0xdc00 && code <= 0xdfff)) return false;
    if (code >= 0xd800 && code <= 0xdbff) {
      std::uint32_t low = 0;
      if (at_[0] != '\\' || at_[1] != 'u') return false;
      at_ += 2;
      if (!read_hex4(low) || low < 0xdc00 || low > 0xdfff) return false;
      code = 0x10000 + ((code - 0xd800) << 10) + (low - 0xdc00);
    }
    if (code < 0x80) {
      unescaped_ += static_cast<char>(code);
    } else if (code < 0x800) {
      unescaped_ += static_cast<char>(0xc0 | (code >> 6));
      unescaped_ += static_cast<char>(0x80 | (code & 0x3f));
    } else if (code < 0x10000) {
      unescaped_ += static_cast<char>(0xe0 | (code >> 12));
      unescaped_ += static_cast<char>(0x80 | ((code >> 6) & 0x3f));
      unescaped_ += static_cast<char>(0x80 | (code & 0x3f));
    } else {
      unescaped_ += static_cast<char>(0xf0 | (code >> 18));
      unescaped_ += static_cast<char>(0x80 | ((code >> 12) & 0x3f));
      unescaped_ += static_cast<char>(0x80 | ((code >> 6) & 0x3f));
      unescaped_ += static_cast<char>(0x80 | (code & 0x3f));
    }
    return true;
  }

  bool read_hex4(std::uint32_t& out) {
    for (int i = 0; i < 4; ++i) {
      const char c = *at_++;
      std::uint32_t digit;
      if (c >= '0' && c <= '9') {
        digit = static_cast<std::uint32_t>(c - '0');
      } else if (c >= 'a' && c <= 'f') {
        digit = static_cast<std::uint32_t>(c - 'a' + 10);
      } else if (c >= 'A' && c <= 'F') {
        digit = static_cast<std::uint32_t>(c - 'A' + 10);
      } else {
        return false;
      }
      out = out * 16 + digit;
    }
    return true;
  }

  // At a '.', 'e' or sign: one digit or more after it.
  bool skip_digits() noexcept {
    ++at_;
    const char* first = at_;
    while (is_digit(*at_)) ++at_;
    return at_ != first;
  }

  // Up to 18 digits, which always fit: longer ones and "-0" give up.
  static bool integer_value(const char* digits, std::ptrdiff_t count, bool negative, JsonValue& out) noexcept {
    if (count > 18) return false;
    std::int64_t value = 0;
    for (std::ptrdiff_t i = 0; i < count; ++i) value = value * 10 + (digits[i] - '0');
    if (negative && value == 0) return false;
    if (negative) {
      out.value = -value;
    } else {
      out.value = static_cast<std::uint64_t>(value);
    }
    return true;
  }

  const char* at_;
  const char* end_;
  std::string unescaped_;
};

// ---- Shapes.

// '[' items ']' with `item()` reading each one; false where either fails.
template <class Item>
bool read_array(Cursor& c, Item item) {
  if (!c.take('[')) return false;
  if (c.take(']')) return true;
  do {
    if (!item()) return false;
  } while (c.take(','));
  return c.take(']');
}

// '{' "key": value ... '}' with `field(key)` reading each value.
template <class Field>
bool read_object(Cursor& c, Field field) {
  if (!c.take('{')) return false;
  if (c.take('}')) return true;
  do {
    std::string_view key;
    if (!c.read_string(key) || !c.take(':') || !field(key)) return false;
  } while (c.take(','));
  return c.take('}');
}

bool read_null(Cursor& c) {
  c.skip_whitespace();
  return c.take_word("null");
}

bool read_integer(Cursor& c, std::int32_t& out) {
  JsonValue number;
  if (!c.read_number(number)) return false;
  if (const auto* value = std::get_if<std::uint64_t>(&number.value); value && *value <= INT32_MAX) {
    out = static_cast<std::int32_t>(*value);
    return true;
  }
  if (const auto* value = std::get_if<std::int64_t>(&number.value); value && *value >= INT32_MIN) {
    out = static_cast<std::int32_t>(*value);
    return true;
  }
  return false;
}

bool read_tile(Cursor& c, Tile& out) {
  std::uint8_t number;
  if (!c.read_u8(number)) return false;
  const auto tile = pairo::tile_from_tenhou(number);
  if (!tile) return false;
  out = *tile;
  return true;
}

bool read_text(Cursor& c, std::string& out) {
  std::string_view text;
  if (!c.read_string(text)) return false;
  out.assign(text);
  return true;
}

// ---- Values skipped under unknown keys: checked, not kept.

bool skip_value(Cursor& c, int depth) {
  if (depth > skipped_depth_limit) return false;
  c.skip_whitespace();
  switch (c.peek()) {
    case '[':
      return read_array(c, [&] { return skip_value(c, depth + 1); });
    case '{':
      return read_object(c, [&](std::string_view) { return skip_value(c, depth + 1); });
    case '"': {
      std::string_view text;
      return c.read_string(text);
    }
    case 't':
      return c.take_word("true");
    case 'f':
      return c.take_word("false");
    case 'n':
      return c.take_word("null");
    default: {
      JsonValue number;
      return c.read_number(number);
    }
  }
}

// ---- Rounds.

bool read_tiles(Cursor& c, std::vector<Tile>& out) {
  return read_array(c, [&] { return read_tile(c, out.emplace_back()); });
}

bool read_hand(Cursor& c, std::array<Tile, 13>& out) {
  std::size_t count = 0;
  return read_array(c, [&] { return count < out.size() && read_tile(c, out[count++]); }) && count == out.size();
}

// A tile, then any other u8, then text.
bool read_action_item(Cursor& c, std::vector<ActionItem>& out) {
  c.skip_whitespace();
  if (c.peek() == '"') {
    std::string_view text;
    if (!c.read_string(text)) return false;
    out.emplace_back(ActionItem::Text{std::string(text)});
    return true;
  }
  std::uint8_t number;
  if (!c.read_u8(number)) return false;
  if (const auto tile = pairo::tile_from_tenhou(number)) {
    out.emplace_back(ActionItem::Tile{*tile});
  } else {
    out.emplace_back(ActionItem::Number{number});
  }
  return true;
}

bool read_stream(Cursor& c, std::vector<ActionItem>& out) {
  out.reserve(c.most_scalars());
  return read_array(c, [&] { return read_action_item(c, out); });
}

bool read_json_value(Cursor& c, int level, JsonValue& out);

bool read_json_array(Cursor& c, int level, JsonValue::Array& out) {
  return level < nesting_budget && read_array(c, [&] { return read_json_value(c, level + 1, out.emplace_back()); });
}

// `level`: the level that the value opens if it is an array or an object.
bool read_json_value(Cursor& c, int level, JsonValue& out) {
  c.skip_whitespace();
  switch (c.peek()) {
    case '[':
      return read_json_array(c, level, out.value.emplace<JsonValue::Array>());
    case '{': {
      auto& members = out.value.emplace<JsonValue::Object>();
      return level < nesting_budget && read_object(c, [&](std::string_view key) {
               return read_json_value(c, level + 1, members.emplace_back(JsonMember{std::string(key), {}}).value);
             });
    }
    case '"':
      return read_text(c, out.value.emplace<std::string>());
    case 't':
      out.value = true;
      return c.take_word("true");
    case 'f':
      out.value = false;
      return c.take_word("false");
    case 'n':
      return c.take_word("null");
    default:
      return c.read_number(out);
  }
}

// Exactly four integers within 32 bits: a round's scores, or the score
// changes of a win or draw.
bool read_four_integers(Cursor& c, std::array<std::int32_t, 4>& out) {
  std::size_t count = 0;
  return read_array(c, [&] { return count < out.size() && read_integer(c, out[count++]); }) && count == out.size();
}

// Text, then four i32 deltas, then any other array as JSON values.
bool read_result_item(Cursor& c, ResultItem& out) {
  c.skip_whitespace();
  if (c.peek() == '"') return read_text(c, out.value.emplace<ResultItem::Text>().text);
  const char* item = c.mark();
  if (read_four_integers(c, out.value.emplace<ResultItem::Deltas>().values)) return true;
  c.rewind(item);
  return read_json_array(c, result_item_level, out.value.emplace<ResultItem::Values>().values);
}

bool read_kyoku_field(Cursor& c, RawKyoku& kyoku, std::size_t position) {
  switch (position) {
    case Meta: {
      std::array<std::uint8_t, meta_size> values{};
      std::size_t count = 0;
      if (!read_array(c, [&] { return count < meta_size && c.read_u8(values[count++]); }) || count != meta_size) {
        return false;
      }
      kyoku.meta = KyokuMeta{values[Kyoku], values[Honba], values[Kyotaku]};
      return true;
    }
    case Scores: return read_four_integers(c, kyoku.scores);
    case DoraIndicators: return read_tiles(c, kyoku.dora_indicators);
    case UraIndicators: return read_tiles(c, kyoku.ura_indicators);
    case Results: return read_array(c, [&] { return read_result_item(c, kyoku.results.emplace_back()); });
    default: break;
  }
  const std::size_t seat = (position - FirstSeat) / 3;
  switch ((position - FirstSeat) % 3) {
    case Hand: return read_hand(c, kyoku.start_hands[seat]);
    case Draws: return read_stream(c, kyoku.draws[seat]);
    default: return read_stream(c, kyoku.discards[seat]);
  }
}

bool read_kyoku(Cursor& c, RawKyoku& kyoku) {
  std::size_t position = 0;
  return read_array(c, [&] { return position < kyoku_size && read_kyoku_field(c, kyoku, position++); }) &&
         position == kyoku_size;
}

// ---- The root and the rule set.

// Each field by `read_field(position)`, the unknown ones checked and
// skipped; a recognised key met twice gives up. Gives the mask of the
// positions seen, or nothing.
template <std::size_t N, class ReadField>
std::optional<std::uint32_t> read_fields(Cursor& c, const std::array<std::string_view, N>& keys, ReadField read_field) {
  std::uint32_t seen = 0;
  const bool read_all = read_object(c, [&](std::string_view key) {
    const auto found = std::find(keys.begin(), keys.end(), key);
    if (found == keys.end()) return skip_value(c, 1);
    const auto position = static_cast<std::size_t>(found - keys.begin());
    const std::uint32_t bit = std::uint32_t{1} << position;
    if (seen & bit) return false;
    seen |= bit;
    return read_field(position);
  });
  if (!read_all) return std::nullopt;
  return seen;
}

bool read_rule(Cursor& c, Rule& rule) {
  return read_fields(c, rule_keys, [&](std::size_t position) {
           switch (position) {
             case Disp: return read_text(c, rule.disp);
             case Aka: return c.read_u8(rule.aka);
             case Aka51: return c.read_u8(rule.aka51);
             case Aka52: return c.read_u8(rule.aka52);
             default: return c.read_u8(rule.aka53);
           }
         }).has_value();
}

// Null for absent, anything else by `read`.
template <class T, class Read>
bool read_optional(Cursor& c, std::optional<T>& out, Read read) {
  c.skip_whitespace();
  if (c.peek() == 'n') return read_null(c);
  return read(out.emplace());
}

bool read_texts(Cursor& c, std::vector<std::string>& out) {
  return read_array(c, [&] { return read_text(c, out.emplace_back()); });
}

bool read_rates(Cursor& c, std::vector<double>& out) {
  return read_array(c, [&] {
    JsonValue number;
    if (!c.read_number(number)) return false;
    if (const auto* value = std::get_if<double>(&number.value)) {
      out.push_back(*value);
    } else if (const auto* value = std::get_if<std::uint64_t>(&number.value)) {
      out.push_back(static_cast<double>(*value));
    } else {
      out.push_back(static_cast<double>(std::get<std::int64_t>(number.value)));
    }
    return true;
  });
}

bool read_log_field(Cursor& c, RawLog& log, std::size_t position) {
  switch (position) {
    case Log:
      log.log.reserve(usual_round_count);
      return read_array(c, [&] { return read_kyoku(c, log.log.emplace_back()); });
    case Name: {
      std::size_t count = 0;
      return read_array(c, [&] { return count < 4 && read_text(c, log.name[count++]); }) && count == 4;
    }
    case RuleSet: return read_rule(c, log.rule);
    case Ratingc: return read_optional(c, log.ratingc, [&](std::string& text) { return read_text(c, text); });
    case Lobby: return read_optional(c, log.lobby, [&](std::int32_t& lobby) { return read_integer(c, lobby); });
    case Dan: return read_optional(c, log.dan, [&](auto& texts) { return read_texts(c, texts); });
    case Rate: return read_optional(c, log.rate, [&](auto& rates) { return read_rates(c, rates); });
    default: return read_optional(c, log.sx, [&](auto& texts) { return read_texts(c, texts); });
  }
}

}  // namespace

std::optional<RawLog> read_directly(const PaddedText& text) {
  static_assert(PaddedText::padding >= 16, "whitespace is read sixteen bytes at a time");
  // One check of the whole text: outside strings the grammar takes ASCII only.
  if (text.size() == 0 || !pairo::is_utf8(text.view())) return std::nullopt;
  Cursor c(text.data(), text.data() + text.size());
  RawLog log;
  const auto seen = read_fields(c, log_keys, [&](std::size_t position) { return read_log_field(c, log, position); });
  if (!seen) return std::nullopt;
  for (const std::size_t position : required_positions) {
    if (!(*seen & (std::uint32_t{1} << position))) return std::nullopt;
  }
  c.skip_whitespace();
  if (!c.at_end()) return std::nullopt;
  return log;
}

}  // namespace tenhou::decoding
