// Folders on Windows: the module's file name, the user profile and application data.
#include "platform/folders.h"

// clang-format off
#include <windows.h>
// clang-format on

#include <cstdlib>
#include <cstring>
#include <string>

namespace kro::platform {
namespace fs = std::filesystem;

std::optional<fs::path> environmentPath(const char* name) {
  const std::wstring wide(name, name + std::strlen(name));
  const wchar_t* value = _wgetenv(wide.c_str());
  if (value == nullptr || *value == L'\0') return std::nullopt;
  return fs::path(value);
}

std::optional<fs::path> executablePath() {
  std::wstring name(32768, L'\0');
  const DWORD length = GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
  if (length == 0 || length >= name.size()) return std::nullopt;
  name.resize(length);
  return fs::path(name);
}

std::vector<fs::path> systemProgramFolders() {
  std::vector<fs::path> roots;
  for (const char* name : {"ProgramFiles", "ProgramW6432", "ProgramFiles(x86)"}) {
    if (auto root = environmentPath(name)) roots.push_back(*root);
  }
  return roots;
}

fs::path homeFolder() {
  if (auto home = environmentPath("USERPROFILE")) return *home;
  return environmentPath("HOME").value_or(fs::path("/"));
}

fs::path userConfigBase() {
  if (auto appData = environmentPath("APPDATA")) return *appData;
  return homeFolder() / "AppData" / "Roaming";
}

fs::path userDataBase() {
  if (auto local = environmentPath("LOCALAPPDATA")) return *local;
  return homeFolder() / "AppData" / "Local";
}

}  // namespace kro::platform
