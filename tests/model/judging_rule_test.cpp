// Judging rules: a member's mean as a rule records it, its band, the project's verdict by
// readings or by members, and a rule's definition as named fields.
#include "model/judging_rule.h"

#include <gtest/gtest.h>

#include <map>

#include "model/report_figures.h"

namespace kro {
namespace {

MemberRecord slab(std::vector<std::int32_t> readings, std::int32_t design = 120) {
  MemberData d;
  d.code = "B";
  d.designThickness = design;
  d.minusDeviation = -5;
  d.plusDeviation = 8;
  d.selected = 1;
  for (std::int32_t t : readings) d.readings.push_back({0, t, 0});
  return MemberRecord(std::move(d));
}

const JudgingRule& slabRule() { return *builtInRule(kSlabRuleName); }

TEST(JudgingRule, GbT8170RoundsHalvesToTheEvenNeighbour) {
  EXPECT_EQ(roundedToEven(344, 3), 115);  // 114.67
  EXPECT_EQ(roundedToEven(229, 2), 114);  // 114.5
  EXPECT_EQ(roundedToEven(231, 2), 116);  // 115.5
  EXPECT_EQ(roundedToEven(343, 3), 114);  // 114.33
  EXPECT_EQ(roundedToEven(-229, 2), -114);
  EXPECT_EQ(roundedToEven(-231, 2), -116);
}

// A mean on either edge of -5/+10 passes; a mean recorded to whole mm is judged as recorded.
TEST(JudgingRule, AMemberIsJudgedByItsMeanAsTheRuleRecordsIt) {
  struct Case {
    std::vector<std::int32_t> readings;
    std::string text;
    bool passes;
  };
  const Case cases[] = {
      {{115, 115, 115}, "115", true},                                   // -5 exactly
      {{130, 130, 130}, "130", true},                                   // +10 exactly
      {{114, 115, 115}, "115", true},                                   // 114.67 recorded as 115
      {{114, 114, 115}, "114", false}, {{130, 131, 130}, "130", true},  // 130.33 recorded as 130
      {{131, 131, 130}, "131", false},
  };
  for (const Case& c : cases) {
    const auto mean = judgeMemberMean(slab(c.readings), slabRule());
    ASSERT_TRUE(mean.has_value());
    EXPECT_EQ(mean->text, c.text);
    EXPECT_EQ(mean->passes, c.passes) << c.text;
  }
  EXPECT_FALSE(judgeMemberMean(slab({}), slabRule()).has_value());
  // Without recording to whole mm the exact mean is compared: 114.67 misses -5.
  JudgingRule exact = slabRule();
  exact.meanToWholeMm = false;
  EXPECT_FALSE(judgeMemberMean(slab({114, 115, 115}), exact)->passes);
  EXPECT_EQ(judgeMemberMean(slab({114, 115, 115}), exact)->text, "114.7");
  // The member's own band under "逐点判定"; the rule's around the design thickness otherwise.
  EXPECT_EQ(ruleBand(slab({}), pointRule()).upper, 128);
  EXPECT_EQ(ruleBand(slab({}), slabRule()).upper, 130);
}

// Ten slabs of three readings: eight pass by their means, 16 of the 30 readings by the band.
TEST(JudgingRule, TheSameSlabsPassByTheirMeansAndFailByTheirReadings) {
  Project project;
  for (int i = 0; i < 8; ++i) project.members.push_back(slab({113, 118, 126}));  // mean 119, 2 of 3 in -5/+8
  project.members.push_back(slab({100, 100, 100}));
  project.members.push_back(slab({140, 112, 140}));
  const ReportFigures byMembers = reportFigures(project, {slabRule(), {800}});
  EXPECT_EQ(byMembers.memberCount, 10);
  EXPECT_EQ(byMembers.memberPassCount, 8);
  EXPECT_EQ(byMembers.rateText, "80.0");
  EXPECT_TRUE(byMembers.passes);  // a rate equal to the threshold passes
  EXPECT_EQ(byMembers.verdict(), "合格");
  const ReportFigures byReadings = reportFigures(project, {pointRule(), {900}});
  EXPECT_EQ(byReadings.readingCount, 30);
  EXPECT_EQ(byReadings.passCount, 16);
  EXPECT_EQ(byReadings.verdict(), "不合格");
  EXPECT_EQ(tickedTotalsLine(byMembers),
            "勾选构件（用于报告）：10 个构件（30 点），8 个构件合格，合格率 80.0 %（要求 80 "
            "%）：合格，判定规则：GB "
            "50204-2015 附录F（每个构件的平均值，合格率不低于 80%）");
}

TEST(JudgingRule, ADefinitionRoundTripsThroughItsFieldsAndMistakesAreNamed) {
  for (const JudgingRule& rule : builtInRules()) {
    std::map<std::string, std::string, std::less<>> fields;
    for (const auto& [key, value] : ruleFields(rule)) fields[key] = value;
    auto back = ruleFromFields([&](std::string_view key) -> std::optional<std::string> {
      auto it = fields.find(key);
      return it == fields.end() ? std::nullopt : std::optional<std::string>(it->second);
    });
    ASSERT_TRUE(back.ok()) << back.message();
    EXPECT_EQ(back.value(), rule);
  }
  auto parse = [](std::map<std::string, std::string, std::less<>> fields) {
    return ruleFromFields([&](std::string_view key) -> std::optional<std::string> {
      auto it = fields.find(key);
      return it == fields.end() ? std::nullopt : std::optional<std::string>(it->second);
    });
  };
  const std::map<std::string, std::string, std::less<>> good = {
      {"名称", "本院规则"}, {"对象", "构件平均值"}, {"允许偏差", "-6/+8"}, {"合格率", "85"}};
  auto ours = parse(good);
  ASSERT_TRUE(ours.ok()) << ours.message();
  EXPECT_EQ(ours.value().fixedBand, std::make_pair(-6, 8));
  EXPECT_EQ(ours.value().fixedThreshold, AcceptanceRule{850});
  auto with = [&](std::string key, std::string value) {
    auto f = good;
    f[key] = std::move(value);
    return parse(f).message();
  };
  EXPECT_NE(with("对象", "构件").find("“对象”应为"), std::string::npos);
  EXPECT_NE(with("允许偏差", "+5/-6").find("“允许偏差”应为"), std::string::npos);
  EXPECT_NE(with("合格率", "101").find("“合格率”应为"), std::string::npos);
  EXPECT_NE(with("测点数", "x").find("“测点数”应为"), std::string::npos);
  auto missing = good;
  missing.erase("允许偏差");
  EXPECT_EQ(parse(missing).message(), "缺少“允许偏差”");
}

}  // namespace
}  // namespace kro

namespace kro {
namespace {

Project slabSamples(int firstPassing, int secondMembers, int secondPassing) {
  Project p;
  auto add = [&](bool passes, std::uint8_t sample) {
    MemberRecord m =
        slab(passes ? std::vector<std::int32_t>{120, 120, 120} : std::vector<std::int32_t>{100, 100, 100});
    MemberData d = m.data();
    d.sample = sample;
    p.members.push_back(MemberRecord(std::move(d)));
  };
  for (int i = 0; i < 8; ++i) add(i < firstPassing, 1);
  for (int i = 0; i < secondMembers; ++i) add(i < secondPassing, 2);
  return p;
}

// From 70 % up to 80 % the first sample needs a second of as many members; both are then judged
// together. Outside that band a second sample changes nothing.
TEST(SecondSample, AFirstSampleFrom70To80PercentNeedsASecondJudgedWithIt) {
  const RuleInForce gb{*builtInRule(kSlabRuleName), {800}};
  const ReportFigures needed = reportFigures(slabSamples(6, 0, 0), gb);  // 75 %
  EXPECT_EQ(needed.verdict(), "需二次抽样");
  EXPECT_FALSE(needed.passes);
  EXPECT_NE(needed.samplesText().find("需再抽取 8 个构件"), std::string::npos) << needed.samplesText();
  const ReportFigures both = reportFigures(slabSamples(6, 8, 7), gb);  // 13 of 16
  EXPECT_EQ(both.verdict(), "合格");
  EXPECT_EQ(both.rateText, "81.3");
  EXPECT_TRUE(both.judgesBothSamples());
  EXPECT_EQ(both.samplesText(),
            "第一次抽样 8 个构件合格 6 个（75.0%），第二次抽样 8 个构件合格 7 个（87.5%），合计 16 "
            "个构件合格 13 个（81.3%）");
  const ReportFigures bothFail = reportFigures(slabSamples(6, 8, 6), gb);  // 12 of 16
  EXPECT_EQ(bothFail.verdict(), "不合格");
  EXPECT_EQ(bothFail.rateText, "75.0");
  // 70 % exactly needs the second sample; below it fails; 80 % passes on the first alone.
  Project seventy = slabSamples(7, 0, 0);
  for (int i = 0; i < 2; ++i) seventy.members.push_back(slab({100, 100, 100}));  // 7 of 10
  EXPECT_EQ(reportFigures(seventy, gb).verdict(), "需二次抽样");
  EXPECT_EQ(reportFigures(slabSamples(5, 0, 0), gb).verdict(), "不合格");  // 62.5 %
  const ReportFigures unneeded = reportFigures(slabSamples(7, 8, 0), gb);  // 87.5 % first
  EXPECT_EQ(unneeded.verdict(), "合格");
  EXPECT_TRUE(unneeded.secondIgnored);
  EXPECT_EQ(unneeded.memberCount, 8);
  // A rule without a second sample judges every member together.
  const ReportFigures point = reportFigures(slabSamples(6, 8, 7), {pointRule(), {900}});
  EXPECT_EQ(point.second.memberCount, 0);
}

}  // namespace
}  // namespace kro
