// Zip and tar bundles of logs, told by their names.
#pragma once

#include <expected>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "archive/byte_stream.hpp"
#include "archive/container.hpp"

namespace archive {

enum class BundleKind : std::uint8_t { Zip, Tar };

struct BundleName {
  BundleKind kind;
  Compression compression;  // tar only
  std::string_view stem;    // the file name without the suffix
};

// ".zip", ".tar", ".tar.gz", ".tgz", ".tar.bz2", ".tar.xz" (any letter case).
[[nodiscard]] std::optional<BundleName> bundle_name(std::string_view file_name) noexcept;

[[nodiscard]] std::expected<std::unique_ptr<Source>, ArchiveError> open_tar(const std::string& path,
                                                                           Compression compression,
                                                                           sysio::Cancel cancel = nullptr);
// A tar read from any stream (the fuzz target hands it memory).
[[nodiscard]] std::unique_ptr<Source> tar_source(std::unique_ptr<ByteStream> stream, sysio::Cancel cancel = nullptr);

[[nodiscard]] std::expected<std::unique_ptr<Source>, ArchiveError> open_zip(const std::string& path);

}  // namespace archive
