#include "platform/console.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace kro::platform {

bool isTerminal(StandardStream stream) {
  return ::isatty(stream == StandardStream::Output ? STDOUT_FILENO : STDERR_FILENO) != 0;
}

bool withoutDisplay() {
  auto unset = [](const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr || *value == '\0';
  };
  return unset("DISPLAY") && unset("WAYLAND_DISPLAY");
}

bool systemFileDialogs() { return false; }

SilencedErrorStream::SilencedErrorStream() {
  std::fflush(stderr);
  saved_ = ::dup(STDERR_FILENO);
  const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (null >= 0) {
    ::dup2(null, STDERR_FILENO);
    ::close(null);
  }
}

SilencedErrorStream::~SilencedErrorStream() {
  std::fflush(stderr);
  if (saved_ >= 0) {
    ::dup2(saved_, STDERR_FILENO);
    ::close(saved_);
  }
}

}  // namespace kro::platform
