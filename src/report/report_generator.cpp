// The six report formats.
#include "report/report_generator.h"

#include "export/data_table.h"
#include "model/file_io.h"
#include "model/gbk_text.h"
#include "model/statistics.h"

namespace kro {
namespace {

// The generator's running state: the first failure ends the fill-in.
class Fill {
 public:
  explicit Fill(WordSession& word) : word_(word) {}
  WordSession* operator->() { return &word_; }
  void cell(int table, int row, int column, const std::string& text) {
    if (status_.ok()) status_ = word_.setCellText(table, row, column, text);
  }
  const Status& status() const { return status_; }

 private:
  WordSession& word_;
  Status status_;
};

// The underlined field of report 1's cover: not bold, single underline in the automatic colour.
void underlinedField(Fill& f, const std::string& text) {
  f->replaceSelection(text);
  WordFontChange font;
  font.bold = false;
  font.underlineColor = kAutomaticColor;
  font.underline = true;
  f->applyFont(font);
}

// The plain field of report 2's cover: not bold.
void plainField(Fill& f, const std::string& text) {
  f->replaceSelection(text);
  WordFontChange font;
  font.bold = false;
  f->applyFont(font);
}

void bodyFont(Fill& f) {
  WordFontChange font;
  font.name = "宋体";
  font.bold = false;
  font.size = 14.0f;
  f->applyFont(font);
}

using Parameters = ParameterValues;

std::string overview(const Parameters& P, std::string_view addressKey, std::string_view dateKey) {
  return "    " + P("工程名称") + "工程位于" + P(addressKey) + "，为" + P("结构类别") + "结构。由" +
         P("施工单位") + "施工，开工时间为" + P(dateKey) + "。根据设计要求，混凝土设计强度等级为" +
         P("强度等级") + "。" + "\n" + "    受" + P("委托单位") + "委托，我所对" + P("结构类别") +
         "楼板厚度进行了检测。 ";
}

// 报告日期 in report 1's own form ("2026--12--8"); today when it is not set.
std::string reportDate(const Parameters& P, const CalendarDate& today) {
  std::string date = reportOneDate(P("报告日期"));
  if (!date.empty()) return date;
  return std::to_string(today.year) + "--" + std::to_string(today.month) + "--" + std::to_string(today.day);
}

void report1(Fill& f, const ReportFigures& figures, const Parameters& P, const CalendarDate& today) {
  f->moveDown(3);
  f->moveRight(3, false);
  f->typeText(P("报告编号"));
  f->moveDown(7);
  underlinedField(f, P("工程名称"));
  f->moveDown(1);
  underlinedField(f, P("施工单位"));
  f->moveDown(1);
  underlinedField(f, P("检测内容"));
  f->moveDown(8);
  f->typeText(P("检测单位"));
  f->moveDown(1);
  f->typeText(reportDate(P, today));
  int row = 1;
  for (const char* key : {"工程名称", "施工单位", "监理单位", "设计单位", "检测内容"})
    f.cell(1, row++, 2, P(key));
  if (!f.status()) return;
  f->moveDown(9);
  f->replaceSelection(overview(P, "工程地址", "施工日期"));
  bodyFont(f);
  f->moveDown(4);
  f->replaceSelection("    检测依据：" + P("检测依据") + "。");
  f->moveDown(3);
  f->moveDown(1);
  f->replaceSelection(conclusionSentence(P("工程名称"), figures));
  f->moveDown(6);
  f->homeKey();
  f->moveRight(7, false);
  f->typeText(P("检测仪器"));
}

void report2(Fill& f, const ReportFigures& figures, const Parameters& P) {
  f->moveDown(6);
  f->moveRight(26, false);
  f->typeText(P("报告编号"));
  f->moveDown(7);
  plainField(f, P("工程名称"));
  f->moveDown(2);
  plainField(f, P("委托单位"));
  f->moveDown(2);
  plainField(f, P("检测项目"));
  f->moveDown(2);
  plainField(f, P("检测方法"));
  f->moveDown(2);
  plainField(f, P("检测日期"));
  int row = 1;
  for (const char* key :
       {"工程名称", "建设单位", "施工单位", "设计单位", "监理单位", "监督单位", "工程地址"}) {
    f.cell(1, row++, 2, P(key));
  }
  if (!f.status()) return;
  f->moveDown(17);
  f->moveRight(4, false);
  f->replaceSelection(overview(P, "工程地址", "检测日期"));
  bodyFont(f);
  f->moveDown(3);
  f->replaceSelection("本次检测采用电磁法检测楼板厚度。");
  f->moveDown(3);
  f->replaceSelection(conclusionSentence(P("工程名称"), figures));
  f.cell(2, 1, 1, "检测依据：\r\n   " + P("检测依据") + "\r\n\r\n\r\n");
  f.cell(2, 2, 1, "检测仪器及设备：\r\n   " + P("检测仪器") + "\r\n\r\n\r\n");
  f.cell(2, 3, 1, "检测时间及检测环境：\r\n   " + P("检测日期") + "；\r\n\r\n\r\n");
  f.cell(2, 4, 1, "参加检测人员：\r\n   " + P("检测人员") + "\r\n\r\n\r\n");
  f.cell(2, 5, 1,
         "主检人：" + std::string(24, ' ') + "审定人：" + std::string(17, ' ') + "\r\n核对人： " +
             std::string(23, ' ') + "批准人：\r\n\r\n");
}

void report3(Fill& f, const ReportFigures& figures, const Parameters& P) {
  f.cell(1, 1, 2, P("委托编号"));
  f.cell(1, 2, 2, P("委托单位"));
  f.cell(1, 3, 2, P("工程名称"));
  f.cell(1, 4, 2, P("工程地点"));
  f.cell(1, 1, 4, P("检测编号"));
  f.cell(1, 2, 4, P("委托日期"));
  f.cell(1, 3, 4, P("检测日期"));
  f.cell(1, 4, 4, P("浇筑日期"));
  f.cell(1, 5, 2, P("检测项目"));
  f.cell(1, 6, 2, P("仪器设备"));
  f.cell(1, 7, 2, "单位：" + std::string(10, ' ') + "姓名：" + std::string(10, ' ') + "编号：");
  f.cell(1, 8, 2, P("执行标准"));
  f.cell(1, 10, 1, overview(P, "工程地点", "检测日期"));
  if (!f.status()) return;
  f.cell(1, 12, 1, conclusionSentence(P("工程名称"), figures));
}

void report4(Fill& f, const Project& project, const Parameters& P) {
  f.cell(1, 1, 2, P("工程名称"));
  f.cell(1, 2, 2, P("委托单位"));
  f.cell(1, 3, 2, P("建设单位"));
  f.cell(1, 4, 2, P("设计单位"));
  f.cell(1, 5, 2, P("监理单位"));
  f.cell(1, 6, 2, P("施工单位"));
  f.cell(1, 1, 4, P("报告编号"));
  f.cell(1, 2, 4, P("报告日期"));
  f.cell(1, 3, 4, P("检测日期"));
  f.cell(1, 4, 4, "抽检");
  f.cell(1, 5, 4, P("仪器编号"));
  f.cell(1, 6, 4, P("检测依据"));
  // The member table (table 2, below its two heading rows), one row per ticked member.
  int r = 3;
  for (const MemberRecord& member : project.members) {
    const MemberRecord* m = &member;
    if (m->selected() == 0) continue;
    const std::string design = std::to_string(m->designThickness());
    f.cell(2, r, 1, std::to_string(r - 2));
    f.cell(2, r, 2, gbkToUtf8(m->code()));
    f.cell(2, r, 3, "");
    f.cell(2, r, 4, design);
    f.cell(2, r, 5, design);
    f.cell(2, r, 6, design);
    f.cell(2, r, 7, std::to_string(m->readingCount()));
    f.cell(2, r, 8, "");
    // A member without readings has no rate: the cell stays empty.
    const MemberFigures figures = computeFigures(*m);
    f.cell(2, r, 9, figures.readingCount > 0 ? percentText(figures.passCount, figures.readingCount) : "");
    ++r;
  }
}

void regionalReport(Fill& f, const ReportFigures& c, const Parameters& P) {
  f.cell(1, 1, 2, P("委托单位"));
  f.cell(1, 2, 2, P("工程名称"));
  f.cell(1, 3, 2, P("建设单位"));
  f.cell(1, 4, 2, P("施工单位"));
  f.cell(1, 5, 2, P("监理单位"));
  f.cell(1, 6, 2, P("设计单位"));
  f.cell(1, 1, 4, P("委托日期"));
  f.cell(1, 2, 4, P("委托编号"));
  f.cell(1, 3, 4, P("试验编号"));
  f.cell(1, 4, 4, P("检测依据"));
  f.cell(1, 5, 4, P("检测日期"));
  f.cell(1, 6, 4, P("检测仪器"));
  f.cell(1, 8, 1,
         "    本次检测的" + P("工程名称") + "工程楼板厚度共计" + std::to_string(c.readingCount) +
             "点，其中合格点" + std::to_string(c.passCount) + "个，合格点率为" + c.rateText + "%");
  f.cell(1, 9, 2, "    依据" + P("检测依据") + "标准,工程的楼板厚度检测结果为" + c.verdict() + "。");
}

}  // namespace

std::string conclusionSentence(const std::string& name, const ReportFigures& c) {
  return "    本次检测的" + name + "工程楼板厚度共计" + std::to_string(c.readingCount) + "点，其中合格点" +
         std::to_string(c.passCount) + "个，合格点率为" + c.rateText + "%，" + name +
         "工程的楼板厚度检测结果为" + c.verdict() + "。";
}

Result<ReportOutput> writeWordReport(const Project& project, const ParameterValues& parameters,
                                     int reportFormat, WordSession& word, const OfficePaths& paths,
                                     const CalendarDate& today, const CancelFlag* cancel) {
  if (reportFormat < 0 || reportFormat >= kReportFormatCount) return Error{"没有这种报告格式。"};
  if (Status s = refuseWithoutTickedMembers(project); !s) return Error{s.message()};
  const ReportFigures figures = reportFigures(project, parameters.rule());
  auto templatePath = findTemplate(paths, reportFormatInfo(reportFormat).templateFile);
  if (!templatePath) return templatePath.error();
  word.setVisible(true);
  // Report 1 is a new document based on its template; the others open their template itself.
  Status made =
      reportFormat == 0 ? word.addDocument(templatePath.value()) : word.openDocument(templatePath.value());
  if (!made) return Error{made.message()};
  ReportOutput output;
  output.report = paths.reportPath();
  output.dataTable = paths.dataTablePath();
  if (Status s = word.saveAs(output.report); !s) return Error{s.message()};
  Fill fill(word);
  switch (reportFormat) {
    case 0:
      report1(fill, figures, parameters, today);
      break;
    case 1:
      report2(fill, figures, parameters);
      break;
    case 2:
      report3(fill, figures, parameters);
      break;
    case 3:
      report4(fill, project, parameters);
      break;
    default:
      regionalReport(fill, figures, parameters);
      break;
  }
  // In the formats whose signature line follows their table, the two share a page.
  if (reportFormat >= 2 && fill.status()) {
    if (Status s = word.keepTableWithNext(reportFormat == 3 ? 2 : 1); !s) return Error{s.message()};
  }
  if (!fill.status()) return Error{fill.status().message()};
  Status table = exportDataTable(project, word, paths);
  // The documents are written only now: until then the user may still cancel.
  if (isCancelled(cancel)) return Error{kCancelledMessage};
  std::size_t written = 0;
  if (Status s = word.finish(written); !s) {
    if (written == 0) return Error{s.message()};  // not even the report
    table = s;                                    // the report is there, its table is not
  }
  if (!table) {
    output.dataTable.clear();
    output.dataTableError = table.message();
    moveEarlierTableAside(paths.dataTablePath(), output);
  }
  return output;
}

// A data table left by an earlier report where this report's should be gets a name of its own
// ("‹名›-旧.docx", "‹名›-旧2.docx", …), so that the report on disk is never paired with it.
void moveEarlierTableAside(const std::filesystem::path& table, ReportOutput& output) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (!fs::is_regular_file(fs::symlink_status(table, ec))) return;
  for (int n = 1; n < 1000; ++n) {
    const fs::path aside =
        table.parent_path() / pathFromUtf8(displayPath(table.stem()) + "-旧" +
                                           (n > 1 ? std::to_string(n) : "") + displayPath(table.extension()));
    if (fs::exists(fs::symlink_status(aside, ec))) continue;
    fs::rename(table, aside, ec);
    if (!ec) output.earlierTableMovedTo = aside;
    break;
  }
  output.earlierTableLeft = output.earlierTableMovedTo.empty();
}

std::string dataTableProblemText(const ReportOutput& output, const std::filesystem::path& tablePath) {
  std::string text =
      "报告已写入“" + displayPath(output.report) + "”，但数据表格没有生成：" + output.dataTableError;
  if (!output.earlierTableMovedTo.empty()) {
    text += "\n原来的“" + displayPath(tablePath) + "”是以前的报告的数据表格，已改名为“" +
            displayPath(output.earlierTableMovedTo) + "”。";
  } else if (output.earlierTableLeft) {
    text += "\n注意：“" + displayPath(tablePath) + "”是以前的报告的数据表格，不属于这份报告（无法改名）。";
  }
  return text;
}

Result<ChosenFormat> reportFormatToWrite(const Project& project, const SettingsLocation& settings,
                                         std::optional<ChosenFormat> format) {
  if (project.memberCount() == 0) return Error{"文档中没有构件，没有生成报告。"};
  if (Status s = refuseWithoutTickedMembers(project); !s) return Error{s.message()};
  if (!format) format = chosenFormat(settings);
  if (!format) return Error{"尚未选择报告格式：请先在“工程参数设置”中选择报告格式并按“确定”。"};
  return *format;
}

Result<ReportOutput> generateWordReport(const Project& project, const SettingsLocation& settings,
                                        WordSession& word, const OfficePaths& paths,
                                        std::optional<int> format, const CalendarDate& today) {
  auto chosen = reportFormatToWrite(
      project, settings,
      format ? std::optional(ChosenFormat{*format, {}, std::string(reportFormatInfo(*format).comboText)})
             : std::nullopt);
  if (!chosen) return chosen.error();
  if (chosen.value().builtIn < 0) return Error{"选择的是用户报告格式“" + chosen.value().name + "”。"};
  return writeWordReport(project, effectiveParameters(project, settings), chosen.value().builtIn, word, paths,
                         today);
}

}  // namespace kro
