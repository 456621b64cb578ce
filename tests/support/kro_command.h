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

// input: what standard input holds.
inline CommandRun kro(std::vector<std::string> args, const std::string& input = {}) {
  std::ostringstream out, err;
  std::istringstream in(input);
  int status = cli::run(args, out, err, in);
  return {status, out.str(), err.str()};
}

}  // namespace kro::test
