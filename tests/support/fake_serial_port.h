// A serial port in memory: the test queues bytes "from the instrument" and reads what was written.
#pragma once

#include <string>
#include <vector>

#include "transfer/serial_link.h"

namespace kro::test {

class FakeSerialPort : public SerialPort {
 public:
  Status open(const std::string& name, const SerialLineSettings& settings) override {
    opens.push_back(name);
    lastSettings = settings;
    if (refuseOpen) return Error{failureReason};
    open_ = true;
    incoming.clear();  // opening discards what was queued
    return Status::success();
  }
  void close() override {
    if (open_) ++closes;
    open_ = false;
  }
  bool isOpen() const override { return open_; }
  std::size_t bytesQueued() override { return incoming.size(); }
  std::size_t read(char* buffer, std::size_t max) override {
    const std::size_t n = std::min(max, incoming.size());
    incoming.copy(buffer, n);
    incoming.erase(0, n);
    reads.push_back(n);
    return n;
  }
  bool write(std::string_view bytes) override {
    written += bytes;
    return open_;
  }
  std::string failure() override { return failureReason; }

  bool refuseOpen = false;
  // Why an open is refused; once open, the port reports it as an unplugged device would.
  std::string failureReason;
  std::string incoming;
  std::string written;
  std::vector<std::string> opens;
  std::vector<std::size_t> reads;
  int closes = 0;
  SerialLineSettings lastSettings;

 private:
  bool open_ = false;
};

}  // namespace kro::test
