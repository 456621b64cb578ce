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

TEST(ReportParameters, EachFormatReadsItsOwnFile) {
  test::TempDir dir;
  const auto location = SettingsLocation::inFolder(dir.path());
  writeIni(dir, "report1ini.ini", "[Data]\r\n工程名称=一号\r\n报告日期=2005年 3月 7日\r\n");
  writeIni(dir, "reportJilinini.ini", "[Data]\r\n工程名称= 吉林 \r\n");
  EXPECT_EQ(ReportParameterValues(location, 1)("工程名称"), "一号");
  EXPECT_EQ(ReportParameterValues(location, 1)("报告日期"), "2005年 3月 7日");
  EXPECT_EQ(ReportParameterValues(location, 6)("工程名称"), "吉林");
  EXPECT_EQ(ReportParameterValues(location, 2)("工程名称"), "");  // no file
  EXPECT_EQ(ReportParameterValues(location, 1)("委托单位"), "");  // no key
  EXPECT_EQ(ReportParameterValues(location, 0)("工程名称"), "");
  EXPECT_EQ(ReportParameterValues(location, 7)("工程名称"), "");
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
