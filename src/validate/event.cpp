// Reading one line into an Event: one pass over the object's fields into
// slots by key, then the kind decides which slots it needs. A value of the
// wrong JSON type, a seat outside 0-3 or a tile that is no mjai name is
// told apart, so that a report says which.
#include "validate/event.hpp"

#include <array>
#include <utility>

namespace pairo::validate {
namespace {

using simdjson::dom::element;

constexpr std::array<std::string_view, 16> kind_names = {
    "start_game", "start_kyoku", "tsumo", "dahai", "chi", "pon", "daiminkan", "kakan", "ankan", "dora",
    "reach", "reach_accepted", "hora", "ryukyoku", "end_kyoku", "end_game",
};

enum Slot : std::uint8_t {
  Type, Actor, Target, Pai, Consumed, Tsumogiri, AkaFlag, Bakaze, Kyoku, Honba, Kyotaku, Oya, DoraMarker,
  Scores, Tehais, Deltas, slot_count,
};
constexpr std::array<std::string_view, slot_count> slot_keys = {
    "type", "actor", "target", "pai", "consumed", "tsumogiri", "aka_flag", "bakaze", "kyoku", "honba",
    "kyotaku", "oya", "dora_marker", "scores", "tehais", "deltas",
};

// The keys each kind needs, one bit per slot.
constexpr std::uint32_t bit(Slot slot) { return std::uint32_t{1} << slot; }
constexpr std::array<std::uint32_t, 16> needed = {
    0,
    bit(Bakaze) | bit(Kyoku) | bit(Honba) | bit(Kyotaku) | bit(Oya) | bit(DoraMarker) | bit(Scores) | bit(Tehais),
    bit(Actor) | bit(Pai),
    bit(Actor) | bit(Pai) | bit(Tsumogiri),
    bit(Actor) | bit(Target) | bit(Pai) | bit(Consumed),
    bit(Actor) | bit(Target) | bit(Pai) | bit(Consumed),
    bit(Actor) | bit(Target) | bit(Pai) | bit(Consumed),
    bit(Actor) | bit(Pai) | bit(Consumed),
    bit(Actor) | bit(Consumed),
    bit(DoraMarker),
    bit(Actor),
    bit(Actor),
    bit(Actor) | bit(Target) | bit(Deltas),
    0,
    0,
    0,
};
constexpr std::array<int, 16> consumed_sizes = {0, 0, 0, 0, 2, 2, 3, 3, 4, 0, 0, 0, 0, 0, 0, 0};

// The kind a type names: by its length and letters first, the whole name
// compared once.
std::size_t kind_index(std::string_view type) noexcept {
  std::size_t index = kind_names.size();
  switch (type.size()) {
    case 3: index = type[0] == 'c' ? 4 : 5; break;                                  // chi, pon
    case 4: index = type[0] == 'd' ? 9 : 12; break;                                 // dora, hora
    case 5: index = type[0] == 't' ? 2 : type[0] == 'd' ? 3 : type[0] == 'k' ? 7 : type[0] == 'a' ? 8 : 10; break;
    case 8: index = type[0] == 'r' ? 13 : 15; break;                                // ryukyoku, end_game
    case 9: index = type[0] == 'd' ? 6 : 14; break;                                 // daiminkan, end_kyoku
    case 10: index = 0; break;                                                      // start_game
    case 11: index = 1; break;                                                      // start_kyoku
    case 14: index = 11; break;                                                     // reach_accepted
    default: return kind_names.size();
  }
  return kind_names[index] == type ? index : kind_names.size();
}

std::unexpected<Unreadable> fail(Check check, std::string message) {
  return std::unexpected(Unreadable{check, std::move(message)});
}

std::unexpected<Unreadable> wrong_type(std::string_view key, std::string_view want) {
  return fail(Check::BadValue, "\"" + std::string(key) + "\" is not " + std::string(want));
}

// By the name's letters rather than a search of the names: a stream names
// a tile in nearly every event.
std::optional<Tile> tile_named(std::string_view name) noexcept {
  const auto suit = [](char c) { return c == 'm' ? 0 : c == 'p' ? 1 : c == 's' ? 2 : -1; };
  if (name.size() == 2 && name[0] >= '1' && name[0] <= '9' && suit(name[1]) >= 0) {
    return static_cast<Tile>(9 * suit(name[1]) + name[0] - '1');
  }
  if (name.size() == 3 && name[0] == '5' && name[2] == 'r' && suit(name[1]) >= 0) {
    return static_cast<Tile>(static_cast<int>(Tile::M5Red) + suit(name[1]));
  }
  if (name.size() == 1) {
    constexpr std::string_view honours = "ESWNPFC?";
    const std::size_t at = honours.find(name[0]);
    if (at == 7) return Tile::Unknown;
    if (at != std::string_view::npos) return static_cast<Tile>(static_cast<int>(Tile::East) + static_cast<int>(at));
  }
  return std::nullopt;
}

// The slot of a key by its length and a letter, confirmed whole; keys
// the checks do not read have none.
std::optional<Slot> slot_of(std::string_view key) noexcept {
  Slot slot = slot_count;
  switch (key.size()) {
    case 3: slot = key[0] == 'p' ? Pai : Oya; break;
    case 4: slot = Type; break;
    case 5: slot = key[0] == 'a' ? Actor : key[0] == 'k' ? Kyoku : Honba; break;
    case 6:
      slot = key[0] == 'b' ? Bakaze : key[0] == 's' ? Scores : key[0] == 'd' ? Deltas : key[1] == 'a' ? Target : Tehais;
      break;
    case 7: slot = Kyotaku; break;
    case 8: slot = key[0] == 'c' ? Consumed : AkaFlag; break;
    case 9: slot = Tsumogiri; break;
    case 11: slot = DoraMarker; break;
    default: return std::nullopt;
  }
  if (key != slot_keys[slot]) return std::nullopt;
  return slot;
}

struct Reader {
  std::array<element, slot_count> slots{};
  std::uint32_t present = 0;

  std::expected<std::int64_t, Unreadable> integer(Slot slot) const {
    std::int64_t value = 0;
    if (slots[slot].get_int64().get(value) != simdjson::SUCCESS) return wrong_type(slot_keys[slot], "an integer");
    return value;
  }
  std::expected<int, Unreadable> bounded(Slot slot, std::int64_t low, std::int64_t high) const {
    auto value = integer(slot);
    if (!value) return std::unexpected(std::move(value.error()));
    if (*value < low || *value > high) {
      return fail(Check::BadValue, "\"" + std::string(slot_keys[slot]) + "\" is " + std::to_string(*value) +
                                       ", outside " + std::to_string(low) + ".." + std::to_string(high));
    }
    return static_cast<int>(*value);
  }
  std::expected<int, Unreadable> seat(Slot slot) const {
    std::int64_t value = 0;
    if (slots[slot].get_int64().get(value) != simdjson::SUCCESS || value < 0 || value > 3) {
      return fail(Check::NotASeat, "\"" + std::string(slot_keys[slot]) + "\" is " +
                                       std::string(simdjson::minify(slots[slot])) + ", not a seat 0-3");
    }
    return static_cast<int>(value);
  }
};

std::expected<Tile, Unreadable> tile_of(element value, std::string_view key) {
  std::string_view name;
  if (value.get_string().get(name) != simdjson::SUCCESS) return wrong_type(key, "a tile name");
  if (auto tile = tile_named(name)) return *tile;
  return fail(Check::NotATile, "\"" + std::string(key) + "\" holds \"" + std::string(name) + "\", not an mjai tile");
}

// An array of exactly `size` integers, or of `size` tiles.
template <class Out, class Each>
std::expected<void, Unreadable> array_of(element value, std::string_view key, std::size_t size, Out& out,
                                         Each&& each) {
  simdjson::dom::array items;
  if (value.get_array().get(items) != simdjson::SUCCESS) return wrong_type(key, "an array");
  if (items.size() != size) {
    return fail(Check::BadValue, "\"" + std::string(key) + "\" holds " + std::to_string(items.size()) +
                                     " items, not " + std::to_string(size));
  }
  std::size_t i = 0;
  for (element item : items) {
    auto done = each(item, out[i++]);
    if (!done) return std::unexpected(std::move(done.error()));
  }
  return {};
}

// The plain values of a line, by slot.
struct Plain {
  std::uint32_t present = 0;  // the slots below are read only where set
  std::array<std::string_view, slot_count> text;
  std::array<std::int64_t, slot_count> number;
  std::uint32_t strings = 0, numbers = 0, booleans = 0;
};

// The bytes a plain string holds: printable ASCII but the quote and the
// backslash (UTF-8 and escapes are simdjson's to read).
constexpr std::array<bool, 256> plain_bytes = [] {
  std::array<bool, 256> plain{};
  for (int c = 0x20; c < 0x7f; ++c) plain[c] = c != '"' && c != '\\';
  return plain;
}();

// A string without escapes or control characters, ASCII only; `p` at its
// opening quote, left past the closing one.
bool plain_string(const char*& p, const char* end, std::string_view& out) noexcept {
  const char* start = ++p;
  while (p < end && plain_bytes[static_cast<unsigned char>(*p)]) ++p;
  if (p == end || *p != '"') return false;
  out = std::string_view(start, static_cast<std::size_t>(p - start));
  ++p;
  return true;
}

bool plain_number(const char*& p, const char* end, std::int64_t& out) noexcept {
  const bool negative = *p == '-';
  if (negative) ++p;
  const char* start = p;
  std::int64_t value = 0;
  while (p < end && *p >= '0' && *p <= '9' && p - start < 18) value = value * 10 + (*p++ - '0');
  if (p == start || (*start == '0' && p - start > 1) || (p < end && (*p == '.' || *p == 'e' || *p == 'E' || (*p >= '0' && *p <= '9')))) {
    return false;
  }
  if (negative && value == 0) return false;  // -0, which JSON readers may take for a float
  out = negative ? -value : value;
  return true;
}

bool plain_word(const char*& p, const char* end, std::string_view word) noexcept {
  if (static_cast<std::size_t>(end - p) < word.size() || std::string_view(p, word.size()) != word) return false;
  p += word.size();
  return true;
}

bool scan_plain(std::string_view line, Plain& out) noexcept {
  const char* p = line.data();
  const char* end = p + line.size();
  if (p == end || *p++ != '{') return false;
  if (p < end && *p == '}') return p + 1 == end;
  for (;;) {
    std::string_view key;
    if (p == end || *p != '"' || !plain_string(p, end, key) || p == end || *p++ != ':' || p == end) return false;
    const auto slot = slot_of(key);
    if (slot && (out.present & bit(*slot))) return false;
    const std::uint32_t b = slot ? bit(*slot) : 0;
    std::string_view text;
    std::int64_t number = 0;
    if (*p == '"') {
      if (!plain_string(p, end, text)) return false;
      out.strings |= b;
    } else if (*p == '-' || (*p >= '0' && *p <= '9')) {
      if (!plain_number(p, end, number)) return false;
      out.numbers |= b;
    } else if (*p == 't' || *p == 'f') {
      number = *p == 't';
      if (!plain_word(p, end, number ? "true" : "false")) return false;
      out.booleans |= b;
    } else if (!plain_word(p, end, "null") || slot) {
      return false;
    }
    if (slot) {
      out.present |= b;
      out.text[*slot] = text;
      out.number[*slot] = number;
    }
    if (p == end) return false;
    if (*p == '}') return p + 1 == end;
    if (*p++ != ',') return false;
  }
}

}  // namespace

bool read_plain_event(std::string_view text, Event& e) noexcept {
  Plain v;
  if (!scan_plain(text, v) || !(v.strings & bit(Type))) return false;
  const std::size_t index = kind_index(v.text[Type]);
  constexpr std::uint32_t arrays = bit(Consumed) | bit(Scores) | bit(Tehais) | bit(Deltas);
  if (index == kind_names.size() || (needed[index] & ~v.present) || (needed[index] & arrays)) return false;
  const auto kind = static_cast<Kind>(index);
  if (kind == Kind::StartKyoku || kind == Kind::Hora || kind == Kind::Ryukyoku) return false;
  // Every slot the kind reads must hold a value its checks take.
  const std::uint32_t read = (needed[index] | (kind == Kind::StartGame ? bit(AkaFlag) : 0)) & v.present;
  const auto seat = [&](Slot slot) { return (v.numbers & bit(slot)) && v.number[slot] >= 0 && v.number[slot] <= 3; };
  if ((read & bit(Actor)) && !seat(Actor)) return false;
  if ((read & bit(Tsumogiri)) && !(v.booleans & bit(Tsumogiri))) return false;
  if ((read & bit(AkaFlag)) && !(v.booleans & bit(AkaFlag))) return false;
  e.kind = kind;
  e.actor = (read & bit(Actor)) ? static_cast<int>(v.number[Actor]) : -1;
  e.target = -1;
  e.pai = Tile::Unknown;
  e.has_pai = e.has_deltas = false;
  e.tsumogiri = (read & bit(Tsumogiri)) && v.number[Tsumogiri] != 0;
  e.consumed_count = 0;
  e.aka_flag.reset();
  if (read & bit(AkaFlag)) e.aka_flag = v.number[AkaFlag] != 0;
  for (const Slot slot : {Pai, DoraMarker}) {
    if (!(read & bit(slot))) continue;
    if (!(v.strings & bit(slot))) return false;
    const auto tile = tile_named(v.text[slot]);
    if (!tile || (*tile == Tile::Unknown && kind != Kind::Tsumo)) return false;
    (slot == Pai ? e.pai : e.dora_marker) = *tile;
    if (slot == Pai) e.has_pai = true;
  }
  return true;
}

std::expected<void, Unreadable> read_event(simdjson::dom::parser& parser, std::string_view text, Event& e) {
  element root;
  if (const auto code = parser.parse(text.data(), text.size(), false).get(root); code != simdjson::SUCCESS) {
    return fail(Check::NotJson, std::string("not JSON: ") + simdjson::error_message(code));
  }
  return read_event(root, e);
}

std::expected<void, Unreadable> read_event(element root, Event& e) {
  simdjson::dom::object fields;
  if (root.get_object().get(fields) != simdjson::SUCCESS) return fail(Check::NotJson, "not a JSON object");
  Reader r;
  for (const simdjson::dom::key_value_pair field : fields) {
    const auto slot = slot_of(field.key);
    if (!slot) continue;
    if (r.present & bit(*slot)) return fail(Check::BadValue, "\"" + std::string(field.key) + "\" is given twice");
    r.present |= bit(*slot);
    r.slots[*slot] = field.value;
  }
  if (!(r.present & bit(Type))) return fail(Check::MissingKey, "no \"type\"");
  std::string_view type;
  if (r.slots[Type].get_string().get(type) != simdjson::SUCCESS) return wrong_type("type", "a string");
  const std::size_t index = kind_index(type);
  if (index == kind_names.size()) return fail(Check::UnknownType, "unknown event type \"" + std::string(type) + "\"");

  e.kind = static_cast<Kind>(index);
  e.actor = e.target = -1;
  e.pai = Tile::Unknown;
  e.has_pai = e.tsumogiri = e.has_deltas = false;
  e.consumed_count = 0;
  e.aka_flag.reset();
  e.wind = 0;
  if (const std::uint32_t missing = needed[index] & ~r.present) {
    std::size_t slot = 0;
    while (!(missing & (std::uint32_t{1} << slot))) ++slot;
    return fail(Check::MissingKey, std::string(type) + " without \"" + std::string(slot_keys[slot]) + "\"");
  }
  const std::uint32_t wanted = needed[index] | (e.kind == Kind::StartGame ? bit(AkaFlag) : 0) |
                               (e.kind == Kind::Hora ? bit(Pai) : 0) | (e.kind == Kind::Ryukyoku ? bit(Deltas) : 0);
  const std::uint32_t read = wanted & r.present;
  auto tile_list = [](std::string_view key) {
    return [key](element item, Tile& out) -> std::expected<void, Unreadable> {
      auto tile = tile_of(item, key);
      if (!tile) return std::unexpected(std::move(tile.error()));
      out = *tile;
      return {};
    };
  };
  auto integer_list = [](std::string_view key) {
    return [key](element item, std::int64_t& out) -> std::expected<void, Unreadable> {
      if (item.get_int64().get(out) != simdjson::SUCCESS) return wrong_type(key, "an array of integers");
      return {};
    };
  };
  if (read & bit(Actor)) {
    auto seat = r.seat(Actor);
    if (!seat) return std::unexpected(std::move(seat.error()));
    e.actor = *seat;
  }
  if (read & bit(Target)) {
    auto seat = r.seat(Target);
    if (!seat) return std::unexpected(std::move(seat.error()));
    e.target = *seat;
  }
  if (read & bit(Pai)) {
    auto tile = tile_of(r.slots[Pai], "pai");
    if (!tile) return std::unexpected(std::move(tile.error()));
    e.pai = *tile;
    e.has_pai = true;
    if (e.pai == Tile::Unknown && e.kind != Kind::Tsumo) return fail(Check::NotATile, "\"pai\" is hidden (\"?\")");
  }
  if (read & bit(Tsumogiri)) {
    if (r.slots[Tsumogiri].get_bool().get(e.tsumogiri) != simdjson::SUCCESS) return wrong_type("tsumogiri", "a boolean");
  }
  if (read & bit(AkaFlag)) {
    bool flag = false;
    if (r.slots[AkaFlag].get_bool().get(flag) != simdjson::SUCCESS) return wrong_type("aka_flag", "a boolean");
    e.aka_flag = flag;
  }
  if (read & bit(Consumed)) {
    e.consumed_count = consumed_sizes[index];
    auto done = array_of(r.slots[Consumed], "consumed", static_cast<std::size_t>(e.consumed_count), e.consumed,
                         tile_list("consumed"));
    if (!done) return std::unexpected(std::move(done.error()));
    for (int i = 0; i < e.consumed_count; ++i) {
      if (e.consumed[i] == Tile::Unknown) return fail(Check::NotATile, "\"consumed\" holds a hidden tile (\"?\")");
    }
  }
  if (read & bit(DoraMarker)) {
    auto tile = tile_of(r.slots[DoraMarker], "dora_marker");
    if (!tile) return std::unexpected(std::move(tile.error()));
    if (*tile == Tile::Unknown) return fail(Check::NotATile, "\"dora_marker\" is hidden (\"?\")");
    e.dora_marker = *tile;
  }
  if (read & bit(Deltas)) {
    auto done = array_of(r.slots[Deltas], "deltas", 4, e.deltas, integer_list("deltas"));
    if (!done) return std::unexpected(std::move(done.error()));
    e.has_deltas = true;
  }
  if (e.kind == Kind::StartKyoku) {
    std::string_view wind;
    if (r.slots[Bakaze].get_string().get(wind) != simdjson::SUCCESS) return wrong_type("bakaze", "a wind");
    const std::string_view winds[] = {"E", "S", "W", "N"};
    while (e.wind < 4 && winds[e.wind] != wind) ++e.wind;
    if (e.wind == 4) return fail(Check::BadValue, "\"bakaze\" is \"" + std::string(wind) + "\", not a wind");
    auto kyoku = r.bounded(Kyoku, 1, 4);
    auto honba = r.bounded(Honba, 0, 1000);
    auto kyotaku = r.bounded(Kyotaku, 0, 1000);
    auto oya = r.seat(Oya);
    for (auto* value : {&kyoku, &honba, &kyotaku, &oya}) {
      if (!*value) return std::unexpected(std::move(value->error()));
    }
    e.kyoku = *kyoku;
    e.honba = *honba;
    e.kyotaku = *kyotaku;
    e.oya = *oya;
    auto scores = array_of(r.slots[Scores], "scores", 4, e.scores, integer_list("scores"));
    if (!scores) return std::unexpected(std::move(scores.error()));
    simdjson::dom::array hands;
    if (r.slots[Tehais].get_array().get(hands) != simdjson::SUCCESS || hands.size() != 4) {
      return wrong_type("tehais", "an array of four hands");
    }
    std::size_t seat = 0;
    for (element hand : hands) {
      simdjson::dom::array tiles;
      if (hand.get_array().get(tiles) != simdjson::SUCCESS) return wrong_type("tehais", "an array of four hands");
      // A hand of another size is the replay's to report, by seat; more
      // than fourteen tiles is no hand at all.
      const std::size_t size = tiles.size();
      if (size > 14) {
        return fail(Check::HandNotThirteen, "seat " + std::to_string(seat) + " is dealt " + std::to_string(size) +
                                                " tiles");
      }
      e.tehai_sizes[seat] = static_cast<int>(size);
      auto done = array_of(hand, "tehais", size, e.tehais[seat], tile_list("tehais"));
      if (!done) return std::unexpected(std::move(done.error()));
      ++seat;
    }
  }
  return {};
}

}  // namespace pairo::validate
