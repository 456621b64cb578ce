// A build without libpq: a register on a server cannot be opened, and says so.
#include "register/postgres_database.h"

namespace kro {

bool isServerRegister(std::string_view location) {
  return location.starts_with("postgresql://") || location.starts_with("postgres://");
}

bool PostgresDatabase::needsPassword(const std::string&) { return false; }

Result<std::unique_ptr<PostgresDatabase>> PostgresDatabase::open(const std::string& address,
                                                                 const std::string&) {
  return Error{"这个版本不能连接台账服务器“" + address + "”：它构建时没有 PostgreSQL 的客户端库（libpq）"};
}

}  // namespace kro

namespace kro {

// Never made in this build; defined so that the class is complete.
PostgresDatabase::~PostgresDatabase() = default;
Result<std::vector<SqlRow>> PostgresDatabase::run(std::string_view, const std::vector<SqlValue>&) {
  return Error{"没有台账服务器"};
}
Status PostgresDatabase::begin() { return Error{"没有台账服务器"}; }
Status PostgresDatabase::commit() { return Error{"没有台账服务器"}; }
void PostgresDatabase::rollback() {}
Status PostgresDatabase::identityFollowsRows(std::string_view) { return {}; }

}  // namespace kro
