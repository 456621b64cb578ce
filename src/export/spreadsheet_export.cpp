// The spreadsheet export.
#include "export/spreadsheet_export.h"

#include "model/gbk_text.h"
#include "model/report_figures.h"
#include "model/statistics.h"

namespace kro {

Result<std::filesystem::path> exportToSpreadsheet(const Project& project, ExcelSession& excel,
                                                  const std::filesystem::path& workbookPath,
                                                  const CancelFlag* cancel) {
  if (project.memberCount() == 0) return Error{"文档中没有构件，没有导出数据。"};
  if (Status s = refuseWithoutTickedMembers(project); !s) return Error{s.message()};
  // One sheet holds what is ticked; a sheet has at most kMaxSheetRows rows.
  std::int64_t rows = 0;
  for (const MemberRecord& m : project.members) rows += m.selected() != 0 ? 1 + readingRows(m) : 0;
  if (rows > kMaxSheetRows) {
    return Error{"工作表最多 " + std::to_string(kMaxSheetRows) + " 行，勾选的构件需要 " +
                 std::to_string(rows) + " 行（每个构件一行表头，每行十个测点）。请分几次勾选构件导出。"};
  }
  if (Status s = excel.addWorkbook(); !s) return Error{s.message()};
  excel.setVisible(true);
  if (Status s = excel.renameSheet("sheet1", "报表1"); !s) return Error{s.message()};
  if (Status s = excel.useSheet("报表1"); !s) return Error{s.message()};

  // First pass: the header rows.
  int r = 0;
  for (const MemberRecord& m : project.members) {
    if (m.selected() == 0) continue;
    ++r;
    excel.setCellText(r, 1, gbkToUtf8(m.code()) + "(" + gbkToUtf8(m.name()) + ")");
    excel.setColumnsAlignment(2, 4);
    for (int column : {1, 4, 7, 10}) excel.mergeCells(r, column, 1, 3);
    excel.setCellText(r, 4, "设计厚度:" + std::to_string(m.designThickness()) + " mm");
    excel.setCellText(r, 7, gbkToUtf8(m.testDate()));
    r += readingRows(m);
  }
  // Second pass: the readings, ten a row.
  int b = 0;
  for (const MemberRecord& m : project.members) {
    if (m.selected() == 0) continue;
    ++b;
    for (int j = 0; j < m.readingCount(); ++j)
      excel.setCellText(b + 1 + j / kReadingsPerRow, 1 + j % kReadingsPerRow, std::to_string(m.readingAt(j)));
    b += readingRows(m);
  }
  if (isCancelled(cancel)) return Error{kCancelledMessage};
  if (Status s = excel.saveAs(workbookPath); !s) return Error{s.message()};
  return workbookPath;
}

}  // namespace kro
