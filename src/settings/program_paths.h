// Where the program finds its folder, its templates, the temporary folder and its settings files.
#pragma once

#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

namespace kro {

class ProgramPaths {
 public:
  // The folder of the running executable, without a trailing separator.
  static std::filesystem::path programFolder();
  // True for folders under /usr or /opt, where installed programs live and nothing is written.
  static bool isSystemFolder(const std::filesystem::path& folder);
  static std::filesystem::path tempFolder();
  static std::filesystem::path homeFolder();
  // $XDG_CONFIG_HOME/kroanalyze, or ~/.config/kroanalyze (Windows: %APPDATA%\kroanalyze).
  static std::filesystem::path userConfigFolder();
  // $XDG_DATA_HOME/kroanalyze, or ~/.local/share/kroanalyze (Windows: %LOCALAPPDATA%\kroanalyze):
  // the user's own data, never beside the program.
  static std::filesystem::path userDataFolder();
  // The transfer's default destination: the home folder + "/KRODat.KRO".
  static std::filesystem::path defaultTransferPath();
  // Folders searched for report templates, in order: KRO_TEMPLATE_DIR when set, the program
  // folder, then the installed data folders (share/kroanalyze/templates).
  static std::vector<std::filesystem::path> templateFolders();
  // Folders searched for the fonts of the printed report: KRO_FONT_DIR when set, "fonts" in
  // the program folder, then the installed data folder (share/kroanalyze/fonts).
  static std::vector<std::filesystem::path> fontFolders();
  // The installed data folders of a program folder: share/kroanalyze beside its bin folder
  // (a helper in lib/kroanalyze looks one level higher).
  static std::vector<std::filesystem::path> dataFolders(const std::filesystem::path& programFolder);
  // The user guide: installed with the data, else beside the program (a build).
  static std::filesystem::path userGuide();
};

// Decides where each settings file is read from and written to.
//
// With an override folder (--config-dir, KRO_CONFIG_DIR) every file lives there. Otherwise a
// copy in the user's configuration folder, when present, is the one read and written; without
// one, a file the program folder holds is read from there, and files are written to the user's
// configuration folder, wherever the program is installed. Only a portable copy (the marker
// file kPortableMarker beside the program, in a writable folder that is no system folder: a
// copy on a USB stick) keeps its settings in its own folder.
inline constexpr std::string_view kPortableMarker = "kroanalyze.portable";
class SettingsLocation {
 public:
  // Reads KRO_CONFIG_DIR; without it, the program folder and the user's configuration folder.
  static SettingsLocation fromEnvironment();
  static SettingsLocation inFolder(std::filesystem::path folder);
  SettingsLocation(std::filesystem::path programFolder, std::filesystem::path userFolder);

  std::filesystem::path pathForRead(std::string_view fileName) const;
  std::filesystem::path pathForWrite(std::string_view fileName) const;

 private:
  SettingsLocation() = default;

  std::optional<std::filesystem::path> override_;
  std::filesystem::path programFolder_;
  std::filesystem::path userFolder_;
};

}  // namespace kro
