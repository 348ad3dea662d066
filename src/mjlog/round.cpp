// The play of one round, element by element, into the seats' draw and
// discard streams: tsumogiri from the ids, riichi discards, call texts, and
// the new dora indicators. Each tile is dealt, drawn or shown once; a seat
// discards only a tile it holds.
#include <bit>

#include "mjlog/parts.hpp"

namespace mjlog::parts {
namespace {

using tenhou::ActionItem;

constexpr std::uint8_t tsumogiri = 60;

[[nodiscard]] ActionItem tile_item(Tile tile) { return ActionItem{ActionItem::Tile{tile}}; }
[[nodiscard]] ActionItem text_item(std::string text) { return ActionItem{ActionItem::Text{std::move(text)}}; }

// `seat` is the one dealt or drawing the tile; none for an indicator.
[[gnu::cold]] Fault dealt_twice(TileId id, std::optional<Seat> seat = std::nullopt) {
  return {ErrorKind::TileDealtTwice, "tile " + std::to_string(id) + " is dealt twice", seat};
}

[[gnu::cold]] Fault not_held(Seat seat, TileId id) {
  return {ErrorKind::TileNotHeld, "seat " + std::to_string(seat) + " does not hold tile " + std::to_string(id), seat};
}

}  // namespace

RoundPlay::RoundPlay(tenhou::RawKyoku& kyoku, const std::array<std::array<TileId, 13>, 4>& hands, TileId dora,
                     bool red_fives, Done& status)
    : kyoku_(&kyoku), red_fives_(red_fives) {
  holder_.fill(nobody);
  last_draw_.fill(-1);
  // Room for a long round's streams, so that they rarely grow.
  constexpr std::size_t stream_room = 24;
  for (std::size_t seat = 0; seat < 4; ++seat) {
    kyoku.draws[seat].reserve(stream_room);
    kyoku.discards[seat].reserve(stream_room);
  }
  for (Seat seat = 0; seat < 4; ++seat) {
    for (const TileId id : hands[seat]) {
      if (!take(id)) {
        status = std::unexpected(dealt_twice(id, seat));
        return;
      }
      holder_[id] = seat;
    }
    kyoku.start_hands[seat] = sorted_hand(hands[seat]);
  }
  status = this->dora(dora);
}

// Ids sort by kind; only a red five, copy 0 of its kind, goes after the
// three others. The ids of a hand differ, so a set of sort keys sorts them.
std::array<Tile, 13> RoundPlay::sorted_hand(const std::array<TileId, 13>& ids) const noexcept {
  std::array<std::uint64_t, (2 * tile_id_count + 63) / 64> keys{};
  for (const TileId id : ids) {
    const unsigned key = is_red_five(id, red_fives_) ? 2u * (id + 3u) + 1 : 2u * id;
    keys[key / 64] |= std::uint64_t{1} << (key % 64);
  }
  std::array<Tile, 13> hand{};
  std::size_t n = 0;
  for (std::size_t word = 0; word < keys.size(); ++word) {
    for (std::uint64_t bits = keys[word]; bits != 0; bits &= bits - 1) {
      const unsigned key = static_cast<unsigned>(64 * word) + static_cast<unsigned>(std::countr_zero(bits));
      hand[n++] = tile_of_id(static_cast<TileId>(key % 2 ? (key - 1) / 2 - 3 : key / 2), red_fives_);
    }
  }
  return hand;
}

Done RoundPlay::draw(Seat seat, TileId id) {
  if (!take(id)) [[unlikely]] return std::unexpected(dealt_twice(id, seat));
  holder_[id] = seat;
  last_draw_[seat] = id;
  // Built in place: a new item holds a tile already.
  std::get<ActionItem::Tile>(kyoku_->draws[seat].emplace_back().value).tile = tile_of_id(id, red_fives_);
  return {};
}

// A discard of the tile drawn last is written 60; the first discard after a
// riichi declaration is a text with `r` before it.
Done RoundPlay::discard(Seat seat, TileId id) {
  if (holder_[id] != seat) [[unlikely]] {
    return std::unexpected(not_held(seat, id));
  }
  holder_[id] = nobody;
  const bool drawn = last_draw_[seat] == id;
  last_draw_[seat] = -1;
  auto& stream = kyoku_->discards[seat];
  if (riichi_pending_[seat]) {
    riichi_pending_[seat] = false;
    std::string text = "r";
    append_number(text, drawn ? tsumogiri : number_of_id(id, red_fives_));
    stream.push_back(text_item(std::move(text)));
  } else if (drawn) {
    stream.emplace_back().value.emplace<ActionItem::Number>(tsumogiri);
  } else {
    std::get<ActionItem::Tile>(stream.emplace_back().value).tile = tile_of_id(id, red_fives_);
  }
  return {};
}

// Chi, pon and daiminkan take a discard: their text goes to the draw stream
// (a daiminkan's also puts 0 in the discard stream, since its replacement
// draw comes next). Kakan and ankan are done instead of a discard. After any
// call the seat's next discard is not the drawn tile.
Done RoundPlay::call(Seat seat, std::uint32_t code) {
  auto meld = decode_meld(code);
  if (!meld) {
    meld.error().seat = seat;
    return std::unexpected(std::move(meld.error()));
  }
  last_draw_[seat] = -1;
  std::string text = call_text(*meld, red_fives_);
  switch (meld->kind) {
    case MeldKind::Chi:
    case MeldKind::Pon:
      kyoku_->draws[seat].push_back(text_item(std::move(text)));
      break;
    case MeldKind::Daiminkan:
      kyoku_->draws[seat].push_back(text_item(std::move(text)));
      kyoku_->discards[seat].push_back(tile_item(Tile::Unknown));
      break;
    case MeldKind::Kakan:
    case MeldKind::Ankan:
      kyoku_->discards[seat].push_back(text_item(std::move(text)));
      break;
  }
  return {};
}

// Step 1 declares; step 2 (the deposit paid) adds nothing to the streams.
Done RoundPlay::reach(Seat seat, std::int64_t step) {
  if (step == 1) riichi_pending_[seat] = true;
  return {};
}

Done RoundPlay::dora(TileId id) {
  if (!take(id)) return std::unexpected(dealt_twice(id));
  kyoku_->dora_indicators.push_back(tile_of_id(id, red_fives_));
  return {};
}

}  // namespace mjlog::parts
