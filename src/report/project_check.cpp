// The project check.
#include "report/project_check.h"

#include <algorithm>
#include <map>

#include "model/gbk_text.h"
#include "model/project_blocks.h"
#include "model/record_replay.h"
#include "model/report_figures.h"
#include "model/statistics.h"
#include "report/project_parameters.h"
#include "settings/settings_file.h"

namespace kro {

namespace {

// The keys each format's report prints: its covers, tables, overview and conclusion.
const std::vector<std::vector<std::string_view>>& printedKeys() {
  static const std::vector<std::vector<std::string_view>> keys = {
      {"报告编号", "工程名称", "施工单位", "检测内容", "检测单位", "监理单位", "设计单位", "工程地址",
       "结构类别", "施工日期", "强度等级", "委托单位", "检测仪器", "检测依据", "报告日期"},
      {"报告编号", "工程名称", "委托单位", "检测日期", "建设单位", "施工单位", "设计单位", "监理单位",
       "监督单位", "工程地址", "结构类别", "强度等级", "检测依据", "检测仪器", "检测人员", "检测项目",
       "检测方法"},
      {"委托编号", "委托单位", "工程名称", "工程地点", "检测编号", "委托日期", "检测日期", "浇筑日期",
       "仪器设备", "执行标准", "结构类别", "施工单位", "强度等级", "检测项目"},
      {"工程名称", "委托单位", "建设单位", "设计单位", "监理单位", "施工单位", "报告编号", "报告日期",
       "检测日期", "仪器编号", "检测依据"},
      {"委托单位", "工程名称", "建设单位", "施工单位", "监理单位", "设计单位", "委托日期", "委托编号",
       "试验编号", "检测依据", "检测日期", "检测仪器"},
      {"委托单位", "工程名称", "建设单位", "施工单位", "监理单位", "设计单位", "委托日期", "委托编号",
       "试验编号", "检测依据", "检测日期", "检测仪器"},
  };
  return keys;
}

// "第 3 个构件 0003（1#楼三层楼板）"
std::string memberLabel(int index, const MemberRecord& m) {
  std::string label = "第 " + std::to_string(index + 1) + " 个构件";
  const std::string code = gbkToUtf8(m.code());
  const std::string name = gbkToUtf8(m.name());
  if (!code.empty()) label += " " + code;
  if (!name.empty()) label += "（" + name + "）";
  return label;
}

}  // namespace

std::vector<std::string_view> printedParameters(int reportFormat) {
  std::vector<std::string_view> out;
  if (reportFormat < 0 || reportFormat >= kReportFormatCount) return out;
  const std::vector<std::string_view>& printed = printedKeys()[static_cast<std::size_t>(reportFormat)];
  for (const ParameterField& field : reportFormatInfo(reportFormat).fields) {
    if (std::find(printed.begin(), printed.end(), field.key) != printed.end()) out.push_back(field.key);
  }
  return out;
}

FormatFields builtInFormatFields(int reportFormat) {
  FormatFields fields{std::string(reportFormatInfo(reportFormat).comboText), {}, {}};
  for (std::string_view key : printedParameters(reportFormat)) fields.printed.emplace_back(key);
  return fields;
}

ProjectCheck checkProject(const Project& project, const SettingsLocation& settings,
                          std::optional<int> format) {
  if (!format) format = chosenReportFormat(settings);
  return checkProject(project, settings, format ? std::optional(builtInFormatFields(*format)) : std::nullopt);
}

namespace {

// The edition of GB 50204 a text names ("2015" of "GB 50204-2015"), or nothing.
std::string edition50204(std::string text) {
  std::erase(text, ' ');
  const std::size_t at = text.find("50204-");
  if (at == std::string::npos || at + 10 > text.size()) return {};
  const std::string year = text.substr(at + 6, 4);
  return std::all_of(year.begin(), year.end(), [](char c) { return c >= '0' && c <= '9'; }) ? year
                                                                                            : std::string();
}

// What the rule asks of the project: a rule it can be judged by, the citation's edition, the
// readings a member should have, the members a sample should have.
void checkRule(const Project& project, const SettingsLocation& settings, const ParameterValues& values,
               const RuleInForce& rule, std::vector<Finding>& findings, std::vector<std::string>& notes) {
  using K = Finding::Kind;
  if (std::string problem = values.ruleProblem(); !problem.empty())
    findings.push_back({K::JudgingRule, -1, std::string(kJudgingRuleKey), problem});
  if (auto office = officeRuleNamed(settings, rule.rule.name); office && !(office.value() == rule.rule)) {
    notes.push_back("文件中的判定规则“" + rule.rule.name + "”与本机的同名规则不同，按文件中保存的定义判定。");
  }
  const std::string standard = values(kStandardKey);
  const std::string typed = edition50204(standard), own = edition50204(rule.rule.citation);
  if (typed == "2015" && !rule.rule.judgesMembers()) {
    findings.push_back(
        {K::StandardEdition, -1, std::string(kStandardKey),
         "检测依据（" + standard + "）是 GB 50204-2015，判定规则却是“" + rule.rule.name +
             "”（逐点判定）：该版规范以每块楼板 3 点的平均值判定，请在工程参数中选择判定规则“" +
             std::string(kSlabRuleName) + "”。"});
  } else if (!typed.empty() && !own.empty() && typed != own) {
    findings.push_back({K::StandardEdition, -1, std::string(kStandardKey),
                        "检测依据（" + standard + "）与判定规则“" + rule.rule.name + "”的依据（" +
                            rule.rule.citation + "）不是同一版本。"});
  }
  int ticked = 0;
  for (int i = 0; i < project.memberCount(); ++i) {
    const MemberRecord& m = *project.memberAt(i);
    if (!isTicked(m)) continue;
    ++ticked;
    if (rule.rule.points > 0 && m.readingCount() > 0 && m.readingCount() != rule.rule.points) {
      findings.push_back({K::PointCount,
                          i,
                          {},
                          memberLabel(i, m) + "：有 " + std::to_string(m.readingCount()) +
                              " 个测点，判定规则“" + rule.rule.name + "”要求每个构件 " +
                              std::to_string(rule.rule.points) + " 点；报告按这 " +
                              std::to_string(m.readingCount()) + " 点的平均值判定。"});
    }
  }
  // The second sample: needed, as large as the first, and only when needed.
  const ReportFigures figures = reportFigures(project, rule);
  if (figures.needsSecondSample()) {
    findings.push_back({K::SecondSample, -1, {}, "需二次抽样：" + figures.samplesText() + "。"});
  } else if (figures.secondIgnored) {
    findings.push_back({K::SecondSample,
                        -1,
                        {},
                        "有第二次抽样的构件，但第一次抽样的合格率不需要二次抽样：结论按第一次抽样（" +
                            figures.rateText + "%）。"});
    notes.push_back(figures.samplesText() + "。");
  } else if (figures.judgesBothSamples() && figures.second.memberCount < figures.first.memberCount) {
    findings.push_back({K::SecondSample,
                        -1,
                        {},
                        "第二次抽样只有 " + std::to_string(figures.second.memberCount) +
                            " 个构件，应与第一次抽样一样多（" + std::to_string(figures.first.memberCount) +
                            " 个）。"});
  }
  if (!rule.rule.judgesMembers() && rule.rule.leastMembers == 0) return;
  // The sample: at least the rule's least, and 1 % of the representative rooms when given.
  int needed = rule.rule.leastMembers;
  std::string why = "不少于 " + std::to_string(rule.rule.leastMembers) + " 个";
  const std::string rooms = values(kRoomCountKey);
  if (!rooms.empty()) {
    const int count = atoiValue(rooms);
    const int share = (count + 99) / 100;
    if (share > needed) needed = share;
    why += "，且为代表性自然间总数 " + rooms + " 的 1%（" + std::to_string(share) + " 个）";
  }
  if (ticked > 0 && ticked < needed) {
    findings.push_back({K::TooFewMembers, -1, std::string(kRoomCountKey),
                        "勾选了 " + std::to_string(ticked) + " 个构件，少于判定规则“" + rule.rule.name +
                            "”的抽样数量 " + std::to_string(needed) + " 个（" + why + "）。"});
  }
}

}  // namespace

ProjectCheck checkProject(const Project& project, const SettingsLocation& settings,
                          const std::optional<FormatFields>& format) {
  using K = Finding::Kind;
  ProjectCheck result;
  std::vector<Finding>& findings = result.findings;
  const ParameterValues values = effectiveParameters(project, settings);
  std::map<std::string, int> firstWithCode;
  bool anyTicked = false;
  for (int i = 0; i < project.memberCount(); ++i) {
    const MemberRecord& m = *project.memberAt(i);
    const std::string label = memberLabel(i, m);
    anyTicked = anyTicked || m.selected() != 0;
    if (m.readingCount() == 0) findings.push_back({K::NoReadings, i, {}, label + "：没有测点。"});
    if (m.minusDeviation() == 0 && m.plusDeviation() == 0) {
      findings.push_back(
          {K::ZeroTolerance, i, {}, label + "：允许偏差为 0/0，只有恰好等于设计厚度的测点合格。"});
    }
    const ToleranceBand band = toleranceBand(m);
    if (m.minusDeviation() > 0 || m.plusDeviation() < 0) {
      findings.push_back({K::DeviationSign,
                          i,
                          {},
                          label + "：偏差符号异常（允许负偏差 " + std::to_string(m.minusDeviation()) +
                              "，允许正偏差 " + std::to_string(m.plusDeviation()) + "）。"});
    }
    if (band.lower > band.upper) {
      findings.push_back({K::EmptyBand,
                          i,
                          {},
                          label + "：合格范围的下限 " + std::to_string(band.lower) + " mm 高于上限 " +
                              std::to_string(band.upper) + " mm，没有测点能合格。"});
    } else if (m.designThickness() > 0 &&  // a design of 0 or less is a finding of its own
               (band.lower < kLowestPlausibleReading || band.upper > kHighestPlausibleReading)) {
      findings.push_back({K::BandOutOfRange,
                          i,
                          {},
                          label + "：合格范围 " + std::to_string(band.lower) + "–" +
                              std::to_string(band.upper) + " mm 超出 " +
                              std::to_string(kLowestPlausibleReading) + "–" +
                              std::to_string(kHighestPlausibleReading) + " mm。"});
    }
    if (m.designThickness() <= 0) {
      findings.push_back({K::DesignNotPositive,
                          i,
                          {},
                          label + "：设计厚度为 " + std::to_string(m.designThickness()) + "。"});
    }
    auto [first, inserted] = firstWithCode.emplace(m.code(), i);
    if (!inserted) {
      findings.push_back({K::DuplicateCode,
                          i,
                          {},
                          label + "：测区编号与第 " + std::to_string(first->second + 1) + " 个构件相同。"});
    }
    std::vector<int> outside;
    for (int j = 0; j < m.readingCount(); ++j) {
      const int t = m.readingAt(j);
      if (t < kLowestPlausibleReading || t > kHighestPlausibleReading) outside.push_back(j);
    }
    if (!outside.empty()) {
      std::string list;
      for (std::size_t k = 0; k < outside.size() && k < 10; ++k) {
        list += (k == 0 ? "" : "、") + std::to_string(outside[k] + 1) + "（" +
                std::to_string(m.readingAt(outside[k])) + "）";
      }
      if (outside.size() > 10) list += " 等 " + std::to_string(outside.size()) + " 个";
      findings.push_back({K::ReadingsOutOfRange,
                          i,
                          {},
                          label + "：测点 " + list + " 的厚度不在 " +
                              std::to_string(kLowestPlausibleReading) + "–" +
                              std::to_string(kHighestPlausibleReading) + " mm 之内。"});
    }
  }
  if (project.memberCount() > 0 && !anyTicked) {
    findings.push_back(
        {K::NothingTicked, -1, {}, "没有勾选任何构件：报告、打印和导出只包括勾选的构件，现在不能输出。"});
  }
  const RuleInForce rule = values.rule();
  checkRule(project, settings, values, rule, findings, result.notes);
  if (values.ruleInvalid() && !rule.rule.fixedThreshold) {
    findings.push_back({K::InvalidRule, -1, std::string(kAcceptanceRuleKey),
                        "工程参数“合格率要求”（" + values(kAcceptanceRuleKey) +
                            "）不是 0 到 100 之间、最多一位小数的数，按 90% 判定。"});
  }
  const ReportFigures figures = reportFigures(project, values.rule());
  if (anyTicked) result.notes.push_back(tickedTotalsLine(figures));
  if (anyTicked && !figures.unticked.empty()) {
    std::string codes;
    for (std::size_t k = 0; k < figures.unticked.size() && k < 10; ++k)
      codes += (k == 0 ? "" : "、") + gbkToUtf8(project.memberAt(figures.unticked[k])->code());
    if (figures.unticked.size() > 10) codes += " 等";
    result.notes.push_back(std::to_string(figures.unticked.size()) + " 个构件未勾选，不计入报告：" + codes);
  }
  if (!project.parameters.stored || project.parameters.fromDefaults) {
    const bool unreadable = project.keptBlock(kParametersTag) != nullptr;
    result.notes.push_back(std::string(unreadable ? "文件中的工程参数无法读取" : "文件中没有工程参数") +
                           "：合格率要求 " + values(kAcceptanceRuleKey) + "% 和其他参数取自本机的默认值" +
                           (unreadable ? "。" : "，保存后写入文件。"));
  }
  if (!format) {
    result.notes.push_back("没有选择报告格式，没有检查报告的工程参数（工具 → 工程参数设置）。");
    return result;
  }
  for (const std::string& problem : format->problems) {
    findings.push_back(
        {K::TemplateField, -1, {}, format->name + "：" + problem + (problem.ends_with("。") ? "" : "。")});
  }
  for (const std::string& key : format->printed) {
    if (!values(key).empty()) continue;
    findings.push_back({K::EmptyParameter, -1, key, format->name + "的工程参数“" + key + "”是空的。"});
  }
  return result;
}

void addRecordFindings(ProjectCheck& check, const Project& project, const std::filesystem::path& file) {
  ReplayReport replay = replayRecord(project, file);
  for (const std::string& finding : replay.findings) {
    Finding f{Finding::Kind::Record, -1, {}, "修改记录：" + finding + "。"};
    check.findings.push_back(std::move(f));
  }
  // Where the check began, when it found something.
  if (!replay.findings.empty() && !replay.start.empty()) check.notes.push_back(replay.start + "。");
}

std::string_view findingKindName(Finding::Kind kind) {
  switch (kind) {
    case Finding::Kind::NoReadings:
      return "noReadings";
    case Finding::Kind::ZeroTolerance:
      return "zeroTolerance";
    case Finding::Kind::DesignNotPositive:
      return "designNotPositive";
    case Finding::Kind::DuplicateCode:
      return "duplicateCode";
    case Finding::Kind::NothingTicked:
      return "nothingTicked";
    case Finding::Kind::ReadingsOutOfRange:
      return "readingsOutOfRange";
    case Finding::Kind::EmptyBand:
      return "emptyBand";
    case Finding::Kind::BandOutOfRange:
      return "bandOutOfRange";
    case Finding::Kind::DeviationSign:
      return "deviationSign";
    case Finding::Kind::EmptyParameter:
      return "emptyParameter";
    case Finding::Kind::InvalidRule:
      return "invalidRule";
    case Finding::Kind::TemplateField:
      return "templateField";
    case Finding::Kind::JudgingRule:
      return "judgingRule";
    case Finding::Kind::StandardEdition:
      return "standardEdition";
    case Finding::Kind::PointCount:
      return "pointCount";
    case Finding::Kind::TooFewMembers:
      return "tooFewMembers";
    case Finding::Kind::SecondSample:
      return "secondSample";
    case Finding::Kind::Record:
      return "record";
  }
  return "";
}

}  // namespace kro
