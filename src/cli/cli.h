// The kro command: the core, scriptable. run() is main() without the process around it.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace kro::cli {

// Exit statuses: 0 success (warnings on err), 1 failure with a one-line message, 2 usage error.
int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace kro::cli
