// Descriptors and the system calls on them that the module's file entry
// point and the batch engine share: opening, whole-file reading and
// gathering writes, each retried where interrupted and failing with its
// errno. Free of Python, so that worker threads can use it.
#pragma once

#include <sys/uio.h>
#include <unistd.h>

#include <cstdint>
#include <expected>
#include <span>
#include <string_view>
#include <utility>

#include "base/padded_text.hpp"
#include "sysio/cancel.hpp"

namespace sysio {

using Errno = int;

// One owner for one open descriptor; -1 when it owns none.
class Fd {
 public:
  Fd() noexcept = default;
  explicit Fd(int owned) noexcept : fd_(owned) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  Fd(Fd&& other) noexcept : fd_(other.release()) {}
  Fd& operator=(Fd&& other) noexcept {
    if (this != &other) {
      reset();
      fd_ = other.release();
    }
    return *this;
  }
  ~Fd() { reset(); }

  [[nodiscard]] int get() const noexcept { return fd_; }
  [[nodiscard]] int release() noexcept { return std::exchange(fd_, -1); }
  // Never retried: after an interrupted close the descriptor is gone anyway.
  void reset() noexcept {
    if (fd_ >= 0) ::close(std::exchange(fd_, -1));
  }
  // Closes now and tells whether the file's last writes failed on the way
  // (some file systems report a full disk only here).
  [[nodiscard]] std::expected<void, Errno> close_checked() noexcept;

 private:
  int fd_ = -1;
};

// Whether the number names an open descriptor of the process.
[[nodiscard]] bool is_open(int fd) noexcept;

// Read-only, close-on-exec, and without blocking: a FIFO with no writer
// opens at once (and reads as empty) instead of waiting for one.
[[nodiscard]] std::expected<Fd, Errno> open_for_reading(const char* path);
// Write-only, created (0666 before the umask) or truncated, close-on-exec.
[[nodiscard]] std::expected<Fd, Errno> create_for_writing(const char* path);
// The same, but a new file only.
[[nodiscard]] std::expected<Fd, Errno> create_exclusive(const char* path);

// A FIFO opened before its writer reads as ended: this waits until a writer
// has written, or come and gone (or `cancel`, ECANCELED). Nothing for any
// other file.
[[nodiscard]] std::expected<void, Errno> await_writer(int fd, Cancel cancel = nullptr);

// Up to `room` bytes, 0 only at the end; a descriptor with nothing to read
// yet (a pipe, a terminal, a kernel log) is waited on until it has, or
// until `cancel` is raised (ECANCELED).
[[nodiscard]] std::expected<std::size_t, Errno> read_some(int fd, char* into, std::size_t room,
                                                          Cancel cancel = nullptr);

// Everything from the current position to the end of the file; EFBIG,
// having read no further, when that is more than `limit` bytes.
[[nodiscard]] std::expected<pairo::PaddedText, Errno> read_whole(int fd, std::size_t limit = SIZE_MAX,
                                                                 Cancel cancel = nullptr);

// Writes the slots whole, as many a call as the system takes, resuming
// after a short write at the byte it stopped at.
[[nodiscard]] std::expected<void, Errno> write_slots(int fd, std::span<iovec> slots);
[[nodiscard]] std::expected<void, Errno> write_all(int fd, std::string_view bytes);

}  // namespace sysio
