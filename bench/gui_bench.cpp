// The desktop views on the offscreen platform: switching to a member of 500 readings (grid
// refill plus chart paint), a reading edit with every view refreshed on a 1,000 x 500
// document, and rebuilding a member list of 5,000 members.
// Goals on the reference machine: under 30 ms, under 16 ms (one frame) and under 200 ms; the
// overview of that document refreshed and drawn under 50 ms;
// printing 100 raw-data pages to PDF under 2 s.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <filesystem>

#include "gui/dialogs.h"
#include "gui/main_window.h"
#include "gui/overview_dock.h"
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
  w.document().resetProject({kro::makeLargeProject(2, 500)});
  int next = 0;
  for (auto _ : state) {
    w.document().selectMember(next);
    next = 1 - next;
    benchmark::DoNotOptimize(w.grid()->grab());
    benchmark::DoNotOptimize(w.chart()->grab());
  }
}

// A reading edit, alternately done and undone, and everything the window then shows: panel
// figures and totals over 500,000 readings, the member list row, the grid and the chart, drawn.
// (The overview follows a moment after the last change; OverviewRefresh1000x500 times it.)
void CommandWithRefresh1000x500(benchmark::State& state) {
  kro::gui::MainWindow& w = window();
  w.document().resetProject({kro::makeLargeProject(1000, 500)});
  w.document().selectMember(500);
  bool edited = false;
  for (auto _ : state) {
    if (edited) {
      w.document().undo();
    } else {
      if (!w.document().setCellValue(250, 1, 1)) state.SkipWithError("edit refused");
    }
    edited = !edited;
    benchmark::DoNotOptimize(w.grid()->grab());
    benchmark::DoNotOptimize(w.chart()->grab());
    benchmark::DoNotOptimize(w.panel()->grab());
  }
}

// The overview of a 1,000 x 500 document: every member's figures in the table, the ticked
// members' histogram, drawn.
void OverviewRefresh1000x500(benchmark::State& state) {
  kro::gui::MainWindow& w = window();
  w.document().resetProject({kro::makeLargeProject(1000, 500)});
  for (auto _ : state) {
    w.refreshOverview();
    benchmark::DoNotOptimize(w.overview()->grab());
  }
}

void RebuildMemberList5000(benchmark::State& state) {
  kro::gui::MainWindow& w = window();
  w.document().resetProject({kro::makeLargeProject(5000, 20)});
  w.document().selectMember(2500);
  for (auto _ : state) {
    w.rebuildMemberList();
    benchmark::DoNotOptimize(w.panel()->list()->grab());
  }
}

// 400 selected members of 90 readings: over 100 raw-data pages (39 rows to a page), printed to
// PDF, fonts included.
void PrintHundredPagesToPdf(benchmark::State& state) {
  const kro::Project project{kro::makeLargeProject(400, 90)};
  const auto folder =
      std::filesystem::temp_directory_path() / ("kro-print-bench-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  const kro::SettingsLocation settings = kro::SettingsLocation::inFolder(folder);
  const kro::PrintedPageSettings pages = kro::printedPageSettings(project, settings);
  if (kro::layoutForPrinting(project, pages).pageCount() < 103) state.SkipWithError("unexpected page count");
  for (auto _ : state) {
    if (!kro::printReportToPdf(project, folder / "report.pdf", pages)) state.SkipWithError("print failed");
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
BENCHMARK(CommandWithRefresh1000x500)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(10)
    ->ReportAggregatesOnly(true);
BENCHMARK(OverviewRefresh1000x500)
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
