// Reading a whole record: the one pass over the bytes takes the shape that
// records have; anything else, a refusal included, is read again from
// pugixml's parsed document, whose reader explains what is wrong.
#include <string>

#include "mjlog/walk.hpp"

namespace mjlog {

std::expected<Record, ReadError> read_record(std::string_view xml) {
  if (auto record = parts::read_directly(xml)) return std::move(*record);
  // pugixml parses in place: the few records the one pass hands over are
  // parsed from a copy, so that a caller's text is never written.
  std::string copy(xml);
  return parts::read_parsed(copy.data(), copy.size());
}

}  // namespace mjlog
