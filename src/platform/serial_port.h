// Serial ports: the line settings, the port as the serial link uses it, this system's port, its
// names and the ports present.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"

namespace kro::platform {

struct SerialLineSettings {
  int baudRate = 2400;
  int dataBits = 8;
  char parity = 'N';
  int stopBits = 1;
  std::size_t inputQueue = 1024;
  std::size_t outputQueue = 1024;
  int writeTimeoutMs = 5000;
};

// A serial port as the link needs it.
class SerialPort {
 public:
  virtual ~SerialPort() = default;
  // Opens a port by device name and applies the settings, discarding anything queued; fails
  // with the system's reason in the user's words ("端口正被另一个程序使用"), which may be empty.
  virtual Status open(const std::string& name, const SerialLineSettings& settings) = 0;
  virtual void close() = 0;
  virtual bool isOpen() const = 0;
  // Bytes waiting to be read.
  virtual std::size_t bytesQueued() = 0;
  // Reads up to max bytes that are waiting, never waiting for more; returns how many were read.
  virtual std::size_t read(char* buffer, std::size_t max) = 0;
  // Writes all bytes within the line's write timeout.
  virtual bool write(std::string_view bytes) = 0;
  // Why the device went away or stopped working while open (unplugged, the line closed); empty
  // while it works.
  virtual std::string failure() { return {}; }
};

// This system's serial port: termios on POSIX, the communications API on Windows. DTR and RTS
// are raised, no flow control; reads take only what is queued.
class SystemSerialPort : public SerialPort {
 public:
  SystemSerialPort() = default;
  ~SystemSerialPort() override { close(); }
  SystemSerialPort(const SystemSerialPort&) = delete;
  SystemSerialPort& operator=(const SystemSerialPort&) = delete;

  // name: a device path ("/dev/ttyUSB0"), or on Windows "COM7" or "\\.\COM7".
  Status open(const std::string& name, const SerialLineSettings& settings) override;
  void close() override;
  bool isOpen() const override { return handle_ != -1; }
  std::size_t bytesQueued() override;
  std::size_t read(char* buffer, std::size_t max) override;
  bool write(std::string_view bytes) override;
  std::string failure() override { return failure_; }

 private:
  void fail(unsigned long error);  // keeps the first reason

  std::intptr_t handle_ = -1;  // a file descriptor, or a HANDLE
  int writeTimeoutMs_ = 5000;
  std::string failure_;
};

// The device a port name opens: on Linux "COM1".."COM6" name /dev/ttyS0../dev/ttyS5, a bare
// name ("ttyUSB0") the device under /dev, and any other name is a device path already; on
// Windows the name is the device's own.
std::string serialDevicePath(std::string_view portName);
// How a port is typed here, for the hint beside the port box: "设备路径（例如 /dev/ttyUSB0）".
std::string_view typedPortHint();

struct SerialPortEntry {
  std::string path;          // /dev/ttyUSB0, COM3
  std::string description;   // what the device or its driver says it is, "" when nothing
  std::string manufacturer;  // "" when unknown
  std::optional<std::uint16_t> vendorId, productId;
};

// The serial ports present, in the order of their names (COM10 after COM9).
std::vector<SerialPortEntry> listSerialPorts();
// Linux: the ports under a /sys/class/tty folder (the devices whose "device" names hardware:
// built-in ports whose "type" is not 0, USB adapters with their maker, product and ids), each
// under /dev. A test feeds it a folder of its own.
std::vector<SerialPortEntry> listSerialPortsIn(const std::filesystem::path& sysClassTty);

}  // namespace kro::platform
