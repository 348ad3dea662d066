// Reading a downloader's database: its layout told by the columns of its
// table `logs`; the ids of the rows committed at the start read in one
// short transaction, in id order; then the rows read in runs of id order,
// each run one short transaction (a seek and a few rows of a scan), so that
// a downloader still appending to the file waits at most for one run.
//
// Why runs and not a row a transaction: in the newer layout the table is
// `WITHOUT ROWID`, so every interior cell of its tree holds a whole row,
// record included, and SQLite reads a row's overflow pages whole at every
// comparison of a seek; a seek costs about as much as reading ten records.
// One seek per run and the scan's next steps make the reading thread's
// share of a conversion small enough to leave the workers their cores.
#include "archive/database.hpp"

#include <sys/stat.h>

#include <array>
#include <cstring>
#include <limits>
#include <span>
#include <vector>

#include "archive/game_id.hpp"
#include "archive/sqlite_handle.hpp"
#include "sysio/fd.hpp"

namespace archive {
namespace {

constexpr std::array<DatabaseLayout, 2> layouts = {{
    {"phoenix-logs", "log_id", "is_sanma", 1, "log_content"},
    {"houou-logs", "id", "num_players", 3, "log"},
}};

// No game id is this long; a longer id is kept cut here, to be reported.
constexpr std::size_t id_kept = 64;
// How long a read waits for a writer's commit to finish.
constexpr int busy_timeout_ms = 10'000;

[[nodiscard]] std::string sqlite_message(sqlite3* db) { return db ? sqlite3_errmsg(db) : "out of memory"; }

// The path as a URI SQLite reads back byte for byte.
[[nodiscard]] std::string uri_path(std::string_view path) {
  static constexpr char hex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : path) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '/' || c == '-' || c == '.' || c == '_' || c == '~';
    if (plain) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

[[nodiscard]] bool exists(const std::string& path) {
  struct stat st{};
  return ::stat(path.c_str(), &st) == 0;
}

// A database in WAL mode that no one has open has no -wal file beside it.
// A read-only connection would create its -wal and -shm and leave them
// there, so such a file is read as immutable: no writer can be appending
// to it. A writer that is open keeps its -wal, which the reader then shares.
// SQLite takes a file for WAL by its read version (byte 19) alone, whatever
// its write version (byte 18) says, and so does this.
[[nodiscard]] std::expected<Connection, ArchiveError> connect(const std::string& path) {
  auto fd = sysio::open_for_reading(path.c_str());
  if (!fd) return std::unexpected(ArchiveError{std::string("cannot open database: ") + std::strerror(fd.error())});
  unsigned char header[20] = {};
  const ssize_t got = ::pread(fd->get(), header, sizeof header, 0);
  const bool wal = got == static_cast<ssize_t>(sizeof header) && header[19] == 2;
  const bool immutable = wal && !exists(path + "-wal");
  const std::string uri = "file:" + uri_path(path) + (immutable ? "?immutable=1" : "?mode=ro");
  sqlite3* raw = nullptr;
  const int rc = sqlite3_open_v2(uri.c_str(), &raw, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX,
                                 nullptr);
  Connection db(raw);
  if (rc != SQLITE_OK) return std::unexpected(ArchiveError{"cannot open database: " + sqlite_message(raw)});
  sqlite3_busy_timeout(db.get(), busy_timeout_ms);
  return db;
}

[[nodiscard]] std::expected<Statement, ArchiveError> prepare(sqlite3* db, const std::string& sql) {
  sqlite3_stmt* raw = nullptr;
  const int rc = sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size() + 1), &raw, nullptr);
  Statement statement(raw);
  if (rc != SQLITE_OK) return std::unexpected(ArchiveError{sqlite_message(db)});
  return statement;
}

[[nodiscard]] ArchiveError no_layout(std::string_view why) {
  std::string message = "not a game-record database: no table logs with columns ";
  for (std::size_t i = 0; i < layouts.size(); ++i) {
    const DatabaseLayout& l = layouts[i];
    if (i != 0) message += " or ";
    message += "(";
    message += l.id;
    message += ", ";
    message += l.three_player;
    message += ", is_processed, was_error, ";
    message += l.record;
    message += ")";
  }
  if (!why.empty()) message += std::string(" (") + std::string(why) + ")";
  return {message};
}

[[nodiscard]] std::expected<const DatabaseLayout*, ArchiveError> layout_of(sqlite3* db) {
  auto info = prepare(db, "PRAGMA table_info(logs)");
  if (!info) return std::unexpected(no_layout(info.error().message));
  std::vector<std::string> columns;
  int rc;
  while ((rc = sqlite3_step(info->get())) == SQLITE_ROW) {
    const auto* name = sqlite3_column_text(info->get(), 1);
    if (name) columns.emplace_back(reinterpret_cast<const char*>(name));
  }
  if (rc != SQLITE_DONE) return std::unexpected(no_layout(sqlite_message(db)));
  const auto has = [&](std::string_view column) {
    for (const auto& c : columns) {
      if (c == column) return true;
    }
    return false;
  };
  for (const DatabaseLayout& layout : layouts) {
    if (has(layout.id) && has(layout.three_player) && has("is_processed") && has("was_error") &&
        has(layout.record)) {
      return &layout;
    }
  }
  return std::unexpected(no_layout(""));
}

// The ids of all rows, one after another in one buffer.
class RowIds {
 public:
  [[nodiscard]] std::size_t size() const noexcept { return ends_.size(); }
  [[nodiscard]] std::string_view operator[](std::size_t row) const noexcept {
    const std::size_t begin = row == 0 ? 0 : ends_[row - 1];
    return std::string_view(text_).substr(begin, ends_[row] - begin);
  }
  [[nodiscard]] bool add(std::string_view id) {
    id = id.substr(0, id_kept);
    if (text_.size() + id.size() > std::numeric_limits<std::uint32_t>::max() ||
        ends_.size() + 1 >= std::numeric_limits<std::uint32_t>::max()) {
      return false;
    }
    text_ += id;
    ends_.push_back(static_cast<std::uint32_t>(text_.size()));
    return true;
  }
  void shrink() {
    text_.shrink_to_fit();
    ends_.shrink_to_fit();
  }

 private:
  std::string text_;
  std::vector<std::uint32_t> ends_;
};

// The ids of the rows committed now, read in one transaction: one statement
// stepped to its end.
[[nodiscard]] std::expected<RowIds, ArchiveError> read_ids(sqlite3* db, const DatabaseLayout& layout) {
  const std::string id(layout.id);
  auto statement = prepare(db, "SELECT " + id + " FROM logs ORDER BY " + id);
  if (!statement) return std::unexpected(statement.error());
  RowIds ids;
  int rc;
  while ((rc = sqlite3_step(statement->get())) == SQLITE_ROW) {
    const auto* text = static_cast<const char*>(sqlite3_column_blob(statement->get(), 0));
    const int size = sqlite3_column_bytes(statement->get(), 0);
    if (!ids.add(std::string_view(text ? text : "", static_cast<std::size_t>(size)))) {
      return std::unexpected(ArchiveError{"database has too many rows"});
    }
  }
  if (rc != SQLITE_DONE) return std::unexpected(ArchiveError{"cannot read the ids: " + sqlite_message(db)});
  ids.shrink();
  return ids;
}

struct Row {
  bool failed_download = false;
  bool processed = false;
  bool three_player = false;
  std::optional<pairo::PaddedText> record;  // none when null or empty
};

// A row as read: the row, nothing when it is no longer there, or the read's failure.
using RowRead = std::expected<std::optional<Row>, ArchiveError>;

[[nodiscard]] std::string row_columns(const DatabaseLayout& layout) {
  return "was_error, is_processed, " + std::string(layout.three_player) + ", " + std::string(layout.record);
}

// A read-only connection of its own and the one statement it reads rows
// with; one thread at a time.
class RowStatement {
 public:
  [[nodiscard]] static std::expected<RowStatement, ArchiveError> open(const std::string& path,
                                                                      const DatabaseLayout& layout,
                                                                      const std::string& sql) {
    auto db = connect(path);
    if (!db) return std::unexpected(db.error());
    auto statement = prepare(db->get(), sql);
    if (!statement) return std::unexpected(ArchiveError{"cannot read rows: " + statement.error().message});
    return RowStatement(std::move(*db), std::move(*statement), layout.three_player_value);
  }

  [[nodiscard]] sqlite3_stmt* get() const noexcept { return statement_.get(); }
  [[nodiscard]] ArchiveError failed() const { return {"cannot read the row: " + sqlite_message(db_.get())}; }

  // The row the statement stands on, from its column `first` on:
  // was_error, is_processed, the three-player column, the record.
  [[nodiscard]] std::expected<Row, ArchiveError> row(int first) const {
    sqlite3_stmt* s = statement_.get();
    Row row;
    row.failed_download = sqlite3_column_int64(s, first) == 1;
    row.processed = sqlite3_column_int64(s, first + 1) != 0;
    row.three_player = sqlite3_column_int64(s, first + 2) == three_player_value_;
    const int size = sqlite3_column_bytes(s, first + 3);
    if (size > 0) {
      if (static_cast<std::size_t>(size) > record_limit) {
        return std::unexpected(ArchiveError{"record stored larger than 64 MiB"});
      }
      const auto* bytes = static_cast<const char*>(sqlite3_column_blob(s, first + 3));
      if (!bytes) return std::unexpected(failed());
      row.record.emplace(std::string_view(bytes, static_cast<std::size_t>(size)));
    }
    return row;
  }

 private:
  RowStatement(Connection db, Statement statement, int three_player_value)
      : db_(std::move(db)), statement_(std::move(statement)), three_player_value_(three_player_value) {}
  Connection db_;
  Statement statement_;
  int three_player_value_;
};

// Reads one row by id.
class RowReader {
 public:
  [[nodiscard]] static std::expected<RowReader, ArchiveError> open(const std::string& path,
                                                                   const DatabaseLayout& layout) {
    auto rows = RowStatement::open(
        path, layout, "SELECT " + row_columns(layout) + " FROM logs WHERE " + std::string(layout.id) + " = ?1");
    if (!rows) return std::unexpected(rows.error());
    return RowReader(std::move(*rows));
  }

  // The row, or nothing when it is gone; each call its own transaction.
  [[nodiscard]] RowRead read(std::string_view id) {
    sqlite3_stmt* s = rows_.get();
    StatementReset reset(s);
    sqlite3_bind_text(s, 1, id.data(), static_cast<int>(id.size()), SQLITE_STATIC);
    const int rc = sqlite3_step(s);
    if (rc == SQLITE_DONE) return std::optional<Row>();
    if (rc != SQLITE_ROW) return std::unexpected(rows_.failed());
    auto row = rows_.row(0);
    if (!row) return std::unexpected(row.error());
    return std::optional<Row>(std::move(*row));
  }

 private:
  explicit RowReader(RowStatement rows) : rows_(std::move(rows)) {}
  RowStatement rows_;
};

// A run closes after this many rows, or once its records hold this many
// bytes: about a millisecond of reading at most, all a writer can wait for.
constexpr std::size_t run_rows = 16;
constexpr std::size_t run_bytes = std::size_t{1} << 20;

// Reads runs of rows in id order: one transaction a run, seeking its first
// id and scanning to its last.
class RunReader {
 public:
  [[nodiscard]] static std::expected<RunReader, ArchiveError> open(const std::string& path,
                                                                   const DatabaseLayout& layout) {
    const std::string id(layout.id);
    auto rows = RowStatement::open(path, layout,
                                   "SELECT " + id + ", " + row_columns(layout) + " FROM logs WHERE " + id +
                                       " >= ?1 AND " + id + " <= ?2 ORDER BY " + id);
    if (!rows) return std::unexpected(rows.error());
    return RunReader(std::move(*rows));
  }

  // The rows of `ids`, distinct and in the database's id order: one read for
  // each id from the first, fewer when the run closed early (the rest are
  // for the next run). The scan also meets rows added since the ids were
  // read, which are passed over; an id it steps past was deleted meanwhile.
  // A step that fails fails the next row only: the next run seeks past it.
  [[nodiscard]] std::vector<RowRead> read(std::span<const std::string_view> ids) {
    std::vector<RowRead> reads;
    reads.reserve(ids.size());
    sqlite3_stmt* s = rows_.get();
    StatementReset reset(s);
    sqlite3_bind_text(s, 1, ids.front().data(), static_cast<int>(ids.front().size()), SQLITE_STATIC);
    sqlite3_bind_text(s, 2, ids.back().data(), static_cast<int>(ids.back().size()), SQLITE_STATIC);
    std::size_t bytes = 0;
    while (reads.size() < ids.size() && bytes < run_bytes) {
      const int rc = sqlite3_step(s);
      if (rc == SQLITE_DONE) break;
      if (rc != SQLITE_ROW) {
        reads.emplace_back(std::unexpected(rows_.failed()));
        return reads;
      }
      const auto* text = static_cast<const char*>(sqlite3_column_blob(s, 0));
      const std::string_view id(text ? text : "", static_cast<std::size_t>(sqlite3_column_bytes(s, 0)));
      std::size_t at = reads.size();
      while (at < ids.size() && ids[at] != id) ++at;
      if (at == ids.size()) continue;
      while (reads.size() < at) reads.emplace_back(std::optional<Row>());
      auto row = rows_.row(1);
      if (!row) {
        reads.emplace_back(std::unexpected(row.error()));
        continue;
      }
      bytes += row->record ? row->record->size() : 0;
      reads.emplace_back(std::optional<Row>(std::move(*row)));
    }
    // Done with ids left: they are gone. Closed by its bytes: they wait for the next run.
    if (bytes < run_bytes) {
      while (reads.size() < ids.size()) reads.emplace_back(std::optional<Row>());
    }
    return reads;
  }

 private:
  explicit RunReader(RowStatement rows) : rows_(std::move(rows)) {}
  RowStatement rows_;
};

// What the duplicate finder reads an earlier row with: its own connection,
// only ever used under the finder's lock.
struct Reread {
  RowReader reader;
  Decompressor decompressor;
  std::shared_ptr<const RowIds> ids;

  [[nodiscard]] std::expected<pairo::PaddedText, ArchiveError> text(std::size_t row) {
    auto read = reader.read((*ids)[row]);
    if (!read) return std::unexpected(read.error());
    if (!*read || !(*read)->record) return std::unexpected(ArchiveError{"row is gone"});
    return decompressor.text_of(StoredBytes{std::move(*(*read)->record)});
  }
};

class DatabaseSource final : public Source {
 public:
  DatabaseSource(RunReader reader, std::shared_ptr<const RowIds> ids, std::shared_ptr<DuplicateFinder> finder)
      : reader_(std::move(reader)), ids_(std::move(ids)), finder_(std::move(finder)) {}

  std::optional<Entry> next() override {
    if (row_ == ids_->size()) return std::nullopt;
    const std::size_t row = row_++;
    auto entry = entry_of(row, (*ids_)[row]);
    if (!std::holds_alternative<Record>(entry)) finder_->pass(row);
    return entry;
  }

  std::optional<std::size_t> size_hint() const noexcept override { return ids_->size(); }

 private:
  [[nodiscard]] Entry entry_of(std::size_t row, std::string_view id) {
    const auto game = parse_game_id(id);
    if (!game) return Failure{shown(id), {"row id is not a game id: " + shown(id)}};
    const std::string name(id);
    RowRead read = take(row);
    if (!read) return Failure{name, read.error()};
    if (!*read) return Failure{name, {"row is no longer in the database"}};
    Row& r = **read;
    if (r.failed_download) return Skip{name, SkipReason::DownloadFailed};
    if (!r.processed || !r.record) return Skip{name, SkipReason::NotDownloaded};
    if (r.three_player || is_three_player(*game)) return Skip{name, SkipReason::ThreePlayer};
    return Record{name, name, StoredBytes{std::move(*r.record)}, DuplicateTicket(finder_, row)};
  }

  // The row's read, from the run holding it or from a new run that starts
  // at it and takes the game-id rows after it (other rows need no reading).
  [[nodiscard]] RowRead take(std::size_t row) {
    if (row < run_start_ || row - run_start_ >= run_.size()) {
      run_start_ = row;
      run_ids_.clear();
      for (std::size_t r = row; r < ids_->size() && run_ids_.size() < run_rows; ++r) {
        const std::string_view id = (*ids_)[r];
        if (!parse_game_id(id)) break;
        run_ids_.push_back(id);
      }
      run_ = reader_.read(run_ids_);
    }
    return std::move(run_[row - run_start_]);
  }

  RunReader reader_;
  std::shared_ptr<const RowIds> ids_;
  std::shared_ptr<DuplicateFinder> finder_;
  std::size_t row_ = 0;
  std::size_t run_start_ = 0;
  std::vector<std::string_view> run_ids_;  // into ids_
  std::vector<RowRead> run_;
};

}  // namespace

bool is_database_header(std::string_view head) noexcept {
  return head.size() >= 16 && head.substr(0, 16) == std::string_view("SQLite format 3\0", 16);
}

std::expected<std::unique_ptr<Source>, ArchiveError> open_database(const std::string& path, sysio::Cancel cancel) {
  (void)cancel;
  auto db = connect(path);
  if (!db) return std::unexpected(db.error());
  auto layout = layout_of(db->get());
  if (!layout) return std::unexpected(layout.error());
  auto ids = read_ids(db->get(), **layout);
  if (!ids) return std::unexpected(ids.error());
  db->reset();
  auto reader = RunReader::open(path, **layout);
  if (!reader) return std::unexpected(reader.error());
  auto reread_reader = RowReader::open(path, **layout);
  if (!reread_reader) return std::unexpected(reread_reader.error());
  auto shared_ids = std::make_shared<const RowIds>(std::move(*ids));
  auto reread = std::make_shared<Reread>(Reread{std::move(*reread_reader), Decompressor(), shared_ids});
  auto finder = std::make_shared<DuplicateFinder>(
      shared_ids->size(), [reread](std::size_t row) { return reread->text(row); },
      [shared_ids](std::size_t row) { return std::string((*shared_ids)[row]); });
  return std::make_unique<DatabaseSource>(std::move(*reader), std::move(shared_ids), std::move(finder));
}

}  // namespace archive
