// The game's header texts: the rule's display text from the GO type bits,
// rank names, and percent-encoded player names.
#include <array>

#include "base/utf8.hpp"
#include "mjlog/game_type.hpp"
#include "mjlog/parts.hpp"

namespace mjlog::parts {
namespace {

using namespace game_type;

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

// A character reference's code point, written as UTF-8.
void append_utf8(std::string& out, std::uint32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
    return;
  }
  const int extra = c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
  out.push_back(static_cast<char>((0xf00u >> extra) | (c >> (6 * extra))));
  for (int k = extra - 1; k >= 0; --k) out.push_back(static_cast<char>(0x80 | ((c >> (6 * k)) & 0x3f)));
}

[[nodiscard]] Fault bad_reference(std::string_view ref) {
  return {ErrorKind::InvalidValue, "'&" + std::string(ref.substr(0, 8)) + ";' is no reference"};
}

// `&amp;`, `&#38;`, `&#x26;`...: the parser leaves references in attribute
// values as written, and only the texts that are kept need them resolved.
[[nodiscard]] Checked<std::string> resolve_references(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '&') {
      out.push_back(text[i]);
      continue;
    }
    const std::size_t end = text.find(';', i);
    if (end == std::string_view::npos) {
      return refuse(ErrorKind::InvalidValue, "'&' starts no reference");
    }
    const std::string_view ref = text.substr(i + 1, end - i - 1);
    i = end;
    if (ref == "amp") out.push_back('&');
    else if (ref == "lt") out.push_back('<');
    else if (ref == "gt") out.push_back('>');
    else if (ref == "quot") out.push_back('"');
    else if (ref == "apos") out.push_back('\'');
    else if (ref.size() >= 2 && ref[0] == '#') {
      const bool hex = ref[1] == 'x';
      std::uint32_t c = 0;
      std::size_t digits = 0;
      for (const char d : ref.substr(hex ? 2 : 1)) {
        const int v = hex ? hex_value(d) : (d >= '0' && d <= '9' ? d - '0' : -1);
        if (v < 0 || ++digits > 6) return std::unexpected(bad_reference(ref));
        c = c * (hex ? 16 : 10) + static_cast<std::uint32_t>(v);
      }
      if (digits == 0 || c == 0 || c > 0x10ffff || (c >= 0xd800 && c <= 0xdfff)) {
        return std::unexpected(bad_reference(ref));
      }
      append_utf8(out, c);
    } else {
      return std::unexpected(bad_reference(ref));
    }
  }
  return out;
}

}  // namespace


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
  if (index < 0 || index >= std::ssize(dan_names)) {
    return std::unexpected(Fault{ErrorKind::Unwritable, std::to_string(index) + " names no rank"});
  }
  return std::string(dan_names[static_cast<std::size_t>(index)]);
}

Checked<std::string> attribute_text(std::string_view text) {
  if (text.find('&') == std::string_view::npos) return std::string(text);
  return resolve_references(text);
}

Checked<std::string> decode_name(std::string_view written) {
  // References are rare in names: the written text is read in place unless
  // it has one.
  std::string resolved;
  std::string_view text = written;
  if (written.find('&') != std::string_view::npos) {
    auto references = resolve_references(written);
    if (!references) return references;
    resolved = std::move(*references);
    text = resolved;
  }
  // A name is at most as long as its text; the bytes are written in place.
  std::string name(text.size(), '\0');
  std::size_t size = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      name[size++] = text[i];
      continue;
    }
    const int high = i + 2 < text.size() ? hex_value(text[i + 1]) : -1;
    const int low = high >= 0 ? hex_value(text[i + 2]) : -1;
    if (low < 0) {
      return std::unexpected(
          Fault{ErrorKind::InvalidValue, "'%' at " + std::to_string(i) + " is not followed by two hex digits"});
    }
    name[size++] = static_cast<char>(high * 16 + low);
    i += 2;
  }
  name.resize(size);
  if (!pairo::is_utf8(name)) return refuse(ErrorKind::InvalidValue, "the decoded name is not UTF-8");
  return name;
}

}  // namespace mjlog::parts
