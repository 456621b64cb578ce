// Issuing a report in three steps.
#include "register/issuing.h"

#include <sodium.h>

#include <cstdlib>
#include <ctime>

#include "base/sha256.h"
#include "model/analysis_file.h"
#include "model/date_text.h"
#include "model/file_io.h"
#include "model/gbk_text.h"
#include "model/modification_log.h"
#include "model/project_blocks.h"
#include "model/report_figures.h"
#include "platform/file_system.h"
#include "report/report_code.h"
#include "report/report_generator.h"

namespace kro {

namespace fs = std::filesystem;

namespace {

// A written document is read back for its SHA-256 within this size.
constexpr std::uint64_t kMaxDocumentSize = std::uint64_t{4} << 30;

// The test suite stops the program at these points as a kill would, to show that nothing is
// left half done. Never set in use.
void stopHereWhenTesting(std::string_view point) {
  const char* at = std::getenv("KRO_TEST_STOP_ISSUE_AT");
  if (at != nullptr && point == at) std::_Exit(137);
}

// The instrument's standing on the day: a warning, or a refusal unless confirmed.
Status checkInstrument(const Instrument& i, const CalendarDate& day, bool confirmed, IssueOutcome& outcome) {
  if (!i.active) return Error{"仪器 " + i.serial + " 已停用"};
  switch (calibrationOn(i, day)) {
    case Calibration::Valid:
      return {};
    case Calibration::DueSoon:
      outcome.warnings.push_back("仪器 " + i.serial + " 的校准有效期到 " + isoDate(i.due) + "，不到 " +
                                 std::to_string(kCalibrationWarningDays) + " 天了，请及时送检");
      return {};
    case Calibration::Lapsed:
      if (!confirmed)
        return Error{"仪器 " + i.serial + " 的校准有效期已于 " + isoDate(i.due) +
                     " 过期：请先重新校准；确实要用它时加 --force-expired（会记入台账）"};
      outcome.warnings.push_back("仪器 " + i.serial + " 已过校准有效期（" + isoDate(i.due) +
                                 "），已确认使用并记入台账");
      return {};
  }
  return {};
}

struct ReadProject {
  Project project;
  std::string sha256;
};

Result<ReadProject> readProject(const fs::path& file) {
  if (!isAnalysisExtension(file))
    return Error{"只有分析结果文件（.KRO）可以签发：请先把“" + displayPath(file) + "”保存为分析结果文件"};
  auto bytes = readWholeFile(file, kMaxProjectFileSize);
  if (!bytes) return bytes.error();
  auto loaded = loadProjectBytes(file, bytes.value());
  if (!loaded) return loaded.error();
  if (loaded->project.logDamaged())
    return Error{"“" + displayPath(file) + "”的修改记录已损坏，不能签发：请先用 kro check 查明"};
  return ReadProject{std::move(loaded->project), hexOf(sha256(bytes.value()))};
}

std::string logHashOf(const Project& project) {
  return project.log.empty() ? std::string() : hexOf(project.log.back().hash);
}

// Gives the project its identity in its file (an entry of its log, when it keeps one).
Result<ReadProject> giveIdentity(const fs::path& file, ReadProject read, const SettingsLocation& settings,
                                 const std::string& who) {
  Project& project = read.project;
  if (Status s = parametersChangeable(project); !s)
    return s.message().empty() ? Error{"无法写入工程标识"} : Error{s.message()};
  ParameterValues values = effectiveParameters(project, settings);
  values.set(kProjectIdParameter, newUuid());
  auto stored = toStoredParameters(values, project.parameters);
  if (!stored) return stored.error();
  const ProjectParameters before = project.parameters;
  project.parameters = std::move(stored.value());
  if (!project.log.empty()) recordChanges(project, project.members, before, recorderNamed(who));
  const std::string bytes = encodeProjectFile(project);
  const ReplacingOwnFile own(file);  // the project's own file, read for this step
  if (Status s = writeFileAtomically(file, bytes); !s) return Error{s.message()};
  read.sha256 = hexOf(sha256(bytes));
  return read;
}

Result<IssueOutcome> draft(Register& reg, const IssueRequest& r, const Person& who, ReadProject read,
                           const SettingsLocation& settings) {
  IssueOutcome outcome;
  if (!who.has(Role::Tester)) return Error{"“" + who.name + "”没有检测职责，不能起草报告"};
  if (r.format.empty() || r.instrument.empty())
    return Error{"起草报告需要用 --format 和 --instrument 指定报告格式和仪器"};
  auto format = formatByArgument(r.format, settings);
  if (!format) return format.error();
  if (auto chosen = reportFormatToWrite(read.project, settings, format.value()); !chosen)
    return chosen.error();
  const ParameterValues values = effectiveParameters(read.project, settings);
  const ReportFigures figures = reportFigures(read.project, values.rule());
  if (figures.needsSecondSample())
    return Error{"这个工程的判定结果是“需二次抽样”：请先完成二次抽样再起草报告"};
  auto instrument = reg.instrument(r.instrument);
  if (!instrument) return instrument.error();
  const bool lapsed = calibrationOn(instrument.value(), r.today) == Calibration::Lapsed;
  if (Status s = checkInstrument(instrument.value(), r.today, r.forceExpired, outcome); !s)
    return Error{s.message()};
  if (projectIdOf(read.project).empty()) {
    auto identified = giveIdentity(r.projectFile, std::move(read), settings, who.name);
    if (!identified) return identified.error();
    read = std::move(identified.value());
  }
  ReportRecord d;
  d.projectId = projectIdOf(read.project);
  d.projectFile = displayPath(fs::absolute(r.projectFile));
  d.projectSha256 = read.sha256;
  d.logHash = logHashOf(read.project);
  d.projectName = values("工程名称");
  d.client = values("委托单位");
  d.format = r.format;
  d.rule = values.rule().rule.name;
  d.verdict = figures.verdict();
  d.instrument = instrument->serial;
  d.certificate = instrument->certificate;
  d.due = isoDate(instrument->due);
  d.expiredConfirmed = lapsed;
  d.tester = who.name;
  d.drafted = isoLocalTime(std::time(nullptr));
  auto id = reg.insertDraft(d);
  if (!id) return id.error();
  outcome.state = ReportState::Drafted;
  outcome.summary = "已起草（检测：" + who.name + "），等待审核";
  return outcome;
}

// The project must be the one drafted: unchanged since.
Status sameAsDrafted(const ReportRecord& open, const ReadProject& read) {
  if (read.sha256 == open.projectSha256) return {};
  return Error{"工程文件在起草后被修改过（SHA-256 不同）：请作废这份起草，由检测人重新起草。起草时为 " +
               open.projectSha256.substr(0, 16) + "…，现在为 " + read.sha256.substr(0, 16) + "…"};
}

// How the report is coded: the register's settings and, when the office signs and has a key,
// the key with its secret part opened by the passphrase (a warning when it has none yet).
struct Coding {
  CodeSettings settings;
  std::optional<OfficeKey> key;
  std::string secret;
  ~Coding() { sodium_memzero(secret.data(), secret.size()); }
};

Status prepareCoding(Register& reg, const IssueRequest& r, Coding& coding, IssueOutcome& outcome) {
  auto settings = reg.codeSettings();
  if (!settings) return settings.error();
  coding.settings = std::move(settings.value());
  if (coding.settings.mode == CodeMode::Platform && r.platformCode.empty())
    return Error{"台账设置为印平台的防伪码：请给出平台的校验码文字（--platform-code）"};
  if (coding.settings.mode != CodeMode::Signed) return {};
  auto keys = reg.officeKeys();
  if (!keys) return keys.error();
  if (keys->empty()) {
    outcome.warnings.push_back(
        "台账中还没有本单位的签名密钥，这份报告没有防伪校验码：请在台账设置中新建（kro register key new）");
    return {};
  }
  auto key = reg.signingKey(r.today);
  if (!key) return key.error();
  if (!r.passphrase) return Error{"批准签发需要签名密钥的口令"};
  auto passphrase = r.passphrase();
  if (!passphrase) return passphrase.error();
  auto secret = openSecretKey(key->sealedSecret, passphrase.value());
  sodium_memzero(passphrase->data(), passphrase->size());
  if (!secret) return secret.error();
  coding.key = std::move(key.value());
  coding.secret = std::move(secret.value());
  return {};
}

Result<IssueOutcome> approve(Register& reg, const IssueRequest& r, const Person& who, const ReadProject& read,
                             ReportRecord open, IssueDocuments& documents, const SettingsLocation& settings) {
  IssueOutcome outcome;
  Coding coding;
  if (Status s = prepareCoding(reg, r, coding, outcome); !s)
    return Error{"没有签发，编号没有占用：" + s.message()};
  auto instrument = reg.instrument(open.instrument);
  if (!instrument) return instrument.error();
  const bool lapsed = calibrationOn(instrument.value(), r.today) == Calibration::Lapsed;
  if (Status s =
          checkInstrument(instrument.value(), r.today, r.forceExpired || open.expiredConfirmed, outcome);
      !s)
    return Error{s.message()};
  std::error_code ec;
  if (!fs::is_directory(r.outputFolder, ec))
    return Error{"输出文件夹“" + displayPath(r.outputFolder) + "”不存在"};
  auto rules = reg.numbering(open.format);
  if (!rules) return rules.error();
  auto earlier = reg.reportsOf(open.projectId);
  if (!earlier) return earlier.error();
  const ReportRecord* issuedBefore = nullptr;
  for (const ReportRecord& e : earlier.value()) {
    if (e.state == ReportState::Issued && (issuedBefore == nullptr || e.id > issuedBefore->id))
      issuedBefore = &e;
  }
  if (!r.externalNumber.empty()) {
    if (auto problem = numberProblem(r.externalNumber)) return Error{*problem};
  }
  Transaction t(reg.database());
  if (!t.started()) return Error{t.started().message()};
  IssueMarks marks;
  marks.tester = open.tester;
  marks.reviewer = open.reviewer;
  marks.approver = who.name;
  marks.instrument = instrument->name + " " + instrument->serial;
  marks.certificate = instrument->certificate;
  marks.due = isoDate(instrument->due);
  if (issuedBefore != nullptr) marks.replaces = revisionText(issuedBefore->number, issuedBefore->revision);
  if (issuedBefore != nullptr && !rules->newNumberForRevision && r.externalNumber.empty()) {
    marks.number = issuedBefore->number;
    marks.revision = issuedBefore->revision + 1;
  } else if (!r.externalNumber.empty()) {
    auto taken = reg.database().run("SELECT id FROM reports WHERE number = $1", {r.externalNumber});
    if (!taken) return taken.error();
    if (!taken->empty()) return Error{"报告编号“" + r.externalNumber + "”已经用过，编号不能重复使用"};
    marks.number = r.externalNumber;
  } else {
    auto n = reg.takeNumber(seriesOfPattern(rules->pattern, r.today.year), r.today.year);
    if (!n) return n.error();
    marks.number = numberFromPattern(rules->pattern, r.today.year, n.value());
  }
  if (coding.key) {
    const ParameterValues values = effectiveParameters(read.project, settings);
    SignedReport signed_ =
        signedReportOf(read.project, reportFigures(read.project, values.rule()), values("工程名称"));
    signed_.keyId = coding.key->id;
    signed_.number = marks.number;
    signed_.revision = marks.revision;
    signed_.issued = r.today;
    auto code = signReportCode(std::move(signed_), coding.secret, coding.settings.address);
    if (!code) return Error{"没有签发，编号没有占用：" + code.message()};
    marks.code = std::move(code.value());
    marks.fingerprint = fingerprintOf(coding.key->publicKey);
  } else if (coding.settings.mode == CodeMode::Platform) {
    marks.code = r.platformCode;
  }
  open.code = marks.code;
  const std::string base = marks.number + "-第" + std::to_string(marks.revision) + "版";
  auto written = documents.write(read.project, open.format, marks, r.outputFolder, base);
  if (!written) return Error{"没有签发，编号没有占用：" + written.message()};
  auto removeAll = [&] {
    for (const auto& w : written.value()) removeQuietly(w.file);
  };
  for (const auto& w : written.value()) {
    if (fs::exists(r.outputFolder / pathFromUtf8(w.finalName), ec)) {
      removeAll();
      return Error{"输出文件夹中已有“" + w.finalName + "”：没有签发，编号没有占用"};
    }
  }
  stopHereWhenTesting("documents");
  open.approver = who.name;
  open.issued = isoLocalTime(std::time(nullptr));
  open.number = marks.number;
  open.revision = marks.revision;
  open.replaces = marks.replaces;
  open.folder = displayPath(fs::absolute(r.outputFolder));
  open.expiredConfirmed = open.expiredConfirmed || lapsed;
  for (const auto& w : written.value()) {
    auto bytes = readWholeFile(w.file, kMaxDocumentSize);
    if (!bytes) {
      removeAll();
      return bytes.error();
    }
    open.files.push_back({w.finalName, hexOf(sha256(bytes.value()))});
  }
  if (Status s = reg.markIssued(open); !s) {
    removeAll();
    return Error{s.message()};
  }
  stopHereWhenTesting("numbered");
  if (Status s = t.commit(); !s) {
    removeAll();
    return Error{"没有签发，编号没有占用：" + s.message()};
  }
  stopHereWhenTesting("committed");
  // The names are given only now that the number is the register's.
  for (const auto& w : written.value()) {
    const fs::path target = r.outputFolder / pathFromUtf8(w.finalName);
    if (int e = platform::moveWithoutReplacing(w.file, target); e != 0) {
      outcome.warnings.push_back(fileErrorMessage("无法改名为", target, e) + "：文件仍在“" +
                                 displayPath(w.file) + "”，kro register verify 会指出它");
      continue;
    }
    outcome.files.push_back(target);
  }
  outcome.state = ReportState::Issued;
  outcome.number = marks.number;
  outcome.revision = marks.revision;
  outcome.summary = "已签发 " + revisionText(marks.number, marks.revision) + "（检测：" + open.tester +
                    "，审核：" + open.reviewer + "，批准：" + who.name + "）" +
                    (marks.replaces.empty() ? "" : "，代替 " + marks.replaces);
  return outcome;
}

}  // namespace

std::string newUuid() {
  unsigned char b[16];
  if (sodium_init() < 0) std::abort();
  randombytes_buf(b, sizeof b);
  b[6] = static_cast<unsigned char>((b[6] & 0x0F) | 0x40);
  b[8] = static_cast<unsigned char>((b[8] & 0x3F) | 0x80);
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (int k = 0; k < 16; ++k) {
    if (k == 4 || k == 6 || k == 8 || k == 10) out += '-';
    out += kHex[b[k] >> 4];
    out += kHex[b[k] & 0x0F];
  }
  return out;
}

std::string projectIdOf(const Project& project) {
  const std::string* id = project.parameters.find(utf8ToGbkLossy(kProjectIdParameter));
  return id != nullptr ? *id : std::string();
}

void IssueMarks::applyTo(ParameterValues& values) const {
  values.set("报告编号", number);
  values.set("版本", std::to_string(revision));
  values.set("检测人", tester);
  values.set("审核人", reviewer);
  values.set("批准人", approver);
  values.set("仪器证书", certificate);
  values.set("校准有效期", due);
  values.set("代替", replaces);
  values.set(kCodeField, code);
  values.set("密钥指纹", fingerprint);
}

Result<IssueOutcome> takeIssueStep(Register& reg, const IssueRequest& r, IssueDocuments& documents,
                                   const SettingsLocation& settings) {
  auto who = reg.signIn(r.person, r.pin);
  if (!who) return who.error();
  auto read = readProject(r.projectFile);
  if (!read) return read.error();
  const std::string id = projectIdOf(read->project);
  std::optional<ReportRecord> open;
  if (!id.empty()) {
    auto reports = reg.reportsOf(id);
    if (!reports) return reports.error();
    for (ReportRecord& e : reports.value()) {
      if (e.state == ReportState::Drafted || e.state == ReportState::Reviewed) open = std::move(e);
    }
  }
  if (!open) return draft(reg, r, who.value(), std::move(read.value()), settings);
  if (Status s = sameAsDrafted(*open, read.value()); !s) return Error{s.message()};
  if (open->state == ReportState::Drafted) {
    if (!who->has(Role::Reviewer)) return Error{"“" + who->name + "”没有审核职责，这份报告在等待审核"};
    if (who->name == open->tester)
      return Error{"“" + who->name + "”起草了这份报告，不能再审核它：审核须由另一个人完成"};
    if (Status s = reg.markReviewed(open->id, who->name, isoLocalTime(std::time(nullptr))); !s)
      return Error{s.message()};
    IssueOutcome outcome;
    outcome.state = ReportState::Reviewed;
    outcome.summary = "已审核（检测：" + open->tester + "，审核：" + who->name + "），等待批准";
    return outcome;
  }
  if (!who->has(Role::Approver)) return Error{"“" + who->name + "”没有批准职责，这份报告在等待批准"};
  if (who->name == open->tester || who->name == open->reviewer)
    return Error{"“" + who->name + "”已" + (who->name == open->tester ? "起草" : "审核") +
                 "了这份报告，不能再批准它：批准须由第三个人完成"};
  return approve(reg, r, who.value(), read.value(), std::move(open.value()), documents, settings);
}

}  // namespace kro
