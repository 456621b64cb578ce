// Report parameter lookups over the settings files.
#include "report/report_parameters.h"

#include <gtest/gtest.h>

#include "model/gbk_text.h"
#include "support/temp_dir.h"

namespace kro {
namespace {

void writeIni(const test::TempDir& dir, const std::string& name, const std::string& utf8) {
  test::writeBytes(dir / name, *utf8ToGbk(utf8));
}

TEST(ReportParameters, ChosenFormat) {
  test::TempDir dir;
  const auto location = SettingsLocation::inFolder(dir.path());
  EXPECT_EQ(chosenReportFormat(location), std::nullopt);
  writeIni(dir, "reportini.ini", "[Data]\r\n报告格式=4\r\n");
  EXPECT_EQ(chosenReportFormat(location), 4);
  writeIni(dir, "reportini.ini", "[Data]\r\n报告格式=-1\r\n");
  EXPECT_EQ(chosenReportFormat(location), std::nullopt);
  writeIni(dir, "reportini.ini", "[Data]\r\n报告格式=6\r\n");
  EXPECT_EQ(chosenReportFormat(location), std::nullopt);
  writeIni(dir, "reportini.ini", "[Data]\r\n其他=1\r\n");
  EXPECT_EQ(chosenReportFormat(location), std::nullopt);
}

TEST(ReportParameters, FormatTable) {
  EXPECT_EQ(reportFormatInfo(0).parameterFile, "report1ini");
  EXPECT_EQ(reportFormatInfo(4).comboText, "甘肃格式");
  EXPECT_EQ(reportFormatInfo(5).parameterFile, "reportJilinini");
}

}  // namespace
}  // namespace kro
