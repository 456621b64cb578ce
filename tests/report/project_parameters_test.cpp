// Parameter files, the project's parameters over their defaults, and what the dialog keeps.
#include "report/project_parameters.h"

#include <gtest/gtest.h>

#include "model/gbk_text.h"
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

TEST_F(EditorTest, KeysAreWrittenInTheirOrder) {
  ProjectInfo info = emptyProjectInfo(5);
  info["检测日期"] = parameterDateText({2026, 1, 7});
  ASSERT_TRUE(saveFormatParameters(location(), 5, info, 5).ok());
  const std::string text = gbkToUtf8(test::readBytes(dir / "reportJilinini.ini"));
  EXPECT_EQ(text.rfind("[Data]\r\n工程名称=\r\n委托单位=\r\n试验编号=", 0), 0u);
  EXPECT_NE(text.find("检测日期=2026年 1月 7日\r\n"), std::string::npos);
  EXPECT_EQ(text.find("报告格式"), std::string::npos);
}

void writeIni(const test::TempDir& dir, const std::string& name, const std::string& utf8) {
  test::writeBytes(dir / name, *utf8ToGbk(utf8));
}

TEST_F(EditorTest, DefaultsComeFromTheChosenFormatThenTheFirstFileThenBuiltIns) {
  writeIni(dir, "report1ini.ini", "[Data]\r\n工程名称=一号\r\n委托单位=甲\r\n施工日期=2005年 3月 7日\r\n");
  writeIni(dir, "report3ini.ini", "[Data]\r\n工程名称= 三号 \r\n委托单位=\r\n执行标准=GB50204-2015\r\n");
  ParameterValues d = defaultParameters(location());
  EXPECT_EQ(d("工程名称"), "一号");            // no format chosen: the first file that has it
  EXPECT_EQ(d("施工日期"), "2005年 3月 7日");  // dates in their stored form
  // 执行标准 is 检测依据 by another name.
  EXPECT_EQ(d("检测依据"), "GB50204-2015");
  EXPECT_EQ(d("执行标准"), "GB50204-2015");
  // Nothing stored anywhere: the text the reports printed before the field existed.
  EXPECT_EQ(d("检测内容"), "楼板厚度检测");
  EXPECT_EQ(d("检测仪器"), "楼板厚度测试仪");
  EXPECT_EQ(d.rule(), AcceptanceRule{900});
  EXPECT_EQ(d("结构类别"), "");
  ASSERT_TRUE(saveChosenFormat(location(), 2).ok());
  d = defaultParameters(location());
  EXPECT_EQ(d("工程名称"), "三号");
  EXPECT_EQ(d("委托单位"), "甲");  // empty in the chosen file: the next file's
}

TEST_F(EditorTest, TheProjectsValuesWinAndKeepTheirBytes) {
  writeIni(dir, "report1ini.ini", "[Data]\r\n工程名称=旧工程\r\n检测单位=检测中心\r\n");
  Project project;
  project.parameters.stored = true;
  // A value whose bytes do not decode, and a name no format knows.
  project.parameters.values = {{*utf8ToGbk("工程名称"), *utf8ToGbk("新工程")},
                               {*utf8ToGbk("委托单位"), std::string("\x81\x20", 2)},
                               {*utf8ToGbk("监测频次"), *utf8ToGbk("每周")},
                               {*utf8ToGbk("检测依据"), ""}};
  ParameterValues v = effectiveParameters(project, location());
  EXPECT_EQ(v("工程名称"), "新工程");
  EXPECT_EQ(v("检测单位"), "检测中心");  // not stored in the project: the default
  EXPECT_EQ(v("检测依据"), "");          // stored empty stays empty
  EXPECT_EQ(v("监测频次"), "每周");
  v.set("工程名称", "改过的");
  auto stored = toStoredParameters(v, project.parameters);
  ASSERT_TRUE(stored.ok());
  EXPECT_EQ(*stored.value().find(*utf8ToGbk("委托单位")), std::string("\x81\x20", 2));
  EXPECT_EQ(*stored.value().find(*utf8ToGbk("工程名称")), *utf8ToGbk("改过的"));
  EXPECT_EQ(*stored.value().find(*utf8ToGbk("监测频次")), *utf8ToGbk("每周"));
  // Known fields come first, in their order; every field is stored.
  EXPECT_EQ(stored.value().values.front().first, *utf8ToGbk("工程名称"));
  EXPECT_EQ(stored.value().values.size(), parameterDefinitions().size() + 1);
  v.set("工程名称", "😀");
  auto refused = toStoredParameters(v, project.parameters);
  ASSERT_FALSE(refused.ok());
  EXPECT_NE(refused.message().find("工程名称"), std::string::npos);
}

TEST_F(EditorTest, OnlyTheOfficeFieldsBecomeTheNextProjectsDefaults) {
  writeIni(dir, "report2ini.ini", "[Data]\r\n工程名称=上一个工程\r\n检测人员=张三\r\n");
  ParameterValues v = defaultParameters(location());
  v.set("工程名称", "本工程");
  v.set("检测单位", "市检测中心");
  v.set("仪器设备", "LB-1 型测厚仪");  // 检测仪器 by format 3's name
  v.set("合格率要求", "85");
  ASSERT_TRUE(saveDialogDefaults(location(), v, 3).ok());
  const ParameterValues next = defaultParameters(location());
  EXPECT_EQ(next("工程名称"), "");  // never the last project's
  EXPECT_EQ(next("检测单位"), "市检测中心");
  EXPECT_EQ(next("检测仪器"), "LB-1 型测厚仪");
  EXPECT_EQ(next("检测人员"), "张三");
  EXPECT_EQ(next.rule(), AcceptanceRule{850});
  EXPECT_EQ(chosenReportFormat(location()), 3);
  // Each file keeps its format's keys in order, the synonym under the format's own name.
  const std::string third = gbkToUtf8(test::readBytes(dir / "report3ini.ini"));
  EXPECT_NE(third.find("仪器设备=LB-1 型测厚仪\r\n"), std::string::npos);
  EXPECT_EQ(third.rfind("[Data]\r\n委托编号=\r\n检测编号=\r\n", 0), 0u);
  EXPECT_NE(gbkToUtf8(test::readBytes(dir / "report1ini.ini")).find("报告格式=3\r\n"), std::string::npos);

  SettingsLocation nowhere = SettingsLocation::inFolder(dir / "file.txt" / "sub");
  test::writeBytes(dir / "file.txt", "x");
  Status saved = saveDialogDefaults(nowhere, v, 1);
  EXPECT_FALSE(saved.ok());
  EXPECT_FALSE(saved.message().empty());
}

TEST_F(EditorTest, ReportOnesDateForm) {
  EXPECT_EQ(reportOneDate("2026年12月 8日"), "2026--12--8");
  EXPECT_EQ(reportOneDate(""), "");
  EXPECT_EQ(reportOneDate("不是日期"), "");
}

}  // namespace
}  // namespace kro
