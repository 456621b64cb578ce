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

inline CommandRun kro(std::vector<std::string> args) {
  std::ostringstream out, err;
  int status = cli::run(args, out, err);
  return {status, out.str(), err.str()};
}

}  // namespace kro::test
