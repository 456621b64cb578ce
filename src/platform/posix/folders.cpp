// Folders on Linux: /proc for the executable, the XDG base directories.
#include "platform/folders.h"

#include <cstdlib>

namespace kro::platform {
namespace fs = std::filesystem;

std::optional<fs::path> environmentPath(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') return std::nullopt;
  return fs::path(value);
}

std::optional<fs::path> executablePath() {
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return std::nullopt;
  return exe;
}

std::vector<fs::path> systemProgramFolders() { return {"/usr", "/opt"}; }

fs::path homeFolder() { return environmentPath("HOME").value_or(fs::path("/")); }

fs::path userConfigBase() {
  if (auto config = environmentPath("XDG_CONFIG_HOME")) return *config;
  return homeFolder() / ".config";
}

fs::path userDataBase() {
  if (auto data = environmentPath("XDG_DATA_HOME")) return *data;
  return homeFolder() / ".local" / "share";
}

}  // namespace kro::platform
