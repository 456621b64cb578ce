// Program folder, temporary and configuration folders, and the settings-file location rules.
#include "settings/program_paths.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "model/file_io.h"

namespace kro {
namespace fs = std::filesystem;

namespace {

#ifdef _WIN32
// The wide value: a narrow one would pass through the code page.
std::optional<fs::path> environmentPath(const char* name) {
  const std::wstring wide(name, name + std::strlen(name));
  const wchar_t* value = _wgetenv(wide.c_str());
  if (value == nullptr || *value == L'\0') return std::nullopt;
  return fs::path(value);
}

bool folderIsWritable(const fs::path& folder) { return ::_waccess(folder.c_str(), 2) == 0; }
#else
std::optional<fs::path> environmentPath(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') return std::nullopt;
  return fs::path(value);
}

bool folderIsWritable(const fs::path& folder) { return ::access(folder.c_str(), W_OK) == 0; }
#endif

}  // namespace

fs::path ProgramPaths::programFolder() {
  std::error_code ec;
#ifdef _WIN32
  std::wstring name(32768, L'\0');
  const DWORD length = GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
  if (length == 0 || length >= name.size()) return fs::current_path(ec);
  name.resize(length);
  const fs::path exe(name);
#else
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
#endif
  if (ec) return fs::current_path(ec);
  return exe.parent_path();
}

bool ProgramPaths::isSystemFolder(const fs::path& folder) {
  std::error_code ec;
  fs::path real = fs::weakly_canonical(folder, ec);
  if (ec) real = folder.lexically_normal();
#ifdef _WIN32
  std::vector<fs::path> roots;
  for (const char* name : {"ProgramFiles", "ProgramW6432", "ProgramFiles(x86)"}) {
    if (auto root = environmentPath(name)) roots.push_back(*root);
  }
#else
  const std::vector<fs::path> roots{"/usr", "/opt"};
#endif
  for (const fs::path& r : roots) {
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
#ifdef _WIN32
  if (auto home = environmentPath("USERPROFILE")) return *home;
#endif
  if (auto home = environmentPath("HOME")) return *home;
  return fs::path("/");
}

fs::path ProgramPaths::userConfigFolder() {
#ifdef _WIN32
  if (auto appData = environmentPath("APPDATA")) return *appData / "kroanalyze";
#endif
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
  // An installed program never writes beside itself, even run by root, who may write there.
  if (!fs::exists(user, ec) && !ProgramPaths::isSystemFolder(programFolder_) &&
      folderIsWritable(programFolder_)) {
    return programFolder_ / pathFromUtf8(fileName);
  }
  return user;
}

}  // namespace kro
