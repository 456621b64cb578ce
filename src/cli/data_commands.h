// The commands that read a project and report on it or exchange it: stats, export, import,
// check and diff.
#pragma once

#include <string>
#include <vector>

#include "cli/command_context.h"

namespace kro::cli {

int commandStats(const Context& cx, Invocation& call);
int commandExport(const Context& cx, Invocation& call);
int commandImport(const Context& cx, Invocation& call);
// Exit status as diff's: 0 nothing found, 1 found, 2 usage or an unreadable input.
int commandCheck(const Context& cx, Invocation& call);
// The same exit statuses: 0 no difference, 1 differences, 2 usage or an unreadable input.
int commandDiff(const Context& cx, Invocation& call);
int commandHistory(const Context& cx, Invocation& call);
// The project's report parameters, or a copy of the file with some of them set.
int commandParams(const Context& cx, Invocation& call);
// The report formats: the six, the user's with their fields, and every field a user format may use.
int commandFormats(const Context& cx, Invocation& call);
int commandRules(const Context& cx, Invocation& call);

}  // namespace kro::cli
