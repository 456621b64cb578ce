// The virtual instrument's pseudo-terminal (POSIX).
#include "devices/pty_instrument.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "model/file_io.h"
#include "transfer/serial_link.h"

namespace kro {

Result<std::unique_ptr<PtyInstrument>> PtyInstrument::create(std::string serialBlock, bool fast) {
  int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
    int error = errno;
    if (master >= 0) ::close(master);
    return Error{fileErrorMessage("无法创建虚拟串口", "/dev/ptmx", error)};
  }
  char name[256];
  if (::ptsname_r(master, name, sizeof name) != 0) {
    ::close(master);
    return Error{"无法创建虚拟串口。"};
  }
  int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave < 0) {
    ::close(master);
    return Error{"无法打开虚拟串口。"};
  }
  termios tio{};
  ::tcgetattr(slave, &tio);
  ::cfmakeraw(&tio);
  ::cfsetispeed(&tio, B2400);
  ::cfsetospeed(&tio, B2400);
  ::tcsetattr(slave, TCSANOW, &tio);
  return std::unique_ptr<PtyInstrument>(new PtyInstrument(master, slave, name, std::move(serialBlock), fast));
}

PtyInstrument::PtyInstrument(int master, int slave, std::string path, std::string block, bool fast)
    : master_(master), slave_(slave), portPath_(std::move(path)), block_(std::move(block)), fast_(fast) {}

PtyInstrument::~PtyInstrument() {
  ::close(slave_);
  ::close(master_);
}

int PtyInstrument::serve(const std::atomic<bool>& stop) {
  int sent = 0;
  std::string heard;
  while (!stop) {
    pollfd p{master_, POLLIN, 0};
    if (::poll(&p, 1, 100) <= 0 || (p.revents & POLLIN) == 0) continue;
    char buffer[256];
    ssize_t n = ::read(master_, buffer, sizeof buffer);
    if (n <= 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      continue;
    }
    heard.append(buffer, static_cast<std::size_t>(n));
    const std::size_t at = heard.find(kStartCommand);
    if (at == std::string::npos) {
      // Keep only what could still begin a start command.
      if (heard.size() > kStartCommand.size()) heard.erase(0, heard.size() - kStartCommand.size());
      continue;
    }
    heard.clear();
    if (send(stop)) {
      ++sent;
      ++sent_;
    }
  }
  return sent;
}

bool PtyInstrument::send(const std::atomic<bool>& stop) {
  // 2400 baud with 10 bits a character: 240 bytes a second, 12 every 50 ms.
  const std::size_t chunk = fast_ ? block_.size() : 12;
  for (std::size_t at = 0; at < block_.size() && !stop;) {
    const std::size_t n = std::min(chunk, block_.size() - at);
    ssize_t written = ::write(master_, block_.data() + at, n);
    if (written < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        continue;
      }
      return false;
    }
    at += static_cast<std::size_t>(written);
    if (!fast_) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return !stop;
}

}  // namespace kro
