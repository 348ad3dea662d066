// A log's bytes (read from its file, or given) made into its text by the
// registry's bytes path, and told apart.
#include "base/utf8.hpp"
#include "batch/steps.hpp"
#include "formats/bytes.hpp"
#include "sysio/input.hpp"

namespace batch {

namespace steps {
namespace {

std::expected<Loaded, Failure> decoded(pairo::PaddedText bytes, formats::Decoders& decoders) {
  auto text = formats::text_of(std::move(bytes), decoders);
  if (!text) return std::unexpected(std::move(text.error()));
  const Format format = formats::format_of(text->view());
  return Loaded{std::move(*text), format};
}

}  // namespace

std::expected<Loaded, Failure> load(const std::string& path, formats::Decoders& decoders, sysio::Cancel cancel) {
  sysio::Fd input;
  auto bytes = sysio::read_input(path, input, pairo::record_limit, cancel);
  if (!bytes) return std::unexpected(std::move(bytes.error()));
  input.reset();
  return decoded(std::move(*bytes), decoders);
}

std::expected<Loaded, Failure> load_bytes(std::string_view bytes, formats::Decoders& decoders) {
  if (bytes.size() > pairo::record_limit) return std::unexpected(pairo::too_large_failure("standard input"));
  return decoded(pairo::PaddedText(bytes), decoders);
}

std::expected<pairo::PaddedText, Failure> decompress(const archive::StoredRecord& record, formats::Decoders& decoders) {
  auto text = formats::record_text(record.stored, decoders);
  if (!text) return std::unexpected(archive::failure_of(text.error()));
  return std::move(*text);
}

std::expected<Loaded, Failure> told_apart(pairo::PaddedText text) {
  if (!pairo::is_utf8(text.view())) return std::unexpected(pairo::not_utf8_failure());
  const Format format = formats::format_of(text.view());
  return Loaded{std::move(text), format};
}

}  // namespace steps
}  // namespace batch
