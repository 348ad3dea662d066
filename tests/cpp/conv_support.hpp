// Building rounds as data for the conversion tests, and reading the results
// back as encoded lines.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "mjai/mjai.hpp"
#include "pairo/conv/conv.hpp"

namespace conv_test {

using pairo::Error;
using pairo::conv::KyokuOutcome;
using pairo::conv::PreparedKyoku;
using pairo::conv::PreparedLog;
using tenhou::ActionItem;

// A stream item as a log writes it: a number (a tile when it is a Tenhou
// tile number) or a text.
struct Item {
  Item(int number) {  // NOLINT: the point is to write numbers plainly
    const auto n = static_cast<std::uint8_t>(number);
    if (const auto tile = pairo::tile_from_tenhou(n)) {
      item.value = ActionItem::Tile{*tile};
    } else {
      item.value = ActionItem::Number{n};
    }
  }
  Item(const char* text) : item{ActionItem::Text{text}} {}  // NOLINT
  Item(const ActionItem::Marked& marked) : item{marked} {}  // NOLINT
  ActionItem item;
};

inline std::vector<ActionItem> stream(std::initializer_list<Item> items) {
  std::vector<ActionItem> out;
  for (const Item& i : items) out.push_back(i.item);
  return out;
}

inline mjai::Tile tile(int number) { return *pairo::tile_from_tenhou(static_cast<std::uint8_t>(number)); }

inline std::vector<mjai::Tile> tiles(std::initializer_list<int> numbers) {
  std::vector<mjai::Tile> out;
  for (int n : numbers) out.push_back(tile(n));
  return out;
}

// A round of the dealer seat 0 with plain starting hands; streams are set by
// the caller.
inline PreparedKyoku round_of(std::initializer_list<std::initializer_list<Item>> draws,
                              std::initializer_list<std::initializer_list<Item>> discards,
                              KyokuOutcome outcome = {KyokuOutcome::Draw{}}) {
  PreparedKyoku kyoku;
  kyoku.dora_indicators = tiles({11, 12, 13, 14, 15});
  kyoku.scores = {25000, 25000, 25000, 25000};
  for (auto& hand : kyoku.start_hands) hand.fill(mjai::Tile::M9);
  std::size_t s = 0;
  for (const auto& d : draws) kyoku.draws[s++] = stream(d);
  s = 0;
  for (const auto& d : discards) kyoku.discards[s++] = stream(d);
  kyoku.outcome = std::move(outcome);
  return kyoku;
}

inline std::string line(const mjai::Event& event) {
  std::string out;
  mjai::write_event(event, out);
  return out;
}

inline std::vector<std::string> lines(std::span<const mjai::Event> events) {
  std::vector<std::string> out;
  out.reserve(events.size());
  for (const auto& e : events) out.push_back(line(e));
  return out;
}

inline PreparedLog log_of(std::vector<PreparedKyoku> kyokus) {
  PreparedLog log;
  log.names = {"A", "B", "C", "D"};
  log.kyokus = std::move(kyokus);
  return log;
}

// The play of a one-round game: every line after start_kyoku and before
// end_game, results included.
inline std::expected<std::vector<std::string>, Error> play(PreparedKyoku kyoku) {
  std::vector<PreparedKyoku> one;
  one.push_back(std::move(kyoku));
  auto events = pairo::conv::convert_log(log_of(std::move(one)));
  if (!events) return std::unexpected(events.error());
  auto all = lines(*events);
  return std::vector<std::string>(all.begin() + 2, all.end() - 1);
}

}  // namespace conv_test
