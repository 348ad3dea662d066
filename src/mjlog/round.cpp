// The play of one round, element by element, into the seats' draw and
// discard streams: tsumogiri from the ids, riichi discards, calls, and
// the new dora indicators. Each tile is dealt, drawn or shown once; a seat
// discards only a tile it holds.
#include <algorithm>
#include <bit>

#include "mjlog/parts.hpp"

namespace mjlog::parts {
namespace {

using tenhou::ActionItem;

constexpr std::uint8_t tsumogiri = 60;  // a discard of the tile drawn last

// `seat` is the one dealt or drawing the tile; none for an indicator.
[[gnu::cold]] Fault dealt_twice(TileId id, std::optional<Seat> seat = std::nullopt) {
  return {ErrorKind::TileDealtTwice, "tile " + std::to_string(id) + " is dealt twice", seat};
}

[[gnu::cold]] Fault not_held(Seat seat, TileId id) {
  return {ErrorKind::TileNotHeld, "seat " + std::to_string(seat) + " does not hold tile " + std::to_string(id), seat};
}

}  // namespace

void ItemCodes::grow() {
  const auto size = static_cast<std::size_t>(next_ - codes_.data());
  codes_.resize(std::max(2 * codes_.size(), size + play_room + 64));
  next_ = codes_.data() + size;
  limit_ = codes_.data() + codes_.size();
}

void ItemCodes::move_into(std::vector<ActionItem>& stream) {
  const std::uint8_t* const codes = codes_.data();
  const auto size = static_cast<std::size_t>(next_ - codes);
  stream.reserve(stream.size() + size);
  auto marked = marked_.begin();
  for (std::size_t i = 0; i < size; ++i) {
    const std::uint8_t code = codes[i];
    if (code < tsumogiri_code) [[likely]] {
      stream.emplace_back(ActionItem::Tile{static_cast<Tile>(code)});
    } else if (code == tsumogiri_code) {
      stream.emplace_back(ActionItem::Number{tsumogiri});
    } else {
      stream.emplace_back(ActionItem{*marked++});
    }
  }
  next_ = codes_.data();
  marked_.clear();
}

RoundPlay::RoundPlay(tenhou::RawKyoku& kyoku, RoundStreams& streams, const std::array<std::array<TileId, 13>, 4>& hands,
                     TileId dora, bool red_fives, Done& status)
    : kyoku_(&kyoku), streams_(&streams), red_fives_(red_fives), tiles_(tiles_of_ids[red_fives].data()) {
  place_.fill(unseen);
  last_draw_.fill(-1);
  for (std::size_t seat = 0; seat < 4; ++seat) {
    streams.draws[seat].make_room();
    streams.discards[seat].make_room();
  }
  for (Seat seat = 0; seat < 4; ++seat) {
    if (const TileId* twice = deal(seat, hands[seat], kyoku.start_hands[seat])) {
      status = std::unexpected(dealt_twice(*twice, seat));
      return;
    }
  }
  status = this->dora(dora);
}

void RoundPlay::close() {
  for (std::size_t seat = 0; seat < 4; ++seat) {
    streams_->draws[seat].move_into(kyoku_->draws[seat]);
    streams_->discards[seat].move_into(kyoku_->discards[seat]);
  }
}

namespace {

// A hand sorts by a key per id that keeps the order of the ids, except that
// a red five, copy 0 of its kind, goes after the three others: in the kinds
// of the red fives copies 1-3 take keys 0-2 and copy 0 key 3. The ids of a
// hand differ, and so do their keys: a set of keys sorts them. One table
// per setting of red fives gives the key of each id, another the tile of
// each key.
[[nodiscard]] constexpr bool is_red_kind(unsigned kind, bool red_fives) noexcept {
  return red_fives && kind < 27 && kind % 9 == 4;
}

constexpr std::array<std::array<std::uint8_t, tile_id_count>, 2> sort_keys = [] {
  std::array<std::array<std::uint8_t, tile_id_count>, 2> keys{};
  for (unsigned red = 0; red < 2; ++red) {
    for (unsigned id = 0; id < tile_id_count; ++id) {
      const bool moved = is_red_kind(id / 4, red != 0);
      keys[red][id] = static_cast<std::uint8_t>(!moved ? id : id % 4 == 0 ? id + 3 : id - 1);
    }
  }
  return keys;
}();

constexpr std::array<std::array<Tile, tile_id_count>, 2> tiles_of_keys = [] {
  std::array<std::array<Tile, tile_id_count>, 2> tiles{};
  for (unsigned red = 0; red < 2; ++red) {
    for (unsigned id = 0; id < tile_id_count; ++id) {
      tiles[red][sort_keys[red][id]] = tile_of_id(static_cast<TileId>(id), red != 0);
    }
  }
  return tiles;
}();

}  // namespace

// Each id of the hand is taken for `seat` as its key is set: one pass.
const TileId* RoundPlay::deal(Seat seat, const std::array<TileId, 13>& ids, std::array<Tile, 13>& hand) noexcept {
  const auto& keys_of = sort_keys[red_fives_];
  const auto& tiles_of = tiles_of_keys[red_fives_];
  std::array<std::uint64_t, (tile_id_count + 63) / 64> keys{};
  for (const TileId& id : ids) {
    if (!take(id, seat)) [[unlikely]] return &id;
    const unsigned key = keys_of[id];
    keys[key / 64] |= std::uint64_t{1} << (key % 64);
  }
  std::size_t n = 0;
  for (std::size_t word = 0; word < keys.size(); ++word) {
    for (std::uint64_t bits = keys[word]; bits != 0; bits &= bits - 1) {
      hand[n++] = tiles_of[64 * word + static_cast<unsigned>(std::countr_zero(bits))];
    }
  }
  return nullptr;
}

Done RoundPlay::draw(Seat seat, TileId id) {
  if (!drew(seat, id)) [[unlikely]] return std::unexpected(dealt_twice(id, seat));
  return {};
}

Done RoundPlay::discard(Seat seat, TileId id) {
  if (!discarded(seat, id)) [[unlikely]] return std::unexpected(not_held(seat, id));
  return {};
}

// A discard of the tile drawn last is written 60; the first discard after a
// riichi declaration is marked `r`, the tile drawn last as the unknown tile.
void RoundPlay::riichi_discard(Seat seat, TileId id, bool drawn) {
  riichi_pending_[seat] = false;
  streams_->discards[seat].push_marked({.letter = 'r', .pai = drawn ? Tile::Unknown : tiles_[id]});
}

// Chi, pon and daiminkan take a discard: they go to the draw stream
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
  const ActionItem::Marked marked = marked_of(*meld, red_fives_);
  switch (meld->kind) {
    case MeldKind::Chi:
    case MeldKind::Pon:
      streams_->draws[seat].push_marked(marked);
      break;
    case MeldKind::Daiminkan:
      streams_->draws[seat].push_marked(marked);
      streams_->discards[seat].push(static_cast<std::uint8_t>(Tile::Unknown));
      break;
    case MeldKind::Kakan:
    case MeldKind::Ankan:
      streams_->discards[seat].push_marked(marked);
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
  kyoku_->dora_indicators.push_back(tiles_[id]);
  return {};
}

}  // namespace mjlog::parts
