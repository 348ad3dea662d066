// The container kinds, one row each: how a path is told to be one, and how
// it is opened. Callers never name a kind.
#include "archive/container.hpp"

#include <sys/stat.h>

#include <array>
#include <cerrno>
#include <cstring>

#include "archive/bundle.hpp"
#include "archive/database.hpp"
#include "archive/member_name.hpp"
#include "sysio/fd.hpp"

namespace archive {
namespace {

[[nodiscard]] std::string_view file_name_of(std::string_view path) noexcept {
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  return path.substr(path.find_last_of('/') + 1);
}

[[nodiscard]] char lower(char c) noexcept { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

[[nodiscard]] bool ends_with_folded(std::string_view name, std::string_view suffix) noexcept {
  if (name.size() <= suffix.size()) return false;  // a suffix alone names nothing
  name = name.substr(name.size() - suffix.size());
  for (std::size_t i = 0; i < suffix.size(); ++i) {
    if (lower(name[i]) != suffix[i]) return false;
  }
  return true;
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

// A database's outputs go to its name without its last suffix ("2024.db" → "2024").
[[nodiscard]] std::string database_folder(std::string_view name) {
  const auto dot = name.find_last_of('.');
  if (dot == std::string_view::npos || dot == 0) return std::string(name);
  return std::string(name.substr(0, dot));
}

// A source whose own failure, the last entry, carries the container's path.
class Named final : public Source {
 public:
  Named(std::unique_ptr<Source> inner, std::string path) : inner_(std::move(inner)), path_(std::move(path)) {}
  std::optional<Entry> next() override {
    auto entry = inner_->next();
    if (entry) {
      if (auto* failure = std::get_if<Failure>(&*entry); failure && failure->name.empty()) failure->name = path_;
    }
    return entry;
  }
  std::optional<std::size_t> size_hint() const noexcept override { return inner_->size_hint(); }

 private:
  std::unique_ptr<Source> inner_;
  std::string path_;
};

struct BundleSuffix {
  std::string_view suffix;
  BundleKind kind;
  Compression compression;
};

constexpr std::array<BundleSuffix, 6> bundle_suffixes = {{
    {".zip", BundleKind::Zip, Compression::None},
    {".tar", BundleKind::Tar, Compression::None},
    {".tar.gz", BundleKind::Tar, Compression::Gzip},
    {".tgz", BundleKind::Tar, Compression::Gzip},
    {".tar.bz2", BundleKind::Tar, Compression::Bzip2},
    {".tar.xz", BundleKind::Tar, Compression::Xz},
}};

}  // namespace

std::optional<BundleName> bundle_name(std::string_view file_name) noexcept {
  for (const BundleSuffix& row : bundle_suffixes) {
    if (ends_with_folded(file_name, row.suffix)) {
      return BundleName{row.kind, row.compression, file_name.substr(0, file_name.size() - row.suffix.size())};
    }
  }
  return std::nullopt;
}

bool is_container(const std::string& path) {
  struct stat st{};
  if (::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
  return bundle_name(file_name_of(path)) || is_database_header(head_of(path));
}

std::expected<Container, ArchiveError> Container::open(const std::string& path, sysio::Cancel cancel) {
  const std::string_view name = file_name_of(path);
  const auto bundle = bundle_name(name);
  const bool database = !bundle && is_database_header(head_of(path));
  if (!bundle && !database) {
    return std::unexpected(ArchiveError{"not a game-record database or a bundle: no SQLite header, "
                                        "no .zip, .tar, .tar.gz, .tgz, .tar.bz2 or .tar.xz name"});
  }
  std::string folder = bundle ? std::string(bundle->stem) : database_folder(name);
  // The folder is named by whoever named the file: "...zip" would put its
  // records beside the output folder, "..zip" into it unchecked. It is held
  // to the rule a member's path is, before anything is read.
  if (const auto checked = safe_member_path(folder); !checked || *checked != folder) {
    return std::unexpected(ArchiveError{"unsafe container name: its output folder would be " + shown(folder)});
  }
  auto source = !bundle                         ? open_database(path, cancel)
                : bundle->kind == BundleKind::Zip ? open_zip(path)
                                                  : open_tar(path, bundle->compression, cancel);
  if (!source) return std::unexpected(source.error());
  return Container(std::make_unique<Named>(std::move(*source), path), std::move(folder));
}

}  // namespace archive
