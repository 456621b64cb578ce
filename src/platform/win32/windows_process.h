// What kro.exe and kro-qt.exe need of a Windows process: UTF-8 arguments, a console that takes
// UTF-8 and binary streams, and running the helper beside the program.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace kro::platform {

// The arguments after the program's name, as UTF-8, from the wide command line (the narrow one
// passes through the code page and loses what it cannot hold).
std::vector<std::string> utf8Arguments();

// Texts are UTF-8, and standard input and output carry files byte for byte.
void prepareConsole();

// Runs program with this process's own command line and standard streams and waits for it:
// its exit status, or -1 with the system's error number when it could not be started.
int runWithOwnCommandLine(const std::filesystem::path& program, int& systemError);

}  // namespace kro::platform
