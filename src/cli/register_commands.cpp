// kro register.
#include "cli/register_commands.h"

#include <cstdlib>

#include "model/analysis_file.h"
#include "model/date_text.h"
#include "model/file_io.h"
#include "platform/console.h"
#include "register/code_check.h"
#include "register/ledger.h"
#include "register/postgres_database.h"
#include "register/register_location.h"
#include "register/verify_page.h"

namespace kro::cli {

namespace fs = std::filesystem;

namespace {

Json reportJson(const ReportRecord& r) {
  Json files = Json::array();
  for (const ReportFileRecord& f : r.files) files.push_back({{"name", f.name}, {"sha256", f.sha256}});
  return {{"number", r.number},         {"revision", r.revision},
          {"issued", r.issued},         {"project", r.projectName},
          {"projectId", r.projectId},   {"client", r.client},
          {"verdict", r.verdict},       {"rule", r.rule},
          {"instrument", r.instrument}, {"tester", r.tester},
          {"reviewer", r.reviewer},     {"approver", r.approver},
          {"state", stateKey(r.state)}, {"replaces", r.replaces},
          {"voidReason", r.voidReason}, {"files", files}};
}

std::string word(const Invocation& call, std::size_t k) {
  return call.inputs().size() > k ? call.inputs()[k] : std::string();
}

int peopleCommand(const Context& cx, Invocation& call, Register& reg) {
  const std::string what = word(call, 1), name = word(call, 2);
  if (what == "list") {
    auto people = reg.people();
    if (!people) return cx.fail(people.message());
    if (call.args.has("--json")) {
      Json list = Json::array();
      for (const Person& p : people.value()) {
        Json roles = Json::array();
        for (Role r : p.roles) roles.push_back(roleName(r));
        list.push_back({{"name", p.name}, {"roles", roles}, {"active", p.active}});
      }
      Json j = jsonOutput();
      j["people"] = std::move(list);
      cx.out << jsonText(j) << "\n";
      return kSuccess;
    }
    for (const Person& p : people.value()) {
      std::string roles;
      for (Role r : p.roles) roles += (roles.empty() ? "" : "、") + std::string(roleName(r));
      cx.out << printable(p.name) << "  " << roles << (p.active ? "" : "  （停用）") << "\n";
    }
    return kSuccess;
  }
  if (name.empty() || call.inputs().size() != 3)
    return cx.usage("register people " + what + " 需要一个人员姓名");
  if (what == "add") {
    auto roles = parseRoles(call.args.value("--roles").value_or(""));
    if (!roles) return cx.usage("--roles 取 检测、审核、批准 中的一个或几个，用逗号分开");
    auto pin = pinOf(name);
    if (!pin) return cx.fail(pin.message());
    if (Status s = reg.addPerson(name, roles.value(), pin.value()); !s) return cx.fail(s.message());
    cx.out << "已登记 " << printable(name) << "\n";
    return kSuccess;
  }
  if (what == "retire") {
    if (Status s = reg.retirePerson(name); !s) return cx.fail(s.message());
    cx.out << printable(name) << " 已停用\n";
    return kSuccess;
  }
  if (what == "pin") {
    auto old = pinOf(name);
    if (!old) return cx.fail(old.message());
    auto fresh = pinOf(name + " 的新", "KRO_NEW_PIN");
    if (!fresh) return cx.fail(fresh.message());
    if (Status s = reg.changePin(name, old.value(), fresh.value()); !s) return cx.fail(s.message());
    cx.out << printable(name) << " 的个人密码已更改\n";
    return kSuccess;
  }
  return cx.usage("register people 之后是 add、list、retire 或 pin");
}

std::optional<CalendarDate> dateOption(const Invocation& call, const char* option) {
  auto v = call.args.value(option);
  return v ? parseIsoDate(*v) : std::nullopt;
}

int instrumentsCommand(const Context& cx, Invocation& call, Register& reg) {
  const std::string what = word(call, 1);
  if (what == "add") {
    auto calibrated = dateOption(call, "--calibrated");
    auto due = dateOption(call, "--due");
    if (!calibrated || !due) return cx.usage("--calibrated 和 --due 取日期，如 2026-03-01");
    Instrument i{call.args.value("--name").value_or(""),
                 call.args.value("--serial").value_or(""),
                 call.args.value("--certificate").value_or(""),
                 *calibrated,
                 *due,
                 true};
    if (Status s = reg.addInstrument(i); !s) return cx.fail(s.message());
    cx.out << "已登记仪器 " << printable(i.serial) << "，校准有效期至 " << isoDate(i.due) << "\n";
    return kSuccess;
  }
  if (what != "list") return cx.usage("register instruments 之后是 add 或 list");
  auto all = reg.instruments();
  if (!all) return cx.fail(all.message());
  const CalendarDate day = today();
  Json list = Json::array();
  for (const Instrument& i : all.value()) {
    const Calibration c = calibrationOn(i, day);
    const char* standing = !i.active                   ? "retired"
                           : c == Calibration::Lapsed  ? "lapsed"
                           : c == Calibration::DueSoon ? "due-soon"
                                                       : "valid";
    if (call.args.has("--json")) {
      list.push_back({{"name", i.name},
                      {"serial", i.serial},
                      {"certificate", i.certificate},
                      {"calibrated", isoDate(i.calibrated)},
                      {"due", isoDate(i.due)},
                      {"standing", standing}});
      continue;
    }
    cx.out << printable(i.serial) << "  " << printable(i.name) << "  证书 " << printable(i.certificate)
           << "  有效期至 " << isoDate(i.due)
           << (std::string_view(standing) == "lapsed"     ? "  已过期"
               : std::string_view(standing) == "due-soon" ? "  即将到期"
               : std::string_view(standing) == "retired"  ? "  停用"
                                                          : "")
           << "\n";
  }
  if (call.args.has("--json")) {
    Json j = jsonOutput();
    j["instruments"] = std::move(list);
    cx.out << jsonText(j) << "\n";
  }
  return kSuccess;
}

int listCommand(const Context& cx, Invocation& call, Register& reg, bool failingOnly) {
  auto reports = reg.reports();
  if (!reports) return cx.fail(reports.message());
  Json list = Json::array();
  for (const ReportRecord& r : reports.value()) {
    if (r.state == ReportState::Drafted || r.state == ReportState::Reviewed) continue;
    if (failingOnly && !r.failing()) continue;
    if (call.args.has("--json")) {
      list.push_back(reportJson(r));
      continue;
    }
    cx.out << printable(r.number) << " 第 " << r.revision << " 版  " << r.issued.substr(0, 10) << "  "
           << printable(r.projectName) << "  " << r.verdict << "  " << stateName(r.state)
           << (r.voidReason.empty() ? "" : "（" + printable(r.voidReason) + "）") << "\n";
  }
  if (call.args.has("--json")) {
    Json j = jsonOutput();
    j["reports"] = std::move(list);
    cx.out << jsonText(j) << "\n";
  }
  return kSuccess;
}

int voidCommand(const Context& cx, Invocation& call, Register& reg) {
  const std::string number = word(call, 1);
  if (number.empty() || call.inputs().size() != 2) return cx.usage("register void 需要一个报告编号");
  const auto reason = call.args.value("--reason");
  if (!reason || reason->empty()) return cx.usage("register void 需要用 --reason 写明作废的原因");
  const auto who = call.args.value("--as");
  if (!who) return cx.usage("register void 需要用 --as 指明作废报告的人");
  auto pin = pinOf(*who);
  if (!pin) return cx.fail(pin.message());
  auto person = reg.signIn(*who, pin.value());
  if (!person) return cx.fail(person.message());
  if (!person->has(Role::Approver)) return cx.fail("“" + *who + "”没有批准职责，不能作废报告");
  int revision = 0;
  if (auto given = call.args.value("--revision")) {
    auto n = parseNumber(*given, 1, 999);
    if (!n) return cx.usage("--revision 取 1 到 999");
    revision = static_cast<int>(*n);
  } else {
    auto reports = reg.reports();
    if (!reports) return cx.fail(reports.message());
    for (const ReportRecord& r : reports.value()) {
      if (r.number == number) revision = std::max(revision, r.revision);
    }
  }
  if (Status s = reg.voidReport(number, revision, *reason, *who); !s) return cx.fail(s.message());
  cx.out << printable(number) << " 第 " << revision << " 版已作废\n";
  return kSuccess;
}

// kro register key new|list|revoke|export: the office's signing keys. Making and revoking one is
// an approver's step, signed with their PIN.
int keyCommand(const Context& cx, Invocation& call, Register& reg) {
  const std::string what = word(call, 1);
  if (what == "list" || what == "export") {
    auto keys = reg.officeKeys();
    if (!keys) return cx.fail(keys.message());
    if (what == "export") {
      if (keys->empty()) return cx.fail("台账中还没有签名密钥");
      // A page to print for a name ending in .html, the text kro verify --key reads otherwise.
      const std::string text = call.output.ends_with(".html") || call.output.ends_with(".htm")
                                   ? publicKeysPage(keys.value())
                                   : publicKeysText(keys.value());
      if (call.output.empty()) {
        cx.out << text;
        return kSuccess;
      }
      Status written = writeOutput(cx, call.output, text, OutputKind::Text);
      return written ? kSuccess : cx.fail(written.message());
    }
    for (const OfficeKey& k : keys.value()) {
      cx.out << k.id << "  " << fingerprintOf(k.publicKey) << "  " << printable(k.office) << "  "
             << isoDate(k.validFrom) << " 至 "
             << (k.validUntil ? isoDate(*k.validUntil) : std::string("（不限）"))
             << (k.revoked ? "  已于 " + isoDate(*k.revoked) + " 吊销：" + printable(k.revokeReason) : "")
             << "\n";
    }
    return kSuccess;
  }
  if (what != "new" && what != "revoke") return cx.usage("register key 之后是 new、list、revoke 或 export");
  const auto who = call.args.value("--as");
  if (!who || who->empty()) return cx.usage("register key " + what + " 需要用 --as 指明批准人");
  auto pin = pinOf(*who);
  if (!pin) return cx.fail(pin.message());
  auto person = reg.signIn(*who, pin.value());
  if (!person) return cx.fail(person.message());
  if (!person->has(Role::Approver)) return cx.fail("“" + *who + "”没有批准职责，不能管理签名密钥");
  if (what == "revoke") {
    if (call.inputs().size() != 3) return cx.usage("register key revoke 需要密钥编号");
    const auto given = dateOption(call, "--from");
    if (call.args.value("--from") && !given) return cx.usage("--from 取日期，如 2027-01-01");
    const CalendarDate from = given.value_or(today());
    if (Status s = reg.revokeKey(word(call, 2), from, call.args.value("--reason").value_or(""), *who); !s)
      return cx.fail(s.message());
    cx.out << "密钥 " << word(call, 2) << " 自 " << isoDate(from) << " 起吊销；此前签发的报告仍然有效\n";
    return kSuccess;
  }
  std::optional<CalendarDate> until;
  if (call.args.value("--valid-until") && !(until = dateOption(call, "--valid-until")))
    return cx.usage("--valid-until 取日期，如 2031-12-31");
  auto passphrase = passphraseOf();
  if (!passphrase) return cx.fail(passphrase.message());
  if (std::getenv("KRO_PASSPHRASE") == nullptr) {
    auto again = platform::readSecret("再输入一次口令：");
    if (!again || again.value() != passphrase.value()) return cx.fail("两次输入的口令不同，没有新建密钥");
  }
  auto key =
      reg.newOfficeKey(call.args.value("--office").value_or(""), passphrase.value(), today(), until, *who);
  if (!key) return cx.fail(key.message());
  cx.out << "已新建签名密钥 " << key->id << "，指纹 " << fingerprintOf(key->publicKey)
         << "\n公钥：kro register key export -o 公钥.txt（可公开，印出指纹供人核对）\n";
  return kSuccess;
}

}  // namespace

Result<std::unique_ptr<Register>> openRegisterAt(const std::string& location) {
  auto opened = openRegister(location);
  if (opened || !PostgresDatabase::needsPassword(opened.message())) return opened;
  // A server that wants a password the password file does not hold: asked, never kept.
  auto password = platform::readSecret("台账服务器的密码：");
  if (!password) return opened;
  return openRegister(location, *password);
}

Result<std::unique_ptr<Register>> registerFor(const Arguments& args) {
  return openRegisterAt(registerLocation(settingsFor(args), args.value("--register")));
}

Result<std::string> passphraseOf() {
  if (const char* p = std::getenv("KRO_PASSPHRASE"); p != nullptr && *p != '\0') return std::string(p);
  auto typed = platform::readSecret("签名密钥的口令：");
  if (!typed) return Error{"需要签名密钥的口令：没有终端可以询问，请用环境变量 KRO_PASSPHRASE 给出"};
  return typed.value();
}

int commandVerifyPage(const Context& cx, Invocation& call) {
  if (call.output.empty()) return cx.usage("verify-page 需要用 -o 指定输出文件（verify.html）");
  auto reg = registerFor(call.args);
  if (!reg) return cx.fail(reg.message());
  auto keys = reg.value()->officeKeys();
  if (!keys) return cx.fail(keys.message());
  if (keys->empty()) return cx.fail("台账中还没有签名密钥：请先新建（kro register key new）");
  auto reports = reg.value()->reports();
  if (!reports) return cx.fail(reports.message());
  Status written = writeOutput(cx, call.output, verifyPage(keys.value(), voidedReports(reports.value())),
                               OutputKind::Text);
  return written ? kSuccess : cx.fail(written.message());
}

int commandVerify(const Context& cx, Invocation& call) {
  // The code: given as text, or read from the document's properties.
  const auto given = call.args.value("--code");
  if (given.has_value() == (call.inputs().size() == 1) || call.inputs().size() > 1)
    return cx.usage("verify 需要一个 PDF 或 Word 文件，或者 --code 校验码");
  DocumentCode document;
  if (given) {
    document.code = *given;
  } else {
    auto read = codeOfDocument(pathFromUtf8(call.inputs()[0]));
    if (!read) return cx.fail(read.message());
    document = std::move(read.value());
  }
  auto code = readReportCode(document.code);
  if (!code) return cx.fail(code.message());
  // The keys: the file given, else the register's when there is one (never made for this).
  std::vector<OfficeKey> keys;
  std::unique_ptr<Register> reg;
  if (auto keyFile = call.args.value("--key")) {
    auto text = readWholeFile(pathFromUtf8(*keyFile), 1 << 20);
    if (!text) return cx.fail(text.message());
    auto parsed = parsePublicKeys(text.value());
    if (!parsed) return cx.fail(parsed.message());
    keys = std::move(parsed.value());
  }
  const std::string location = registerLocation(settingsFor(call.args), call.args.value("--register"));
  std::error_code ec;
  if (isServerRegister(location) || fs::exists(pathFromUtf8(location), ec)) {
    if (auto opened = openRegisterAt(location)) {
      reg = std::move(opened.value());
    } else {
      cx.err << "kro: 警告：无法打开台账，没有查询报告是否已作废：" << printable(opened.message()) << "\n";
    }
  }
  if (reg && keys.empty()) {
    auto own = reg->officeKeys();
    if (own) keys = std::move(own.value());
  }
  if (keys.empty()) return cx.fail("没有可以核对签名的公钥：请用 --key 给出签发单位的公钥文件");
  CodeCheck check = checkCode(code.value(), keys);
  const SignedReport& r = check.read.report;
  if (check.valid() && document.printedText) checkPrintedFigures(check, *document.printedText);
  if (check.valid()) {
    if (auto path = call.args.value("--project")) {
      auto bytes = readWholeFile(pathFromUtf8(*path), kMaxProjectFileSize);
      if (!bytes) return cx.fail(bytes.message());
      auto loaded = loadProjectBytes(pathFromUtf8(*path), bytes.value());
      if (!loaded) return cx.fail(loaded.message());
      if (canonicalDataSha256(loaded->project) != r.dataSha256)
        check.problems.push_back("工程文件中的数据与签名的不同（数据 SHA-256 不符）");
    }
  }
  if (check.valid() && reg) {
    auto reports = reg->reports();
    if (reports) {
      for (const ReportRecord& e : reports.value()) {
        if (e.number != r.number || e.revision != r.revision) continue;
        if (e.state == ReportState::Void) check.problems.push_back("已作废：" + e.voidReason);
        if (e.state == ReportState::Superseded) check.problems.push_back("已被新版代替，以新版为准");
        auto stored = readReportCode(e.code);
        if (stored && stored->payload != check.read.payload)
          check.problems.push_back("台账中这份报告的校验码与此不同");
      }
    }
  }
  cx.out << "防伪校验码中签名的内容：\n";
  for (const std::string& line : signedFieldLines(check)) cx.out << "  " << printable(line) << "\n";
  if (!document.printedText && !given) cx.out << "请将以上内容与报告上印的逐项核对。\n";
  if (check.valid()) {
    cx.out << "签名有效\n";
    return kSuccess;
  }
  for (const std::string& p : check.problems) cx.out << "无效：" << printable(p) << "\n";
  return kFailure;
}

Result<std::string> pinOf(const std::string& person, const char* variable) {
  if (const char* pin = std::getenv(variable); pin != nullptr && *pin != '\0') return std::string(pin);
  auto typed = platform::readSecret(person + " 的个人密码（PIN）：");
  if (!typed)
    return Error{"需要 " + person + " 的个人密码：没有终端可以询问，请用环境变量 " + variable + " 给出"};
  return typed.value();
}

int commandRegister(const Context& cx, Invocation& call) {
  const std::string what = word(call, 0);
  if (what.empty())
    return cx.usage(
        "register 之后是 "
        "people、instruments、numbering、list、failing、void、export、verify、backup、restore 或 where");
  const std::string location = registerLocation(settingsFor(call.args), call.args.value("--register"));
  if (what == "where") {
    cx.out << printable(location) << "\n";
    return kSuccess;
  }
  if (what == "copy") {
    const auto to = call.args.value("--to");
    if (!to || to->empty())
      return cx.usage("register copy 需要用 --to 指定新的台账（文件或 postgresql://…）");
    auto from = openRegisterAt(location);
    if (!from) return cx.fail(from.message());
    auto target = openRegisterAt(*to);
    if (!target) return cx.fail(target.message());
    auto rows = from.value()->copyInto(*target.value());
    if (!rows) return cx.fail(rows.message());
    cx.out << "已复制 " << rows.value() << " 行到 " << printable(*to) << "\n";
    return kSuccess;
  }
  if ((what == "backup" || what == "restore") && isServerRegister(location))
    return cx.fail(
        "服务器上的台账由服务器备份（pg_dump、pg_restore），或用 kro register copy 复制到一个文件");
  const fs::path file = pathFromUtf8(location);
  if (what == "backup") {
    if (call.output.empty()) return cx.usage("register backup 需要用 -o 指定备份文件");
    if (Status s = backupRegister(file, pathFromUtf8(call.output)); !s) return cx.fail(s.message());
    cx.out << "已备份到 " << printable(call.output) << "\n";
    return kSuccess;
  }
  if (what == "restore") {
    if (call.inputs().size() != 2) return cx.usage("register restore 需要一个备份文件");
    auto kept = restoreRegister(file, pathFromUtf8(call.inputs()[1]));
    if (!kept) return cx.fail(kept.message());
    cx.out << "已恢复" << (kept->empty() ? "" : "；原来的台账保存为 " + printable(displayPath(kept.value())))
           << "\n";
    return kSuccess;
  }
  auto opened = openRegisterAt(location);
  if (!opened) return cx.fail(opened.message());
  Register& reg = *opened.value();
  if (what == "people") return peopleCommand(cx, call, reg);
  if (what == "instruments") return instrumentsCommand(cx, call, reg);
  if (what == "list" || what == "failing") return listCommand(cx, call, reg, what == "failing");
  if (what == "void") return voidCommand(cx, call, reg);
  if (what == "numbering") {
    NumberingRules rules;
    const std::string format = call.args.value("--format").value_or("");
    auto current = reg.numbering(format);
    if (!current) return cx.fail(current.message());
    rules = current.value();
    if (auto p = call.args.value("--pattern")) rules.pattern = *p;
    if (auto r = call.args.value("--revision-rule")) {
      if (*r != "版本" && *r != "新编号") return cx.usage("--revision-rule 取 版本 或 新编号");
      rules.newNumberForRevision = *r == "新编号";
    }
    if (call.args.value("--pattern") || call.args.value("--revision-rule")) {
      if (Status s = reg.setNumbering(rules, format); !s) return cx.fail(s.message());
    }
    cx.out << "编号规则：" << printable(rules.pattern) << "；修改后重新签发："
           << (rules.newNumberForRevision ? "新编号" : "同一编号的下一版") << "\n";
    return kSuccess;
  }
  if (what == "export") {
    const bool xlsx = call.args.has("--xlsx"), csv = call.args.has("--csv");
    if (xlsx == csv) return cx.usage("register export 需要 --xlsx 或 --csv 之一");
    if (call.output.empty()) return cx.usage("register export 需要用 -o 指定输出文件");
    auto tables = ledgerTables(reg, today());
    if (!tables) return cx.fail(tables.message());
    Status written = xlsx ? writeOutputByPath(
                                cx, call.output, OutputKind::Binary,
                                [&](const fs::path& out) { return exportLedgersToXlsx(tables.value(), out); })
                          : writeOutput(cx, call.output, ledgerCsv(tables->front()), OutputKind::Text);
    if (!written) return cx.fail(written.message());
    return kSuccess;
  }
  if (what == "key") return keyCommand(cx, call, reg);
  if (what == "void-list") {
    if (call.output.empty()) return cx.usage("register void-list 需要用 -o 指定输出文件（void-list.json）");
    auto reports = reg.reports();
    if (!reports) return cx.fail(reports.message());
    Status written = writeOutput(cx, call.output, voidListJson(reports.value()), OutputKind::Text);
    return written ? kSuccess : cx.fail(written.message());
  }
  if (what == "code") {
    auto settings = reg.codeSettings();
    if (!settings) return cx.fail(settings.message());
    if (auto mode = call.args.value("--mode")) {
      auto parsed = parseCodeMode(*mode);
      if (!parsed) return cx.usage("--mode 取 签名、关闭 或 平台");
      settings->mode = *parsed;
    }
    if (auto address = call.args.value("--address")) settings->address = *address;
    if (call.args.value("--mode") || call.args.value("--address")) {
      if (Status s = reg.setCodeSettings(settings.value()); !s) return cx.fail(s.message());
    }
    cx.out << "防伪校验码：" << codeModeName(settings->mode)
           << (settings->address.empty() ? "" : "；验证网址：" + printable(settings->address)) << "\n";
    return kSuccess;
  }
  if (what == "verify") {
    std::optional<fs::path> folder;
    if (call.inputs().size() == 2) folder = pathFromUtf8(call.inputs()[1]);
    auto findings = verifyRegister(reg, folder);
    if (!findings) return cx.fail(findings.message());
    for (const std::string& f : findings.value()) cx.out << printable(f) << "\n";
    if (findings->empty()) cx.out << "台账核查没有发现问题\n";
    return findings->empty() ? kSuccess : kFailure;
  }
  return cx.usage("register 不认识“" + what + "”");
}

}  // namespace kro::cli
