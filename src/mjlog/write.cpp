// The tenhou.net/6 JSON text of a record, as Tenhou's export writes it:
// compact, UTF-8 unescaped, keys in Tenhou's order, numbers that come from
// decimal text in their shortest form.
#include <charconv>

#include "mjlog/parts.hpp"

namespace mjlog {
namespace {

using tenhou::ActionItem;
using tenhou::JsonValue;
using tenhou::ResultItem;

constexpr std::array<std::array<char, 2>, pairo::tile_count> tile_digits = [] {
  std::array<std::array<char, 2>, pairo::tile_count> digits{};
  for (std::size_t code = 0; code < digits.size(); ++code) {
    const std::uint8_t number = pairo::tenhou_number(static_cast<tenhou::Tile>(code));
    digits[code] = {static_cast<char>('0' + (number == 0 ? 0 : number / 10)),
                    number == 0 ? '\0' : static_cast<char>('0' + number % 10)};
  }
  return digits;
}();

class Writer {
 public:
  Writer(std::string& out, const Record& record) : out_(out), record_(record) {}

  void raw(std::string_view text) { out_ += text; }
  void key(std::string_view name) {
    out_ += ",\"";
    out_ += name;
    out_ += "\":";
  }

  template <class Int>
  void integer(Int value) {
    char buffer[24];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    out_.append(buffer, end);
  }

  // The shortest text that reads back as the same double: 2074.7, 1500,
  // -0.6. A whole number too large for a 64-bit integer is written with an
  // exponent: without one, JSON readers take it for an integer and refuse it.
  void number(double value) {
    constexpr double integer_bound = 9'223'372'036'854'775'808.0;  // 2^63
    char buffer[32];
    const bool too_large = value >= integer_bound || value <= -integer_bound;
    const auto end = too_large ? std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific).ptr
                               : std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    out_.append(buffer, end);
  }

  void string(std::string_view text);

  template <class Range, class Each>
  void array(const Range& items, Each each) {
    out_ += '[';
    bool first = true;
    for (const auto& item : items) {
      if (!first) out_ += ',';
      first = false;
      each(item);
    }
    out_ += ']';
  }

  // A list of tiles (a hand, the indicators), a draw or a discard stream,
  // most of a document: room is made for it first, then it is written
  // through a pointer. A tile (two digits, or 0 for the unknown tile, from a
  // table) or a number takes at most three bytes and a comma; a text is
  // escaped as string() escapes it.
  void stream(const auto& items);

  void value(const JsonValue& value);
  void result(const ResultItem& item);
  void round(const tenhou::RawKyoku& kyoku);

 private:
  [[nodiscard]] static char* put_tile(char* at, tenhou::Tile tile) noexcept {
    const std::array<char, 2>& digits = tile_digits[static_cast<std::size_t>(tile)];
    *at++ = digits[0];
    if (digits[1] != '\0') *at++ = digits[1];
    return at;
  }
  // The text as a JSON string; at most 2 + 6 bytes a byte of it.
  [[nodiscard]] static char* put_text(char* at, std::string_view text) noexcept;

  // A win's detail: its seats from the log, its texts from its score.
  void win_detail(const ResultItem::Values& seats);

  std::string& out_;
  const Record& record_;
  std::size_t win_ = 0;         // the next of record_.wins
  std::size_t yaku_value_ = 0;  // where its values start in record_.yaku_values
};

void Writer::string(std::string_view text) {
  const std::size_t start = out_.size();
  out_.resize(start + 2 + 6 * text.size());
  out_.resize(static_cast<std::size_t>(put_text(out_.data() + start, text) - out_.data()));
}

// Only what JSON requires is escaped; other characters stay as they are.
char* Writer::put_text(char* at, std::string_view text) noexcept {
  static constexpr char hex[] = "0123456789abcdef";
  *at++ = '"';
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      *at++ = '\\';
      *at++ = c;
    } else if (u < 0x20) {
      for (const char e : {'\\', 'u', '0', '0', hex[u >> 4], hex[u & 15]}) *at++ = e;
    } else {
      *at++ = c;
    }
  }
  *at++ = '"';
  return at;
}

void Writer::stream(const auto& items) {
  std::size_t room = 2 + 4 * std::size(items);
  if constexpr (std::is_same_v<std::ranges::range_value_t<decltype(items)>, ActionItem>) {
    for (const ActionItem& item : items) {
      if (const auto* text = std::get_if<ActionItem::Text>(&item.value)) room += 2 + 6 * text->text.size();
      if (std::holds_alternative<ActionItem::Marked>(item.value)) room += 2 + 9;
    }
  }
  const std::size_t start = out_.size();
  out_.resize(start + room);
  char* const first = out_.data() + start;
  char* at = first;
  *at++ = '[';
  for (const auto& item : items) {
    if (at != first + 1) *at++ = ',';
    if constexpr (std::is_same_v<std::remove_cvref_t<decltype(item)>, ActionItem>) {
      if (const auto* t = std::get_if<ActionItem::Tile>(&item.value)) {
        at = put_tile(at, t->tile);
      } else if (const auto* number = std::get_if<ActionItem::Number>(&item.value)) {
        at = std::to_chars(at, at + 3, unsigned{number->value}).ptr;
      } else if (const auto* marked = std::get_if<ActionItem::Marked>(&item.value)) {
        *at++ = '"';
        at = tenhou::put_marked_text(at, *marked);
        *at++ = '"';
      } else {
        at = put_text(at, std::get<ActionItem::Text>(item.value).text);
      }
    } else {
      at = put_tile(at, item);
    }
  }
  *at++ = ']';
  out_.resize(static_cast<std::size_t>(at - out_.data()));
}

void Writer::value(const JsonValue& value) {
  std::visit(
      [&](const auto& v) {
        using V = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<V, std::monostate>) raw("null");
        else if constexpr (std::is_same_v<V, bool>) raw(v ? "true" : "false");
        else if constexpr (std::is_same_v<V, double>) number(v);
        else if constexpr (std::is_same_v<V, std::string>) string(v);
        else if constexpr (std::is_same_v<V, JsonValue::Array>) array(v, [&](const JsonValue& e) { this->value(e); });
        else if constexpr (std::is_same_v<V, JsonValue::Object>) {
          out_ += '{';
          for (std::size_t i = 0; i < v.size(); ++i) {
            if (i) out_ += ',';
            string(v[i].key);
            out_ += ':';
            this->value(v[i].value);
          }
          out_ += '}';
        } else integer(v);
      },
      value.value);
}

void Writer::result(const ResultItem& item) {
  if (const auto* text = std::get_if<ResultItem::Text>(&item.value)) string(text->text);
  else if (const auto* deltas = std::get_if<ResultItem::Deltas>(&item.value)) array(deltas->values, [&](std::int32_t d) { integer(d); });
  else win_detail(std::get<ResultItem::Values>(item.value));
}

void Writer::win_detail(const ResultItem::Values& seats) {
  out_ += '[';
  for (std::size_t i = 0; i < seats.values.size(); ++i) {
    if (i) out_ += ',';
    value(seats.values[i]);
  }
  if (win_ < record_.wins.size()) {
    const WinScore& score = record_.wins[win_++];
    const std::span<const std::int64_t> values(record_.yaku_values.data() + yaku_value_, score.yaku + score.yakuman);
    yaku_value_ += values.size();
    const parts::Win win{.who = score.who,
                         .from_who = score.from_who,
                         .dealer = score.dealer,
                         .fu = score.fu,
                         .points = score.points,
                         .limit = score.limit,
                         .yaku = values.first(score.yaku),
                         .yakuman = values.subspan(score.yaku)};
    if (parts::win_named(win)) parts::append_win_texts(out_, win);
  }
  out_ += ']';
}

// The 17 positions: header, scores, dora and ura indicators, then per seat
// the start hand, draws and discards, and the result.
void Writer::round(const tenhou::RawKyoku& kyoku) {
  out_ += "[[";
  integer(kyoku.meta.kyoku);
  out_ += ',';
  integer(kyoku.meta.honba);
  out_ += ',';
  integer(kyoku.meta.kyotaku);
  out_ += "],";
  array(kyoku.scores, [&](std::int32_t score) { integer(score); });
  out_ += ',';
  stream(kyoku.dora_indicators);
  out_ += ',';
  stream(kyoku.ura_indicators);
  for (std::size_t seat = 0; seat < 4; ++seat) {
    out_ += ',';
    stream(kyoku.start_hands[seat]);
    out_ += ',';
    stream(kyoku.draws[seat]);
    out_ += ',';
    stream(kyoku.discards[seat]);
  }
  out_ += ',';
  array(kyoku.results, [&](const ResultItem& item) { result(item); });
  out_ += ']';
}

void write_connection(Writer& w, const Connection& c) {
  w.raw("{\"what\":");
  w.integer(c.what);
  w.raw(",\"log\":");
  w.integer(c.log);
  w.raw(",\"who\":");
  w.integer(c.who);
  w.raw(",\"step\":");
  w.integer(c.step);
  w.raw("}");
}

void write_rule(Writer& w, const tenhou::Rule& rule) {
  w.raw("{\"disp\":");
  w.string(rule.disp);
  w.raw(",\"aka53\":");
  w.integer(rule.aka53);
  w.raw(",\"aka52\":");
  w.integer(rule.aka52);
  w.raw(",\"aka51\":");
  w.integer(rule.aka51);
  w.raw("}");
}

// The keys after the rounds, each only when the record has it.
void write_header(Writer& w, const Record& record) {
  const tenhou::RawLog& log = record.log;
  const auto strings = [&](const auto& texts) { w.array(texts, [&](const std::string& s) { w.string(s); }); };
  if (!record.connection.empty()) {
    w.key("connection");
    w.array(record.connection, [&](const Connection& c) { write_connection(w, c); });
  }
  if (log.ratingc) {
    w.key("ratingc");
    w.string(*log.ratingc);
  }
  w.key("rule");
  write_rule(w, log.rule);
  if (log.lobby) {
    w.key("lobby");
    w.integer(*log.lobby);
  }
  if (log.dan) {
    w.key("dan");
    strings(*log.dan);
  }
  if (log.rate) {
    w.key("rate");
    w.array(*log.rate, [&](double r) { w.number(r); });
  }
  if (log.sx) {
    w.key("sx");
    strings(*log.sx);
  }
  if (record.sc) {
    // A chip lobby's final chips follow the eight values; what Tenhou's own
    // export writes for them is not known.
    w.key("sc");
    std::vector<double> sc(record.sc->begin(), record.sc->end());
    if (record.chips) sc.insert(sc.end(), record.chips->begin(), record.chips->end());
    w.array(sc, [&](double s) { w.number(s); });
  }
  w.key("name");
  strings(log.name);
}

}  // namespace

std::optional<ReadError> tenhou6_refusal(const Record& record) {
  if (!record.unwritable) return std::nullopt;
  return ReadError{record.unwritable->message, record.unwritable->offset, ErrorKind::Unwritable};
}

std::string write_tenhou6(const Record& record, std::string_view ref) {
  std::string out;
  out.reserve(4096 + 1024 * record.log.log.size());
  Writer w(out, record);
  w.raw("{\"ver\":");
  w.number(record.ver);
  w.key("ref");
  w.string(ref);
  w.key("log");
  w.array(record.log.log, [&](const tenhou::RawKyoku& kyoku) { w.round(kyoku); });
  write_header(w, record);
  w.raw("}");
  return out;
}

}  // namespace mjlog
