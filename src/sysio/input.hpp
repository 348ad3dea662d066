// An input file read whole, failing in the words every entry point uses for
// it (base/failure.hpp): the file entry point of _pairo and the engine.
#pragma once

#include <cstdint>
#include <expected>
#include <string_view>

#include "base/failure.hpp"
#include "base/padded_text.hpp"
#include "sysio/fd.hpp"

namespace sysio {

// The whole file at `path`, its descriptor left open in `input` (the caller
// may need to know which number it took). A name with a NUL inside names no
// file. A file of more than `limit` bytes is read no further and fails; a
// pipe with nothing to read yet is waited on until `cancel` is raised.
[[nodiscard]] std::expected<pairo::PaddedText, pairo::Failure> read_input(std::string_view path, Fd& input,
                                                                          std::size_t limit = SIZE_MAX,
                                                                          Cancel cancel = nullptr);

}  // namespace sysio
