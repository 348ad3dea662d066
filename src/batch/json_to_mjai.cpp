// The JSON log converter: decoding, preparation, conversion and encoding,
// each stage's failure reported as the module reports it.
#include "batch/batch.hpp"
#include "pairo/conv/conv.hpp"

namespace batch {

std::expected<Document, Failure> json_to_mjai(const tenhou::PaddedText& text, Format) {
  auto raw = tenhou::decode_raw_log(text);
  if (!raw) return std::unexpected(message_failure(ErrorClass::JsonParsingError, "failed to parse tenhou.net/6 log"));
  auto prepared = pairo::conv::prepare_log(std::move(*raw));
  if (!prepared) return std::unexpected(message_failure(ErrorClass::TenhouLogParsingError, "invalid log"));
  auto events = pairo::conv::convert_log(*prepared);
  if (!events) {
    return std::unexpected(
        message_failure(ErrorClass::TenhouToMjaiError, "failed to convert tenhou.net/6 log to mjai"));
  }
  auto encoded = mjai::encode_events(*events);
  if (!encoded) return std::unexpected(message_failure(ErrorClass::JsonSerializationError, "failed to serialize"));
  return Document{std::move(*encoded)};
}

}  // namespace batch
