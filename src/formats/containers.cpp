// Containers opened by their rows: the row told by the file's name, else by
// its first bytes, and each row's opener over the archive room's readers.
#include "formats/containers.hpp"

#include <sys/stat.h>

#include <cerrno>

#include "archive/bundle.hpp"
#include "archive/database.hpp"
#include "archive/member_name.hpp"
#include "formats/bytes.hpp"
#include "formats/readers.hpp"
#include "sysio/fd.hpp"

namespace formats {
namespace {

using archive::ArchiveError;

[[nodiscard]] std::string_view file_name_of(std::string_view path) noexcept {
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  return path.substr(path.find_last_of('/') + 1);
}

// The first 16 bytes of the file, fewer for a shorter one.
[[nodiscard]] std::string head_of(const std::string& path) {
  auto fd = sysio::open_for_reading(path.c_str());
  if (!fd) return {};
  char head[16];
  ssize_t got;
  do {
    got = ::pread(fd->get(), head, sizeof head, 0);
  } while (got < 0 && errno == EINTR);
  return got > 0 ? std::string(head, static_cast<std::size_t>(got)) : std::string();
}

// A container told by content puts its outputs under its name without its
// last suffix ("2024.db" → "2024").
[[nodiscard]] std::string without_last_suffix(std::string_view name) {
  const auto dot = name.find_last_of('.');
  if (dot == std::string_view::npos || dot == 0) return std::string(name);
  return std::string(name.substr(0, dot));
}

// A source whose own failure, the last entry, carries the container's path.
class Named final : public archive::Source {
 public:
  Named(std::unique_ptr<Source> inner, std::string path) : inner_(std::move(inner)), path_(std::move(path)) {}
  std::optional<archive::Entry> next() override {
    auto entry = inner_->next();
    if (entry) {
      if (auto* failure = std::get_if<archive::EntryFailure>(&*entry); failure && failure->name.empty()) {
        failure->name = path_;
      }
    }
    return entry;
  }
  std::optional<std::size_t> size_hint() const noexcept override { return inner_->size_hint(); }

 private:
  std::unique_ptr<Source> inner_;
  std::string path_;
};

}  // namespace

bool is_container(const std::string& path) {
  struct stat st{};
  if (::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
  return container_named(file_name_of(path)) || container_told(head_of(path));
}

std::expected<Container, ArchiveError> Container::open(const std::string& path, Target target,
                                                       sysio::Cancel cancel) {
  const std::string_view name = file_name_of(path);
  const auto named = container_named(name);
  const ContainerFormat* row = named ? named->row : container_told(head_of(path));
  if (!row) {
    return std::unexpected(ArchiveError{"not a game-record database or a bundle: no SQLite header, no " +
                                            listed(input_names().bundles, "or") + " name",
                                        pairo::FailureCode::NotAContainer});
  }
  std::string folder = named ? std::string(named->stem) : without_last_suffix(name);
  // The folder is named by whoever named the file: "...zip" would put its
  // records beside the output folder, "..zip" into it unchecked. It is held
  // to the rule a member's path is, before anything is read.
  if (const auto checked = archive::safe_member_path(folder); !checked || *checked != folder) {
    return std::unexpected(ArchiveError{"unsafe container name: its output folder would be " + archive::shown(folder),
                                        pairo::FailureCode::UnsafeName});
  }
  auto source = row->open(*row, path, log_stem_rule(target), cancel);
  if (!source) return std::unexpected(source.error());
  return Container(std::make_unique<Named>(std::move(*source), path), std::move(folder));
}

namespace readers {

// The duplicate finder reads a row again on its own decoders, under its lock.
Opened open_database(const ContainerFormat&, const std::string& path, archive::LogStem, sysio::Cancel cancel) {
  auto decoders = std::make_shared<Decoders>();
  return archive::open_database(
      path, database_layouts(),
      [decoders](const archive::StoredBytes& stored) { return record_text(stored, *decoders); }, cancel);
}

Opened open_zip(const ContainerFormat&, const std::string& path, archive::LogStem log_stem, sysio::Cancel) {
  return archive::open_zip(path, log_stem);
}

Opened open_tar(const ContainerFormat& row, const std::string& path, archive::LogStem log_stem,
                sysio::Cancel cancel) {
  auto file = archive::open_file_stream(path, cancel);
  if (!file) return std::unexpected(std::move(file.error()));
  return archive::tar_source(row.compression->stream(std::move(*file)), log_stem, cancel);
}

}  // namespace readers
}  // namespace formats
