// The SerialPort of the serial link on Qt Serial Port.
#pragma once

#include <QSerialPort>
#include <string>
#include <vector>

#include "transfer/serial_link.h"

namespace kro {

class QtSerialPort : public SerialPort {
 public:
  bool open(const std::string& name, const SerialLineSettings& settings) override;
  void close() override;
  bool isOpen() const override { return port_.isOpen(); }
  std::size_t bytesQueued() override;
  std::size_t read(char* buffer, std::size_t max) override;
  bool write(std::string_view bytes) override;
  std::string failure() override;

 private:
  QSerialPort port_;
  int writeTimeoutMs_ = 5000;
};

}  // namespace kro
