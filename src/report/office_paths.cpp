// Template lookup and output folder.
#include "report/office_paths.h"

#include <cstdio>

#include "model/file_io.h"
#include "settings/program_paths.h"

namespace kro {
namespace fs = std::filesystem;

OfficePaths OfficePaths::standard() {
  return {ProgramPaths::templateFolders(), ProgramPaths::tempFolder(), {}};
}

fs::path OfficePaths::reportPath() const {
  return reportFile.empty() ? outputFolder / pathFromUtf8(kReportFileName) : reportFile;
}

fs::path OfficePaths::dataTablePath() const {
  if (reportFile.empty()) return outputFolder / pathFromUtf8(kDataTableFileName);
  return reportFile.parent_path() /
         pathFromUtf8(displayPath(reportFile.stem()) + "-" + std::string(kDataTableFileName));
}

std::string proposedDocumentName(std::string_view projectName, std::string_view what,
                                 const CalendarDate& date, std::string_view extension) {
  std::string name;
  for (char c : projectName) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || std::string_view("/\\:*?\"<>|").find(c) != std::string_view::npos) continue;
    name += c;
  }
  while (!name.empty() && (name.front() == ' ' || name.front() == '.')) name.erase(0, 1);
  while (!name.empty() && name.back() == ' ') name.pop_back();
  char day[16];
  std::snprintf(day, sizeof day, "%04d-%02d-%02d", date.year, date.month, date.day);
  return (name.empty() ? "" : name + "-") + std::string(what) + "-" + day + std::string(extension);
}

Result<fs::path> findTemplate(const OfficePaths& paths, std::string_view name) {
  std::error_code ec;
  for (const fs::path& folder : paths.templateFolders) {
    fs::path candidate = folder / pathFromUtf8(name);
    if (fs::is_regular_file(candidate, ec)) return candidate;
  }
  const fs::path expected =
      paths.templateFolders.empty() ? pathFromUtf8(name) : paths.templateFolders.front() / pathFromUtf8(name);
  return Error{"找不到报告模板“" + displayPath(expected) + "”。"};
}

}  // namespace kro
