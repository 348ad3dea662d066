// The bits of a game's type: the GO element's `type` of a record, and the
// four hex digits of a game id. One definition, read by the record reader,
// the rule's display text and the archives' row selection.
#pragma once

#include <cstdint>

namespace mjlog::game_type {

inline constexpr std::uint32_t no_red_fives = 0x02;
inline constexpr std::uint32_t no_open_tanyao = 0x04;
inline constexpr std::uint32_t east_south = 0x08;
inline constexpr std::uint32_t three_players = 0x10;
inline constexpr std::uint32_t fast = 0x40;
inline constexpr std::uint32_t level_bits = 0xa0;

}  // namespace mjlog::game_type
