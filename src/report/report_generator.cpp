// The reports of every format and the data table, from their templates.
#include "report/report_generator.h"

#include "model/file_io.h"
#include "model/report_figures.h"
#include "model/statistics.h"

namespace kro {

std::int64_t dataTableRowCount(const Project& project) {
  std::int64_t rows = 0;
  for (int index : tickedMembers(project)) rows += 1 + readingRows(*project.memberAt(index));
  return rows;
}

Result<ReportOutput> writeReport(const Project& project, const ParameterValues& parameters,
                                 const ChosenFormat& format, TemplateFiller& filler, const OfficePaths& paths,
                                 const CalendarDate& today, const CancelFlag* cancel) {
  if (Status s = refuseWithoutTickedMembers(project); !s) return Error{s.message()};
  if (format.builtIn >= kReportFormatCount) return Error{"没有这种报告格式。"};
  std::filesystem::path reportTemplate = format.userFile;
  if (format.builtIn >= 0) {
    auto found = findTemplate(paths, reportFormatInfo(format.builtIn).templateFile);
    if (!found) return found.error();
    reportTemplate = found.value();
  }
  if (isCancelled(cancel)) return Error{kCancelledMessage};
  const ReportValues values = reportValues(project, parameters, today);
  ReportOutput output;
  output.report = paths.reportPath();
  output.dataTable = paths.dataTablePath();
  // Both files are made under temporary names and replace their old versions only when both are
  // complete, so that a failure or a kill in the middle leaves the earlier pair as it was.
  struct Temporary {
    std::filesystem::path path;
    ~Temporary() {
      if (!path.empty()) removeQuietly(path);
    }
  };
  auto reportTemp = createTemporaryBeside(output.report);
  if (!reportTemp) return reportTemp.error();
  Temporary report{reportTemp.value()};
  if (Status s = filler.fill(reportTemplate, values, report.path, cancel); !s) return Error{s.message()};
  // The data table follows every format; a failure there leaves the report written.
  Temporary table;
  Status tableWritten = Status::success();
  if (const std::int64_t rows = dataTableRowCount(project); rows > kMaxDataTableRows) {
    tableWritten = Error{"数据表格最多 " + std::to_string(kMaxDataTableRows) +
                         " 行（文字处理软件一个表格能容纳的行数），勾选的构件需要 " + std::to_string(rows) +
                         " 行；请分几次勾选构件生成"};
  } else if (auto tableTemplate = findTemplate(paths, kDataTableTemplate); !tableTemplate) {
    tableWritten = tableTemplate.error();
  } else if (auto tableTemp = createTemporaryBeside(output.dataTable); !tableTemp) {
    tableWritten = tableTemp.error();
  } else {
    table.path = tableTemp.value();
    tableWritten = filler.fill(tableTemplate.value(), values, table.path, cancel);
  }
  if (isCancelled(cancel)) return Error{kCancelledMessage};
  if (tableWritten) {
    Status replaced = replaceWithTemporary(table.path, output.dataTable);
    table.path.clear();
    if (!replaced) return Error{replaced.message() + "（报告和数据表格都没有改变）"};
  }
  Status replaced = replaceWithTemporary(report.path, output.report);
  report.path.clear();
  if (!replaced) {
    return Error{replaced.message() + (tableWritten ? "（数据表格“" + displayPath(output.dataTable) +
                                                          "”已是这次生成的，不属于原来的报告）"
                                                    : std::string())};
  }
  if (!tableWritten) {
    output.dataTable.clear();
    output.dataTableError = tableWritten.message();
    moveEarlierTableAside(paths.dataTablePath(), output);
  }
  return output;
}

FormatFields formatFields(const ChosenFormat& format, TemplateFiller& filler) {
  if (format.builtIn >= 0) return builtInFormatFields(format.builtIn);
  FormatFields fields{format.name, {}, {}};
  auto checked = filler.check(format.userFile);
  if (!checked) {
    fields.problems.push_back(checked.message());
    return fields;
  }
  fields.printed = checked.value().parameters;
  fields.printed.insert(fields.printed.end(), checked.value().declaredParameters.begin(),
                        checked.value().declaredParameters.end());
  fields.problems = std::move(checked.value().problems);
  return fields;
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

}  // namespace kro
