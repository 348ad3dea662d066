// simdjson's validator, the fastest at hand and already linked.
#include "base/utf8.hpp"

#include <simdjson.h>

namespace pairo {

bool is_utf8(std::string_view text) noexcept { return simdjson::validate_utf8(text.data(), text.size()); }

}  // namespace pairo
