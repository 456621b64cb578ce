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
  test::writeBytes(dir / pathFromUtf8(name), *utf8ToGbk(utf8));
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
  EXPECT_EQ(d.rule().threshold, AcceptanceRule{900});
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
  // Every field is stored, the name no format knows, and the judging rule's definition.
  EXPECT_EQ(stored.value().values.size(),
            parameterDefinitions().size() + 1 + ruleFields(pointRule()).size() - 1);
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
  EXPECT_EQ(next.rule().threshold, AcceptanceRule{850});
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

namespace kro {
namespace {

// The rule a project is judged by: its own stored definition, "逐点判定" for a file that stores
// none whatever the office chose, the office's choice for new data; an office rule file that is
// no rule is named and skipped.
TEST_F(EditorTest, AProjectIsJudgedByItsOwnRule) {
  std::filesystem::create_directories(dir / pathFromUtf8("判定规则"));
  writeIni(
      dir, "判定规则/本院规则.ini",
      "[判定规则]\r\n名称=本院规则\r\n对象=构件平均值\r\n修约=整毫米\r\n允许偏差=-6/+8\r\n合格率=85\r\n");
  writeIni(dir, "判定规则/坏的.ini",
           "[判定规则]\r\n名称=坏的\r\n对象=随便\r\n允许偏差=构件自身\r\n合格率=90\r\n");
  const OfficeRules office = officeRules(location());
  ASSERT_EQ(office.rules.size(), 3u);
  EXPECT_EQ(office.rules[2].name, "本院规则");
  ASSERT_EQ(office.problems.size(), 1u);
  EXPECT_NE(office.problems[0].find("坏的.ini"), std::string::npos);
  EXPECT_NE(officeRuleNamed(location(), "无此规则").message().find("逐点判定、GB 50204-2015 附录F、本院规则"),
            std::string::npos);

  // The office chooses its own rule for new projects; 检测依据 follows a rule's citation.
  writeIni(dir, "report1ini.ini", "[Data]\r\n判定规则=GB 50204-2015 附录F\r\n");
  const ParameterValues defaults = defaultParameters(location());
  EXPECT_EQ(defaults.rule().rule.name, "GB 50204-2015 附录F");
  EXPECT_EQ(defaults.rule().threshold, AcceptanceRule{800});
  EXPECT_EQ(defaults("检测依据"), "《混凝土结构工程施工质量验收规范》（GB 50204-2015）");
  Project fresh;
  fresh.parameters = officeParameters(location());
  EXPECT_EQ(effectiveParameters(fresh, location()).rule().rule.name, "GB 50204-2015 附录F");
  // A file that stores parameters but no rule, or none at all, is judged "逐点判定".
  Project older;
  older.parameters.stored = true;
  older.parameters.values = {{*utf8ToGbk("合格率要求"), "85"}};
  EXPECT_EQ(effectiveParameters(older, location()).rule().rule.name, "逐点判定");
  EXPECT_EQ(effectiveParameters(older, location()).rule().threshold, AcceptanceRule{850});
  Project bare;
  adoptOfficeParameters(bare, location());
  EXPECT_EQ(effectiveParameters(bare, location()).rule().rule.name, "逐点判定");
  EXPECT_EQ(effectiveParameters(bare, location())("检测依据"), pointRule().citation);

  // A stored definition wins over the office's rule of the same name, and travels with the file.
  ParameterValues values = effectiveParameters(older, location());
  values.setRule(office.rules[2]);
  auto stored = toStoredParameters(values, older.parameters);
  ASSERT_TRUE(stored.ok());
  writeIni(dir, "判定规则/本院规则.ini",
           "[判定规则]\r\n名称=本院规则\r\n对象=测点\r\n允许偏差=构件自身\r\n合格率=95\r\n");
  Project ours;
  ours.parameters = stored.value();
  const RuleInForce rule = effectiveParameters(ours, location()).rule();
  EXPECT_TRUE(rule.rule.judgesMembers());
  EXPECT_EQ(rule.rule.fixedBand, std::make_pair(-6, 8));
  EXPECT_EQ(rule.threshold, AcceptanceRule{850});
  // A name without a definition that no built-in has is judged "逐点判定", and said so.
  ParameterValues unknown;
  unknown.set("判定规则", "无此规则");
  EXPECT_EQ(unknown.rule().rule.name, "逐点判定");
  EXPECT_NE(unknown.ruleProblem().find("没有定义"), std::string::npos);
}

}  // namespace
}  // namespace kro
