// The commands that read a project and report on it or exchange it: stats, export, import,
// check and diff.
#pragma once

#include <string>
#include <vector>

#include "cli/command_context.h"

namespace kro::cli {

int commandStats(const Context& cx, const std::vector<std::string>& args);
int commandExport(const Context& cx, const std::vector<std::string>& args);
int commandImport(const Context& cx, const std::vector<std::string>& args);

}  // namespace kro::cli
