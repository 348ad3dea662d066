// The game's header texts: the rule's display text from the GO type bits,
// rank names, and percent-encoded player names.
#include <array>

#include "mjlog/parts.hpp"

namespace mjlog::parts {
namespace {

constexpr std::uint32_t no_red_fives = 0x02;
constexpr std::uint32_t no_open_tanyao = 0x04;
constexpr std::uint32_t east_south = 0x08;
constexpr std::uint32_t three_players = 0x10;
constexpr std::uint32_t fast = 0x40;
constexpr std::uint32_t level_bits = 0xa0;

constexpr std::array<std::string_view, 21> dan_names = {
    "新人", "９級", "８級", "７級", "６級", "５級", "４級", "３級", "２級", "１級", "初段",
    "二段", "三段", "四段", "五段", "六段", "七段", "八段", "九段", "十段", "天鳳"};

[[nodiscard]] std::string_view level_of(std::uint32_t type) noexcept {
  switch (type & level_bits) {
    case 0x80: return "上";
    case 0x20: return "特";
    case 0xa0: return "鳳";
    default: return "般";
  }
}

[[nodiscard]] int hex_value(char c) noexcept {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

// Well-formed UTF-8: no overlong forms, no surrogates, nothing past U+10FFFF.
bool is_utf8(std::string_view text) noexcept {
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t n = text.size();
  for (std::size_t i = 0; i < n;) {
    const unsigned c = s[i];
    if (c < 0x80) { ++i; continue; }
    std::size_t length;
    unsigned low = 0x80, high = 0xbf;
    if (c >= 0xc2 && c <= 0xdf) length = 2;
    else if (c >= 0xe0 && c <= 0xef) { length = 3; if (c == 0xe0) low = 0xa0; if (c == 0xed) high = 0x9f; }
    else if (c >= 0xf0 && c <= 0xf4) { length = 4; if (c == 0xf0) low = 0x90; if (c == 0xf4) high = 0x8f; }
    else return false;
    if (i + length > n || s[i + 1] < low || s[i + 1] > high) return false;
    for (std::size_t k = 2; k < length; ++k) {
      if (s[i + k] < 0x80 || s[i + k] > 0xbf) return false;
    }
    i += length;
  }
  return true;
}

std::string rule_disp(std::uint32_t type) {
  std::string disp;
  if (type & three_players) disp += "三";
  disp += level_of(type);
  disp += (type & east_south) ? "南" : "東";
  if (!(type & no_open_tanyao)) disp += "喰";
  if (!(type & no_red_fives)) disp += "赤";
  if (type & fast) disp += "速";
  return disp;
}

Checked<std::string> dan_name(std::int64_t index) {
  if (index < 0 || index >= std::ssize(dan_names)) return std::unexpected(std::to_string(index) + " names no rank");
  return std::string(dan_names[static_cast<std::size_t>(index)]);
}

Checked<std::string> decode_name(std::string_view text) {
  std::string name;
  name.reserve(text.size() / 3 + 1);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      name.push_back(text[i]);
      continue;
    }
    const int high = i + 2 < text.size() ? hex_value(text[i + 1]) : -1;
    const int low = high >= 0 ? hex_value(text[i + 2]) : -1;
    if (low < 0) return std::unexpected("'%' at " + std::to_string(i) + " is not followed by two hex digits");
    name.push_back(static_cast<char>(high * 16 + low));
    i += 2;
  }
  if (!is_utf8(name)) return std::unexpected(std::string("the decoded name is not UTF-8"));
  return name;
}

}  // namespace mjlog::parts
