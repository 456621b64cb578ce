// An issued report's documents.
#include "render/issue_documents.h"

#include "model/date_text.h"
#include "model/file_io.h"
#include "render/report_printer.h"

namespace kro {

namespace fs = std::filesystem;

Result<std::vector<IssueDocuments::Written>> IssuedDocuments::write(const Project& project,
                                                                    const std::string& format,
                                                                    const IssueMarks& marks,
                                                                    const fs::path& folder,
                                                                    const std::string& base) {
  auto chosen = formatByArgument(format, settings_);
  if (!chosen) return chosen.error();
  ParameterValues values = effectiveParameters(project, settings_);
  marks.applyTo(values);
  // Hidden names of their own, given their final ones only once the number is committed.
  const std::string hidden = "." + base + ".issuing";
  OfficePaths paths = paths_;
  paths.outputFolder = folder;
  paths.reportFile = folder / pathFromUtf8(hidden + ".docx");
  std::vector<Written> written;
  auto removeAll = [&] {
    for (const Written& w : written) removeQuietly(w.file);
  };
  auto report = writeReport(project, values, chosen.value(), filler_, paths, today());
  if (!report) return report.error();
  written.push_back({report->report, base + ".docx"});
  if (!report->dataTableError.empty()) {
    removeAll();
    return Error{dataTableProblemText(report.value(), paths.dataTablePath())};
  }
  written.push_back({report->dataTable, base + "-数据表格.docx"});
  const fs::path pdf = folder / pathFromUtf8(hidden + ".pdf");
  PrintedPageSettings page = printedPageSettings(project, settings_);
  page.parameters = values;
  if (Status s = printReportToPdf(project, pdf, page); !s) {
    removeAll();
    return Error{"打印报告失败：" + s.message()};
  }
  written.push_back({pdf, base + ".pdf"});
  return written;
}

}  // namespace kro
