// A virtual instrument on a pseudo-terminal: it answers the start command "BHV20!" with a
// serial block, paced as a 2400-baud line would carry it (240 bytes a second), or at full speed.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "base/result.h"
#include "platform/pseudo_terminal.h"

namespace kro {

class PtyInstrument {
 public:
  // Opens a pseudo-terminal pair in raw mode; clients open portPath() as a serial port.
  static Result<std::unique_ptr<PtyInstrument>> create(std::string serialBlock, bool fast);
  ~PtyInstrument();
  PtyInstrument(const PtyInstrument&) = delete;
  PtyInstrument& operator=(const PtyInstrument&) = delete;

  const std::string& portPath() const { return line_.path(); }
  // Answers every start command until stop is set; returns the number of blocks sent.
  int serve(const std::atomic<bool>& stop);
  // Blocks sent so far, whole.
  int blocksSent() const { return sent_.load(); }

 private:
  PtyInstrument(platform::PseudoTerminal line, std::string block, bool fast);
  bool send(const std::atomic<bool>& stop);

  platform::PseudoTerminal line_;
  std::string block_;
  bool fast_;
  std::atomic<int> sent_{0};
};

}  // namespace kro
