// The simulated USB instrument.
#include "devices/simulated_ch375.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace kro {

SimulatedCh375::SimulatedCh375(std::string memory) : memory_(std::move(memory)) {}

long SimulatedCh375::CH375OpenDevice(unsigned index) {
  std::lock_guard lock(mutex_);
  if (index != 0) return -1;
  open_ = true;
  return 0;
}

std::string SimulatedCh375::CH375GetDeviceName(unsigned index) {
  return index == 0 ? "simulated-instrument" : "";
}

Ch375Library::Handle SimulatedCh375::openHandle(const std::string& deviceName) {
  std::lock_guard lock(mutex_);
  if (!open_ || failHandles_ || deviceName != "simulated-instrument") return kNoHandle;
  handles_.insert(nextHandle_);
  return nextHandle_++;
}

void SimulatedCh375::closeHandle(Handle handle) {
  std::lock_guard lock(mutex_);
  handles_.erase(handle);
}

bool SimulatedCh375::CH375WriteData(Handle handle, const unsigned char* buffer, unsigned long* length) {
  std::lock_guard lock(mutex_);
  if (!open_ || handles_.count(handle) == 0) return false;
  if (*length == 3 && buffer[0] == 0 && buffer[1] == 0 && buffer[2] == 0) {
    ++endCommands_;
    return true;
  }
  if (*length != 2) return false;
  lastBlock_ = (std::uint32_t{buffer[0]} << 8) | buffer[1];
  requests_.push_back(lastBlock_);
  return true;
}

bool SimulatedCh375::CH375ReadData(Handle handle, unsigned char* buffer, unsigned long* length) {
  std::unique_lock lock(mutex_);
  if (!open_ || handles_.count(handle) == 0) return false;
  auto stalled = [this] { return stallAfter_ >= 0 && answers_ >= stallAfter_; };
  if (stalled()) {
    // A stalled instrument: wait until the read is aborted (or give up after a while), or the
    // instrument is let go on and answers.
    const std::uint64_t generation = abortGeneration_;
    wake_.wait_for(lock, std::chrono::milliseconds(500),
                   [&] { return abortGeneration_ != generation || !stalled(); });
    if (abortGeneration_ != generation || stalled()) return false;
  }
  ++answers_;
  const std::size_t start = std::size_t{lastBlock_} * 64;
  const unsigned long n = std::min({*length, answerLimit_, 64ul});
  for (unsigned long i = 0; i < n; ++i) {
    buffer[i] = start + i < memory_.size() ? static_cast<unsigned char>(memory_[start + i]) : 0;
  }
  *length = n;
  return true;
}

void SimulatedCh375::CH375AbortWrite(unsigned) {}

void SimulatedCh375::CH375AbortRead(unsigned) {
  std::lock_guard lock(mutex_);
  ++abortGeneration_;
  wake_.notify_all();
}

void SimulatedCh375::CH375CloseDevice(unsigned) {
  std::lock_guard lock(mutex_);
  open_ = false;
}

void SimulatedCh375::stallAfterAnswers(int answers) {
  std::lock_guard lock(mutex_);
  stallAfter_ = answers;
  wake_.notify_all();
}

void SimulatedCh375::failHandleOpen(bool fail) {
  std::lock_guard lock(mutex_);
  failHandles_ = fail;
}

void SimulatedCh375::shortenAnswers(unsigned long bytes) {
  std::lock_guard lock(mutex_);
  answerLimit_ = bytes;
}

std::vector<std::uint32_t> SimulatedCh375::requestedBlocks() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

int SimulatedCh375::endCommands() const {
  std::lock_guard lock(mutex_);
  return endCommands_;
}

bool SimulatedCh375::deviceOpen() const {
  std::lock_guard lock(mutex_);
  return open_;
}

int SimulatedCh375::openHandles() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(handles_.size());
}

}  // namespace kro
