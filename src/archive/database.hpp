// The databases of the two game-record downloaders, read without changing
// them and without holding their writer back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "archive/container.hpp"

namespace archive {

// SQLite's 16-byte header, "SQLite format 3" and a NUL.
[[nodiscard]] bool is_database_header(std::string_view head) noexcept;

// The table each layout keeps its records in, by its column names.
struct DatabaseLayout {
  std::string_view name;           // "phoenix-logs", "houou-logs"
  std::string_view id;             // the game id, the primary key
  std::string_view three_player;   // a flag (1) or a player count (3) column
  int three_player_value;          // the value of that column that means three players
  std::string_view record;         // the compressed record
};

[[nodiscard]] std::expected<std::unique_ptr<Source>, ArchiveError> open_database(const std::string& path,
                                                                                sysio::Cancel cancel = nullptr);

}  // namespace archive
