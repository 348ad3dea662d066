// The shapes of a hand, on counts of the 34 kinds (red fives counted as
// fives): complete (four sets and a pair, less one set per meld; seven
// pairs; thirteen orphans) and ready (one kind away from complete). Plain
// arrays on the stack, nothing allocated.
#pragma once

#include <array>
#include <cstdint>

#include "base/tile.hpp"

namespace pairo::validate {

inline constexpr int kind_count = 34;
using Kinds = std::array<std::uint8_t, kind_count>;

// The kind of a tile: a red five is a five; the unknown tile has none (-1).
[[nodiscard]] constexpr int kind_of(Tile tile) noexcept {
  const int code = static_cast<int>(tile);
  if (code < kind_count) return code;
  if (tile == Tile::Unknown) return -1;
  return 4 + 9 * (code - static_cast<int>(Tile::M5Red));
}

// Whether the closed tiles `kinds` (14 less three per meld) are a complete hand.
[[nodiscard]] bool complete(const Kinds& kinds, int melds) noexcept;

// The kinds that would complete the closed tiles `kinds` (13 less three per
// meld), one bit each; a kind already held four times cannot be drawn and
// completes nothing. Zero when the hand is not ready.
[[nodiscard]] std::uint64_t waits(const Kinds& kinds, int melds) noexcept;

}  // namespace pairo::validate
