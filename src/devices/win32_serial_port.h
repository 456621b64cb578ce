// The SerialPort of the serial link on the Win32 communications API (Windows builds).
#pragma once

#include <string>

#include "transfer/serial_link.h"

namespace kro {

class Win32SerialPort : public SerialPort {
 public:
  Win32SerialPort() = default;
  ~Win32SerialPort() override { close(); }
  Win32SerialPort(const Win32SerialPort&) = delete;
  Win32SerialPort& operator=(const Win32SerialPort&) = delete;

  // name: "COM7" or "\\.\COM7" (every COM port, not only COM1–COM9, needs the second form).
  bool open(const std::string& name, const SerialLineSettings& settings) override;
  void close() override;
  bool isOpen() const override { return handle_ != nullptr; }
  std::size_t bytesQueued() override;
  std::size_t read(char* buffer, std::size_t max) override;
  bool write(std::string_view bytes) override;
  std::string failure() override { return failure_; }

 private:
  void fail(unsigned long error);
  bool transfer(bool writing, char* data, std::size_t size, std::size_t& moved);

  void* handle_ = nullptr;  // HANDLE
  std::string failure_;
};

}  // namespace kro
