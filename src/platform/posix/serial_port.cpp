// Serial ports through termios, and the Linux port list from sysfs.
#include "platform/serial_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fstream>
#include <tuple>

namespace kro::platform {
namespace fs = std::filesystem;

namespace {

// The system's reason in the user's words.
std::string reasonFor(int error) {
  switch (error) {
    case ENOENT:
      return "设备不存在（请检查连接线，或选择另一个端口）";
    case EACCES:
    case EPERM:
      return "没有访问权限（当前用户可能不在 dialout 组中：运行 sudo usermod -aG dialout 用户名，"
             "重新登录后再试）";
    case EBUSY:
    case EWOULDBLOCK:
      return "端口正被另一个程序使用";
    case ENOTTY:
      return "这不是一个串口设备";
    case EINVAL:
      return "这个设备不支持 2400 波特 8N1";
    case EIO:
    case ENXIO:
    case ENODEV:
      return "设备已断开或不再可用";
    default:
      return "串口出错（错误号 " + std::to_string(error) + "）";
  }
}

speed_t speedOf(int baudRate) {
  switch (baudRate) {
    case 1200:
      return B1200;
    case 2400:
      return B2400;
    case 4800:
      return B4800;
    case 9600:
      return B9600;
    case 19200:
      return B19200;
    case 38400:
      return B38400;
    case 57600:
      return B57600;
    case 115200:
      return B115200;
    default:
      return B0;
  }
}

// 0, or the error number.
int configure(int fd, const SerialLineSettings& settings) {
  termios tio{};
  if (::tcgetattr(fd, &tio) != 0) return errno;
  const speed_t speed = speedOf(settings.baudRate);
  if (speed == B0) return EINVAL;
  ::cfmakeraw(&tio);
  tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
  tio.c_cflag |= CLOCAL | CREAD | (settings.dataBits == 7 ? CS7 : CS8);
  if (settings.parity != 'N') tio.c_cflag |= PARENB | (settings.parity == 'O' ? PARODD : 0);
  if (settings.stopBits == 2) tio.c_cflag |= CSTOPB;
  tio.c_iflag &= ~(IXON | IXOFF | IXANY);
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  if (::cfsetispeed(&tio, speed) != 0 || ::cfsetospeed(&tio, speed) != 0) return EINVAL;
  if (::tcsetattr(fd, TCSANOW, &tio) != 0) return errno;
  // DTR and RTS up, as the instrument's cable expects; a pseudo-terminal has no such lines.
  int lines = TIOCM_DTR | TIOCM_RTS;
  ::ioctl(fd, TIOCMBIS, &lines);
  ::tcflush(fd, TCIOFLUSH);
  return 0;
}

}  // namespace

Status SystemSerialPort::open(const std::string& name, const SerialLineSettings& settings) {
  close();
  failure_.clear();
  const int fd = ::open(name.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return Error{reasonFor(errno)};
  int error = ::isatty(fd) ? 0 : ENOTTY;
  // One program at a time on a port.
  if (error == 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0) error = errno == EWOULDBLOCK ? EBUSY : errno;
  if (error == 0) error = configure(fd, settings);
  // Programs that open the line without asking flock (terminal programs) are kept off too.
  if (error == 0) ::ioctl(fd, TIOCEXCL);
  if (error != 0) {
    ::close(fd);
    return Error{reasonFor(error)};
  }
  handle_ = fd;
  writeTimeoutMs_ = settings.writeTimeoutMs;
  return Status::success();
}

void SystemSerialPort::close() {
  if (handle_ != -1) {
    // Free for the next program even where another descriptor keeps the line open (the virtual
    // instrument's own end).
    ::ioctl(static_cast<int>(handle_), TIOCNXCL);
    ::close(static_cast<int>(handle_));
  }
  handle_ = -1;
}

void SystemSerialPort::fail(unsigned long error) {
  if (failure_.empty()) failure_ = reasonFor(static_cast<int>(error));
}

std::size_t SystemSerialPort::bytesQueued() {
  if (handle_ == -1) return 0;
  int queued = 0;
  if (::ioctl(static_cast<int>(handle_), FIONREAD, &queued) != 0) {
    fail(static_cast<unsigned long>(errno));
    return 0;
  }
  // A line that hung up (unplugged adapter) still answers FIONREAD; poll tells.
  pollfd p{static_cast<int>(handle_), POLLIN, 0};
  if (queued == 0 && ::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) fail(EIO);
  return queued > 0 ? static_cast<std::size_t>(queued) : 0;
}

std::size_t SystemSerialPort::read(char* buffer, std::size_t max) {
  if (handle_ == -1 || max == 0) return 0;
  for (;;) {
    const ssize_t n = ::read(static_cast<int>(handle_), buffer, max);
    if (n > 0) return static_cast<std::size_t>(n);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) fail(static_cast<unsigned long>(errno));
    return 0;
  }
}

bool SystemSerialPort::write(std::string_view bytes) {
  if (handle_ == -1) return false;
  const int fd = static_cast<int>(handle_);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(writeTimeoutMs_);
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) {
      fail(static_cast<unsigned long>(errno));
      return false;
    }
    // The line's buffer is full: wait for room until the timeout.
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd p{fd, POLLOUT, 0};
    ::poll(&p, 1, static_cast<int>(left.count()));
  }
  return true;
}

std::string serialDevicePath(std::string_view portName) {
  if (portName.size() == 4 && portName.substr(0, 3) == "COM" && portName[3] >= '1' && portName[3] <= '6') {
    return "/dev/ttyS" + std::string(1, static_cast<char>(portName[3] - 1));
  }
  // A device's bare name ("ttyUSB0") is the one under /dev; another COM name stays as typed.
  if (!portName.empty() && portName.find('/') == std::string_view::npos && !portName.starts_with("COM"))
    return "/dev/" + std::string(portName);
  return std::string(portName);
}

std::string_view typedPortHint() { return "设备路径（例如 /dev/ttyUSB0）"; }

namespace {

// A sysfs attribute's first line, "" when there is none.
std::string attribute(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  while (!line.empty() && (line.back() == '\n' || line.back() == ' ' || line.back() == '\r')) line.pop_back();
  return line.size() > 256 ? line.substr(0, 256) : line;
}

std::optional<std::uint16_t> hexId(const std::string& text) {
  if (text.empty() || text.size() > 4 ||
      text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
    return std::nullopt;
  return static_cast<std::uint16_t>(std::stoul(text, nullptr, 16));
}

// ttyS10 after ttyS9: by the letters, then by the number after them.
std::tuple<std::string, unsigned long, std::string> nameOrder(const std::string& name) {
  std::size_t digits = name.size();
  while (digits > 0 && name[digits - 1] >= '0' && name[digits - 1] <= '9') --digits;
  const std::string number = name.substr(digits);
  return {name.substr(0, digits), number.empty() || number.size() > 9 ? 0ul : std::stoul(number), name};
}

}  // namespace

std::vector<SerialPortEntry> listSerialPortsIn(const fs::path& sysClassTty) {
  std::vector<std::pair<std::string, SerialPortEntry>> found;
  std::error_code ec;
  for (fs::directory_iterator it(sysClassTty, ec), end; !ec && it != end; it.increment(ec)) {
    const fs::path tty = it->path();
    const std::string name = tty.filename().string();
    // Virtual consoles, pseudo-terminals and the like have no hardware behind them.
    std::error_code linkError;
    const fs::path device = fs::canonical(tty / "device", linkError);
    if (linkError) continue;
    // Built-in ports the kernel reserves whether or not the hardware is there say type 0.
    const std::string type = attribute(tty / "type");
    if (type == "0") continue;
    SerialPortEntry entry;
    entry.path = "/dev/" + name;
    const std::string driver = fs::read_symlink(device / "driver", linkError).filename().string();
    // A USB adapter: the USB device (with its ids) is a few folders up from the port.
    fs::path usb = device;
    for (int up = 0; up < 4 && !usb.empty() && usb != usb.root_path(); ++up, usb = usb.parent_path()) {
      if (!fs::exists(usb / "idVendor", linkError)) continue;
      entry.vendorId = hexId(attribute(usb / "idVendor"));
      entry.productId = hexId(attribute(usb / "idProduct"));
      entry.manufacturer = attribute(usb / "manufacturer");
      entry.description = attribute(usb / "product");
      if (entry.description.empty()) entry.description = driver;
      break;
    }
    found.emplace_back(name, std::move(entry));
  }
  std::sort(found.begin(), found.end(),
            [](const auto& a, const auto& b) { return nameOrder(a.first) < nameOrder(b.first); });
  std::vector<SerialPortEntry> ports;
  for (auto& [name, entry] : found) ports.push_back(std::move(entry));
  return ports;
}

std::vector<SerialPortEntry> listSerialPorts() { return listSerialPortsIn("/sys/class/tty"); }

}  // namespace kro::platform
