// Loading, computing and saving a large document (1,000 members of 500 readings, about 6 MB),
// next to the time of reading the same bytes into memory; a command with the figures the
// window then shows, and the memory an undo history of 10,000 reading edits takes.
//
// Goals on the reference machine (Release build, warm cache, median of 10): load plus
// statistics under 25 ms, save under 60 ms, a command with its figures well under 16 ms (the
// window's part is in gui_bench), 10,000 edits under 50 MB of history, the overview's figures
// under 8 ms; storing parameters linear in their number (40,000 in about twice the time of
// 20,000).
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>

#include <filesystem>

#include "model/analysis_file.h"
#include "model/document.h"
#include "model/file_io.h"
#include "model/gbk_text.h"
#include "model/panel_texts.h"
#include "model/sample_project.h"
#include "model/statistics.h"
#include "report/project_parameters.h"
#include "views/project_overview.h"

namespace {

namespace fs = std::filesystem;

struct LargeFile {
  LargeFile() {
    folder = fs::temp_directory_path() / ("kro-bench-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    path = folder / "large.KRO";
    members = kro::makeLargeProject(1000, 500);
    if (!kro::writeAnalysisFile(path, members)) std::abort();
  }
  ~LargeFile() {
    std::error_code ec;
    fs::remove_all(folder, ec);
  }
  fs::path folder;
  fs::path path;
  std::vector<kro::MemberRecord> members;
};

LargeFile& largeFile() {
  static LargeFile file;
  return file;
}

void ReadBytes(benchmark::State& state) {
  const fs::path& path = largeFile().path;
  for (auto _ : state) {
    auto bytes = kro::readWholeFile(path, kro::kMaxProjectFileSize);
    benchmark::DoNotOptimize(bytes.value().data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * fs::file_size(path)));
}

// The load of an analysis file, then every member's figures and the totals.
void LoadAndStatistics(benchmark::State& state) {
  const fs::path& path = largeFile().path;
  for (auto _ : state) {
    auto loaded = kro::loadProject(path);
    std::int64_t passed = 0;
    for (const kro::MemberRecord& m : loaded.value().project.members)
      passed += kro::computeFigures(m).passCount;
    const kro::Totals totals = kro::documentTotals(loaded.value().project.members);
    benchmark::DoNotOptimize(passed);
    benchmark::DoNotOptimize(totals);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * fs::file_size(path)));
}

// The same through the document's own open, with a new history.
void DocumentOpen(benchmark::State& state) {
  const fs::path& path = largeFile().path;
  kro::CKroAnalyzeDoc doc;
  for (auto _ : state) {
    if (!doc.open(path).done) std::abort();
    benchmark::DoNotOptimize(doc.memberCount());
  }
}

// One reading edit (alternately done and undone) and the panel's figures computed afresh,
// totals over all 500,000 readings included.
void CommandAndFigures(benchmark::State& state) {
  kro::CKroAnalyzeDoc doc;
  doc.resetProject({largeFile().members});
  doc.selectMember(500);
  bool edited = false;
  for (auto _ : state) {
    if (edited) {
      doc.undo();
    } else {
      if (!doc.setCellValue(250, 1, 1)) state.SkipWithError("edit refused");
    }
    edited = !edited;
    benchmark::DoNotOptimize(kro::panelTexts(doc.project(), doc.currentMember(), kro::RuleInForce{}));
  }
}

// 10,000 single reading edits spread over the members: the heap the undo history takes.
void UndoHistoryOf10000Edits(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    auto doc = std::make_unique<kro::CKroAnalyzeDoc>();
    doc->resetProject({largeFile().members});
    const std::size_t before = mallinfo2().uordblks;
    state.ResumeTiming();
    for (int i = 0; i < 10000; ++i) {
      doc->selectMember(i % 1000);
      if (!doc->setCellValue(i % 500, 1, 1000 + i % 9000)) state.SkipWithError("edit refused");
    }
    state.PauseTiming();
    const std::size_t after = mallinfo2().uordblks;
    state.counters["historyMB"] = static_cast<double>(after - before) / (1024.0 * 1024.0);
    doc.reset();
    state.ResumeTiming();
  }
}

// What the project overview computes after every change: each member's figures and the ticked
// members' totals and deviation histogram, over 500,000 readings.
void OverviewFigures(benchmark::State& state) {
  kro::Project project{largeFile().members};
  for (auto _ : state) {
    benchmark::DoNotOptimize(kro::overviewRows(project, kro::RuleInForce{}));
    benchmark::DoNotOptimize(kro::selectionFigures(project.members));
  }
}

void Save(benchmark::State& state) {
  const LargeFile& file = largeFile();
  const fs::path target = file.folder / "saved.KRO";
  for (auto _ : state) {
    if (!kro::writeAnalysisFile(target, file.members)) std::abort();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * fs::file_size(target)));
}

// kro params --set on a file that already stores many parameters of its own: every value is
// matched with the stored one of its name.
void StoreParameters(benchmark::State& state) {
  kro::ParameterValues values;
  kro::ProjectParameters previous;
  for (int i = 0; i < state.range(0); ++i) {
    const std::string name = "参数" + std::to_string(i);
    values.set(name, "值" + std::to_string(i));
    previous.values.emplace_back(kro::utf8ToGbkLossy(name),
                                 kro::utf8ToGbkLossy(i % 2 ? "旧值" : "值" + std::to_string(i)));
  }
  previous.stored = true;
  for (auto _ : state) {
    auto stored = kro::toStoredParameters(values, previous);
    if (!stored) state.SkipWithError(stored.message().c_str());
  }
}
BENCHMARK(StoreParameters)->Arg(20'000)->Arg(40'000)->Unit(benchmark::kMillisecond)->UseRealTime();

#define KRO_BENCH(fn) \
  BENCHMARK(fn)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(10)->ReportAggregatesOnly(true)

KRO_BENCH(ReadBytes);
KRO_BENCH(LoadAndStatistics);
KRO_BENCH(DocumentOpen);
KRO_BENCH(CommandAndFigures);
KRO_BENCH(Save);
KRO_BENCH(OverviewFigures);
BENCHMARK(UndoHistoryOf10000Edits)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3);

}  // namespace
