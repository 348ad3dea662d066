// The play of one round, element by element, into the seats' draw and
// discard streams: tsumogiri from the ids, riichi discards, call texts, and
// the new dora indicators. Each tile is dealt, drawn or shown once; a seat
// discards only a tile it holds.
#include <algorithm>

#include "mjlog/parts.hpp"

namespace mjlog::parts {
namespace {

using tenhou::ActionItem;

constexpr std::uint8_t tsumogiri = 60;

[[nodiscard]] ActionItem tile_item(Tile tile) { return ActionItem{ActionItem::Tile{tile}}; }
[[nodiscard]] ActionItem text_item(std::string text) { return ActionItem{ActionItem::Text{std::move(text)}}; }

}  // namespace

RoundPlay::RoundPlay(tenhou::RawKyoku& kyoku, const std::array<std::array<TileId, 13>, 4>& hands, TileId dora,
                     bool red_fives, Done& status)
    : kyoku_(&kyoku), red_fives_(red_fives) {
  holder_.fill(nobody);
  last_draw_.fill(-1);
  for (Seat seat = 0; seat < 4; ++seat) {
    std::array<std::uint8_t, 13> numbers{};
    for (std::size_t i = 0; i < 13; ++i) {
      const TileId id = hands[seat][i];
      if (status = take(id); !status) return;
      holder_[id] = seat;
      numbers[i] = number_of_id(id, red_fives_);
    }
    sort_numbers(numbers.begin(), numbers.end());
    for (std::size_t i = 0; i < 13; ++i) kyoku.start_hands[seat][i] = *mjai::tile_from_tenhou(numbers[i]);
  }
  status = this->dora(dora);
}

Done RoundPlay::take(TileId id) {
  if (seen_[id]) return std::unexpected("tile " + std::to_string(id) + " is dealt twice");
  seen_[id] = true;
  return {};
}

Done RoundPlay::draw(Seat seat, TileId id) {
  if (auto taken = take(id); !taken) return taken;
  holder_[id] = seat;
  last_draw_[seat] = id;
  kyoku_->draws[seat].push_back(tile_item(tile_of_id(id, red_fives_)));
  return {};
}

// A discard of the tile drawn last is written 60; the first discard after a
// riichi declaration is a text with `r` before it.
Done RoundPlay::discard(Seat seat, TileId id) {
  if (holder_[id] != seat) {
    return std::unexpected("seat " + std::to_string(seat) + " does not hold tile " + std::to_string(id));
  }
  holder_[id] = nobody;
  const bool drawn = last_draw_[seat] == id;
  last_draw_[seat] = -1;
  const std::uint8_t number = number_of_id(id, red_fives_);
  auto& stream = kyoku_->discards[seat];
  if (riichi_pending_[seat]) {
    riichi_pending_[seat] = false;
    std::string text = "r";
    append_number(text, drawn ? tsumogiri : number);
    stream.push_back(text_item(std::move(text)));
  } else if (drawn) {
    stream.push_back(ActionItem{ActionItem::Number{tsumogiri}});
  } else {
    stream.push_back(tile_item(*mjai::tile_from_tenhou(number)));
  }
  return {};
}

// Chi, pon and daiminkan take a discard: their text goes to the draw stream
// (a daiminkan's also puts 0 in the discard stream, since its replacement
// draw comes next). Kakan and ankan are done instead of a discard. After any
// call the seat's next discard is not the drawn tile.
Done RoundPlay::call(Seat seat, std::uint32_t code) {
  auto meld = decode_meld(code);
  if (!meld) return std::unexpected(std::move(meld.error()));
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
  if (auto taken = take(id); !taken) return taken;
  kyoku_->dora_indicators.push_back(tile_of_id(id, red_fives_));
  return {};
}

}  // namespace mjlog::parts
