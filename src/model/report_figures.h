// What a report says about a project: the members it covers (the ticked ones), their totals,
// the rate and the verdict by the project's acceptance rule, every number as text by the one
// rule of model/figure_text.h. The printed pages, the Word reports, the window's verdict line,
// the overview and kro stats and check all read this; none of them counts or rounds alone.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/result.h"
#include "model/figure_text.h"
#include "model/judging_rule.h"
#include "model/project.h"

namespace kro {

enum class Verdict { Pass, Fail, SecondSample };

// Members judged and passing in one sample.
struct SampleCounts {
  std::int64_t memberCount = 0;
  std::int64_t memberPassCount = 0;
};

struct ReportFigures {
  std::vector<int> ticked;    // the members a report covers, in order
  std::vector<int> unticked;  // the others
  std::int64_t readingCount = 0;
  std::int64_t passCount = 0;  // readings in their band (the rule's band)
  // Under a rule that judges members by their means: the ticked members with readings, and
  // those whose mean lies in the band.
  std::int64_t memberCount = 0;
  std::int64_t memberPassCount = 0;
  JudgingRule judging;
  AcceptanceRule rule;  // the threshold
  // Under a rule with a second sample: the first sample's members and the second's (of the
  // ticked members with readings). The members counted above are those the verdict judges.
  SampleCounts first, second;
  bool secondIgnored = false;  // a second sample is there but the first's rate does not need it
  Verdict kind = Verdict::Fail;
  bool passes = false;   // the verdict is 合格 (never without anything judged)
  std::string rateText;  // in per cent without the sign, see ruledRateText
  std::string ruleText;  // "90", "87.5"

  bool judgesMembers() const { return judging.judgesMembers(); }
  // What the rate is of: readings, or members.
  std::int64_t judgedCount() const { return judgesMembers() ? memberCount : readingCount; }
  std::int64_t judgedPassCount() const { return judgesMembers() ? memberPassCount : passCount; }
  std::int64_t failCount() const { return readingCount - passCount; }
  bool needsSecondSample() const { return kind == Verdict::SecondSample; }
  bool judgesBothSamples() const { return second.memberCount > 0 && !secondIgnored; }
  // "合格", "不合格" or "需二次抽样".
  std::string verdict() const {
    return kind == Verdict::Pass ? "合格" : kind == Verdict::SecondSample ? "需二次抽样" : "不合格";
  }
  // What the documents say of the samples: the members to add, or each sample's counts and the
  // combined rate; empty without a second sample.
  std::string samplesText() const;
  // "逐点判定（每个测点，合格率不低于 90%）"
  std::string ruleLine() const { return ruleSummary(judging, rule); }
};

ReportFigures reportFigures(const Project& project, const RuleInForce& rule);

// The members a document covers: the ticked ones (any stored flag but 0), in order.
bool isTicked(const MemberRecord& member);
std::vector<int> tickedMembers(const Project& project);

// "勾选构件（用于报告）：196 点，合格率 78.6 %（要求 90 %）：不合格，判定规则：逐点判定（每个测点，…）";
// under a member rule "勾选构件（用于报告）：10 个构件（30 点），8 个构件合格，合格率 80.0 %（要求 80 %）：…"
std::string tickedTotalsLine(const ReportFigures& figures);

// A document output covers the ticked members: refused, with the cause, when there are no
// members or none is ticked.
Status refuseWithoutTickedMembers(const Project& project);

}  // namespace kro
