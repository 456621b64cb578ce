// The report formats, their parameter files and the format-choice file.
//
// Each format keeps default parameters in its own settings file, section "Data", one line per
// key in a fixed order; the format-choice file "reportini" holds the chosen format. The values a
// project's reports use are in report/project_parameters.h.
// Dates are stored as parameter date text: 2005年 3月 7日 (month and day right-aligned in two
// characters, padded with a blank), so the month is bytes 6-7 and the day bytes 10-11.
#pragma once

#include <array>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "model/date_text.h"
#include "settings/program_paths.h"
#include "settings/settings_file.h"

namespace kro {

inline constexpr int kReportFormatCount = 6;

enum class ParameterKind { Text, Grade, Date };

struct ParameterField {
  std::string_view key;  // also the label beside its field
  ParameterKind kind;
};

struct ReportFormatInfo {
  std::string_view comboText;                             // shown in the format list
  std::string_view parameterFile;                         // name passed to SettingsFile
  std::string_view templateFile;                          // the report template beside the program
  std::vector<ParameterField> fields;                     // in file order
  std::vector<std::string_view> leftColumn, rightColumn;  // the page's fields, top to bottom
};

// Format index 0..5 (ReportFormat); formatNumber is the same counted from 1.
const ReportFormatInfo& reportFormatInfo(int reportFormat);

inline constexpr std::string_view kFormatChoiceFile = "reportini";
inline constexpr std::string_view kFormatChoiceKey = "报告格式";
inline constexpr std::string_view kSettingsSection = "Data";
inline constexpr std::array<std::string_view, 8> kStrengthGrades = {"C15", "C20", "C25", "C30",
                                                                    "C35", "C40", "C45", "C50"};

// The format (0..5) chosen in the format-choice file; nothing when the file or the key is
// missing or holds no valid format.
std::optional<int> chosenReportFormat(const SettingsLocation& location);

// A date key's stored text read back: year from its first four bytes, month from bytes 6-7, day
// from bytes 10-11 (GBK). Texts too short or not a date give 1 January 1970.
CalendarDate parameterDate(std::string_view utf8Text);
// The parameter date text of a date (UTF-8).
std::string parameterDateText(const CalendarDate& date);

// The first strength grade that begins with the stored text, letter case ignored; nothing when
// none does.
std::optional<std::string_view> matchingGrade(std::string_view stored);

// Values of one format, by key (UTF-8). Date values are parameter date texts.
using ProjectInfo = std::map<std::string, std::string, std::less<>>;

// A page's values before any file is read: every text and date empty. A date nobody set stays
// empty when stored, so no date nobody chose reaches a report.
ProjectInfo emptyProjectInfo(int reportFormat);

// Rewrites the format's file: section "Data", then one line per key of the format in order,
// then the other keys of info; format 0 also stores formatIndex. The old file is replaced only by
// a complete new one.
Status saveFormatParameters(const SettingsLocation& location, int reportFormat, const ProjectInfo& info,
                            int formatIndex);
// The stored format index (-1 and out-of-range values included); nothing without file or key.
std::optional<int> loadChosenFormat(const SettingsLocation& location);
Status saveChosenFormat(const SettingsLocation& location, int formatIndex);

}  // namespace kro
