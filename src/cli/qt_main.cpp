// Entry point of kro-qt, the helper that runs the kro commands needing Qt (kro starts it).
#include <iostream>

#include "cli/cli.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return kro::cli::run(args, std::cout, std::cerr);
}
