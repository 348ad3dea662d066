// A bundle read front to back as one stream, read once and never held
// whole: the file's bytes, or memory's, through the decoder of the
// compression its name asks for (the registry's compression rows point at
// each decoder here).
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <memory>
#include <string>
#include <string_view>

#include "archive/error.hpp"
#include "sysio/cancel.hpp"

namespace archive {

class ByteStream {
 public:
  virtual ~ByteStream() = default;
  // Up to `size` bytes; 0 only at the end of the stream. A stream cut short
  // or corrupt fails, and stays failed.
  [[nodiscard]] virtual std::expected<std::size_t, ArchiveError> read(char* out, std::size_t size) = 0;
};

// A file's bytes as they are. A file that has nothing to read yet (a pipe)
// is waited on until `cancel`.
[[nodiscard]] std::expected<std::unique_ptr<ByteStream>, ArchiveError> open_file_stream(const std::string& path,
                                                                                      sysio::Cancel cancel = nullptr);

// Bytes already in memory, which must outlive the stream.
[[nodiscard]] std::unique_ptr<ByteStream> memory_byte_stream(std::string_view bytes);

// The decompressed bytes of `compressed`: gzip (its members one after
// another), bzip2 (its streams one after another), xz.
[[nodiscard]] std::unique_ptr<ByteStream> gzip_stream(std::unique_ptr<ByteStream> compressed);
[[nodiscard]] std::unique_ptr<ByteStream> bzip2_stream(std::unique_ptr<ByteStream> compressed);
[[nodiscard]] std::unique_ptr<ByteStream> xz_stream(std::unique_ptr<ByteStream> compressed);

}  // namespace archive
