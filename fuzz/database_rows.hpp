// A small database of either downloader's layout, its rows taken from fuzz
// input, for the targets that read databases. The first byte picks the
// layout (bit 0: the older one); then rows separated by 0xff, each an id,
// 0xfe, a flags byte (bits: was_error, is_processed, three-player, null
// record) and the record's bytes.
#pragma once

#include <sqlite3.h>
#include <unistd.h>

#include <string>
#include <string_view>

namespace fuzz_input {

inline void write_database_rows(const std::string& path, std::string_view bytes) {
  ::unlink(path.c_str());
  sqlite3* db = nullptr;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) {
    sqlite3_close(db);
    return;
  }
  const bool older = !bytes.empty() && (bytes[0] & 1);
  sqlite3_exec(db, "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF", nullptr, nullptr, nullptr);
  sqlite3_exec(db,
               older ? "CREATE TABLE logs(log_id TEXT PRIMARY KEY, is_sanma INT, is_processed INT, was_error INT, "
                       "log_content TEXT)"
                     : "CREATE TABLE logs(id TEXT PRIMARY KEY, num_players INT, is_processed INT, was_error INT, "
                       "log BLOB) WITHOUT ROWID",
               nullptr, nullptr, nullptr);
  sqlite3_stmt* insert = nullptr;
  sqlite3_prepare_v2(db, "INSERT OR IGNORE INTO logs VALUES(?1, ?2, ?3, ?4, ?5)", -1, &insert, nullptr);
  if (!bytes.empty()) bytes.remove_prefix(1);
  sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
  while (!bytes.empty() && insert) {
    const auto end = bytes.find('\xff');
    std::string_view row = bytes.substr(0, end);
    bytes.remove_prefix(end == std::string_view::npos ? bytes.size() : end + 1);
    const auto cut = row.find('\xfe');
    const std::string_view id = row.substr(0, cut);
    std::string_view rest = cut == std::string_view::npos ? std::string_view() : row.substr(cut + 1);
    const unsigned flags = rest.empty() ? 0 : static_cast<unsigned char>(rest[0]);
    if (!rest.empty()) rest.remove_prefix(1);
    sqlite3_bind_text(insert, 1, id.data(), static_cast<int>(id.size()), SQLITE_STATIC);
    sqlite3_bind_int(insert, 2, older ? (flags >> 2 & 1) : (flags & 4 ? 3 : 4));
    sqlite3_bind_int(insert, 3, flags >> 1 & 1);
    sqlite3_bind_int(insert, 4, flags & 1);
    if (flags & 8) {
      sqlite3_bind_null(insert, 5);
    } else {
      sqlite3_bind_blob(insert, 5, rest.data(), static_cast<int>(rest.size()), SQLITE_STATIC);
    }
    sqlite3_step(insert);
    sqlite3_reset(insert);
  }
  sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  sqlite3_finalize(insert);
  sqlite3_close(db);
}

}  // namespace fuzz_input
