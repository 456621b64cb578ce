// Issuing a report: three steps by three different people, each signing in with their PIN. The
// tester drafts (format, instrument, the project's SHA-256 and its log's last hash recorded), the
// reviewer reviews, the approver issues: the number is taken, the documents written under
// temporary names, the number committed with them, and only then the names given. A step that
// fails leaves no number taken and no file under a final name.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/calendar_date.h"
#include "model/project.h"
#include "register/register.h"
#include "report/project_parameters.h"
#include "settings/program_paths.h"

namespace kro {

// The name of the project parameter that holds its identity (a UUID, made at its first draft).
inline constexpr std::string_view kProjectIdParameter = "工程标识";
// A fresh random UUID (version 4), lowercase.
std::string newUuid();
// The project's identity; empty when it has none yet.
std::string projectIdOf(const Project& project);

// What an issued report's documents print beside its values: template fields of the same
// names (报告编号, 版本, 检测人, 审核人, 批准人, 仪器证书, 校准有效期, 代替, 校验码, 密钥指纹).
struct IssueMarks {
  std::string number;
  int revision = 1;
  std::string tester, reviewer, approver;
  std::string instrument, certificate, due;  // the instrument's name, certificate, due date
  std::string replaces;                      // "LBHD-2026-0001 第 1 版", or empty
  std::string code;                          // the anti-counterfeit code's text (校验码), or empty
  std::string fingerprint;  // the fingerprint of the key that signed it (密钥指纹), or empty
  // The marks as report parameters over the project's own.
  void applyTo(ParameterValues& values) const;
};

// Writes an issued report's documents into a folder under the names it is given; what it wrote
// in order. Implemented where the documents are made (the Word reports and the printed PDF).
class IssueDocuments {
 public:
  virtual ~IssueDocuments() = default;
  struct Written {
    std::filesystem::path file;  // under its temporary name
    std::string finalName;       // the name it takes once the number is committed
  };
  // base: the final names' stem ("LBHD-2026-0001-第1版"); temporary names are made from it.
  virtual Result<std::vector<Written>> write(const Project& project, const std::string& format,
                                             const IssueMarks& marks, const std::filesystem::path& folder,
                                             const std::string& base) = 0;
};

struct IssueRequest {
  std::filesystem::path projectFile;
  std::string person, pin;
  std::string format;      // the --format argument text, at drafting
  std::string instrument;  // the instrument's serial, at drafting
  std::filesystem::path outputFolder;
  bool forceExpired = false;   // a lapsed instrument confirmed
  std::string externalNumber;  // a number typed instead of the pattern's, at approval
  // At approval: the passphrase of the office's signing key, asked only when a report is signed;
  // and the code text of a platform the office reports to, when the register says so.
  std::function<Result<std::string>()> passphrase;
  std::string platformCode;
  CalendarDate today;
};

struct IssueOutcome {
  ReportState state = ReportState::Drafted;
  std::vector<std::string> warnings;  // an instrument due soon, one lapsed and confirmed
  std::string number;
  int revision = 0;
  std::vector<std::filesystem::path> files;  // under their final names
  std::string summary;                       // the state after the step, in a sentence
};

// The step the person may take for the project: refused with the reason otherwise.
Result<IssueOutcome> takeIssueStep(Register& reg, const IssueRequest& request, IssueDocuments& documents,
                                   const SettingsLocation& settings);

}  // namespace kro
