// Template lookup and output folder.
#include "report/office_paths.h"

#include "settings/program_paths.h"

namespace kro {
namespace fs = std::filesystem;

OfficePaths OfficePaths::standard() { return {ProgramPaths::templateFolders(), ProgramPaths::tempFolder()}; }

Result<fs::path> findTemplate(const OfficePaths& paths, std::string_view name) {
  std::error_code ec;
  for (const fs::path& folder : paths.templateFolders) {
    fs::path candidate = folder / name;
    if (fs::is_regular_file(candidate, ec)) return candidate;
  }
  const fs::path expected =
      paths.templateFolders.empty() ? fs::path(name) : paths.templateFolders.front() / name;
  return Error{"找不到报告模板“" + expected.string() + "”。"};
}

}  // namespace kro
