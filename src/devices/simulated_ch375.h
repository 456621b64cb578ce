// A simulated instrument behind the USB chip library: it answers block requests from a memory
// image, hears the end command, and can be told to fail or stall for tests and demonstrations.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "transfer/usb_link.h"

namespace kro {

class SimulatedCh375 : public Ch375Library {
 public:
  // memory: the instrument's memory (see usbMemoryFromImage); device index 0 is the instrument.
  explicit SimulatedCh375(std::string memory);

  long CH375OpenDevice(unsigned index) override;
  std::string CH375GetDeviceName(unsigned index) override;
  Handle openHandle(const std::string& deviceName) override;
  void closeHandle(Handle handle) override;
  bool CH375WriteData(Handle handle, const unsigned char* buffer, unsigned long* length) override;
  bool CH375ReadData(Handle handle, unsigned char* buffer, unsigned long* length) override;
  void CH375AbortWrite(unsigned index) override;
  void CH375AbortRead(unsigned index) override;
  void CH375CloseDevice(unsigned index) override;

  // --- Controls for tests ---
  // After this many answers, reads wait (until aborted, or fail after a while).
  void stallAfterAnswers(int answers);
  void failHandleOpen(bool fail);
  // Answers are cut to this many bytes.
  void shortenAnswers(unsigned long bytes);

  // --- What the instrument saw ---
  std::vector<std::uint32_t> requestedBlocks() const;
  int endCommands() const;
  bool deviceOpen() const;
  int openHandles() const;

 private:
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::string memory_;
  bool open_ = false;
  std::set<Handle> handles_;
  Handle nextHandle_ = 100;
  std::uint32_t lastBlock_ = 0;
  std::vector<std::uint32_t> requests_;
  int endCommands_ = 0;
  int answers_ = 0;
  int stallAfter_ = -1;
  bool failHandles_ = false;
  unsigned long answerLimit_ = 64;
  std::uint64_t abortGeneration_ = 0;
};

}  // namespace kro
