// One seat's draws and discards streams as mjai events: call texts decoded,
// riichi split into its two events, tsumogiri tiles filled in from the draws
// they pair with, and the zero placeholders of daiminkan dropped.
//
// The texts of the streams. Tiles are written as two-digit Tenhou numbers
// (15 is 5m, 52 the red 5p); a letter marks the meld and, by where it
// stands, the seat the tile came from. The tile right after the letter is
// the called (or added) one.
//
//   draws     chi        c + called + two own           "c275226"    7p from the seat before, with 5pr 6p
//             pon        p at 0, 2 or 4: from the seat   "p252525"    5p from the seat before
//                        before, opposite or after       "25p2525"    from the seat opposite
//                                                        "2525p25"    from the seat after
//             daiminkan  m at 0, 2 or 6, the same way    "m39393939"  "39m393939"  "393939m39"
//   discards  kakan      k at 0, 2 or 4, where the pon's "k15151515"  "15k151515"  "1515k1515"
//                        called tile stood, + 2 more
//             ankan      a at 6                          "151515a15"  (the tile after the letter is read first)
//             riichi     r + the discard, 60 for the     "r15"  "r60"
//                        tile just drawn
//
// Besides texts, a draw stream holds tile numbers (a plain draw), and a
// discard stream tile numbers, 60 (the tile just drawn, tsumogiri) and 0
// (the placeholder that stands against a daiminkan in the draws: the kan
// takes the turn's draw, and nothing is discarded for it).
#include <string_view>

#include "base/utf8.hpp"
#include "pairo/conv/conv.hpp"

namespace pairo::conv {
namespace {

using Result = std::expected<Event, Error>;

// The seats a call names, seen from the calling seat.
[[nodiscard]] constexpr Seat seat_before(Seat s) noexcept { return static_cast<Seat>((s + 3) % 4); }
[[nodiscard]] constexpr Seat seat_opposite(Seat s) noexcept { return static_cast<Seat>((s + 2) % 4); }
[[nodiscard]] constexpr Seat seat_after(Seat s) noexcept { return static_cast<Seat>((s + 1) % 4); }

// A short piece of a text made valid UTF-8: each piece that starts no
// character (a character cut by the field boundary included) becomes one
// replacement character.
[[gnu::cold]] std::string lossy_utf8(std::string_view bytes) {
  std::string out;
  while (!bytes.empty()) {
    const pairo::Utf8Step step = pairo::read_utf8(bytes);
    if (step.valid) {
      out.append(bytes.substr(0, step.length));
    } else {
      out.append("\xef\xbf\xbd");
    }
    bytes.remove_prefix(step.length);
  }
  return out;
}

[[gnu::cold]] Error bad_item_text(std::string_view text) {
  Error error(ErrorKind::BadItemText, "\"" + std::string(text) + "\" is no call, kan or riichi");
  error.item = text;
  return error;
}

// `field`, two bytes of `text`, may cut a character in two.
[[gnu::cold]] Error bad_tile_text(std::string_view text, std::string_view field) {
  Error error(ErrorKind::BadTileText, "\"" + lossy_utf8(field) + "\" in \"" + std::string(text) + "\" is no tile number");
  error.item = text;
  return error;
}

[[gnu::cold]] Error number_in_draws(std::uint8_t number) {
  Error error(ErrorKind::NumberInDraws, "the number " + std::to_string(number) + " stands among the draws");
  error.item = std::to_string(number);
  return error;
}

[[nodiscard]] constexpr bool is_digit(char c) noexcept { return c >= '0' && c <= '9'; }

// A tile field: two bytes holding a Tenhou tile number, as two digits or as
// a plus sign and one digit.
[[nodiscard]] std::expected<Tile, Error> tile_field(std::string_view text, std::size_t at) {
  const std::string_view field = text.substr(at, 2);
  const char high = field[0];
  const char low = field[1];
  if (!is_digit(low) || !(is_digit(high) || high == '+')) return std::unexpected(bad_tile_text(text, field));
  const int number = (high == '+' ? 0 : (high - '0') * 10) + (low - '0');
  const auto tile = pairo::tile_from_tenhou(static_cast<std::uint8_t>(number));
  if (!tile) return std::unexpected(bad_tile_text(text, field));
  return *tile;
}

// Reads the fields at `starts` in order into `tiles`; the first bad field
// is the one reported.
template <std::size_t N>
[[nodiscard]] std::expected<void, Error> tile_fields(std::string_view text,
                                                            const std::array<std::size_t, N>& starts,
                                                            std::array<Tile, N>& tiles) {
  for (std::size_t i = 0; i < N; ++i) {
    auto tile = tile_field(text, starts[i]);
    if (!tile) return std::unexpected(std::move(tile.error()));
    tiles[i] = *tile;
  }
  return {};
}

// A meld whose called tile sits at `pai_at` and whose other tiles follow in
// text order; the called tile is read first.
template <class Meld, std::size_t N>
[[nodiscard]] Result called_meld(std::string_view text, Seat actor, Seat target, std::size_t pai_at,
                                 const std::array<std::size_t, N>& consumed_at) {
  std::array<std::size_t, N + 1> starts{};
  starts[0] = pai_at;
  for (std::size_t i = 0; i < N; ++i) starts[i + 1] = consumed_at[i];
  std::array<Tile, N + 1> tiles{};
  if (auto read = tile_fields(text, starts, tiles); !read) return std::unexpected(std::move(read.error()));
  Meld meld{};
  meld.actor = actor;
  if constexpr (requires(Meld m) { m.target; }) meld.target = target;
  meld.pai = tiles[0];
  for (std::size_t i = 0; i < N; ++i) meld.consumed[i] = tiles[i + 1];
  return Event{meld};
}

[[nodiscard]] Result draws_text(std::string_view t, Seat s) {
  if (t.find('c') != std::string_view::npos) {
    if (t.size() != 7) return std::unexpected(bad_item_text(t));
    return called_meld<mjai::Chi, 2>(t, s, seat_before(s), 1, {3, 5});
  }
  if (const auto at = t.find('p'); at != std::string_view::npos) {
    if (t.size() != 7) return std::unexpected(bad_item_text(t));
    switch (at) {
      case 0: return called_meld<mjai::Pon, 2>(t, s, seat_before(s), 1, {3, 5});
      case 2: return called_meld<mjai::Pon, 2>(t, s, seat_opposite(s), 3, {0, 5});
      case 4: return called_meld<mjai::Pon, 2>(t, s, seat_after(s), 5, {0, 2});
      default: return std::unexpected(bad_item_text(t));
    }
  }
  if (const auto at = t.find('m'); at != std::string_view::npos) {
    if (t.size() != 9) return std::unexpected(bad_item_text(t));
    switch (at) {
      case 0: return called_meld<mjai::Daiminkan, 3>(t, s, seat_before(s), 1, {3, 5, 7});
      case 2: return called_meld<mjai::Daiminkan, 3>(t, s, seat_opposite(s), 3, {0, 5, 7});
      case 6: return called_meld<mjai::Daiminkan, 3>(t, s, seat_after(s), 7, {0, 2, 4});
      default: return std::unexpected(bad_item_text(t));
    }
  }
  return std::unexpected(bad_item_text(t));
}

[[nodiscard]] Result ankan_text(std::string_view t, Seat s) {
  // The tile after the letter is read first, like the called tile of a call.
  std::array<Tile, 4> tiles{};
  if (auto read = tile_fields(t, std::array<std::size_t, 4>{7, 0, 2, 4}, tiles); !read) {
    return std::unexpected(std::move(read.error()));
  }
  return Event{mjai::Ankan{s, {tiles[1], tiles[2], tiles[3], tiles[0]}}};
}

// The discards texts that stand for one event: added and closed kans.
[[nodiscard]] Result kan_text(std::string_view t, Seat s) {
  if (const auto at = t.find('k'); at != std::string_view::npos) {
    if (t.size() != 9) return std::unexpected(bad_item_text(t));
    switch (at) {
      case 0: return called_meld<mjai::Kakan, 3>(t, s, s, 1, {3, 5, 7});
      case 2: return called_meld<mjai::Kakan, 3>(t, s, s, 3, {0, 5, 7});
      case 4: return called_meld<mjai::Kakan, 3>(t, s, s, 5, {0, 2, 7});
      default: return std::unexpected(bad_item_text(t));
    }
  }
  if (t.size() != 9) return std::unexpected(bad_item_text(t));
  return ankan_text(t, s);
}

// A riichi declaration: a letter and the discarded tile, "60" when it is the
// tile just drawn.
[[nodiscard]] std::expected<mjai::Dahai, Error> riichi_discard(std::string_view t, Seat s) {
  if (t.size() != 3) return std::unexpected(bad_item_text(t));
  if (t.substr(1) == "60") return mjai::Dahai{s, Tile::Unknown, true};
  auto tile = tile_field(t, 1);
  if (!tile) return std::unexpected(std::move(tile.error()));
  return mjai::Dahai{s, *tile, *tile == Tile::Unknown};
}

// A marked item converts as its text would, without reading the text: its
// tiles are read already. What a record's reader never marks (a kan or
// riichi among the draws, a call among the discards, a letter out of its
// place) goes through its text, which says what is wrong.
[[nodiscard]] Seat target_at(Seat s, const ActionItem::Marked& m) noexcept {
  return m.at == 0 ? seat_before(s) : m.at == 1 ? seat_opposite(s) : seat_after(s);
}

[[nodiscard]] Result draws_marked(const ActionItem::Marked& m, Seat s) {
  const auto& o = m.others;
  if (m.letter == 'c' && m.count == 2 && m.at == 0) return Event{mjai::Chi{s, seat_before(s), m.pai, {o[0], o[1]}}};
  if (m.letter == 'p' && m.count == 2 && m.at <= 2) return Event{mjai::Pon{s, target_at(s, m), m.pai, {o[0], o[1]}}};
  if (m.letter == 'm' && m.count == 3 && m.at != 2 && m.at <= 3) {
    return Event{mjai::Daiminkan{s, target_at(s, m), m.pai, {o[0], o[1], o[2]}}};
  }
  return draws_text(tenhou::marked_text(m), s);
}

[[nodiscard]] std::expected<void, Error> convert_draws(const std::vector<ActionItem>& items, Seat s,
                                                              SeatEventList& out) {
  out.reserve(items.size());
  for (const ActionItem& item : items) {
    if (const auto* tile = std::get_if<ActionItem::Tile>(&item.value)) {
      out.emplace_back(mjai::Tsumo{s, tile->tile});
    } else if (const auto* marked = std::get_if<ActionItem::Marked>(&item.value)) {
      auto event = draws_marked(*marked, s);
      if (!event) return std::unexpected(std::move(event.error()));
      out.push_back(*event);
    } else if (const auto* text = std::get_if<ActionItem::Text>(&item.value)) {
      auto event = draws_text(text->text, s);
      if (!event) return std::unexpected(std::move(event.error()));
      out.push_back(*event);
    } else {
      return std::unexpected(number_in_draws(std::get<ActionItem::Number>(item.value).value));
    }
  }
  return {};
}

[[nodiscard]] bool is_kan_text(std::string_view t) noexcept {
  return t.find('k') != std::string_view::npos || t.find('a') != std::string_view::npos;
}

// The discards, each entry paired with one draw as it is read (a riichi's
// two events count as one entry): a tsumogiri discard after a plain draw takes
// the drawn tile, and a zero placeholder uses up its draw and is dropped, so
// that the next entry pairs with the next draw. Entries beyond the draws
// stay as they are, a placeholder among them included.
class PairedDraws {
 public:
  explicit PairedDraws(const SeatEventList& draws) noexcept : next_(draws.data()), end_(draws.data() + draws.size()) {}

  [[nodiscard]] bool left() const noexcept { return next_ != end_; }
  // The tile of the draw the entry pairs with, for a tsumogiri; unknown
  // when that draw is a call or none is left.
  [[nodiscard]] Tile drawn() const noexcept {
    if (!left()) return Tile::Unknown;
    const auto* tsumo = std::get_if<mjai::Tsumo>(next_);
    return tsumo != nullptr ? tsumo->pai : Tile::Unknown;
  }
  void pass() noexcept {
    if (left()) ++next_;
  }

 private:
  const Event* next_;
  const Event* end_;
};

[[nodiscard]] mjai::Dahai paired(mjai::Dahai dahai, const PairedDraws& draws) noexcept {
  if (dahai.tsumogiri) dahai.pai = draws.drawn();
  return dahai;
}

// A discards text's events: a kan's one, or a riichi's two.
[[nodiscard]] std::expected<void, Error> discards_text(std::string_view t, Seat s, const PairedDraws& draws,
                                                       SeatEventList& out) {
  if (is_kan_text(t)) {
    auto event = kan_text(t, s);
    if (!event) return std::unexpected(std::move(event.error()));
    out.push_back(*event);
    return {};
  }
  auto dahai = riichi_discard(t, s);
  if (!dahai) return std::unexpected(std::move(dahai.error()));
  out.emplace_back(mjai::Reach{s});
  out.emplace_back(paired(*dahai, draws));
  return {};
}

// The same from a mark, as draws_marked does for the draws.
[[nodiscard]] std::expected<void, Error> discards_marked(const ActionItem::Marked& m, Seat s, const PairedDraws& draws,
                                                         SeatEventList& out) {
  const auto& o = m.others;
  if (m.letter == 'k' && m.count == 3 && m.at <= 2) {
    out.emplace_back(mjai::Kakan{s, m.pai, {o[0], o[1], o[2]}});
  } else if (m.letter == 'a' && m.count == 3 && m.at == 3) {
    out.emplace_back(mjai::Ankan{s, {o[0], o[1], o[2], m.pai}});
  } else if (m.letter == 'r' && m.count == 0 && m.at == 0) {
    out.emplace_back(mjai::Reach{s});
    out.emplace_back(paired(mjai::Dahai{s, m.pai, m.pai == Tile::Unknown}, draws));
  } else {
    return discards_text(tenhou::marked_text(m), s, draws, out);
  }
  return {};
}

[[nodiscard]] std::expected<void, Error> convert_discards(const std::vector<ActionItem>& items, Seat s,
                                                                 const SeatEventList& draw_events, SeatEventList& out) {
  // A riichi text gives two events, and a seat declares riichi once a round.
  out.reserve(items.size() + 1);
  PairedDraws draws(draw_events);
  for (const ActionItem& item : items) {
    if (const auto* tile = std::get_if<ActionItem::Tile>(&item.value)) {
      if (tile->tile != Tile::Unknown || !draws.left()) out.emplace_back(mjai::Dahai{s, tile->tile, false});
    } else if (std::holds_alternative<ActionItem::Number>(item.value)) {
      out.emplace_back(mjai::Dahai{s, draws.drawn(), true});
    } else if (const auto* marked = std::get_if<ActionItem::Marked>(&item.value)) {
      if (auto done = discards_marked(*marked, s, draws, out); !done) return done;
    } else if (auto done = discards_text(std::get<ActionItem::Text>(item.value).text, s, draws, out); !done) {
      return done;
    }
    draws.pass();
  }
  return {};
}

}  // namespace

std::expected<void, Error> convert_seat_streams(const PreparedKyoku& kyoku, Seat seat, SeatEvents& into) {
  into.draw_events.clear();
  into.discard_events.clear();
  auto converted = convert_draws(kyoku.draws[seat], seat, into.draw_events);
  if (converted) converted = convert_discards(kyoku.discards[seat], seat, into.draw_events, into.discard_events);
  if (!converted) converted.error().seat = seat;
  return converted;
}

std::expected<SeatEvents, Error> convert_seat_streams(const PreparedKyoku& kyoku, Seat seat) {
  SeatEvents events;
  if (auto done = convert_seat_streams(kyoku, seat, events); !done) return std::unexpected(std::move(done.error()));
  return events;
}

}  // namespace pairo::conv
