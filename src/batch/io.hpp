// The engine's system calls: descriptors, whole-file reading, gathering
// writes and folders, each retried where interrupted and failing with its
// errno. Inside the batch directory only.
#pragma once

#include <sys/uio.h>
#include <unistd.h>

#include <expected>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "tenhou/tenhou.hpp"

namespace batch::io {

using Errno = int;

// One owner for one open descriptor; -1 when it owns none.
class Fd {
 public:
  Fd() noexcept = default;
  explicit Fd(int owned) noexcept : fd_(owned) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Fd& operator=(Fd&& other) noexcept {
    if (this != &other) {
      reset();
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  ~Fd() { reset(); }

  [[nodiscard]] int get() const noexcept { return fd_; }
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

[[nodiscard]] std::expected<Fd, Errno> open_for_reading(const std::string& path);
// A new file only, write-only, 0666 before the umask.
[[nodiscard]] std::expected<Fd, Errno> create_exclusive(const std::string& path);

// Everything from the current position to the end of the file.
[[nodiscard]] std::expected<tenhou::PaddedText, Errno> read_whole(int fd);

// Writes the slots whole, resuming after a short write where it stopped.
[[nodiscard]] std::expected<void, Errno> write_slots(int fd, std::span<iovec> slots);
[[nodiscard]] std::expected<void, Errno> write_all(int fd, std::string_view bytes);

[[nodiscard]] bool is_folder(const std::string& path) noexcept;
[[nodiscard]] bool exists(const std::string& path) noexcept;

// The folder part of a path ("." for a bare name) and the last component.
[[nodiscard]] std::string parent_of(std::string_view path);
[[nodiscard]] std::string_view base_name(std::string_view path) noexcept;

}  // namespace batch::io
