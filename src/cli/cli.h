// The kro command: the core, scriptable. run() is main() without the process around it.
//
// The commands that only read and write files need no Qt; those that use drawing (print) do,
// and on Linux those of the devices too (ports, transfer, simulate). The kro program hands them
// to a helper program, kro-qt, so that the others start without loading Qt.
#pragma once

#include <functional>
#include <iosfwd>
#include <iostream>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace kro::cli {

struct Context;
struct Invocation;
// A command's handler, run once what its declaration asks for is there (see Invocation).
using Command = std::function<int(const Context&, Invocation&)>;
using CommandTable = std::map<std::string, Command, std::less<>>;

// The commands that only read and write files.
const CommandTable& fileCommands();
// True for the commands that need Qt (drawing: print), which run in the helper kro-qt.
bool needsQt(std::string_view command);

// Exit statuses: 0 success (warnings on err), 1 failure with a one-line message, 2 usage error
// (check and diff: 0 nothing found, 1 found, 2 usage or an unreadable input).
// A command of the table; help and unknown commands as for every command.
// An input named "-" is read from in, an output "-" written to out; a command whose printed
// output cannot be written fails (exit 1; check and diff 2).
int dispatch(const CommandTable& commands, const std::vector<std::string>& args, std::ostream& out,
             std::ostream& err, std::istream& in = std::cin);
// Every command of kro but those needing Qt: the file commands and the devices.
int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
        std::istream& in = std::cin);
// The file commands and those needing Qt (kro-qt).
int runWithQt(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
              std::istream& in = std::cin);

}  // namespace kro::cli
