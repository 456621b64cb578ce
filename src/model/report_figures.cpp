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
      ++f.memberCount;
      f.memberPassCount += mean->passes ? 1 : 0;
    }
  }
  f.passes = meetsRule(f.judgedPassCount(), f.judgedCount(), f.rule);
  f.rateText = ruledRateText(f.judgedPassCount(), f.judgedCount(), f.rule);
  f.ruleText = kro::ruleText(f.rule);
  return f;
}

std::string tickedTotalsLine(const ReportFigures& f) {
  const std::string counted = f.judgesMembers() ? std::to_string(f.memberCount) + " 个构件（" +
                                                      std::to_string(f.readingCount) + " 点），" +
                                                      std::to_string(f.memberPassCount) + " 个构件合格"
                                                : std::to_string(f.readingCount) + " 点";
  return "勾选构件（用于报告）：" + counted + "，合格率 " + f.rateText + " %（要求 " + f.ruleText + " %）：" +
         f.verdict() + "，判定规则：" + f.ruleLine();
}

Status refuseWithoutTickedMembers(const Project& project) {
  if (project.memberCount() == 0) return Error{"文档中没有构件，没有可输出的数据。"};
  if (!tickedMembers(project).empty()) return Status::success();
  return Error{"没有勾选任何构件：报告、打印和导出只包括勾选的构件。请先在构件列表中勾选要报告的构件。"};
}

}  // namespace kro
