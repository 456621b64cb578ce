// Report 1 with its data table for 1,000 ticked members of 200 readings, a user format, the data
// table at its limit, and the workbook, written with the real writers.
// Goals on this two-core machine: report and data table of 1,000 x 200 under 1.5 s and 100 MB
// at the peak (run it alone, --benchmark_filter=Report1WithDataTable, to read its peak); the
// table at 32,767 rows with memory that follows the template, not the readings; a user format
// of 1 MB, of any shape, checked in under a second and filled for the sample in under two; the
// workbook linear in members (200,000 members of 10 readings in about twice the time of 100,000).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "export/spreadsheet_export.h"
#include "model/file_io.h"
#include "model/project.h"
#include "model/sample_project.h"
#include "office/docx_template.h"
#include "office/package.h"
#include "office/xlsx_excel_session.h"
#include "report/report_generator.h"
#include "report/report_parameters.h"
#include "report/report_values.h"
#include "settings/program_paths.h"

namespace {

namespace fs = std::filesystem;

struct Fixture {
  Fixture() {
    folder = fs::temp_directory_path() / ("kro-office-bench-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    settings = kro::SettingsLocation::inFolder(folder);
    project.members = kro::makeLargeProject(1000, 200);
    paths = {{kro::ProgramPaths::programFolder() / ".." / "bin"}, folder, {}};
  }
  ~Fixture() {
    std::error_code ec;
    fs::remove_all(folder, ec);
  }
  fs::path folder;
  kro::SettingsLocation settings = kro::SettingsLocation::inFolder(".");
  kro::Project project;
  kro::OfficePaths paths;
};

Fixture& fixture() {
  static Fixture f;
  return f;
}

// The process's peak resident memory so far, in MB (Linux: VmHWM).
double peakMegabytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
  }
  return 0;
}

kro::Result<kro::ReportOutput> report(const kro::Project& project, const Fixture& f,
                                      const kro::SettingsLocation& settings,
                                      const kro::ChosenFormat& format) {
  kro::DocxTemplateFiller filler(kro::fieldCatalog());
  return kro::writeReport(project, kro::effectiveParameters(project, settings), format, filler, f.paths,
                          {2026, 12, 7});
}

void Report1WithDataTable(benchmark::State& state) {
  Fixture& f = fixture();
  for (auto _ : state) {
    auto written = report(f.project, f, f.settings, {0, {}, "1"});
    if (!written) state.SkipWithError(written.message().c_str());
  }
  state.counters["peak_MB"] = peakMegabytes();
}

// The same with a parameter file near the 1 MB settings limit: each settings file is read once
// per report, so the time stays close to the one above.
void Report1WithLargeParameterFile(benchmark::State& state) {
  Fixture& f = fixture();
  const fs::path large = f.folder / "large";
  fs::create_directories(large);
  const kro::SettingsLocation settings = kro::SettingsLocation::inFolder(large);
  {
    kro::SettingsFile file(settings, kro::reportFormatInfo(0).parameterFile);
    if (kro::Status opened = file.openForWrite(); !opened) state.SkipWithError(opened.message().c_str());
    file.writeSection(kro::kSettingsSection);
    for (int i = 0; i < 20000; ++i) file.writeString("填充" + std::to_string(i), std::string(30, 'x'));
    for (const kro::ParameterField& field : kro::reportFormatInfo(0).fields)
      file.writeString(field.key, "值");
    if (kro::Status written = file.close(); !written) state.SkipWithError(written.message().c_str());
  }
  for (auto _ : state) {
    auto written = report(f.project, f, settings, {0, {}, "1"});
    if (!written) state.SkipWithError(written.message().c_str());
  }
}

void Workbook(benchmark::State& state) {
  Fixture& f = fixture();
  for (auto _ : state) {
    kro::XlsxExcelSession excel;
    auto written = kro::exportToSpreadsheet(f.project, {}, excel, f.folder / "w.xlsx");
    if (!written) state.SkipWithError(written.message().c_str());
  }
}

// A user format (the starting template, which uses every field) for the same 1,000 members,
// with its data table.
void UserFormatReport(benchmark::State& state) {
  Fixture& f = fixture();
  const fs::path starting = f.paths.templateFolders.front() / "自定义格式样板.docx";
  for (auto _ : state) {
    auto written = report(f.project, f, f.settings, {-1, starting, "样板"});
    if (!written) state.SkipWithError(written.message().c_str());
  }
}

// The data table at its limit: 2,978 members of 100 readings take 32,758 of its 32,767 rows.
void DataTableAtItsLimit(benchmark::State& state) {
  Fixture& f = fixture();
  kro::Project large;
  large.members = kro::makeLargeProject(2978, 100);
  for (auto _ : state) {
    auto written = report(large, f, f.settings, {2, {}, "3"});
    if (!written) state.SkipWithError(written.message().c_str());
    if (written && !written.value().dataTableError.empty())
      state.SkipWithError(written.value().dataTableError.c_str());
  }
  state.counters["peak_MB"] = peakMegabytes();
}

// The largest project a user may have: 2,000,000 readings (4,000 members of 500) make an 84 MB
// sheet, which the read-back check of the written workbook takes whole (it once refused any
// part above 64 MB).
void WorkbookOfTwoMillionReadings(benchmark::State& state) {
  Fixture& f = fixture();
  kro::Project large;
  large.members = kro::makeLargeProject(4000, 500);
  for (auto _ : state) {
    kro::XlsxExcelSession excel;
    auto written = kro::exportToSpreadsheet(large, {}, excel, f.folder / "large.xlsx");
    if (!written) state.SkipWithError(written.message().c_str());
  }
}

// A user format of about 1 MB in one of the shapes a template can take to the extreme: many
// fields in one member part, many member parts, many fields in one text, a field per run, a
// condition per paragraph, reading rows by the thousand.
std::string largeTemplateBody(int shape) {
  auto p = [](const std::string& text) { return "<w:p><w:r><w:t>" + text + "</w:t></w:r></w:p>"; };
  auto row = [](const std::string& text) {
    return "<w:tr><w:tc><w:p><w:r><w:t>" + text + "</w:t></w:r></w:p></w:tc></w:tr>";
  };
  std::string body;
  switch (shape) {
    case 0:
      body = p("{{#构件}}");
      for (int i = 0; i < 20000; ++i) body += p("{{构件名称}}{{平均值}}");
      return body + p("{{/构件}}");
    case 1:
      for (int i = 0; i < 1000; ++i)
        body += p("{{#构件}}") + p("{{构件名称}}" + std::string(900, 'x')) + p("{{/构件}}");
      return body;
    case 2:
      for (int i = 0; i < 60000; ++i) body += "{{工程名称}}";
      return p(body);
    case 3:
      body = "<w:p>";
      for (int i = 0; i < 12000; ++i) {
        for (const char* piece : {"{{", "工程", "名称", "}}"})
          body += std::string("<w:r><w:t>") + piece + "</w:t></w:r>";
      }
      return body + "</w:p>";
    case 4:
      for (int i = 0; i < 20000; ++i) body += p("{{?工程名称}}{{工程名称}}");
      return body;
    default:
      body = "<w:tbl>" + row("{{#构件}}{{构件名称}}");
      for (int i = 0; i < 5000; ++i) body += row("{{#测点}}{{测点1}}");
      return body + row("{{/构件}}") + "</w:tbl>";
  }
}

kro::PackageParts largeTemplate(int shape) {
  const fs::path starting = fixture().paths.templateFolders.front() / "自定义格式样板.docx";
  auto bytes = kro::readWholeFile(starting, kro::kMaxTemplateFileSize);
  auto parts = kro::readPackage(bytes.value(), starting);
  for (auto& [name, data] : parts.value()) {
    if (name != "word/document.xml") continue;
    const std::size_t open = data.find("<w:body>") + 8;
    data = data.substr(0, open) + largeTemplateBody(shape) + data.substr(data.find("<w:sectPr", open));
  }
  return parts.value();
}

void LargeUserFormatCheck(benchmark::State& state) {
  const kro::PackageParts parts = largeTemplate(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    auto checked = kro::checkTemplateParts(parts, "大格式", kro::fieldCatalog());
    if (!checked) state.SkipWithError(checked.message().c_str());
  }
}

void LargeUserFormatFillSample(benchmark::State& state) {
  Fixture& f = fixture();
  const kro::PackageParts parts = largeTemplate(static_cast<int>(state.range(0)));
  kro::Project sample;
  sample.members = kro::makeSampleProject();
  const kro::ReportValues values =
      kro::reportValues(sample, kro::effectiveParameters(sample, f.settings), {2026, 12, 9});
  for (auto _ : state) {
    kro::Status filled =
        kro::fillTemplateParts(parts, "大格式", kro::fieldCatalog(), values, f.folder / "large.docx");
    if (!filled) state.SkipWithError(filled.message().c_str());
  }
}

// The workbook of many small members: 10 readings each.
void WorkbookOfManyMembers(benchmark::State& state) {
  Fixture& f = fixture();
  kro::Project large;
  large.members = kro::makeLargeProject(static_cast<int>(state.range(0)), 10);
  for (auto _ : state) {
    kro::XlsxExcelSession excel;
    auto written = kro::exportToSpreadsheet(large, {}, excel, f.folder / "many.xlsx");
    if (!written) state.SkipWithError(written.message().c_str());
  }
}

BENCHMARK(LargeUserFormatCheck)
    ->DenseRange(0, 5)
    ->ArgName("shape")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(LargeUserFormatFillSample)
    ->DenseRange(0, 5)
    ->ArgName("shape")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(WorkbookOfManyMembers)
    ->Arg(100'000)
    ->Arg(200'000)
    ->ArgName("members")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);
BENCHMARK(Report1WithDataTable)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(Report1WithLargeParameterFile)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(UserFormatReport)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(DataTableAtItsLimit)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(Workbook)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(WorkbookOfTwoMillionReadings)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace
