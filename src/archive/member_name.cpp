#include "archive/member_name.hpp"

#include "base/utf8.hpp"

namespace archive {
namespace {

[[nodiscard]] ArchiveError unsafe(std::string_view why) {
  return {"unsafe member name: " + std::string(why), pairo::FailureCode::UnsafeName};
}


}  // namespace

std::expected<std::string, ArchiveError> safe_member_path(std::string_view raw) {
  if (raw.empty()) return std::unexpected(unsafe("empty"));
  if (raw.size() > path_limit) return std::unexpected(unsafe("longer than 1024 bytes"));
  if (raw.front() == '/') return std::unexpected(unsafe("absolute path"));
  for (char c : raw) {
    if (c == '\0') return std::unexpected(unsafe("holds a NUL byte"));
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return std::unexpected(unsafe("holds a control character"));
  }
  if (!pairo::is_utf8(raw)) return std::unexpected(unsafe("not UTF-8"));
  std::string path;
  std::string_view rest = raw;
  while (true) {
    const auto slash = rest.find('/');
    const std::string_view component = rest.substr(0, slash);
    if (component == "..") return std::unexpected(unsafe("holds .."));
    if (component.empty()) return std::unexpected(unsafe("holds an empty component"));
    if (component.size() > component_limit) return std::unexpected(unsafe("a component longer than 255 bytes"));
    if (component != ".") {
      if (!path.empty()) path += '/';
      path += component;
    }
    if (slash == std::string_view::npos) break;
    rest.remove_prefix(slash + 1);
  }
  if (path.empty()) return std::unexpected(unsafe("names no file"));
  return path;
}

MemberVerdict judge_member(std::string_view raw_name, MemberKind kind, LogStem log_stem) {
  if (kind == MemberKind::Directory) return std::monostate{};
  auto path = safe_member_path(raw_name);
  if (!path) return path.error();
  switch (kind) {
    case MemberKind::SymbolicLink: return ArchiveError{"member is a symbolic link", pairo::FailureCode::UnsupportedMember};
    case MemberKind::HardLink: return ArchiveError{"member is a hard link", pairo::FailureCode::UnsupportedMember};
    case MemberKind::Device: return ArchiveError{"member is a device, fifo or socket", pairo::FailureCode::UnsupportedMember};
    case MemberKind::Unsupported: return ArchiveError{"member of an unsupported type", pairo::FailureCode::UnsupportedMember};
    case MemberKind::File:
    case MemberKind::Directory: break;
  }
  const auto stem = log_stem(*path);
  if (!stem) return std::monostate{};
  const std::string_view last = stem->substr(stem->find_last_of('/') + 1);
  // "...xml" is a file, but its stem ".." would name the folder above.
  if (last == "." || last == "..") return unsafe("its output would be named " + std::string(last));
  if (last.size() + output_suffix_room > component_limit) {
    return unsafe("too long for its output's name");
  }
  std::string checked_stem(*stem);  // a view into `path`, which moves next
  return LogMember{std::move(*path), std::move(checked_stem)};
}

}  // namespace archive
