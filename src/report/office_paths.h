// Where report templates are found and where reports, data tables and workbooks are written.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "model/date_text.h"

namespace kro {

inline constexpr std::string_view kReportFileName = "楼板仪报告文档.docx";
inline constexpr std::string_view kDataTableFileName = "数据表格.docx";
inline constexpr std::string_view kDataTableTemplate = "表格.docx";
inline constexpr std::string_view kWorkbookFileName = "楼板仪数据.xlsx";

struct OfficePaths {
  std::vector<std::filesystem::path> templateFolders;  // searched in order
  std::filesystem::path outputFolder;
  // The report's file when the user chose one; empty: the fixed name in the output folder.
  std::filesystem::path reportFile;

  // The program folder, then the installed data folder; output to the temporary folder.
  static OfficePaths standard();
  std::filesystem::path reportPath() const;
  // Beside a chosen report as "‹its name›-数据表格.docx"; otherwise the fixed name in the
  // output folder.
  std::filesystem::path dataTablePath() const;
  // The files a report writes: the report and the data table.
  std::vector<std::filesystem::path> reportOutputs() const { return {reportPath(), dataTablePath()}; }
};

// A file name proposed for a document of a project: "‹project›-‹what›-yyyy-mm-dd‹extension›"
// ("‹what›-…" without a project name), without the characters a file name cannot hold.
std::string proposedDocumentName(std::string_view projectName, std::string_view what,
                                 const CalendarDate& date, std::string_view extension);

// The template's path in the first folder that holds it; an error naming the file otherwise.
Result<std::filesystem::path> findTemplate(const OfficePaths& paths, std::string_view name);

}  // namespace kro
