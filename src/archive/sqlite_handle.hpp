// One owner each for a SQLite connection and a prepared statement.
#pragma once

#include <sqlite3.h>

#include <memory>

namespace archive {

struct CloseConnection {
  void operator()(sqlite3* db) const noexcept { sqlite3_close_v2(db); }
};
struct FinalizeStatement {
  void operator()(sqlite3_stmt* statement) const noexcept { sqlite3_finalize(statement); }
};

using Connection = std::unique_ptr<sqlite3, CloseConnection>;
using Statement = std::unique_ptr<sqlite3_stmt, FinalizeStatement>;

// Ends the statement's read (and so its transaction) when the scope ends.
class StatementReset {
 public:
  explicit StatementReset(sqlite3_stmt* statement) noexcept : statement_(statement) {}
  StatementReset(const StatementReset&) = delete;
  StatementReset& operator=(const StatementReset&) = delete;
  ~StatementReset() {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
  }

 private:
  sqlite3_stmt* statement_;
};

}  // namespace archive
