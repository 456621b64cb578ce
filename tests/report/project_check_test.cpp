// The check before handing a project over: member findings, and the parameters each report
// format prints, compared with what the report generator really writes.
#include "report/project_check.h"

#include <gtest/gtest.h>

#include "model/gbk_text.h"
#include "report/project_parameters.h"
#include "report/report_generator.h"
#include "support/recording_office.h"
#include "support/temp_dir.h"

namespace kro {
namespace {

MemberRecord member(const std::string& code, std::vector<std::int32_t> readings, std::int32_t design = 120,
                    std::int32_t minus = -5, std::int32_t plus = 8, std::int32_t selected = 1) {
  MemberData d;
  d.code = code;
  d.designThickness = design;
  d.minusDeviation = minus;
  d.plusDeviation = plus;
  d.selected = selected;
  for (std::int32_t t : readings) d.readings.push_back({0, t, 0});
  return MemberRecord(std::move(d));
}

std::vector<std::string> messages(const std::vector<Finding>& findings) {
  std::vector<std::string> out;
  for (const Finding& f : findings) out.push_back(f.message);
  return out;
}

class ProjectCheckTest : public ::testing::Test {
 protected:
  test::TempDir dir;
  SettingsLocation settings = SettingsLocation::inFolder(dir.path());
};

TEST_F(ProjectCheckTest, MemberFindingsNameTheMember) {
  Project project;
  MemberData named = member("A1", {120}).data();
  named.name = *utf8ToGbk("一层板");
  std::vector<std::int32_t> many(12, 0);
  project.members = {
      MemberRecord(named),           member("B2", {}),  member("C3", {120}, 120, 0, 0), member("D4", {5}, 0),
      member("A1", {0, 120, 10000}), member("E5", many)};
  const std::vector<Finding> f = checkProject(project, settings, 0).findings;
  const std::vector<std::string> expected = {
      "第 2 个构件 B2：没有测点。",
      "第 3 个构件 C3：允许偏差为 0/0，只有恰好等于设计厚度的测点合格。",
      "第 4 个构件 D4：设计厚度为 0。",
      "第 5 个构件 A1：测区编号与第 1 个构件相同。",
      "第 5 个构件 A1：测点 1（0）、3（10000） 的厚度不在 1–9999 mm 之内。",
      "第 6 个构件 E5：测点 1（0）、2（0）、3（0）、4（0）、5（0）、6（0）、7（0）、8（0）、9（0）、10（0） "
      "等 12 个 的厚度不在 "
      "1–9999 mm 之内。",
  };
  const std::vector<std::string> got = messages(f);
  ASSERT_GE(got.size(), expected.size());
  EXPECT_EQ(std::vector<std::string>(got.begin(), got.begin() + 6), expected);
  EXPECT_EQ(f[0].member, 1);
  EXPECT_EQ(f[3].kind, Finding::Kind::DuplicateCode);
  EXPECT_EQ(f[3].member, 4);
  // The first member is fine: nothing names it.
  for (const std::string& m : got) EXPECT_EQ(m.find("第 1 个构件 A1（一层板）："), std::string::npos);
}

// A band no reading can pass, limits no slab has, and deviations of the wrong sign.
TEST_F(ProjectCheckTest, BandsThatCannotJudge) {
  Project project;
  project.members = {member("A1", {120}, 120, 5, -3), member("A2", {120}, 9998, -5, 8),
                     member("A3", {120}, 120, 3, 8), member("A4", {120}, 120, -5, 8)};
  std::vector<Finding> f = checkProject(project, settings, 0).findings;
  std::vector<std::pair<Finding::Kind, int>> got;
  for (const Finding& x : f) got.emplace_back(x.kind, x.member);
  using K = Finding::Kind;
  EXPECT_EQ(std::vector(got.begin(), got.begin() + 4),
            (std::vector<std::pair<K, int>>{
                {K::DeviationSign, 0}, {K::EmptyBand, 0}, {K::BandOutOfRange, 1}, {K::DeviationSign, 2}}));
  EXPECT_NE(f[1].message.find("下限 125 mm 高于上限 117 mm"), std::string::npos) << f[1].message;
  EXPECT_EQ(findingKindName(K::DeviationSign), "deviationSign");
}

TEST_F(ProjectCheckTest, NothingTickedAndTheReportsParameters) {
  Project project;
  project.members = {member("A1", {120}, 120, -5, 8, 0)};
  // No format chosen and none given: the parameters are not checked, and a note says so.
  const ProjectCheck unchecked = checkProject(project, settings, std::optional<int>());
  std::vector<Finding> f = unchecked.findings;
  ASSERT_EQ(f.size(), 1u);
  EXPECT_EQ(f[0].kind, Finding::Kind::NothingTicked);
  ASSERT_FALSE(unchecked.notes.empty());
  EXPECT_NE(unchecked.notes.back().find("没有检查报告的工程参数"), std::string::npos);

  // Format 4 chosen, every printed parameter filled but two.
  project.members = {member("A1", {120})};
  ProjectInfo info = emptyProjectInfo(3);
  for (std::string_view key : printedParameters(3)) info[std::string(key)] = "x";
  info["报告日期"] = "";
  info["仪器编号"] = "  ";
  ASSERT_TRUE(saveFormatParameters(settings, 3, info, 3).ok());
  ASSERT_TRUE(saveChosenFormat(settings, 3).ok());
  f = checkProject(project, settings, std::optional<int>()).findings;
  ASSERT_EQ(messages(f), (std::vector<std::string>{"检测报告4的工程参数“报告日期”是空的。",
                                                   "检测报告4的工程参数“仪器编号”是空的。"}));
  EXPECT_EQ(f[0].parameter, "报告日期");
  // 检测仪器 is a parameter of format 4 that its report does not print.
  const auto printed = printedParameters(3);
  EXPECT_EQ(std::count(printed.begin(), printed.end(), "检测仪器"), 0);
  EXPECT_TRUE(printedParameters(6).empty());
}

}  // namespace
}  // namespace kro

namespace kro {
namespace {

// What the rule asks of a project: a citation of its edition, the rule's points a member, the
// rule's sample; a rule that cannot be used.
TEST_F(ProjectCheckTest, TheRuleAsksForItsEditionItsPointsAndItsSample) {
  auto kinds = [&](const Project& project) {
    std::vector<std::string> out;
    for (const Finding& f : checkProject(project, settings, std::optional<int>()).findings)
      out.push_back(std::string(findingKindName(f.kind)) + " " + f.message);
    return out;
  };
  auto find = [](const std::vector<std::string>& all, std::string_view what) {
    for (const std::string& line : all) {
      if (line.find(what) != std::string::npos) return line;
    }
    return std::string();
  };
  auto withRule = [](Project project, const JudgingRule& rule, std::string standard, std::string rooms = "") {
    ParameterValues values;
    values.setRule(rule);
    values.set("检测依据", standard);
    values.set("代表性自然间总数", rooms);
    project.parameters = toStoredParameters(values, {}).value();
    return project;
  };
  Project slabs;
  slabs.members = {member("S1", {118, 119, 120}), member("S2", {118, 119, 120}),
                   member("S3", std::vector<std::int32_t>(20, 120))};
  const JudgingRule& gb = *builtInRule(kSlabRuleName);
  // The 2015 edition cited under "逐点判定": the hint names the rule that fits.
  auto point = kinds(withRule(slabs, pointRule(), "GB 50204-2015"));
  EXPECT_NE(find(point, "standardEdition").find("请在工程参数中选择判定规则“GB 50204-2015 附录F”"),
            std::string::npos);
  EXPECT_TRUE(find(point, "pointCount").empty());  // "逐点判定" asks no number of points
  // Another edition than the rule's; a member of 20 readings where the rule asks 3.
  auto other = kinds(withRule(slabs, gb, "《混凝土结构工程施工质量验收规范》（GB50204-2002）"));
  EXPECT_NE(find(other, "standardEdition").find("不是同一版本"), std::string::npos);
  EXPECT_EQ(
      find(other, "pointCount"),
      "pointCount 第 3 个构件 S3：有 20 个测点，判定规则“GB 50204-2015 附录F”要求每个构件 3 点；报告按这 20 "
      "点的平均值判定。");
  EXPECT_TRUE(find(other, "tooFewMembers").empty());  // three ticked: the least
  // The sample: the rule's least, or 1 % of the representative rooms when more.
  EXPECT_TRUE(find(kinds(withRule(slabs, gb, gb.citation)), "standardEdition").empty());
  EXPECT_NE(find(kinds(withRule(slabs, gb, gb.citation, "450")), "tooFewMembers")
                .find("勾选了 3 个构件，少于判定规则“GB 50204-2015 附录F”的抽样数量 5 个"),
            std::string::npos);
  Project two = slabs;
  two.members.resize(2);
  EXPECT_NE(find(kinds(withRule(two, gb, gb.citation)), "tooFewMembers").find("（不少于 3 个）"),
            std::string::npos);
  // A name the program does not know, without a definition: judged "逐点判定", and said so.
  Project unknown = slabs;
  unknown.parameters.stored = true;
  unknown.parameters.values = {{*utf8ToGbk("判定规则"), *utf8ToGbk("无此规则")}};
  EXPECT_NE(find(kinds(unknown), "judgingRule").find("判定规则“无此规则”没有定义"), std::string::npos);
}

}  // namespace
}  // namespace kro
