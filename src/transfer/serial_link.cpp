// The serial link over a SerialPort.
#include "transfer/serial_link.h"

#include <algorithm>

namespace kro {

std::vector<std::string> serialPortChoices(const std::vector<std::string>& otherDevices) {
  std::vector<std::string> choices = {"COM1", "COM2", "COM3", "COM4", "COM5", "COM6"};
  for (const std::string& device : otherDevices) {
    bool isComPort = false;
    for (int n = 1; n <= 6; ++n)
      isComPort = isComPort || device == serialDevicePath("COM" + std::to_string(n));
    if (!isComPort && std::find(choices.begin(), choices.end(), device) == choices.end())
      choices.push_back(device);
  }
  return choices;
}

Status SerialLink::open(std::string_view portName) {
  close();
  const std::string device = serialDevicePath(portName);
  if (Status opened = port_.open(device, SerialLineSettings{}); !opened) {
    // The port as the user named it, the device it is, and why it would not open.
    std::string where = "“" + std::string(portName) + "”";
    if (device != portName) where += "（" + device + "）";
    const std::string& reason = opened.message();
    return Error{"不能打开串口" + where + (reason.empty() ? "" : "：" + reason) + "。"};
  }
  return Status::success();
}

void SerialLink::close() {
  if (port_.isOpen()) port_.close();
}

bool SerialLink::writeStartCommand() { return port_.write(kStartCommand); }

std::string_view SerialLink::readQueued() {
  if (!port_.isOpen()) return {};
  const std::size_t queued = port_.bytesQueued();
  if (queued == 0) return {};
  const std::size_t n = port_.read(area_.data(), std::min(queued, area_.size()));
  return {area_.data(), n};
}

}  // namespace kro
