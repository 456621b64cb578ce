// Entry point of the kro command. The commands that only read and write files run here, without
// loading Qt; the others (print, ports, transfer, simulate) run in the helper program kro-qt,
// which this process becomes.
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <iostream>

#include "cli/cli.h"
#include "model/file_io.h"

namespace fs = std::filesystem;

namespace {

// KRO_QT_HELPER, else beside this program (the build), else in the private folder an
// installation puts it in.
fs::path helperPath() {
  if (const char* named = std::getenv("KRO_QT_HELPER"); named != nullptr && *named != '\0') return named;
  std::error_code ec;
  const fs::path folder = fs::read_symlink("/proc/self/exe", ec).parent_path();
  const fs::path beside = folder / "kro-qt";
  if (fs::exists(beside, ec)) return beside;
  return (folder / KRO_HELPER_FROM_BIN).lexically_normal();
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (!args.empty() && kro::cli::needsQt(args[0])) {
    const fs::path helper = helperPath();
    ::execv(helper.c_str(), argv);
    const int error = errno;
    std::cerr << "kro: " << kro::fileErrorMessage("无法运行", helper, error) << "（" << args[0]
              << " 命令由它完成）\n";
    return 1;
  }
  return kro::cli::dispatch(kro::cli::fileCommands(), args, std::cout, std::cerr);
}
