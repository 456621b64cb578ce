// The office's register.
#include "register/register.h"

#include <sodium.h>

#include <algorithm>
#include <charconv>
#include <ctime>
#include <map>

#include "model/date_text.h"
#include "report/report_code.h"

namespace kro {

namespace {

constexpr Role kRoles[] = {Role::Tester, Role::Reviewer, Role::Approver};

// The schema, step by step: step k makes version k of it from version k - 1. {id} is the
// backend's own increasing key.
// The table that says the schema's version comes first, made if missing: a statement that fails
// would end a server's transaction.
constexpr const char* kMetaTable =
    "CREATE TABLE IF NOT EXISTS register_meta (key TEXT PRIMARY KEY, value TEXT NOT NULL)";
constexpr const char* kSchemaV1[] = {
    "CREATE TABLE people (id {id}, name TEXT NOT NULL UNIQUE, roles TEXT NOT NULL, active INTEGER NOT NULL, "
    "pin_hash TEXT NOT NULL, added TEXT NOT NULL, retired TEXT)",
    "CREATE TABLE instruments (id {id}, name TEXT NOT NULL, serial TEXT NOT NULL UNIQUE, certificate TEXT "
    "NOT "
    "NULL, calibrated TEXT NOT NULL, due TEXT NOT NULL, active INTEGER NOT NULL, added TEXT NOT NULL)",
    "CREATE TABLE numbers (series TEXT NOT NULL, year INTEGER NOT NULL, last INTEGER NOT NULL, "
    "PRIMARY KEY (series, year))",
    "CREATE TABLE reports (id {id}, project_id TEXT NOT NULL, project_file TEXT NOT NULL, project_sha256 "
    "TEXT "
    "NOT NULL, log_hash TEXT NOT NULL, project_name TEXT NOT NULL, client TEXT NOT NULL, format TEXT NOT "
    "NULL, "
    "rule TEXT NOT NULL, verdict TEXT NOT NULL, instrument TEXT NOT NULL, certificate TEXT NOT NULL, due "
    "TEXT "
    "NOT NULL, expired_confirmed INTEGER NOT NULL, tester TEXT NOT NULL, drafted TEXT NOT NULL, reviewer "
    "TEXT, "
    "reviewed TEXT, approver TEXT, issued TEXT, number TEXT, revision INTEGER, replaces TEXT, folder TEXT, "
    "state TEXT NOT NULL, void_reason TEXT, voided TEXT, UNIQUE (number, revision))",
    "CREATE TABLE report_files (id {id}, report_id INTEGER NOT NULL REFERENCES reports (id), name TEXT NOT "
    "NULL, "
    "sha256 TEXT NOT NULL)",
    "CREATE TABLE events (id {id}, at TEXT NOT NULL, who TEXT NOT NULL, what TEXT NOT NULL, report_id "
    "INTEGER)",
    "CREATE INDEX reports_project ON reports (project_id)",
};
// The office's signing keys, and each issued report's code.
constexpr const char* kSchemaV2[] = {
    "CREATE TABLE office_keys (id {id}, key_id TEXT NOT NULL UNIQUE, office TEXT NOT NULL, public_key TEXT "
    "NOT "
    "NULL, sealed_secret TEXT NOT NULL, valid_from TEXT NOT NULL, valid_until TEXT, revoked TEXT, "
    "revoke_reason TEXT, added TEXT NOT NULL)",
    "ALTER TABLE reports ADD COLUMN code TEXT",
};

std::string nowText() { return isoLocalTime(std::time(nullptr)); }

std::string withIdentity(std::string_view sql, std::string_view identity) {
  std::string out(sql);
  for (std::size_t at = out.find("{id}"); at != std::string::npos; at = out.find("{id}", at))
    out.replace(at, 4, identity);
  return out;
}

std::string text(const SqlValue& v) { return v.value_or(std::string()); }
std::int64_t number(const SqlValue& v) {
  std::int64_t n = 0;
  if (v) std::from_chars(v->data(), v->data() + v->size(), n);
  return n;
}

std::string rolesText(const std::vector<Role>& roles) {
  std::string out;
  for (Role r : kRoles) {
    if (std::find(roles.begin(), roles.end(), r) != roles.end())
      out += (out.empty() ? "" : ",") + std::string(roleName(r));
  }
  return out;
}

ReportState stateFrom(std::string_view key) {
  for (ReportState s : {ReportState::Drafted, ReportState::Reviewed, ReportState::Issued,
                        ReportState::Superseded, ReportState::Void}) {
    if (stateKey(s) == key) return s;
  }
  return ReportState::Drafted;
}

// Sets a setting of the register, in the caller's transaction.
Status setMeta(Database& db, const std::string& key, const std::string& value) {
  auto existing = db.run("SELECT value FROM register_meta WHERE key = $1", {key});
  if (!existing) return existing.error();
  auto done = existing->empty()
                  ? db.run("INSERT INTO register_meta (key, value) VALUES ($1, $2)", {key, value})
                  : db.run("UPDATE register_meta SET value = $2 WHERE key = $1", {key, value});
  return done ? Status::success() : Status(done.error());
}

std::optional<CalendarDate> optionalDate(const SqlValue& v) { return v ? parseIsoDate(*v) : std::nullopt; }
SqlValue dateValue(const std::optional<CalendarDate>& d) { return d ? SqlValue(isoDate(*d)) : SqlValue(); }

}  // namespace

std::optional<std::string> OfficeKey::problemOn(const CalendarDate& day) const {
  if (daysFromCivil(day) < daysFromCivil(validFrom))
    return "签名日期 " + isoDate(day) + " 早于密钥 " + id + " 的启用日期 " + isoDate(validFrom);
  if (validUntil && daysFromCivil(day) > daysFromCivil(*validUntil))
    return "签名日期 " + isoDate(day) + " 晚于密钥 " + id + " 的有效期 " + isoDate(*validUntil);
  if (revoked && daysFromCivil(day) >= daysFromCivil(*revoked))
    return "密钥 " + id + " 已于 " + isoDate(*revoked) + " 吊销" +
           (revokeReason.empty() ? "" : "（" + revokeReason + "）");
  return std::nullopt;
}

std::string_view codeModeName(CodeMode mode) {
  switch (mode) {
    case CodeMode::Signed:
      return "签名";
    case CodeMode::Off:
      return "关闭";
    case CodeMode::Platform:
      return "平台";
  }
  return "";
}

std::optional<CodeMode> parseCodeMode(std::string_view name) {
  for (CodeMode m : {CodeMode::Signed, CodeMode::Off, CodeMode::Platform}) {
    if (codeModeName(m) == name) return m;
  }
  return std::nullopt;
}

std::string_view roleName(Role role) {
  switch (role) {
    case Role::Tester:
      return "检测";
    case Role::Reviewer:
      return "审核";
    case Role::Approver:
      return "批准";
  }
  return "";
}

std::optional<std::vector<Role>> parseRoles(std::string_view list) {
  std::vector<Role> roles;
  std::string rest(list);
  for (std::size_t at = rest.find("，"); at != std::string::npos; at = rest.find("，"))
    rest.replace(at, 3, ",");
  std::size_t start = 0;
  while (start <= rest.size()) {
    const std::size_t end = std::min(rest.find(',', start), rest.size());
    const std::string word = rest.substr(start, end - start);
    const auto* found =
        std::find_if(std::begin(kRoles), std::end(kRoles), [&](Role r) { return roleName(r) == word; });
    if (found == std::end(kRoles)) return std::nullopt;
    if (std::find(roles.begin(), roles.end(), *found) == roles.end()) roles.push_back(*found);
    start = end + 1;
  }
  if (roles.empty()) return std::nullopt;
  return roles;
}

bool Person::has(Role role) const { return std::find(roles.begin(), roles.end(), role) != roles.end(); }

std::string isoDate(const CalendarDate& d) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", d.year, d.month, d.day);
  return buffer;
}

std::optional<CalendarDate> parseIsoDate(std::string_view t) {
  if (t.size() != 10 || t[4] != '-' || t[7] != '-') return std::nullopt;
  auto part = [&](std::size_t at, std::size_t n, int& out) {
    auto [end, ec] = std::from_chars(t.data() + at, t.data() + at + n, out);
    return ec == std::errc() && end == t.data() + at + n;
  };
  CalendarDate d;
  if (!part(0, 4, d.year) || !part(5, 2, d.month) || !part(8, 2, d.day) || !isValidDate(d))
    return std::nullopt;
  return d;
}

Calibration calibrationOn(const Instrument& instrument, const CalendarDate& day) {
  const int left = daysFromCivil(instrument.due) - daysFromCivil(day);
  if (left < 0) return Calibration::Lapsed;
  return left <= kCalibrationWarningDays ? Calibration::DueSoon : Calibration::Valid;
}

std::string_view stateKey(ReportState state) {
  switch (state) {
    case ReportState::Drafted:
      return "drafted";
    case ReportState::Reviewed:
      return "reviewed";
    case ReportState::Issued:
      return "issued";
    case ReportState::Superseded:
      return "superseded";
    case ReportState::Void:
      return "void";
  }
  return "";
}

std::string_view stateName(ReportState state) {
  switch (state) {
    case ReportState::Drafted:
      return "已起草";
    case ReportState::Reviewed:
      return "已审核";
    case ReportState::Issued:
      return "已签发";
    case ReportState::Superseded:
      return "已被代替";
    case ReportState::Void:
      return "已作废";
  }
  return "";
}

std::optional<std::string> numberProblem(std::string_view number) {
  if (number.empty()) return "报告编号是空的";
  if (number.size() > 64) return "报告编号太长（最多 64 个字节）";
  for (char c : number) {
    if (static_cast<unsigned char>(c) < 0x20 ||
        std::string_view("/\\:*?\"<>|").find(c) != std::string_view::npos)
      return "报告编号不能含有 / \\ : * ? \" < > | 或控制字符（编号也是文件名）";
  }
  if (number.front() == '.' || number.front() == ' ' || number.back() == ' ' || number.back() == '.')
    return "报告编号不能以点或空格开始或结束";
  return std::nullopt;
}

namespace {

std::string withYear(std::string text, int year) {
  for (std::size_t y = text.find("{年}"); y != std::string::npos; y = text.find("{年}"))
    text.replace(y, std::string_view("{年}").size(), std::to_string(year));
  return text;
}

}  // namespace

std::string numberFromPattern(const std::string& pattern, int year, std::int64_t n) {
  std::string out = withYear(pattern, year);
  const std::size_t at = out.find("{序号");
  const std::size_t close = out.find('}', at);
  const std::string_view inside = std::string_view(out).substr(at + 1, close - at - 1);
  std::string digits = std::to_string(n);
  std::size_t width = 0;
  if (inside.size() > std::string_view("序号:").size()) {
    const std::string_view given = inside.substr(std::string_view("序号:").size());
    std::from_chars(given.data(), given.data() + given.size(), width);
  }
  if (digits.size() < width) digits.insert(0, width - digits.size(), '0');
  out.replace(at, close - at + 1, digits);
  return out;
}

std::string seriesOfPattern(const std::string& pattern, int year) {
  return withYear(pattern.substr(0, pattern.find("{序号")), year);
}

std::string revisionText(const std::string& number, int revision) {
  return number + " 第 " + std::to_string(revision) + " 版";
}

std::optional<std::string> patternProblem(std::string_view pattern) {
  const std::size_t at = pattern.find("{序号");
  if (at == std::string_view::npos || pattern.find("{序号", at + 1) != std::string_view::npos)
    return "编号规则需要一个 {序号} 或 {序号:位数}，例如 LBHD-{年}-{序号:4}";
  const std::size_t close = pattern.find('}', at);
  if (close == std::string_view::npos) return "编号规则中的 {序号 没有对应的 }";
  const std::string_view inside = pattern.substr(at + 1, close - at - 1);
  if (inside != "序号") {
    int width = 0;
    const std::string_view digits = inside.substr(std::string_view("序号:").size());
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), width);
    if (!inside.starts_with("序号:") || ec != std::errc() || end != digits.data() + digits.size() ||
        width < 1 || width > 9)
      return "编号规则中的 {" + std::string(inside) + "} 应为 {序号} 或 {序号:1} 到 {序号:9}";
  }
  const std::string sample = numberFromPattern(std::string(pattern), 2026, 1);
  if (auto problem = numberProblem(sample))
    return "按编号规则得到的“" + sample + "”不能用作编号：" + *problem;
  return std::nullopt;
}

Result<std::unique_ptr<Register>> Register::open(std::unique_ptr<Database> db,
                                                 const std::function<Status()>& backup) {
  std::unique_ptr<Register> r(new Register(std::move(db)));
  Database& d = *r->db_;
  auto tables = d.run("SELECT value FROM register_meta WHERE key = 'schema'");
  int version = 0;
  if (tables && !tables->empty()) version = static_cast<int>(number(tables->front()[0]));
  if (version > kRegisterSchemaVersion) {
    return Error{"台账“" + d.where() + "”是较新版本的程序建立的（格式第 " + std::to_string(version) +
                 " 版，本程序只认识到第 " + std::to_string(kRegisterSchemaVersion) +
                 " 版），为了不损坏它，没有打开。请使用新版本的程序。"};
  }
  if (version == kRegisterSchemaVersion) return r;
  if (version > 0 && backup) {
    if (Status s = backup(); !s) return Error{"升级台账之前无法备份，没有升级：" + s.message()};
  }
  Transaction t(d);
  if (!t.started())
    return t.started().message().empty() ? Error{"无法打开台账"} : Error{t.started().message()};
  // Another program may have made it meanwhile: looked at again inside the transaction.
  if (auto made = d.run(kMetaTable); !made) return made.error();
  auto again = d.run("SELECT value FROM register_meta WHERE key = 'schema'");
  if (!again) return again.error();
  version = again->empty() ? 0 : static_cast<int>(number(again->front()[0]));
  if (version >= kRegisterSchemaVersion) {
    (void)t.commit();
    return r;
  }
  const std::vector<std::vector<const char*>> steps = {{std::begin(kSchemaV1), std::end(kSchemaV1)},
                                                       {std::begin(kSchemaV2), std::end(kSchemaV2)}};
  for (int step = version; step < kRegisterSchemaVersion; ++step) {
    for (const char* sql : steps[static_cast<std::size_t>(step)]) {
      if (auto done = d.run(withIdentity(sql, d.identityColumn())); !done) return done.error();
    }
  }
  auto stored = d.run(version == 0 ? "INSERT INTO register_meta (key, value) VALUES ('schema', $1)"
                                   : "UPDATE register_meta SET value = $1 WHERE key = 'schema'",
                      {std::to_string(kRegisterSchemaVersion)});
  if (!stored) return stored.error();
  if (Status s = t.commit(); !s) return Error{s.message()};
  return r;
}

Status Register::addPerson(const std::string& name, const std::vector<Role>& roles, const std::string& pin) {
  if (name.empty()) return Error{"人员姓名是空的"};
  if (roles.empty()) return Error{"请给出人员的职责：检测、审核、批准中的一个或几个"};
  if (pin.size() < 4) return Error{"个人密码（PIN）至少 4 个字符"};
  char hash[crypto_pwhash_STRBYTES];
  if (sodium_init() < 0 || crypto_pwhash_str(hash, pin.data(), pin.size(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                                             crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0)
    return Error{"无法保存个人密码：内存不足"};
  Transaction t(*db_);
  if (!t.started()) return t.started();
  auto existing = db_->run("SELECT name FROM people WHERE name = $1", {name});
  if (!existing) return existing.error();
  if (!existing->empty()) return Error{"台账中已有人员“" + name + "”（人员不能重名）"};
  auto added =
      db_->run("INSERT INTO people (name, roles, active, pin_hash, added) VALUES ($1, $2, 1, $3, $4)",
               {name, rolesText(roles), std::string(hash), nowText()});
  if (!added) return added.error();
  if (Status s = note(name, "登记人员：" + rolesText(roles)); !s) return s;
  return t.commit();
}

Status Register::retirePerson(const std::string& name) {
  Transaction t(*db_);
  if (!t.started()) return t.started();
  auto done =
      db_->run("UPDATE people SET active = 0, retired = $2 WHERE name = $1 AND active = 1 RETURNING name",
               {name, nowText()});
  if (!done) return done.error();
  if (done->empty()) return Error{"台账中没有在职的人员“" + name + "”"};
  if (Status s = note(name, "人员停用"); !s) return s;
  return t.commit();
}

Result<Person> Register::signIn(const std::string& name, const std::string& pin) {
  auto rows = db_->run("SELECT name, roles, active, pin_hash FROM people WHERE name = $1", {name});
  if (!rows) return rows.error();
  if (rows->empty()) return Error{"台账中没有人员“" + name + "”"};
  const SqlRow& row = rows->front();
  if (number(row[2]) == 0) return Error{"人员“" + name + "”已停用"};
  const std::string hash = text(row[3]);
  if (sodium_init() < 0 || crypto_pwhash_str_verify(hash.c_str(), pin.data(), pin.size()) != 0)
    return Error{"“" + name + "”的个人密码（PIN）不对"};
  return Person{name, parseRoles(text(row[1])).value_or(std::vector<Role>{}), true};
}

Status Register::changePin(const std::string& name, const std::string& oldPin, const std::string& newPin) {
  if (auto who = signIn(name, oldPin); !who) return who.error();
  if (newPin.size() < 4) return Error{"个人密码（PIN）至少 4 个字符"};
  char hash[crypto_pwhash_STRBYTES];
  if (crypto_pwhash_str(hash, newPin.data(), newPin.size(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                        crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0)
    return Error{"无法保存个人密码：内存不足"};
  Transaction t(*db_);
  if (!t.started()) return t.started();
  if (auto r = db_->run("UPDATE people SET pin_hash = $2 WHERE name = $1", {name, std::string(hash)}); !r)
    return r.error();
  if (Status s = note(name, "更改个人密码"); !s) return s;
  return t.commit();
}

Result<std::vector<Person>> Register::people() {
  auto rows = db_->run("SELECT name, roles, active FROM people ORDER BY id");
  if (!rows) return rows.error();
  std::vector<Person> out;
  for (const SqlRow& row : *rows)
    out.push_back(
        {text(row[0]), parseRoles(text(row[1])).value_or(std::vector<Role>{}), number(row[2]) != 0});
  return out;
}

Status Register::addInstrument(const Instrument& i) {
  if (i.name.empty() || i.serial.empty() || i.certificate.empty())
    return Error{"仪器需要名称、出厂编号和校准证书编号"};
  if (daysFromCivil(i.due) < daysFromCivil(i.calibrated)) return Error{"校准有效期早于校准日期"};
  Transaction t(*db_);
  if (!t.started()) return t.started();
  auto existing = db_->run("SELECT serial FROM instruments WHERE serial = $1", {i.serial});
  if (!existing) return existing.error();
  if (!existing->empty()) return Error{"台账中已有出厂编号为“" + i.serial + "”的仪器"};
  auto added = db_->run(
      "INSERT INTO instruments (name, serial, certificate, calibrated, due, active, added) "
      "VALUES ($1, $2, $3, $4, $5, 1, $6)",
      {i.name, i.serial, i.certificate, isoDate(i.calibrated), isoDate(i.due), nowText()});
  if (!added) return added.error();
  if (Status s =
          note("", "登记仪器 " + i.serial + "，证书 " + i.certificate + "，有效期至 " + isoDate(i.due));
      !s)
    return s;
  return t.commit();
}

Status Register::retireInstrument(const std::string& serial) {
  Transaction t(*db_);
  if (!t.started()) return t.started();
  auto done = db_->run("UPDATE instruments SET active = 0 WHERE serial = $1 AND active = 1 RETURNING serial",
                       {serial});
  if (!done) return done.error();
  if (done->empty()) return Error{"台账中没有在用的仪器“" + serial + "”"};
  if (Status s = note("", "仪器停用 " + serial); !s) return s;
  return t.commit();
}

Result<std::vector<Instrument>> Register::instruments() {
  auto rows =
      db_->run("SELECT name, serial, certificate, calibrated, due, active FROM instruments ORDER BY id");
  if (!rows) return rows.error();
  std::vector<Instrument> out;
  for (const SqlRow& row : *rows) {
    out.push_back({text(row[0]), text(row[1]), text(row[2]),
                   parseIsoDate(text(row[3])).value_or(CalendarDate{}),
                   parseIsoDate(text(row[4])).value_or(CalendarDate{}), number(row[5]) != 0});
  }
  return out;
}

Result<Instrument> Register::instrument(const std::string& serial) {
  auto all = instruments();
  if (!all) return all.error();
  for (Instrument& i : *all) {
    if (i.serial == serial) return std::move(i);
  }
  return Error{"台账中没有出厂编号为“" + serial + "”的仪器"};
}

Result<NumberingRules> Register::numbering(const std::string& format) {
  NumberingRules rules;
  auto rows = db_->run("SELECT key, value FROM register_meta WHERE key IN ('编号规则', $1, '修订方式')",
                       {"编号规则:" + format});
  if (!rows) return rows.error();
  std::string own;
  for (const SqlRow& row : *rows) {
    if (text(row[0]) == "编号规则") rules.pattern = text(row[1]);
    if (!format.empty() && text(row[0]) == "编号规则:" + format) own = text(row[1]);
    if (text(row[0]) == "修订方式") rules.newNumberForRevision = text(row[1]) == "新编号";
  }
  if (!own.empty()) rules.pattern = own;
  return rules;
}

Status Register::setNumbering(const NumberingRules& rules, const std::string& format) {
  if (auto problem = patternProblem(rules.pattern)) return Error{*problem};
  Transaction t(*db_);
  if (!t.started()) return t.started();
  const std::string key = format.empty() ? "编号规则" : "编号规则:" + format;
  if (Status s = setMeta(*db_, key, rules.pattern); !s) return s;
  if (Status s = setMeta(*db_, "修订方式", rules.newNumberForRevision ? "新编号" : "版本"); !s) return s;
  if (Status s = note("", "编号规则：" + rules.pattern + (format.empty() ? "" : "（格式 " + format + "）"));
      !s)
    return s;
  return t.commit();
}

Result<OfficeKey> Register::newOfficeKey(const std::string& office, const std::string& passphrase,
                                         const CalendarDate& from, std::optional<CalendarDate> until,
                                         const std::string& who) {
  if (office.empty()) return Error{"请给出单位名称：它随密钥印在公钥页上"};
  if (passphrase.size() < 8) return Error{"签名密钥的口令至少 8 个字符"};
  if (until && daysFromCivil(*until) < daysFromCivil(from)) return Error{"密钥的有效期早于它的启用日期"};
  auto existing = officeKeys();
  if (!existing) return existing.error();
  OfficeKey key;
  KeyPair pair;
  do {  // ids are 32 bits: one already in the register is not taken twice
    pair = newKeyPair();
    key.id = keyIdOf(pair.publicKey);
  } while (
      std::any_of(existing->begin(), existing->end(), [&](const OfficeKey& k) { return k.id == key.id; }));
  key.office = office;
  key.publicKey = pair.publicKey;
  key.sealedSecret = sealSecretKey(pair.secretKey, passphrase);
  sodium_memzero(pair.secretKey.data(), pair.secretKey.size());
  key.validFrom = from;
  key.validUntil = until;
  Transaction t(*db_);
  if (!t.started()) return Error{t.started().message()};
  auto added = db_->run(
      "INSERT INTO office_keys (key_id, office, public_key, sealed_secret, valid_from, valid_until, added) "
      "VALUES ($1, $2, $3, $4, $5, $6, $7)",
      {key.id, office, base64Url(key.publicKey), key.sealedSecret, isoDate(from), dateValue(until),
       nowText()});
  if (!added) return added.error();
  if (Status s = note(who, "新建签名密钥 " + key.id + "（指纹 " + fingerprintOf(key.publicKey) + "）"); !s)
    return Error{s.message()};
  if (Status s = t.commit(); !s) return Error{s.message()};
  return key;
}

Result<std::vector<OfficeKey>> Register::officeKeys() {
  auto rows = db_->run(
      "SELECT key_id, office, public_key, sealed_secret, valid_from, valid_until, revoked, revoke_reason "
      "FROM "
      "office_keys ORDER BY id");
  if (!rows) return rows.error();
  std::vector<OfficeKey> out;
  for (const SqlRow& row : *rows) {
    OfficeKey k;
    k.id = text(row[0]);
    k.office = text(row[1]);
    k.publicKey = fromBase64Url(text(row[2])).value_or(std::string());
    k.sealedSecret = text(row[3]);
    k.validFrom = parseIsoDate(text(row[4])).value_or(CalendarDate{});
    k.validUntil = optionalDate(row[5]);
    k.revoked = optionalDate(row[6]);
    k.revokeReason = text(row[7]);
    out.push_back(std::move(k));
  }
  return out;
}

Status Register::revokeKey(const std::string& id, const CalendarDate& from, const std::string& reason,
                           const std::string& who) {
  if (reason.empty()) return Error{"吊销密钥需要写明原因"};
  Transaction t(*db_);
  if (!t.started()) return t.started();
  auto done = db_->run(
      "UPDATE office_keys SET revoked = $2, revoke_reason = $3 WHERE key_id = $1 AND revoked IS NULL "
      "RETURNING "
      "key_id",
      {id, isoDate(from), reason});
  if (!done) return done.error();
  if (done->empty()) return Error{"台账中没有未吊销的签名密钥“" + id + "”"};
  if (Status s = note(who, "吊销签名密钥 " + id + "（自 " + isoDate(from) + " 起）：" + reason); !s) return s;
  return t.commit();
}

Result<OfficeKey> Register::signingKey(const CalendarDate& day) {
  auto keys = officeKeys();
  if (!keys) return keys.error();
  for (auto k = keys->rbegin(); k != keys->rend(); ++k) {
    if (!k->problemOn(day)) return std::move(*k);
  }
  return Error{keys->empty() ? "台账中还没有本单位的签名密钥：请先在台账设置中新建（kro register key new）"
                             : "台账中没有今天可用的签名密钥（都已过期或吊销）：请新建一个"};
}

Result<CodeSettings> Register::codeSettings() {
  auto rows = db_->run("SELECT key, value FROM register_meta WHERE key IN ('校验码', '验证网址')");
  if (!rows) return rows.error();
  CodeSettings settings;
  for (const SqlRow& row : *rows) {
    if (text(row[0]) == "校验码") settings.mode = parseCodeMode(text(row[1])).value_or(CodeMode::Signed);
    if (text(row[0]) == "验证网址") settings.address = text(row[1]);
  }
  return settings;
}

Status Register::setCodeSettings(const CodeSettings& settings) {
  if (settings.address.find_first_of("# \t\n") != std::string::npos)
    return Error{"验证网址不能含有 #、空格或换行"};
  Transaction t(*db_);
  if (!t.started()) return t.started();
  if (Status s = setMeta(*db_, "校验码", std::string(codeModeName(settings.mode))); !s) return s;
  if (Status s = setMeta(*db_, "验证网址", settings.address); !s) return s;
  if (Status s = note("", "防伪校验码：" + std::string(codeModeName(settings.mode)) +
                              (settings.address.empty() ? "" : "，验证网址 " + settings.address));
      !s)
    return s;
  return t.commit();
}

Result<std::vector<ReportRecord>> Register::selectReports(std::string_view where,
                                                          const std::vector<SqlValue>& parameters) {
  auto rows = db_->run(
      "SELECT id, project_id, project_file, project_sha256, log_hash, project_name, client, format, rule, "
      "verdict, instrument, certificate, due, expired_confirmed, tester, drafted, reviewer, reviewed, "
      "approver, "
      "issued, number, revision, replaces, folder, state, void_reason, code FROM reports " +
          std::string(where) + " ORDER BY id DESC",
      parameters);
  if (!rows) return rows.error();
  std::vector<ReportRecord> out;
  for (const SqlRow& row : *rows) {
    ReportRecord r;
    r.id = number(row[0]);
    std::string* texts[] = {&r.projectId,   &r.projectFile, &r.projectSha256, &r.logHash,
                            &r.projectName, &r.client,      &r.format,        &r.rule,
                            &r.verdict,     &r.instrument,  &r.certificate,   &r.due};
    for (std::size_t k = 0; k < std::size(texts); ++k) *texts[k] = text(row[k + 1]);
    r.expiredConfirmed = number(row[13]) != 0;
    r.tester = text(row[14]);
    r.drafted = text(row[15]);
    r.reviewer = text(row[16]);
    r.reviewed = text(row[17]);
    r.approver = text(row[18]);
    r.issued = text(row[19]);
    r.number = text(row[20]);
    r.revision = static_cast<int>(number(row[21]));
    r.replaces = text(row[22]);
    r.folder = text(row[23]);
    r.state = stateFrom(text(row[24]));
    r.voidReason = text(row[25]);
    r.code = text(row[26]);
    out.push_back(std::move(r));
  }
  // The files of those reports in one query, not one per report.
  auto files = db_->run(
      "SELECT report_id, name, sha256 FROM report_files WHERE report_id IN (SELECT id FROM reports " +
          std::string(where) + ") ORDER BY id",
      parameters);
  if (!files) return files.error();
  std::map<std::int64_t, std::vector<ReportFileRecord>> byReport;
  for (const SqlRow& f : *files) byReport[number(f[0])].push_back({text(f[1]), text(f[2])});
  for (ReportRecord& r : out) {
    if (auto it = byReport.find(r.id); it != byReport.end()) r.files = std::move(it->second);
  }
  return out;
}

Result<std::vector<ReportRecord>> Register::reports() { return selectReports("", {}); }

Result<std::vector<ReportRecord>> Register::reportsOf(const std::string& projectId) {
  return selectReports("WHERE project_id = $1", {projectId});
}

Status Register::voidReport(const std::string& number, int revision, const std::string& reason,
                            const std::string& who) {
  if (reason.empty()) return Error{"作废报告需要写明原因"};
  Transaction t(*db_);
  if (!t.started()) return t.started();
  auto done = db_->run(
      "UPDATE reports SET state = 'void', void_reason = $3, voided = $4 WHERE number = $1 AND revision = $2 "
      "AND state IN ('issued', 'superseded') RETURNING id",
      {number, std::to_string(revision), reason, nowText()});
  if (!done) return done.error();
  if (done->empty())
    return Error{"台账中没有可作废的报告 " + number + " 第 " + std::to_string(revision) + " 版"};
  if (Status s = note(who, "作废 " + number + " 第 " + std::to_string(revision) + " 版：" + reason,
                      ::kro::number(done->front()[0]));
      !s)
    return s;
  return t.commit();
}

Result<std::int64_t> Register::insertDraft(const ReportRecord& d) {
  Transaction t(*db_);
  if (!t.started())
    return t.started().message().empty() ? Error{"无法写入台账"} : Error{t.started().message()};
  auto open = db_->run("SELECT id FROM reports WHERE project_id = $1 AND state IN ('drafted', 'reviewed')",
                       {d.projectId});
  if (!open) return open.error();
  if (!open->empty()) return Error{"这个工程已有一份起草中的报告"};
  auto added = db_->run(
      "INSERT INTO reports (project_id, project_file, project_sha256, log_hash, project_name, client, "
      "format, "
      "rule, verdict, instrument, certificate, due, expired_confirmed, tester, drafted, state) VALUES ($1, "
      "$2, "
      "$3, $4, $5, $6, $7, $8, $9, $10, $11, $12, $13, $14, $15, 'drafted') RETURNING id",
      {d.projectId, d.projectFile, d.projectSha256, d.logHash, d.projectName, d.client, d.format, d.rule,
       d.verdict, d.instrument, d.certificate, d.due, std::string(d.expiredConfirmed ? "1" : "0"), d.tester,
       d.drafted});
  if (!added) return added.error();
  const std::int64_t id = number(added->front()[0]);
  if (Status s = note(
          d.tester, std::string("起草") + (d.expiredConfirmed ? "（确认使用已过校准有效期的仪器）" : ""), id);
      !s)
    return Error{s.message()};
  if (Status s = t.commit(); !s) return Error{s.message()};
  return id;
}

Status Register::markReviewed(std::int64_t id, const std::string& reviewer, const std::string& when) {
  Transaction t(*db_);
  if (!t.started()) return t.started();
  auto done = db_->run(
      "UPDATE reports SET state = 'reviewed', reviewer = $2, reviewed = $3 WHERE id = $1 AND state = "
      "'drafted' "
      "RETURNING id",
      {std::to_string(id), reviewer, when});
  if (!done) return done.error();
  if (done->empty()) return Error{"这份报告已不在待审核状态（可能刚被别人审核）"};
  if (Status s = note(reviewer, "审核", id); !s) return s;
  return t.commit();
}

Result<std::int64_t> Register::takeNumber(const std::string& series, int year) {
  auto taken = db_->run(
      "INSERT INTO numbers (series, year, last) VALUES ($1, $2, 1) ON CONFLICT (series, year) DO UPDATE SET "
      "last = numbers.last + 1 RETURNING last",
      {series, std::to_string(year)});
  if (!taken) return taken.error();
  if (taken->empty()) return Error{"台账“" + db_->where() + "”没有给出编号"};
  return number(taken->front()[0]);
}

Status Register::markIssued(const ReportRecord& r) {
  auto done = db_->run(
      "UPDATE reports SET state = 'issued', approver = $2, issued = $3, number = $4, revision = $5, replaces "
      "= "
      "$6, folder = $7, expired_confirmed = $8, code = $9 WHERE id = $1 AND state = 'reviewed' RETURNING id",
      {std::to_string(r.id), r.approver, r.issued, r.number, std::to_string(r.revision), r.replaces, r.folder,
       std::string(r.expiredConfirmed ? "1" : "0"), r.code.empty() ? SqlValue() : SqlValue(r.code)});
  if (!done) return done.error();
  if (done->empty()) return Error{"这份报告已不在待批准状态（可能刚被别人批准）"};
  for (const ReportFileRecord& f : r.files) {
    auto added = db_->run("INSERT INTO report_files (report_id, name, sha256) VALUES ($1, $2, $3)",
                          {std::to_string(r.id), f.name, f.sha256});
    if (!added) return added.error();
  }
  // The earlier issue of the same project is superseded.
  auto superseded = db_->run(
      "UPDATE reports SET state = 'superseded' WHERE project_id = $1 AND state = 'issued' AND id <> $2",
      {r.projectId, std::to_string(r.id)});
  if (!superseded) return superseded.error();
  return note(r.approver, "批准签发 " + r.number + " 第 " + std::to_string(r.revision) + " 版", r.id);
}

namespace {

// Every table with its columns, in an order that keeps references valid.
struct TableColumns {
  const char* table;
  const char* columns;
  bool identity;
};
constexpr TableColumns kTables[] = {
    {"register_meta", "key, value", false},
    {"people", "id, name, roles, active, pin_hash, added, retired", true},
    {"instruments", "id, name, serial, certificate, calibrated, due, active, added", true},
    {"numbers", "series, year, last", false},
    {"reports",
     "id, project_id, project_file, project_sha256, log_hash, project_name, client, format, rule, verdict, "
     "instrument, certificate, due, expired_confirmed, tester, drafted, reviewer, reviewed, approver, "
     "issued, "
     "number, revision, replaces, folder, state, void_reason, voided, code",
     true},
    {"report_files", "id, report_id, name, sha256", true},
    {"events", "id, at, who, what, report_id", true},
    {"office_keys",
     "id, key_id, office, public_key, sealed_secret, valid_from, valid_until, revoked, revoke_reason, added",
     true},
};

}  // namespace

Result<std::size_t> Register::copyInto(Register& target) {
  auto used = target.db_->run(
      "SELECT (SELECT COUNT(*) FROM people) + (SELECT COUNT(*) FROM reports) + (SELECT COUNT(*) FROM "
      "instruments) + "
      "(SELECT COUNT(*) FROM register_meta WHERE key <> 'schema')");
  if (!used) return used.error();
  if (number(used->front()[0]) != 0)
    return Error{"目标台账“" + target.db_->where() + "”已有内容：只能复制到新的台账"};
  Transaction t(*target.db_);
  if (!t.started()) return Error{t.started().message()};
  std::size_t rows = 0;
  for (const TableColumns& table : kTables) {
    const std::string columns = table.columns;
    auto source =
        db_->run("SELECT " + columns + " FROM " + table.table +
                 (std::string_view(table.table) == "register_meta" ? " WHERE key <> 'schema'" : "") +
                 (table.identity ? " ORDER BY id" : ""));
    if (!source) return source.error();
    const std::size_t n = static_cast<std::size_t>(std::count(columns.begin(), columns.end(), ',')) + 1;
    std::string placeholders;
    for (std::size_t k = 1; k <= n; ++k) placeholders += (k > 1 ? ", $" : "$") + std::to_string(k);
    const std::string insert =
        "INSERT INTO " + std::string(table.table) + " (" + columns + ") VALUES (" + placeholders + ")";
    for (const SqlRow& row : source.value()) {
      if (auto done = target.db_->run(insert, row); !done) return done.error();
      ++rows;
    }
    if (table.identity) {
      if (Status s = target.db_->identityFollowsRows(table.table); !s) return Error{s.message()};
    }
  }
  if (Status s = target.note("", "由台账“" + db_->where() + "”复制而来（" + std::to_string(rows) + " 行）");
      !s)
    return Error{s.message()};
  if (Status s = t.commit(); !s) return Error{s.message()};
  return rows;
}

Status Register::note(const std::string& who, const std::string& what, std::int64_t report) {
  auto done = db_->run("INSERT INTO events (at, who, what, report_id) VALUES ($1, $2, $3, $4)",
                       {nowText(), who, what, report > 0 ? SqlValue(std::to_string(report)) : SqlValue()});
  return done ? Status::success() : Status(done.error());
}

}  // namespace kro
