// The office's register: the people who test, review and approve, the instruments with their
// calibration, and every report drafted, reviewed, issued, superseded or voided, with numbers
// taken in the database's own transactions. Nothing is ever deleted: people and instruments
// are retired, reports voided or superseded.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/calendar_date.h"
#include "base/result.h"
#include "register/database.h"

namespace kro {

// The schema this program writes; a register of a newer one is refused, an older one migrated.
inline constexpr int kRegisterSchemaVersion = 2;

enum class Role { Tester, Reviewer, Approver };
// 检测, 审核, 批准.
std::string_view roleName(Role role);
// "检测,审核" in any order, "，" too; nothing for an unknown or empty list.
std::optional<std::vector<Role>> parseRoles(std::string_view text);

struct Person {
  std::string name;
  std::vector<Role> roles;
  bool active = true;
  bool has(Role role) const;
};

struct Instrument {
  std::string name, serial, certificate;
  CalendarDate calibrated, due;
  bool active = true;
};

// How an instrument stands on a day: within calibration, due within 30 days, or lapsed.
enum class Calibration { Valid, DueSoon, Lapsed };
inline constexpr int kCalibrationWarningDays = 30;
Calibration calibrationOn(const Instrument& instrument, const CalendarDate& day);
// "2026-12-09"; and back (nothing for anything else or a day that does not exist).
std::string isoDate(const CalendarDate& date);
std::optional<CalendarDate> parseIsoDate(std::string_view text);

enum class ReportState { Drafted, Reviewed, Issued, Superseded, Void };
// "drafted", "reviewed", "issued", "superseded", "void"; and the words people read.
std::string_view stateKey(ReportState state);
std::string_view stateName(ReportState state);

// "LBHD-2026-0001 第 2 版".
std::string revisionText(const std::string& number, int revision);

struct ReportFileRecord {
  std::string name;  // the file's name in the folder it was issued into
  std::string sha256;
};

struct ReportRecord {
  std::int64_t id = 0;
  std::string projectId, projectFile, projectSha256, logHash;
  std::string projectName, client, format, rule, verdict;             // verdict: 合格 or 不合格
  std::string instrument, certificate, due;                           // the instrument's serial, as drafted
  bool expiredConfirmed = false;                                      // drafted or issued with it lapsed
  std::string tester, drafted, reviewer, reviewed, approver, issued;  // names, ISO 8601 times
  std::string number;
  int revision = 0;
  std::string replaces;  // "LBHD-2026-0001 第 1 版", or empty
  std::string folder;    // where its documents were written
  ReportState state = ReportState::Drafted;
  std::string voidReason;
  std::vector<ReportFileRecord> files;
  std::string code;  // the text of its anti-counterfeit code, or empty
  bool failing() const { return verdict == "不合格"; }
  std::string revisionText() const { return kro::revisionText(number, revision); }
};

// How the office numbers its reports. The pattern's {年} is the year of issue, {序号:4} the
// number within the year and series (zero-padded to 4 digits); each text the pattern gives
// before its 序号 is a series of its own. A format may have a pattern of its own (a prefix per
// kind of report).
struct NumberingRules {
  std::string pattern = "{年}-{序号:4}";
  bool newNumberForRevision = false;  // an amended report: a new number, or the next revision
};
// The pattern's number n of a year, and the series it counts in (the text before its 序号 with
// the year in place). Only for a pattern without a problem.
std::string numberFromPattern(const std::string& pattern, int year, std::int64_t n);
std::string seriesOfPattern(const std::string& pattern, int year);
// A pattern's problem, or nothing: it needs {序号} or {序号:N} once, and a number may hold no
// character a file name cannot.
std::optional<std::string> patternProblem(std::string_view pattern);
// The characters a report number may not hold (it names the documents).
std::optional<std::string> numberProblem(std::string_view number);

// The office's signing key: its secret part only as sealed by the approvers' passphrase. A key
// signs from its first day to its last (none: open); revoked, it signs nothing from that day on,
// while the reports it signed before stay valid.
struct OfficeKey {
  std::string id, office;
  std::string publicKey;  // 32 bytes
  std::string sealedSecret;
  CalendarDate validFrom;
  std::optional<CalendarDate> validUntil, revoked;
  std::string revokeReason;
  // Whether a report issued on that day may bear its signature, and why not.
  std::optional<std::string> problemOn(const CalendarDate& day) const;
};

// What issued reports carry as their anti-counterfeit code: the office's signed code (with the
// verification address before it, when there is one), none, or a code text of a platform the
// office reports to, typed at approval.
enum class CodeMode { Signed, Off, Platform };
struct CodeSettings {
  CodeMode mode = CodeMode::Signed;
  std::string address;  // "https://jc.example.cn/verify.html"
};
std::string_view codeModeName(CodeMode mode);  // 签名, 关闭, 平台
std::optional<CodeMode> parseCodeMode(std::string_view name);

class Register {
 public:
  // Opens the register on a database: made on first use, migrated in a transaction when older
  // (backup() is asked first for a copy), refused when newer than this program.
  static Result<std::unique_ptr<Register>> open(std::unique_ptr<Database> db,
                                                const std::function<Status()>& backup = {});
  Database& database() { return *db_; }

  // People. A PIN is stored only as a salted hash (Argon2id).
  Status addPerson(const std::string& name, const std::vector<Role>& roles, const std::string& pin);
  Status retirePerson(const std::string& name);
  Status changePin(const std::string& name, const std::string& oldPin, const std::string& newPin);
  Result<std::vector<Person>> people();
  // The active person of that name whose PIN this is; refused otherwise, saying which.
  Result<Person> signIn(const std::string& name, const std::string& pin);

  // Instruments.
  Status addInstrument(const Instrument& instrument);
  Status retireInstrument(const std::string& serial);
  Result<std::vector<Instrument>> instruments();
  Result<Instrument> instrument(const std::string& serial);

  // Numbering, for every format or for one (its argument text: "1", "本站格式").
  Result<NumberingRules> numbering(const std::string& format = {});
  Status setNumbering(const NumberingRules& rules, const std::string& format = {});

  // The office's keys, oldest first. A new key is sealed by the passphrase; keys are never
  // deleted, only revoked. who: the approver who made or revoked it, in the register's history.
  Result<OfficeKey> newOfficeKey(const std::string& office, const std::string& passphrase,
                                 const CalendarDate& from, std::optional<CalendarDate> until,
                                 const std::string& who);
  Result<std::vector<OfficeKey>> officeKeys();
  Status revokeKey(const std::string& id, const CalendarDate& from, const std::string& reason,
                   const std::string& who);
  // The newest key that may sign on that day.
  Result<OfficeKey> signingKey(const CalendarDate& day);
  Result<CodeSettings> codeSettings();
  Status setCodeSettings(const CodeSettings& settings);

  // Reports: every one, newest first; those of a project.
  Result<std::vector<ReportRecord>> reports();
  Result<std::vector<ReportRecord>> reportsOf(const std::string& projectId);
  Status voidReport(const std::string& number, int revision, const std::string& reason,
                    const std::string& who);

  // The steps, each in a transaction of its own.
  Result<std::int64_t> insertDraft(const ReportRecord& draft);
  Status markReviewed(std::int64_t id, const std::string& reviewer, const std::string& when);
  // In the caller's transaction (begun with begin()): the next number of the series and year,
  // or the revision after the latest issued one of an amended report.
  Result<std::int64_t> takeNumber(const std::string& series, int year);
  Status markIssued(const ReportRecord& issued);

  // Copies every row into a new register (on another backend: SQLite to a server, or back),
  // with their keys, in one transaction of the target; the rows copied.
  Result<std::size_t> copyInto(Register& target);

  // A line of the register's own history (who did what), written with the step.
  Status note(const std::string& who, const std::string& what, std::int64_t report = 0);

 private:
  explicit Register(std::unique_ptr<Database> db) : db_(std::move(db)) {}
  Result<std::vector<ReportRecord>> selectReports(std::string_view where,
                                                  const std::vector<SqlValue>& parameters);
  std::unique_ptr<Database> db_;
};

}  // namespace kro
