#include "archive/error.hpp"

namespace archive {

std::string shown(std::string_view text) {
  static constexpr char hex[] = "0123456789abcdef";
  std::string out = "\"";
  for (unsigned char c : text.substr(0, shown_limit)) {
    if (c >= 0x20 && c < 0x7f && c != '"' && c != '\\') {
      out += static_cast<char>(c);
    } else {
      out += "\\x";
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  out += '"';
  if (text.size() > shown_limit) out += "...";
  return out;
}

}  // namespace archive
