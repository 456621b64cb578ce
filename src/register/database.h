// The register's database, seen through one small interface so that the register's own code
// (schema, numbering, ledgers) is written once for every backend: SQLite on one machine, a
// server for several. Statements use $1, $2 … for their parameters; every value is text or
// null, as both backends take and give them.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"

namespace kro {

using SqlValue = std::optional<std::string>;  // nothing: NULL
using SqlRow = std::vector<SqlValue>;

class Database {
 public:
  virtual ~Database() = default;
  // Runs a statement; its rows, if it gives any (SELECT, or … RETURNING).
  virtual Result<std::vector<SqlRow>> run(std::string_view sql,
                                          const std::vector<SqlValue>& parameters = {}) = 0;
  // A transaction that takes the database's write lock at once, so that a number read and raised
  // in it cannot be read by another writer before it commits. Nested calls are refused.
  virtual Status begin() = 0;
  virtual Status commit() = 0;
  virtual void rollback() = 0;
  // What the backend writes for a table's own increasing key ("INTEGER PRIMARY KEY").
  virtual std::string_view identityColumn() const = 0;
  // Where the database is, for messages.
  virtual std::string where() const = 0;
  // After rows were copied in with their keys: the table's next key follows the largest.
  virtual Status identityFollowsRows(std::string_view /*table*/) { return {}; }
};

// A transaction rolled back unless committed: every path that leaves early undoes its writes.
class Transaction {
 public:
  explicit Transaction(Database& db) : db_(db) { status_ = db_.begin(); }
  ~Transaction() {
    if (status_ && !done_) db_.rollback();
  }
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  const Status& started() const { return status_; }
  Status commit() {
    done_ = true;
    return db_.commit();
  }

 private:
  Database& db_;
  Status status_;
  bool done_ = false;
};

}  // namespace kro
