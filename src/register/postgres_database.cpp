// The register on a PostgreSQL server.
#include "register/postgres_database.h"

#include <libpq-fe.h>

namespace kro {

namespace {

// The register's lock among every program that writes it (an advisory lock of the transaction).
constexpr const char* kRegisterLock = "SELECT pg_advisory_xact_lock(7243519)";
constexpr std::string_view kPasswordWanted = "（台账服务器要求密码）";

std::string trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

// The address without its password, for messages.
std::string shownAddress(PGconn* c) {
  std::string out =
      std::string("postgresql://") + PQuser(c) + "@" + PQhost(c) + ":" + PQport(c) + "/" + PQdb(c);
  return out;
}

}  // namespace

bool isServerRegister(std::string_view location) {
  return location.starts_with("postgresql://") || location.starts_with("postgres://");
}

bool PostgresDatabase::needsPassword(const std::string& message) {
  return message.find(kPasswordWanted) != std::string::npos;
}

Result<std::unique_ptr<PostgresDatabase>> PostgresDatabase::open(const std::string& address,
                                                                 const std::string& password) {
  const char* keys[] = {"dbname", "password", "connect_timeout", "application_name", nullptr};
  const char* values[] = {address.c_str(), password.empty() ? nullptr : password.c_str(), "10", "kroanalyze",
                          nullptr};
  PGconn* c = PQconnectdbParams(keys, values, 1);
  if (c == nullptr) return Error{"无法连接台账服务器：内存不足"};
  if (PQstatus(c) != CONNECTION_OK) {
    std::string why = trimmed(PQerrorMessage(c));
    const bool wanted = PQconnectionNeedsPassword(c) != 0 && password.empty();
    PQfinish(c);
    return Error{"无法连接台账服务器：" + why + (wanted ? std::string(kPasswordWanted) : std::string())};
  }
  std::unique_ptr<PostgresDatabase> db(new PostgresDatabase(c, shownAddress(c)));
  // Numbers and times as text, quietly: notices are not the user's business.
  PQsetNoticeProcessor(
      c, [](void*, const char*) {}, nullptr);
  if (auto r = db->run("SET client_encoding = 'UTF8'", {}); !r) return r.error();
  return db;
}

PostgresDatabase::~PostgresDatabase() {
  if (inTransaction_) rollback();
  PQfinish(connection_);
}

Result<std::vector<SqlRow>> PostgresDatabase::run(std::string_view sql,
                                                  const std::vector<SqlValue>& parameters) {
  std::vector<const char*> values;
  for (const SqlValue& p : parameters) values.push_back(p ? p->c_str() : nullptr);
  const std::string statement(sql);
  PGresult* result = PQexecParams(connection_, statement.c_str(), static_cast<int>(values.size()), nullptr,
                                  values.data(), nullptr, nullptr, 0);
  struct Clear {
    PGresult* r;
    ~Clear() { PQclear(r); }
  } clear{result};
  const ExecStatusType status = PQresultStatus(result);
  if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
    if (PQstatus(connection_) == CONNECTION_BAD) PQreset(connection_);
    return Error{"台账“" + where_ + "”无法读写：" + trimmed(PQresultErrorMessage(result))};
  }
  std::vector<SqlRow> rows;
  const int count = PQntuples(result), columns = PQnfields(result);
  for (int r = 0; r < count; ++r) {
    SqlRow row;
    for (int c = 0; c < columns; ++c) {
      if (PQgetisnull(result, r, c)) {
        row.emplace_back();
      } else {
        row.emplace_back(
            std::string(PQgetvalue(result, r, c), static_cast<std::size_t>(PQgetlength(result, r, c))));
      }
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

Status PostgresDatabase::begin() {
  if (inTransaction_) return Error{"台账“" + where_ + "”：事务不能嵌套"};
  if (auto r = run("BEGIN", {}); !r) return r.error();
  inTransaction_ = true;
  if (auto r = run(kRegisterLock, {}); !r) {
    rollback();
    return r.error();
  }
  return {};
}

Status PostgresDatabase::commit() {
  if (!inTransaction_) return Error{"台账“" + where_ + "”：没有进行中的事务"};
  auto r = run("COMMIT", {});
  inTransaction_ = false;
  if (!r) return r.error();
  return {};
}

void PostgresDatabase::rollback() {
  if (!inTransaction_) return;
  (void)run("ROLLBACK", {});
  inTransaction_ = false;
}

Status PostgresDatabase::identityFollowsRows(std::string_view table) {
  const std::string t(table);
  auto r = run("SELECT setval(pg_get_serial_sequence('" + t + "', 'id'), COALESCE((SELECT MAX(id) FROM " + t +
                   "), 0) + 1, false)",
               {});
  return r ? Status::success() : Status(r.error());
}

}  // namespace kro
