// The report formats, their parameter files, and the read-only lookups over those files.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "settings/program_paths.h"

namespace kro {

inline constexpr int kReportFormatCount = 6;

struct ReportFormatInfo {
  std::string_view comboText;      // shown in the format list
  std::string_view parameterFile;  // name passed to SettingsFile
};

// Format index 0..5 (ReportFormat); formatNumber is the same counted from 1.
const ReportFormatInfo& reportFormatInfo(int reportFormat);

inline constexpr std::string_view kFormatChoiceFile = "reportini";
inline constexpr std::string_view kFormatChoiceKey = "报告格式";
inline constexpr std::string_view kSettingsSection = "Data";

// The stored text of key in the parameter file of format formatNumber (1..6), trimmed; empty
// when the file, the key or the format does not exist. Reads the file afresh on every call.
std::string reportParameter(const SettingsLocation& location, std::string_view key, int formatNumber);

// The format (0..5) chosen in the format-choice file; nothing when the file or the key is
// missing or holds no valid format.
std::optional<int> chosenReportFormat(const SettingsLocation& location);

}  // namespace kro
