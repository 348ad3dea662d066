// The databases of the two game-record downloaders, read without changing
// them and without holding their writer back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "archive/container.hpp"
#include "sysio/cancel.hpp"

namespace archive {

// SQLite's 16-byte header, "SQLite format 3" and a NUL.
[[nodiscard]] bool is_database_header(std::string_view head) noexcept;

// The table each layout keeps its records in, by its column names; the
// registry holds one row per layout a downloader writes.
struct DatabaseLayout {
  std::string_view name;           // "phoenix-logs", "houou-logs"
  std::string_view id;             // the game id, the primary key
  std::string_view three_player;   // a flag (1) or a player count (3) column
  int three_player_value;          // the value of that column that means three players
  std::string_view record;         // the compressed record
};

using Layouts = std::span<const DatabaseLayout>;

// The database's rows, its layout the first of `layouts` whose columns its
// table `logs` has; `text_of` makes an earlier row's text again when the
// duplicate finder compares it with a later one's.
[[nodiscard]] std::expected<std::unique_ptr<Source>, ArchiveError> open_database(const std::string& path,
                                                                                Layouts layouts, TextOf text_of,
                                                                                sysio::Cancel cancel = nullptr);

}  // namespace archive
