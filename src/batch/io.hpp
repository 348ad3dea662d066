// The engine's system calls: the shared descriptors, reading and writing,
// and folders. Inside the batch directory only.
#pragma once

#include <sys/uio.h>
#include <unistd.h>

#include <expected>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "sysio/fd.hpp"

namespace batch::io {

using sysio::Errno;
using sysio::Fd;
// A new file only, write-only, 0666 before the umask.
[[nodiscard]] inline std::expected<Fd, Errno> create_exclusive(const std::string& path) {
  return sysio::create_exclusive(path.c_str());
}

[[nodiscard]] bool is_folder(const std::string& path) noexcept;
[[nodiscard]] bool exists(const std::string& path) noexcept;

// The folder part of a path ("." for a bare name) and the last component.
[[nodiscard]] std::string parent_of(std::string_view path);
[[nodiscard]] std::string_view base_name(std::string_view path) noexcept;

}  // namespace batch::io
