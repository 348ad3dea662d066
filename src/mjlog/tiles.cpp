// Tile ids of the record to Tenhou tile numbers and back to tiles.
#include <algorithm>

#include "mjlog/parts.hpp"

namespace mjlog::parts {

std::uint8_t number_of_id(TileId id, bool red_fives) noexcept {
  const int kind = id / 4;
  if (red_fives && id % 4 == 0 && kind < 27 && kind % 9 == 4) return static_cast<std::uint8_t>(51 + kind / 9);
  return static_cast<std::uint8_t>(10 * (kind / 9 + 1) + kind % 9 + 1);
}

Tile tile_of_id(TileId id, bool red_fives) noexcept {
  return *mjai::tile_from_tenhou(number_of_id(id, red_fives));
}

std::uint8_t number_of_tile(Tile tile) noexcept {
  const int code = static_cast<int>(tile);
  if (tile == Tile::Unknown) return 0;
  if (code >= static_cast<int>(Tile::M5Red)) return static_cast<std::uint8_t>(51 + code - static_cast<int>(Tile::M5Red));
  return static_cast<std::uint8_t>(10 * (code / 9 + 1) + code % 9 + 1);
}

namespace {

// Twice the number, plus one for a red five, which follows its plain fives.
[[nodiscard]] int sort_key(std::uint8_t number) noexcept {
  return number >= 51 ? 2 * (10 * (number - 50) + 5) + 1 : 2 * number;
}

}  // namespace

void sort_numbers(std::uint8_t* first, std::uint8_t* last) noexcept {
  std::sort(first, last, [](std::uint8_t a, std::uint8_t b) { return sort_key(a) < sort_key(b); });
}

void append_number(std::string& out, std::uint8_t number) {
  out.push_back(static_cast<char>('0' + number / 10));
  out.push_back(static_cast<char>('0' + number % 10));
}

}  // namespace mjlog::parts
