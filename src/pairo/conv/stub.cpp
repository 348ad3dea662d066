#include "pairo/conv/conv.hpp"

namespace pairo::conv {

std::expected<std::vector<Event>, ConvertError> convert_log(const PreparedLog&) {
  return std::unexpected(ConvertError{ConvertError::NumberInDraws{}});
}

}  // namespace pairo::conv
