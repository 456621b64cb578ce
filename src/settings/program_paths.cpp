// Program folder, temporary and configuration folders, and the settings-file location rules.
#include "settings/program_paths.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>

namespace kro {
namespace fs = std::filesystem;

namespace {

std::optional<fs::path> environmentPath(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') return std::nullopt;
  return fs::path(value);
}

}  // namespace

fs::path ProgramPaths::programFolder() {
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return fs::current_path(ec);
  return exe.parent_path();
}

bool ProgramPaths::isSystemFolder(const fs::path& folder) {
  std::error_code ec;
  fs::path real = fs::weakly_canonical(folder, ec);
  if (ec) real = folder.lexically_normal();
  for (const char* root : {"/usr", "/opt"}) {
    const fs::path r(root);
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

fs::path ProgramPaths::homeFolder() {
  if (auto home = environmentPath("HOME")) return *home;
  return fs::path("/");
}

fs::path ProgramPaths::userConfigFolder() {
  if (auto config = environmentPath("XDG_CONFIG_HOME")) return *config / "kroanalyze";
  return homeFolder() / ".config" / "kroanalyze";
}

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
  if (override_) return *override_ / fileName;
  std::error_code ec;
  fs::path user = userFolder_ / fileName;
  if (fs::exists(user, ec)) return user;
  return programFolder_ / fileName;
}

fs::path SettingsLocation::pathForWrite(std::string_view fileName) const {
  if (override_) return *override_ / fileName;
  std::error_code ec;
  fs::path user = userFolder_ / fileName;
  // An installed program never writes beside itself, even run by root, who may write there.
  if (!fs::exists(user, ec) && !ProgramPaths::isSystemFolder(programFolder_) &&
      ::access(programFolder_.c_str(), W_OK) == 0) {
    return programFolder_ / fileName;
  }
  return user;
}

}  // namespace kro
