// The kro commands of the instrument's links: transfer (serial port or USB) and ports, on the
// serial port the platform gives (Qt Serial Port on Linux, the Win32 API on Windows).
#pragma once

#include "cli/cli.h"

namespace kro::cli {

const CommandTable& deviceCommands();

}  // namespace kro::cli
