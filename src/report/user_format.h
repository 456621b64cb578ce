// An office's own report format: a .docx made in a word processor whose text holds named
// fields, {{工程名称}} (report/report_values.h). This part knows where the user's formats live
// and which format is chosen.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/date_text.h"
#include "model/project.h"
#include "report/project_parameters.h"
#include "settings/program_paths.h"

namespace kro {

// A user format: its name (the file's name without .docx) and file.
struct UserFormat {
  std::string name;
  std::filesystem::path file;
};
// The folder of the user's formats: "报告格式" in the configuration folder in use.
std::filesystem::path userFormatFolder(const SettingsLocation& settings);
// The user's formats, by name.
std::vector<UserFormat> userFormats(const SettingsLocation& settings);

// The format a report uses: one of the six (0..5), or a user format's file.
struct ChosenFormat {
  int builtIn = -1;
  std::filesystem::path userFile;  // when builtIn is -1
  std::string name;                // the user format's name, or the built-in's list text
};
// A --format argument: 1..6, a user format's name, or the path of a .docx; nothing with why.
Result<ChosenFormat> formatByArgument(std::string_view argument, const SettingsLocation& settings);
// The format chosen in the parameters dialog (reportini: 报告格式, and 用户报告格式 when it is -1).
std::optional<ChosenFormat> chosenFormat(const SettingsLocation& settings);
// Stores a user format as the chosen one ("报告格式=-1", "用户报告格式=NAME").
Status saveChosenUserFormat(const SettingsLocation& settings, std::string_view name);

}  // namespace kro
