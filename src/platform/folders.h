// Where the system keeps programs, the user's files and settings.
#pragma once

#include <filesystem>
#include <optional>
#include <vector>

namespace kro::platform {

// An environment variable as a path (on Windows the wide value, never through the code page);
// nothing when unset or empty.
std::optional<std::filesystem::path> environmentPath(const char* name);
// The running executable, or nothing when the system does not say.
std::optional<std::filesystem::path> executablePath();
// Where installed programs live and nothing is written: /usr and /opt, or Program Files.
std::vector<std::filesystem::path> systemProgramFolders();
std::filesystem::path homeFolder();
// The base of per-user settings ($XDG_CONFIG_HOME or ~/.config; %APPDATA%) and of per-user data
// ($XDG_DATA_HOME or ~/.local/share; %LOCALAPPDATA%), without the program's own folder.
std::filesystem::path userConfigBase();
std::filesystem::path userDataBase();

}  // namespace kro::platform
