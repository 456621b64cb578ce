// The spreadsheet export: the selected members' readings in a workbook, one block of rows per
// member (a header row of four merged three-cell ranges, then ten readings a row).
#pragma once

#include <cstdint>

#include "export/excel_session.h"
#include "model/judging_rule.h"
#include "model/project.h"
#include "report/office_paths.h"

namespace kro {

// The rows of a worksheet.
inline constexpr std::int64_t kMaxSheetRows = 1'048'576;

// Writes the ticked members' readings to workbookPath; under a rule that judges members by
// their means a second sheet, "构件判定", gives each member's mean and judgement and the verdict.
// Refused, with a message, when the project has no members or none is ticked.
Result<std::filesystem::path> exportToSpreadsheet(const Project& project, const RuleInForce& rule,
                                                  ExcelSession& excel,
                                                  const std::filesystem::path& workbookPath,
                                                  const CancelFlag* cancel = nullptr);

}  // namespace kro
