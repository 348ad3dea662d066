// Whether bytes are UTF-8: the one check for every text read from a file,
// given as bytes, or decoded from an attribute.
#pragma once

#include <string_view>

namespace pairo {

[[nodiscard]] bool is_utf8(std::string_view text) noexcept;

}  // namespace pairo
