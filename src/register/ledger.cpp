// The register's ledgers, exports and check.
#include "register/ledger.h"

#include <algorithm>
#include <map>
#include <set>

#include "base/sha256.h"
#include "model/file_io.h"
#include "office/xlsx_excel_session.h"

namespace kro {

namespace fs = std::filesystem;

namespace {

std::vector<std::string> reportRow(const ReportRecord& r) {
  return {r.number,
          std::to_string(r.revision),
          r.issued.substr(0, 10),
          r.projectName,
          r.client,
          r.verdict,
          r.rule,
          r.instrument,
          r.tester,
          r.reviewer,
          r.approver,
          std::string(stateName(r.state)),
          r.replaces,
          r.voidReason};
}

const std::vector<std::string> kReportHeading = {"报告编号", "版本",     "签发日期", "工程名称", "委托单位",
                                                 "结论",     "判定规则", "仪器",     "检测",     "审核",
                                                 "批准",     "状态",     "代替",     "作废原因"};

// The number a pattern-made number holds at its end ("LBHD-2026-0012": 12, series "LBHD-2026-").
std::optional<std::pair<std::string, long>> splitNumber(const std::string& number) {
  std::size_t digits = number.size();
  while (digits > 0 && number[digits - 1] >= '0' && number[digits - 1] <= '9') --digits;
  if (digits == number.size() || number.size() - digits > 9) return std::nullopt;
  return std::pair{number.substr(0, digits), std::stol(number.substr(digits))};
}

}  // namespace

LedgerTable reportsTable(std::string name, const std::vector<ReportRecord>& reports) {
  LedgerTable table{std::move(name), kReportHeading, {}};
  for (const ReportRecord& r : reports) table.rows.push_back(reportRow(r));
  return table;
}

bool matches(const ReportRecord& r, const ReportFilter& f) {
  if (!f.text.empty() && r.number.find(f.text) == std::string::npos &&
      r.projectName.find(f.text) == std::string::npos && r.client.find(f.text) == std::string::npos)
    return false;
  const std::string day = r.issued.substr(0, 10);
  if (f.from && (day.empty() || day < isoDate(*f.from))) return false;
  if (f.to && (day.empty() || day > isoDate(*f.to))) return false;
  if (!f.verdict.empty() && r.verdict != f.verdict) return false;
  return !f.state || r.state == *f.state;
}

std::string registerStateText(const std::vector<ReportRecord>& ofProject) {
  if (ofProject.empty()) return "未签发";
  const ReportRecord& newest =
      *std::max_element(ofProject.begin(), ofProject.end(),
                        [](const ReportRecord& a, const ReportRecord& b) { return a.id < b.id; });
  switch (newest.state) {
    case ReportState::Drafted:
      return "起草";
    case ReportState::Reviewed:
      return "已审核";
    case ReportState::Issued:
    case ReportState::Superseded:
      return "已签发 " + newest.revisionText();
    case ReportState::Void:
      return "已作废";
  }
  return "未签发";
}

std::string_view pendingStep(const std::vector<ReportRecord>& ofProject) {
  for (const ReportRecord& r : ofProject) {
    if (r.state == ReportState::Drafted) return "审核";
    if (r.state == ReportState::Reviewed) return "批准";
  }
  return "起草";
}

Result<std::vector<LedgerTable>> ledgerTables(Register& reg, const CalendarDate& today) {
  auto reports = reg.reports();
  if (!reports) return reports.error();
  std::vector<LedgerTable> tables;
  LedgerTable all{"报告", kReportHeading, {}};
  LedgerTable failing{"不合格台账", kReportHeading, {}};
  for (const ReportRecord& r : reports.value()) {
    if (r.state == ReportState::Drafted || r.state == ReportState::Reviewed) continue;
    all.rows.push_back(reportRow(r));
    if (r.failing()) failing.rows.push_back(reportRow(r));
  }
  tables.push_back(std::move(all));
  tables.push_back(std::move(failing));
  auto devices = instrumentsTable(reg, today);
  if (!devices) return devices.error();
  tables.push_back(std::move(devices.value()));
  auto staff = peopleTable(reg);
  if (!staff) return staff.error();
  tables.push_back(std::move(staff.value()));
  return tables;
}

Result<LedgerTable> instrumentsTable(Register& reg, const CalendarDate& today) {
  auto instruments = reg.instruments();
  if (!instruments) return instruments.error();
  LedgerTable devices{"仪器", {"名称", "出厂编号", "校准证书", "校准日期", "有效期至", "状态"}, {}};
  for (const Instrument& i : instruments.value()) {
    const Calibration c = calibrationOn(i, today);
    devices.rows.push_back({i.name, i.serial, i.certificate, isoDate(i.calibrated), isoDate(i.due),
                            !i.active                   ? "停用"
                            : c == Calibration::Lapsed  ? "已过期"
                            : c == Calibration::DueSoon ? "即将到期"
                                                        : "有效"});
  }
  return devices;
}

Result<LedgerTable> peopleTable(Register& reg) {
  auto people = reg.people();
  if (!people) return people.error();
  LedgerTable staff{"人员", {"姓名", "职责", "状态"}, {}};
  for (const Person& p : people.value()) {
    std::string roles;
    for (Role role : p.roles) roles += (roles.empty() ? "" : "、") + std::string(roleName(role));
    staff.rows.push_back({p.name, roles, p.active ? "在职" : "停用"});
  }
  return staff;
}

Status exportLedgersToXlsx(const std::vector<LedgerTable>& tables, const fs::path& file) {
  XlsxExcelSession excel;
  if (Status s = excel.addWorkbook(); !s) return s;
  bool first = true;
  for (const LedgerTable& t : tables) {
    if (Status s = first ? excel.renameSheet("Sheet1", t.name) : excel.addSheet(t.name); !s) return s;
    first = false;
    for (std::size_t c = 0; c < t.heading.size(); ++c)
      excel.setCellText(1, static_cast<int>(c) + 1, t.heading[c]);
    for (std::size_t r = 0; r < t.rows.size(); ++r) {
      for (std::size_t c = 0; c < t.rows[r].size(); ++c)
        excel.setCellText(static_cast<int>(r) + 2, static_cast<int>(c) + 1, t.rows[r][c]);
    }
  }
  return excel.saveAs(file);
}

std::string ledgerCsv(const LedgerTable& table) {
  auto field = [](const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string out = "\"";
    for (char c : text) out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
  };
  std::string out = "\xEF\xBB\xBF";
  auto line = [&](const std::vector<std::string>& cells) {
    for (std::size_t c = 0; c < cells.size(); ++c) out += (c > 0 ? "," : "") + field(cells[c]);
    out += "\r\n";
  };
  line(table.heading);
  for (const auto& row : table.rows) line(row);
  return out;
}

Result<std::vector<std::string>> verifyRegister(Register& reg, const std::optional<fs::path>& folder) {
  auto reports = reg.reports();
  if (!reports) return reports.error();
  std::vector<std::string> findings;
  // Each number and revision once; every number the register counted out (series and year, 1
  // to the last) on a report: a gap is a number taken and lost.
  std::map<std::pair<std::string, int>, int> used;
  std::set<std::string> numbers;
  for (const ReportRecord& r : reports.value()) {
    if (r.number.empty()) continue;
    numbers.insert(r.number);
    if (++used[{r.number, r.revision}] == 2) findings.push_back(r.revisionText() + " 用了两次");
  }
  auto counted = reg.database().run("SELECT series, year, last FROM numbers ORDER BY series, year");
  if (!counted) return counted.error();
  for (const SqlRow& row : counted.value()) {
    const std::string prefix = row[0].value_or("");
    const long last = std::stol(row[2].value_or("0"));
    std::vector<long> missing;
    std::set<long> present;
    for (const std::string& n : numbers) {
      if (auto split = splitNumber(n); split && split->first == prefix) present.insert(split->second);
    }
    for (long k = 1; k <= last; ++k) {
      if (present.count(k) == 0) missing.push_back(k);
    }
    if (!missing.empty()) {
      std::string list;
      for (long k : missing) list += (list.empty() ? "" : "、") + std::to_string(k);
      findings.push_back("编号系列“" + prefix + "”（" + row[1].value_or("") + " 年）已取到第 " +
                         std::to_string(last) + " 号，但台账中没有第 " + list + " 号的报告");
    }
  }
  for (const ReportRecord& r : reports.value()) {
    if (r.number.empty()) continue;
    if (r.expiredConfirmed)
      findings.push_back(r.revisionText() + " 签发时仪器 " + r.instrument + " 已过校准有效期（" + r.due +
                         "）");
    if (r.state == ReportState::Void) continue;
    const fs::path where = folder ? *folder : pathFromUtf8(r.folder);
    for (const ReportFileRecord& f : r.files) {
      const fs::path file = where / pathFromUtf8(f.name);
      auto bytes = readWholeFile(file, std::uint64_t{4} << 30);
      if (!bytes) {
        findings.push_back(r.revisionText() + " 的文件“" + displayPath(file) + "”不见了或无法读取");
      } else if (hexOf(sha256(bytes.value())) != f.sha256) {
        findings.push_back(r.revisionText() + " 的文件“" + displayPath(file) +
                           "”签发后被改动过（SHA-256 不同）");
      }
    }
  }
  return findings;
}

}  // namespace kro
