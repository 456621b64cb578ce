// The desktop views on the offscreen platform: switching to a member of 500 readings (grid
// refill plus chart paint) and rebuilding a member list of 5,000 members.
// Goals on the reference machine: under 30 ms and under 200 ms; printing 100 raw-data pages to
// PDF under 2 s.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <filesystem>

#include "gui/dialogs.h"
#include "gui/main_window.h"
#include "model/sample_project.h"
#include "render/report_printer.h"
#include "views/report_pages.h"

namespace {

kro::gui::MainWindow& window() {
  static kro::gui::MainWindow* w = [] {
    auto* created = new kro::gui::MainWindow;
    created->resize(1400, 900);
    created->show();
    return created;
  }();
  return *w;
}

void SwitchMember500Readings(benchmark::State& state) {
  kro::gui::MainWindow& w = window();
  w.document().replaceMembers(kro::makeLargeProject(2, 500));
  int next = 0;
  for (auto _ : state) {
    w.document().selectMember(next);
    next = 1 - next;
    benchmark::DoNotOptimize(w.grid()->grab());
    benchmark::DoNotOptimize(w.chart()->grab());
  }
}

void RebuildMemberList5000(benchmark::State& state) {
  kro::gui::MainWindow& w = window();
  w.document().replaceMembers(kro::makeLargeProject(5000, 20));
  w.document().selectMember(2500);
  for (auto _ : state) {
    w.document().refreshMemberList();
    benchmark::DoNotOptimize(w.panel()->list()->grab());
  }
}

// 400 selected members of 90 readings: 100 raw-data pages, printed to PDF, fonts included.
void PrintHundredPagesToPdf(benchmark::State& state) {
  kro::CKroAnalyzeDoc doc;
  doc.replaceMembers(kro::makeLargeProject(400, 90));
  const auto folder =
      std::filesystem::temp_directory_path() / ("kro-print-bench-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  doc.setSettingsLocation(kro::SettingsLocation::inFolder(folder));
  if (kro::countPrintPages(doc) != 103) state.SkipWithError("unexpected page count");
  for (auto _ : state) {
    if (!kro::printReportToPdf(doc, folder / "report.pdf", doc.settingsLocation()))
      state.SkipWithError("print failed");
  }
  std::filesystem::remove_all(folder);
}

BENCHMARK(PrintHundredPagesToPdf)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);
BENCHMARK(SwitchMember500Readings)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(10)
    ->ReportAggregatesOnly(true);
BENCHMARK(RebuildMemberList5000)->Unit(benchmark::kMillisecond)->Repetitions(10)->ReportAggregatesOnly(true);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  kro::gui::Dialogs::setTestMode(true);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
