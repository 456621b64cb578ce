#include "platform/console.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace kro::platform {

bool isTerminal(StandardStream stream) {
  return ::isatty(stream == StandardStream::Output ? STDOUT_FILENO : STDERR_FILENO) != 0;
}

std::optional<std::string> readSecret(std::string_view prompt) {
  const int fd = ::open("/dev/tty", O_RDWR | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  (void)::write(fd, prompt.data(), prompt.size());
  termios old{};
  const bool quiet = ::tcgetattr(fd, &old) == 0;
  if (quiet) {
    termios hidden = old;
    hidden.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    ::tcsetattr(fd, TCSAFLUSH, &hidden);
  }
  std::string line;
  char c = 0;
  bool ended = false;
  while (line.size() < 1024 && ::read(fd, &c, 1) == 1) {
    if (c == '\n') {
      ended = true;
      break;
    }
    if (c != '\r') line += c;
  }
  if (quiet) ::tcsetattr(fd, TCSAFLUSH, &old);
  (void)::write(fd, "\n", 1);
  ::close(fd);
  if (!ended && line.empty()) return std::nullopt;
  return line;
}

bool withoutDisplay() {
  auto unset = [](const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr || *value == '\0';
  };
  return unset("DISPLAY") && unset("WAYLAND_DISPLAY");
}

bool systemFileDialogs() { return false; }

bool iconInExecutable() { return false; }

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
