// Event lines through gathering writes, or gathered and deflated.
#include "sysio/lines.hpp"

#include <limits.h>
#include <sys/uio.h>

#include <algorithm>
#include <array>
#include <span>
#include <string>
#include <string_view>

namespace sysio {

namespace {

std::string joined_lines(const mjai::EncodedEvents& events) {
  std::size_t size = 0;
  for (std::size_t i = 0; i < events.size(); ++i) size += events.at(i).size() + 1;
  std::string text;
  text.reserve(size);
  for (std::size_t i = 0; i < events.size(); ++i) {
    text += events.at(i);
    text += '\n';
  }
  return text;
}

}  // namespace

std::expected<void, Errno> write_text(int fd, std::string_view text, gzip::Deflater* deflater) {
  return deflater ? write_all(fd, deflater->deflate(text)) : write_all(fd, text);
}

std::expected<void, Errno> write_event_lines(int fd, const mjai::EncodedEvents& events, gzip::Deflater* deflater) {
  if (deflater) return write_all(fd, deflater->deflate(joined_lines(events)));
  static constexpr char line_feed = '\n';  // the system only reads it
  // Text and line feed take a slot each; the system takes at most IOV_MAX a call.
  constexpr std::size_t lines_per_write = IOV_MAX / 2;
  std::array<iovec, 2 * lines_per_write> slots;
  for (std::size_t first = 0; first < events.size(); first += lines_per_write) {
    const std::size_t count = std::min(lines_per_write, events.size() - first);
    for (std::size_t i = 0; i < count; ++i) {
      const std::string_view text = events.at(first + i);
      slots[2 * i] = iovec{const_cast<char*>(text.data()), text.size()};
      slots[2 * i + 1] = iovec{const_cast<char*>(&line_feed), 1};
    }
    if (auto written = write_slots(fd, std::span(slots).first(2 * count)); !written) return written;
  }
  return {};
}

}  // namespace sysio
