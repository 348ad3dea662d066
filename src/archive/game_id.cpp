#include "archive/game_id.hpp"

#include "mjlog/game_type.hpp"

namespace archive {
namespace {

[[nodiscard]] constexpr bool is_digit(char c) noexcept { return c >= '0' && c <= '9'; }
[[nodiscard]] constexpr bool is_lower_hex(char c) noexcept { return is_digit(c) || (c >= 'a' && c <= 'f'); }

[[nodiscard]] bool all_of(std::string_view text, bool (*is)(char) noexcept) noexcept {
  for (char c : text) {
    if (!is(c)) return false;
  }
  return true;
}

[[nodiscard]] std::uint32_t hex_value(std::string_view digits) noexcept {
  std::uint32_t value = 0;
  for (char c : digits) value = value * 16 + static_cast<std::uint32_t>(is_digit(c) ? c - '0' : c - 'a' + 10);
  return value;
}

}  // namespace

std::optional<GameId> parse_game_id(std::string_view text) noexcept {
  std::string_view rest = text;
  if (rest.size() < 13 || !all_of(rest.substr(0, 10), is_digit) || rest.substr(10, 3) != "gm-") return std::nullopt;
  rest.remove_prefix(13);
  if (rest.size() < 5 || !all_of(rest.substr(0, 4), is_lower_hex) || rest[4] != '-') return std::nullopt;
  const std::uint32_t type = hex_value(rest.substr(0, 4));
  rest.remove_prefix(5);
  const auto dash = rest.find('-');
  if (dash == std::string_view::npos || dash < 4 || dash > 5 || !all_of(rest.substr(0, dash), is_digit)) {
    return std::nullopt;
  }
  const bool public_lobby = rest.substr(0, dash) == "0000" && type < 0x100;
  rest.remove_prefix(dash + 1);
  if (rest.size() != 8 || !all_of(rest, is_lower_hex)) return std::nullopt;
  std::uint32_t date = 0;
  for (char c : text.substr(0, 8)) date = date * 10 + static_cast<std::uint32_t>(c - '0');
  return GameId{text, type, date, public_lobby};
}

bool is_three_player(const GameId& id) noexcept { return (id.type & mjlog::game_type::three_players) != 0; }

}  // namespace archive
