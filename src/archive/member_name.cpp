#include "archive/member_name.hpp"

#include <array>

namespace archive {
namespace {

[[nodiscard]] ArchiveError unsafe(std::string_view why) { return {"unsafe member name: " + std::string(why)}; }

// Whether the bytes are well-formed UTF-8 (no surrogates, no overlong forms).
[[nodiscard]] bool is_utf8(std::string_view s) noexcept {
  std::size_t i = 0;
  while (i < s.size()) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      ++i;
      continue;
    }
    std::size_t length = 0;
    unsigned low = 0x80, high = 0xbf;
    if (c >= 0xc2 && c <= 0xdf) {
      length = 2;
    } else if (c >= 0xe0 && c <= 0xef) {
      length = 3;
      if (c == 0xe0) low = 0xa0;
      if (c == 0xed) high = 0x9f;
    } else if (c >= 0xf0 && c <= 0xf4) {
      length = 4;
      if (c == 0xf0) low = 0x90;
      if (c == 0xf4) high = 0x8f;
    } else {
      return false;
    }
    if (i + length > s.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const auto b = static_cast<unsigned char>(s[i + k]);
      if (b < (k == 1 ? low : 0x80) || b > (k == 1 ? high : 0xbf)) return false;
    }
    i += length;
  }
  return true;
}

constexpr std::array<std::string_view, 3> log_suffixes = {".mjlog", ".xml", ".json"};
constexpr std::array<std::string_view, 3> compression_suffixes = {".gz", ".bz2", ""};

}  // namespace

std::expected<std::string, ArchiveError> safe_member_path(std::string_view raw) {
  if (raw.empty()) return std::unexpected(unsafe("empty"));
  if (raw.size() > path_limit) return std::unexpected(unsafe("longer than 1024 bytes"));
  if (raw.front() == '/') return std::unexpected(unsafe("absolute path"));
  for (char c : raw) {
    if (c == '\0') return std::unexpected(unsafe("holds a NUL byte"));
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return std::unexpected(unsafe("holds a control character"));
  }
  if (!is_utf8(raw)) return std::unexpected(unsafe("not UTF-8"));
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

std::optional<std::string> log_stem(std::string_view path) {
  for (std::string_view compression : compression_suffixes) {
    if (!path.ends_with(compression)) continue;
    const std::string_view inner = path.substr(0, path.size() - compression.size());
    for (std::string_view suffix : log_suffixes) {
      if (!inner.ends_with(suffix)) continue;
      const std::string_view stem = inner.substr(0, inner.size() - suffix.size());
      if (stem.empty() || stem.back() == '/') return std::nullopt;
      return std::string(stem);
    }
  }
  return std::nullopt;
}

MemberVerdict judge_member(std::string_view raw_name, MemberKind kind) {
  if (kind == MemberKind::Directory) return std::monostate{};
  auto path = safe_member_path(raw_name);
  if (!path) return path.error();
  switch (kind) {
    case MemberKind::SymbolicLink: return ArchiveError{"member is a symbolic link"};
    case MemberKind::HardLink: return ArchiveError{"member is a hard link"};
    case MemberKind::Device: return ArchiveError{"member is a device, fifo or socket"};
    case MemberKind::Unsupported: return ArchiveError{"member of an unsupported type"};
    case MemberKind::File:
    case MemberKind::Directory: break;
  }
  auto stem = log_stem(*path);
  if (!stem) return std::monostate{};
  const std::string_view last = std::string_view(*stem).substr(stem->find_last_of('/') + 1);
  // "...xml" is a file, but its stem ".." would name the folder above.
  if (last == "." || last == "..") return unsafe("its output would be named " + std::string(last));
  if (last.size() + output_suffix_room > component_limit) {
    return unsafe("too long for its output's name");
  }
  return LogMember{std::move(*path), std::move(*stem)};
}

}  // namespace archive
