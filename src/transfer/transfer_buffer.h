// The bytes of one transfer, shared by the thread that reads them and the thread that drives
// the transfer. Every access takes the lock; the end test runs on each append.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "model/transfer_decoder.h"

namespace kro {

class TransferBuffer {
 public:
  struct Progress {
    std::size_t received = 0;
    std::optional<std::uint64_t> expected;  // once the first bytes tell it
    bool complete = false;
  };

  // Discards any bytes held and starts a transfer in the given layout: running, not complete.
  void reset(TransferLayout layout);
  // Appends bytes and applies the end test; when it succeeds the transfer stops running and is
  // complete. Returns whether the transfer is still running.
  bool append(std::string_view bytes);
  bool running() const;
  // Asks the reader to end (the end test does the same on success).
  void stopRunning();
  bool complete() const;
  Progress progress() const;
  // The bytes held, leaving the buffer empty.
  std::string take();

 private:
  mutable std::mutex mutex_;
  TransferLayout layout_ = TransferLayout::Serial;
  std::string bytes_;
  bool running_ = false;
  bool complete_ = false;
};

}  // namespace kro
