// The virtual instrument on the system's pseudo-terminal.
#include "devices/pty_instrument.h"

#include <chrono>
#include <thread>

#include "transfer/serial_link.h"

namespace kro {

Result<std::unique_ptr<PtyInstrument>> PtyInstrument::create(std::string serialBlock, bool fast) {
  auto line = platform::PseudoTerminal::open();
  if (!line) return line.error();
  return std::unique_ptr<PtyInstrument>(
      new PtyInstrument(std::move(line.value()), std::move(serialBlock), fast));
}

PtyInstrument::PtyInstrument(platform::PseudoTerminal line, std::string block, bool fast)
    : line_(std::move(line)), block_(std::move(block)), fast_(fast) {}

PtyInstrument::~PtyInstrument() = default;

int PtyInstrument::serve(const std::atomic<bool>& stop) {
  int sent = 0;
  std::string heard;
  while (!stop) {
    char buffer[256];
    const std::size_t n = line_.receive(buffer, sizeof buffer, 100);
    if (n == 0) continue;
    heard.append(buffer, n);
    const std::size_t at = heard.find(kStartCommand);
    if (at == std::string::npos) {
      // Keep only what could still begin a start command.
      if (heard.size() > kStartCommand.size()) heard.erase(0, heard.size() - kStartCommand.size());
      continue;
    }
    heard.clear();
    if (send(stop)) {
      ++sent;
      ++sent_;
    }
  }
  return sent;
}

bool PtyInstrument::send(const std::atomic<bool>& stop) {
  // 2400 baud with 10 bits a character: 240 bytes a second, 12 every 50 ms.
  const std::size_t chunk = fast_ ? block_.size() : 12;
  for (std::size_t at = 0; at < block_.size() && !stop;) {
    const std::size_t n = std::min(chunk, block_.size() - at);
    const long written = line_.send(block_.data() + at, n);
    if (written < 0) return false;
    if (written == 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      continue;
    }
    at += static_cast<std::size_t>(written);
    if (!fast_) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return !stop;
}

}  // namespace kro
