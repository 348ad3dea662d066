// Outputs that appear complete or not at all: written to a temporary file
// beside the target, renamed into place once everything is written.
#include <dirent.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <optional>
#include <span>

#include "batch/io.hpp"
#include "batch/steps.hpp"
#include "sysio/lines.hpp"

namespace batch::steps {
namespace {

constexpr std::string_view temporary_mark = ".pairo-tmp-";

std::atomic<unsigned long> temporary_count{0};

// The pid in a temporary file's name (".NAME.pairo-tmp-PID-N"), if it is one.
std::optional<pid_t> temporary_owner(std::string_view name) noexcept {
  if (!name.starts_with('.')) return std::nullopt;
  const auto mark = name.rfind(temporary_mark);
  if (mark == std::string_view::npos) return std::nullopt;
  const std::string_view rest = name.substr(mark + temporary_mark.size());
  pid_t pid = 0;
  const auto [after_pid, pid_error] = std::from_chars(rest.data(), rest.data() + rest.size(), pid);
  if (pid_error != std::errc{} || pid <= 0 || after_pid == rest.data() + rest.size() || *after_pid != '-') {
    return std::nullopt;
  }
  unsigned long number = 0;
  const auto [end, number_error] = std::from_chars(after_pid + 1, rest.data() + rest.size(), number);
  if (number_error != std::errc{} || end != rest.data() + rest.size()) return std::nullopt;
  return pid;
}

bool process_is_gone(pid_t pid) noexcept { return ::kill(pid, 0) != 0 && errno == ESRCH; }

// Makes `folder` and its missing parents, as `mkdir -p` would; the failure
// names the folder that could not be made.
std::expected<void, Failure> make_folders(const std::string& folder) {
  if (::mkdir(folder.c_str(), 0777) == 0) return {};
  int error = errno;
  if (error == ENOENT) {
    const std::string parent = io::parent_of(folder);
    if (parent != folder) {
      if (auto made = make_folders(parent); !made) return made;
      if (::mkdir(folder.c_str(), 0777) == 0) return {};
      error = errno;
    }
  }
  if (io::is_folder(folder)) return {};
  return std::unexpected(system_failure(error, folder));
}

// A new temporary file for `target`, its folder made where missing.
std::expected<io::Fd, Failure> create_temporary(const std::string& target, std::string& name) {
  bool made_folder = false;
  for (int attempt = 0; attempt < 100; ++attempt) {
    name = temporary_name(target, temporary_count.fetch_add(1, std::memory_order_relaxed));
    auto created = io::create_exclusive(name);
    if (created) return std::move(*created);
    if (created.error() == EEXIST) continue;  // a leftover of our own pid's previous life
    const std::string folder = io::parent_of(target);
    // A missing folder, or a file in a folder's place: made (or refused)
    // folder by folder, so that the failure names the one at fault.
    if ((created.error() == ENOENT || created.error() == ENOTDIR) && !made_folder) {
      if (auto made = make_folders(folder); !made) return std::unexpected(made.error());
      made_folder = true;
      continue;
    }
    return std::unexpected(system_failure(created.error(), folder));
  }
  return std::unexpected(system_failure(EEXIST, io::parent_of(target)));
}

}  // namespace

std::string temporary_name(const std::string& target, unsigned long number) {
  std::string tail(temporary_mark);
  tail += std::to_string(::getpid());
  tail += '-';
  tail += std::to_string(number);
  // An output whose name is near the file system's limit keeps the front of
  // its name, cut between characters, so that its temporary name fits too:
  // the mark, not the name, tells the next run what the file is.
  std::string_view base = io::base_name(target);
  const std::size_t room = NAME_MAX - 1 - tail.size();
  if (base.size() > room) {
    std::size_t cut = room;
    while (cut > 0 && (static_cast<unsigned char>(base[cut]) & 0xc0) == 0x80) --cut;
    base = base.substr(0, cut);
  }
  std::string name = io::parent_of(target);
  name += "/.";
  name += base;
  name += tail;
  return name;
}

void sweep_stale(const std::string& folder) {
  DIR* listing = ::opendir(folder.c_str());
  if (!listing) return;  // nothing to sweep, or the write will say why
  const int fd = ::dirfd(listing);
  while (const dirent* entry = ::readdir(listing)) {
    const auto owner = temporary_owner(entry->d_name);
    if (owner && *owner != ::getpid() && process_is_gone(*owner)) ::unlinkat(fd, entry->d_name, 0);
  }
  ::closedir(listing);
}

void Folders::sweep_once(const std::string& folder) {
  {
    const std::lock_guard lock(mutex_);
    if (!swept_.insert(folder).second) return;
  }
  sweep_stale(folder);
}

std::expected<void, Failure> write_atomically(const std::string& target, const Document& document,
                                              gzip::Deflater* deflater, Folders& folders) {
  std::string temporary;
  auto created = create_temporary(target, temporary);
  if (!created) return std::unexpected(created.error());
  folders.sweep_once(io::parent_of(target));
  auto written = write_document(created->get(), document, deflater);
  if (written) written = created->close_checked();
  if (written && ::rename(temporary.c_str(), target.c_str()) != 0) {
    const int error = errno;
    ::unlink(temporary.c_str());
    return std::unexpected(system_failure(error, target));
  }
  if (!written) {
    created->reset();
    ::unlink(temporary.c_str());
    return std::unexpected(system_failure(written.error()));
  }
  return {};
}

}  // namespace batch::steps

namespace batch {

std::expected<void, int> write_document(int fd, const Document& document, gzip::Deflater* deflater) {
  if (const auto* events = std::get_if<mjai::EncodedEvents>(&document)) {
    return sysio::write_event_lines(fd, *events, deflater);
  }
  return sysio::write_text(fd, std::get<std::string>(document), deflater);
}

}  // namespace batch
