// Loading, computing and saving a large document (1,000 members of 500 readings, about 6 MB),
// next to the time of reading the same bytes into memory.
//
// Goals on the reference machine (Release build, warm cache, median of 10): load plus
// statistics under 25 ms, save under 60 ms.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>

#include "model/analysis_file.h"
#include "model/document.h"
#include "model/file_io.h"
#include "model/sample_project.h"

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
    auto bytes = kro::readWholeFile(path);
    benchmark::DoNotOptimize(bytes.value().data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * fs::file_size(path)));
}

// The document's load of an analysis file, then every member's maximum, minimum and pass
// count and the three totals.
void LoadAndStatistics(benchmark::State& state) {
  const fs::path& path = largeFile().path;
  for (auto _ : state) {
    auto bytes = kro::readWholeFile(path);
    auto members = kro::decodeAnalysisFile(bytes.value());
    std::int64_t readings = 0, passed = 0;
    for (kro::MemberRecord& m : members.value()) {
      m.computeMax();
      m.computeMin();
      passed += m.countPassed();
      readings += m.readingCount();
    }
    float rate = kro::passRateOf(passed, readings);
    benchmark::DoNotOptimize(rate);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * fs::file_size(path)));
}

// The same through the document's own open, which also refreshes the member list and panel.
void DocumentOpen(benchmark::State& state) {
  const fs::path& path = largeFile().path;
  kro::CKroAnalyzeDoc doc;
  for (auto _ : state) {
    if (!doc.open(path)) std::abort();
    benchmark::DoNotOptimize(doc.totalPassCount());
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

#define KRO_BENCH(fn) \
  BENCHMARK(fn)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(10)->ReportAggregatesOnly(true)

KRO_BENCH(ReadBytes);
KRO_BENCH(LoadAndStatistics);
KRO_BENCH(DocumentOpen);
KRO_BENCH(Save);

}  // namespace
