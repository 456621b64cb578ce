// The serial link: 2400 baud 8N1, the start command "BHV20!", then polling what is queued.
//
// Polling happens on the thread that drives the transfer, every 200 ms; each poll reads at most
// the 1024-byte receive area, and only the bytes actually read are handed on.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "model/result.h"

namespace kro {

struct SerialLineSettings {
  int baudRate = 2400;
  int dataBits = 8;
  char parity = 'N';
  int stopBits = 1;
  std::size_t inputQueue = 1024;
  std::size_t outputQueue = 1024;
  int writeTimeoutMs = 5000;
};

// A serial port as the link needs it. Opening fails with a message naming the port, its device
// and the system's reason (failure() after the failed open).
class SerialPort {
 public:
  virtual ~SerialPort() = default;
  // Opens a port by device name and applies the settings, discarding anything queued.
  virtual bool open(const std::string& name, const SerialLineSettings& settings) = 0;
  virtual void close() = 0;
  virtual bool isOpen() const = 0;
  // Bytes waiting to be read.
  virtual std::size_t bytesQueued() = 0;
  // Reads up to max bytes that are waiting; returns how many were read.
  virtual std::size_t read(char* buffer, std::size_t max) = 0;
  virtual bool write(std::string_view bytes) = 0;
  // The system's reason when the device went away or stopped working while open (unplugged,
  // the line closed); empty while it works.
  virtual std::string failure() { return {}; }
};

inline constexpr std::string_view kStartCommand = "BHV20!";
inline constexpr std::string_view kCannotOpenSerialPort = "不能打开串口!";
inline constexpr std::size_t kReceiveAreaSize = 1024;

// "COM1".."COM6" name /dev/ttyS0../dev/ttyS5; any other name is a device path already.
std::string serialDevicePath(std::string_view portName);

// The port list: "COM1".."COM6" in their places, then every other serial device present.
std::vector<std::string> serialPortChoices(const std::vector<std::string>& otherDevices);

class SerialLink {
 public:
  explicit SerialLink(SerialPort& port) : port_(port) {}
  ~SerialLink() { close(); }
  SerialLink(const SerialLink&) = delete;
  SerialLink& operator=(const SerialLink&) = delete;

  // Opens and configures the port; "不能打开串口!" when it cannot be opened.
  Status open(std::string_view portName);
  void close();
  bool isOpen() const { return port_.isOpen(); }
  bool writeStartCommand();
  // Reads what is queued, at most the receive area's size.
  std::string_view readQueued();
  // Why the open port stopped working, empty while it works.
  std::string failure() { return port_.isOpen() ? port_.failure() : std::string(); }

 private:
  SerialPort& port_;
  std::array<char, kReceiveAreaSize> area_{};
};

}  // namespace kro
