// CSV import of 100,000 members of 10 readings (goal: about ten times the time of 10,000, not a
// hundred), and the peak memory of `kro import` and `kro info --json` on a 6 MB project above the
// same command on an empty one (goal: at most 4 times the input file's size).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "export/csv_exchange.h"
#include "model/analysis_file.h"
#include "model/sample_project.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

// Members of 10 readings, each with a code of its own.
std::string csvOf(int members) {
  kro::Project project;
  project.members = kro::makeLargeProject(members, 10);
  for (int i = 0; i < members; ++i) {
    kro::MemberData d = project.members[static_cast<std::size_t>(i)].data();
    d.code = "M" + std::to_string(i);
    project.members[static_cast<std::size_t>(i)] = kro::MemberRecord(std::move(d));
  }
  return kro::projectToCsv(project);
}

void CsvImport(benchmark::State& state) {
  const std::string csv = csvOf(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    auto members = kro::membersFromCsv(csv);
    if (!members) state.SkipWithError(members.message().c_str());
    benchmark::DoNotOptimize(members.value().data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * csv.size()));
}

BENCHMARK(CsvImport)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond)->UseRealTime();

// The peak resident size of a kro command, in bytes, as GNU time measures it: a process this
// large cannot measure its own children, whose peak would include its size before their exec.
long peakOf(std::vector<std::string> args, const fs::path& report) {
  const fs::path kro = fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "bin" / "kro";
  args.insert(args.begin(), {"/usr/bin/time", "-f", "%M", "-o", report.string(), kro.string()});
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  long peak = -1;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
    int status = 0;
    if (::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0) {
      std::ifstream(report) >> peak;
      peak *= 1024;
    }
  }
  posix_spawn_file_actions_destroy(&actions);
  return peak;
}

void PeakMemory(benchmark::State& state) {
  const fs::path dir = fs::temp_directory_path() / ("kro-memory-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const bool import = state.range(0) == 0;
  // About 6 MB of input: 10,000 members of 10 readings as CSV, 20,000 as an analysis file.
  const std::string big = (dir / (import ? "big.csv" : "big.KRO")).string();
  const std::string empty = (dir / (import ? "empty.csv" : "empty.KRO")).string();
  if (import) {
    std::ofstream(big, std::ios::binary) << csvOf(10'000);
    std::ofstream(empty, std::ios::binary) << csvOf(0);
  } else {
    (void)kro::writeAnalysisFile(big, kro::makeLargeProject(20'000, 10));
    (void)kro::writeAnalysisFile(empty, std::vector<kro::MemberRecord>{});
  }
  const std::string out = (dir / "out.KRO").string();
  auto command = [&](const std::string& input) {
    return import ? std::vector<std::string>{"import", input, "-o", out}
                  : std::vector<std::string>{"info", "--json", input};
  };
  double ratio = 0;
  for (auto _ : state) {
    const long bigPeak = peakOf(command(big), dir / "peak"), emptyPeak = peakOf(command(empty), dir / "peak");
    if (bigPeak < 0 || emptyPeak < 0) state.SkipWithError("kro or /usr/bin/time failed");
    const long above = bigPeak - emptyPeak;
    ratio = static_cast<double>(above) / static_cast<double>(fs::file_size(big));
  }
  state.counters["inputMB"] = static_cast<double>(fs::file_size(big)) / 1e6;
  state.counters["peakPerInputByte"] = ratio;  // goal: at most 4
  fs::remove_all(dir);
}

BENCHMARK(PeakMemory)->Arg(0)->Arg(1)->ArgName("infoJson")->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
