// The kro commands that only read and write files, the usage text and the dispatch.
#include "cli/cli.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <nlohmann/json.hpp>
#include <ostream>

#include "cli/arguments.h"
#include "cli/command_context.h"
#include "cli/command_declarations.h"
#include "cli/data_commands.h"
#ifdef KRO_WITH_REGISTER
#include "cli/register_commands.h"
#endif
#include "cli/device_commands.h"
#include "export/spreadsheet_export.h"
#include "model/analysis_file.h"
#include "model/figure_text.h"
#include "model/file_io.h"
#include "model/gbk_text.h"
#include "model/panel_texts.h"
#include "model/project.h"
#include "model/raw_files.h"
#include "model/record_replay.h"
#include "model/sample_project.h"
#include "model/statistics.h"
#include "model/transfer_decoder.h"
#include "model/utf8_text.h"
#include "office/docx_template.h"
#include "office/xlsx_excel_session.h"
#include "platform/console.h"
#include "report/project_parameters.h"
#include "report/report_generator.h"
#include "report/report_parameters.h"

namespace kro::cli {
namespace fs = std::filesystem;

namespace {

std::string padRight(const std::string& text, std::size_t width) {
  std::size_t w = displayWidth(text);
  return w >= width ? text : text + std::string(width - w, ' ');
}

std::string padLeft(const std::string& text, std::size_t width) {
  std::size_t w = displayWidth(text);
  return w >= width ? text : std::string(width - w, ' ') + text;
}

// A stored float as JSON: the shortest decimal that reads back as the same float.
double shortestDecimal(float value) {
  if (!std::isfinite(value)) return static_cast<double>(value);
  char text[32];
  for (int digits = 1; digits <= 9; ++digits) {
    std::snprintf(text, sizeof text, "%.*g", digits, static_cast<double>(value));
    if (std::strtof(text, nullptr) == value) break;
  }
  return std::strtod(text, nullptr);
}

// The figures computed from a member's readings; absent figures are left out.
Json figuresJson(const MemberFigures& f) {
  Json j{{"readingCount", f.readingCount}, {"passCount", f.passCount}};
  if (f.passRate) j["passRate"] = *f.passRate;
  if (f.maxThickness) j["maxThickness"] = *f.maxThickness;
  if (f.minThickness) j["minThickness"] = *f.minThickness;
  if (f.mean) j["mean"] = *f.mean;
  if (f.standardDeviation) j["standardDeviation"] = *f.standardDeviation;
  return j;
}

// Every stored field as stored, then what the readings give.
Json memberJson(const MemberRecord& m, const std::vector<bool>& corrected) {
  const MemberData& d = m.data();
  Json readings = Json::array();
  for (std::size_t j = 0; j < d.readings.size(); ++j) {
    const Reading& r = d.readings[j];
    readings.push_back(Json{{"thickness", r.thickness},
                            {"aux", r.auxValue},
                            {"spare", r.spare},
                            {"origin", originKey(r.origin)},
                            {"corrected", j < corrected.size() && corrected[j]}});
  }
  return Json{
      {"code", gbkToUtf8(d.code)},
      {"name", gbkToUtf8(d.name)},
      {"testDate", gbkToUtf8(d.testDate)},
      {"selected", d.selected},
      {"averageThickness", d.averageThickness},
      {"designThickness", d.designThickness},
      {"minusDeviation", d.minusDeviation},
      {"plusDeviation", d.plusDeviation},
      {"readingCount", m.readingCount()},
      {"secondColumnStart", d.secondColumnStart},
      {"reserved", d.reserved},
      {"maxThickness", d.maxThickness},
      {"minThickness", d.minThickness},
      {"passCount", d.passCount},
      {"passRate", shortestDecimal(d.passRate)},
      {"readings", std::move(readings)},
      {"computed", figuresJson(computeFigures(m))},
  };
}

// Written a member at a time, so that a large project is never held a second time as a JSON
// tree.
// The counts of the readings by origin, and of those corrected, with the log's length.
Json recordJson(const Project& project, const std::vector<std::vector<bool>>& corrected) {
  const OriginCounts n = originCounts(project.members, corrected);
  return Json{{"transfer", n.transfer},
              {"instrumentFile", n.instrumentFile},
              {"imported", n.imported},
              {"typed", n.typed},
              {"unrecorded", n.unrecorded},
              {"corrected", n.corrected},
              {"sources", project.sources.size()},
              {"logEntries", project.log.size()}};
}

void printJson(const Project& project, std::ostream& out) {
  const std::vector<std::vector<bool>> corrected =
      correctedReadings(project.members, changesSinceBeginning(project.log));
  out << "{\"formatVersion\":" << kJsonFormatVersion << ",\"members\":[";
  for (std::size_t i = 0; i < project.members.size(); ++i) {
    out << (i > 0 ? "," : "") << jsonText(memberJson(project.members[i], corrected[i]));
  }
  const Totals all = documentTotals(project.members);
  const SelectionFigures ticked = selectionFigures(project.members);
  const Json totalsJson{{"all", countsJson(all.readingCount, all.passCount)},
                        {"ticked", countsJson(ticked.readingCount, ticked.passCount)}};
  Json parameters = nullptr;
  if (project.parameters.stored) {
    parameters = Json::object();
    for (const auto& [name, value] : project.parameters.values)
      parameters[gbkToUtf8(name)] = gbkToUtf8(value);
  }
  out << "],\"totals\":" << jsonText(totalsJson) << ",\"parameters\":" << jsonText(parameters)
      << ",\"record\":" << jsonText(recordJson(project, corrected)) << "}\n";
}

// The figures as the member panel shows them: counts, maximum and minimum computed from the
// readings; the pass rate and a non-zero average as stored, with a note below for each that
// differs from what the readings give.
void printText(const Project& project, const std::string& path, std::ostream& out) {
  out << "文件：" << printable(path) << "\n";
  out << "构件数：" << project.memberCount() << "\n\n";
  const std::vector<std::pair<std::string, std::size_t>> columns = {
      {"序号", 4},     {"测区编号", 8}, {"构件名称", 20}, {"测试日期", 16}, {"测点数", 6},
      {"设计厚度", 8}, {"允许偏差", 8}, {"最大值", 6},    {"最小值", 6},    {"平均厚度", 9},
      {"合格点数", 8}, {"合格率", 8},   {"选中", 4}};
  auto isText = [](std::size_t c) { return c == 1 || c == 2 || c == 3; };
  std::string header;
  for (std::size_t c = 0; c < columns.size(); ++c) {
    header += (c == 0 ? "" : "  ") + (isText(c) ? padRight(columns[c].first, columns[c].second)
                                                : padLeft(columns[c].first, columns[c].second));
  }
  out << header << "\n";
  std::vector<std::string> notes;
  for (int i = 0; i < project.memberCount(); ++i) {
    const MemberRecord& m = *project.memberAt(i);
    const MemberFigures figures = computeFigures(m);
    const ShownFigure<float> rate = shownPassRate(m);
    const ShownFigure<std::int32_t> average = shownAverage(m);
    const std::string code = printable(gbkToUtf8(m.code()));
    if (rate.differsFromReadings()) {
      notes.push_back(code + " 合格率：保存的是 " + storedRateText(m) + "%，按测点计算为 " +
                      percentText(figures.passCount, figures.readingCount) + "%");
    }
    if (average.differsFromReadings()) {
      notes.push_back(code + " 平均厚度：保存的是 " + std::to_string(average.shown) + "，按测点计算为 " +
                      std::to_string(*average.computed));
    }
    const std::string cells[] = {
        std::to_string(i + 1),
        code,
        printable(gbkToUtf8(m.name())),
        printable(gbkToUtf8(m.testDate())),
        std::to_string(figures.readingCount),
        std::to_string(m.designThickness()),
        std::to_string(m.minusDeviation()) + "/+" + std::to_string(m.plusDeviation()),
        std::to_string(figures.maxThickness.value_or(m.maxThickness())),
        std::to_string(figures.minThickness.value_or(m.minThickness())),
        std::to_string(average.shown) + (average.stored ? std::string(kStoredFigureMark) : ""),
        std::to_string(figures.passCount),
        storedRateText(m) + "%" + std::string(kStoredFigureMark),
        m.selected() != 0 ? "是" : "否",
    };
    std::string line;
    for (std::size_t c = 0; c < columns.size(); ++c) {
      line += (c == 0 ? "" : "  ") +
              (isText(c) ? padRight(cells[c], columns[c].second) : padLeft(cells[c], columns[c].second));
    }
    out << line << "\n";
  }
  const Totals totals = documentTotals(project.members);
  out << "\n" << kStoredFigureMark << " 文件中保存的数值；其余数值按测点计算。\n";
  for (const std::string& note : notes) out << "  " << note << "\n";
  out << "\n所有测点个数：" << totals.readingCount << "\n";
  out << "所有合格测点数：" << totals.passCount << "\n";
  out << "整体合格率：" << percentText(totals.passCount, totals.readingCount) << "%\n";
  const OriginCounts n =
      originCounts(project.members, correctedReadings(project.members, changesSinceBeginning(project.log)));
  out << "\n" << recordSummary(n, project.log.size()) << "\n";
}

int commandInfo(const Context& cx, Invocation& call) {
  const std::string& path = call.inputs()[0];
  if (call.args.has("--json")) {
    printJson(call.loaded(), cx.out);
  } else {
    printText(call.loaded(), path == kStandardStream ? "标准输入" : path, cx.out);
  }
  return kSuccess;
}

int commandConvert(const Context& cx, Invocation& call) {
  auto loaded = load(cx, call.inputs()[0]);
  if (!loaded && call.args.has("--recover")) {
    // Of a damaged analysis file, the members before the damage.
    if (auto recovered = recoverAnalysisFile(pathFromUtf8(call.inputs()[0]))) {
      cx.err << "kro: 警告：" << printable(loaded.message()) << "\n";
      cx.err << "kro: 警告：文件在第 " << recovered->damagedMember << " 个构件处损坏，只写出前 "
             << recovered->damagedMember - 1 << " 个构件。\n";
      LoadedProject intact;
      intact.project = std::move(recovered->project);
      intact.sources = {pathFromUtf8(call.inputs()[0])};
      loaded = std::move(intact);
    }
  }
  if (!loaded) return cx.fail(loaded.message());
  Project& project = loaded.value().project;
  // A file without parameters gets the office's, so that its verdict no longer follows the
  // settings files. The selection export never carries them.
  adoptOfficeParameters(project, settingsFor(call.args));
  // The instrument's files or kept bytes become an analysis file that records them as its source.
  if (loaded.value().kind != ProjectFileKind::Analysis && project.log.empty() && !project.sources.empty()) {
    std::optional<ProjectSource> source = std::move(project.sources.front());
    project.sources.clear();
    beginRecord(project, std::move(source), cliRecorder());
  }
  if (call.args.has("--selection") && isAnalysisExtension(call.output)) {
    return cx.fail("选择构件文件不能保存为“" + displayPath(pathFromUtf8(call.output).filename()) +
                   "”：扩展名 KRO 留给分析结果文件，请使用 DEX。");
  }
  Status written =
      writeOutput(cx, call.output,
                  call.args.has("--selection") ? encodeMembers(project.members, MemberLayout::Selection)
                                               : encodeProjectFile(project),
                  OutputKind::Binary);
  if (!written) return cx.fail(written.message());
  return kSuccess;
}

int commandSample(const Context& cx, Invocation& call) {
  const std::vector<MemberRecord> members = makeSampleProject();
  if (call.args.has("--raw")) {
    if (call.output == kStandardStream)
      return cx.usage("sample --raw 写出一个文件夹，-o 需要文件夹而不是“-”");
    std::error_code ec;
    fs::create_directories(pathFromUtf8(call.output), ec);
    if (ec) return cx.fail(fileErrorMessage("无法创建文件夹", pathFromUtf8(call.output), ec.value()));
    Status written = writeRawProject(pathFromUtf8(call.output), "SAMPLE.DEX", members);
    if (!written) return cx.fail(written.message());
    return kSuccess;
  }
  Status written = writeOutput(cx, call.output,
                               encodeProjectFile(Project{members, officeParameters(settingsFor(call.args))}),
                               OutputKind::Binary);
  if (!written) return cx.fail(written.message());
  return kSuccess;
}

int commandDecode(const Context& cx, Invocation& call) {
  if (call.inputs().size() != 1 || call.args.has("--serial") == call.args.has("--usb")) {
    return cx.usage("decode 需要 --serial 或 --usb 之一和一个输入文件");
  }
  auto bytes = readInput(cx, call.inputs()[0]);
  if (!bytes) return cx.fail(bytes.message());
  const bool usb = call.args.has("--usb");
  auto decoded = decodeTransfer(usb ? TransferLayout::Usb : TransferLayout::Serial, bytes.value(),
                                call.args.has("--first-block") ? ExtraBytes::Ignore : ExtraBytes::Refuse);
  if (!decoded) return cx.fail("无法解码“" + call.inputs()[0] + "”：" + decoded.message());
  for (const std::string& warning : decoded.value().warnings) cx.err << "kro: 警告：" << warning << "\n";
  // The file is the members' original record, its source the bytes decoded.
  Project project{std::move(decoded.value().members), officeParameters(settingsFor(call.args))};
  beginRecord(project,
              sourceFromInput(usb ? ProjectSource::Kind::UsbTransfer : ProjectSource::Kind::SerialTransfer,
                              call.inputs()[0], bytes.value(), project.members.size()),
              cliRecorder());
  Status written = writeOutput(cx, call.output, encodeProjectFile(project), OutputKind::Binary);
  if (!written) return cx.fail(written.message());
  return kSuccess;
}

int commandReport(const Context& cx, Invocation& call) {
  const SettingsLocation settings = settingsFor(call.args);
  auto format = formatOption(call.args, settings);
  if (!format) return cx.usage(format.message());
  std::error_code ec;
  if (!fs::is_directory(pathFromUtf8(call.output), ec))
    return cx.fail("输出文件夹“" + call.output + "”不存在。");
  const Project& project = call.loaded();
  auto chosen = reportFormatToWrite(project, settings, format.value());
  if (!chosen) return cx.fail(chosen.message());
  OfficePaths paths = OfficePaths::standard();
  paths.outputFolder = pathFromUtf8(call.output);
  DocxTemplateFiller filler(fieldCatalog());
  auto written =
      writeReport(project, effectiveParameters(project, settings), chosen.value(), filler, paths, today());
  if (!written) return cx.fail(written.message());
  if (!written.value().dataTableError.empty()) {
    return cx.fail(dataTableProblemText(written.value(), paths.dataTablePath()));
  }
  return kSuccess;
}

int commandExcel(const Context& cx, Invocation& call) {
  Status written =
      writeOutputByPath(cx, call.output, OutputKind::Binary, [&](const fs::path& file) -> Status {
        XlsxExcelSession excel;
        auto exported = exportToSpreadsheet(
            call.loaded(), effectiveParameters(call.loaded(), settingsFor(call.args)).rule(), excel, file);
        return exported ? Status::success() : Status(exported.error());
      });
  if (!written) return cx.fail(written.message());
  return kSuccess;
}

}  // namespace

Json jsonOutput() { return Json{{"formatVersion", kJsonFormatVersion}}; }

namespace {

// Texts from files (names, templates) may hold bytes that are no UTF-8: shown as \xHH.
void makeUtf8(Json& j) {
  if (j.is_string()) {
    auto& text = j.get_ref<std::string&>();
    if (invalidUtf8At(text) != std::string::npos) text = utf8Shown(text);
  } else if (j.is_array()) {
    for (Json& e : j) makeUtf8(e);
  } else if (j.is_object()) {
    Json shown = Json::object();
    for (auto& [key, value] : j.items()) {
      makeUtf8(value);
      shown[utf8Shown(key)] = std::move(value);
    }
    j = std::move(shown);
  }
}

}  // namespace

std::string jsonText(Json j) {
  makeUtf8(j);
  return j.dump(-1, ' ', false, Json::error_handler_t::replace);
}

Json countsJson(std::int64_t readingCount, std::int64_t passCount) {
  Json j{{"readingCount", readingCount}, {"passCount", passCount}};
  if (readingCount > 0) j["passRate"] = static_cast<double>(passCount) / static_cast<double>(readingCount);
  return j;
}

int Context::usage(const std::string& message) const {
  err << "kro: " << printable(message) << "\n请运行 kro " << declaration.name << " --help\n";
  return kUsage;
}

int Context::fail(const std::string& message) const {
  std::string line = message;
  for (char& c : line) {
    if (c == '\n') c = ' ';
  }
  err << "kro: " << printable(line) << "\n";
  return declaration.reportsFindings ? kUsage : kFailure;
}

Result<std::optional<ChosenFormat>> formatOption(const Arguments& a, const SettingsLocation& settings) {
  auto f = a.value("--format");
  if (!f) return std::optional<ChosenFormat>();
  auto chosen = formatByArgument(*f, settings);
  if (!chosen) return chosen.error();
  return std::optional<ChosenFormat>(std::move(chosen.value()));
}

SettingsLocation settingsFor(const Arguments& a) {
  if (auto dir = a.value("--config-dir")) return SettingsLocation::inFolder(pathFromUtf8(*dir));
  return SettingsLocation::fromEnvironment();
}

Result<std::string> readInput(const Context& cx, const std::string& path) {
  if (path != kStandardStream) return readWholeFile(pathFromUtf8(path), kMaxProjectFileSize);
  std::string bytes;
  char buffer[1 << 16];
  while (cx.in.read(buffer, sizeof buffer) || cx.in.gcount() > 0) {
    bytes.append(buffer, static_cast<std::size_t>(cx.in.gcount()));
    if (bytes.size() > kMaxProjectFileSize) return Error{"标准输入的数据超过了 256 MB 的上限。"};
  }
  if (cx.in.bad()) return Error{"无法读取标准输入。"};
  return bytes;
}

namespace {

// Binary data on a terminal would garble it and could drive it (escape sequences).
Status refuseTerminal(const Context& cx, OutputKind kind) {
  if (kind == OutputKind::Text || &cx.out != &std::cout) return Status::success();
  if (!platform::isTerminal(platform::StandardStream::Output)) return Status::success();
  return Error{"标准输出是终端，不能输出二进制数据：请重定向到文件或管道，或用 -o 指定文件。"};
}

}  // namespace

Status writeOutput(const Context& cx, const std::string& path, std::string_view bytes, OutputKind kind) {
  if (path != kStandardStream) return writeFileAtomically(pathFromUtf8(path), bytes);
  if (Status s = refuseTerminal(cx, kind); !s) return s;
  cx.out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return Status::success();  // a failed write to the stream is reported when the command ends
}

Status writeOutputByPath(const Context& cx, const std::string& path, OutputKind kind,
                         const std::function<Status(const std::filesystem::path&)>& write) {
  if (path != kStandardStream) return write(pathFromUtf8(path));
  if (Status s = refuseTerminal(cx, kind); !s) return s;
  std::error_code ec;
  auto temp = createTemporaryBeside(fs::temp_directory_path(ec) / "kro-output");
  if (!temp) return temp.error();
  struct Remove {
    fs::path file;
    ~Remove() { removeQuietly(file); }
  } remove{temp.value()};
  if (Status s = write(temp.value()); !s) return s;
  std::ifstream in(temp.value(), std::ios::binary);
  char buffer[1 << 16];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) cx.out.write(buffer, in.gcount());
  if (in.bad()) return Error{fileErrorMessage("无法读取", temp.value(), errno ? errno : EIO)};
  return Status::success();  // a failed write to the stream is reported when the command ends
}

Recorder cliRecorder() {
  const char* name = std::getenv("KRO_USER");
  return recorderNamed(name != nullptr ? name : "");
}

ProjectSource sourceFromInput(ProjectSource::Kind kind, const std::string& path, std::string_view bytes,
                              std::size_t members) {
  if (path == kStandardStream) return sourceOf(kind, {}, members);
  return sourceOf(kind, {{pathFromUtf8(path), std::string(bytes)}}, members);
}

Result<LoadedProject> load(const Context& cx, const std::string& path) {
  Result<LoadedProject> loaded = Error{};
  if (path == kStandardStream) {
    auto bytes = readInput(cx, path);
    if (!bytes) return bytes.error();
    loaded = loadProjectBytes("标准输入", bytes.value());
  } else {
    loaded = loadProject(pathFromUtf8(path));
  }
  if (!loaded) return loaded.error();
  for (const std::string& warning : loaded.value().warnings) cx.err << "kro: 警告：" << warning << "\n";
  return loaded;
}

std::string printable(std::string_view text) {
  std::string out;
  for (char c : utf8Shown(text)) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out;
}

const CommandTable& fileCommands() {
  static const CommandTable commands = {
      {"info", commandInfo},         {"convert", commandConvert}, {"sample", commandSample},
      {"decode", commandDecode},     {"report", commandReport},   {"excel", commandExcel},
      {"stats", commandStats},       {"export", commandExport},   {"import", commandImport},
      {"check", commandCheck},       {"diff", commandDiff},       {"history", commandHistory},
      {"params", commandParams},     {"formats", commandFormats}, {"rules", commandRules},
#ifdef KRO_WITH_REGISTER
      {"register", commandRegister}, {"verify", commandVerify},   {"verify-page", commandVerifyPage},
#else
      {"register",
       [](const Context& cx, Invocation&) {
         return cx.usage("register 在这个版本中不可用：它构建时没有 SQLite 台账");
       }},
#endif
  };
  return commands;
}

bool needsQt(std::string_view command) { return command == "print" || command == "issue"; }

namespace {

// What every command's declaration asks for, then the command.
int invoke(const Context& cx, const Command& command, const std::vector<std::string>& args) {
  const CommandDeclaration& d = cx.declaration;
  auto a = Arguments::parse(args, d);
  if (!a) return cx.usage(a.message());
  Invocation call{std::move(*a), {}, {}};
  const std::string name(d.name);
  const std::size_t count = call.inputs().size();
  if (d.inputCount != kAnyInputs && count != static_cast<std::size_t>(d.inputCount)) {
    return cx.usage(d.inputCount == 0   ? name + " 不需要输入文件"
                    : d.inputCount == 1 ? name + (d.inputs == Completion::CsvFile ? " 需要一个 CSV 文件"
                                                                                  : " 需要一个输入文件")
                                        : name + " 需要原始文件和修改后的文件");
  }
  if (auto output = call.args.value("-o")) call.output = *output;
  if (!d.requiredOutput.empty() && !call.args.value("-o")) {
    return cx.usage(name + " 需要用 -o 指定" + std::string(d.requiredOutput));
  }
  if (!d.notToStandardOutput.empty() && call.output == kStandardStream)
    return cx.usage(std::string(d.notToStandardOutput));
  if (d.readsProject) {
    auto loaded = load(cx, call.inputs()[0]);
    if (!loaded) return cx.fail(loaded.message());
    call.project = std::move(loaded.value());
  }
  return command(cx, call);
}

}  // namespace

int dispatch(const CommandTable& commands, const std::vector<std::string>& args, std::ostream& out,
             std::ostream& err, std::istream& in) {
  reportOversizedWritesAsFailures();
  auto usage = [&err](const std::string& message) {
    err << "kro: " << message << "\n请运行 kro --help\n";
    return kUsage;
  };
  if (args.empty()) return usage("缺少命令");
  const std::string& command = args[0];
  if (command == "help" || command == "--help" || command == "-h") {
    out << usageText();
    return kSuccess;
  }
  if (command == "--version") {
    out << versionText();
    return kSuccess;
  }
  const CommandDeclaration* declaration = findCommand(command);
  auto it = commands.find(command);
  if (declaration == nullptr || it == commands.end()) return usage("未知命令 " + command);
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  const auto end = std::find(rest.begin(), rest.end(), "--");
  if (std::find_if(rest.begin(), end, [](const std::string& a) { return a == "--help" || a == "-h"; }) !=
      end) {
    out << commandHelp(*declaration);
    return kSuccess;
  }
  Context cx{out, err, in, *declaration};
  // Hard-linked outputs written in place, where the command declares it and it is given.
  writeLinkedFilesInPlace(std::find(rest.begin(), end, std::string(kForceInPlace)) != end);
  // Whatever a command reads is its input, which none of its outputs may replace.
  const ProtectingEveryFileRead inputs;
  int status = invoke(cx, it->second, rest);
  writeLinkedFilesInPlace(false);
  // What the command printed must have arrived (a full disk, a closed pipe).
  if (!out.flush()) {
    err << "kro: 无法写入标准输出" << (errno != 0 ? "：" + fileErrorReason(errno) : std::string()) << "。\n";
    status = declaration->reportsFindings ? kUsage : kFailure;
  }
  return status;
}

// kro: the file commands and the devices.
int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, std::istream& in) {
  static const CommandTable commands = [] {
    CommandTable all = fileCommands();
    all.insert(deviceCommands().begin(), deviceCommands().end());
    return all;
  }();
  return dispatch(commands, args, out, err, in);
}

}  // namespace kro::cli
