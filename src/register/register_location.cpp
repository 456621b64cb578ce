// Where the register is and opening it.
#include "register/register_location.h"

#include <ctime>

#include "model/date_text.h"
#include "model/file_io.h"
#include "platform/file_system.h"
#include "platform/folders.h"
#include "register/postgres_database.h"
#include "register/sqlite_database.h"
#include "settings/settings_file.h"

namespace kro {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kSettingsName = "register";
constexpr std::string_view kSection = "台账";
constexpr std::string_view kKey = "位置";

std::string stamp() {
  const std::tm t = localTimeNow();
  char buffer[32];
  std::strftime(buffer, sizeof buffer, "%Y%m%d-%H%M%S", &t);
  return buffer;
}

// A copy beside the file that no other copy has: "register.sqlite.‹what›-20261209-101010".
fs::path besideWithStamp(const fs::path& file, std::string_view what) {
  fs::path copy = file;
  copy += "." + std::string(what) + "-" + stamp();
  std::error_code ec;
  for (int k = 2; fs::exists(copy, ec); ++k) {
    copy = file;
    copy += "." + std::string(what) + "-" + stamp() + "-" + std::to_string(k);
  }
  return copy;
}

}  // namespace

fs::path defaultRegisterFile() { return platform::userDataBase() / "kroanalyze" / "register.sqlite"; }

std::string registerLocation(const SettingsLocation& settings, const std::optional<std::string>& given) {
  if (given) return *given;
  SettingsFile file(settings, kSettingsName);
  std::string chosen;
  if (file.openForRead() && file.readString(kSection, kKey, chosen) && !chosen.empty()) return chosen;
  return displayPath(defaultRegisterFile());
}

Status saveRegisterLocation(const SettingsLocation& settings, const std::string& location) {
  SettingsFile file(settings, kSettingsName);
  if (Status s = file.openForWrite(); !s) return s;
  file.writeSection(kSection);
  file.writeString(kKey, location);
  return file.close();
}

Result<std::unique_ptr<Register>> openRegister(const std::string& location, const std::string& password) {
  if (isServerRegister(location)) {
    auto db = PostgresDatabase::open(location, password);
    if (!db) return db.error();
    // A server's register is backed up by the server's own means (pg_dump), before an upgrade too.
    return Register::open(std::move(db.value()));
  }
  return openRegister(pathFromUtf8(location));
}

Result<std::unique_ptr<Register>> openRegister(const fs::path& file) {
  if (platform::onNetworkFileSystem(file)) {
    return Error{
        "台账“" + displayPath(file) +
        "”在网络文件夹中：SQLite 在网络文件夹中不能可靠地加锁，多台电脑同时使用会损坏台账。请把台账放在本机，"
        "几台电脑共用时请使用台账服务器（postgresql://…）。"};
  }
  auto db = SqliteDatabase::open(file);
  if (!db) return db.error();
  SqliteDatabase* raw = db.value().get();
  return Register::open(std::move(db.value()),
                        [raw, file] { return raw->backupTo(besideWithStamp(file, "before-upgrade")); });
}

Status backupRegister(const fs::path& file, const fs::path& copy) {
  std::error_code ec;
  if (fs::exists(copy, ec)) return Error{"“" + displayPath(copy) + "”已存在，备份不会覆盖它"};
  if (!fs::exists(file, ec)) return Error{"台账“" + displayPath(file) + "”不存在"};
  auto db = SqliteDatabase::open(file);
  if (!db) return db.error();
  return db.value()->backupTo(copy);
}

Result<fs::path> restoreRegister(const fs::path& file, const fs::path& copy) {
  std::error_code ec;
  if (!fs::exists(copy, ec)) return Error{"备份“" + displayPath(copy) + "”不存在"};
  {
    // The copy must be a register this program reads; opened without changing it.
    auto probe = SqliteDatabase::open(copy);
    if (!probe) return probe.error();
    auto schema = probe.value()->run("SELECT value FROM register_meta WHERE key = 'schema'", {});
    if (!schema || schema->empty()) return Error{"“" + displayPath(copy) + "”不是台账的备份"};
    if (std::stoi(schema->front()[0].value_or("0")) > kRegisterSchemaVersion)
      return Error{"“" + displayPath(copy) + "”是较新版本的程序的台账，本程序不能使用它"};
  }
  fs::path kept;
  if (fs::exists(file, ec)) {
    kept = besideWithStamp(file, "before-restore");
    if (Status s = backupRegister(file, kept); !s)
      return Error{"恢复之前无法保存现在的台账，没有恢复：" + s.message()};
  }
  auto source = SqliteDatabase::open(copy);
  if (!source) return source.error();
  const fs::path temporary = temporaryPathBeside(file);
  if (Status s = source.value()->backupTo(temporary); !s) return Error{s.message()};
  source.value().reset();
  // The journal files of the replaced register belong to it alone.
  for (const char* suffix : {"-wal", "-shm"}) {
    fs::path journal = file;
    journal += suffix;
    removeQuietly(journal);
  }
  if (Status s = replaceWithTemporary(temporary, file); !s) return Error{s.message()};
  return kept;
}

}  // namespace kro
