// Opening and reading an input, each failure in its fixed words.
#include "sysio/input.hpp"

#include <cerrno>
#include <string>

namespace sysio {

std::expected<pairo::PaddedText, pairo::Failure> read_input(std::string_view path, Fd& input, std::size_t limit,
                                                           Cancel cancel) {
  const std::string name(path);  // NUL-terminated for the system
  auto opened = path.find('\0') != std::string_view::npos ? std::unexpected(ENOENT) : open_for_reading(name.c_str());
  if (!opened) return std::unexpected(pairo::open_failure(name, opened.error()));
  input = std::move(*opened);
  auto text = read_whole(input.get(), limit, cancel);
  if (!text && text.error() == EFBIG && limit != SIZE_MAX) return std::unexpected(pairo::too_large_failure());
  if (!text) return std::unexpected(pairo::read_failure(text.error()));
  return std::move(*text);
}

}  // namespace sysio
