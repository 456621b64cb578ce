// The spreadsheet export.
#include "export/spreadsheet_export.h"

#include <algorithm>

#include "model/figure_text.h"
#include "model/gbk_text.h"
#include "model/record_replay.h"
#include "model/report_figures.h"
#include "model/statistics.h"

namespace kro {

namespace {

// Each ticked member by its mean, then the totals, the verdict and the rule.
Status writeMemberSheet(const Project& project, const RuleInForce& rule, ExcelSession& excel) {
  if (Status s = excel.addSheet("构件判定"); !s) return s;
  const char* headings[] = {"序号",   "测区编号", "构件名称", "设计厚度", "测点数",
                            "平均值", "判定值",   "允许偏差", "判定",     "抽样批次"};
  for (int c = 0; c < 10; ++c) excel.setCellText(1, c + 1, headings[c]);
  int r = 1;
  for (int index : tickedMembers(project)) {
    const MemberRecord& m = *project.memberAt(index);
    const ToleranceBand band = ruleBand(m, rule.rule);
    const auto mean = judgeMemberMean(m, rule.rule);
    ++r;
    excel.setCellText(r, 1, std::to_string(r - 1));
    excel.setCellText(r, 2, gbkToUtf8(m.code()));
    excel.setCellText(r, 3, gbkToUtf8(m.name()));
    excel.setCellText(r, 4, std::to_string(m.designThickness()));
    excel.setCellText(r, 5, std::to_string(m.readingCount()));
    excel.setCellText(r, 6, mean ? tenthsText(mean->sum, mean->count) : "-");
    excel.setCellText(r, 7, mean ? mean->text : "-");
    excel.setCellText(r, 8, std::to_string(band.lower) + "~" + std::to_string(band.upper));
    excel.setCellText(r, 9, mean ? (mean->passes ? "合格" : "不合格") : "无测点");
    excel.setCellText(r, 10, std::to_string(m.sample()));
  }
  const ReportFigures f = reportFigures(project, rule);
  excel.setCellText(r + 2, 1,
                    "构件 " + std::to_string(f.memberCount) + " 个，合格 " +
                        std::to_string(f.memberPassCount) + " 个，合格率 " + f.rateText + "%（要求 " +
                        f.ruleText + "%）：" + f.verdict());
  excel.setCellText(r + 3, 1, "判定规则：" + f.ruleLine());
  if (std::string samples = f.samplesText(); !samples.empty()) excel.setCellText(r + 4, 1, samples);
  return Status::success();
}

// The ticked members' readings one a row with their origin and whether the log changed them; written
// when the project records origins, and when the rows fit a sheet.
Status writeOriginSheet(const Project& project, ExcelSession& excel) {
  const bool recorded =
      std::any_of(project.members.begin(), project.members.end(), [](const MemberRecord& m) {
        return std::any_of(m.readings().begin(), m.readings().end(),
                           [](const Reading& r) { return r.origin != ReadingOrigin::Unrecorded; });
      });
  if (!recorded) return Status::success();
  std::int64_t rows = 1;
  for (int index : tickedMembers(project)) rows += project.memberAt(index)->readingCount();
  if (rows > kMaxSheetRows) return Status::success();
  if (Status s = excel.addSheet("测点来源"); !s) return s;
  const char* headings[] = {"测区编号", "测点号", "厚度值", "来源", "修改过"};
  for (int c = 0; c < 5; ++c) excel.setCellText(1, c + 1, headings[c]);
  const auto corrected = correctedReadings(project.members, changesSinceBeginning(project.log));
  int r = 1;
  for (int index : tickedMembers(project)) {
    const MemberRecord& m = *project.memberAt(index);
    for (int j = 0; j < m.readingCount(); ++j) {
      const auto at = static_cast<std::size_t>(j);
      ++r;
      excel.setCellText(r, 1, gbkToUtf8(m.code()));
      excel.setCellText(r, 2, std::to_string(j + 1));
      excel.setCellText(r, 3, std::to_string(m.readingAt(j)));
      excel.setCellText(r, 4, originName(m.readings()[at].origin));
      excel.setCellText(r, 5, corrected[static_cast<std::size_t>(index)][at] ? "是" : "");
    }
  }
  return Status::success();
}

// Every entry of the modification log, oldest first; written when the project has a log.
Status writeLogSheet(const Project& project, ExcelSession& excel) {
  if (project.log.empty() || static_cast<std::int64_t>(project.log.size()) + 1 > kMaxSheetRows) {
    return Status::success();
  }
  if (Status s = excel.addSheet("修改记录"); !s) return s;
  const char* headings[] = {"序号", "时间", "修改人", "账户", "计算机", "构件",
                            "测点", "项目", "原值",   "新值", "原因",   "SHA-256"};
  for (int c = 0; c < 12; ++c) excel.setCellText(1, c + 1, headings[c]);
  int r = 1;
  for (const LogEntry& e : project.log) {
    const EntryTexts t = entryTexts(e);
    ++r;
    const std::string cells[] = {std::to_string(r - 1),
                                 t.when,
                                 t.who,
                                 t.account,
                                 t.host,
                                 t.member,
                                 t.reading,
                                 t.field,
                                 t.oldValue,
                                 t.newValue,
                                 t.why,
                                 t.hash};
    for (int c = 0; c < 12; ++c) excel.setCellText(r, c + 1, cells[c]);
  }
  return Status::success();
}

}  // namespace

Result<std::filesystem::path> exportToSpreadsheet(const Project& project, const RuleInForce& rule,
                                                  ExcelSession& excel,
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
  if (rule.rule.judgesMembers()) {
    if (Status s = writeMemberSheet(project, rule, excel); !s) return Error{s.message()};
  }
  if (Status s = writeOriginSheet(project, excel); !s) return Error{s.message()};
  if (Status s = writeLogSheet(project, excel); !s) return Error{s.message()};
  if (isCancelled(cancel)) return Error{kCancelledMessage};
  if (Status s = excel.saveAs(workbookPath); !s) return Error{s.message()};
  return workbookPath;
}

}  // namespace kro
