// This process and others: for lock files and for temporaries left by ended writers.
#pragma once

#include <string>

namespace kro::platform {

long currentProcess();
// True when no process of this id runs on this computer (an ended one nobody reaped included).
bool processGone(long pid);
// The computer's name and the system account of this process, "" when the system says nothing.
std::string hostName();
std::string accountName();

}  // namespace kro::platform
