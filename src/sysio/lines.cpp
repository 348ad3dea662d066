// Event lines through gathering writes.
#include "sysio/lines.hpp"

#include <limits.h>
#include <sys/uio.h>

#include <algorithm>
#include <array>
#include <span>
#include <string_view>

namespace sysio {

std::expected<void, Errno> write_event_lines(int fd, const mjai::EncodedEvents& events) {
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
