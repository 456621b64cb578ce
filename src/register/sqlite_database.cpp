// The register on one machine: an SQLite file.
#include "register/sqlite_database.h"

#include <sqlite3.h>

#include <system_error>

#include "model/file_io.h"

namespace kro {

namespace fs = std::filesystem;

Result<std::unique_ptr<SqliteDatabase>> SqliteDatabase::open(const fs::path& file, int busyMilliseconds) {
  std::error_code ec;
  if (file.has_parent_path()) fs::create_directories(file.parent_path(), ec);
  sqlite3* db = nullptr;
  const int opened =
      sqlite3_open_v2(displayPath(file).c_str(), &db,
                      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX, nullptr);
  if (opened != SQLITE_OK) {
    std::string why = db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(opened);
    sqlite3_close(db);
    return Error{"无法打开台账“" + displayPath(file) + "”：" + why};
  }
  sqlite3_busy_timeout(db, busyMilliseconds);
  std::unique_ptr<SqliteDatabase> database(new SqliteDatabase(db, file));
  // Written through a journal of its own, each commit on the disk before it returns: a killed
  // program or a lost power leaves the last committed state.
  for (const char* setting :
       {"PRAGMA journal_mode=WAL", "PRAGMA synchronous=FULL", "PRAGMA foreign_keys=ON"}) {
    if (auto r = database->run(setting, {}); !r) return r.error();
  }
  return database;
}

SqliteDatabase::~SqliteDatabase() {
  if (inTransaction_) rollback();
  sqlite3_close(db_);
}

std::string SqliteDatabase::where() const { return displayPath(file_); }

Error SqliteDatabase::failure(std::string_view what) const {
  const int code = sqlite3_errcode(db_);
  std::string text = "台账“" + where() + "”" + std::string(what) + "：" + sqlite3_errmsg(db_);
  if (code == SQLITE_BUSY || code == SQLITE_LOCKED) text += "（另一个程序长时间占用着台账，请稍后再试）";
  if (code == SQLITE_READONLY) text += "（台账文件是只读的）";
  if (code == SQLITE_FULL) text += "（磁盘已满）";
  return Error{text};
}

Result<std::vector<SqlRow>> SqliteDatabase::run(std::string_view sql,
                                                const std::vector<SqlValue>& parameters) {
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &statement, nullptr) != SQLITE_OK)
    return failure("无法执行语句");
  struct Finalize {
    sqlite3_stmt* s;
    ~Finalize() { sqlite3_finalize(s); }
  } finalize{statement};
  for (std::size_t k = 0; k < parameters.size(); ++k) {
    const std::string name = "$" + std::to_string(k + 1);
    const int index = sqlite3_bind_parameter_index(statement, name.c_str());
    if (index == 0) continue;
    const int bound = parameters[k]
                          ? sqlite3_bind_text(statement, index, parameters[k]->data(),
                                              static_cast<int>(parameters[k]->size()), SQLITE_TRANSIENT)
                          : sqlite3_bind_null(statement, index);
    if (bound != SQLITE_OK) return failure("无法执行语句");
  }
  std::vector<SqlRow> rows;
  for (;;) {
    const int step = sqlite3_step(statement);
    if (step == SQLITE_DONE) break;
    if (step != SQLITE_ROW) return failure("无法读写");
    SqlRow row;
    const int columns = sqlite3_column_count(statement);
    for (int c = 0; c < columns; ++c) {
      if (sqlite3_column_type(statement, c) == SQLITE_NULL) {
        row.emplace_back();
      } else {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, c));
        row.emplace_back(std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(statement, c))));
      }
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

Status SqliteDatabase::begin() {
  if (inTransaction_) return Error{"台账“" + where() + "”：事务不能嵌套"};
  if (auto r = run("BEGIN IMMEDIATE", {}); !r) return r.error();
  inTransaction_ = true;
  return {};
}

Status SqliteDatabase::commit() {
  if (!inTransaction_) return Error{"台账“" + where() + "”：没有进行中的事务"};
  auto r = run("COMMIT", {});
  if (!r) {
    rollback();
    return r.error();
  }
  inTransaction_ = false;
  return {};
}

void SqliteDatabase::rollback() {
  if (!inTransaction_) return;
  (void)run("ROLLBACK", {});
  inTransaction_ = false;
}

Status SqliteDatabase::backupTo(const fs::path& file) {
  sqlite3* target = nullptr;
  if (sqlite3_open_v2(displayPath(file).c_str(), &target, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                      nullptr) != SQLITE_OK) {
    std::string why = target != nullptr ? sqlite3_errmsg(target) : "无法创建";
    sqlite3_close(target);
    return Error{"无法写入台账备份“" + displayPath(file) + "”：" + why};
  }
  sqlite3_backup* backup = sqlite3_backup_init(target, "main", db_, "main");
  int done = SQLITE_ERROR;
  if (backup != nullptr) {
    do {
      done = sqlite3_backup_step(backup, -1);
      if (done == SQLITE_BUSY || done == SQLITE_LOCKED) sqlite3_sleep(50);
    } while (done == SQLITE_OK || done == SQLITE_BUSY || done == SQLITE_LOCKED);
    sqlite3_backup_finish(backup);
  }
  std::string why = done == SQLITE_DONE ? std::string() : sqlite3_errmsg(target);
  // The copy stands alone: its journal folded into the file.
  if (done == SQLITE_DONE) sqlite3_exec(target, "PRAGMA journal_mode=DELETE", nullptr, nullptr, nullptr);
  sqlite3_close(target);
  if (done != SQLITE_DONE) {
    removeQuietly(file);
    return Error{"无法写入台账备份“" + displayPath(file) + "”：" + why};
  }
  return {};
}

}  // namespace kro
