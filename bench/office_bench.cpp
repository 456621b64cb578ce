// Report 1 with its data table for 1,000 ticked members of 200 readings, a user format, the data
// table at its limit, and the workbook, written with the real writers.
// Goals on this two-core machine: report and data table of 1,000 x 200 under 1.5 s and 100 MB
// at the peak (run it alone, --benchmark_filter=Report1WithDataTable, to read its peak); the
// table at 32,767 rows with memory that follows the template, not the readings.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "export/spreadsheet_export.h"
#include "model/project.h"
#include "model/sample_project.h"
#include "office/docx_template.h"
#include "office/xlsx_excel_session.h"
#include "report/report_generator.h"
#include "report/report_parameters.h"
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
    file.openForWrite();
    file.writeSection(kro::kSettingsSection);
    for (int i = 0; i < 20000; ++i) file.writeString("填充" + std::to_string(i), std::string(30, 'x'));
    for (const kro::ParameterField& field : kro::reportFormatInfo(0).fields)
      file.writeString(field.key, "值");
    if (!file.close()) state.SkipWithError(file.lastError().c_str());
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
    auto written = kro::exportToSpreadsheet(f.project, excel, f.folder / "w.xlsx");
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
    auto written = kro::exportToSpreadsheet(large, excel, f.folder / "large.xlsx");
    if (!written) state.SkipWithError(written.message().c_str());
  }
}

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
