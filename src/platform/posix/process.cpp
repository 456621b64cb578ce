// POSIX processes, the computer's name and the account.
#include "platform/process.h"

#include <pwd.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>

namespace kro::platform {

long currentProcess() { return static_cast<long>(::getpid()); }

bool processGone(long pid) {
  if (::kill(static_cast<pid_t>(pid), 0) != 0) return errno == ESRCH;
  // An ended process nobody has reaped yet (a zombie) runs no more.
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return false;
  const std::size_t close = line.rfind(')');
  return close != std::string::npos && close + 2 < line.size() && line[close + 2] == 'Z';
}

std::string hostName() {
  char name[256] = {};
  return ::gethostname(name, sizeof name - 1) == 0 ? std::string(name) : std::string();
}

std::string accountName() {
  if (const struct passwd* pw = ::getpwuid(::geteuid())) return pw->pw_name;
  const char* user = std::getenv("USER");
  return user != nullptr ? user : std::to_string(::geteuid());
}

}  // namespace kro::platform
