// The figures a report states.
#include "model/report_figures.h"

#include "model/statistics.h"

namespace kro {

bool isTicked(const MemberRecord& member) { return member.selected() != 0; }

std::vector<int> tickedMembers(const Project& project) {
  std::vector<int> ticked;
  for (int i = 0; i < project.memberCount(); ++i) {
    if (isTicked(*project.memberAt(i))) ticked.push_back(i);
  }
  return ticked;
}

ReportFigures reportFigures(const Project& project, const RuleInForce& rule) {
  ReportFigures f;
  f.judging = rule.rule;
  f.rule = rule.threshold;
  for (int i = 0; i < project.memberCount(); ++i) {
    const MemberRecord& m = *project.memberAt(i);
    if (!isTicked(m)) {
      f.unticked.push_back(i);
      continue;
    }
    f.ticked.push_back(i);
    f.readingCount += m.readingCount();
    for (int j = 0; j < m.readingCount(); ++j) f.passCount += readingPasses(m, j, rule.rule) ? 1 : 0;
    if (const auto mean = judgeMemberMean(m, rule.rule)) {
      SampleCounts& sample = m.sample() > 1 && rule.rule.secondSampleFrom ? f.second : f.first;
      ++sample.memberCount;
      sample.memberPassCount += mean->passes ? 1 : 0;
    }
  }
  f.memberCount = f.first.memberCount + f.second.memberCount;
  f.memberPassCount = f.first.memberPassCount + f.second.memberPassCount;
  f.kind = meetsRule(f.judgedPassCount(), f.judgedCount(), f.rule) ? Verdict::Pass : Verdict::Fail;
  if (const auto from = rule.rule.judgesMembers() ? rule.rule.secondSampleFrom : std::nullopt) {
    // The first sample alone decides, unless its rate lies from the second-sample rate up to the
    // threshold: then a second sample is needed, and once there both are judged together.
    const SampleCounts& one = f.first;
    const bool inBand = one.memberCount > 0 && !meetsRule(one.memberPassCount, one.memberCount, f.rule) &&
                        meetsRule(one.memberPassCount, one.memberCount, *from);
    if (!inBand || f.second.memberCount == 0) {
      f.secondIgnored = f.second.memberCount > 0;
      f.memberCount = one.memberCount;
      f.memberPassCount = one.memberPassCount;
      f.kind = inBand                                                    ? Verdict::SecondSample
               : meetsRule(one.memberPassCount, one.memberCount, f.rule) ? Verdict::Pass
                                                                         : Verdict::Fail;
    }
  }
  f.passes = f.kind == Verdict::Pass;
  f.rateText = ruledRateText(f.judgedPassCount(), f.judgedCount(), f.rule);
  f.ruleText = kro::ruleText(f.rule);
  return f;
}

std::string ReportFigures::samplesText() const {
  if (needsSecondSample()) {
    return "第一次抽样合格率 " + rateText + "%，低于 " + ruleText + "% 而不低于 " +
           kro::ruleText(*judging.secondSampleFrom) + "%，需再抽取 " + std::to_string(first.memberCount) +
           " 个构件进行二次抽样，与第一次抽样合并判定";
  }
  if (second.memberCount == 0) return {};
  auto one = [this](const char* which, const SampleCounts& s) {
    return std::string(which) + std::to_string(s.memberCount) + " 个构件合格 " +
           std::to_string(s.memberPassCount) + " 个（" +
           ruledRateText(s.memberPassCount, s.memberCount, rule) + "%）";
  };
  if (secondIgnored) {
    return one("第一次抽样 ", first) + "，不需要二次抽样，结论按第一次抽样；" +
           one("另有第二次抽样 ", second) + "，不计入结论";
  }
  return one("第一次抽样 ", first) + "，" + one("第二次抽样 ", second) + "，合计 " +
         std::to_string(memberCount) + " 个构件合格 " + std::to_string(memberPassCount) + " 个（" + rateText +
         "%）";
}

std::string tickedTotalsLine(const ReportFigures& f) {
  const std::string counted = f.judgesMembers() ? std::to_string(f.memberCount) + " 个构件（" +
                                                      std::to_string(f.readingCount) + " 点），" +
                                                      std::to_string(f.memberPassCount) + " 个构件合格"
                                                : std::to_string(f.readingCount) + " 点";
  const std::string samples = f.samplesText();
  return "勾选构件（用于报告）：" + counted + "，合格率 " + f.rateText + " %（要求 " + f.ruleText + " %）：" +
         f.verdict() + "，判定规则：" + f.ruleLine() + (samples.empty() ? "" : "；" + samples);
}

Status refuseWithoutTickedMembers(const Project& project) {
  if (project.memberCount() == 0) return Error{"文档中没有构件，没有可输出的数据。"};
  if (!tickedMembers(project).empty()) return Status::success();
  return Error{"没有勾选任何构件：报告、打印和导出只包括勾选的构件。请先在构件列表中勾选要报告的构件。"};
}

}  // namespace kro
