// The register on one machine: an SQLite file.
#pragma once

#include <filesystem>
#include <memory>

#include "register/database.h"

struct sqlite3;

namespace kro {

class SqliteDatabase final : public Database {
 public:
  // Opens the file, made when missing (its folder too). A writer waits for another's write lock
  // for up to busyMilliseconds before it gives up.
  static Result<std::unique_ptr<SqliteDatabase>> open(const std::filesystem::path& file,
                                                      int busyMilliseconds = 60'000);
  ~SqliteDatabase() override;

  Result<std::vector<SqlRow>> run(std::string_view sql, const std::vector<SqlValue>& parameters) override;
  Status begin() override;
  Status commit() override;
  void rollback() override;
  std::string_view identityColumn() const override { return "INTEGER PRIMARY KEY"; }
  std::string where() const override;

  // A consistent copy of the whole database into a new file (SQLite's online backup).
  Status backupTo(const std::filesystem::path& file);

 private:
  SqliteDatabase(sqlite3* db, std::filesystem::path file) : db_(db), file_(std::move(file)) {}
  Error failure(std::string_view what) const;

  sqlite3* db_;
  std::filesystem::path file_;
  bool inTransaction_ = false;
};

}  // namespace kro
