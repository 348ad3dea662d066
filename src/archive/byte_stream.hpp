// A bundle file read front to back, through the decompressor its name
// asks for: tar bundles are one stream, read once, never held whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <memory>
#include <string>

#include "archive/error.hpp"
#include "sysio/cancel.hpp"

namespace archive {

enum class Compression : std::uint8_t { None, Gzip, Bzip2, Xz };

class ByteStream {
 public:
  virtual ~ByteStream() = default;
  // Up to `size` bytes; 0 only at the end of the stream. A stream cut short
  // or corrupt fails, and stays failed.
  [[nodiscard]] virtual std::expected<std::size_t, ArchiveError> read(char* out, std::size_t size) = 0;
};

// A file that has nothing to read yet (a pipe) is waited on until `cancel`.
[[nodiscard]] std::expected<std::unique_ptr<ByteStream>, ArchiveError> open_byte_stream(const std::string& path,
                                                                                      Compression compression,
                                                                                      sysio::Cancel cancel = nullptr);

// The same over bytes already in memory, which must outlive the stream.
[[nodiscard]] std::unique_ptr<ByteStream> memory_byte_stream(std::string_view bytes, Compression compression);

}  // namespace archive
