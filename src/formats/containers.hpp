// A container opened by the registry's row that tells it: a bundle by its
// name, a downloader's database by its content; read as a stream of
// entries (archive/container.hpp), its members logs by the registry's
// name rule for the target.
#pragma once

#include <cstddef>
#include <expected>
#include <memory>
#include <optional>
#include <string>

#include "archive/container.hpp"
#include "formats/registry.hpp"

namespace formats {

class Container {
 public:
  // The container `path` names; anything else, or a database of no layout,
  // fails here. `cancel`, raised, makes its long reads (here and in next())
  // give up, failing the container.
  [[nodiscard]] static std::expected<Container, archive::ArchiveError> open(const std::string& path,
                                                                            Target target = Target::Mjai,
                                                                            sysio::Cancel cancel = nullptr);

  // The next entry in the container's order; nothing once it is done (and
  // after its own failure, which carries the container's path as its name).
  [[nodiscard]] std::optional<archive::Entry> next() { return source_->next(); }

  // The number of entries when known up front: a database's rows, a zip's
  // members; nothing for tar.
  [[nodiscard]] std::optional<std::size_t> size_hint() const noexcept { return source_->size_hint(); }

  // Its rows whose game id `filter` leaves out are skipped unread
  // (archive::Source::leave_out).
  void leave_out(archive::IdFilter filter) { source_->leave_out(std::move(filter)); }

  // The folder of its outputs: its file name without the suffix that told
  // it (a database's, told by content: without its last suffix).
  [[nodiscard]] const std::string& output_folder() const noexcept { return output_folder_; }

 private:
  Container(std::unique_ptr<archive::Source> source, std::string folder)
      : source_(std::move(source)), output_folder_(std::move(folder)) {}
  std::unique_ptr<archive::Source> source_;
  std::string output_folder_;
};

// Whether the path names a container: by its name, or by its first 16
// bytes (read here). Folders are never containers.
[[nodiscard]] bool is_container(const std::string& path);

}  // namespace formats
