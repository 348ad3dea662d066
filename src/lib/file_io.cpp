// Descriptors, whole-file reading and line writing, retried where the system
// call was interrupted; each failure is handed back as its errno.
#include "lib/file_io.hpp"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <sys/uio.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <span>

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

bool is_open(int fd) noexcept { return ::fcntl(fd, F_GETFD) != -1 || errno != EBADF; }

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

namespace {

// Up to this many lines go out in one gathering write: text and line feed
// each take one slot, and the system takes at most IOV_MAX slots a call.
constexpr std::size_t lines_per_write = IOV_MAX / 2;

// Writes the slots whole, resuming after a short write at the byte it
// stopped at.
std::expected<void, Errno> write_slots(int fd, std::span<iovec> slots) {
  while (!slots.empty()) {
    const ssize_t put = ::writev(fd, slots.data(), static_cast<int>(slots.size()));
    if (put < 0) {
      if (errno == EINTR) continue;
      return std::unexpected(errno);
    }
    if (put == 0) return std::unexpected(EIO);  // no progress: stop rather than spin
    auto left = static_cast<std::size_t>(put);
    while (!slots.empty() && left >= slots.front().iov_len) {
      left -= slots.front().iov_len;
      slots = slots.subspan(1);
    }
    if (left != 0) {
      slots.front().iov_base = static_cast<char*>(slots.front().iov_base) + left;
      slots.front().iov_len -= left;
    }
  }
  return {};
}

}  // namespace

// Every line is its text and then a line feed, with no buffer of our own:
// the texts are handed to the system where they lie, many lines a call,
// since one system call per line would cost far more than the conversion.
std::expected<void, Errno> write_lines(LineSink sink, const mjai::EncodedEvents& events) {
  static constexpr char line_feed = '\n';  // the system only reads it
  std::array<iovec, 2 * lines_per_write> slots;
  for (std::size_t first = 0; first < events.size(); first += lines_per_write) {
    const std::size_t count = std::min(lines_per_write, events.size() - first);
    for (std::size_t i = 0; i < count; ++i) {
      const std::string_view text = events.at(first + i);
      slots[2 * i] = iovec{const_cast<char*>(text.data()), text.size()};
      slots[2 * i + 1] = iovec{const_cast<char*>(&line_feed), 1};
    }
    auto written = write_slots(sink.fd, std::span(slots).first(2 * count));
    if (!written) {
      if (sink.closed_is_fine && written.error() == EBADF) return {};
      return written;
    }
  }
  return {};
}

}  // namespace pairo::lib
