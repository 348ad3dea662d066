// UTF-8: the one check for every text read from a file, given as bytes, or
// decoded from an attribute, and the one reader of its characters for the
// texts that quote or repair bytes.
#pragma once

#include <cstddef>
#include <string_view>

namespace pairo {

[[nodiscard]] bool is_utf8(std::string_view text) noexcept;

// What starts a text: a character (its code point and its length in bytes),
// or, where no character starts, the bytes that begin one and break off, at
// least one: the piece that a reader replaces by one U+FFFD. Overlong forms
// and surrogates start no character.
struct Utf8Step {
  char32_t code_point = 0;
  std::size_t length = 0;
  bool valid = false;
};

// `bytes` is not empty.
[[nodiscard]] Utf8Step read_utf8(std::string_view bytes) noexcept;

}  // namespace pairo
