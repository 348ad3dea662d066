#include "pipeline/pipeline.hpp"

#include "pairo/conv/conv.hpp"

namespace pairo {
namespace {

// The game's events. The decoded and prepared logs go when it returns, so
// that they are not held while the texts are written.
std::expected<mjai::Events, Error> events_of(std::expected<tenhou::RawLog, Error>&& raw) {
  if (!raw) return std::unexpected(std::move(raw.error()));
  auto prepared = conv::prepare_log(std::move(*raw));
  if (!prepared) return std::unexpected(std::move(prepared.error()));
  return conv::convert_log(*prepared);
}

}  // namespace

std::expected<mjai::EncodedEvents, Error> convert_log_text(const tenhou::PaddedText& text) {
  auto events = events_of(tenhou::decode_raw_log(text));
  if (!events) return std::unexpected(std::move(events.error()));
  return mjai::encode_events(*events);
}

std::expected<mjai::EncodedEvents, Error> convert_log_text(tenhou::PaddedText&& text) {
  auto events = events_of(tenhou::decode_raw_log(std::move(text)));
  if (!events) return std::unexpected(std::move(events.error()));
  return mjai::encode_events(*events);
}

std::expected<mjai::EncodedEvents, Error> convert_raw_log(tenhou::RawLog raw) {
  auto events = events_of(std::expected<tenhou::RawLog, Error>(std::move(raw)));
  if (!events) return std::unexpected(std::move(events.error()));
  return mjai::encode_events(*events);
}

}  // namespace pairo
