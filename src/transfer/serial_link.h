// The serial link: 2400 baud 8N1, the start command "BHV20!", then polling what is queued.
//
// Polling happens on the thread that drives the transfer, every 200 ms; each poll reads at most
// the 1024-byte receive area, and only the bytes actually read are handed on.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "platform/serial_port.h"

namespace kro {

using platform::SerialLineSettings;
using platform::SerialPort;

inline constexpr std::string_view kStartCommand = "BHV20!";
inline constexpr std::string_view kCannotOpenSerialPort = "不能打开串口!";
inline constexpr std::size_t kReceiveAreaSize = 1024;

using platform::serialDevicePath;

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
