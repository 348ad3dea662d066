#include "archive/decompress.hpp"

#include <bzlib.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <optional>

namespace archive {
namespace {

constexpr std::size_t first_guess_floor = 64 * 1024;


// One decompression stream of libbzip2, ended on every path out.
class BzStream {
 public:
  BzStream() = default;
  BzStream(const BzStream&) = delete;
  BzStream& operator=(const BzStream&) = delete;
  ~BzStream() { end(); }

  [[nodiscard]] bool begin() noexcept {
    end();
    stream_ = bz_stream{};
    live_ = BZ2_bzDecompressInit(&stream_, 0, 0) == BZ_OK;
    return live_;
  }
  void end() noexcept {
    if (live_) BZ2_bzDecompressEnd(&stream_);
    live_ = false;
  }
  [[nodiscard]] bz_stream& get() noexcept { return stream_; }

 private:
  bz_stream stream_{};
  bool live_ = false;
};

}  // namespace

bool is_bzip2(std::string_view bytes) noexcept {
  return bytes.size() >= 4 && bytes.substr(0, 3) == "BZh" && bytes[3] >= '1' && bytes[3] <= '9';
}

std::expected<pairo::PaddedText, ArchiveError> bunzip2(std::string_view data, std::size_t limit) {
  if (!is_bzip2(data)) return std::unexpected(ArchiveError{"invalid bzip2 data"});
  pairo::PaddedText text(std::min(std::max(data.size() * 8, first_guess_floor), limit));
  std::size_t filled = 0;
  BzStream stream;
  while (!data.empty()) {
    if (!stream.begin()) throw std::bad_alloc();
    bz_stream& s = stream.get();
    s.next_in = const_cast<char*>(data.data());
    s.avail_in = static_cast<unsigned>(std::min<std::size_t>(data.size(), 1u << 30));
    int result = BZ_OK;
    while (result != BZ_STREAM_END) {
      if (filled == text.capacity()) {
        if (text.capacity() >= limit) return std::unexpected(too_large("inflated bzip2 data"));
        text.regrow(filled, std::min(text.capacity() * 2, limit));
      }
      const std::size_t room = std::min<std::size_t>(text.capacity() - filled, 1u << 30);
      s.next_out = text.data() + filled;
      s.avail_out = static_cast<unsigned>(room);
      const unsigned in_before = s.avail_in;
      result = BZ2_bzDecompress(&s);
      filled += room - s.avail_out;
      if (result != BZ_OK && result != BZ_STREAM_END) return std::unexpected(ArchiveError{"invalid bzip2 data"});
      // The input is whole: a stream that neither ends nor moves is cut short.
      if (result == BZ_OK && s.avail_in == 0 && s.avail_out != 0) {
        return std::unexpected(ArchiveError{"truncated bzip2 data"});
      }
      if (result == BZ_OK && s.avail_in == in_before && s.avail_out == room) {
        return std::unexpected(ArchiveError{"invalid bzip2 data"});
      }
    }
    data.remove_prefix(data.size() - s.avail_in);
    if (!data.empty() && !is_bzip2(data)) return std::unexpected(ArchiveError{"invalid bzip2 data"});
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
