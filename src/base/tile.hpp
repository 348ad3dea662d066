// The tile vocabulary below both the Tenhou log and the mjai events: 38
// one-byte codes with their names (the names mjai writes), and the mapping
// from the Tenhou tile number that logs write.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace pairo {

// Codes run m1..m9, p1..p9, s1..s9, the four winds (E S W N, consecutive so
// that 27 + index names a wind), the three dragons, the three red fives and
// finally the unknown tile.
enum class Tile : std::uint8_t {
  M1, M2, M3, M4, M5, M6, M7, M8, M9,
  P1, P2, P3, P4, P5, P6, P7, P8, P9,
  S1, S2, S3, S4, S5, S6, S7, S8, S9,
  East, South, West, North, White, Green, Red,
  M5Red, P5Red, S5Red,
  Unknown,
};

inline constexpr std::size_t tile_count = 38;

inline constexpr std::array<std::string_view, tile_count> tile_names = {
    "1m", "2m", "3m", "4m", "5m", "6m", "7m", "8m", "9m",
    "1p", "2p", "3p", "4p", "5p", "6p", "7p", "8p", "9p",
    "1s", "2s", "3s", "4s", "5s", "6s", "7s", "8s", "9s",
    "E",  "S",  "W",  "N",  "P",  "F",  "C",
    "5mr", "5pr", "5sr", "?",
};

[[nodiscard]] constexpr std::string_view tile_name(Tile tile) noexcept {
  return tile_names[static_cast<std::uint8_t>(tile)];
}

namespace detail {
inline constexpr std::uint8_t no_tile = 0xff;

// Tenhou numbers 0..53 to codes; holes hold no_tile.
inline constexpr std::array<std::uint8_t, 54> tenhou_codes = [] {
  std::array<std::uint8_t, 54> codes{};
  codes.fill(no_tile);
  codes[0] = 37;
  for (int n = 11; n <= 19; ++n) codes[n] = static_cast<std::uint8_t>(n - 11);
  for (int n = 21; n <= 29; ++n) codes[n] = static_cast<std::uint8_t>(n - 12);
  for (int n = 31; n <= 39; ++n) codes[n] = static_cast<std::uint8_t>(n - 13);
  for (int n = 41; n <= 47; ++n) codes[n] = static_cast<std::uint8_t>(n - 14);
  for (int n = 51; n <= 53; ++n) codes[n] = static_cast<std::uint8_t>(n - 17);
  return codes;
}();
}  // namespace detail

// The tile a Tenhou number stands for, or nothing when the number names no tile.
[[nodiscard]] constexpr std::optional<Tile> tile_from_tenhou(std::uint8_t number) noexcept {
  if (number >= detail::tenhou_codes.size()) return std::nullopt;
  const std::uint8_t code = detail::tenhou_codes[number];
  if (code == detail::no_tile) return std::nullopt;
  return static_cast<Tile>(code);
}

// The Tenhou number of a tile; 0 for the unknown tile.
[[nodiscard]] constexpr std::uint8_t tenhou_number(Tile tile) noexcept {
  const int code = static_cast<int>(tile);
  if (tile == Tile::Unknown) return 0;
  if (code >= static_cast<int>(Tile::M5Red)) return static_cast<std::uint8_t>(51 + code - static_cast<int>(Tile::M5Red));
  return static_cast<std::uint8_t>(10 * (code / 9 + 1) + code % 9 + 1);
}

}  // namespace pairo
