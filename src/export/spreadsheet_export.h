// The spreadsheet export: the selected members' readings in a workbook, one block of rows per
// member (a header row of four merged three-cell ranges, then ten readings a row).
#pragma once

#include "export/excel_session.h"
#include "model/document.h"
#include "report/office_paths.h"

namespace kro {

// Reading rows of a member's block: ceil(n / 10), and 1 for a member without readings.
int spreadsheetReadingRows(const MemberRecord& member);

// Collects the check marks and writes "楼板仪数据.xlsx" into the output folder (or to the given
// path). Refused, with a message, when the document has no members.
Result<std::filesystem::path> exportToSpreadsheet(CKroAnalyzeDoc& doc, ExcelSession& excel,
                                                  const std::filesystem::path& workbookPath);

}  // namespace kro
