// Line writing: each failure is handed back as its errno.
#include "lib/file_io.hpp"

#include <cerrno>

#include "sysio/lines.hpp"

namespace pairo::lib {

std::expected<void, Errno> write_lines(LineSink sink, const mjai::EncodedEvents& events) {
  auto written = sysio::write_event_lines(sink.fd, events);
  if (!written && sink.closed_is_fine && written.error() == EBADF) return {};
  return written;
}

}  // namespace pairo::lib
