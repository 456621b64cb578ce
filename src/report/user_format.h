// An office's own report format: a .docx made in a word processor whose text holds named
// fields, {{工程名称}}, filled with the project's parameters, figures and members. This part
// knows the fields, their values and where the user's formats live; the filling of the
// document itself is the office layer's (office/field_template.h).
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

// Where a field may stand: anywhere, inside a member part, or in a reading row of one.
enum class FieldScope { Project, Member, Reading };

// The markers of the repeated parts.
inline constexpr std::string_view kMemberStart = "#构件";
inline constexpr std::string_view kMemberEnd = "/构件";
inline constexpr std::string_view kReadingRow = "#测点";
// A parameter of the format's own, declared by using it: {{参数:监理编号}}.
inline constexpr std::string_view kDeclaredParameterPrefix = "参数:";
// Readings in one reading row.
inline constexpr int kReadingsPerRow = 10;

// The scope of a field's name (markers excluded); nothing for a name no format knows.
std::optional<FieldScope> userFieldScope(std::string_view name);
// Every name of a field of that scope, for the starting template and `kro formats`.
std::vector<std::string> userFieldNames(FieldScope scope);

struct MemberFieldValues {
  std::map<std::string, std::string, std::less<>> fields;
  std::vector<std::pair<std::string, bool>> readings;  // text, and whether it passes
};

// Every value a user format can show, for the ticked members.
struct UserReportValues {
  std::map<std::string, std::string, std::less<>> project;  // parameters and figures
  std::vector<MemberFieldValues> members;
  // The value of a project field, declared parameters included; empty when there is none.
  std::string projectField(std::string_view name) const;
};
UserReportValues userReportValues(const Project& project, const ParameterValues& parameters,
                                  const CalendarDate& today);

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
