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
//
// A file may come from anyone, made to hurt its reader: `logs` must be a
// table (a view is computed at every read, however long it runs), no value
// longer than a record is ever built, a row whose id is not text fails
// alone, and a raised cancel flag ends any query or wait.
#include "archive/database.hpp"

#include <sys/stat.h>

#include <array>
#include <atomic>
#include <cstring>
#include <limits>
#include <span>
#include <string>
#include <vector>

#include "archive/game_id.hpp"
#include "archive/sqlite_handle.hpp"
#include "sysio/fd.hpp"

namespace archive {
namespace {

// No game id is this long; a longer id is kept cut here, to be reported.
constexpr std::size_t id_kept = 64;
// How long a read waits for a writer's commit to finish, in sleeps short
// enough to notice a cancel between them.
constexpr int busy_timeout_ms = 10'000;
constexpr int busy_sleep_ms = 5;
// How many steps of SQLite's machine a query takes between looks at the
// cancel flag: a look is a load, this keeps it out of sight.
constexpr int cancel_steps = 1000;
// No value SQLite builds may be longer than a record and the rest of its
// row (a scan of a table without an index on its ids sorts them together):
// whatever a file claims, a read fails before it allocates gigabytes.
constexpr int value_limit = static_cast<int>(record_limit + (std::size_t{1} << 20));

[[nodiscard]] std::string sqlite_message(sqlite3* db) { return db ? sqlite3_errmsg(db) : "out of memory"; }

[[nodiscard]] ArchiveError cancelled_read() { return {"cancelled", pairo::FailureCode::Cancelled}; }

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

// How a connection reads the file: shared with a writer that is open, or
// immutable, when no writer was there to share it with.
enum class Access { Shared, Immutable };

// A database in WAL mode that no one has open has no -wal file beside it.
// A read-only connection would create its -wal and -shm and leave them
// there, so such a file is read as immutable: no writer can be appending
// to it. A writer that is open keeps its -wal and -shm, which the reader
// then shares. A -wal left without its -shm (copied away from it, or the
// -shm deleted) is refused: reading it would create the -shm and leave it,
// and on read-only media it cannot be read at all.
// SQLite takes a file for WAL by its read version (byte 19) alone, whatever
// its write version (byte 18) says, and so does this.
[[nodiscard]] std::expected<Access, ArchiveError> access_of(const std::string& path) {
  auto fd = sysio::open_for_reading(path.c_str());
  if (!fd) return std::unexpected(ArchiveError{std::string("cannot open database: ") + std::strerror(fd.error()), pairo::FailureCode::Unreadable});
  unsigned char header[20] = {};
  const ssize_t got = ::pread(fd->get(), header, sizeof header, 0);
  const bool wal = got == static_cast<ssize_t>(sizeof header) && header[19] == 2;
  if (!wal) return Access::Shared;
  if (!exists(path + "-wal")) return Access::Immutable;
  if (!exists(path + "-shm")) {
    return std::unexpected(ArchiveError{
        "database has a write-ahead log (-wal) but no -shm file: reading it would create one; "
        "open it once with sqlite3 to recover the log",
        pairo::FailureCode::Unreadable});
  }
  return Access::Shared;
}

int stop_when_cancelled(void* flag) {
  return sysio::cancelled(static_cast<sysio::Cancel>(flag)) ? 1 : 0;
}

int wait_for_writer(void* flag, int waits) {
  if (sysio::cancelled(static_cast<sysio::Cancel>(flag)) || waits >= busy_timeout_ms / busy_sleep_ms) return 0;
  sqlite3_sleep(busy_sleep_ms);
  return 1;
}

// A read-only connection, bounded against a hostile file: no value longer
// than a record is built, and a raised cancel flag ends its queries
// (SQLITE_INTERRUPT) and its waits for a writer.
[[nodiscard]] std::expected<Connection, ArchiveError> connect_as(const std::string& path, Access access,
                                                                 sysio::Cancel cancel) {
  const std::string uri = "file:" + uri_path(path) + (access == Access::Immutable ? "?immutable=1" : "?mode=ro");
  sqlite3* raw = nullptr;
  const int rc = sqlite3_open_v2(uri.c_str(), &raw, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX,
                                 nullptr);
  Connection db(raw);
  if (rc != SQLITE_OK) return std::unexpected(ArchiveError{"cannot open database: " + sqlite_message(raw), pairo::FailureCode::Unreadable});
  void* flag = const_cast<std::atomic<bool>*>(cancel);
  sqlite3_limit(db.get(), SQLITE_LIMIT_LENGTH, value_limit);
  sqlite3_busy_handler(db.get(), wait_for_writer, flag);
  if (cancel) sqlite3_progress_handler(db.get(), cancel_steps, stop_when_cancelled, flag);
  return db;
}

[[nodiscard]] std::expected<Connection, ArchiveError> connect(const std::string& path, sysio::Cancel cancel) {
  auto access = access_of(path);
  if (!access) return std::unexpected(access.error());
  return connect_as(path, *access, cancel);
}

[[nodiscard]] std::expected<Statement, ArchiveError> prepare(sqlite3* db, const std::string& sql) {
  sqlite3_stmt* raw = nullptr;
  const int rc = sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size() + 1), &raw, nullptr);
  Statement statement(raw);
  if (rc != SQLITE_OK) return std::unexpected(ArchiveError{sqlite_message(db)});
  return statement;
}

[[nodiscard]] ArchiveError no_layout(Layouts layouts, std::string_view why) {
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
  return {message, pairo::FailureCode::NotAContainer};
}

// `logs` must be a table the file holds: a view, or a virtual table, is
// computed at every read, and one made never to end (a recursive view) or
// to build gigabytes (a view of random blobs) would hold the reading up and
// fill the temporary folder. SQLite's own list of tables says what the name
// is, found case-insensitively as SQLite finds it; the schema's text and
// root page could claim a table for what is none.
[[nodiscard]] std::expected<void, ArchiveError> require_logs_table(sqlite3* db, Layouts layouts) {
  auto list = prepare(db, "PRAGMA table_list('logs')");
  if (!list) return std::unexpected(no_layout(layouts, list.error().message));
  int rc;
  while ((rc = sqlite3_step(list->get())) == SQLITE_ROW) {
    const auto* type = sqlite3_column_text(list->get(), 2);
    const std::string kind = type ? reinterpret_cast<const char*>(type) : "";
    if (kind != "table") {
      return std::unexpected(no_layout(layouts, "logs is " + (kind == "view" ? "a view" : "a " + kind + " table") +
                                       ", not a table"));
    }
  }
  if (rc != SQLITE_DONE) return std::unexpected(no_layout(layouts, sqlite_message(db)));
  return {};
}

[[nodiscard]] std::expected<const DatabaseLayout*, ArchiveError> layout_of(sqlite3* db, Layouts layouts) {
  if (auto table = require_logs_table(db, layouts); !table) return std::unexpected(table.error());
  auto info = prepare(db, "PRAGMA table_info(logs)");
  if (!info) return std::unexpected(no_layout(layouts, info.error().message));
  std::vector<std::string> columns;
  int rc;
  while ((rc = sqlite3_step(info->get())) == SQLITE_ROW) {
    const auto* name = sqlite3_column_text(info->get(), 1);
    if (name) columns.emplace_back(reinterpret_cast<const char*>(name));
  }
  if (rc != SQLITE_DONE) return std::unexpected(no_layout(layouts, sqlite_message(db)));
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
  return std::unexpected(no_layout(layouts, ""));
}

// The ids of all rows, one after another in one buffer, and whether each
// is stored as text. Only a text id can be read back: the reads bind their
// ids as text, and SQLite orders every blob after every text, so a blob id
// put in a run would close its range before its neighbours.
class RowIds {
 public:
  [[nodiscard]] std::size_t size() const noexcept { return ends_.size(); }
  [[nodiscard]] std::string_view operator[](std::size_t row) const noexcept {
    const std::size_t begin = row == 0 ? 0 : ends_[row - 1];
    return std::string_view(text_).substr(begin, ends_[row] - begin);
  }
  [[nodiscard]] bool is_text(std::size_t row) const noexcept { return is_text_[row]; }
  [[nodiscard]] bool add(std::string_view id, bool is_text) {
    id = id.substr(0, id_kept);
    if (text_.size() + id.size() > std::numeric_limits<std::uint32_t>::max() ||
        ends_.size() + 1 >= std::numeric_limits<std::uint32_t>::max()) {
      return false;
    }
    text_ += id;
    ends_.push_back(static_cast<std::uint32_t>(text_.size()));
    is_text_.push_back(is_text);
    return true;
  }
  void shrink() {
    text_.shrink_to_fit();
    ends_.shrink_to_fit();
    is_text_.shrink_to_fit();
  }

 private:
  std::string text_;
  std::vector<std::uint32_t> ends_;
  std::vector<bool> is_text_;
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
    const bool is_text = sqlite3_column_type(statement->get(), 0) == SQLITE_TEXT;
    const auto* text = static_cast<const char*>(sqlite3_column_blob(statement->get(), 0));
    const int size = sqlite3_column_bytes(statement->get(), 0);
    if (!ids.add(std::string_view(text ? text : "", static_cast<std::size_t>(size)), is_text)) {
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

// was_error, is_processed, the three-player column, the record's length,
// then the record only when it is within the bound: SQLite tells a blob's
// length from the row's header, so an oversized record is never built.
[[nodiscard]] std::string row_columns(const DatabaseLayout& layout) {
  const std::string length = "length(" + std::string(layout.record) + ")";
  return "was_error, is_processed, " + std::string(layout.three_player) + ", " + length + ", CASE WHEN " + length +
         " <= " + std::to_string(record_limit) + " THEN " + std::string(layout.record) + " END";
}

// A read-only connection of its own and the one statement it reads rows
// with; one thread at a time.
class RowStatement {
 public:
  [[nodiscard]] static std::expected<RowStatement, ArchiveError> open(const std::string& path,
                                                                      const DatabaseLayout& layout,
                                                                      std::string sql, sysio::Cancel cancel) {
    auto access = access_of(path);
    if (!access) return std::unexpected(access.error());
    RowStatement rows(path, std::move(sql), layout.three_player_value, cancel);
    if (auto connected = rows.connect(*access); !connected) return std::unexpected(connected.error());
    return rows;
  }

  [[nodiscard]] sqlite3_stmt* get() const noexcept { return statement_.get(); }
  [[nodiscard]] ArchiveError failed() const { return {"cannot read the row: " + sqlite_message(db_.get())}; }

  // A file read as immutable is no longer so once a writer has opened it:
  // its checkpoints rewrite pages this connection may hold cached, which
  // then read as corrupt or as other rows. From then on the file is read
  // shared, through the writer's log. Whether it reconnected; one stat a
  // read until it does.
  bool share_if_written() {
    if (access_ != Access::Immutable || !exists(path_ + "-wal") || !exists(path_ + "-shm")) return false;
    return connect(Access::Shared).has_value();
  }

  // After a failed read: whether to read again, on a connection just made
  // shared because a writer started while the read was under way.
  [[nodiscard]] bool retry_shared() { return !sysio::cancelled(cancel_) && share_if_written(); }

  // The row the statement stands on, from its column `first` on:
  // was_error, is_processed, the three-player column, the record's length, the record.
  [[nodiscard]] std::expected<Row, ArchiveError> row(int first) const {
    sqlite3_stmt* s = statement_.get();
    Row row;
    row.failed_download = sqlite3_column_int64(s, first) == 1;
    row.processed = sqlite3_column_int64(s, first + 1) != 0;
    row.three_player = sqlite3_column_int64(s, first + 2) == three_player_value_;
    const auto oversized = [] { return std::unexpected(too_large("database blob")); };
    // A text's length counts characters up to its first NUL: its bytes are looked at too.
    if (sqlite3_column_int64(s, first + 3) > static_cast<sqlite3_int64>(record_limit)) return oversized();
    const int size = sqlite3_column_bytes(s, first + 4);
    if (size > 0) {
      if (static_cast<std::size_t>(size) > record_limit) return oversized();
      const auto* bytes = static_cast<const char*>(sqlite3_column_blob(s, first + 4));
      if (!bytes) return std::unexpected(failed());
      row.record.emplace(std::string_view(bytes, static_cast<std::size_t>(size)));
    }
    return row;
  }

 private:
  RowStatement(std::string path, std::string sql, int three_player_value, sysio::Cancel cancel)
      : path_(std::move(path)), sql_(std::move(sql)), three_player_value_(three_player_value), cancel_(cancel) {}

  [[nodiscard]] std::expected<void, ArchiveError> connect(Access access) {
    auto db = connect_as(path_, access, cancel_);
    if (!db) return std::unexpected(db.error());
    auto statement = prepare(db->get(), sql_);
    if (!statement) return std::unexpected(ArchiveError{"cannot read rows: " + statement.error().message});
    statement_ = std::move(*statement);  // the old statement goes before its connection
    db_ = std::move(*db);
    access_ = access;
    return {};
  }

  std::string path_;
  std::string sql_;
  int three_player_value_;
  sysio::Cancel cancel_;
  Access access_ = Access::Shared;
  Connection db_;
  Statement statement_;
};

// Whether any of the reads failed.
[[nodiscard]] bool any_failed(std::span<const RowRead> reads) {
  for (const RowRead& read : reads) {
    if (!read) return true;
  }
  return false;
}

// Reads one row by id.
class RowReader {
 public:
  [[nodiscard]] static std::expected<RowReader, ArchiveError> open(const std::string& path,
                                                                   const DatabaseLayout& layout,
                                                                   sysio::Cancel cancel) {
    auto rows = RowStatement::open(
        path, layout, "SELECT " + row_columns(layout) + " FROM logs WHERE " + std::string(layout.id) + " = ?1",
        cancel);
    if (!rows) return std::unexpected(rows.error());
    return RowReader(std::move(*rows));
  }

  // The row, or nothing when it is gone; each call its own transaction.
  [[nodiscard]] RowRead read(std::string_view id) {
    rows_.share_if_written();
    RowRead read = read_once(id);
    if (!read && rows_.retry_shared()) read = read_once(id);
    return read;
  }

 private:
  explicit RowReader(RowStatement rows) : rows_(std::move(rows)) {}

  [[nodiscard]] RowRead read_once(std::string_view id) {
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
                                                                   const DatabaseLayout& layout,
                                                                   sysio::Cancel cancel) {
    const std::string id(layout.id);
    auto rows = RowStatement::open(path, layout,
                                   "SELECT " + id + ", " + row_columns(layout) + " FROM logs WHERE " + id +
                                       " >= ?1 AND " + id + " <= ?2 ORDER BY " + id,
                                   cancel);
    if (!rows) return std::unexpected(rows.error());
    return RunReader(std::move(*rows));
  }

  // The rows of `ids`, distinct text ids in the database's id order: one
  // read for each id from the first, fewer when the run closed early (the
  // rest are for the next run). The scan also meets rows added since the
  // ids were read, which are passed over; an id it steps past was deleted
  // meanwhile. A step that fails fails the next row only: the next run
  // seeks past it.
  [[nodiscard]] std::vector<RowRead> read(std::span<const std::string_view> ids) {
    rows_.share_if_written();
    auto reads = read_once(ids);
    if (any_failed(reads) && rows_.retry_shared()) reads = read_once(ids);
    return reads;
  }

 private:
  explicit RunReader(RowStatement rows) : rows_(std::move(rows)) {}

  [[nodiscard]] std::vector<RowRead> read_once(std::span<const std::string_view> ids) {
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

  RowStatement rows_;
};

// What the duplicate finder reads an earlier row with: its own connection,
// only ever used under the finder's lock.
struct Reread {
  RowReader reader;
  TextOf text_of;
  std::shared_ptr<const RowIds> ids;

  [[nodiscard]] std::expected<pairo::PaddedText, ArchiveError> text(std::size_t row) {
    auto read = reader.read((*ids)[row]);
    if (!read) return std::unexpected(read.error());
    if (!*read || !(*read)->record) return std::unexpected(ArchiveError{"row is gone", pairo::FailureCode::RowGone});
    return text_of(StoredBytes{std::move(*(*read)->record)});
  }
};

class DatabaseSource final : public Source {
 public:
  DatabaseSource(RunReader reader, std::shared_ptr<const RowIds> ids, std::shared_ptr<DuplicateFinder> finder,
                 sysio::Cancel cancel)
      : reader_(std::move(reader)), ids_(std::move(ids)), finder_(std::move(finder)), cancel_(cancel) {}

  std::optional<Entry> next() override {
    if (row_ == ids_->size()) return std::nullopt;
    const std::size_t row = row_++;
    auto entry = entry_of(row, (*ids_)[row]);
    if (!std::holds_alternative<StoredRecord>(entry)) finder_->pass(row);
    // A raised flag ends the container, as its own failure: what an
    // interrupted read says of the row is no verdict on it.
    if (sysio::cancelled(cancel_)) {
      row_ = ids_->size();
      return EntryFailure{"", cancelled_read()};
    }
    return entry;
  }

  std::optional<std::size_t> size_hint() const noexcept override { return ids_->size(); }

  void leave_out(IdFilter filter) override { filter_ = std::move(filter); }

 private:
  // The filter that leaves the row out, on its id alone; a three-player
  // game's row keeps its own reason.
  [[nodiscard]] std::optional<std::string_view> left_out(std::size_t row) const {
    if (!filter_ || !ids_->is_text(row)) return std::nullopt;
    const auto game = parse_game_id((*ids_)[row]);
    if (!game || is_three_player(*game)) return std::nullopt;
    return filter_(*game);
  }

  [[nodiscard]] Entry entry_of(std::size_t row, std::string_view id) {
    const auto game = parse_game_id(id);
    if (!game) return EntryFailure{shown(id), {"row id is not a game id: " + shown(id), pairo::FailureCode::NotAGameId}};
    if (!ids_->is_text(row)) return EntryFailure{shown(id), {"row id is not text: " + shown(id), pairo::FailureCode::NotAGameId}};
    const std::string name(id);
    if (const auto filter = left_out(row)) return Skip{name, SkipReason::Filtered, *filter};
    RowRead read = take(row);
    if (!read) return EntryFailure{name, read.error()};
    if (!*read) return EntryFailure{name, {"row is no longer in the database", pairo::FailureCode::RowGone}};
    Row& r = **read;
    if (r.failed_download) return Skip{name, SkipReason::DownloadFailed};
    if (!r.processed || !r.record) return Skip{name, SkipReason::NotDownloaded};
    if (r.three_player || is_three_player(*game)) return Skip{name, SkipReason::ThreePlayer};
    return StoredRecord{name, name, StoredBytes{std::move(*r.record)}, DuplicateTicket(finder_, row)};
  }

  // The read of a row whose id is a text game id, from the run holding it
  // or from a new run that starts at it and takes the rows of the same kind
  // after it (other rows need no reading; rows the filter leaves out are
  // passed over, and the scan steps past them).
  [[nodiscard]] RowRead take(std::size_t row) {
    if (run_at_ >= run_.size() || run_rows_[run_at_] != row) {
      run_rows_.clear();
      run_ids_.clear();
      run_at_ = 0;
      for (std::size_t r = row; r < ids_->size() && run_ids_.size() < run_rows; ++r) {
        const std::string_view id = (*ids_)[r];
        if (!ids_->is_text(r) || !parse_game_id(id)) break;
        if (r != row && left_out(r)) continue;
        run_rows_.push_back(r);
        run_ids_.push_back(id);
      }
      run_ = reader_.read(run_ids_);
    }
    return std::move(run_[run_at_++]);
  }

  RunReader reader_;
  std::shared_ptr<const RowIds> ids_;
  std::shared_ptr<DuplicateFinder> finder_;
  sysio::Cancel cancel_;
  IdFilter filter_;
  std::size_t row_ = 0;
  std::vector<std::size_t> run_rows_;      // the rows of the run, in order
  std::size_t run_at_ = 0;                 // the next of them to take
  std::vector<std::string_view> run_ids_;  // into ids_
  std::vector<RowRead> run_;
};

[[nodiscard]] std::expected<std::unique_ptr<Source>, ArchiveError> open_source(const std::string& path, Layouts layouts,
                                                                               TextOf text_of, sysio::Cancel cancel) {
  auto db = connect(path, cancel);
  if (!db) return std::unexpected(db.error());
  auto layout = layout_of(db->get(), layouts);
  if (!layout) return std::unexpected(layout.error());
  auto ids = read_ids(db->get(), **layout);
  if (!ids) return std::unexpected(ids.error());
  db->reset();
  auto reader = RunReader::open(path, **layout, cancel);
  if (!reader) return std::unexpected(reader.error());
  auto reread_reader = RowReader::open(path, **layout, cancel);
  if (!reread_reader) return std::unexpected(reread_reader.error());
  auto shared_ids = std::make_shared<const RowIds>(std::move(*ids));
  auto reread = std::make_shared<Reread>(Reread{std::move(*reread_reader), std::move(text_of), shared_ids});
  auto finder = std::make_shared<DuplicateFinder>(
      shared_ids->size(), [reread](std::size_t row) { return reread->text(row); },
      [shared_ids](std::size_t row) { return std::string((*shared_ids)[row]); });
  return std::make_unique<DatabaseSource>(std::move(*reader), std::move(shared_ids), std::move(finder), cancel);
}

}  // namespace

bool is_database_header(std::string_view head) noexcept {
  return head.size() >= 16 && head.substr(0, 16) == std::string_view("SQLite format 3\0", 16);
}

std::expected<std::unique_ptr<Source>, ArchiveError> open_database(const std::string& path, Layouts layouts,
                                                                   TextOf text_of, sysio::Cancel cancel) {
  auto source = open_source(path, layouts, std::move(text_of), cancel);
  // A raised flag fails the open wherever it had got to: an interrupted
  // query's failure says nothing of the file.
  if (sysio::cancelled(cancel)) return std::unexpected(cancelled_read());
  return source;
}

}  // namespace archive
