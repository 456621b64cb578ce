// Where the user's formats are kept, and which format is chosen.
#include "report/user_format.h"

#include <algorithm>

#include "model/figure_text.h"
#include "model/file_io.h"
#include "model/gbk_text.h"
#include "model/report_figures.h"
#include "model/statistics.h"
#include "model/utf8_text.h"
#include "report/report_parameters.h"
#include "settings/settings_file.h"

namespace kro {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kUserFormatFolderName = "报告格式";
constexpr std::string_view kUserFormatKey = "用户报告格式";

}  // namespace

fs::path userFormatFolder(const SettingsLocation& settings) {
  return settings.pathForWrite(kUserFormatFolderName);
}

std::vector<UserFormat> userFormats(const SettingsLocation& settings) {
  std::vector<UserFormat> formats;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(userFormatFolder(settings), ec)) {
    const fs::path& file = entry.path();
    const std::string name = displayPath(file.filename());
    if (file.extension() != ".docx" || name.starts_with(".") || name.starts_with("~$") ||
        !entry.is_regular_file(ec)) {
      continue;  // temporaries of word processors and of our own writes
    }
    // A name from another encoding is shown, and chosen, with its odd bytes as \xHH.
    formats.push_back({utf8Shown(displayPath(file.stem())), file});
  }
  std::sort(formats.begin(), formats.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
  return formats;
}

Result<ChosenFormat> formatByArgument(std::string_view argument, const SettingsLocation& settings) {
  if (argument.size() == 1 && argument[0] >= '1' && argument[0] < '1' + kReportFormatCount) {
    const int index = argument[0] - '1';
    return ChosenFormat{index, {}, std::string(reportFormatInfo(index).comboText)};
  }
  if (const fs::path file = pathFromUtf8(argument); file.extension() == ".docx") {
    std::error_code ec;
    if (!fs::is_regular_file(file, ec)) return Error{"没有报告格式文件“" + std::string(argument) + "”。"};
    return ChosenFormat{-1, file, displayPath(file.stem())};
  }
  for (const UserFormat& f : userFormats(settings)) {
    if (f.name == argument) return ChosenFormat{-1, f.file, f.name};
  }
  return Error{"没有报告格式“" + std::string(argument) + "”：格式为 1 到 " +
               std::to_string(kReportFormatCount) + "、“" + displayPath(userFormatFolder(settings)) +
               "”中的格式名称，或一个 .docx 文件。"};
}

std::optional<ChosenFormat> chosenFormat(const SettingsLocation& settings) {
  const std::optional<int> index = loadChosenFormat(settings);
  if (!index) return std::nullopt;
  if (*index >= 0 && *index < kReportFormatCount) {
    return ChosenFormat{*index, {}, std::string(reportFormatInfo(*index).comboText)};
  }
  if (*index != -1) return std::nullopt;
  SettingsFile file(settings, kFormatChoiceFile);
  std::string name;
  if (!file.openForRead() || !file.readString(kSettingsSection, kUserFormatKey, name)) return std::nullopt;
  for (const UserFormat& f : userFormats(settings)) {
    if (f.name == name) return ChosenFormat{-1, f.file, f.name};
  }
  return std::nullopt;
}

Status saveChosenUserFormat(const SettingsLocation& settings, std::string_view name) {
  SettingsFile file(settings, kFormatChoiceFile);
  if (Status opened = file.openForWrite(); !opened) return Error{"无法保存报告格式：" + opened.message()};
  file.writeSection(kSettingsSection);
  file.writeInt(kFormatChoiceKey, -1);
  if (!file.writeString(kUserFormatKey, name)) {
    file.discard();
    return Error{"报告格式的名称“" + std::string(name) + "”中有无法保存的字符。"};
  }
  if (Status written = file.close(); !written) return Error{"无法保存报告格式：" + written.message()};
  return Status::success();
}

}  // namespace kro
