// The downloaders' databases read as containers: row selection and its
// order of reasons, duplicates, bad ids and blobs, layouts refused, the
// file left as it was, a writer appending while the rows are read, files
// made to hurt their reader, cancelling.
#include <sqlite3.h>

#include <atomic>
#include <thread>

#include "archive/container.hpp"
#include "archive/database.hpp"
#include "archive_support.hpp"

namespace {

using archive_test::Seen;
namespace fs = std::filesystem;

struct Layout {
  const char* name;
  const char* create;
  const char* insert;  // id, three-player column, is_processed, was_error, record
  int three_player;
  int four_player;
  std::string (*compress)(std::string_view);
  const char* id_column;
  const char* record_column;
};

const Layout older{"phoenix",
                   "CREATE TABLE logs(log_id TEXT PRIMARY KEY, date TEXT, is_tonpusen INT, is_sanma INT, "
                   "is_processed INT, was_error INT, log_content TEXT, log_hash TEXT);"
                   "CREATE TABLE last_downloads(name TEXT, date INT)",
                   "INSERT INTO logs(log_id, is_sanma, is_processed, was_error, log_content) VALUES(?1,?2,?3,?4,?5)",
                   1, 0, archive_test::bzip2_of, "log_id", "log_content"};
const Layout newer{"houou",
                   "CREATE TABLE logs(id TEXT PRIMARY KEY, date TEXT NOT NULL DEFAULT '', num_players INT, "
                   "is_tonpu INT, is_processed INT, was_error INT, log BLOB) WITHOUT ROWID;"
                   "CREATE TABLE last_fetch_time(time REAL)",
                   "INSERT INTO logs(id, num_players, is_processed, was_error, log) VALUES(?1,?2,?3,?4,?5)", 3, 4,
                   archive_test::gzip_of, "id", "log"};

struct Row {
  std::string id;
  bool three_player = false;
  int processed = 1;
  int error = 0;
  std::optional<std::string> blob;  // none: NULL
  bool id_as_blob = false;
};

class Db {
 public:
  explicit Db(const fs::path& path, const char* journal = "DELETE") {
    EXPECT_EQ(sqlite3_open(path.c_str(), &db_), SQLITE_OK);
    exec(std::string("PRAGMA journal_mode=") + journal);
  }
  ~Db() { sqlite3_close(db_); }
  void exec(const std::string& sql) { ASSERT_EQ(sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sql; }
  // The insert's result code: a writer must never find the file busy.
  int insert(const Layout& layout, const Row& row) {
    sqlite3_stmt* s = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db_, layout.insert, -1, &s, nullptr), SQLITE_OK);
    if (row.id_as_blob) {
      sqlite3_bind_blob(s, 1, row.id.data(), static_cast<int>(row.id.size()), SQLITE_TRANSIENT);
    } else {
      sqlite3_bind_text(s, 1, row.id.data(), static_cast<int>(row.id.size()), SQLITE_TRANSIENT);
    }
    sqlite3_bind_int(s, 2, row.three_player ? layout.three_player : layout.four_player);
    sqlite3_bind_int(s, 3, row.processed);
    sqlite3_bind_int(s, 4, row.error);
    if (row.blob) {
      sqlite3_bind_blob(s, 5, row.blob->data(), static_cast<int>(row.blob->size()), SQLITE_TRANSIENT);
    } else {
      sqlite3_bind_null(s, 5);
    }
    const int rc = sqlite3_step(s);
    sqlite3_finalize(s);
    return rc;
  }
  sqlite3* get() { return db_; }

 private:
  sqlite3* db_ = nullptr;
};

std::string id(int hour, const char* type = "00a9", const char* key = "c603794d") {
  char text[64];
  std::snprintf(text, sizeof text, "20190210%02dgm-%s-0000-%s", hour, type, key);
  return text;
}

// Game ids told apart by their key, in order by `n`.
std::string key(int n) {
  char text[16];
  std::snprintf(text, sizeof text, "%08x", n);
  return id(1, "00a9", text);
}

class DatabaseTest : public ::testing::TestWithParam<const Layout*> {
 protected:
  void SetUp() override {
    records_ = archive_test::xml_records();
    REQUIRE_XML(records_);
  }
  std::vector<std::string> records_;
  archive_test::ScratchFolder folder_;
};

// Every reason, each where it comes first; ids in an order the rows are not inserted in.
TEST_P(DatabaseTest, SelectsRowsInIdOrderWithOneReasonEach) {
  const Layout& layout = *GetParam();
  const fs::path path = folder_.path() / "2019.db";
  {
    Db db(path);
    db.exec(layout.create);
    const std::string a = layout.compress(records_[0]);
    const std::vector<Row> rows = {
        {id(12), false, 1, 0, layout.compress(records_[1])},
        {id(1), false, 1, 0, a},
        {id(2), true, 1, 0, a},                              // three-player by its column
        {id(3, "00b9"), false, 1, 0, a},                      // three-player by its id
        {id(4), true, 1, 1, std::string()},                   // failed before three-player
        {id(5), false, 0, 0, a},                              // not downloaded, though a record is there
        {id(6), false, 1, 0, std::nullopt},                   // no record
        {id(7), false, 1, 0, std::string()},                  // an empty one
        {id(8), false, 1, 0, archive_test::gzip_of(records_[0])},  // the record of 1, compressed otherwise
        {"../../x", false, 1, 0, a},
        {id(9), false, 1, 0, std::string("BZh91AY&SY") + std::string(40, 'x')},
        {id(10), false, 1, 0, std::string(records_[2])},      // kept plain
        {id(11), false, 1, 0, archive_test::gzip_of(records_[1])},  // the record of 12, earlier by id
    };
    for (const Row& row : rows) ASSERT_EQ(db.insert(layout, row), SQLITE_DONE);
  }
  auto container = formats::Container::open(path.string());
  ASSERT_TRUE(container) << container.error().message;
  EXPECT_EQ(container->output_folder(), "2019");
  EXPECT_EQ(container->size_hint(), std::optional<std::size_t>(13));
  const std::vector<Seen> expected = {
      {'F', "\"../../x\"", "row id is not a game id: \"../../x\"", ""},
      {'R', id(1), id(1), records_[0]},
      {'S', id(2), "three-player", ""},
      {'S', id(3, "00b9"), "three-player", ""},
      {'S', id(4), "download failed", ""},
      {'S', id(5), "not downloaded", ""},
      {'S', id(6), "not downloaded", ""},
      {'S', id(7), "not downloaded", ""},
      {'S', id(8), "duplicate of " + id(1), ""},
      {'R', id(9), id(9), "!invalid bzip2 data"},
      {'R', id(10), id(10), records_[2]},
      {'R', id(11), id(11), records_[1]},
      {'S', id(12), "duplicate of " + id(11), ""},
  };
  EXPECT_EQ(archive_test::read_all(*container), expected);
}

// The file is read, never written: no journal, WAL or shared-memory file
// appears beside it, in either journal mode, nor for a WAL file whose header
// gives its write version as the legacy one (SQLite goes by the read version).
TEST_P(DatabaseTest, LeavesTheFolderAsItWas) {
  const Layout& layout = *GetParam();
  struct Case {
    const char* journal;
    const char* name;
    bool legacy_write_version;
  };
  for (const auto& [journal, name, legacy_write_version] :
       {Case{"DELETE", "DELETE.db", false}, Case{"WAL", "WAL.db", false}, Case{"WAL", "WAL-read-2.db", true}}) {
    const fs::path path = folder_.path() / name;
    {
      Db db(path, journal);
      db.exec(layout.create);
      ASSERT_EQ(db.insert(layout, {id(1), false, 1, 0, layout.compress(records_[0])}), SQLITE_DONE);
    }
    if (legacy_write_version) {
      std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
      file.seekp(18);
      file.put('\x01');
    }
    const auto before = folder_.listing();
    const auto bytes_before = corpus::read_file(path);
    {
      auto container = formats::Container::open(path.string());
      ASSERT_TRUE(container) << container.error().message;
      const auto seen = archive_test::read_all(*container);
      ASSERT_EQ(seen.size(), 1u);
      EXPECT_EQ(seen[0].text, records_[0]) << name;
    }
    EXPECT_EQ(folder_.listing(), before) << name;
    EXPECT_EQ(corpus::read_file(path), bytes_before) << name;
  }
}

// A downloader appending meanwhile: its commits go through at once (it
// waits for nothing), and the rows it adds are not read in this run.
TEST_P(DatabaseTest, ReadsBesideAWriterWithoutBlockingIt) {
  const Layout& layout = *GetParam();
  for (const char* journal : {"DELETE", "WAL"}) {
    const fs::path path = folder_.path() / (std::string(journal) + ".db");
    Db writer(path, journal);
    writer.exec(layout.create);
    for (int hour = 0; hour < 6; ++hour) {
      ASSERT_EQ(writer.insert(layout, {id(hour * 2), false, 1, 0, layout.compress(records_[hour % 3])}),
                SQLITE_DONE);
    }
    sqlite3_busy_timeout(writer.get(), 0);  // busy would fail the insert instead of waiting
    auto container = formats::Container::open(path.string());
    ASSERT_TRUE(container) << container.error().message;
    formats::Decoders decoders;
    std::vector<std::string> names;
    int hour = 1;
    while (auto entry = container->next()) {
      // Between rows, and while a record is being decompressed, the reader holds no lock.
      ASSERT_EQ(writer.insert(layout, {id(hour), false, 1, 0, layout.compress(records_[0])}), SQLITE_DONE)
          << journal << ": " << sqlite3_errmsg(writer.get());
      hour += 2;
      auto& record = std::get<archive::StoredRecord>(*entry);
      ASSERT_TRUE(formats::record_text(record.stored, decoders)) << journal;
      names.push_back(record.name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{id(0), id(2), id(4), id(6), id(8), id(10)})) << journal;
  }
}

// Rows are read a few at a time, in runs that also close on their bytes; a
// writer adds rows between the ones being read and deletes some ahead of
// the reader. The added are passed over, the deleted fail each alone, and
// every other row comes once, in id order.
TEST_P(DatabaseTest, ReadsRunsOfRowsBesideAWriterThatAddsAndDeletes) {
  const Layout& layout = *GetParam();
  const std::string large = std::string("BZh91AY&SY") + std::string(700'000, 'x');
  for (const char* journal : {"DELETE", "WAL"}) {
    const fs::path path = folder_.path() / (std::string(journal) + "-runs.db");
    Db writer(path, journal);
    writer.exec(layout.create);
    std::vector<Seen> expected;
    for (int row = 0; row < 50; ++row) {
      const bool is_large = row % 7 == 3;
      ASSERT_EQ(writer.insert(layout, {key(2 * row), false, 1, 0, is_large ? large : layout.compress(records_[row % 3])}),
                SQLITE_DONE);
      if (row == 30 || row == 31 || row == 45) {
        expected.push_back({'F', key(2 * row), "row is no longer in the database", ""});
      } else {
        expected.push_back({'R', key(2 * row), key(2 * row), is_large ? "!invalid bzip2 data" : records_[row % 3]});
      }
    }
    sqlite3_busy_timeout(writer.get(), 0);
    auto container = formats::Container::open(path.string());
    ASSERT_TRUE(container) << container.error().message;
    writer.exec(std::string("DELETE FROM logs WHERE ") + layout.id_column + " IN ('" + key(60) + "', '" + key(62) +
                "', '" + key(90) + "')");
    formats::Decoders decoders;
    std::vector<Seen> seen;
    int added = 41;  // odd keys fall between the rows, ahead of the reader
    while (auto entry = container->next()) {
      ASSERT_EQ(writer.insert(layout, {key(added), false, 1, 0, layout.compress(records_[0])}), SQLITE_DONE)
          << journal << ": " << sqlite3_errmsg(writer.get());
      added += 2;
      if (auto* record = std::get_if<archive::StoredRecord>(&*entry)) {
        auto text = formats::record_text(record->stored, decoders);
        seen.push_back(
            {'R', record->name, record->stem, text ? std::string(text->view()) : "!" + text.error().message});
      } else if (auto* failure = std::get_if<archive::EntryFailure>(&*entry)) {
        seen.push_back({'F', failure->name, failure->error.message, ""});
      }
    }
    EXPECT_EQ(seen, expected) << journal;
  }
}

TEST_P(DatabaseTest, DuplicateVerdictsDoNotDependOnTheOrderWorkersFinish) {
  const Layout& layout = *GetParam();
  const fs::path path = folder_.path() / "dups.db";
  {
    Db db(path);
    db.exec(layout.create);
    for (int hour = 0; hour < 12; ++hour) {
      ASSERT_EQ(db.insert(layout, {id(hour), false, 1, 0, layout.compress(records_[hour % 4 == 3 ? 0 : hour % 5])}),
                SQLITE_DONE);
    }
  }
  auto container = formats::Container::open(path.string());
  ASSERT_TRUE(container);
  std::vector<archive::StoredRecord> records;
  while (auto entry = container->next()) records.push_back(std::move(std::get<archive::StoredRecord>(*entry)));
  ASSERT_EQ(records.size(), 12u);
  // Later rows settle first, each on its own thread; each waits for the rows before it.
  std::vector<std::optional<std::string>> verdicts(records.size());
  std::vector<std::thread> workers;
  for (std::size_t i = records.size(); i-- > 0;) {
    workers.emplace_back([&, i] {
      formats::Decoders decoders;
      auto text = formats::record_text(records[i].stored, decoders);
      ASSERT_TRUE(text);
      verdicts[i] = records[i].settle_duplicate(text->view());
    });
  }
  for (auto& worker : workers) worker.join();
  // hours 0..11 hold records 0,1,2,0,4,0,1,0,3,4,0,0
  const std::vector<std::optional<std::string>> exact = {
      std::nullopt, std::nullopt, std::nullopt, id(0), std::nullopt, id(0),
      id(1),        id(0),        std::nullopt, id(4), id(0),        id(0)};
  EXPECT_EQ(verdicts, exact);
}

// A WAL file no writer had open is read as immutable; its downloader then
// starts, rewrites every page (a vacuum) and checkpoints them into the file
// while the rows are read. Every row still reads as it is stored, and so do
// the duplicate finder's rereads of the early rows.
TEST_P(DatabaseTest, ReadsAnIdleFileWhoseWriterStartsMidway) {
  const Layout& layout = *GetParam();
  const fs::path path = folder_.path() / "idle.db";
  std::vector<Seen> expected;
  {
    Db writer(path, "WAL");
    writer.exec(layout.create);
    for (int row = 0; row < 40; ++row) {
      ASSERT_EQ(writer.insert(layout, {key(2 * row), false, 1, 0, layout.compress(records_[row % 5])}), SQLITE_DONE);
      expected.push_back(row < 5 ? Seen{'R', key(2 * row), key(2 * row), records_[row]}
                                 : Seen{'S', key(2 * row), "duplicate of " + key(2 * (row % 5)), ""});
    }
  }
  ASSERT_FALSE(fs::exists(path.string() + "-wal"));
  auto container = formats::Container::open(path.string());
  ASSERT_TRUE(container) << container.error().message;
  formats::Decoders decoders;
  std::vector<Seen> seen;
  while (seen.size() < 10) {
    auto entry = container->next();
    ASSERT_TRUE(entry);
    seen.push_back(archive_test::seen_of(std::move(*entry), decoders));
  }
  Db writer(path, "WAL");
  for (int row = 0; row < 40; ++row) {
    ASSERT_EQ(writer.insert(layout, {key(2 * row + 1), false, 1, 0, std::string(6000, 'x')}), SQLITE_DONE);
  }
  writer.exec("VACUUM");
  writer.exec("PRAGMA wal_checkpoint(TRUNCATE)");
  for (Seen& rest : archive_test::read_all(*container)) seen.push_back(std::move(rest));
  EXPECT_EQ(seen, expected);
}

INSTANTIATE_TEST_SUITE_P(Layouts, DatabaseTest, ::testing::Values(&older, &newer),
                         [](const auto& info) { return std::string(info.param->name); });

// Files made to hurt their reader, in either layout.
class HostileDatabase : public DatabaseTest {};

// Rows that cannot be read fail each alone and their neighbours are read: a
// record stored well past the 64 MiB bound (refused from its length alone:
// SQLite is not let build a value that long, which would fail the read
// otherwise), and a game id stored as a blob, which SQLite orders after
// every text id.
TEST_P(HostileDatabase, RowsThatCannotBeReadFailAlone) {
  const Layout& layout = *GetParam();
  const fs::path path = folder_.path() / "rows.db";
  {
    Db db(path);
    db.exec(layout.create);
    for (int hour = 1; hour <= 5; ++hour) {
      ASSERT_EQ(db.insert(layout, {id(hour), false, 1, 0, layout.compress(records_[hour - 1])}), SQLITE_DONE);
    }
    ASSERT_EQ(db.insert(layout, {id(0), false, 1, 0, layout.compress(records_[0]), true}), SQLITE_DONE);
    const std::size_t oversized = archive::record_limit + (std::size_t{8} << 20);
    db.exec(std::string("UPDATE logs SET ") + layout.record_column + " = zeroblob(" + std::to_string(oversized) +
            ") WHERE " + layout.id_column + " = '" + id(3) + "'");
  }
  auto container = formats::Container::open(path.string());
  ASSERT_TRUE(container) << container.error().message;
  const std::string quoted = "\"" + id(0) + "\"";
  const std::vector<Seen> expected = {
      {'R', id(1), id(1), records_[0]},
      {'R', id(2), id(2), records_[1]},
      {'F', id(3), "database blob is larger than 64 MiB", ""},
      {'R', id(4), id(4), records_[3]},
      {'R', id(5), id(5), records_[4]},
      {'F', quoted, "row id is not text: " + quoted, ""},
  };
  EXPECT_EQ(archive_test::read_all(*container), expected);
}

INSTANTIATE_TEST_SUITE_P(Layouts, HostileDatabase, ::testing::Values(&older, &newer),
                         [](const auto& info) { return std::string(info.param->name); });

// Files that are no game-record database fail when opened, saying why. A
// `logs` that is no table of the file's own is refused before any row is
// read, under whatever case SQLite finds it by: a view (small here; one may
// never end, or build gigabytes) or a virtual table.
TEST(DatabaseOpen, RefusesWhatIsNoGameRecordDatabase) {
  archive_test::ScratchFolder folder;
  const std::string no_layout =
      "not a game-record database: no table logs with columns (log_id, is_sanma, is_processed, was_error, "
      "log_content) or (id, num_players, is_processed, was_error, log)";
  const std::string view = no_layout + " (logs is a view, not a table)";
  const std::string columns = "(log_id, is_sanma, is_processed, was_error, log_content)";
  const std::string rows = " AS WITH RECURSIVE r(n) AS (SELECT 0 UNION ALL SELECT n + 1 FROM r WHERE n < 1000) "
                           "SELECT '" + id(1) + "' || n, 0, 1, 0, randomblob(1000) FROM r";
  struct Case {
    const char* name;
    std::string sql;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"other.db", "CREATE TABLE games(id TEXT)", no_layout},
      {"columns.db", "CREATE TABLE logs(id TEXT PRIMARY KEY, log BLOB)", no_layout},
      {"view.db", "CREATE VIEW logs" + columns + rows, view},
      {"capitals.db", "CREATE VIEW LOGS" + columns + rows, view},
      {"virtual.db", "CREATE VIRTUAL TABLE logs USING fts5" + columns,
       no_layout + " (logs is a virtual table, not a table)"},
  };
  for (const Case& c : cases) {
    const fs::path path = folder.path() / c.name;
    {
      Db db(path);
      db.exec(c.sql);
    }
    auto container = formats::Container::open(path.string());
    ASSERT_FALSE(container) << c.name;
    EXPECT_EQ(container.error().message, c.message) << c.name;
  }
  // A damaged file with SQLite's header: the open fails, no crash.
  const fs::path damaged = folder.path() / "damaged.db";
  {
    std::ofstream out(damaged, std::ios::binary);
    out << std::string("SQLite format 3\0", 16) << std::string(4080, '\x5a');
  }
  EXPECT_TRUE(formats::is_container(damaged.string()));
  auto container = formats::Container::open(damaged.string());
  ASSERT_FALSE(container);
  EXPECT_TRUE(container.error().message.starts_with("not a game-record database")) << container.error().message;
  // Text is no container at all.
  const fs::path text = folder.path() / "notes.db";
  std::ofstream(text) << "not a database";
  EXPECT_FALSE(formats::is_container(text.string()));
  EXPECT_FALSE(formats::is_container(folder.path().string()));
}

// A -wal copied without its -shm: reading it would create the -shm beside
// it, so it is refused, saying why, and the folder is left as it was.
TEST(DatabaseOpen, RefusesALogWithoutItsSharedMemory) {
  archive_test::ScratchFolder folder;
  const fs::path live = folder.path() / "live.db";
  const fs::path copy = folder.path() / "copy.db";
  Db writer(live, "WAL");
  writer.exec(older.create);
  ASSERT_EQ(writer.insert(older, {id(1), false, 1, 0, std::string("x")}), SQLITE_DONE);
  fs::copy_file(live, copy);
  fs::copy_file(live.string() + "-wal", copy.string() + "-wal");
  const auto before = folder.listing();
  auto container = formats::Container::open(copy.string());
  ASSERT_FALSE(container);
  EXPECT_EQ(container.error().message,
            "database has a write-ahead log (-wal) but no -shm file: reading it would create one; "
            "open it once with sqlite3 to recover the log");
  EXPECT_EQ(folder.listing(), before);
}

// A raised cancel flag fails the open, or ends the container with its own
// failure, its last entry.
TEST(DatabaseCancel, ARaisedFlagFailsTheOpenOrEndsTheContainer) {
  archive_test::ScratchFolder folder;
  const fs::path path = folder.path() / "cancel.db";
  {
    Db db(path);
    db.exec(older.create);
    for (int hour = 0; hour < 4; ++hour) {
      ASSERT_EQ(db.insert(older, {id(hour), false, 1, 0, std::string("x")}), SQLITE_DONE);
    }
  }
  std::atomic<bool> cancel{true};
  auto refused = formats::Container::open(path.string(), formats::Target::Mjai, &cancel);
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().message, "cancelled");
  cancel = false;
  auto container = formats::Container::open(path.string(), formats::Target::Mjai, &cancel);
  ASSERT_TRUE(container) << container.error().message;
  ASSERT_TRUE(container->next());
  cancel = true;
  auto last = container->next();
  ASSERT_TRUE(last);
  formats::Decoders decoders;
  EXPECT_EQ(archive_test::seen_of(std::move(*last), decoders),
            (Seen{'F', path.string(), "cancelled", ""}));
  EXPECT_FALSE(container->next());
}

}  // namespace
