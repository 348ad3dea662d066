// The bytes path, and the compression rows' decoders over whole buffers.
#include "formats/bytes.hpp"

#include <cerrno>

#include "base/fixed_texts.hpp"
#include "base/utf8.hpp"
#include "formats/readers.hpp"

namespace formats {
namespace {

// A file whose compressed bytes do not decompress fails as a file that
// does not read (OSError), a bomb as any input past the record bound.
Failure file_failure(archive::ArchiveError error) {
  if (error.code == pairo::FailureCode::TooLarge) return archive::failure_of(error);
  Failure failure = pairo::message_failure(pairo::ErrorClass::OSError, std::move(error.message));
  failure.code = pairo::FailureCode::InvalidCompressed;
  failure.error_number = EINVAL;
  return failure;
}

}  // namespace

std::expected<std::string_view, Failure> text_in(std::string_view bytes, pairo::PaddedText& decoded,
                                                 Decoders& decoders) {
  if (const Compression* row = compression_of(bytes)) {
    auto text = row->decode(decoders, bytes, pairo::record_limit);
    if (!text) return std::unexpected(file_failure(std::move(text.error())));
    decoded = std::move(*text);
    bytes = decoded.view();
  }
  if (!pairo::is_utf8(bytes)) return std::unexpected(pairo::not_utf8_failure());
  return bytes;
}

std::expected<pairo::PaddedText, Failure> text_of(pairo::PaddedText bytes, Decoders& decoders) {
  pairo::PaddedText decoded;
  auto text = text_in(bytes.view(), decoded, decoders);
  if (!text) return std::unexpected(std::move(text.error()));
  return text->data() == bytes.data() ? std::move(bytes) : std::move(decoded);
}

std::expected<pairo::PaddedText, archive::ArchiveError> record_text(const archive::StoredBytes& stored,
                                                                    Decoders& decoders, std::size_t limit) {
  pairo::PaddedText member;  // a zip member's bytes, once inflated
  auto bytes = decoders.layer.unwrap(stored, member, limit);
  if (!bytes) return std::unexpected(std::move(bytes.error()));
  if (const Compression* row = compression_of(*bytes)) return row->decode(decoders, *bytes, limit);
  if (bytes->size() > limit) return std::unexpected(archive::too_large("record"));
  if (bytes->data() == member.data()) return member;
  return pairo::PaddedText(*bytes);
}

namespace readers {

bool is_xz(std::string_view bytes) noexcept { return bytes.starts_with(std::string_view("\xFD" "7zXZ\0", 6)); }

std::expected<pairo::PaddedText, archive::ArchiveError> gunzip(Decoders& decoders, std::string_view bytes,
                                                               std::size_t limit) {
  auto text = decoders.gzip.inflate(bytes, limit);
  if (!text) {
    if (text.error() == gzip::InflateError::TooLarge) return std::unexpected(archive::too_large("inflated gzip data"));
    return std::unexpected(archive::ArchiveError{pairo::texts::invalid_gzip});
  }
  return std::move(*text);
}

std::expected<pairo::PaddedText, archive::ArchiveError> bunzip2(Decoders&, std::string_view bytes,
                                                                std::size_t limit) {
  return archive::bunzip2(bytes, limit);
}

std::unique_ptr<archive::ByteStream> as_it_is(std::unique_ptr<archive::ByteStream> stream) { return stream; }

}  // namespace readers
}  // namespace formats
