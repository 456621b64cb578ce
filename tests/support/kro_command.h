// The kro command run in-process, with what it printed and its exit status.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.h"

namespace kro::test {

struct CommandRun {
  int status;
  std::string out;
  std::string err;
};

// input: what standard input holds. As the program does it: the commands needing Qt in the
// helper's table (on Windows kro-qt.exe, which these tests do not link).
inline CommandRun kro(std::vector<std::string> args, const std::string& input = {}) {
  std::ostringstream out, err;
  std::istringstream in(input);
#ifdef _WIN32
  int status = cli::run(args, out, err, in);
#else
  int status = !args.empty() && cli::needsQt(args[0]) ? cli::runWithQt(args, out, err, in)
                                                      : cli::run(args, out, err, in);
#endif
  return {status, out.str(), err.str()};
}

}  // namespace kro::test
