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
