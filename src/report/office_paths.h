// Where report templates are found and where reports, data tables and workbooks are written.
#pragma once

#include <filesystem>
#include <string_view>
#include <vector>

#include "model/result.h"

namespace kro {

inline constexpr std::string_view kReportFileName = "楼板仪报告文档.docx";
inline constexpr std::string_view kDataTableFileName = "数据表格.docx";
inline constexpr std::string_view kDataTableTemplate = "表格.docx";
inline constexpr std::string_view kWorkbookFileName = "楼板仪数据.xlsx";

struct OfficePaths {
  std::vector<std::filesystem::path> templateFolders;  // searched in order
  std::filesystem::path outputFolder;

  // The program folder, then the installed data folder; output to the temporary folder.
  static OfficePaths standard();
  // The files a report writes into the output folder: the report and the data table.
  std::vector<std::filesystem::path> reportOutputs() const {
    return {outputFolder / kReportFileName, outputFolder / kDataTableFileName};
  }
};

// The template's path in the first folder that holds it; an error naming the file otherwise.
Result<std::filesystem::path> findTemplate(const OfficePaths& paths, std::string_view name);

}  // namespace kro
