// Parameter files and the parameters dialog's rules.
#include <gtest/gtest.h>

#include "model/gbk_text.h"
#include "report/report_parameters.h"
#include "support/temp_dir.h"

namespace kro {
namespace {

class EditorTest : public ::testing::Test {
 protected:
  SettingsLocation location() const { return SettingsLocation::inFolder(dir.path()); }
  test::TempDir dir;
};

TEST_F(EditorTest, ParameterDatesRoundTrip) {
  EXPECT_EQ(parameterDateText({2005, 3, 7}), "2005年 3月 7日");
  EXPECT_EQ(parameterDateText({2005, 12, 25}), "2005年12月25日");
  EXPECT_EQ(*utf8ToGbk(parameterDateText({2005, 3, 7})), std::string("2005\xC4\xEA 3\xD4\xC2 7\xC8\xD5"));
  EXPECT_EQ(parameterDate("2005年 3月 7日"), (CalendarDate{2005, 3, 7}));
  EXPECT_EQ(parameterDate("2005年12月25日"), (CalendarDate{2005, 12, 25}));
  EXPECT_EQ(parameterDate("2005"), CalendarDate{});
  EXPECT_EQ(parameterDate("nonsense text!"), CalendarDate{});
}

TEST_F(EditorTest, GradesMatchByPrefixIgnoringCase) {
  EXPECT_EQ(matchingGrade("C3"), "C30");
  EXPECT_EQ(matchingGrade("c45"), "C45");
  EXPECT_EQ(matchingGrade("C55"), std::nullopt);
  EXPECT_EQ(matchingGrade(""), std::nullopt);
}

TEST_F(EditorTest, FirstUseIsEmpty) {
  ReportParametersEditor editor(location());
  editor.open();
  EXPECT_EQ(editor.formatIndex(), -1);
  EXPECT_EQ(editor.page(0)["工程名称"], "");
  EXPECT_EQ(editor.page(0)["报告日期"], "");  // never set: stored empty, not as 1970
  // OK with nothing selected writes only the format choice, as -1.
  ASSERT_TRUE(editor.accept().ok());
  EXPECT_FALSE(std::filesystem::exists(dir / "report1ini.ini"));
  EXPECT_EQ(loadChosenFormat(location()), -1);
  EXPECT_EQ(chosenReportFormat(location()), std::nullopt);
}

TEST_F(EditorTest, OnlyTheSelectedFormatIsSavedAndFormatsZeroAndOneReload) {
  ReportParametersEditor editor(location());
  editor.open();
  editor.select(2);
  editor.page(2)["工程名称"] = "三号";
  editor.page(0)["工程名称"] = "零号";
  editor.select(0);  // reloads format 0 from its (missing) file: the edit is gone
  EXPECT_EQ(editor.page(0)["工程名称"], "");
  editor.select(2);  // format 2 keeps its edits
  EXPECT_EQ(editor.page(2)["工程名称"], "三号");
  editor.page(4)["工程名称"] = "四号";
  ASSERT_TRUE(editor.accept().ok());
  EXPECT_EQ(ReportParameterValues(location(), 3)("工程名称"), "三号");
  EXPECT_FALSE(std::filesystem::exists(dir / "reportGansuini.ini"));
  EXPECT_EQ(chosenReportFormat(location()), 2);
}

TEST_F(EditorTest, FormatZeroRemembersItselfInItsOwnFile) {
  ReportParametersEditor editor(location());
  editor.open();
  editor.select(0);
  editor.page(0)["强度等级"] = "C55";  // a grade no item begins with is kept
  editor.page(0)["施工日期"] = parameterDateText({2005, 3, 7});
  ASSERT_TRUE(editor.accept().ok());
  EXPECT_EQ(ReportParameterValues(location(), 1)("报告格式"), "0");
  EXPECT_EQ(ReportParameterValues(location(), 1)("强度等级"), "C55");
  EXPECT_EQ(ReportParameterValues(location(), 1)("施工日期"), "2005年 3月 7日");
  std::filesystem::remove(dir / "reportini.ini");
  ReportParametersEditor again(location());
  again.open();
  EXPECT_EQ(again.formatIndex(), 0);
  EXPECT_EQ(chosenReportFormat(location()), std::nullopt);
}

TEST_F(EditorTest, KeysAreWrittenInTheirOrder) {
  ProjectInfo info = emptyProjectInfo(5);
  info["检测日期"] = parameterDateText({2026, 1, 7});
  ASSERT_TRUE(saveFormatParameters(location(), 5, info, 5).ok());
  const std::string text = gbkToUtf8(test::readBytes(dir / "reportJilinini.ini"));
  EXPECT_EQ(text.rfind("[Data]\r\n工程名称=\r\n委托单位=\r\n试验编号=", 0), 0u);
  EXPECT_NE(text.find("检测日期=2026年 1月 7日\r\n"), std::string::npos);
  EXPECT_EQ(text.find("报告格式"), std::string::npos);
}

TEST_F(EditorTest, AFailedSaveIsReported) {
  SettingsLocation nowhere = SettingsLocation::inFolder(dir / "file.txt" / "sub");
  test::writeBytes(dir / "file.txt", "x");
  ReportParametersEditor editor(nowhere);
  editor.open();
  editor.select(1);
  Status saved = editor.accept();
  EXPECT_FALSE(saved.ok());
  EXPECT_FALSE(saved.message().empty());
}

}  // namespace
}  // namespace kro
