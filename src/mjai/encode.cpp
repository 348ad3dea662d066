// Compact JSON for mjai events, written field by field straight into text.
//
// The room an event's text can take is known before it is written
// (event_text_bound), so the room for a whole game is made in one step and
// every event is written through a bare cursor that never checks for room:
// fixed keys go out as literal fragments, integers digit by digit, tiles as
// one fixed-size copy of their quoted name.
#include <algorithm>
#include <charconv>
#include <cstring>
#include <limits>
#include <type_traits>

#include "mjai/mjai.hpp"

namespace mjai {
namespace {

// A tile's name in quotation marks, padded so that it is copied whole by
// one eight-byte move; `size` says how much of the copy counts. The same
// with a comma before it, for a tile that follows another in a list.
struct QuotedTile {
  std::array<char, 8> bytes{};
  std::uint8_t size = 0;
};

constexpr QuotedTile quoted_tile(std::string_view lead, std::string_view name) {
  QuotedTile quoted;
  std::size_t at = 0;
  for (const char c : lead) quoted.bytes[at++] = c;
  for (const char c : name) quoted.bytes[at++] = c;
  quoted.bytes[at++] = '"';
  quoted.size = static_cast<std::uint8_t>(at);
  return quoted;
}

constexpr std::array<QuotedTile, tile_count> quoted_tiles = [] {
  std::array<QuotedTile, tile_count> table{};
  for (std::size_t t = 0; t < tile_count; ++t) table[t] = quoted_tile("\"", tile_names[t]);
  return table;
}();

constexpr std::array<QuotedTile, tile_count> next_quoted_tiles = [] {
  std::array<QuotedTile, tile_count> table{};
  for (std::size_t t = 0; t < tile_count; ++t) table[t] = quoted_tile(",\"", tile_names[t]);
  return table;
}();

// The position of kind T among the alternatives of Event.
template <class T, class Variant>
struct IndexOf;
template <class T, class... Kinds>
struct IndexOf<T, std::variant<Kinds...>> {
  static constexpr std::size_t value = [] {
    std::size_t index = 0;
    (void)((std::is_same_v<T, Kinds> ? true : (++index, false)) || ...);
    return index;
  }();
};
template <class T>
constexpr std::size_t variant_index = IndexOf<T, Event>::value;

// How far the fixed-size copy of a tile may write past the text's end.
constexpr std::size_t spill = sizeof(QuotedTile::bytes);

// The texts of the common kinds are also written while the program is
// compiled (the common slots below), so their paths use no call that a
// constant evaluation refuses: the moves of bytes take std::copy_n there.
class Cursor {
 public:
  constexpr explicit Cursor(char* at) noexcept : at_(at) {}

  [[nodiscard]] constexpr char* at() const noexcept { return at_; }

  template <std::size_t N>
  constexpr void raw(const char (&text)[N]) noexcept {
    move(text, N - 1);
    at_ += N - 1;
  }

  constexpr void byte(char c) noexcept { *at_++ = c; }

  constexpr void integer(std::uint8_t value) noexcept {
    if (value >= 100) {
      *at_++ = static_cast<char>('0' + value / 100);
      value %= 100;
      *at_++ = static_cast<char>('0' + value / 10);
    } else if (value >= 10) {
      *at_++ = static_cast<char>('0' + value / 10);
    }
    *at_++ = static_cast<char>('0' + value % 10);
  }

  void integer(std::int32_t value) noexcept { at_ = std::to_chars(at_, at_ + 11, value).ptr; }

  constexpr void boolean(bool value) noexcept {
    if (value) {
      raw("true");
    } else {
      raw("false");
    }
  }

  constexpr void tile(Tile t) noexcept { copy(quoted_tiles[static_cast<std::uint8_t>(t)]); }

  template <class Range>
  void tiles(const Range& range) noexcept {
    byte('[');
    const auto* table = &quoted_tiles;
    for (Tile t : range) {
      copy((*table)[static_cast<std::uint8_t>(t)]);
      table = &next_quoted_tiles;
    }
    byte(']');
  }

  void integers(const std::array<std::int32_t, 4>& values) noexcept {
    byte('[');
    integer(values[0]);
    for (std::size_t i = 1; i < values.size(); ++i) {
      byte(',');
      integer(values[i]);
    }
    byte(']');
  }

  void string(std::string_view text) noexcept;

 private:
  constexpr void copy(const QuotedTile& quoted) noexcept {
    move(quoted.bytes.data(), quoted.bytes.size());
    at_ += quoted.size;
  }

  constexpr void move(const char* from, std::size_t size) noexcept {
    if consteval {
      std::copy_n(from, size, at_);
    } else {
      std::memcpy(at_, from, size);
    }
  }

  char* at_;
};

// Quote, backslash and the C0 controls are escaped; everything else, U+007F
// and non-ASCII included, goes out as its own UTF-8 bytes.
void Cursor::string(std::string_view text) noexcept {
  static constexpr char hex[] = "0123456789abcdef";
  byte('"');
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c >= 0x20 && c != '"' && c != '\\') {
      byte(ch);
      continue;
    }
    byte('\\');
    switch (c) {
      case '"': byte('"'); break;
      case '\\': byte('\\'); break;
      case '\b': byte('b'); break;
      case '\t': byte('t'); break;
      case '\n': byte('n'); break;
      case '\f': byte('f'); break;
      case '\r': byte('r'); break;
      default:
        raw("u00");
        byte(hex[c >> 4]);
        byte(hex[c & 0xf]);
    }
  }
  byte('"');
}

// Each kind's text, the type entry written with the opening brace and the
// first key with it.
struct Fields {
  Cursor& w;

  void operator()(const None&) noexcept { w.raw(R"({"type":"none"})"); }
  void operator()(const StartGame& e) noexcept {
    w.raw(R"({"type":"start_game","names":[)");
    for (std::size_t i = 0; i < e.names.size(); ++i) {
      if (i != 0) w.byte(',');
      w.string(e.names[i]);
    }
    w.raw(R"(],"kyoku_first":)");
    w.integer(e.kyoku_first);
    w.raw(R"(,"aka_flag":)");
    w.boolean(e.aka_flag);
    w.byte('}');
  }
  void operator()(const StartKyoku& e) noexcept {
    w.raw(R"({"type":"start_kyoku","bakaze":)");
    w.tile(e.bakaze);
    w.raw(R"(,"dora_marker":)");
    w.tile(e.dora_marker);
    w.raw(R"(,"kyoku":)");
    w.integer(e.kyoku);
    w.raw(R"(,"honba":)");
    w.integer(e.honba);
    w.raw(R"(,"kyotaku":)");
    w.integer(e.kyotaku);
    w.raw(R"(,"oya":)");
    w.integer(e.oya);
    w.raw(R"(,"scores":)");
    w.integers(e.scores);
    w.raw(R"(,"tehais":[)");
    for (std::size_t i = 0; i < e.tehais.size(); ++i) {
      if (i != 0) w.byte(',');
      w.tiles(e.tehais[i]);
    }
    w.raw("]}");
  }
  constexpr void operator()(const Tsumo& e) noexcept {
    w.raw(R"({"type":"tsumo","actor":)");
    actor_pai(e.actor, e.pai);
    w.byte('}');
  }
  constexpr void operator()(const Dahai& e) noexcept {
    w.raw(R"({"type":"dahai","actor":)");
    actor_pai(e.actor, e.pai);
    w.raw(R"(,"tsumogiri":)");
    w.boolean(e.tsumogiri);
    w.byte('}');
  }
  void operator()(const Chi& e) noexcept {
    w.raw(R"({"type":"chi","actor":)");
    claim(e);
  }
  void operator()(const Pon& e) noexcept {
    w.raw(R"({"type":"pon","actor":)");
    claim(e);
  }
  void operator()(const Daiminkan& e) noexcept {
    w.raw(R"({"type":"daiminkan","actor":)");
    claim(e);
  }
  void operator()(const Kakan& e) noexcept {
    w.raw(R"({"type":"kakan","actor":)");
    actor_pai(e.actor, e.pai);
    consumed(e.consumed);
  }
  void operator()(const Ankan& e) noexcept {
    w.raw(R"({"type":"ankan","actor":)");
    w.integer(e.actor);
    consumed(e.consumed);
  }
  constexpr void operator()(const Dora& e) noexcept {
    w.raw(R"({"type":"dora","dora_marker":)");
    w.tile(e.dora_marker);
    w.byte('}');
  }
  constexpr void operator()(const Reach& e) noexcept {
    w.raw(R"({"type":"reach","actor":)");
    w.integer(e.actor);
    w.byte('}');
  }
  constexpr void operator()(const ReachAccepted& e) noexcept {
    w.raw(R"({"type":"reach_accepted","actor":)");
    w.integer(e.actor);
    w.byte('}');
  }
  void operator()(const Hora& e) noexcept {
    w.raw(R"({"type":"hora","actor":)");
    w.integer(e.actor);
    w.raw(R"(,"target":)");
    w.integer(e.target);
    deltas(e.deltas);
    if (e.ura_markers) {
      w.raw(R"(,"ura_markers":)");
      w.tiles(*e.ura_markers);
    }
    w.byte('}');
  }
  void operator()(const Ryukyoku& e) noexcept {
    w.raw(R"({"type":"ryukyoku")");
    deltas(e.deltas);
    w.byte('}');
  }
  constexpr void operator()(const EndKyoku&) noexcept { w.raw(R"({"type":"end_kyoku"})"); }
  void operator()(const EndGame&) noexcept { w.raw(R"({"type":"end_game"})"); }

 private:
  // After the "actor" key.
  constexpr void actor_pai(Seat actor, Tile pai) noexcept {
    w.integer(actor);
    w.raw(R"(,"pai":)");
    w.tile(pai);
  }
  // After the "actor" key; closes the object.
  template <class Claim>
  void claim(const Claim& e) noexcept {
    w.integer(e.actor);
    w.raw(R"(,"target":)");
    w.integer(e.target);
    w.raw(R"(,"pai":)");
    w.tile(e.pai);
    consumed(e.consumed);
  }
  // Closes the object.
  template <class Range>
  void consumed(const Range& range) noexcept {
    w.raw(R"(,"consumed":)");
    w.tiles(range);
    w.byte('}');
  }
  void deltas(const std::optional<Deltas>& values) noexcept {
    if (!values) return;
    w.raw(R"(,"deltas":)");
    w.integers(*values);
  }
};

// ---- The common texts, made once.
//
// Draws and discards are most of a game's events, and by seats 0 to 3 they
// take only a few hundred distinct texts; riichi declarations, dora markers
// and the end of a round take a few dozen more. Each is kept whole in a slot
// of one cache line, and writing it is one fixed-size copy; its bound (64
// bytes) covers the copy. Their numbers let the texts of a game that are
// equal be told without comparing them.

// A text of at most 63 bytes; the last byte holds its length.
struct alignas(64) Slot {
  std::array<char, 64> bytes{};
};

using Number = CommonTexts::Number;
constexpr std::size_t seats = CommonTexts::seats;

// Writes the text of common kind `number` from `at` (the one writer of
// every text, on the kind itself) and gives its end.
constexpr char* write_common(Number number, char* at) noexcept {
  Cursor cursor(at);
  Fields fields{cursor};
  const auto tile = [](std::size_t code) { return static_cast<Tile>(code); };
  if (number < CommonTexts::first_dahai) {
    const std::size_t n = number - CommonTexts::first_tsumo;
    fields(Tsumo{static_cast<Seat>(n / tile_count), tile(n % tile_count)});
  } else if (number < CommonTexts::first_reach) {
    const std::size_t n = number - CommonTexts::first_dahai;
    fields(Dahai{static_cast<Seat>(n / 2 / tile_count), tile(n / 2 % tile_count), n % 2 == 1});
  } else if (number < CommonTexts::first_reach_accepted) {
    fields(Reach{static_cast<Seat>(number - CommonTexts::first_reach)});
  } else if (number < CommonTexts::first_dora) {
    fields(ReachAccepted{static_cast<Seat>(number - CommonTexts::first_reach_accepted)});
  } else if (number < CommonTexts::end_kyoku) {
    fields(Dora{tile(number - CommonTexts::first_dora)});
  } else {
    fields(EndKyoku{});
  }
  return cursor.at();
}

// Not constexpr: reaching it while the slots are made stops the build.
void a_common_text_outgrows_its_slot() noexcept {}

// Slot 0 stays empty: it stands for "not a common text". Made while the
// program is compiled, so a text longer than its slot is a build error.
constexpr std::array<Slot, CommonTexts::last + 1> make_common_slots() noexcept {
  std::array<Slot, CommonTexts::last + 1> slots{};
  for (Number number = 1; number <= CommonTexts::last; ++number) {
    std::array<char, sizeof(Slot::bytes) + spill> text{};  // room for the tile copy's spill
    const auto size = static_cast<std::size_t>(write_common(number, text.data()) - text.data());
    if (size >= sizeof(Slot::bytes)) a_common_text_outgrows_its_slot();
    std::copy_n(text.data(), size, slots[number].bytes.data());
    slots[number].bytes.back() = static_cast<char>(size);
  }
  return slots;
}

constexpr std::array<Slot, CommonTexts::last + 1> common_slots = make_common_slots();

// The number of the event's text among the common ones, or none when it is
// not one of them. Discards and draws are told by plain tests before the
// rest: the kind changes at nearly every event, and one indirect jump on it
// would be mispredicted far more often than two branches whose pattern
// follows the turns.
Number common_number(const Event& event) noexcept {
  const auto number = [](std::size_t n) { return static_cast<Number>(n); };
  if (const auto* e = std::get_if<Dahai>(&event)) {
    if (e->actor >= seats) return CommonTexts::none;
    return number(CommonTexts::first_dahai + (e->actor * tile_count + static_cast<std::uint8_t>(e->pai)) * 2 +
                  e->tsumogiri);
  }
  if (const auto* e = std::get_if<Tsumo>(&event)) {
    if (e->actor >= seats) return CommonTexts::none;
    return number(CommonTexts::first_tsumo + e->actor * tile_count + static_cast<std::uint8_t>(e->pai));
  }
  switch (event.index()) {
    case variant_index<Reach>: {
      const auto& e = *std::get_if<Reach>(&event);
      if (e.actor >= seats) break;
      return number(CommonTexts::first_reach + e.actor);
    }
    case variant_index<ReachAccepted>: {
      const auto& e = *std::get_if<ReachAccepted>(&event);
      if (e.actor >= seats) break;
      return number(CommonTexts::first_reach_accepted + e.actor);
    }
    case variant_index<Dora>:
      return number(CommonTexts::first_dora + static_cast<std::uint8_t>(std::get_if<Dora>(&event)->dora_marker));
    case variant_index<EndKyoku>:
      return CommonTexts::end_kyoku;
    default:
      break;
  }
  return CommonTexts::none;
}

char* copy_slot(const Slot& slot, char* at) noexcept {
  std::memcpy(at, slot.bytes.data(), slot.bytes.size());
  return at + static_cast<unsigned char>(slot.bytes.back());
}

// Writes the text of `event` from `at`, which has room for its bound plus
// the spill; gives the text's end. The one writer of every text.
char* write_text(const Event& event, char* at) noexcept {
  Cursor cursor(at);
  std::visit(Fields{cursor}, event);
  return cursor.at();
}

// The same, copying a common text (`number`) from its slot.
char* write_at(const Event& event, Number number, char* at) noexcept {
  if (number != CommonTexts::none) return copy_slot(common_slots[number], at);
  return write_text(event, at);
}

bool is_ascii(std::string_view text) noexcept {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

// Only player names can hold non-ASCII text.
bool holds_non_ascii(const Event& event) noexcept {
  const auto* start = std::get_if<StartGame>(&event);
  if (start == nullptr) return false;
  for (const std::string& name : start->names) {
    if (!is_ascii(name)) return true;
  }
  return false;
}

// The longest texts, written out: a seat or count of three digits, a score
// of eleven characters, a tile name of three letters and every name byte
// escaped to six. The frequent kinds fit in 64 bytes; 0 marks the kinds whose
// bound depends on their lists.
constexpr std::array<std::uint16_t, std::variant_size_v<Event>> fixed_bounds = [] {
  std::array<std::uint16_t, std::variant_size_v<Event>> bounds{};
  bounds.fill(64);
  bounds[variant_index<StartGame>] = 0;
  bounds[variant_index<Hora>] = 0;
  bounds[variant_index<StartKyoku>] = 512;
  for (std::size_t kind : {variant_index<Chi>, variant_index<Pon>, variant_index<Daiminkan>, variant_index<Kakan>,
                           variant_index<Ankan>, variant_index<Ryukyoku>}) {
    bounds[kind] = 128;
  }
  return bounds;
}();

[[gnu::noinline]] std::size_t list_bound(const Event& event) noexcept {
  if (const auto* start = std::get_if<StartGame>(&event)) {
    std::size_t bound = 96;
    for (const std::string& name : start->names) bound += 6 * name.size();
    return bound;
  }
  const auto& ura = std::get<Hora>(event).ura_markers;
  return 128 + (ura ? 6 * ura->size() : 0);
}

}  // namespace

std::string_view CommonTexts::text(Number number) noexcept {
  const Slot& slot = common_slots[number];
  return {slot.bytes.data(), static_cast<unsigned char>(slot.bytes.back())};
}

std::size_t event_text_bound(const Event& event) noexcept {
  const std::size_t bound = fixed_bounds[event.index()];
  return bound != 0 ? bound : list_bound(event);
}

void write_event(const Event& event, std::string& out) {
  const std::size_t start = out.size();
  out.resize_and_overwrite(start + event_text_bound(event) + spill, [&](char* data, std::size_t) {
    return static_cast<std::size_t>(write_at(event, common_number(event), data + start) - data);
  });
}

std::expected<std::string, pairo::Error> encode_event(const Event& event) {
  std::string text;
  text.reserve(128);
  write_event(event, text);
  return text;
}

// One pass over the events: the room is made for an average text, and
// made again, twice as large, whenever the next event's bound does not fit.
// Common texts are only numbered: they stand ready in the table. Every
// entry of the lists is written here, so their room is made unfilled.
std::expected<EncodedEvents, pairo::Error> encode_events(std::span<const Event> events) {
  EncodedEvents encoded;
  encoded.ends.resize(events.size());
  encoded.common.resize(events.size());
  std::size_t done = 0;
  std::size_t room = events.size() * 32 + 512;
  while (done < events.size()) {
    const std::size_t written = encoded.text.size();
    encoded.text.resize_and_overwrite(room, [&](char* data, std::size_t size) {
      char* at = data + written;
      const char* last = data + size - spill;
      for (; done < events.size(); ++done) {
        const Event& event = events[done];
        const Number number = common_number(event);
        if (number == CommonTexts::none) {  // a common text has nothing to write
          if (static_cast<std::size_t>(last - at) < event_text_bound(event)) break;
          at = write_text(event, at);
          if (holds_non_ascii(event)) encoded.non_ascii.push_back(static_cast<std::uint32_t>(done));
        }
        encoded.common[done] = number;
        encoded.ends[done] = static_cast<std::uint32_t>(at - data);
      }
      return static_cast<std::size_t>(at - data);
    });
    if (encoded.text.size() > std::numeric_limits<std::uint32_t>::max()) {
      return std::unexpected(pairo::Error(pairo::ErrorKind::TextsTooLarge, "the event texts exceed 4 GiB"));
    }
    room = 2 * room + event_text_bound(events[std::min(done, events.size() - 1)]);
  }
  return encoded;
}

}  // namespace mjai
