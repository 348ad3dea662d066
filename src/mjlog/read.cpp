// Reading a whole record: the one pass over the bytes takes the shape that
// records have; anything else, a refusal included, is read again from
// pugixml's parsed document, whose reader explains what is wrong.
#include "mjlog/walk.hpp"

namespace mjlog {

std::expected<Record, Error> read_record(char* xml, std::size_t size) {
  if (auto record = parts::read_directly(std::string_view(xml, size))) return std::move(*record);
  return parts::read_parsed(xml, size);
}

}  // namespace mjlog
