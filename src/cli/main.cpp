// Entry point of the kro command. The commands that need no Qt run here, without loading it; the
// one that draws (print) runs in the helper program kro-qt, which this process becomes (on
// Windows: which it starts and waits for).
#ifdef _WIN32
#include "platform/win32/windows_process.h"
#include "settings/program_paths.h"
#else
#include <unistd.h>
#endif

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <iostream>

#include "cli/cli.h"
#include "model/file_io.h"

namespace fs = std::filesystem;

#ifdef _WIN32
int main() {
  kro::platform::prepareConsole();
  const std::vector<std::string> args = kro::platform::utf8Arguments();
  if (!args.empty() && kro::cli::needsQt(args[0])) {
    const fs::path helper = kro::ProgramPaths::programFolder() / "kro-qt.exe";
    int error = 0;
    const int status = kro::platform::runWithOwnCommandLine(helper, error);
    if (status >= 0) return status;
    std::cerr << "kro: " << args[0] << " 命令由“" << kro::displayPath(helper) << "”完成，"
              << (error == 2 ? "但它不在 kro.exe 旁边（只有带窗口的安装包里才有）"
                             : "但它无法运行（系统错误 " + std::to_string(error) + "）")
              << "。\n";
    return 1;
  }
  return kro::cli::run(args, std::cout, std::cerr);
}
#else
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
  return kro::cli::run(args, std::cout, std::cerr);
}
#endif
