// Line writing: each failure is handed back as its errno.
#include "lib/file_io.hpp"

#include <limits.h>
#include <sys/uio.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <span>

namespace pairo::lib {
namespace {

// Up to this many lines go out in one gathering write: text and line feed
// each take one slot, and the system takes at most IOV_MAX slots a call.
constexpr std::size_t lines_per_write = IOV_MAX / 2;

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
    auto written = sysio::write_slots(sink.fd, std::span(slots).first(2 * count));
    if (!written) {
      if (sink.closed_is_fine && written.error() == EBADF) return {};
      return written;
    }
  }
  return {};
}

}  // namespace pairo::lib
