// The data table export.
#include "export/data_table.h"

#include <utility>
#include <vector>

#include "model/gbk_text.h"
#include "model/statistics.h"

namespace kro {

int dataTableRowCount(const Project& project) {
  int rows = 0;
  for (const MemberRecord& m : project.members) {
    if (m.selected() != 0) rows += 1 + readingRows(m);
  }
  return rows;
}

std::string dataTableHeader(const MemberRecord& m) {
  return gbkToUtf8(m.code()) + "(" + gbkToUtf8(m.name()) +
         ")         设计厚度:" + std::to_string(m.designThickness()) + "        " + gbkToUtf8(m.testDate());
}

namespace {

// The table's contents, in the active document.
Status fillDataTable(const Project& project, WordSession& word, const OfficePaths& paths) {
  if (Status s = word.saveAs(paths.dataTablePath()); !s) return s;
  word.typeText("数据列表：");
  word.typeParagraph();
  word.moveDown(60);
  if (Status s = word.addTable(dataTableRowCount(project), 10); !s) return s;
  int r = 0;
  std::vector<std::pair<int, int>> blocks;  // each member's heading and last row
  for (const MemberRecord& m : project.members) {
    if (m.selected() == 0) continue;
    ++r;
    word.moveRight(10, true);
    if (Status s = word.mergeSelectedCells(); !s) return s;
    if (Status s = word.setCellText(1, r, 1, dataTableHeader(m)); !s) return s;
    // The member's heading and readings on one page when they fit.
    if (Status s = word.keepRowsTogether(1, r, r + readingRows(m)); !s) return s;
    blocks.emplace_back(r, r + readingRows(m));
    const int n = m.readingCount();
    if (n == 0) {
      word.moveDown(1);
      continue;
    }
    for (int j = 0; j < n; ++j) {
      const int row = r + 1 + j / 10;
      const int column = 1 + j % 10;
      if (Status s = word.setCellText(1, row, column, std::to_string(m.readingAt(j))); !s) return s;
      // A reading outside the tolerance band in red, so the table says what the report concludes.
      if (!passesTolerance(m, j)) {
        if (Status s = word.setCellTextColor(1, row, column, kOutOfToleranceColor); !s) return s;
      }
    }
    r += readingRows(m);
    word.moveDown(readingRows(m) + 1);
  }
  // A member longer than a page shows its heading again on every page it spans.
  for (auto block = blocks.rbegin(); block != blocks.rend(); ++block) {
    if (Status s = word.repeatBlockHeading(1, block->first, block->second); !s) return s;
  }
  return Status::success();
}

}  // namespace

Status exportDataTable(const Project& project, WordSession& word, const OfficePaths& paths) {
  std::int64_t readings = 0;
  for (const MemberRecord& m : project.members) readings += m.selected() != 0 ? m.readingCount() : 0;
  if (readings > kMaxDataTableReadings) {
    return Error{"数据表格最多容纳 " + std::to_string(kMaxDataTableReadings) + " 个测点，勾选的构件有 " +
                 std::to_string(readings) + " 个；请分几次勾选构件生成"};
  }
  auto templatePath = findTemplate(paths, kDataTableTemplate);
  if (!templatePath) return templatePath.error();
  word.setVisible(true);
  if (Status s = word.addDocument(templatePath.value()); !s) return s;
  Status filled = fillDataTable(project, word, paths);
  if (!filled) word.discardDocument();  // a half-made table is never written
  return filled;
}

}  // namespace kro
