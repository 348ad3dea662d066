// A bundle member's path, checked before it names an output: whatever the
// bundle's maker wrote, the output must land inside the output folder.
#pragma once

#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <cstdint>

#include "archive/error.hpp"

namespace archive {

// The longest name a component may have: the file system's 255 bytes.
inline constexpr std::size_t component_limit = 255;
// Room kept after a record's stem for the longest output suffix (".mjai.jsonl.gz").
inline constexpr std::size_t output_suffix_room = 14;
inline constexpr std::size_t path_limit = 1024;

// The path with "." components dropped, or what makes it unsafe: empty,
// absolute, "..", an empty component, a NUL or control character, bytes
// that are not UTF-8, a component or the whole too long.
[[nodiscard]] std::expected<std::string, ArchiveError> safe_member_path(std::string_view raw);

// Whether a path names a log, and its stem: the path without the log's
// suffix; nothing for a path of any other name, which is no log. Whoever
// opens a bundle hands its rule in (the registry's name rule), so that a
// member is a log exactly when a file so named in a folder is one.
using LogStem = std::optional<std::string_view> (*)(std::string_view path) noexcept;

enum class MemberKind : std::uint8_t { File, Directory, SymbolicLink, HardLink, Device, Unsupported };

struct LogMember {
  std::string path;  // the checked path
  std::string stem;  // its output stem
};

// What a bundle does with a member, from its header alone: nothing (a
// folder, or a file that holds no log by `log_stem`), read it as a log,
// or fail it.
using MemberVerdict = std::variant<std::monostate, LogMember, ArchiveError>;
[[nodiscard]] MemberVerdict judge_member(std::string_view raw_name, MemberKind kind, LogStem log_stem);

}  // namespace archive
