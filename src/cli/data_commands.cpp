// stats, export --csv, import.
#include "cli/data_commands.h"

#include "cli/arguments.h"
#include "export/csv_exchange.h"
#include "model/analysis_file.h"
#include "model/figure_text.h"
#include "model/file_io.h"
#include "model/gbk_text.h"
#include "model/project_blocks.h"
#include "model/project_diff.h"
#include "model/record_replay.h"
#include "model/report_figures.h"
#include "model/statistics.h"
#include "office/docx_template.h"
#include "report/project_check.h"
#include "report/project_parameters.h"
#include "report/report_generator.h"
#include "report/user_format.h"
#include "transfer/received_data.h"
#include "views/project_overview.h"

namespace kro::cli {

namespace {

void putOptional(Json& j, const char* key, const auto& value) {
  if (value) j[key] = *value;
}

std::string meanOrDash(std::int64_t sum, std::int64_t count) {
  return count > 0 ? tenthsText(sum, count) : "-";
}
std::string deviationOrDash(const std::optional<double>& value) {
  return value ? decimalText(*value, 2) : "-";
}

// Readings of a member in the rule's band.
std::int64_t passingReadings(const MemberRecord& m, const JudgingRule& rule) {
  std::int64_t n = 0;
  for (int j = 0; j < m.readingCount(); ++j) n += readingPasses(m, j, rule) ? 1 : 0;
  return n;
}

Json ruleJson(const ReportFigures& f) {
  Json j{{"name", f.judging.name},
         {"judged", f.judgesMembers() ? "memberMean" : "reading"},
         {"minus", nullptr},
         {"plus", nullptr},
         {"threshold", f.rule.tenths / 10.0},
         {"secondSampleFrom", nullptr}};
  if (f.judging.secondSampleFrom) j["secondSampleFrom"] = f.judging.secondSampleFrom->tenths / 10.0;
  if (f.judging.fixedBand) {
    j["minus"] = f.judging.fixedBand->first;
    j["plus"] = f.judging.fixedBand->second;
  }
  return j;
}

void printStatsJson(const Project& project, const RuleInForce& rule, std::ostream& out) {
  const ReportFigures figures = reportFigures(project, rule);
  Json members = Json::array();
  for (const MemberRecord& m : project.members) {
    const MemberFigures f = computeFigures(m);
    Json j{{"code", gbkToUtf8(m.code())},
           {"readingCount", f.readingCount},
           {"passCount", passingReadings(m, rule.rule)}};
    if (f.readingCount > 0)
      j["passRate"] = static_cast<double>(j["passCount"].get<std::int64_t>()) / f.readingCount;
    putOptional(j, "maxThickness", f.maxThickness);
    putOptional(j, "minThickness", f.minThickness);
    putOptional(j, "mean", f.mean);
    putOptional(j, "standardDeviation", f.standardDeviation);
    if (rule.rule.judgesMembers()) {
      if (const auto mean = judgeMemberMean(m, rule.rule)) {
        if (mean->recorded) j["recordedMean"] = *mean->recorded;
        j["passes"] = mean->passes;
      }
    }
    members.push_back(std::move(j));
  }
  const SelectionFigures s = selectionFigures(project.members);
  Json ticked = countsJson(figures.readingCount, figures.passCount);
  putOptional(ticked, "mean", s.mean);
  putOptional(ticked, "standardDeviation", s.standardDeviation);
  ticked["memberCount"] = figures.memberCount;
  ticked["memberPassCount"] = figures.memberPassCount;
  ticked["acceptanceRule"] = figures.rule.tenths / 10.0;
  ticked["passes"] = figures.passes;
  const Totals all = documentTotals(project.members);
  Json histogram = Json::array();
  for (const auto& [deviation, count] : s.deviationHistogram) {
    histogram.push_back({{"deviation", deviation}, {"count", count}});
  }
  Json j = jsonOutput();
  j["rule"] = ruleJson(figures);
  j["verdict"] = figures.verdict();
  if (figures.judging.secondSampleFrom) {
    auto sample = [](std::int64_t count, std::int64_t passing) {
      Json counts{{"memberCount", count}, {"memberPassCount", passing}};
      if (count > 0) counts["passRate"] = static_cast<double>(passing) / static_cast<double>(count);
      return counts;
    };
    Json samples = Json::array({sample(figures.first.memberCount, figures.first.memberPassCount)});
    if (figures.second.memberCount > 0)
      samples.push_back(sample(figures.second.memberCount, figures.second.memberPassCount));
    j["samples"] = std::move(samples);
    j["combined"] = sample(figures.memberCount, figures.memberPassCount);
    j["combined"]["judgesBothSamples"] = figures.judgesBothSamples();
    if (figures.needsSecondSample()) j["membersToAdd"] = figures.first.memberCount;
  }
  j["members"] = std::move(members);
  j["totals"] = Json{{"all", countsJson(all.readingCount, all.passCount)}, {"ticked", std::move(ticked)}};
  j["deviationHistogram"] = std::move(histogram);
  out << jsonText(j) << "\n";
}

void printStatsText(const Project& project, const RuleInForce& rule, std::ostream& out) {
  const bool byMean = rule.rule.judgesMembers();
  out << "测区编号\t测点数\t合格点数\t合格率\t最大值\t最小值\t平均值\t标准差"
      << (byMean ? "\t判定值\t判定" : "") << "\n";
  auto dash = [](const std::optional<std::int32_t>& v) { return v ? std::to_string(*v) : std::string("-"); };
  for (const MemberRecord& m : project.members) {
    const MemberFigures f = computeFigures(m);
    const std::int64_t passing = passingReadings(m, rule.rule);
    out << printable(gbkToUtf8(m.code())) << "\t" << f.readingCount << "\t" << passing << "\t"
        << (f.readingCount > 0 ? percentText(passing, f.readingCount) + "%" : "-") << "\t"
        << dash(f.maxThickness) << "\t" << dash(f.minThickness) << "\t"
        << meanOrDash(f.thicknessSum, f.readingCount) << "\t" << deviationOrDash(f.standardDeviation);
    if (byMean) {
      const auto mean = judgeMemberMean(m, rule.rule);
      out << "\t" << (mean ? mean->text : "-") << "\t" << (mean ? (mean->passes ? "合格" : "不合格") : "-");
    }
    out << "\n";
  }
  const ReportFigures figures = reportFigures(project, rule);
  const SelectionFigures s = selectionFigures(project.members);
  out << "\n勾选构件：";
  if (byMean) {
    out << "构件 " << figures.memberCount << " 个，合格 " << figures.memberPassCount << " 个";
  } else {
    out << "测点 " << figures.readingCount << " 个，合格 " << figures.passCount << " 个";
  }
  out << "，合格率 " << (figures.judgedCount() > 0 ? figures.rateText + "%" : "-") << "（要求 "
      << figures.ruleText << "%）：" << figures.verdict() << "，平均值 "
      << meanOrDash(s.thicknessSum, s.readingCount) << "，标准差 " << deviationOrDash(s.standardDeviation)
      << "\n";
  out << "判定规则：" << figures.ruleLine() << "\n";
  if (std::string samples = figures.samplesText(); !samples.empty()) out << samples << "。\n";
  if (s.deviationHistogram.empty()) return;
  out << "\n偏差（mm）\t测点数\n";
  for (const auto& [deviation, count] : s.deviationHistogram) {
    out << (deviation > 0 ? "+" : "") << deviation << "\t" << count << "\n";
  }
}

}  // namespace

int commandStats(const Context& cx, Invocation& call) {
  const Project& project = call.loaded();
  const RuleInForce rule = effectiveParameters(project, settingsFor(call.args)).rule();
  if (call.args.has("--json")) {
    printStatsJson(project, rule, cx.out);
  } else {
    printStatsText(project, rule, cx.out);
  }
  return kSuccess;
}

int commandExport(const Context& cx, Invocation& call) {
  if (!call.args.has("--csv")) return cx.usage("export 需要 --csv");
  if (Status s = writeOutput(cx, call.output, projectToCsv(call.loaded()), OutputKind::Text); !s)
    return cx.fail(s.message());
  return kSuccess;
}

int commandImport(const Context& cx, Invocation& call) {
  const std::string& input = call.inputs()[0];
  auto bytes = readInput(cx, input);
  if (!bytes) return cx.fail(bytes.message());
  std::vector<std::string> notes;
  auto members = membersFromCsv(bytes.value(), &notes);
  if (!members) return cx.fail("“" + input + "”" + members.message());
  for (const std::string& note : notes)
    cx.err << "kro: 注意：“" << printable(input) << "”" << printable(note) << "\n";
  Project project{std::move(members.value()), officeParameters(settingsFor(call.args))};
  beginRecord(project,
              sourceFromInput(ProjectSource::Kind::Import, input, bytes.value(), project.members.size()),
              cliRecorder());
  if (Status s = writeOutput(cx, call.output, encodeProjectFile(project), OutputKind::Binary); !s)
    return cx.fail(s.message());
  return kSuccess;
}

int commandCheck(const Context& cx, Invocation& call) {
  const SettingsLocation settings = settingsFor(call.args);
  auto format = formatOption(call.args, settings);
  if (!format) return cx.usage(format.message());
  const Project& project = call.loaded();
  // The given format, else the chosen one; a user format's fields are checked too.
  const std::optional<ChosenFormat> chosen = format.value() ? format.value() : chosenFormat(settings);
  DocxTemplateFiller filler(fieldCatalog());
  ProjectCheck check =
      checkProject(project, settings, chosen ? std::optional(formatFields(*chosen, filler)) : std::nullopt);
  const std::string& input = call.inputs()[0];
  addRecordFindings(check, project, input == kStandardStream ? std::filesystem::path() : pathFromUtf8(input));
  const std::vector<Finding>& findings = check.findings;
  if (call.args.has("--json")) {
    Json list = Json::array();
    for (const Finding& f : findings) {
      Json j{{"kind", findingKindName(f.kind)}};
      if (f.member >= 0) {
        j["member"] = f.member + 1;
        j["code"] = gbkToUtf8(project.memberAt(f.member)->code());
      }
      if (!f.parameter.empty()) j["parameter"] = f.parameter;
      j["message"] = f.message;
      list.push_back(std::move(j));
    }
    Json j = jsonOutput();
    j["findings"] = std::move(list);
    j["notes"] = check.notes;
    cx.out << jsonText(j) << "\n";
  } else {
    for (const Finding& f : findings) cx.out << printable(f.message) << "\n";
    for (const std::string& note : check.notes) cx.out << "注：" << printable(note) << "\n";
  }
  return findings.empty() ? kSuccess : kFailure;
}

int commandHistory(const Context& cx, Invocation& call) {
  const Project& project = call.loaded();
  if (call.args.has("--json")) {
    Json sources = Json::array();
    for (const ProjectSource& s : project.sources) {
      Json files = Json::array();
      for (const SourceFile& f : s.files)
        files.push_back(Json{{"name", f.name}, {"folder", f.location}, {"sha256", hexOf(f.sha256)}});
      sources.push_back(Json{{"kind", sourceKindName(s.kind)},
                             {"when", s.when},
                             {"members", s.members},
                             {"codePrefix", gbkToUtf8(s.codePrefix)},
                             {"files", std::move(files)}});
    }
    Json entries = Json::array();
    for (const LogEntry& e : project.log) {
      const EntryTexts t = entryTexts(e);
      entries.push_back(
          Json{{"member", t.member.empty() ? Json(nullptr) : Json(t.member)},
               {"reading", e.change.reading >= 0 ? Json(std::int64_t{e.change.reading} + 1) : Json(nullptr)},
               {"field", t.field},
               {"old", t.oldValue},
               {"new", t.newValue},
               {"who", t.who},
               {"account", t.account},
               {"host", t.host},
               {"when", t.when},
               {"why", t.why},
               {"hash", t.hash}});
    }
    Json j = jsonOutput();
    j["sources"] = std::move(sources);
    j["entries"] = std::move(entries);
    j["damaged"] = project.logDamaged();
    cx.out << jsonText(j) << "\n";
    return kSuccess;
  }
  for (const ProjectSource& s : project.sources) {
    cx.out << "来源：" << sourceKindName(s.kind) << "  " << s.when << "  " << s.members << " 个构件";
    if (!s.codePrefix.empty()) cx.out << "  编号前缀 " << printable(gbkToUtf8(s.codePrefix));
    for (const SourceFile& f : s.files)
      cx.out << "\n  " << printable(f.name) << "  SHA-256 " << hexOf(f.sha256);
    cx.out << "\n";
  }
  if (project.logDamaged()) cx.out << "修改记录已损坏，已原样保留。\n";
  if (project.log.empty()) {
    cx.out << "没有修改记录。\n";
    return kSuccess;
  }
  for (std::size_t k = 0; k < project.log.size(); ++k) {
    const EntryTexts t = entryTexts(project.log[k]);
    std::string what = t.member.empty() ? std::string() : "构件 " + t.member;
    if (!t.reading.empty()) what += " 第 " + t.reading + " 个测点";
    std::string line = std::to_string(k + 1) + "  " + t.when + "  " + (t.who.empty() ? "" : t.who + " ") +
                       "(" + t.account + "@" + t.host + ")  " + what + (what.empty() ? "" : "  ") + t.field;
    if (!t.oldValue.empty() && !t.newValue.empty()) {
      line += "：" + t.oldValue + " → " + t.newValue;
    } else if (!t.oldValue.empty() || !t.newValue.empty()) {
      line += "：" + t.oldValue + t.newValue;
    }
    if (!t.why.empty()) line += "  原因：" + t.why;
    cx.out << printable(line) << "\n";
  }
  cx.out << "最后一条的 SHA-256：" << hexOf(project.log.back().hash) << "\n";
  return kSuccess;
}

int commandDiff(const Context& cx, Invocation& call) {
  const bool readingsOnly = call.args.has("--readings-only");
  Project sides[2];
  for (int i = 0; i < 2; ++i) {
    auto loaded = loadProject(pathFromUtf8(call.inputs()[static_cast<std::size_t>(i)]));
    if (!loaded) return cx.fail(loaded.message());
    for (const std::string& warning : loaded.value().warnings) cx.err << "kro: 警告：" << warning << "\n";
    sides[i] = std::move(loaded.value().project);
  }
  const Project& original = sides[0];
  const Project& edited = sides[1];
  const ProjectDiff d = diffProjects(original, edited);
  auto codeIn = [](const Project& p, int member) { return gbkToUtf8(p.memberAt(member)->code()); };
  if (call.args.has("--json")) {
    Json changed = Json::array(), added = Json::array(), removed = Json::array();
    for (const auto& c : d.changed) {
      changed.push_back({{"code", codeIn(edited, c.editedMember)},
                         {"reading", c.reading + 1},
                         {"from", c.from},
                         {"to", c.to}});
    }
    for (int m : d.addedMembers) added.push_back({{"code", codeIn(edited, m)}});
    for (const auto& r : d.addedReadings) {
      added.push_back({{"code", codeIn(edited, r.member)}, {"reading", r.reading + 1}, {"value", r.value}});
    }
    for (int m : d.removedMembers) removed.push_back({{"code", codeIn(original, m)}});
    for (const auto& r : d.removedReadings) {
      removed.push_back(
          {{"code", codeIn(original, r.member)}, {"reading", r.reading + 1}, {"value", r.value}});
    }
    Json fields = Json::array();
    if (!readingsOnly) {
      for (const auto& f : d.fields) {
        fields.push_back(
            {{"code", codeIn(edited, f.editedMember)}, {"field", f.field}, {"from", f.from}, {"to", f.to}});
      }
    }
    Json j = jsonOutput();
    j["changed"] = std::move(changed);
    j["added"] = std::move(added);
    j["removed"] = std::move(removed);
    j["fields"] = std::move(fields);
    cx.out << jsonText(j) << "\n";
  } else {
    for (const ComparisonLine& line : comparisonLines(d, original, edited, readingsOnly))
      cx.out << printable(line.text) << "\n";
  }
  return d.empty(readingsOnly) ? kSuccess : kFailure;
}

int commandParams(const Context& cx, Invocation& call) {
  const std::vector<std::string> sets = call.args.values("--set");
  auto output = call.args.value("-o");
  if (sets.empty() && output) return cx.usage("params 只在有 --set 时写文件");
  if (!sets.empty() && !output) return cx.usage("params --set 需要用 -o 指定输出文件");
  Project& project = call.loaded();
  ParameterValues values = effectiveParameters(project, settingsFor(call.args));
  if (sets.empty()) {
    if (call.args.has("--json")) {
      Json all = Json::object();
      for (const auto& [name, value] : values.all()) all[name] = value;
      Json j = jsonOutput();
      j["stored"] = project.parameters.stored;
      j["parameters"] = std::move(all);
      cx.out << jsonText(j) << "\n";
      return kSuccess;
    }
    cx.out << (project.parameters.stored ? "工程参数（保存在文件中）：\n"
                                         : "工程参数（文件中没有，以下为默认值）：\n");
    for (const ParameterDefinition& d : parameterDefinitions()) {
      std::string label(d.name);
      for (std::string_view synonym : d.synonyms) label += "/" + std::string(synonym);
      cx.out << label << "：" << printable(values(d.name)) << "\n";
    }
    for (const auto& [name, value] : values.all()) {
      if (parameterDefinition(name) == nullptr && !name.starts_with(kRuleFieldPrefix))
        cx.out << printable(name) << "：" << printable(value) << "\n";
    }
    const RuleInForce rule = values.rule();
    cx.out << "判定：" << printable(ruleSummary(rule.rule, rule.threshold)) << "\n";
    if (std::string problem = values.ruleProblem(); !problem.empty())
      cx.out << "注：" << printable(problem) << "\n";
    return kSuccess;
  }
  for (const std::string& set : sets) {
    const std::size_t eq = set.find('=');
    if (eq == std::string::npos || eq == 0) return cx.usage("--set 取 名称=值，而不是“" + set + "”");
    const std::string name = set.substr(0, eq);
    const std::string value = set.substr(eq + 1);
    if (canonicalParameterName(name) == kAcceptanceRuleKey && !parseAcceptanceRule(value)) {
      return cx.usage("合格率要求取 0 到 100 之间、最多一位小数的数，而不是“" + value + "”");
    }
    if (name.starts_with(kRuleFieldPrefix)) {
      return cx.usage("判定规则的定义随规则一起设置（--set 判定规则=名称），不能单独设置“" + name + "”");
    }
    if (name == kJudgingRuleKey) {
      auto rule = officeRuleNamed(settingsFor(call.args), value);
      if (!rule) return cx.usage(rule.message());
      values.setRule(rule.value());
      continue;
    }
    if (parameterDefinition(name) == nullptr)
      cx.err << "kro: 警告：没有报告格式使用参数“" << name << "”，照样保存\n";
    values.set(name, value);
  }
  if (Status s = parametersChangeable(project); !s) return cx.fail(s.message());
  auto stored = toStoredParameters(values, project.parameters);
  if (!stored) return cx.fail(stored.message());
  const ProjectParameters before = project.parameters;
  project.parameters = std::move(stored.value());
  // Each parameter set anew is an entry of the project's log (which begins here for a file without one).
  recordChanges(project, project.members, before, cliRecorder());
  if (Status s = writeOutput(cx, call.output, encodeProjectFile(project), OutputKind::Binary); !s)
    return cx.fail(s.message());
  return kSuccess;
}

}  // namespace kro::cli

namespace kro::cli {

int commandFormats(const Context& cx, Invocation& call) {
  const SettingsLocation settings = settingsFor(call.args);
  struct Checked {
    UserFormat format;
    Result<TemplateFields> fields;
  };
  std::vector<Checked> user;
  DocxTemplateFiller filler(fieldCatalog());
  for (UserFormat& f : userFormats(settings)) {
    auto fields = filler.check(f.file);
    user.push_back({std::move(f), std::move(fields)});
  }
  const std::string folder = displayPath(userFormatFolder(settings));
  if (call.args.has("--json")) {
    Json j = jsonOutput();
    Json builtIn = Json::array();
    for (int f = 0; f < kReportFormatCount; ++f) {
      builtIn.push_back({{"format", f + 1}, {"name", std::string(reportFormatInfo(f).comboText)}});
    }
    j["builtIn"] = std::move(builtIn);
    j["folder"] = folder;
    Json list = Json::array();
    for (const Checked& c : user) {
      Json u{{"name", c.format.name}, {"file", displayPath(c.format.file)}};
      if (c.fields) {
        u["parameters"] = c.fields.value().parameters;
        u["declaredParameters"] = c.fields.value().declaredParameters;
        u["problems"] = c.fields.value().problems;
      } else {
        u["problems"] = Json::array({c.fields.message()});
      }
      list.push_back(std::move(u));
    }
    j["user"] = std::move(list);
    j["fields"] = Json{{"project", fieldNames(FieldScope::Project)},
                       {"member", fieldNames(FieldScope::Member)},
                       {"reading", fieldNames(FieldScope::Reading)},
                       {"log", fieldNames(FieldScope::LogEntry)}};
    cx.out << jsonText(j) << "\n";
    return kSuccess;
  }
  cx.out << "内置格式：\n";
  for (int f = 0; f < kReportFormatCount; ++f)
    cx.out << "  " << f + 1 << "  " << reportFormatInfo(f).comboText << "\n";
  cx.out << "用户格式（" << printable(folder) << "）：\n";
  if (user.empty()) cx.out << "  （没有）\n";
  for (const Checked& c : user) {
    cx.out << "  " << printable(c.format.name);
    if (!c.fields) {
      cx.out << "：" << printable(c.fields.message()) << "\n";
      continue;
    }
    const TemplateFields& f = c.fields.value();
    cx.out << (f.problems.empty() ? "" : "（字段有问题）") << "\n";
    auto joined = [](const std::vector<std::string>& names) {
      std::string text;
      for (const std::string& n : names) text += (text.empty() ? "" : "、") + n;
      return text.empty() ? std::string("无") : text;
    };
    cx.out << "    工程参数：" << printable(joined(f.parameters)) << "\n";
    cx.out << "    自定义参数：" << printable(joined(f.declaredParameters)) << "\n";
    for (const std::string& p : f.problems) cx.out << "    问题：" << printable(p) << "\n";
  }
  auto names = [](FieldScope scope) {
    std::string text;
    for (const std::string& n : fieldNames(scope)) text += (text.empty() ? "" : " ") + ("{{" + n + "}}");
    return text;
  };
  cx.out << "字段：\n  工程与合计：" << names(FieldScope::Project)
         << " {{参数:名称}}\n  构件（{{#构件}} … {{/构件}} 之内）：" << names(FieldScope::Member)
         << "\n  测点（有 {{#测点}} 的表格行中）：" << names(FieldScope::Reading)
         << "\n  修改记录（{{#修改记录}} … {{/修改记录}} 之内）：{{序号}} " << names(FieldScope::LogEntry)
         << "\n";
  return kSuccess;
}

int commandRules(const Context& cx, Invocation& call) {
  const SettingsLocation settings = settingsFor(call.args);
  const OfficeRules office = officeRules(settings);
  for (const std::string& problem : office.problems) cx.err << "kro: 警告：" << printable(problem) << "\n";
  if (call.args.has("--json")) {
    Json list = Json::array();
    for (const JudgingRule& rule : office.rules) {
      Json fields = Json::object();
      for (const auto& [key, value] : ruleFields(rule)) fields[key] = value;
      list.push_back({{"name", rule.name},
                      {"builtIn", builtInRule(rule.name) != nullptr && *builtInRule(rule.name) == rule},
                      {"fields", std::move(fields)}});
    }
    Json j = jsonOutput();
    j["folder"] = displayPath(officeRuleFolder(settings));
    j["rules"] = std::move(list);
    cx.out << jsonText(j) << "\n";
    return kSuccess;
  }
  cx.out << "判定规则（本单位的规则在“" << printable(displayPath(officeRuleFolder(settings))) << "”中）：\n";
  for (const JudgingRule& rule : office.rules) {
    cx.out << "  " << printable(rule.name) << "\n";
    for (const auto& [key, value] : ruleFields(rule)) {
      if (key != kRuleNameKey) cx.out << "    " << key << "：" << printable(value) << "\n";
    }
  }
  return kSuccess;
}

}  // namespace kro::cli
