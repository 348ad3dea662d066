// What the files of the record reader share among themselves: tile ids,
// meld codes, attribute numbers, header texts, results and the play of a
// round. A fault names what is wrong; the reader adds the element.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "mjlog/mjlog.hpp"

namespace mjlog::parts {

using tenhou::Tile;
using Seat = std::uint8_t;

// What is wrong, which fault it is, and the seat whose play it is when the
// fault lies there.
struct Fault {
  Fault(ErrorKind kind, std::string text, std::optional<Seat> seat = std::nullopt)
      : kind(kind), text(std::move(text)), seat(seat) {}

  ErrorKind kind;
  std::string text;
  std::optional<Seat> seat;
};
template <class T>
using Checked = std::expected<T, Fault>;
using Done = Checked<void>;

// A fault with a fixed text, made out of line: the reading around it stays small.
[[nodiscard, gnu::cold]] std::unexpected<Fault> refuse(ErrorKind kind, const char* text);

// ---- Tiles. An id is one of the 136 tiles, 4 copies per kind.

using TileId = std::uint8_t;
inline constexpr int tile_id_count = 136;

// Copy 0 of each five is red when the game has red fives.
[[nodiscard]] constexpr bool is_red_five(TileId id, bool red_fives) noexcept {
  return red_fives && id % 4 == 0 && id < 108 && id / 4 % 9 == 4;
}
// Tiles are numbered in the order of the kinds, 4 ids to a kind.
[[nodiscard]] constexpr Tile tile_of_id_computed(TileId id, bool red_fives) noexcept {
  if (is_red_five(id, red_fives)) return static_cast<Tile>(static_cast<int>(Tile::M5Red) + id / 36);
  return static_cast<Tile>(id / 4);
}
// The same from a table, one per setting of red fives: the tile of each
// draw and discard of a record is looked up here.
inline constexpr std::array<std::array<Tile, tile_id_count>, 2> tiles_of_ids = [] {
  std::array<std::array<Tile, tile_id_count>, 2> tables{};
  for (int id = 0; id < tile_id_count; ++id) {
    tables[0][id] = tile_of_id_computed(static_cast<TileId>(id), false);
    tables[1][id] = tile_of_id_computed(static_cast<TileId>(id), true);
  }
  return tables;
}();
[[nodiscard]] constexpr Tile tile_of_id(TileId id, bool red_fives) noexcept { return tiles_of_ids[red_fives][id]; }

// ---- Meld codes (meld.cpp).

enum class MeldKind : std::uint8_t { Chi, Pon, Kakan, Daiminkan, Ankan };

struct Meld {
  MeldKind kind = MeldKind::Chi;
  std::uint8_t from = 0;  // relative seat of the discarder; 0 for an ankan
  TileId called = 0;      // chi, pon, daiminkan; kakan: the called tile of its pon
  TileId added = 0;       // kakan
  std::array<TileId, 4> tiles{};
  std::uint8_t size = 0;
};

[[nodiscard]] Checked<Meld> decode_meld(std::uint32_t code);
// The call as a draw or discard stream holds it: the parts of its text, as
// `c363435` or `151515a51`.
[[nodiscard]] tenhou::ActionItem::Marked marked_of(const Meld& meld, bool red_fives);

// ---- Attribute numbers (numbers.cpp): decimal, lists comma-separated.

[[nodiscard]] Checked<std::int64_t> parse_int(std::string_view text, std::int64_t low, std::int64_t high);
// At most `max` values, each in [low, high]; gives the count read.
[[nodiscard]] Checked<std::size_t> parse_ints(std::string_view text, std::int64_t low, std::int64_t high,
                                              std::int64_t* out, std::size_t max);
// A plain decimal, as `2074.70`, `-46.0` or `-108`.
[[nodiscard]] Checked<double> parse_decimal(std::string_view text);
// Splits at each comma, an empty text giving one empty part: the first
// `parts.size()` parts go into `parts`; gives how many there are.
[[nodiscard]] std::size_t split(std::string_view text, std::span<std::string_view> parts) noexcept;

// ---- Header texts (header.cpp).

// The rule's display text of a GO type, as `鳳南喰赤`.
[[nodiscard]] std::string rule_disp(std::uint32_t type);
[[nodiscard]] Checked<std::string> dan_name(std::int64_t index);
// An attribute's text with its character and entity references resolved.
[[nodiscard]] Checked<std::string> attribute_text(std::string_view text);
// A percent-encoded player name (references resolved first), decoded to UTF-8.
[[nodiscard]] Checked<std::string> decode_name(std::string_view text);

// ---- Results (results.cpp).

struct Win {
  Seat who = 0;
  Seat from_who = 0;
  Seat pao = 0;
  bool dealer = false;
  std::int64_t fu = 0;
  std::int64_t points = 0;
  std::int64_t limit = 0;
  std::span<const std::int64_t> yaku;     // id, han pairs
  std::span<const std::int64_t> yakuman;  // ids
};

// Whether the detail's texts can be written: a limit and yaku that have
// names; otherwise what has none.
[[nodiscard]] Done win_named(const Win& win);
// The texts of `[who, fromWho, pao, point text, yaku texts...]` after the
// seats, each a JSON string, appended to `json`. The win is named (win_named).
void append_win_texts(std::string& json, const Win& win);
// The head of a drawn round's result, from RYUUKYOKU type and its count of
// shown hands; whether deltas follow.
struct DrawHead {
  std::string_view text;
  bool deltas = false;
};
[[nodiscard]] Checked<DrawHead> draw_head(std::string_view type, bool has_type, int shown_hands);

// ---- The play of one round (round.cpp).

// A seat's draws or discards while its round is read: one byte per item,
// a tile as its code, `tsumogiri_code` for 60, `marked_code` for the
// stream's next mark (a call or a riichi discard). The items go into the
// round's stream at once, when the round has its result: so each stream is
// made once and to its size, and the rounds of a record share these buffers.
//
// A play (a draw, or a discard not marked) takes a tile no play of its round
// took before: a draw one not seen yet, a discard one held, and neither
// comes back. So a round puts at most `play_room` plays into a stream, and
// that room is kept free from the round's start on: every other item makes
// room first, and a play is written without a check, as most items are.
class ItemCodes {
 public:
  static constexpr std::uint8_t tsumogiri_code = 0xfe;
  static constexpr std::uint8_t marked_code = 0xff;
  static constexpr auto play_room = static_cast<std::size_t>(tile_id_count);

  ItemCodes() = default;
  ItemCodes(const ItemCodes&) = delete;  // next_ and limit_ point into codes_
  ItemCodes& operator=(const ItemCodes&) = delete;

  // At a round's start, and before any item but a play.
  void make_room() {
    if (static_cast<std::size_t>(limit_ - next_) <= play_room) [[unlikely]] grow();
  }
  [[gnu::always_inline]] void push_play(std::uint8_t code) noexcept { *next_++ = code; }
  void push(std::uint8_t code) {
    make_room();
    *next_++ = code;
  }
  void push_marked(const tenhou::ActionItem::Marked& item) {
    push(marked_code);
    marked_.push_back(item);
  }
  // Moves the items into `stream`, leaving this empty for the next round.
  void move_into(std::vector<tenhou::ActionItem>& stream);

 private:
  void grow();

  std::vector<std::uint8_t> codes_;  // room; the items are those before next_
  std::uint8_t* next_ = nullptr;
  std::uint8_t* limit_ = nullptr;
  std::vector<tenhou::ActionItem::Marked> marked_;
};

struct RoundStreams {
  std::array<ItemCodes, 4> draws;
  std::array<ItemCodes, 4> discards;
};

class RoundPlay {
 public:
  // Starts the round: `hands` holds 13 ids per seat. `streams`, empty, take
  // the play until close().
  RoundPlay(tenhou::RawKyoku& kyoku, RoundStreams& streams, const std::array<std::array<TileId, 13>, 4>& hands,
            TileId dora, bool red_fives, Done& status);

  [[nodiscard]] Done draw(Seat seat, TileId id);
  [[nodiscard]] Done discard(Seat seat, TileId id);
  // The same two without a word on refusal, for the one pass, which hands a
  // refused record over and needs no explanation: most elements of a record
  // are these, so they stay inline. False where draw and discard refuse,
  // with nothing changed.
  [[nodiscard, gnu::always_inline]] bool drew(Seat seat, TileId id) {
    if (place_[id] != unseen) [[unlikely]] return false;
    place_[id] = seat;
    last_draw_[seat] = id;
    streams_->draws[seat].push_play(static_cast<std::uint8_t>(tiles_[id]));
    return true;
  }
  [[nodiscard, gnu::always_inline]] bool discarded(Seat seat, TileId id) {
    if (place_[id] != seat) [[unlikely]] return false;
    place_[id] = gone;
    const bool drawn = last_draw_[seat] == id;
    last_draw_[seat] = -1;
    if (riichi_pending_[seat]) [[unlikely]] {
      riichi_discard(seat, id, drawn);
    } else {
      streams_->discards[seat].push_play(drawn ? ItemCodes::tsumogiri_code : static_cast<std::uint8_t>(tiles_[id]));
    }
    return true;
  }
  [[nodiscard]] Done call(Seat seat, std::uint32_t code);
  [[nodiscard]] Done reach(Seat seat, std::int64_t step);
  [[nodiscard]] Done dora(TileId id);
  // The round's play is over (its result is read): the streams go into it.
  void close();

 private:
  // Deals or shows a tile not seen before: to `seat`, or to no one.
  [[nodiscard]] bool take(TileId id, std::uint8_t seat = gone) noexcept {
    if (place_[id] != unseen) return false;
    place_[id] = seat;
    return true;
  }

  // The first discard after a riichi declaration: a text with `r` before it.
  void riichi_discard(Seat seat, TileId id, bool drawn);
  // Deals `ids` to `seat` and writes them sorted as Tenhou writes a hand;
  // gives the first of `ids` seen before, where there is one (nullptr).
  [[nodiscard]] const TileId* deal(Seat seat, const std::array<TileId, 13>& ids, std::array<Tile, 13>& hand) noexcept;

  tenhou::RawKyoku* kyoku_;
  RoundStreams* streams_;
  bool red_fives_;
  const Tile* tiles_;  // tile_of_id's table for the game's red fives
  // Where each id is: not seen yet, in the hand of a seat (0-3), or gone from
  // every hand (discarded, or shown as an indicator). Each is seen once.
  static constexpr std::uint8_t unseen = 0xfe;
  static constexpr std::uint8_t gone = 0xff;
  std::array<std::uint8_t, tile_id_count> place_;
  std::array<std::int16_t, 4> last_draw_{};           // -1 when the next discard is not tsumogiri
  std::array<bool, 4> riichi_pending_{};
};

}  // namespace mjlog::parts
