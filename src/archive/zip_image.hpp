// The bytes of a zip bundle, read at any offset: a file, or memory.
#pragma once

#include <cstdint>
#include <expected>
#include <memory>
#include <string>
#include <string_view>

#include "archive/container.hpp"
#include "archive/member_name.hpp"

namespace archive {

class ZipImage {
 public:
  virtual ~ZipImage() = default;
  [[nodiscard]] virtual std::uint64_t size() const noexcept = 0;
  // Exactly `size` bytes at `offset`, or a failure.
  [[nodiscard]] virtual std::expected<void, ArchiveError> read_at(std::uint64_t offset, void* out,
                                                                  std::size_t size) = 0;
};

[[nodiscard]] std::expected<std::unique_ptr<ZipImage>, ArchiveError> file_zip_image(const std::string& path);
// Bytes that outlive the image.
[[nodiscard]] std::unique_ptr<ZipImage> memory_zip_image(std::string_view bytes);

// The members of the zip that `log_stem` names logs.
[[nodiscard]] std::expected<std::unique_ptr<Source>, ArchiveError> zip_source(std::unique_ptr<ZipImage> image,
                                                                             LogStem log_stem);

}  // namespace archive
