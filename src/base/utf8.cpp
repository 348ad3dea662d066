// simdjson's validator checks whole texts, the fastest at hand and already
// linked; the reader of one character is written out here.
#include "base/utf8.hpp"

#include <simdjson.h>

#include <cstdint>

namespace pairo {

bool is_utf8(std::string_view text) noexcept { return simdjson::validate_utf8(text.data(), text.size()); }

Utf8Step read_utf8(std::string_view bytes) noexcept {
  const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(bytes[i]); };
  const std::uint8_t lead = byte(0);
  if (lead < 0x80) return {lead, 1, true};
  std::size_t length = 0;
  char32_t code_point = 0;
  std::uint8_t low = 0x80;
  std::uint8_t high = 0xBF;  // bounds of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    code_point = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    code_point = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    code_point = lead & 0x07;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return {0, 1, false};
  }
  for (std::size_t i = 1; i < length; ++i) {
    if (i == bytes.size()) return {0, i, false};
    const std::uint8_t next = byte(i);
    if (i == 1 ? (next < low || next > high) : (next < 0x80 || next > 0xBF)) return {0, i, false};
    code_point = (code_point << 6) | (next & 0x3F);
  }
  return {code_point, length, true};
}

}  // namespace pairo
