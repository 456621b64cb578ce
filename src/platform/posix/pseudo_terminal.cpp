// Pseudo-terminals through /dev/ptmx.
#include "platform/pseudo_terminal.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "base/file_errors.h"

namespace kro::platform {

Result<PseudoTerminal> PseudoTerminal::open() {
  int program = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (program < 0 || ::grantpt(program) != 0 || ::unlockpt(program) != 0) {
    int error = errno;
    if (program >= 0) ::close(program);
    return Error{fileErrorMessage("无法创建虚拟串口", "/dev/ptmx", error)};
  }
  char name[256];
  if (::ptsname_r(program, name, sizeof name) != 0) {
    ::close(program);
    return Error{"无法创建虚拟串口。"};
  }
  int client = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (client < 0) {
    ::close(program);
    return Error{"无法打开虚拟串口。"};
  }
  termios tio{};
  ::tcgetattr(client, &tio);
  ::cfmakeraw(&tio);
  ::cfsetispeed(&tio, B2400);
  ::cfsetospeed(&tio, B2400);
  ::tcsetattr(client, TCSANOW, &tio);
  return PseudoTerminal(program, client, name);
}

PseudoTerminal::~PseudoTerminal() {
  if (client_ >= 0) ::close(client_);
  if (program_ >= 0) ::close(program_);
}

std::size_t PseudoTerminal::receive(char* buffer, std::size_t max, int waitMs) {
  pollfd p{program_, POLLIN, 0};
  if (::poll(&p, 1, waitMs) <= 0 || (p.revents & POLLIN) == 0) return 0;
  const ssize_t n = ::read(program_, buffer, max);
  if (n > 0) return static_cast<std::size_t>(n);
  ::usleep(50'000);  // readable but nothing read: not again at once
  return 0;
}

long PseudoTerminal::send(const char* data, std::size_t size) {
  for (;;) {
    const ssize_t n = ::write(program_, data, size);
    if (n >= 0) return static_cast<long>(n);
    if (errno == EINTR) continue;
    return errno == EAGAIN ? 0 : -1;
  }
}

}  // namespace kro::platform
