// The register's ledgers as tables (reports, the failing ledger, instruments, people), their
// exports, and the register's check of itself.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "register/register.h"

namespace kro {

struct LedgerTable {
  std::string name;  // 报告, 不合格台账, 仪器, 人员
  std::vector<std::string> heading;
  std::vector<std::vector<std::string>> rows;
};
// Every ledger; issued reports only (drafts wait in the window's lists), newest first.
Result<std::vector<LedgerTable>> ledgerTables(Register& reg, const CalendarDate& today);

// The 仪器 ledger (each instrument's standing on the day) and the 人员 ledger.
Result<LedgerTable> instrumentsTable(Register& reg, const CalendarDate& today);
Result<LedgerTable> peopleTable(Register& reg);
// The reports' table of some reports (the 报告 ledger's columns).
LedgerTable reportsTable(std::string name, const std::vector<ReportRecord>& reports);

// What the 报告 ledger is searched by: a text in the number, project or client; the day of
// issue within a range; the verdict (合格, 不合格); the state. Empty parts match everything.
struct ReportFilter {
  std::string text;
  std::optional<CalendarDate> from, to;
  std::string verdict;
  std::optional<ReportState> state;
};
bool matches(const ReportRecord& report, const ReportFilter& filter);

// A project's standing in the register, as its panel shows it: 未签发, 起草, 已审核,
// "已签发 LBHD-2026-0001 第 2 版" or 已作废 (the newest report decides).
std::string registerStateText(const std::vector<ReportRecord>& ofProject);
// The step a project's reports wait for: 起草 (none open), 审核 or 批准.
std::string_view pendingStep(const std::vector<ReportRecord>& ofProject);

// A workbook of one sheet per ledger, or the CSV of the reports' ledger (UTF-8 with its mark, so
// that spreadsheet programs read the Chinese texts).
Status exportLedgersToXlsx(const std::vector<LedgerTable>& tables, const std::filesystem::path& file);
std::string ledgerCsv(const LedgerTable& table);

// What is wrong in the register: numbers of a series and year with gaps or used twice, reports
// issued with a lapsed instrument, and (given the folder the documents went to, or each
// report's own) documents missing or whose SHA-256 no longer matches. Empty: nothing found.
Result<std::vector<std::string>> verifyRegister(Register& reg,
                                                const std::optional<std::filesystem::path>& folder);

}  // namespace kro
