// Descriptors, whole-file reading and gathering writes.
#include "sysio/fd.hpp"

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace sysio {
namespace {

std::expected<Fd, Errno> open_retrying(const char* path, int flags, mode_t mode) {
  for (;;) {
    const int fd = ::open(path, flags, mode);
    if (fd >= 0) return Fd(fd);
    if (errno != EINTR) return std::unexpected(errno);
  }
}

// How long one wait for input lasts before the cancel flag is looked at.
constexpr int cancel_interval_ms = 20;

std::expected<void, Errno> wait_readable(int fd, Cancel cancel) {
  for (;;) {
    if (cancelled(cancel)) return std::unexpected(ECANCELED);
    pollfd slot{fd, POLLIN, 0};
    const int ready = ::poll(&slot, 1, cancel ? cancel_interval_ms : -1);
    if (ready > 0) return {};
    if (ready < 0 && errno != EINTR) return std::unexpected(errno);
  }
}

// The bytes still to come by the file's status; 0 where it has no size.
std::size_t remaining_size(int fd, const struct stat& status) noexcept {
  const off_t position = ::lseek(fd, 0, SEEK_CUR);
  if (position < 0 || status.st_size <= position) return 0;
  return static_cast<std::size_t>(status.st_size - position);
}

}  // namespace

std::expected<void, Errno> Fd::close_checked() noexcept {
  const int fd = release();
  if (fd >= 0 && ::close(fd) != 0 && errno != EINTR) return std::unexpected(errno);
  return {};
}

bool is_open(int fd) noexcept { return ::fcntl(fd, F_GETFD) != -1 || errno != EBADF; }

std::expected<Fd, Errno> open_for_reading(const char* path) {
  return open_retrying(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK, 0);
}

std::expected<void, Errno> await_writer(int fd, Cancel cancel) {
  struct stat status{};
  if (::fstat(fd, &status) != 0 || !S_ISFIFO(status.st_mode)) return {};
  return wait_readable(fd, cancel);
}

namespace {

// The file's status, once, for both what read_whole asks of it: whether it
// is a FIFO still without a writer, and how many bytes it promises.
std::expected<std::size_t, Errno> awaited_size(int fd, Cancel cancel) {
  struct stat status{};
  if (::fstat(fd, &status) != 0) return 0;
  if (S_ISFIFO(status.st_mode)) {
    if (auto ready = wait_readable(fd, cancel); !ready) return std::unexpected(ready.error());
    return 0;
  }
  return remaining_size(fd, status);
}

}  // namespace

std::expected<std::size_t, Errno> read_some(int fd, char* into, std::size_t room, Cancel cancel) {
  for (;;) {
    const ssize_t got = ::read(fd, into, room);
    if (got >= 0) return static_cast<std::size_t>(got);
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return std::unexpected(errno);
    if (auto ready = wait_readable(fd, cancel); !ready) return std::unexpected(ready.error());
  }
}

std::expected<Fd, Errno> create_for_writing(const char* path) {
  return open_retrying(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
}

std::expected<Fd, Errno> create_exclusive(const char* path) {
  return open_retrying(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}

std::expected<pairo::PaddedText, Errno> read_whole(int fd, std::size_t limit, Cancel cancel) {
  const auto size = awaited_size(fd, cancel);
  if (!size) return std::unexpected(size.error());
  pairo::PaddedText text(std::min(*size, limit));
  std::size_t filled = 0;
  for (;;) {
    if (filled == text.capacity()) {
      // Full as the size promised: a small probe tells the end of the file
      // from a file that grew (or had no size, as a pipe) without growing
      // the buffer.
      char probe[64];
      // Past the limit, one byte tells enough.
      auto got = read_some(fd, probe, limit - filled >= sizeof probe ? sizeof probe : limit - filled + 1, cancel);
      if (!got) return std::unexpected(got.error());
      if (*got == 0) break;
      if (*got > limit - filled) return std::unexpected(EFBIG);
      text.regrow(filled, std::min(std::max({text.capacity() * 2, filled + *got, std::size_t{8192}}), limit));
      std::memcpy(text.data() + filled, probe, *got);
      filled += *got;
      continue;
    }
    auto got = read_some(fd, text.data() + filled, text.capacity() - filled, cancel);
    if (!got) return std::unexpected(got.error());
    if (*got == 0) break;
    filled += *got;
  }
  text.resize_within(filled);
  return text;
}

std::expected<void, Errno> write_slots(int fd, std::span<iovec> slots) {
  while (!slots.empty()) {
    const int count = static_cast<int>(std::min<std::size_t>(slots.size(), IOV_MAX));
    const ssize_t put = ::writev(fd, slots.data(), count);
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

std::expected<void, Errno> write_all(int fd, std::string_view bytes) {
  iovec slot{const_cast<char*>(bytes.data()), bytes.size()};  // the system only reads it
  return write_slots(fd, std::span(&slot, 1));
}

}  // namespace sysio
