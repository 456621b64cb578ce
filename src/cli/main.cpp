// Entry point of the kro command. The commands that only read and write files run here, without
// loading Qt; the others (print, ports, transfer, simulate) run in the helper program kro-qt,
// which this process becomes. On Windows kro.exe has the file commands only.
#ifdef _WIN32
// windows.h first: the others need its types.
// clang-format off
#include <windows.h>
#include <shellapi.h>
// clang-format on
#include <fcntl.h>
#include <io.h>
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

namespace {

#ifdef _WIN32
// The arguments as UTF-8, from the wide command line (the narrow one passes through the code
// page and loses what it cannot hold).
std::vector<std::string> utf8Arguments() {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> args;
  for (int i = 1; wide != nullptr && i < count; ++i) {
    const int length = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
    std::string arg(static_cast<std::size_t>(std::max(length, 1)), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, arg.data(), length, nullptr, nullptr);
    arg.resize(arg.size() - 1);
    args.push_back(std::move(arg));
  }
  LocalFree(wide);
  return args;
}

}  // namespace

int main() {
  // Texts are UTF-8, and streams carry files byte for byte.
  SetConsoleOutputCP(CP_UTF8);
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  const std::vector<std::string> args = utf8Arguments();
  if (!args.empty() && kro::cli::needsQt(args[0]) && args[0] != "transfer") {
    std::cerr << "kro: Windows 版的 kro 还没有 " << args[0]
              << " 命令（print、ports 和 simulate 目前只在 Linux 版中）。\n";
    return 1;
  }
  return kro::cli::run(args, std::cout, std::cerr);
}
#else

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
#endif
