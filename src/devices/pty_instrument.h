// A virtual instrument on a pseudo-terminal: it answers the start command "BHV20!" with a
// serial block, paced as a 2400-baud line would carry it (240 bytes a second), or at full speed.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "model/result.h"

namespace kro {

class PtyInstrument {
 public:
  // Opens a pseudo-terminal pair in raw mode; clients open portPath() as a serial port.
  static Result<std::unique_ptr<PtyInstrument>> create(std::string serialBlock, bool fast);
  ~PtyInstrument();
  PtyInstrument(const PtyInstrument&) = delete;
  PtyInstrument& operator=(const PtyInstrument&) = delete;

  const std::string& portPath() const { return portPath_; }
  // Answers every start command until stop is set; returns the number of blocks sent.
  int serve(const std::atomic<bool>& stop);
  // Blocks sent so far, whole.
  int blocksSent() const { return sent_.load(); }

 private:
  PtyInstrument(int master, int slave, std::string path, std::string block, bool fast);
  bool send(const std::atomic<bool>& stop);

  int master_;
  int slave_;  // kept open so the line stays usable between clients
  std::string portPath_;
  std::string block_;
  bool fast_;
  std::atomic<int> sent_{0};
};

}  // namespace kro
