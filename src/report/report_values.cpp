// The fields of the report formats and their values.
#include "report/report_values.h"

#include <algorithm>

#include "base/sha256.h"
#include "model/figure_text.h"
#include "model/gbk_text.h"
#include "model/judging_rule.h"
#include "model/record_replay.h"
#include "model/report_figures.h"
#include "model/statistics.h"
#include "report/qr_code.h"
#include "report/report_code.h"
#include "report/template_filler.h"

namespace kro {

namespace {

constexpr std::string_view kFigureFields[] = {
    "测点总数",   "合格点数",     "不合格点数",   "合格率",     "合格率要求",   "结论",     "构件数",
    "合格构件数", "报告生成日期", "报告日期简写", "判定说明",   "判定方法",     "抽样方法", "按构件判定",
    "判定列",     "二次抽样",     "测点标记说明", "修改记录",   "修改记录哈希", "版本",     "检测人",
    "审核人",     "批准人",       "仪器证书",     "校准有效期", "代替",         "校验码",   "密钥指纹"};
constexpr std::string_view kMemberFields[] = {
    "序号",   "测区编号", "构件名称", "测试日期", "测试日期原文", "设计厚度", "允许负偏差", "允许正偏差",
    "测点数", "最大值",   "最小值",   "平均值",   "合格率",       "结论",     "判定值",     "判定结果"};
// A 修改记录 part's fields; its 序号 is the entry's.
constexpr std::string_view kLogEntryFields[] = {"构件", "测点", "原值", "新值", "修改人", "修改时间", "原因"};

// "2008年5月12日": the date of a stored text when it is one, else the text as it is.
std::string longDate(const CalendarDate& d) {
  return std::to_string(d.year) + "年" + std::to_string(d.month) + "月" + std::to_string(d.day) + "日";
}

std::string memberDate(const MemberRecord& m) {
  if (auto date = parseStoredDate(m.testDate())) return longDate(*date);
  return gbkToUtf8(m.testDate());
}

bool isReadingField(std::string_view name) {
  if (!name.starts_with("测点")) return false;
  const std::string_view number = name.substr(std::string_view("测点").size());
  for (int k = 1; k <= kReadingsPerRow; ++k) {
    if (number == std::to_string(k)) return true;
  }
  return false;
}

}  // namespace

std::optional<FieldScope> fieldScope(std::string_view name) {
  if (isReadingField(name)) return FieldScope::Reading;
  if (std::find(std::begin(kLogEntryFields), std::end(kLogEntryFields), name) != std::end(kLogEntryFields))
    return FieldScope::LogEntry;
  if (std::find(std::begin(kMemberFields), std::end(kMemberFields), name) != std::end(kMemberFields)) {
    // 合格率 and 结论 are the project's outside a member part: both scopes know them.
    if (name != "合格率" && name != "结论") return FieldScope::Member;
  }
  if (std::find(std::begin(kFigureFields), std::end(kFigureFields), name) != std::end(kFigureFields)) {
    return FieldScope::Project;
  }
  if (name.starts_with(kDeclaredParameterPrefix) && name.size() > kDeclaredParameterPrefix.size()) {
    return FieldScope::Project;
  }
  if (parameterDefinition(name) != nullptr) return FieldScope::Project;
  return std::nullopt;
}

std::optional<std::string_view> parameterBehind(std::string_view field) {
  if (field == "报告日期简写") return "报告日期";
  return std::nullopt;
}

bool isMemberField(std::string_view name) {
  return std::find(std::begin(kMemberFields), std::end(kMemberFields), name) != std::end(kMemberFields);
}

const FieldCatalog& fieldCatalog() {
  static const FieldCatalog catalog{fieldScope, isMemberField,
                                    [](std::string_view name) -> std::optional<std::string> {
                                      if (parameterDefinition(name) != nullptr)
                                        return std::string(canonicalParameterName(name));
                                      if (auto behind = parameterBehind(name)) return std::string(*behind);
                                      return std::nullopt;
                                    },
                                    [] {
                                      std::vector<std::string> all;
                                      for (FieldScope s : {FieldScope::Project, FieldScope::Member,
                                                           FieldScope::Reading, FieldScope::LogEntry}) {
                                        for (std::string& n : fieldNames(s)) all.push_back(std::move(n));
                                      }
                                      return all;
                                    }};
  return catalog;
}

std::vector<std::string> fieldNames(FieldScope scope) {
  std::vector<std::string> names;
  switch (scope) {
    case FieldScope::Project:
      for (const ParameterDefinition& d : parameterDefinitions()) names.emplace_back(d.name);
      for (std::string_view f : kFigureFields) {
        if (std::find(names.begin(), names.end(), f) == names.end())
          names.emplace_back(f);  // 合格率要求 is both
      }
      break;
    case FieldScope::Member:
      for (std::string_view f : kMemberFields) names.emplace_back(f);
      break;
    case FieldScope::Reading:
      for (int k = 1; k <= kReadingsPerRow; ++k) names.push_back("测点" + std::to_string(k));
      break;
    case FieldScope::LogEntry:
      for (std::string_view f : kLogEntryFields) names.emplace_back(f);
      break;
  }
  return names;
}

std::string ReportValues::projectField(std::string_view name) const {
  if (name.starts_with(kDeclaredParameterPrefix)) name.remove_prefix(kDeclaredParameterPrefix.size());
  auto it = project.find(name);
  return it != project.end() ? it->second : std::string();
}

ReportValues reportValues(const Project& project, const ParameterValues& parameters,
                          const CalendarDate& today) {
  ReportValues v;
  for (const auto& [name, value] : parameters.all()) v.project[name] = value;
  // A field known by another name in some formats answers to both.
  for (const ParameterDefinition& d : parameterDefinitions()) {
    v.project[std::string(d.name)] = parameters(d.name);
    for (std::string_view synonym : d.synonyms) v.project[std::string(synonym)] = parameters(d.name);
  }
  const RuleInForce inForce = parameters.rule();
  const JudgingRule& judging = inForce.rule;
  const AcceptanceRule rule = inForce.threshold;
  const ReportFigures figures = reportFigures(project, inForce);
  v.project["测点总数"] = std::to_string(figures.readingCount);
  v.project["合格点数"] = std::to_string(figures.passCount);
  v.project["不合格点数"] = std::to_string(figures.failCount());
  v.project["合格率"] = figures.rateText;
  v.project["合格率要求"] = figures.ruleText;
  v.project["结论"] = figures.verdict();
  // Under a member rule the members judged (those with readings), and those passing.
  v.project["构件数"] = std::to_string(
      figures.judgesMembers() ? figures.memberCount : static_cast<std::int64_t>(figures.ticked.size()));
  v.project["合格构件数"] = std::to_string(figures.memberPassCount);
  v.project["二次抽样"] = figures.samplesText();
  v.project["判定规则"] = judging.name;
  v.project["判定说明"] = figures.ruleLine();
  v.project["判定方法"] = judging.method;
  v.project["抽样方法"] = judging.sampling;
  // What the formats word differently under a member rule: a condition, and a column's heading.
  v.project["按构件判定"] = judging.judgesMembers() ? "是" : "";
  v.project["判定列"] = judging.judgesMembers() ? "平均值(mm)" : "合格率(%)";
  v.project["报告生成日期"] = longDate(today);
  // 报告日期 as "2026--3--7", or today's when it is empty or no date.
  v.project["报告日期简写"] = reportOneDate(parameters("报告日期"));
  if (v.project["报告日期简写"].empty()) {
    v.project["报告日期简写"] =
        std::to_string(today.year) + "--" + std::to_string(today.month) + "--" + std::to_string(today.day);
  }

  // An issued report's anti-counterfeit code: a picture for {{图:校验码 …}}, and the document's
  // own property, from which kro verify reads it.
  if (const std::string code = parameters(kCodeField); !code.empty()) {
    if (auto qr = encodeQr(code)) v.images[std::string(kCodeField)] = qrPng(qr.value(), 8);
    v.properties[std::string(kCodeProperty)] = code;
  }

  // The record: corrected readings struck through beside their values now, and the entries since
  // the log began.
  const ShownRecord shown = shownRecord(project, figures.ticked);
  v.project["测点标记说明"] = shown.legend ? std::string(kReadingMarksLegend) : std::string();
  if (shown.logFirst < project.log.size()) {
    v.project["修改记录"] = std::to_string(project.log.size() - shown.logFirst);
    v.project["修改记录哈希"] = hexOf(project.log.back().hash);
  }
  for (std::size_t k = shown.logFirst; k < project.log.size(); ++k) {
    ListedEntry e = listedEntry(project.log[k]);
    v.logEntries.push_back({{"序号", std::to_string(k - shown.logFirst + 1)},
                            {"构件", std::move(e.member)},
                            {"测点", std::move(e.what)},
                            {"原值", std::move(e.oldValue)},
                            {"新值", std::move(e.newValue)},
                            {"修改人", std::move(e.who)},
                            {"修改时间", std::move(e.when)},
                            {"原因", std::move(e.why)}});
  }

  int number = 0;
  for (int index : figures.ticked) {  // the members a report covers
    const MemberRecord& m = *project.memberAt(index);
    const MemberFigures f = computeFigures(m);
    MemberFieldValues member;
    auto& fields = member.fields;
    fields["序号"] = std::to_string(++number);
    fields["测区编号"] = gbkToUtf8(m.code());
    fields["构件名称"] = gbkToUtf8(m.name());
    fields["测试日期"] = memberDate(m);
    fields["测试日期原文"] = gbkToUtf8(m.testDate());
    fields["设计厚度"] = std::to_string(m.designThickness());
    fields["允许负偏差"] = std::to_string(m.minusDeviation());
    fields["允许正偏差"] = std::to_string(m.plusDeviation());
    fields["测点数"] = std::to_string(f.readingCount);
    fields["最大值"] = f.maxThickness ? std::to_string(*f.maxThickness) : "";
    fields["最小值"] = f.minThickness ? std::to_string(*f.minThickness) : "";
    std::int64_t passing = 0;
    for (int j = 0; j < m.readingCount(); ++j) {
      const bool passes = readingPasses(m, j, judging);
      passing += passes ? 1 : 0;
      ReadingValue& r = member.readings.emplace_back();
      r.text = std::to_string(m.readingAt(j));
      r.passes = passes;
      if (auto c = shown.corrections.find({index, j}); c != shown.corrections.end()) {
        r.struck = struckValue(c->second);
        r.mark = "[" + std::to_string(c->second.change + 1) + "]";
      } else {
        r.mark = readingMark(m.readings()[static_cast<std::size_t>(j)], false);
      }
    }
    fields["平均值"] = f.readingCount > 0 ? tenthsText(f.thicknessSum, f.readingCount) : "";
    fields["合格率"] = f.readingCount > 0 ? ruledRateText(passing, f.readingCount, rule) : "";
    fields["结论"] = meetsRule(passing, f.readingCount, rule) ? "合格" : "不合格";
    fields["判定值"] = fields["合格率"];
    if (judging.judgesMembers()) {
      // The member is judged by its mean, as recorded by the rule.
      const std::optional<MemberMean> mean = judgeMemberMean(m, judging);
      fields["平均值"] = mean ? mean->text : "";
      fields["结论"] = mean && mean->passes ? "合格" : "不合格";
      fields["判定值"] = mean ? mean->text + " " + fields["结论"] : "";
      // A member of another number of readings than the rule's says how many were averaged.
      const std::string averaged = judging.points > 0 && mean && mean->count != judging.points
                                       ? "（" + std::to_string(mean->count) + "点）"
                                       : std::string();
      fields["判定结果"] = mean ? "        平均值:" + mean->text + averaged + "  " + fields["结论"] : "";
    }
    v.members.push_back(std::move(member));
  }
  return v;
}

}  // namespace kro
