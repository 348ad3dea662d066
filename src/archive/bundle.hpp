// Zip and tar bundles of logs, read member by member. Which files are
// bundles, and through which decompression a tar is read, is the
// registry's (formats/registry.hpp); a member is a log by the rule handed in.
#pragma once

#include <expected>
#include <memory>
#include <string>

#include "archive/byte_stream.hpp"
#include "archive/container.hpp"
#include "archive/member_name.hpp"

namespace archive {

// A tar read from any stream: a file's, decompressed or not, or memory's.
[[nodiscard]] std::unique_ptr<Source> tar_source(std::unique_ptr<ByteStream> stream, LogStem log_stem,
                                                 sysio::Cancel cancel = nullptr);

[[nodiscard]] std::expected<std::unique_ptr<Source>, ArchiveError> open_zip(const std::string& path, LogStem log_stem);

}  // namespace archive
