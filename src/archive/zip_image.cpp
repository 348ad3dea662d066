#include "archive/zip_image.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "sysio/fd.hpp"

namespace archive {
namespace {

class FileImage final : public ZipImage {
 public:
  FileImage(sysio::Fd fd, std::uint64_t size) : fd_(std::move(fd)), size_(size) {}
  std::uint64_t size() const noexcept override { return size_; }
  std::expected<void, ArchiveError> read_at(std::uint64_t offset, void* out, std::size_t size) override {
    auto* to = static_cast<char*>(out);
    while (size != 0) {
      const ssize_t got = ::pread(fd_.get(), to, size, static_cast<off_t>(offset));
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) return std::unexpected(ArchiveError{std::string("cannot read bundle: ") + std::strerror(errno), pairo::FailureCode::Unreadable});
      if (got == 0) return std::unexpected(ArchiveError{"truncated zip bundle"});
      to += got;
      offset += static_cast<std::uint64_t>(got);
      size -= static_cast<std::size_t>(got);
    }
    return {};
  }

 private:
  sysio::Fd fd_;
  std::uint64_t size_;
};

class MemoryImage final : public ZipImage {
 public:
  explicit MemoryImage(std::string_view bytes) : bytes_(bytes) {}
  std::uint64_t size() const noexcept override { return bytes_.size(); }
  std::expected<void, ArchiveError> read_at(std::uint64_t offset, void* out, std::size_t size) override {
    if (offset > bytes_.size() || bytes_.size() - offset < size) {
      return std::unexpected(ArchiveError{"truncated zip bundle"});
    }
    if (size != 0) std::memcpy(out, bytes_.data() + offset, size);
    return {};
  }

 private:
  std::string_view bytes_;
};

}  // namespace

std::expected<std::unique_ptr<ZipImage>, ArchiveError> file_zip_image(const std::string& path) {
  auto fd = sysio::open_for_reading(path.c_str());
  if (!fd) return std::unexpected(ArchiveError{std::string("cannot open bundle: ") + std::strerror(fd.error()), pairo::FailureCode::Unreadable});
  struct stat st{};
  if (::fstat(fd->get(), &st) != 0) {
    return std::unexpected(ArchiveError{std::string("cannot open bundle: ") + std::strerror(errno), pairo::FailureCode::Unreadable});
  }
  return std::make_unique<FileImage>(std::move(*fd), static_cast<std::uint64_t>(st.st_size));
}

std::unique_ptr<ZipImage> memory_zip_image(std::string_view bytes) { return std::make_unique<MemoryImage>(bytes); }

}  // namespace archive
