// A record's bytes as a container stores them, and what undoes them on a
// worker thread: a zip member's own deflate layer, and whole-buffer bzip2.
// Which compression a record's bytes are in is told by the registry's
// compression rows (formats/bytes.hpp), which make the record's text.
#pragma once

#include <libdeflate.h>

#include <cstddef>
#include <cstdint>
#include <expected>
#include <memory>
#include <string>
#include <string_view>

#include "archive/error.hpp"
#include "base/padded_text.hpp"

namespace archive {

inline constexpr std::size_t record_limit = pairo::record_limit;

// How the container itself compressed the bytes it holds.
enum class Layer : std::uint8_t {
  None,     // a database blob, a tar member: the bytes as the record was kept
  Stored,   // a zip member stored as it is (method 0), checked by its CRC-32
  Deflate,  // a zip member deflated (method 8)
};

struct StoredBytes {
  pairo::PaddedText bytes;
  Layer layer = Layer::None;
  std::uint64_t size = 0;   // Stored, Deflate: the member's size as the bundle declares it
  std::uint32_t crc32 = 0;  // Stored, Deflate: its declared CRC-32
};

[[nodiscard]] bool is_bzip2(std::string_view bytes) noexcept;

// Every bzip2 stream of `data` decompressed and concatenated; at most `limit` bytes.
[[nodiscard]] std::expected<pairo::PaddedText, ArchiveError> bunzip2(std::string_view data,
                                                                      std::size_t limit = record_limit);

// The state one worker thread keeps to undo its records' container layer;
// made on the first zip member, as most records have none.
class Decompressor {
 public:
  // The bytes under the container's own layer, checked by their CRC-32
  // where the bundle gives one: `stored.bytes` themselves, or a deflated
  // member inflated into `inflated` (at most `limit` bytes).
  [[nodiscard]] std::expected<std::string_view, ArchiveError> unwrap(const StoredBytes& stored,
                                                                      pairo::PaddedText& inflated,
                                                                      std::size_t limit = record_limit);

 private:
  [[nodiscard]] std::expected<pairo::PaddedText, ArchiveError> inflate_member(const StoredBytes& stored,
                                                                               std::size_t limit);
  struct Free {
    void operator()(libdeflate_decompressor* d) const noexcept { libdeflate_free_decompressor(d); }
  };
  std::unique_ptr<libdeflate_decompressor, Free> raw_;
};

}  // namespace archive
