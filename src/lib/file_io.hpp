// What the file entry point builds on: path arguments (paths.cpp),
// the shared descriptors (sysio/fd.hpp) and line writing (file_io.cpp). System failures travel as errno values up to
// the entry point, which raises them.
#pragma once

#include <Python.h>
#include <unistd.h>

#include <expected>
#include <string_view>
#include <utility>

#include "mjai/mjai.hpp"
#include "sysio/fd.hpp"

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

using sysio::create_for_writing;
using sysio::Errno;
using sysio::Fd;
using sysio::is_open;

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
