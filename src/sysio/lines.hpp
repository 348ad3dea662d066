// Event texts written as lines straight to a descriptor.
#pragma once

#include <expected>

#include "mjai/mjai.hpp"
#include "sysio/fd.hpp"

namespace sysio {

// Each event text, then a line feed, with no buffer of our own: the texts
// are handed to the system where they lie, many lines a call, since one
// system call per line would cost far more than the conversion.
[[nodiscard]] std::expected<void, Errno> write_event_lines(int fd, const mjai::EncodedEvents& events);

}  // namespace sysio
