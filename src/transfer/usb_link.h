// The USB link: the instrument's memory read 64 bytes at a time by block number, on a reader
// thread, through the USB interface chip's library.
//
// Requests are 2-byte big-endian block numbers, answers up to 64 bytes. The reader asks for
// blocks 0, 1, ... until the header area (H = 16 x (N + 1) bytes, N from block 0) is read, keeps
// only its H bytes, then jumps to block 252 where the reading area begins, and reads on until the
// end test of the transfer buffer is satisfied or the transfer is stopped. It then sends the end
// command (three zero bytes) once and closes the device. The reader only gathers bytes; the
// thread that drives the transfer decodes them and shows every message.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

#include "base/result.h"
#include "transfer/transfer_buffer.h"

namespace kro {

// The seven operations of the chip vendor's library the link uses, with their names, plus the
// platform's opening and closing of a handle on the device name.
class Ch375Library {
 public:
  using Handle = std::intptr_t;
  static constexpr Handle kNoHandle = -1;

  virtual ~Ch375Library() = default;
  // -1 on failure; anything else means the device is open.
  virtual long CH375OpenDevice(unsigned index) = 0;
  // The device path that openHandle accepts.
  virtual std::string CH375GetDeviceName(unsigned index) = 0;
  virtual Handle openHandle(const std::string& deviceName) = 0;
  virtual void closeHandle(Handle handle) = 0;
  // Nonzero when the bytes were sent; *length in: the count to send.
  virtual bool CH375WriteData(Handle handle, const unsigned char* buffer, unsigned long* length) = 0;
  // Nonzero on success; *length in: the room (64), out: the number of bytes read.
  virtual bool CH375ReadData(Handle handle, unsigned char* buffer, unsigned long* length) = 0;
  // Cancel pending writes / reads on the device; they then fail.
  virtual void CH375AbortWrite(unsigned index) = 0;
  virtual void CH375AbortRead(unsigned index) = 0;
  virtual void CH375CloseDevice(unsigned index) = 0;
};

inline constexpr std::string_view kUsbOpenFailed = "打开设备失败！";
inline constexpr std::string_view kUsbHandleFailed = "无法打开设备！";
inline constexpr std::string_view kUsbThreadFailed = "端点2线程启动失败";
inline constexpr std::string_view kUsbWriteFailed = "端点2下传失败！如果设备断开过那么请先关闭本程序";
inline constexpr std::string_view kUsbReadFailed = "从设备读取数据失败，传输中止。";

// Bytes of the header area: 16 bytes of file header and 16 per member.
std::uint32_t usbHeaderAreaSize(std::uint32_t memberCount);

class UsbLink {
 public:
  enum class Outcome { None, WriteFailed, ReadFailed };

  UsbLink(Ch375Library& library, TransferBuffer& buffer) : library_(library), buffer_(buffer) {}
  ~UsbLink() { stop(); }
  UsbLink(const UsbLink&) = delete;
  UsbLink& operator=(const UsbLink&) = delete;

  // Stops a running reader, empties the buffer for a new transfer, opens the device at index
  // and its two handles and starts the reader. On failure everything opened is closed again, so
  // the user can retry.
  Status start(unsigned index);
  // Asks the reader to end (inside the buffer's lock), aborts pending reads and writes, and
  // waits for it. Harmless when nothing runs.
  void stop();
  // Whether the reader thread is still working.
  bool readerActive() const { return active_.load(); }
  // Why the reader ended, when it ended by a failure.
  Outcome outcome() const { return outcome_.load(); }

 private:
  void readerLoop();
  void closeDevice();

  Ch375Library& library_;
  TransferBuffer& buffer_;
  unsigned index_ = 0;
  bool deviceOpen_ = false;
  Ch375Library::Handle request_ = Ch375Library::kNoHandle;
  Ch375Library::Handle answer_ = Ch375Library::kNoHandle;
  std::thread reader_;
  std::atomic<bool> active_{false};
  std::atomic<Outcome> outcome_{Outcome::None};
};

}  // namespace kro
