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

// The output stem of a member holding a log: its path without the log's
// suffix (".mjlog", ".xml", ".json", each perhaps followed by ".gz" or
// ".bz2"); nothing for a member of any other name, which is no log.
[[nodiscard]] std::optional<std::string> log_stem(std::string_view path);

enum class MemberKind : std::uint8_t { File, Directory, SymbolicLink, HardLink, Device, Unsupported };

struct LogMember {
  std::string path;  // the checked path
  std::string stem;  // its output stem
};

// What a bundle does with a member, from its header alone: nothing (a
// folder, or a file that holds no log), read it as a log, or fail it.
using MemberVerdict = std::variant<std::monostate, LogMember, ArchiveError>;
[[nodiscard]] MemberVerdict judge_member(std::string_view raw_name, MemberKind kind);

}  // namespace archive
