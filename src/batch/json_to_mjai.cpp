// The JSON log converter: the pipeline of the module, each stage's failure
// reported as the module reports it.
#include <array>

#include "batch/batch.hpp"
#include "lib/fixed_texts.hpp"
#include "pipeline/pipeline.hpp"

namespace batch {
namespace {

// By stage: decode, prepare, convert, encode; the messages stand in the
// same order in the fixed texts.
constexpr std::array<ErrorClass, pairo::stage_count> stage_classes = {
    ErrorClass::JsonParsingError, ErrorClass::TenhouLogParsingError, ErrorClass::TenhouToMjaiError,
    ErrorClass::JsonSerializationError};

}  // namespace

std::expected<Document, Failure> json_to_mjai(const tenhou::PaddedText& text, Format) {
  auto encoded = pairo::convert_log_text(text);
  if (!encoded) {
    const auto stage = static_cast<std::size_t>(pairo::stage_of(encoded.error()));
    return std::unexpected(message_failure(stage_classes[stage], pairo::lib::texts::stage_messages[stage]));
  }
  return Document{std::move(*encoded)};
}

}  // namespace batch
