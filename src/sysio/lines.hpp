// The one writer of a converted log's output to a descriptor (a file, or
// standard output): event texts as lines, or a whole text, either as they
// are or gzip-compressed.
#pragma once

#include <expected>
#include <string_view>

#include "gzip/gzip.hpp"
#include "mjai/mjai.hpp"
#include "sysio/fd.hpp"

namespace sysio {

// Each event text, then a line feed. Plain, with no buffer of our own: the
// texts are handed to the system where they lie, many lines a call, since
// one system call per line would cost far more than the conversion. With a
// deflater, the lines are gathered into one text and deflated in one call.
[[nodiscard]] std::expected<void, Errno> write_event_lines(int fd, const mjai::EncodedEvents& events,
                                                           gzip::Deflater* deflater = nullptr);

// The text as it is, or deflated.
[[nodiscard]] std::expected<void, Errno> write_text(int fd, std::string_view text, gzip::Deflater* deflater = nullptr);

}  // namespace sysio
