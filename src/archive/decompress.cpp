#include "archive/decompress.hpp"

#include <algorithm>
#include <cstring>
#include <new>
#include <optional>

#include "archive/byte_stream.hpp"

namespace archive {
namespace {

constexpr std::size_t first_guess_floor = 64 * 1024;

// A bzip2 stream's failure in the words a record's has always had.
ArchiveError record_words(const ArchiveError& error) {
  return {error.message.starts_with("truncated") ? "truncated bzip2 data" : "invalid bzip2 data"};
}

}  // namespace

bool is_bzip2(std::string_view bytes) noexcept {
  return bytes.size() >= 4 && bytes.substr(0, 3) == "BZh" && bytes[3] >= '1' && bytes[3] <= '9';
}

// The bundles' stream decoder over the bytes in memory: one bzip2 decoding
// for a tar.bz2, a blob and a .json.bz2 file. Its failures keep the
// records' words ("invalid bzip2 data"), which stored reports hold.
std::expected<pairo::PaddedText, ArchiveError> bunzip2(std::string_view data, std::size_t limit) {
  if (!is_bzip2(data)) return std::unexpected(ArchiveError{"invalid bzip2 data"});
  const auto stream = bzip2_stream(memory_byte_stream(data));
  pairo::PaddedText text(std::min(std::max(data.size() * 8, first_guess_floor), limit));
  std::size_t filled = 0;
  for (;;) {
    if (filled == text.capacity()) {
      // Full at the bound: one byte more tells a bomb from a record that fits.
      if (text.capacity() >= limit) {
        char probe;
        auto more = stream->read(&probe, 1);
        if (!more) return std::unexpected(record_words(more.error()));
        if (*more == 0) break;
        return std::unexpected(too_large("inflated bzip2 data"));
      }
      text.regrow(filled, std::min(text.capacity() * 2, limit));
    }
    auto got = stream->read(text.data() + filled, text.capacity() - filled);
    if (!got) return std::unexpected(record_words(got.error()));
    if (*got == 0) break;
    filled += *got;
  }
  text.resize_within(filled);
  return text;
}

std::expected<pairo::PaddedText, ArchiveError> Decompressor::inflate_member(const StoredBytes& stored,
                                                                            std::size_t limit) {
  if (stored.size > limit) return std::unexpected(too_large("inflated zip member"));
  if (!raw_) {
    raw_.reset(libdeflate_alloc_decompressor());
    if (!raw_) throw std::bad_alloc();
  }
  pairo::PaddedText text(static_cast<std::size_t>(stored.size));
  std::size_t made = 0;
  const auto result = libdeflate_deflate_decompress(raw_.get(), stored.bytes.data(), stored.bytes.size(),
                                                    text.data(), text.size(), &made);
  if (result != LIBDEFLATE_SUCCESS || made != stored.size) {
    return std::unexpected(ArchiveError{"invalid deflate data in zip member"});
  }
  if (libdeflate_crc32(0, text.data(), made) != stored.crc32) {
    return std::unexpected(ArchiveError{"zip member fails its CRC-32 check"});
  }
  return text;
}

std::expected<std::string_view, ArchiveError> Decompressor::unwrap(const StoredBytes& stored,
                                                                   pairo::PaddedText& inflated, std::size_t limit) {
  if (stored.layer == Layer::Deflate) {
    auto member = inflate_member(stored, limit);
    if (!member) return std::unexpected(std::move(member.error()));
    inflated = std::move(*member);
    return inflated.view();
  }
  if (stored.layer == Layer::Stored &&
      libdeflate_crc32(0, stored.bytes.data(), stored.bytes.size()) != stored.crc32) {
    return std::unexpected(ArchiveError{"zip member fails its CRC-32 check"});
  }
  return stored.bytes.view();
}

}  // namespace archive
