// Report format table and parameter lookups.
#include "report/report_parameters.h"

#include <array>

#include "settings/settings_file.h"

namespace kro {

namespace {

constexpr std::array<ReportFormatInfo, kReportFormatCount> kFormats = {{
    {"检测报告1", "report1ini"},
    {"检测报告2", "report2ini"},
    {"检测报告3", "report3ini"},
    {"检测报告4", "report4ini"},
    {"甘肃格式", "reportGansuini"},
    {"吉林报告", "reportJilinini"},
}};

}  // namespace

const ReportFormatInfo& reportFormatInfo(int reportFormat) {
  return kFormats.at(static_cast<std::size_t>(reportFormat));
}

std::string reportParameter(const SettingsLocation& location, std::string_view key, int formatNumber) {
  if (formatNumber < 1 || formatNumber > kReportFormatCount) return {};
  SettingsFile file(location, reportFormatInfo(formatNumber - 1).parameterFile);
  std::string value;
  if (!file.openForRead()) return {};
  if (!file.readString(kSettingsSection, key, value)) value.clear();
  file.close();
  return value;
}

std::optional<int> chosenReportFormat(const SettingsLocation& location) {
  SettingsFile file(location, kFormatChoiceFile);
  if (!file.openForRead()) return std::nullopt;
  int format = -1;
  const bool found = file.readInt(kSettingsSection, kFormatChoiceKey, format);
  file.close();
  if (!found || format < 0 || format >= kReportFormatCount) return std::nullopt;
  return format;
}

}  // namespace kro
