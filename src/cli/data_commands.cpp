// stats, export --csv, import.
#include "cli/data_commands.h"

#include <cstdio>

#include "cli/arguments.h"
#include "export/csv_exchange.h"
#include "model/analysis_file.h"
#include "model/file_io.h"
#include "model/gbk_text.h"
#include "model/project_diff.h"
#include "model/statistics.h"
#include "report/project_check.h"
#include "report/report_parameters.h"
#include "transfer/received_data.h"
#include "views/project_overview.h"

namespace kro::cli {

namespace {

std::string fixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

std::string percent(const std::optional<double>& rate) { return rate ? fixed(*rate * 100.0, 1) + "%" : "-"; }

template <class T>
std::string orDash(const std::optional<T>& value, int decimals = 0) {
  if (!value) return "-";
  if constexpr (std::is_integral_v<T>) {
    return std::to_string(*value);
  } else {
    return fixed(*value, decimals);
  }
}

void putOptional(Json& j, const char* key, const auto& value) {
  if (value) j[key] = *value;
}

void printStatsJson(const Project& project, std::ostream& out) {
  Json members = Json::array();
  for (const MemberRecord& m : project.members) {
    const MemberFigures f = computeFigures(m);
    Json j{{"code", gbkToUtf8(m.code())}, {"readingCount", f.readingCount}, {"passCount", f.passCount}};
    putOptional(j, "passRate", f.passRate);
    putOptional(j, "maxThickness", f.maxThickness);
    putOptional(j, "minThickness", f.minThickness);
    putOptional(j, "mean", f.mean);
    putOptional(j, "standardDeviation", f.standardDeviation);
    members.push_back(std::move(j));
  }
  const SelectionFigures s = selectionFigures(project.members);
  Json totals{{"readingCount", s.readingCount}, {"passCount", s.passCount}};
  putOptional(totals, "passRate", s.passRate);
  putOptional(totals, "mean", s.mean);
  putOptional(totals, "standardDeviation", s.standardDeviation);
  Json histogram = Json::array();
  for (const auto& [deviation, count] : s.deviationHistogram) {
    histogram.push_back({{"deviation", deviation}, {"count", count}});
  }
  out << Json{{"members", std::move(members)},
              {"totals", std::move(totals)},
              {"deviationHistogram", std::move(histogram)}}
             .dump()
      << "\n";
}

void printStatsText(const Project& project, std::ostream& out) {
  out << "测区编号\t测点数\t合格点数\t合格率\t最大值\t最小值\t平均值\t标准差\n";
  for (const MemberRecord& m : project.members) {
    const MemberFigures f = computeFigures(m);
    out << printable(gbkToUtf8(m.code())) << "\t" << f.readingCount << "\t" << f.passCount << "\t"
        << percent(f.passRate) << "\t" << orDash(f.maxThickness) << "\t" << orDash(f.minThickness) << "\t"
        << orDash(f.mean, 1) << "\t" << orDash(f.standardDeviation, 2) << "\n";
  }
  const SelectionFigures s = selectionFigures(project.members);
  out << "\n选中构件：测点 " << s.readingCount << " 个，合格 " << s.passCount << " 个，合格率 "
      << percent(s.passRate) << "，平均值 " << orDash(s.mean, 1) << "，标准差 "
      << orDash(s.standardDeviation, 2) << "\n";
  if (s.deviationHistogram.empty()) return;
  out << "\n偏差（mm）\t测点数\n";
  for (const auto& [deviation, count] : s.deviationHistogram) {
    out << (deviation > 0 ? "+" : "") << deviation << "\t" << count << "\n";
  }
}

}  // namespace

int commandStats(const Context& cx, const std::vector<std::string>& args) {
  std::string error;
  auto a = Arguments::parse(args, {"--json"}, {}, error);
  if (!a) return cx.usage(error);
  if (a->positional().size() != 1) return cx.usage("stats 需要一个输入文件");
  auto loaded = load(cx, a->positional()[0]);
  if (!loaded) return cx.fail(loaded.message());
  if (a->has("--json")) {
    printStatsJson(loaded.value().project, cx.out);
  } else {
    printStatsText(loaded.value().project, cx.out);
  }
  return kSuccess;
}

int commandExport(const Context& cx, const std::vector<std::string>& args) {
  std::string error;
  auto a = Arguments::parse(args, {"--csv"}, {"-o"}, error);
  if (!a) return cx.usage(error);
  if (!a->has("--csv")) return cx.usage("export 需要 --csv");
  if (a->positional().size() != 1) return cx.usage("export 需要一个输入文件");
  auto output = a->value("-o");
  if (!output) return cx.usage("export 需要用 -o 指定输出文件");
  auto loaded = load(cx, a->positional()[0]);
  if (!loaded) return cx.fail(loaded.message());
  if (Status s = refuseOverwritingInput(*output, loaded.value().sources); !s) return cx.fail(s.message());
  if (Status s = writeFileAtomically(*output, projectToCsv(loaded.value().project)); !s)
    return cx.fail(s.message());
  return kSuccess;
}

int commandImport(const Context& cx, const std::vector<std::string>& args) {
  std::string error;
  auto a = Arguments::parse(args, {}, {"-o"}, error);
  if (!a) return cx.usage(error);
  if (a->positional().size() != 1) return cx.usage("import 需要一个 CSV 文件");
  auto output = a->value("-o");
  if (!output) return cx.usage("import 需要用 -o 指定输出文件");
  const std::string& input = a->positional()[0];
  auto bytes = readWholeFile(input, kMaxProjectFileSize);
  if (!bytes) return cx.fail(bytes.message());
  auto members = membersFromCsv(bytes.value());
  if (!members) return cx.fail("“" + displayPath(input) + "”" + members.message());
  if (Status s = refuseOverwritingInput(*output, {input}); !s) return cx.fail(s.message());
  if (Status s = writeAnalysisFile(*output, members.value()); !s) return cx.fail(s.message());
  return kSuccess;
}

int commandCheck(const Context& cx, const std::vector<std::string>& args) {
  std::string error;
  auto a = Arguments::parse(args, {"--json"}, {"--format", "--config-dir"}, error);
  if (!a) return cx.usage(error);
  if (a->positional().size() != 1) return cx.usage("check 需要一个输入文件");
  auto format = formatOption(*a);
  if (!format) return cx.usage(format.message());
  auto loaded = load(cx, a->positional()[0]);
  if (!loaded) {
    cx.fail(loaded.message());
    return kUsage;
  }
  const Project& project = loaded.value().project;
  const std::vector<Finding> findings = checkProject(project, settingsFor(*a), format.value());
  if (a->has("--json")) {
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
    cx.out << Json{{"findings", std::move(list)}}.dump() << "\n";
  } else {
    for (const Finding& f : findings) cx.out << printable(f.message) << "\n";
  }
  return findings.empty() ? kSuccess : kFailure;
}

int commandDiff(const Context& cx, const std::vector<std::string>& args) {
  std::string error;
  auto a = Arguments::parse(args, {"--json"}, {}, error);
  if (!a) return cx.usage(error);
  if (a->positional().size() != 2) return cx.usage("diff 需要原始文件和修改后的文件");
  Project sides[2];
  for (int i = 0; i < 2; ++i) {
    auto loaded = loadProjectOrReceived(a->positional()[static_cast<std::size_t>(i)]);
    if (!loaded) {
      cx.fail(loaded.message());
      return kUsage;
    }
    for (const std::string& warning : loaded.value().warnings) cx.err << "kro: 警告：" << warning << "\n";
    sides[i] = std::move(loaded.value().project);
  }
  const Project& original = sides[0];
  const Project& edited = sides[1];
  const ProjectDiff d = diffProjects(original, edited);
  auto codeIn = [](const Project& p, int member) { return gbkToUtf8(p.memberAt(member)->code()); };
  if (a->has("--json")) {
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
    cx.out << Json{{"changed", std::move(changed)},
                   {"added", std::move(added)},
                   {"removed", std::move(removed)}}
                  .dump()
           << "\n";
  } else {
    for (const std::string& line : comparisonLines(d, original, edited)) cx.out << printable(line) << "\n";
  }
  return d.empty() ? kSuccess : kFailure;
}

}  // namespace kro::cli
