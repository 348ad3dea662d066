#include "tenhou/tenhou.hpp"

namespace tenhou {

std::expected<RawLog, DecodeError> decode_raw_log(const PaddedText&) {
  return std::unexpected(DecodeError{"the decoder is not built yet", std::nullopt});
}

}  // namespace tenhou
