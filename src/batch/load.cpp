// A log's bytes (read from its file, or given) made into its text:
// inflated where they are gzip, checked to be UTF-8, and told apart.
#include "base/utf8.hpp"
#include "batch/steps.hpp"
#include "sysio/input.hpp"

namespace batch {

std::expected<std::string_view, Failure> text_in(std::string_view bytes, pairo::PaddedText& inflated,
                                                  gzip::Inflater& inflater) {
  if (gzip::is_gzip(bytes)) {
    auto text = inflater.inflate(bytes);
    if (!text) return std::unexpected(message_failure(ErrorClass::OSError, std::string(gzip::message(text.error()))));
    inflated = std::move(*text);
    bytes = inflated.view();
  }
  if (!pairo::is_utf8(bytes)) return std::unexpected(pairo::not_utf8_failure());
  return bytes;
}

std::expected<pairo::PaddedText, Failure> text_of(pairo::PaddedText bytes, gzip::Inflater& inflater) {
  pairo::PaddedText inflated;
  auto text = text_in(bytes.view(), inflated, inflater);
  if (!text) return std::unexpected(std::move(text.error()));
  return text->data() == bytes.data() ? std::move(bytes) : std::move(inflated);
}

namespace steps {
namespace {

std::expected<Loaded, Failure> inflated(pairo::PaddedText bytes, gzip::Inflater& inflater) {
  auto text = text_of(std::move(bytes), inflater);
  if (!text) return std::unexpected(std::move(text.error()));
  const Format format = format_of(text->view());
  return Loaded{std::move(*text), format};
}

}  // namespace

std::expected<Loaded, Failure> load(const std::string& path, gzip::Inflater& inflater, sysio::Cancel cancel) {
  sysio::Fd input;
  auto bytes = sysio::read_input(path, input, gzip::inflate_limit, cancel);
  if (!bytes) return std::unexpected(std::move(bytes.error()));
  input.reset();
  return inflated(std::move(*bytes), inflater);
}

std::expected<Loaded, Failure> load_bytes(std::string_view bytes, gzip::Inflater& inflater) {
  if (bytes.size() > gzip::inflate_limit) return std::unexpected(pairo::too_large_failure());
  return inflated(pairo::PaddedText(bytes), inflater);
}

std::expected<pairo::PaddedText, Failure> decompress(const archive::Record& record,
                                                     archive::Decompressor& decompressor) {
  auto text = record.text(decompressor);
  if (!text) return std::unexpected(message_failure(ErrorClass::ArchiveError, std::move(text.error().message)));
  return std::move(*text);
}

std::expected<Loaded, Failure> told_apart(pairo::PaddedText text) {
  if (!pairo::is_utf8(text.view())) return std::unexpected(pairo::not_utf8_failure());
  const Format format = format_of(text.view());
  return Loaded{std::move(text), format};
}

}  // namespace steps
}  // namespace batch
