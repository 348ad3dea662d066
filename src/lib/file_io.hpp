// What the file entry point builds on: path arguments (paths.cpp),
// descriptors, whole-file reading and line writing (file_io.cpp). System failures travel as errno values up to
// the entry point, which raises them.
#pragma once

#include <Python.h>
#include <unistd.h>

#include <expected>
#include <string_view>
#include <utility>

#include "mjai/mjai.hpp"
#include "tenhou/tenhou.hpp"

namespace pairo::lib {

// ---- paths --------------------------------------------------------------

// The operating-system path of a path argument: a new bytes object, or null
// with the exception set (a prefixed TypeError for a wrong type; the
// interpreter's UnicodeEncodeError, unchanged, for text the file system
// cannot represent).
[[nodiscard]] PyObject* path_argument(PyObject* argument, const char* parameter);

// True where the path names standard output: "-" compared component by
// component, so "-/" and "-/." match and "./-" does not.
[[nodiscard]] bool is_standard_output_path(std::string_view path) noexcept;

// ---- descriptors --------------------------------------------------------

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

 private:
  int fd_ = -1;
};

// Whether the number names an open descriptor of the process.
[[nodiscard]] bool is_open(int fd) noexcept;

// Read-only, close-on-exec.
[[nodiscard]] std::expected<Fd, Errno> open_for_reading(const char* path);

// Write-only, created (0666 before the umask) or truncated, close-on-exec.
[[nodiscard]] std::expected<Fd, Errno> create_for_writing(const char* path);

// Everything from the current position to the end of the file.
[[nodiscard]] std::expected<tenhou::PaddedText, Errno> read_whole(int fd);

// Where the lines go. Standard output closed by the caller swallows them: a
// write there fails with EBADF and loses nothing. Not so a descriptor open
// for reading only, which fails the same way.
struct LineSink {
  int fd;
  bool closed_is_fine;
};

// Each event text, then a line feed, written straight to the descriptor.
[[nodiscard]] std::expected<void, Errno> write_lines(LineSink sink, const mjai::EncodedEvents& events);

}  // namespace pairo::lib
