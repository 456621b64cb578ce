// The spreadsheet export: the selected members' readings in a workbook, one block of rows per
// member (a header row of four merged three-cell ranges, then ten readings a row).
#pragma once

#include <cstdint>

#include "export/excel_session.h"
#include "model/project.h"
#include "report/office_paths.h"

namespace kro {

// The rows of a worksheet.
inline constexpr std::int64_t kMaxSheetRows = 1'048'576;

// Writes the ticked members' readings to workbookPath. Refused, with a message, when the project
// has no members or none is ticked.
Result<std::filesystem::path> exportToSpreadsheet(const Project& project, ExcelSession& excel,
                                                  const std::filesystem::path& workbookPath,
                                                  const CancelFlag* cancel = nullptr);

}  // namespace kro
