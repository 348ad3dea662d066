// Descriptors, whole-file reading and line writing, retried where the system
// call was interrupted; each failure is handed back as its errno.
#include "lib/file_io.hpp"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace pairo::lib {
namespace {

std::expected<Fd, Errno> open_retrying(const char* path, int flags, mode_t mode) {
  for (;;) {
    const int fd = ::open(path, flags, mode);
    if (fd >= 0) return Fd(fd);
    if (errno != EINTR) return std::unexpected(errno);
  }
}

std::expected<std::size_t, Errno> read_some(int fd, char* into, std::size_t room) {
  for (;;) {
    const ssize_t got = ::read(fd, into, room);
    if (got >= 0) return static_cast<std::size_t>(got);
    if (errno != EINTR) return std::unexpected(errno);
  }
}

std::expected<void, Errno> write_all(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t put = ::write(fd, bytes.data(), bytes.size());
    if (put < 0) {
      if (errno == EINTR) continue;
      return std::unexpected(errno);
    }
    if (put == 0) return std::unexpected(EIO);  // no progress: stop rather than spin
    bytes.remove_prefix(static_cast<std::size_t>(put));
  }
  return {};
}

// The bytes still to come by the file's status; 0 where it has no size.
std::size_t remaining_size(int fd) noexcept {
  struct stat status{};
  if (::fstat(fd, &status) != 0) return 0;
  const off_t position = ::lseek(fd, 0, SEEK_CUR);
  if (position < 0 || status.st_size <= position) return 0;
  return static_cast<std::size_t>(status.st_size - position);
}

// A bigger buffer holding the `filled` bytes of `text` followed by `more`.
tenhou::PaddedText grown(const tenhou::PaddedText& text, std::size_t filled, std::string_view more) {
  const std::size_t capacity = std::max({text.capacity() * 2, filled + more.size(), std::size_t{8192}});
  tenhou::PaddedText bigger(capacity);
  if (filled != 0) std::memcpy(bigger.data(), text.data(), filled);
  std::memcpy(bigger.data() + filled, more.data(), more.size());
  return bigger;
}

}  // namespace

std::expected<Fd, Errno> open_for_reading(const char* path) {
  return open_retrying(path, O_RDONLY | O_CLOEXEC, 0);
}

std::expected<Fd, Errno> create_for_writing(const char* path) {
  return open_retrying(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
}

std::expected<tenhou::PaddedText, Errno> read_whole(int fd) {
  tenhou::PaddedText text(remaining_size(fd));
  std::size_t filled = 0;
  for (;;) {
    if (filled == text.capacity()) {
      // Full as the size promised: a small probe tells the end of the file
      // from a file that grew (or had no size) without growing the buffer.
      char probe[64];
      auto got = read_some(fd, probe, sizeof probe);
      if (!got) return std::unexpected(got.error());
      if (*got == 0) break;
      text = grown(text, filled, std::string_view(probe, *got));
      filled += *got;
      continue;
    }
    auto got = read_some(fd, text.data() + filled, text.capacity() - filled);
    if (!got) return std::unexpected(got.error());
    if (*got == 0) break;
    filled += *got;
  }
  text.resize_within(filled);
  return text;
}

std::expected<void, Errno> write_lines(LineSink sink, const mjai::EncodedEvents& events) {
  const auto put = [&](std::string_view bytes) -> std::expected<void, Errno> {
    auto written = write_all(sink.fd, bytes);
    if (!written && !(sink.closed_is_fine && written.error() == EBADF)) return written;
    return {};
  };
  for (std::size_t i = 0; i < events.size(); ++i) {
    if (auto text = put(events.at(i)); !text) return text;
    if (auto feed = put("\n"); !feed) return feed;
  }
  return {};
}

}  // namespace pairo::lib
