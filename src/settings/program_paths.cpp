// Program folder, temporary and configuration folders, and the settings-file location rules.
#include "settings/program_paths.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "model/file_io.h"
#include "platform/file_system.h"
#include "platform/folders.h"

namespace kro {
namespace fs = std::filesystem;

using platform::environmentPath;

fs::path ProgramPaths::programFolder() {
  if (auto exe = platform::executablePath()) return exe->parent_path();
  std::error_code ec;
  return fs::current_path(ec);
}

bool ProgramPaths::isSystemFolder(const fs::path& folder) {
  std::error_code ec;
  fs::path real = fs::weakly_canonical(folder, ec);
  if (ec) real = folder.lexically_normal();
  for (const fs::path& r : platform::systemProgramFolders()) {
    auto [end, _] = std::mismatch(r.begin(), r.end(), real.begin(), real.end());
    if (end == r.end()) return true;
  }
  return false;
}

fs::path ProgramPaths::tempFolder() {
  std::error_code ec;
  fs::path temp = fs::temp_directory_path(ec);
  return ec ? fs::path("/tmp") : temp;
}

fs::path ProgramPaths::homeFolder() { return platform::homeFolder(); }

fs::path ProgramPaths::userConfigFolder() { return platform::userConfigBase() / "kroanalyze"; }

fs::path ProgramPaths::userDataFolder() { return platform::userDataBase() / "kroanalyze"; }

fs::path ProgramPaths::defaultTransferPath() { return homeFolder() / "KRODat.KRO"; }

std::vector<fs::path> ProgramPaths::dataFolders(const fs::path& program) {
  // Programs live in bin; a helper in lib/kroanalyze, one level deeper.
  return {program.parent_path() / "share" / "kroanalyze",
          program.parent_path().parent_path() / "share" / "kroanalyze"};
}

std::vector<fs::path> ProgramPaths::templateFolders() {
  const fs::path program = programFolder();
  std::vector<fs::path> folders;
  if (auto own = environmentPath("KRO_TEMPLATE_DIR")) folders.push_back(*own);
  folders.push_back(program);
  for (const fs::path& data : dataFolders(program)) folders.push_back(data / "templates");
  return folders;
}

std::vector<fs::path> ProgramPaths::fontFolders() {
  const fs::path program = programFolder();
  std::vector<fs::path> folders;
  if (auto own = environmentPath("KRO_FONT_DIR")) folders.push_back(*own);
  folders.push_back(program / "fonts");
  for (const fs::path& data : dataFolders(program)) folders.push_back(data / "fonts");
  return folders;
}

fs::path ProgramPaths::userGuide() {
  const fs::path program = programFolder();
  std::error_code ec;
  for (const fs::path& data : dataFolders(program)) {
    if (fs::exists(data / "kroanalyze.html", ec)) return data / "kroanalyze.html";
  }
  return program / "kroanalyze.html";
}

SettingsLocation SettingsLocation::fromEnvironment() {
  if (auto folder = environmentPath("KRO_CONFIG_DIR")) return inFolder(*folder);
  return SettingsLocation(ProgramPaths::programFolder(), ProgramPaths::userConfigFolder());
}

SettingsLocation SettingsLocation::inFolder(fs::path folder) {
  SettingsLocation location;
  location.override_ = std::move(folder);
  return location;
}

SettingsLocation::SettingsLocation(fs::path programFolder, fs::path userFolder)
    : programFolder_(std::move(programFolder)), userFolder_(std::move(userFolder)) {}

fs::path SettingsLocation::pathForRead(std::string_view fileName) const {
  if (override_) return *override_ / pathFromUtf8(fileName);
  std::error_code ec;
  fs::path user = userFolder_ / pathFromUtf8(fileName);
  if (fs::exists(user, ec)) return user;
  return programFolder_ / pathFromUtf8(fileName);
}

fs::path SettingsLocation::pathForWrite(std::string_view fileName) const {
  if (override_) return *override_ / pathFromUtf8(fileName);
  std::error_code ec;
  fs::path user = userFolder_ / pathFromUtf8(fileName);
  // An installed program never writes beside itself, even run by root, who may write there; a
  // portable copy does, while it is where it may.
  if (!fs::exists(user, ec) && fs::exists(programFolder_ / pathFromUtf8(kPortableMarker), ec) &&
      !ProgramPaths::isSystemFolder(programFolder_) && platform::folderWritable(programFolder_)) {
    return programFolder_ / pathFromUtf8(fileName);
  }
  return user;
}

}  // namespace kro
