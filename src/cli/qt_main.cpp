// Entry point of kro-qt, the helper that runs the kro commands needing Qt (kro starts it).
#include <iostream>

#include "cli/cli.h"
#ifdef _WIN32
#include "platform/win32/windows_process.h"
#endif

#ifdef _WIN32
int main() {
  kro::platform::prepareConsole();
  return kro::cli::runWithQt(kro::platform::utf8Arguments(), std::cout, std::cerr);
}
#else
int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return kro::cli::runWithQt(args, std::cout, std::cerr);
}
#endif
