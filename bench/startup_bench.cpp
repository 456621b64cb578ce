// The start-up of the kro command for a file command on a small file (`kro info` on the
// twelve-member sample), as a script running it over thousands of files pays it.
// Goal on the reference machine: under 10 ms.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "model/analysis_file.h"
#include "model/sample_project.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

void StartupKroInfo(benchmark::State& state) {
  const fs::path kro = fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "bin" / "kro";
  const fs::path sample = fs::temp_directory_path() / ("kro-startup-" + std::to_string(::getpid()) + ".KRO");
  if (!kro::writeAnalysisFile(sample, kro::makeSampleProject())) state.SkipWithError("no sample");
  std::string program = kro.string(), command = "info", file = sample.string();
  char* argv[] = {program.data(), command.data(), file.data(), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  for (auto _ : state) {
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv, environ) != 0)
      state.SkipWithError("spawn failed");
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) state.SkipWithError("kro info failed");
  }
  posix_spawn_file_actions_destroy(&actions);
  fs::remove(sample);
}

BENCHMARK(StartupKroInfo)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(10)
    ->ReportAggregatesOnly(true);

}  // namespace
